// The commands over whole tables: init sets up fresh ones, check reads (and
// mends) them all, dump prints a table's keys.
#include "tools/admin.h"

#include "store/clients.h"
#include "store/datacheck.h"
#include "store/datafiles.h"
#include "store/daylog.h"
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
#include <string>

namespace {

constexpr int32_t kMaxSlots = 10000000;

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

} // namespace

int cmd_init(const Args& args) {
    const char* slots_arg = nullptr;
    bool force = false;
    for (const std::string& arg : args) {
        if (arg == "--force")
            force = true;
        else if (!slots_arg)
            slots_arg = arg.c_str();
        else
            return usage_error("init takes one slot count");
    }
    int32_t slots = 0;
    if (!slots_arg || !parse_slots(slots_arg, slots))
        return usage_error("SLOTS must be a whole number from 2 to 10000000");
    lock_for_writing(force || present_data_files().empty()); // new tables: a stale journal goes

    std::string present = joined(present_data_files());
    if (!present.empty() && !force) {
        std::fprintf(stderr,
                     "rentdesk-admin: these data files already exist here: %s\n"
                     "Nothing was changed. To discard every record in them and start "
                     "afresh, run:\n    %s\n",
                     present.c_str(),
                     command_line("init " + std::string(slots_arg) + " --force").c_str());
        return 2;
    }
    // Built under temporary names and put in place by one intent, so that a
    // crash leaves the old set or the new one, and the log says so.
    setup_data_files(slots, ".new");
    sync_folder("");
    journal_open();
    for (const char* name : kDataFileNames)
        journal_hold_rename(std::string(name) + ".new", name);
    log_event("init", {{"slots", std::to_string(next_prime(slots))},
                       {"force", present.empty() ? "no" : "yes"}});
    journal_commit();
    std::printf("Created the five data files with %d slots each.\n", next_prime(slots));
    return 0;
}

int cmd_check(const Args& args) {
    bool repair = args.size() == 1 && args[0] == "--repair";
    if (args.size() > 1 || (args.size() == 1 && !repair))
        return usage_error("check takes only --repair");
    if (repair) {
        lock_for_writing();
        journal_open();
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
        // Slow searches, not damage (status 0); over damaged tables they wait
        // until the damage is mended, as compact does.
        for (const auto& line : low_empty_notes())
            std::printf("%s\n", line.c_str());
        std::printf("All five data files are sound.\n");
        return 0;
    }
    std::printf("%d problem%s found.\n", int(result.problems.size()),
                result.problems.size() == 1 ? "" : "s");
    return 1;
}

// Dumps the table whose file name ends the given path: a bare name is the
// data folder's file, a path with a folder is taken from where the command
// was started.
int cmd_dump(const Args& args) {
    if (args.size() != 1)
        return usage_error("dump takes one data file");
    const bool bare = args[0].find_first_of("/\\") == std::string::npos;
    std::string path = bare ? args[0] : user_path(args[0]);
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
