// The platform's calls on open files behind the file seam (store/datafile.h),
// one version per platform: datafile_posix.cpp, datafile_win.cpp. Only the
// seam's own files (and the crash tests' wrapper) include this header; the
// rest of the program uses DataFile and the folder calls of datafile.h.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace os {

using Handle = std::intptr_t; // a descriptor or a system handle
inline constexpr Handle kNone = -1;

#ifdef _WIN32
inline constexpr bool kOpenFilesBlockReplace = true;
#else
inline constexpr bool kOpenFilesBlockReplace = false;
#endif

// Why an existing file could not be opened.
enum class Refusal { none, missing, link, not_regular, system };

// Opens an existing regular file for reading (and writing when update),
// never through a link; anything else (a folder, a pipe, a device) is
// refused without waiting on it. kNone when refused, with the reason and the
// system's words in why.
Handle open_existing(const std::string& path, bool update, Refusal* refusal, std::string* why);

// Makes path a new empty file for reading and writing: whatever stands there
// (a file, a link) is removed and the file created exclusively, so nothing is
// ever written through a link. It takes the permissions and group of like
// (and its owner where the process may set it) when like is not kNone.
Handle create_fresh(const std::string& path, Handle like, std::string* why);

void close(Handle h);

// Positioned transfers of up to len bytes: the count moved, 0 at the end of
// the file, -1 on failure (why set). Interrupted calls are retried.
long read_at(Handle h, int64_t offset, void* buf, std::size_t len, std::string* why);
long write_at(Handle h, int64_t offset, const void* buf, std::size_t len, std::string* why);

int64_t size(Handle h, std::string* why); // -1 on failure

// What tells files apart: the same for two handles (or a handle and a path
// opened afresh) exactly when they are the same file, whatever its names.
struct FileId {
    uint64_t volume = 0, index = 0;
    bool operator==(const FileId&) const = default;
};
bool file_id(Handle h, FileId* id, std::string* why);
bool sync(Handle h, std::string* why);
bool truncate(Handle h, int64_t length, std::string* why);

// Makes the names in folder ("" for the current one) survive a power failure.
bool sync_folder(const std::string& folder, std::string* why);
// Renames from over to and syncs the folder, so the new name survives a
// power failure. Where kOpenFilesBlockReplace holds, every handle on to
// must be closed first (Windows refuses to replace a file open or mapped
// elsewhere); elsewhere a handle left open keeps reading the old file.
bool replace(const std::string& from, const std::string& to, std::string* why);

// A read-only view of a file's first length bytes, shared with the file: it
// sees every later write to those bytes. No data when the system refuses to
// map the file (the caller then reads with read_at).
struct View {
    const char* data = nullptr;
    int64_t length = 0;
    Handle mapping = kNone; // what the system needs to undo it, where it needs anything
};
View map(Handle h, int64_t length);
// A page of a view the system cannot give (the file was cut short under it,
// or the disk failed to read it) reads as zeros from then on instead of
// ending the process, and view_lost is set, with lost_view answering the
// view's data until forget_lost_view: the caller reports the file before
// anything it read there is used.
extern volatile std::sig_atomic_t view_lost;
const char* lost_view();
void forget_lost_view();
void unmap(View& view);

// An exclusive lock on an open file, held until unlock_file: the counter
// holds it on its journal while an action's writes reach the tables, so that
// a reader taking it (a backup) sees the files between two actions. wait
// false answers false at once when another process holds it.
bool lock_file(Handle h, bool wait);
void unlock_file(Handle h);

// Takes the lock of the current folder for this process until unlock or the
// process ends: 1 taken, 0 held by another process, -1 failed (why set).
int lock_folder(Handle* lock, std::string* why);
void unlock(Handle lock);

} // namespace os
