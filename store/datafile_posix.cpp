// POSIX version of the platform calls behind the file seam: descriptors
// opened without following links, pread/pwrite, fsync, rename and flock on
// the data folder itself.
#include "store/datafile.h"
#include "store/os.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace os {

namespace {

int fd_of(Handle h) {
    return static_cast<int>(h);
}

bool failed(std::string* why) {
    if (why)
        *why = std::strerror(errno);
    return false;
}

std::string folder_part(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

} // namespace

Handle open_existing(const std::string& path, bool update, Refusal* refusal, std::string* why) {
    // Without waiting: a pipe or a device put in a file's place would hold
    // the open (and the folder's lock with it) for ever.
    int fd;
    do
        fd = ::open(path.c_str(),
                    (update ? O_RDWR : O_RDONLY) | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    while (fd < 0 && errno == EINTR);
    struct stat st;
    if (fd < 0) {
        *refusal = errno == ENOENT ? Refusal::missing
                   : errno == ELOOP && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)
                       ? Refusal::link
                   : errno == EISDIR || errno == ENXIO ? Refusal::not_regular
                                                       : Refusal::system;
        failed(why);
        return kNone;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *refusal = Refusal::not_regular;
        return kNone;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    *refusal = Refusal::none;
    return fd;
}

Handle create_fresh(const std::string& path, Handle like, std::string* why) {
    if (!remove_entry(path))
        return failed(why), kNone;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return failed(why), kNone;
    struct stat st;
    if (like != kNone && ::fstat(fd_of(like), &st) == 0) {
        // The old table's group, and its owner when the process may give it
        // (as root); then its permissions, which a change of owner can clear.
        if (::fchown(fd, ::geteuid() == 0 ? st.st_uid : static_cast<uid_t>(-1), st.st_gid) != 0)
            (void)!::fchown(fd, static_cast<uid_t>(-1), st.st_gid);
        (void)!::fchmod(fd, st.st_mode & 07777);
    }
    return fd;
}

void close(Handle h) {
    if (h != kNone)
        ::close(fd_of(h));
}

long read_at(Handle h, int64_t offset, void* buf, std::size_t len, std::string* why) {
    ssize_t got;
    do
        got = ::pread(fd_of(h), buf, len, offset);
    while (got < 0 && errno == EINTR);
    if (got < 0)
        failed(why);
    return got;
}

long write_at(Handle h, int64_t offset, const void* buf, std::size_t len, std::string* why) {
    ssize_t put;
    do
        put = ::pwrite(fd_of(h), buf, len, offset);
    while (put < 0 && errno == EINTR);
    if (put < 0)
        failed(why);
    return put;
}

int64_t size(Handle h, std::string* why) {
    struct stat st;
    if (::fstat(fd_of(h), &st) != 0)
        return failed(why), -1;
    return st.st_size;
}

bool file_id(Handle h, FileId* id, std::string* why) {
    struct stat st;
    if (::fstat(fd_of(h), &st) != 0)
        return failed(why);
    *id = FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return true;
}

bool sync(Handle h, std::string* why) {
    return ::fsync(fd_of(h)) == 0 || failed(why);
}

bool truncate(Handle h, int64_t length, std::string* why) {
    return ::ftruncate(fd_of(h), length) == 0 || failed(why);
}

bool sync_folder(const std::string& folder, std::string* why) {
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return failed(why);
    bool synced = ::fsync(fd) == 0 || errno == EINVAL; // some file systems cannot sync a folder
    if (!synced)
        failed(why);
    ::close(fd);
    return synced;
}

bool replace(const std::string& from, const std::string& to, std::string* why) {
    if (::rename(from.c_str(), to.c_str()) != 0)
        return failed(why);
    return sync_folder(folder_part(to), why);
}

int lock_folder(Handle* lock, std::string* why) {
    int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return failed(why), -1;
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        int busy = errno == EWOULDBLOCK;
        failed(why);
        ::close(fd);
        return busy ? 0 : -1;
    }
    *lock = fd;
    return 1;
}

void unlock(Handle lock) {
    close(lock);
}

volatile std::sig_atomic_t view_lost = 0;

namespace {

// The views in use, for the handler of SIGBUS: a page the system cannot
// give (past the end of a file cut short under the view, or a failed read)
// is replaced with zeros, to the view's end, and the view is named lost.
struct Registered {
    const char* data;
    int64_t length;
    int protection;
};
constexpr int kMostViews = 64; // a few tables open at once, two views each at most
Registered views[kMostViews];
const char* volatile lost = nullptr;
uintptr_t page_size = 4096; // the system's, once the handler is installed

void on_lost_page(int signo, siginfo_t* info, void*) {
    const auto* at = static_cast<const char*>(info->si_addr);
    for (const Registered& v : views) {
        if (!v.data || at < v.data || at >= v.data + v.length)
            continue;
        auto* page = reinterpret_cast<char*>(reinterpret_cast<uintptr_t>(at) & ~(page_size - 1));
        const auto rest = static_cast<std::size_t>(v.data + v.length - page);
        if (::mmap(page, rest, v.protection, MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) ==
            MAP_FAILED)
            break;
        lost = v.data;
        view_lost = 1;
        return; // the read is made again, on zeros
    }
    ::signal(signo, SIG_DFL); // no view of ours: the fault ends the process as it would
}

// Keeps a view in the handler's list; false when the list is full (the
// file is then read without a view).
bool registered(const char* data, int64_t length, int protection) {
    static const bool installed = [] {
        page_size = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
        struct sigaction sa {};
        sa.sa_sigaction = on_lost_page;
        sa.sa_flags = SA_SIGINFO;
        sigemptyset(&sa.sa_mask);
        return ::sigaction(SIGBUS, &sa, nullptr) == 0;
    }();
    for (Registered& v : views)
        if (installed && !v.data) {
            v = Registered{data, length, protection};
            return true;
        }
    return false;
}

View mapped(Handle h, int64_t length, int protection) {
    View view;
    if (length <= 0 || static_cast<uint64_t>(length) > SIZE_MAX)
        return view;
    void* p =
        ::mmap(nullptr, static_cast<std::size_t>(length), protection, MAP_SHARED, fd_of(h), 0);
    if (p == MAP_FAILED)
        return view;
    if (!registered(static_cast<const char*>(p), length, protection)) {
        ::munmap(p, static_cast<std::size_t>(length));
        return view;
    }
    view.data = static_cast<const char*>(p);
    view.length = length;
    return view;
}

} // namespace

const char* lost_view() {
    return lost;
}

void forget_lost_view() {
    lost = nullptr;
    view_lost = 0;
}

View map(Handle h, int64_t length) {
    return mapped(h, length, PROT_READ);
}

void unmap(View& view) {
    if (view.data) {
        ::munmap(const_cast<char*>(view.data), static_cast<std::size_t>(view.length));
        for (Registered& v : views)
            if (v.data == view.data)
                v = Registered{};
    }
    view = View{};
}

bool lock_file(Handle h, bool wait) {
    int rc;
    do
        rc = ::flock(fd_of(h), LOCK_EX | (wait ? 0 : LOCK_NB));
    while (rc != 0 && errno == EINTR);
    return rc == 0;
}

void unlock_file(Handle h) {
    ::flock(fd_of(h), LOCK_UN);
}

} // namespace os

