// Program entry of the counter program: the few command-line answers, then
// the console and the main loop.
#include "counter/main_loop.h"
#include "shell/screen.h"
#include "shell/terminal.h"
#include "store/datafile.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace {

const char* const kHelp =
    "%s: the counter program of a video-rental shop.\n"
    "\n"
    "It works in the shop's data folder, which holds the five data files\n"
    "(user.txt, rentmovies.txt, ressavmov.txt, reservedmov.txt, catalogmov.txt):\n"
    "the current folder, or the one --data names. To set up a fresh data folder:\n"
    "    rentdesk-admin --data DIR init 101\n"
    "or a small demo shop to try the counter on:\n"
    "    rentdesk-admin --data DIR demo\n"
    "Move through the menu with the Up and Down arrow keys, choose with Enter,\n"
    "leave with Esc.\n"
    "\n"
    "Options: --data DIR works in the data folder DIR; --receipts COMMAND hands\n"
    "each payment's receipt to COMMAND (run by the shell, the receipt on its\n"
    "input); --help prints this text, --version the version.\n";

// A folder name as a shell takes it back: quoted when it holds more than
// letters, digits and the usual path signs.
std::string shell_word(const std::string& word) {
    if (!word.empty() &&
        word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                               "0123456789_./:\\+,=@%-") == std::string::npos)
        return word;
    std::string quoted = "\"";
    for (char c : word)
        quoted += c == '"' || c == '$' || c == '`' ? std::string("\\") + c : std::string(1, c);
    return quoted + "\"";
}

// What the counter says, once the terminal is back, when it finds no shop.
std::string no_shop_hint(const char* data) {
    const std::string admin =
        "rentdesk-admin" + (data ? " --data " + shell_word(data) : std::string());
    return std::string(RENTDESK_PROGRAM) +
           ": this data folder holds no shop. To make one: " + admin +
           " init 101; to try a demo shop: " + admin + " demo\n";
}

} // namespace

int main(int argc, char** argv) {
    if (!prepare_process())
        return 1; // a standard stream is closed and cannot be opened on the null device
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf(kHelp, RENTDESK_PROGRAM);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s %s\n", RENTDESK_PROGRAM, RENTDESK_VERSION);
        return 0;
    }
    const char* data = nullptr;
    std::string receipts;
    const char* usage = "usage: %s [--data DIR] [--receipts COMMAND] | --help | --version\n";
    for (int i = 1; i < argc; ++i) {
        const bool is_data = !std::strcmp(argv[i], "--data");
        const bool is_receipts = !std::strcmp(argv[i], "--receipts");
        const bool valued = i + 1 < argc && *argv[i + 1];
        if (is_data && valued && !data) {
            data = argv[++i];
        } else if (is_receipts && valued && receipts.empty()) {
            receipts = argv[++i];
        } else if ((is_data || is_receipts) && !valued) {
            std::fprintf(stderr, "%s: %s needs %s\n", RENTDESK_PROGRAM, argv[i],
                         is_data ? "a folder" : "a command");
            std::fprintf(stderr, usage, RENTDESK_PROGRAM);
            return 2;
        } else {
            std::fprintf(stderr, "%s: unknown argument '%s'\n", RENTDESK_PROGRAM, argv[i]);
            std::fprintf(stderr, usage, RENTDESK_PROGRAM);
            return 2;
        }
    }
    std::string why;
    if (data && !enter_folder(data, false, &why)) {
        std::fprintf(stderr, "%s: the data folder %s cannot be used: %s\n", RENTDESK_PROGRAM, data,
                     why.c_str());
        return 1;
    }
    console::start();
    // One counter per data folder: a second one would write the same tables.
    std::optional<FolderLock> lock;
    FolderLock::Outcome locked = FolderLock::take(lock, &why);
    if (locked == FolderLock::Outcome::busy)
        print_plain("Another rentdesk program is already working in this folder.  End of "
                    "program..\n");
    if (locked == FolderLock::Outcome::failed)
        print_fmt("The data folder cannot be locked (%s), so the counter cannot keep a second "
                  "program out of it.  End of program..\n",
                  why.c_str());
    if (locked != FolderLock::Outcome::taken)
        end_program(1);
    run_counter(receipts, no_shop_hint(data));
}
