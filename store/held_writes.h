// The writes a clerk's action holds for one table until the action ends:
// whole byte ranges by offset, the latest at an offset winning. The journal
// owns them (store/journal.h); a table handle opened in the action lays
// them over what it reads (store/datafile.h).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>

class HeldWrites {
  public:
    using Map = std::map<int64_t, std::string>;

    bool empty() const { return writes_.empty(); }
    void clear() { writes_.clear(); }
    const Map& all() const { return writes_; }

    // The length of the table the writes go to, as it will be when they
    // reach it (a grown table's); -1 while unknown.
    int64_t table_size() const { return table_size_; }
    void set_table_size(int64_t size) { table_size_ = size; }

    // Holds len bytes written at offset. Writes of one table are whole
    // records at record offsets, so held writes never overlap each other.
    void hold(int64_t offset, const void* data, std::size_t len) {
        writes_[offset].assign(static_cast<const char*>(data), len);
    }

    // Lays the held bytes that fall within [offset, offset + len) over buf,
    // which holds those bytes as the file has them.
    void overlay(int64_t offset, void* buf, std::size_t len) const {
        const int64_t end = offset + static_cast<int64_t>(len);
        auto w = writes_.upper_bound(offset);
        if (w != writes_.begin())
            --w;
        for (; w != writes_.end() && w->first < end; ++w) {
            const int64_t from = std::max(offset, w->first);
            const int64_t to = std::min(end, w->first + static_cast<int64_t>(w->second.size()));
            if (from < to)
                std::memcpy(static_cast<char*>(buf) + (from - offset),
                            w->second.data() + (from - w->first),
                            static_cast<std::size_t>(to - from));
        }
    }

  private:
    Map writes_;
    int64_t table_size_ = -1;
};
