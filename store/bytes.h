// The bytes of the records the journal and the day log's after-images frame:
// values appended as they lie in memory, and the FNV-1a checksum that tells
// a whole record from one a crash cut short.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline uint64_t checksum(const char* bytes, std::size_t len) {
    uint64_t h = 1469598103934665603ULL;
    for (std::size_t i = 0; i < len; ++i)
        h = (h ^ static_cast<unsigned char>(bytes[i])) * 1099511628211ULL;
    return h;
}

template <class T>
void put(std::string& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}
