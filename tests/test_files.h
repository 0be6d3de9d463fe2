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

// The blank record of the named data file with the given key (0 empty, -1
// deleted), laid out field by field: k the key, i an int32 0, t a 12-byte
// text "x", T a 20-byte text "x", d the date 1999-01-01, all little-endian.
inline Bytes blank_record_bytes(std::string_view file, int32_t key) {
    std::string_view layout = file == "catalogmov.txt"    ? "Tkiiiii"
                              : file == "user.txt"        ? "ktttdiii"
                              : file == "rentmovies.txt"  ? "kdiii"
                              : file == "reservedmov.txt" ? "ikid" // client, movie, callnotice
                              : file == "ressavmov.txt"   ? "kiid"
                                                          : "";
    if (layout.empty())
        throw std::invalid_argument("not a data file");
    Bytes b;
    auto put32 = [&b](int32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<unsigned char>(static_cast<uint32_t>(v) >> (8 * i)));
    };
    for (char field : layout) {
        if (field == 'k' || field == 'i') {
            put32(field == 'k' ? key : 0);
        } else if (field == 'd') {
            for (int32_t v : {1999, 1, 1})
                put32(v);
        } else {
            b.push_back('x');
            b.insert(b.end(), field == 'T' ? 19 : 11, 0);
        }
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
