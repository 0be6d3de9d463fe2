// Size rules of the hashed record file.
#include "store/hashfile.h"

int32_t next_prime(int32_t v) {
    if (v <= 2)
        return v;
    for (int64_t w = v;; ++w) {
        bool prime = true;
        // A divisor above the square root pairs with one below it, so trial
        // division up to the root gives the same answers as going to w - 1.
        for (int64_t d = 2; d * d <= w; ++d) {
            if (w % d == 0) {
                prime = false;
                break;
            }
        }
        if (prime)
            return static_cast<int32_t>(w);
    }
}

int32_t grown_slot_count(int32_t n) {
    int64_t p = 1;
    for (int32_t left = n; left > 0; left /= 10)
        p *= 10;
    int64_t want = static_cast<int64_t>(n) + p;
    if (want > 2147483629) // the largest prime below 2^31 - 1 is 2147483629
        want = 2147483629;
    return next_prime(static_cast<int32_t>(want));
}

namespace {

GrowthHook growth_hook = nullptr;
PassHook pass_hook = nullptr;

} // namespace

void set_growth_hook(GrowthHook hook) {
    growth_hook = hook;
}

void announce_growth(const char* message) {
    if (growth_hook)
        growth_hook(message);
}

void set_pass_hook(PassHook hook) {
    pass_hook = hook;
}

void pass_point() {
    if (pass_hook)
        pass_hook();
}
