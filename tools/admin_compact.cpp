// rentdesk-admin compact: rebuilds tables at their own size, so that the
// slots deletions left behind are empty again; and the check's word on a
// table whose empty slots have run low.
//
// An insert takes a deleted slot, but a search goes on past one: only an
// empty slot ends the search for a key the table does not hold. A table
// whose free slots are nearly all deleted ones (a busy table of rentals,
// years of clients come and gone) makes every such search walk much of the
// table, and it never grows, since growth waits for a table with no free
// slot at all. Compaction keeps each table's size and rule: it inserts the
// live records, in slot order, into an empty table of the same size.
#include "tools/admin.h"

#include "store/datafiles.h"
#include "store/daylog.h"
#include "store/fault.h"
#include "store/hashfile.h"
#include "store/journal.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Below this share of empty slots (with deleted ones to win back) check
// advises compaction. A search for a key the table does not hold reads
// about slots / (empty + 1) slots: some 20 at 5%, then 100 at 1% and the
// whole table at none. A table fresh from growth has half its slots empty
// or more, so the word comes only where deletions ate the empty slots.
constexpr double kLowEmptyShare = 0.05;

struct TableName {
    const char* word; // as export and compact take it
    const char* file;
};

// In set-up order, as kDataFileNames.
constexpr TableName kTables[] = {
    {"clients", TableTraits<ClientRec>::file}, {"rentals", TableTraits<RentRec>::file},
    {"holds", TableTraits<SavedRec>::file},    {"reservations", TableTraits<ReserveRec>::file},
    {"movies", TableTraits<MovieRec>::file},
};

// Calls fn with a record of the table in file (a value of its type).
template <class Fn>
auto with_record(const std::string& file, Fn fn) {
    if (file == TableTraits<ClientRec>::file)
        return fn(ClientRec{});
    if (file == TableTraits<RentRec>::file)
        return fn(RentRec{});
    if (file == TableTraits<SavedRec>::file)
        return fn(SavedRec{});
    if (file == TableTraits<ReserveRec>::file)
        return fn(ReserveRec{});
    return fn(MovieRec{});
}

std::string plural(int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The table in file, compacted into <file>.new; answers how its slots stood.
SlotCounts compact_beside(DataFile& table) {
    return with_record(table.path(), [&](auto blank) {
        using Rec = decltype(blank);
        SlotCounts counts = rebuild_beside<Rec>(table, slot_count<Rec>(table), nullptr);
        table.close();
        return counts;
    });
}

} // namespace

int cmd_compact(const Args& args) {
    if (args.size() > 1)
        return usage_error("compact takes at most one table");
    std::vector<TableName> chosen;
    for (const TableName& t : kTables)
        if (args.empty() || args[0] == t.word)
            chosen.push_back(t);
    if (chosen.empty())
        return usage_error("TABLE must be clients, movies, rentals, reservations or holds");
    lock_for_writing();

    // Every table is read as a sound table first, so that a damaged one
    // stops the command before anything is built.
    std::vector<DataFile> tables;
    for (const TableName& t : chosen)
        tables.push_back(with_record(
            t.file, [&](auto blank) { return open_for_reading(t.file, sizeof blank); }));
    std::vector<SlotCounts> counts;
    for (DataFile& table : tables)
        counts.push_back(compact_beside(table));
    sync_folder("");

    // Put in place by one intent: a crash leaves the old tables or the new.
    journal_open();
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        const std::string file = chosen[i].file;
        journal_hold_rename(file + ".new", file);
        log_event("compact", {{"file", file},
                              {"records", std::to_string(counts[i].live)},
                              {"deleted", std::to_string(counts[i].deleted)}});
    }
    journal_commit();
    for (std::size_t i = 0; i < chosen.size(); ++i)
        std::printf("Compacted %s: %s kept, %s made empty.\n", chosen[i].file,
                    plural(counts[i].live, "record", "records").c_str(),
                    plural(counts[i].deleted, "deleted slot", "deleted slots").c_str());
    return 0;
}

std::vector<std::string> low_empty_notes() {
    std::vector<std::string> notes;
    set_fault_handler(nullptr); // a fault is thrown, and caught below
    for (const TableName& t : kTables) {
        try {
            auto file = DataFile::open_if_regular(t.file, DataFile::Mode::Read);
            if (!file)
                continue; // check names what is wrong with it
            const SlotCounts c = with_record(t.file, [&](auto blank) {
                using Rec = decltype(blank);
                return table_file_problems(&*file, t.file, sizeof(Rec)).empty()
                           ? count_slots<Rec>(*file)
                           : SlotCounts{};
            });
            const int64_t slots = int64_t(c.live) + c.deleted + c.empty;
            if (c.deleted == 0 || c.empty >= kLowEmptyShare * double(slots))
                continue;
            char share[16];
            std::snprintf(share, sizeof share, "%.1f%%", 100.0 * c.empty / double(slots));
            notes.push_back(std::string("warning: ") + t.file + ": " +
                            plural(c.empty, "empty slot", "empty slots") + " of " +
                            std::to_string(slots) + " (" + share + "), " +
                            std::to_string(c.deleted) +
                            " deleted; a search for a key it does not hold reads far. Run: " +
                            command_line(std::string("compact ") + t.word));
        } catch (const StoreFault&) {
            // damage, which check reports by itself
        }
    }
    return notes;
}
