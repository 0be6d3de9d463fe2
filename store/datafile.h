// The file seam: every call the program makes on a data file goes through
// here (open, positioned read and write, size, sync, rename, lock), so the
// rest of the code never includes an operating-system header. The POSIX
// version lives in datafile_posix.cpp.
//
// Writes go straight to the operating system (no user-space buffer a crash
// could lose); a file that was written is synced before it is closed. A short
// read or a failed write is damage, reported with the file's name (see
// store/fault.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class DataFile {
  public:
    enum class Mode {
        Update, // read and write an existing file ("rb+")
        Create, // create or empty the file, then read and write ("wb+")
    };

    // Opens path; no value when the operating system refuses.
    static std::optional<DataFile> open(const std::string& path, Mode mode);

    DataFile() = default;
    DataFile(DataFile&& other) noexcept;
    DataFile& operator=(DataFile&& other) noexcept;
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;
    ~DataFile(); // syncs when written, then closes

    bool is_open() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // Length of the file in bytes, measured now.
    int64_t size() const;
    // Reads exactly len bytes at offset; anything less is damage.
    void read_at(int64_t offset, void* buf, std::size_t len) const;
    // Writes exactly len bytes at offset; a failure is damage.
    void write_at(int64_t offset, const void* buf, std::size_t len);
    // Forces what was written to the disk; nothing when nothing was written
    // since the last sync, or when the handle is empty.
    void sync();
    // Syncs if written, then closes; the handle is empty afterwards.
    void close();

    // Syncs and closes every data file still open; the exit path calls it.
    static void close_all();

  private:
    DataFile(int fd, std::string path);
    void link();
    void unlink();

    int fd_ = -1;
    bool dirty_ = false;
    std::string path_;
    DataFile* prev_ = nullptr; // registry of open files, for close_all
    DataFile* next_ = nullptr;
};

// Renames from over to, atomically, and syncs the folder so the new name
// survives a power failure. A failure is damage.
void replace_file(const std::string& from, const std::string& to);

// Whether anything (a file, a folder, a link) stands at path; a link is not
// followed.
bool entry_exists(const std::string& path);

// The folder part of a path ("" for a bare file name, else ending in '/').
std::string folder_of(const std::string& path);

// An advisory lock held for the life of the object; another process asking
// for the same lock file is refused.
class FolderLock {
  public:
    // Takes the lock on path (created if missing); no value if another
    // process holds it or the file cannot be made.
    static std::optional<FolderLock> acquire(const std::string& path, bool* held_elsewhere);
    FolderLock(FolderLock&& other) noexcept;
    FolderLock& operator=(FolderLock&& other) noexcept;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();

  private:
    explicit FolderLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};
