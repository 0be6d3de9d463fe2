// A flat index from 64-bit keys to small values, open-addressed in one
// array: what the folder check and the reports build once over the few
// records one table names (the rentals' copies, the clients they name) and
// then look up once per record of a large table, without an allocation or a
// tree walk per record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Two 32-bit fields as one key.
inline uint64_t pair_key(int32_t a, int32_t b) {
    return static_cast<uint64_t>(static_cast<uint32_t>(a)) << 32 | static_cast<uint32_t>(b);
}

template <class V>
class KeyIndex {
  public:
    std::size_t size() const { return count_; }

    // The value of key, made (value-initialised) when it is not there yet.
    V& add(uint64_t key) {
        if ((count_ + 1) * 2 > slots_.size())
            grow();
        std::size_t i = home(key);
        while (slots_[i].used) {
            if (slots_[i].key == key)
                return slots_[i].value;
            i = (i + 1) & mask_;
        }
        ++count_;
        slots_[i] = Slot{key, V{}, true};
        return slots_[i].value;
    }

    // The value of key, or nullptr.
    V* find(uint64_t key) {
        if (count_ == 0)
            return nullptr;
        for (std::size_t i = home(key);; i = (i + 1) & mask_) {
            if (!slots_[i].used)
                return nullptr;
            if (slots_[i].key == key)
                return &slots_[i].value;
        }
    }

    // Calls visit(key, value) for every key, in no order.
    template <class Visit>
    void each(Visit visit) const {
        for (const Slot& s : slots_)
            if (s.used)
                visit(s.key, s.value);
    }

  private:
    struct Slot {
        uint64_t key = 0;
        V value{};
        bool used = false;
    };

    std::size_t home(uint64_t key) const {
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
    }

    void grow() {
        std::vector<Slot> old;
        old.swap(slots_);
        const std::size_t n = old.empty() ? 64 : old.size() * 2;
        slots_.assign(n, Slot{});
        mask_ = n - 1;
        shift_ = 64;
        for (std::size_t v = n; v > 1; v >>= 1)
            --shift_;
        count_ = 0;
        for (const Slot& s : old)
            if (s.used)
                add(s.key) = s.value;
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    int shift_ = 64;
    std::size_t count_ = 0;
};
