// rentdesk-admin: the shop's maintenance commands for a data folder, run in
// that folder: set up fresh data files, check (and mend) them, dump a table.
#include "store/clients.h"
#include "store/datacheck.h"
#include "store/datafiles.h"
#include "store/fault.h"
#include "store/hashfile.h"
#include "store/journal.h"
#include "store/movies.h"
#include "store/rents.h"
#include "store/reserves.h"
#include "store/saved.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int32_t kMaxSlots = 10000000;

const char* const kUsage = "usage: rentdesk-admin init SLOTS [--force]\n"
                           "       rentdesk-admin check [--repair]\n"
                           "       rentdesk-admin dump FILE\n"
                           "       rentdesk-admin --help\n";

const char* const kHelp =
    "rentdesk-admin: maintenance of a rentdesk data folder (run it in that folder)\n"
    "\n"
    "  rentdesk-admin init SLOTS [--force]\n"
    "      Creates the five data files (user.txt, rentmovies.txt, ressavmov.txt,\n"
    "      reservedmov.txt, catalogmov.txt), each with the smallest prime number\n"
    "      of empty slots at or above SLOTS (2 to 10000000). Tables grow by\n"
    "      themselves when they fill up. Refuses when any of the files exists,\n"
    "      unless --force is given: then every record in them is discarded.\n"
    "  rentdesk-admin check [--repair]\n"
    "      Reads the five data files and reports everything wrong with them.\n"
    "      Exit status 0 when all is well, 1 otherwise. With --repair, first\n"
    "      mends what an interrupted run can leave behind and says what it\n"
    "      changed: deletes a reservation whose client already has a copy of\n"
    "      that movie held, and a hold of a copy its client already rents (a\n"
    "      hand-over or pick-up cut short), then sets each copy's rented and\n"
    "      saved flags from the rentals and holds that exist. Nothing else is\n"
    "      added or removed; anything else wrong is reported and left alone.\n"
    "  rentdesk-admin dump FILE\n"
    "      Prints the key of every slot of a data file, in slot order\n"
    "      (0 empty, -1 deleted).\n"
    "  rentdesk-admin --help\n"
    "      Prints this text.\n"
    "\n"
    "init and check --repair refuse to run while a rentdesk program (or\n"
    "another rentdesk-admin) works in the folder, and first finish a clerk's\n"
    "action a crash cut short (rentdesk.journal). check and dump only read:\n"
    "they work in a folder in use too, and check reports a cut-short action.\n";

int usage_error(const char* what) {
    std::fprintf(stderr, "rentdesk-admin: %s\n%s", what, kUsage);
    return 2;
}

std::optional<FolderLock> folder_lock; // held to the end of the command

// A command that writes takes the folder's lock and first finishes a clerk's
// action a crash cut short; it ends with status 1 when a counter or another
// command holds the folder, or the folder cannot be locked.
void lock_for_writing(const std::string& folder = "") {
    std::string why;
    FolderLock::Outcome outcome = FolderLock::take(folder, folder_lock, &why);
    if (outcome == FolderLock::Outcome::busy)
        std::fprintf(stderr, "rentdesk-admin: a rentdesk program is already working in this "
                             "folder; try again when it has ended.\n");
    if (outcome == FolderLock::Outcome::failed)
        std::fprintf(stderr, "rentdesk-admin: the data folder cannot be locked: %s\n", why.c_str());
    if (outcome != FolderLock::Outcome::taken)
        std::exit(1);
    if (journal_recover(folder))
        std::printf("Finished the action a crash had cut short (%s).\n", kJournalFile);
}

// A command that only reads keeps writers out while it reads when it can; in
// a folder a counter works in it reads what stands in the files, and says so.
void lock_for_reading(const std::string& folder = "") {
    std::string why;
    FolderLock::Outcome outcome = FolderLock::take(folder, folder_lock, &why);
    if (outcome == FolderLock::Outcome::busy)
        std::printf("Not locked: a rentdesk program works in this folder, and the files were "
                    "read as they stood.\n");
    if (outcome == FolderLock::Outcome::failed)
        std::printf("Not locked (%s): the files were read as they stood.\n", why.c_str());
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
    lock_for_writing();

    std::string present;
    for (const char* name : kDataFileNames)
        if (entry_exists(name))
            present += (present.empty() ? "" : ", ") + std::string(name);
    if (!present.empty() && !force) {
        std::fprintf(stderr,
                     "rentdesk-admin: these data files already exist here: %s\n"
                     "Nothing was changed. To discard every record in them and start "
                     "afresh, run: rentdesk-admin init %s --force\n",
                     present.c_str(), slots_arg);
        return 2;
    }
    setup_data_files(slots);
    std::printf("Created the five data files with %d slots each.\n", next_prime(slots));
    return 0;
}

int cmd_check(int argc, char** argv) {
    bool repair = argc == 1 && std::strcmp(argv[0], "--repair") == 0;
    if (argc > 1 || (argc == 1 && !repair))
        return usage_error("check takes only --repair");
    if (repair) {
        lock_for_writing();
        journal_open("");
    } else {
        lock_for_reading();
    }
    CheckResult result = check_data_folder(repair);
    journal_commit();
    for (const auto& line : result.mended)
        std::printf("mended: %s\n", line.c_str());
    for (const auto& line : result.problems)
        std::printf("%s\n", line.c_str());
    if (result.problems.empty()) {
        std::printf("All five data files are sound.\n");
        return 0;
    }
    std::printf("%d problem%s found.\n", int(result.problems.size()),
                result.problems.size() == 1 ? "" : "s");
    return 1;
}

// Dumps the table whose file name ends the given path.
int cmd_dump(int argc, char** argv) {
    if (argc != 1)
        return usage_error("dump takes one data file");
    std::string path = argv[0];
    std::string base = path.substr(folder_of(path).size());
    if (std::find(std::begin(kDataFileNames), std::end(kDataFileNames), base) ==
        std::end(kDataFileNames))
        return usage_error("FILE must be one of the five data files");
    auto file = DataFile::open(path, DataFile::Mode::Read);
    if (!file)
        report_fault(Fault::cannot_open, path, "cannot be opened");
    auto dump = [&](auto slots, auto dumper) {
        for (int32_t key : dumper(*file, slots(*file)))
            std::printf(" %d ", key);
        std::printf("\n");
        return 0;
    };
    if (base == TableTraits<MovieRec>::file)
        return dump(movie_slots, movie_dump);
    if (base == TableTraits<ClientRec>::file)
        return dump(client_slots, client_dump);
    if (base == TableTraits<RentRec>::file)
        return dump(rent_slots, rent_dump);
    if (base == TableTraits<ReserveRec>::file)
        return dump(reserve_slots, reserve_dump);
    return dump(saved_slots, saved_dump);
}

// A data file that cannot be used ends the command with its message.
[[noreturn]] void report_file_fault(const StoreFault& fault) {
    std::fputs(fault_message(fault).c_str(), stdout);
    DataFile::close_all();
    std::exit(1);
}

} // namespace

int main(int argc, char** argv) {
    prepare_process();
    set_fault_handler(report_file_fault);
    if (argc >= 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "init") == 0)
        return cmd_init(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "check") == 0)
        return cmd_check(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "dump") == 0)
        return cmd_dump(argc - 2, argv + 2);
    return usage_error(argc < 2 ? "no command given" : "unknown command");
}
