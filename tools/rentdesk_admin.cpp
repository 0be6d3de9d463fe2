// rentdesk-admin: the shop's maintenance commands for a data folder, run in
// that folder. "init" creates a fresh set of the five data files.
#include "shell/datafiles.h"
#include "store/hashfile.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr int32_t kMaxSlots = 10000000;

const char* const kUsage = "usage: rentdesk-admin init SLOTS [--force]\n";

const char* const kHelp =
    "rentdesk-admin: maintenance of a rentdesk data folder (run it in that folder)\n"
    "\n"
    "  rentdesk-admin init SLOTS [--force]\n"
    "      Creates the five data files (user.txt, rentmovies.txt, ressavmov.txt,\n"
    "      reservedmov.txt, catalogmov.txt), each with the smallest prime number\n"
    "      of empty slots at or above SLOTS (2 to 10000000). Tables grow by\n"
    "      themselves when they fill up. Refuses when any of the files exists,\n"
    "      unless --force is given: then every record in them is discarded.\n"
    "  rentdesk-admin --help\n"
    "      Prints this text.\n";

int usage_error(const char* what) {
    std::fprintf(stderr, "rentdesk-admin: %s\n%s", what, kUsage);
    return 2;
}

// Parses a whole decimal number; false for anything else or out of range.
bool parse_slots(const char* text, int32_t& out) {
    if (*text == '\0' || std::strlen(text) > 10)
        return false;
    int64_t v = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        v = v * 10 + (*p - '0');
    }
    if (v < 2 || v > kMaxSlots)
        return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool exists(const char* name) {
    struct stat st;
    return ::lstat(name, &st) == 0;
}

int cmd_init(int argc, char** argv) {
    const char* slots_arg = nullptr;
    bool force = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--force") == 0)
            force = true;
        else if (!slots_arg)
            slots_arg = argv[i];
        else
            return usage_error("init takes one slot count");
    }
    int32_t slots = 0;
    if (!slots_arg || !parse_slots(slots_arg, slots))
        return usage_error("SLOTS must be a whole number from 2 to 10000000");

    std::vector<std::string> present;
    for (const char* name : kDataFileNames)
        if (exists(name))
            present.push_back(name);
    if (!present.empty() && !force) {
        std::string list;
        for (const auto& name : present)
            list += (list.empty() ? "" : ", ") + name;
        std::fprintf(stderr,
                     "rentdesk-admin: these data files already exist here: %s\n"
                     "Nothing was changed. To discard every record in them and start "
                     "afresh, run: rentdesk-admin init %s --force\n",
                     list.c_str(), slots_arg);
        return 2;
    }
    setup_data_files(slots);
    std::printf("Created the five data files with %d slots each.\n", next_prime(slots));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "init") == 0)
        return cmd_init(argc - 2, argv + 2);
    return usage_error(argc < 2 ? "no command given" : "unknown command");
}
