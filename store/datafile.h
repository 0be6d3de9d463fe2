// The file seam: every file of the data folder is opened, read, written,
// synced, renamed and locked through here, so the rest of the code never
// includes an operating-system header. DataFile, the handle, is the same on
// every platform (datafile.cpp) over the calls of store/os.h; the folder
// calls below and the clock are implemented once per platform
// (datafile_posix.cpp, datafile_win.cpp).
//
// No file of the folder is used through a link: a data file that is a link
// is refused as damaged, and scratch and temporary files are made fresh. A
// file written is synced before it is closed, unless closed with
// close_unsynced (the journal's tables, whose writes its intents keep until a
// checkpoint syncs them). A short read, a failed write or a failed sync is
// damage, reported with the file's name (store/fault.h).
#pragma once

#include "store/held_writes.h"
#include "store/os.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

class DataFile {
  public:
    enum class Mode {
        Read,   // an existing file, only read
        Update, // an existing file, read and written in place ("rb+")
        Create, // a fresh empty file in place of whatever stood at the path
    };

    // Opens path. Read and Update answer no value for a missing file, report
    // a link or anything not a regular file (a folder, a pipe) as damage,
    // and a file the system refuses to open (its permissions) as one that
    // cannot be opened, with the system's words. Create takes the
    // permissions and owner of like when given.
    static std::optional<DataFile> open(const std::string& path, Mode mode,
                                        const DataFile* like = nullptr);

    // As open, but anything this process cannot open as a regular file (a
    // link, a folder, a file it may not read) answers no value instead of
    // being reported.
    static std::optional<DataFile> open_if_regular(const std::string& path, Mode mode);

    DataFile() = default;
    DataFile(DataFile&& other) noexcept;
    DataFile& operator=(DataFile&& other) noexcept;
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;
    ~DataFile(); // closes (syncs what was written)

    bool is_open() const { return handle_ != os::kNone; }
    // Whether path names this very file now (not a file put in its place,
    // nor nothing at all).
    bool is_at(const std::string& path) const;
    const std::string& path() const { return path_; }
    // From now on the handle's writes go to held (owned by the journal, which
    // outlives the handle) instead of the file, and its reads see them.
    void hold_writes_in(HeldWrites* held) { held_ = held; }
    // Writes made through this handle, held or not: a pass over the file
    // compares it to know whether what it read ahead is still current.
    long writes() const { return writes_; }

    // Length of the file in bytes: measured when it was opened, then kept up
    // with the program's own writes (the folder lock keeps others out).
    int64_t size() const { return size_; }
    // Reads exactly len bytes at offset into buf, the held writes included;
    // anything less is damage.
    void read_at(int64_t offset, void* buf, std::size_t len) const;
    // Readers of the file's records for a keyed walk: at hands the len bytes
    // at offset as the program sees them (the held writes included), valid
    // until its next call. Mapped reads them straight from the file's
    // mapping; Buffered reads each record with a positioned read.
    struct Mapped {
        const char* base;
        const char* at(int64_t offset, std::size_t) const { return base + offset; }
    };
    struct Buffered {
        const DataFile& file;
        alignas(8) mutable char record[64];
        const char* at(int64_t offset, std::size_t len) const {
            if (len > sizeof record)
                file.report_unreadable(offset);
            file.read_at(offset, record, len);
            return record;
        }
    };
    // A keyed walk over a few scattered records, which do not change while
    // it goes: answers walk(reader), with the reader the handle chooses:
    // Mapped when the file is mapped and the journal holds no write for it,
    // else Buffered. The file is mapped once a few walks were made (a table
    // opened for one search is read with a few positioned reads, which cost
    // less than a mapping).
    template <class Fn>
    auto walk(Fn fn) const {
        if (!view_.data && ++walks_ > 4)
            map_for_reading();
        if (const char* base = unheld_view()) {
            auto answer = fn(Mapped{base});
            check_views();
            return answer;
        }
        return fn(Buffered{*this, {}});
    }
    // A page of a mapping the system could not give (the file was cut short
    // under the program, or the disk failed to read it) read as zeros: that
    // is damage, reported here with the file's name. Every read through a
    // mapping is followed by this check before what it read is acted on.
    static void check_views() {
        if (os::view_lost) [[unlikely]]
            report_lost_view();
    }
    // A chunk of a pass over the file: the len bytes at offset as the
    // program sees them, straight from the mapping when it holds them and
    // the journal holds no write for the file, else read into scratch. A
    // pass maps the file at its first chunk. Valid until the file is
    // written, closed or grown.
    const char* chunk(int64_t offset, std::size_t len, std::string& scratch) const;
    // Writes exactly len bytes at offset (held while the handle holds its
    // writes); a write that stores less is retried, a failure is damage.
    void write_at(int64_t offset, const void* buf, std::size_t len);
    // Forces what was written to the disk; a failure is damage.
    void sync();
    // Forces the whole file to the disk, whatever handle wrote it: what an
    // earlier handle left unsynced included.
    void sync_all();
    // Cuts (or extends) the file to length bytes, at once.
    void truncate(int64_t length);
    // Syncs what was written, then closes; the handle is empty after.
    void close();
    // Closes without syncing: what was written reaches the disk when the
    // system writes it back, or when the file is next synced with sync_all.
    void close_unsynced();
    // An exclusive lock on the file between processes, until unlock (or
    // close): wait for it, or answer false at once when another holds it.
    bool lock(bool wait) { return os::lock_file(handle_, wait); }
    void unlock() { os::unlock_file(handle_); }

