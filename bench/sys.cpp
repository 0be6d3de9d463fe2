// The system calls of the benchmark: the floors' reads and writes, whole
// files written and read in one go, child processes, and the process's
// resident anonymous memory.
#include "bench.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

void die(const std::string& what) {
    std::fprintf(stderr, "rentdesk_bench: %s\n", what.c_str());
    std::exit(2);
}

namespace {

[[noreturn]] void die_errno(const std::string& what) {
    die(what + ": " + std::strerror(errno));
}

constexpr std::size_t kBlock = 1 << 20; // the large reads and writes

} // namespace

Fd::Fd(const std::string& path, bool write) {
    fd = ::open(path.c_str(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        die_errno("cannot open " + path);
}

Fd::~Fd() {
    ::close(fd);
}

void pread_exact(int fd, void* buf, std::size_t len, int64_t offset) {
    if (::pread(fd, buf, len, offset) != static_cast<ssize_t>(len))
        die_errno("a read of a table failed");
}

void pwrite_exact(int fd, const void* buf, std::size_t len, int64_t offset) {
    if (::pwrite(fd, buf, len, offset) != static_cast<ssize_t>(len))
        die_errno("a write of a table failed");
}

void fsync_or_die(int fd) {
    if (::fsync(fd) != 0)
        die_errno("a sync failed");
}

void truncate_or_die(int fd, int64_t len) {
    if (::ftruncate(fd, len) != 0)
        die_errno("a cut failed");
}

int open_table_fd(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0)
        die_errno("cannot open " + path);
    return fd;
}

void close_fd(int fd) {
    ::close(fd);
}

void write_file(const std::string& path, const void* data, std::size_t len) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        die_errno("cannot create " + path);
    const char* p = static_cast<const char*>(data);
    for (std::size_t done = 0; done < len;) {
        ssize_t put = ::write(fd, p + done, len - done);
        if (put <= 0)
            die_errno("cannot write " + path);
        done += static_cast<std::size_t>(put);
    }
    // Synced, so that no write-back of it is under way while others are timed.
    if (::fsync(fd) != 0)
        die_errno("cannot sync " + path);
    ::close(fd);
}

int64_t read_file(const std::string& path) {
    static std::vector<char> buf(kBlock);
    Fd f(path, false);
    int64_t total = 0;
    for (ssize_t got; (got = ::read(f.fd, buf.data(), buf.size())) != 0; total += got)
        if (got < 0)
            die_errno("cannot read " + path);
    return total;
}

void copy_file(const std::string& from, const std::string& to) {
    Fd in(from, false);
    struct stat st;
    if (::fstat(in.fd, &st) != 0)
        die_errno("cannot measure " + from);
    std::vector<char> bytes(static_cast<std::size_t>(st.st_size));
    pread_exact(in.fd, bytes.data(), bytes.size(), 0);
    write_file(to, bytes.data(), bytes.size());
}

void make_folder(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        die_errno("cannot make " + path);
}

int run_program(const std::vector<std::string>& argv, std::string* out) {
    int pipe_fds[2] = {-1, -1};
    if (out && ::pipe2(pipe_fds, O_CLOEXEC) != 0)
        die_errno("no pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (out)
        posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        errno = rc;
        die_errno("cannot start " + argv[0]);
    }
    if (out) {
        ::close(pipe_fds[1]);
        char buf[4096];
        for (ssize_t got; (got = ::read(pipe_fds[0], buf, sizeof buf)) > 0;)
            out->append(buf, static_cast<std::size_t>(got));
        ::close(pipe_fds[0]);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            die_errno("cannot wait for " + argv[0]);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

// A line "Name: N kB" of /proc/self/status, in bytes.
int64_t status_kb(const char* format) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        die_errno("cannot read /proc/self/status");
    char line[256];
    long kb = -1;
    while (kb < 0 && std::fgets(line, sizeof line, f))
        if (std::sscanf(line, format, &kb) != 1)
            kb = -1;
    std::fclose(f);
    if (kb < 0)
        die(std::string("/proc/self/status has no line ") + format);
    return static_cast<int64_t>(kb) * 1024;
}

} // namespace

int64_t rss_anon() {
    return status_kb("RssAnon: %ld kB");
}

int64_t rss_total() {
    return status_kb("VmRSS: %ld kB");
}

std::string self_path() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        die_errno("cannot find this program's path");
    return std::string(buf, static_cast<std::size_t>(n));
}

double now_seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}
