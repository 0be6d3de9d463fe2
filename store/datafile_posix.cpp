// POSIX version of the file seam: descriptors with pread/pwrite, fsync,
// rename and flock.
#include "store/datafile.h"

#include "store/fault.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

DataFile* open_files = nullptr; // head of the registry of open data files
long crash_countdown = -1;

// Counts one write point; ends the process when the injected fault is due.
void write_point() {
    if (crash_countdown < 0)
        return;
    if (crash_countdown == 0)
        _exit(86);
    --crash_countdown;
}

void sync_folder(const std::string& path) {
    std::string folder = folder_of(path);
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

std::optional<DataFile> DataFile::open(const std::string& path, Mode mode) {
    int flags = O_RDWR | O_CLOEXEC;
    if (mode == Mode::Create)
        flags |= O_CREAT | O_TRUNC;
    int fd;
    do
        fd = ::open(path.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return std::nullopt;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    DataFile file(fd, path);
    if (mode == Mode::Create)
        file.dirty_ = true; // emptying it was a change worth syncing
    return file;
}

DataFile::DataFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {
    link();
}

DataFile::DataFile(DataFile&& other) noexcept
    : fd_(other.fd_), dirty_(other.dirty_), path_(std::move(other.path_)) {
    other.unlink();
    other.fd_ = -1;
    other.dirty_ = false;
    if (fd_ >= 0)
        link();
}

DataFile& DataFile::operator=(DataFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        dirty_ = other.dirty_;
        path_ = std::move(other.path_);
        other.unlink();
        other.fd_ = -1;
        other.dirty_ = false;
        if (fd_ >= 0)
            link();
    }
    return *this;
}

DataFile::~DataFile() {
    close();
}

void DataFile::link() {
    prev_ = nullptr;
    next_ = open_files;
    if (open_files)
        open_files->prev_ = this;
    open_files = this;
}

void DataFile::unlink() {
    if (fd_ < 0)
        return;
    if (prev_)
        prev_->next_ = next_;
    else if (open_files == this)
        open_files = next_;
    if (next_)
        next_->prev_ = prev_;
    prev_ = next_ = nullptr;
}

int64_t DataFile::size() const {
    struct stat st;
    if (::fstat(fd_, &st) != 0)
        report_fault(Fault::damaged, path_,
                     std::string("cannot be measured: ") + std::strerror(errno));
    return st.st_size;
}

void DataFile::read_at(int64_t offset, void* buf, std::size_t len) const {
    auto* p = static_cast<char*>(buf);
    while (len > 0) {
        ssize_t got = ::pread(fd_, p, len, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            report_fault(Fault::damaged, path_,
                         std::string("cannot be read: ") + std::strerror(errno));
        if (got == 0)
            report_fault(Fault::damaged, path_, "ends in the middle of a record");
        p += got;
        offset += got;
        len -= static_cast<std::size_t>(got);
    }
}

void DataFile::write_at(int64_t offset, const void* buf, std::size_t len) {
    write_point();
    dirty_ = true;
    auto* p = static_cast<const char*>(buf);
    while (len > 0) {
        ssize_t put = ::pwrite(fd_, p, len, offset);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            report_fault(Fault::damaged, path_,
                         std::string("cannot be written: ") + std::strerror(errno));
        p += put;
        offset += put;
        len -= static_cast<std::size_t>(put);
    }
}

void DataFile::sync() {
    if (fd_ < 0 || !dirty_)
        return;
    write_point();
    if (::fsync(fd_) != 0 && errno != EINVAL)
        report_fault(Fault::damaged, path_,
                     std::string("cannot be synced: ") + std::strerror(errno));
    dirty_ = false;
}

void DataFile::close() {
    if (fd_ < 0)
        return;
    if (dirty_)
        ::fsync(fd_); // best effort: nothing can be done about a failure here
    unlink();
    ::close(fd_);
    fd_ = -1;
    dirty_ = false;
}

void DataFile::close_all() {
    while (open_files)
        open_files->close();
}

void replace_file(const std::string& from, const std::string& to) {
    write_point();
    if (::rename(from.c_str(), to.c_str()) != 0)
        report_fault(Fault::damaged, to,
                     std::string("cannot be replaced: ") + std::strerror(errno));
    sync_folder(to);
}

bool entry_exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string folder_of(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::optional<FolderLock> FolderLock::acquire(const std::string& path, bool* held_elsewhere) {
    if (held_elsewhere)
        *held_elsewhere = false;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) // a lock file this user may not write still takes the lock
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        if (held_elsewhere)
            *held_elsewhere = (errno == EWOULDBLOCK);
        ::close(fd);
        return std::nullopt;
    }
    return FolderLock(fd);
}

FolderLock::FolderLock(FolderLock&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

FolderLock::~FolderLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

// The crash tests arm this through the declaration in tests/crash_point.h.
void inject_crash_after(long writes) {
    crash_countdown = writes;
}
