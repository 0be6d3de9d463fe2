// Scratch folder, captured output and findings of the fuzz targets.
#include "tests/fuzz/fuzz_support.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

constexpr std::size_t kTailBytes = 1500;

std::string base_folder() {
    const char* tmpdir = std::getenv("TMPDIR");
    if (tmpdir && *tmpdir)
        return tmpdir;
    // A memory file system makes the program's syncs nearly free.
    if (access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    return "/tmp";
}

std::string screen_file() {
    return work_folder() + "screen.out";
}

// Control bytes of the screens (colours, clearing) shown as \xNN, so the tail
// reads as plain text on the fuzzer's log.
std::string printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\n' || (c >= 0x20 && c < 0x7f)) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

} // namespace

const std::string& work_folder() {
    // Never destroyed: the exit handler that removes the folder runs after
    // the destructors of static objects.
    static const std::string* folder = [] {
        std::string pattern = base_folder() + "/rentdesk-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::perror("rentdesk fuzz: cannot make a scratch folder");
            std::abort();
        }
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(work_folder(), ignored);
        });
        return new std::string(pattern + "/");
    }();
    return *folder;
}

void capture_stdout() {
    if (!std::freopen(screen_file().c_str(), "w", stdout)) {
        std::perror("rentdesk fuzz: cannot capture standard output");
        std::abort();
    }
}

void reset_captured_output() {
    std::fflush(stdout);
    if (ftruncate(fileno(stdout), 0) != 0)
        std::perror("rentdesk fuzz: cannot empty the captured output");
    std::rewind(stdout);
}

std::string captured_tail(std::size_t max_bytes) {
    std::fflush(stdout);
    std::ifstream in(screen_file(), std::ios::binary | std::ios::ate);
    std::streamoff size = in.tellg();
    if (size <= 0)
        return "";
    std::streamoff start = size > static_cast<std::streamoff>(max_bytes) ? size - max_bytes : 0;
    std::string tail(static_cast<std::size_t>(size - start), '\0');
    in.seekg(start);
    in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    return tail;
}

void finding(const char* format, ...) {
    std::string out = captured_tail(kTailBytes);
    std::fputs("FINDING: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fprintf(stderr, "\n--- last screen output ---\n%s\n--- end ---\n", printable(out).c_str());
    // abort skips the exit handlers; libFuzzer keeps the input by itself.
    std::error_code ignored;
    std::filesystem::remove_all(work_folder(), ignored);
    std::abort();
}