using namespace os;

bool entry_exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

bool remove_entry(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

int make_folder(const std::string& path, std::string* why) {
    if (::mkdir(path.c_str(), 0777) == 0)
        return 1;
    failed(why);
    return errno == EEXIST ? 0 : -1;
}

bool remove_folder(const std::string& path, std::string* why) {
    return ::rmdir(path.c_str()) == 0 || failed(why);
}

bool is_folder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

// The names in the folder open as fd, checked to be files named in names.
bool only_files_named(int fd, const std::vector<std::string>& names,
                      std::vector<std::string>* found, std::string* why) {
    DIR* dir = ::fdopendir(::dup(fd));
    if (!dir)
        return failed(why);
    bool only = true;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat st;
        if (name == "." || name == "..")
            continue;
        const bool named = std::find(names.begin(), names.end(), name) != names.end();
        if (!named || ::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            S_ISDIR(st.st_mode)) {
            *why = "it holds " + name + ", which is not one of its files";
            only = false;
            break;
        }
        found->push_back(name);
    }
    ::closedir(dir);
    return only;
}

} // namespace

bool remove_folder_of(const std::string& path, const std::vector<std::string>& names,
                      std::string* why) {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ELOOP || errno == ENOTDIR)
            *why = "it is a link, or not a folder";
        else
            failed(why);
        return false;
    }
    std::vector<std::string> found;
    bool removed = only_files_named(fd, names, &found, why);
    for (const std::string& name : found)
        if (removed && ::unlinkat(fd, name.c_str(), 0) != 0)
            removed = failed(why);
    ::close(fd);
    return removed && remove_folder(path, why);
}