    // Closes every data file still open; the exit path calls it.
    static void close_all();
    // Around a rename over path, where the system refuses to replace a file
    // that is open: every handle on path is synced and closed by let_go,
    // and opened again on the file now at path by take_back (so it reads
    // the new table). Elsewhere both do nothing.
    static std::vector<DataFile*> let_go(const std::string& path);
    static void take_back(const std::vector<DataFile*>& files);

  private:
    DataFile(os::Handle handle, std::string path, int64_t size);
    // The mapping, when reads may take bytes straight from it (no held
    // write lies in the file); else nullptr.
    const char* unheld_view() const {
        return view_.data && !(held_ && !held_->empty()) ? view_.data : nullptr;
    }
    void map_for_reading() const;
    [[noreturn]] void report_unreadable(int64_t offset) const;
    [[noreturn]] static void report_lost_view();
    void unmap(os::View& view) const; // remembers the name of a lost one
    void link();
    void unlink();

    os::Handle handle_ = os::kNone;
    int64_t size_ = 0;
    mutable os::View view_; // the mapping reads use, made when first worth it
    mutable int walks_ = 0;
    bool dirty_ = false;  // written since the last sync
    bool update_ = false; // the handle was opened for writing
    HeldWrites* held_ = nullptr;
    long writes_ = 0;
    std::string path_;
    DataFile* prev_ = nullptr; // registry of open files, for close_all
    DataFile* next_ = nullptr;
};

// The calls through which the seam changes files on disk, each named with
// the path it changes: the system's own in the program. The crash tests
// wrap them (tests/crash_point.h) to end the process at any of these write
// points as a power failure would, or to play a failing disk.
struct WritePoints {
    os::Handle (*create)(const std::string& path, os::Handle like, std::string* why);
    long (*write_at)(os::Handle h, const std::string& path, int64_t offset, const void* buf,
                     std::size_t len, std::string* why);
    bool (*sync)(os::Handle h, const std::string& path, std::string* why);
    bool (*truncate)(os::Handle h, const std::string& path, int64_t length, std::string* why);
    bool (*replace)(const std::string& from, const std::string& to, std::string* why);
    bool (*sync_folder)(const std::string& folder, std::string* why);
};
// The system's own calls, and the ones in use.
const WritePoints& system_write_points();
void set_write_points(const WritePoints& points);

// Renames from over to and makes it durable; a failure is damage. Handles
// still open on to read the old file, or, where the system cannot replace an
// open file, the new one.
void replace_file(const std::string& from, const std::string& to);

// Makes the names in folder durable ("" for the current folder); a failure is
// damage.
void sync_folder(const std::string& folder);

// Whether anything (a file, a folder, a link) stands at path; a link is not
// followed.
bool entry_exists(const std::string& path);

// Removes what stands at path (a link itself, never what it points to); true
// when nothing stands there afterwards.
bool remove_entry(const std::string& path);

// A new folder at path (the folder above it must exist), made only when
// nothing stands there: 1 made, 0 when the name is taken, -1 failed (why set).
int make_folder(const std::string& path, std::string* why);
// Removes the folder at path, which must be empty; false (why set) otherwise.
bool remove_folder(const std::string& path, std::string* why);
// Removes the real folder at path with the files in it, every one of which
// must be named in names: never a link, nor anything through one (the folder
// is opened without following a link and held while its files are removed
// from it). False (why set), nothing removed, when path is a link or no
// folder, or holds anything else.
bool remove_folder_of(const std::string& path, const std::vector<std::string>& names,
                      std::string* why);
// Whether path names a folder (a link to one too).
bool is_folder(const std::string& path);
// The names of the entries of folder ("." and ".." left out), in no order;
// false (why set) when it cannot be read.
bool folder_entries(const std::string& folder, std::vector<std::string>* names, std::string* why);
// Renames a file or folder to a name nothing stands at, durably; false (why
// set) when the name is taken or the rename fails. Never replaces anything.
bool rename_unless_taken(const std::string& from, const std::string& to, std::string* why);

// The folder part of a path ("" for a bare file name, else ending in '/' or
// '\').
std::string folder_of(const std::string& path);

// The current folder as an absolute path ending in the separator; and a
// change of it, creating the folder (and those above it) first when create
// is set and it does not exist (false, with the system's words, on failure).
std::string current_folder();
bool enter_folder(const std::string& path, bool create, std::string* why);

// Standard output carries CSV with LF line ends on every platform: the
// Windows C runtime would otherwise write CR LF.
void binary_output();

// Readies the process before any file is opened: closed standard streams are
// opened on the null device, and an oversized write fails instead of killing
// the process. False when a closed stream cannot be opened again: the
// program must end, as a data file could take its place.
bool prepare_process();

// The local date and time now, from the system clock (store/dates.h reads
// the clock through here alone).
std::tm local_now();

// Runs command through the system's shell (/bin/sh -c, cmd.exe /c) with input
// on its standard input and its output and errors dropped, in a session of
// its own, away from the terminal and holding none of the program's files;
// waits for it up to timeout_ms, then ends it. True when it ended with
// status 0; else false with why.
bool run_command(const std::string& command, const std::string& input, int timeout_ms,
                 std::string* why);

// The lock of the data folder (the current folder), held for the life of the
// object by this process alone; it dies with the process however it ends.
class FolderLock {
  public:
    enum class Outcome { taken, busy, failed };
    // Takes the lock; why receives the system's words when it failed.
    static Outcome take(std::optional<FolderLock>& lock, std::string* why);
    FolderLock(FolderLock&& other) noexcept : handle_(other.handle_) { other.handle_ = os::kNone; }
    FolderLock& operator=(FolderLock&&) = delete;
    ~FolderLock() { os::unlock(handle_); }

  private:
    explicit FolderLock(os::Handle handle) : handle_(handle) {}
    os::Handle handle_ = os::kNone;
};
