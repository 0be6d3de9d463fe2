// Helpers for unit tests that work on real data files: a scratch folder the
// test runs in, whole-file reads and writes, and the bytes of blank records
// built field by field, independently of the store's own record structs.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

using Bytes = std::vector<unsigned char>;

// A fresh folder made with mkdtemp, the working folder while the object
// lives; the old working folder is restored and the folder removed after.
class ScratchFolder {
  public:
    ScratchFolder() : old_(std::filesystem::current_path()) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "rentdesk-test-XXXXXX");
        if (!::mkdtemp(tmpl.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
        std::filesystem::current_path(path_);
    }
    ~ScratchFolder() {
        std::filesystem::current_path(old_);
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }

  private:
    std::filesystem::path old_;
    std::string path_;
};

// Every byte of the file; empty when it does not exist.
inline Bytes file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Creates or replaces the file with exactly these bytes.
inline void put_file_bytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline void put_le32(Bytes& b, int32_t v) {
    auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<unsigned char>(u >> (8 * i)));
}

// The text, then zero bytes up to width.
inline void put_text(Bytes& b, std::string_view text, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        b.push_back(i < text.size() ? static_cast<unsigned char>(text[i]) : 0);
}

// A blank date, 1999-01-01.
inline void put_blank_date(Bytes& b) {
    put_le32(b, 1999);
    put_le32(b, 1);
    put_le32(b, 1);
}

// The blank record of the named data file with the given key (0 empty, -1
// deleted), laid out field by field.
inline Bytes blank_record_bytes(std::string_view file, int32_t key) {
    Bytes b;
    if (file == "catalogmov.txt") {
        put_text(b, "x", 20);
        put_le32(b, key);
        for (int i = 0; i < 5; ++i)
            put_le32(b, 0);
    } else if (file == "user.txt") {
        put_le32(b, key);
        for (int i = 0; i < 3; ++i)
            put_text(b, "x", 12);
        put_blank_date(b);
        for (int i = 0; i < 3; ++i)
            put_le32(b, 0);
    } else if (file == "rentmovies.txt") {
        put_le32(b, key);
        put_blank_date(b);
        for (int i = 0; i < 3; ++i)
            put_le32(b, 0);
    } else if (file == "reservedmov.txt") {
        put_le32(b, 0); // client
        put_le32(b, key);
        put_le32(b, 0); // callnotice
        put_blank_date(b);
    } else if (file == "ressavmov.txt") {
        put_le32(b, key);
        put_le32(b, 0);
        put_le32(b, 0);
        put_blank_date(b);
    } else {
        throw std::invalid_argument("not a data file");
    }
    return b;
}

// The bytes of a freshly formatted file of n empty slots.
inline Bytes empty_table_bytes(std::string_view file, int32_t n) {
    Bytes one = blank_record_bytes(file, 0);
    Bytes all;
    for (int32_t i = 0; i < n; ++i)
        all.insert(all.end(), one.begin(), one.end());
    return all;
}