bool folder_entries(const std::string& folder, std::vector<std::string>* names, std::string* why) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return failed(why);
    names->clear();
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names->push_back(name);
    }
    bool complete = errno == 0 || failed(why);
    ::closedir(dir);
    return complete;
}

bool rename_unless_taken(const std::string& from, const std::string& to, std::string* why) {
    int rc = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) { // a file system without the flag
        if (entry_exists(to)) {
            errno = EEXIST;
            return failed(why);
        }
        rc = ::rename(from.c_str(), to.c_str());
    }
    return (rc == 0 || failed(why)) && sync_folder(folder_part(to), why);
}

bool enter_folder(const std::string& path, bool create, std::string* why) {
    if (create && !entry_exists(path)) {
        for (std::size_t at = path.find('/', 1); at != std::string::npos;
             at = path.find('/', at + 1))
            ::mkdir(path.substr(0, at).c_str(), 0777);
        if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST)
            return failed(why);
    }
    return ::chdir(path.c_str()) == 0 || failed(why);
}

std::string current_folder() {
    char buf[4096];
    return ::getcwd(buf, sizeof buf) ? std::string(buf) + (buf[1] ? "/" : "") : std::string("./");
}

void binary_output() {} // POSIX writes bytes as they stand

bool prepare_process() {
    std::signal(SIGXFSZ, SIG_IGN);
    for (int fd = 0; fd <= 2; ++fd) // the lowest free descriptor is fd itself
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF && ::open("/dev/null", O_RDWR) != fd)
            return false;
    return true;
}

std::tm local_now() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

bool run_command(const std::string& command, const std::string& input, int timeout_ms,
                 std::string* why) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return failed(why);
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return failed(why);
    }
    if (pid == 0) { // the child: a session of its own, the receipt on its input, no terminal
        ::setsid();
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        std::signal(SIGPIPE, SIG_DFL);
        std::signal(SIGXFSZ, SIG_DFL);
        const int null = ::open("/dev/null", O_RDWR);
        if (::dup2(fds[0], 0) < 0 || null < 0 || ::dup2(null, 1) < 0 || ::dup2(null, 2) < 0)
            ::_exit(127);
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[0]);
    // The receipt fits the pipe; a command that does not read it is no reason
    // to wait (the write fails once it has ended).
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    if (::write(fds[1], input.data(), input.size()) < 0) {
    } // what it did with the receipt is told by how it ends
    ::close(fds[1]);
    int status = 0;
    for (int waited = 0;; waited += 10) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            return failed(why);
        if (waited >= timeout_ms) {
            ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            *why = "it did not end within " + std::to_string(timeout_ms / 1000) + " seconds";
            return false;
        }
        ::usleep(10000);
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    *why = WIFEXITED(status) ? "it ended with status " + std::to_string(WEXITSTATUS(status))
                             : "a signal ended it (" + std::to_string(WTERMSIG(status)) + ")";
    return false;
}
