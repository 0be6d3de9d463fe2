// Scratch folder, captured output and findings of the fuzz targets.
#include "tests/fuzz/fuzz_support.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

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

void enter_work_folder(int* argc, char*** argv) {
    namespace fs = std::filesystem;
    static std::vector<std::string> args; // argv points into these for the whole run
    bool has_prefix = false;
    for (int i = 0; i < *argc; ++i) {
        std::string arg = (*argv)[i];
        std::size_t eq = arg.find('=');
        if (i > 0 && arg[0] != '-') {
            arg = fs::absolute(arg).string();
        } else if (eq != std::string::npos) {
            std::string flag = arg.substr(0, eq + 1), value = arg.substr(eq + 1);
            has_prefix = has_prefix || flag == "-artifact_prefix=";
            bool path =
                flag == "-artifact_prefix=" || flag == "-exact_artifact_path=" || flag == "-dict=";
            if (path && !value.empty()) {
                bool folder = value.back() == '/';
                arg = flag + fs::absolute(value).string() + (folder ? "/" : "");
            }
        }
        args.push_back(arg);
    }
    if (!has_prefix)
        args.push_back("-artifact_prefix=" + fs::current_path().string() + "/");
    static std::vector<char*> pointers;
    for (std::string& arg : args)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    *argc = static_cast<int>(args.size());
    *argv = pointers.data();
    if (chdir(work_folder().c_str()) != 0) {
        std::perror("rentdesk fuzz: cannot enter the scratch folder");
        std::abort();
    }
}

void capture_stdout() {
    const char* show = std::getenv("RENTDESK_FUZZ_SHOW");
    if (show && *show)
        return; // leave the screens on the terminal, to watch what an input does
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
