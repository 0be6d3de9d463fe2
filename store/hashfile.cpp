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

int32_t SlotBitmap::take(int32_t key) {
    const int64_t step = key % (n_ - 1) + 1; // probe i is (key mod n + step * i) mod n
    int64_t s = key % n_;
    for (int32_t i = 0; i < n_; ++i, s = s + step < n_ ? s + step : s + step - n_) {
        uint64_t& word = bits_[static_cast<std::size_t>(s >> 6)];
        const uint64_t bit = uint64_t{1} << (s & 63);
        if (!(word & bit)) {
            word |= bit;
            return static_cast<int32_t>(s);
        }
    }
    return -1;
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
