// Rebuilding tables from a backup and the after-images of the actions
// logged since.
#include "store/replay.h"

#include "store/datafile.h"
#include "store/fault.h"
#include "store/hashfile.h"
#include "store/journal.h"
#include "store/logbook.h"
#include "store/tables.h"

#include <cstring>
#include <vector>

namespace {

// Calls fn with a record of the table named (a value of its type), and
// answers what it answers; false for a name that is no table.
template <class Fn>
bool with_table(const std::string& name, Fn fn) {
    if (name == TableTraits<ClientRec>::file)
        return fn(ClientRec{});
    if (name == TableTraits<MovieRec>::file)
        return fn(MovieRec{});
    if (name == TableTraits<RentRec>::file)
        return fn(RentRec{});
    if (name == TableTraits<ReserveRec>::file)
        return fn(ReserveRec{});
    if (name == TableTraits<SavedRec>::file)
        return fn(SavedRec{});
    return false;
}

// Puts recorded writes into the table at path: whole records inside it.
bool put_writes(DataFile& table, std::size_t record, const RecordedAction::Writes& writes,
                std::string* why) {
    for (const auto& [offset, bytes] : writes) {
        const auto len = static_cast<int64_t>(bytes.size());
        if (offset < 0 || offset % static_cast<int64_t>(record) != 0 ||
            len % static_cast<int64_t>(record) != 0 || offset + len > table.size()) {
            *why = "a recorded write to " + table.path() + " does not fit the table there";
            return false;
        }
        table.write_at(offset, bytes.data(), bytes.size());
    }
    return true;
}

// A compaction (rentdesk-admin compact) redone on the table in work: rebuilt
// at its own size from its live records in slot order, as it was then.
bool redo_compaction(const std::string& name, const std::string& work, std::string* why) {
    const bool done = with_table(name, [&](auto blank) {
        using Rec = decltype(blank);
        std::optional<DataFile> table = DataFile::open(work + name, DataFile::Mode::Read);
        if (!table)
            report_fault(Fault::cannot_open, work + name, "cannot be opened");
        rebuild_beside<Rec>(*table, slot_count<Rec>(*table), nullptr);
        table->close();
        replace_file(work + name + ".new", work + name);
        return true;
    });
    if (!done)
        *why = "a compaction logged names " + name + ", which is no data file";
    return done;
}

// Redoes one action on the tables in work: each growth (the writes before
// it, then the rebuild with its record), each compaction, then the writes.
bool replay_action(const RecordedAction& action, const std::string& work, std::string* why) {
    for (const RecordedAction::Growth& g : action.growths) {
        const bool done = with_table(g.table, [&](auto blank) {
            using Rec = decltype(blank);
            std::optional<DataFile> table = DataFile::open(work + g.table, DataFile::Mode::Update);
            if (!table)
                report_fault(Fault::cannot_open, work + g.table, "cannot be opened");
            if (g.record.size() != sizeof(Rec) || !put_writes(*table, sizeof(Rec), g.before, why))
                return false;
            Rec r;
            std::memcpy(&r, g.record.data(), sizeof r);
            hash_rebuild<Rec>(*table, r).close();
            return true;
        });
        if (!done)
            return false;
    }
    for (const std::string& text : action.events) {
        LogLine event;
        if (parse_log_line(text, event) && event.kind == "compact" &&
            !redo_compaction(event.field("file"), work, why))
            return false;
    }
    for (const auto& entry : action.writes) {
        const std::string& name = entry.first; // (a lambda takes no structured binding)
        const RecordedAction::Writes& writes = entry.second;
        const bool done = with_table(name, [&](auto blank) {
            std::optional<DataFile> table = DataFile::open(work + name, DataFile::Mode::Update);
            if (!table)
                report_fault(Fault::cannot_open, work + name, "cannot be opened");
            const bool ok = put_writes(*table, sizeof blank, writes, why);
            table->close();
            return ok;
        });
        if (!done)
            return false;
    }
    return true;
}

// The log's last line in folder; false (why set) when it cannot be read or
// there is no line.
bool last_line(const std::string& folder, LogLine* out, std::string* why) {
    bool any = false;
    if (!each_log_line(
            folder,
            [&](const LogLine& line) {
                *out = line;
                any = true;
            },
            why))
        return false;
    return any;
}

// The line numbered seq in the current folder's log.
bool line_numbered(int64_t seq, LogLine* out) {
    bool found = false;
    std::string why;
    each_log_line(
        "",
        [&](const LogLine& line) {
            if (line.seq == seq) {
                *out = line;
                found = true;
            }
        },
        &why);
    return found;
}

bool same_line(const LogLine& a, const LogLine& b) {
    return a.seq == b.seq && a.time == b.time && a.program == b.program && a.kind == b.kind &&
           a.fields == b.fields;
}

// Whether an action put whole tables in place, which its intent does not
// hold; the event that says so goes to which.
bool replaces_tables(const RecordedAction& action, LogLine* which) {
    for (const std::string& text : action.events)
        if (parse_log_line(text, *which) &&
            (which->kind == "restore" || which->kind == "demo" || which->kind == "init"))
            return true;
    return false;
}

} // namespace

bool replay_until(const std::string& backup, const std::string& work, const std::string& until,
                  ReplayReach* reach, std::string* why) {
    LogLine start, mine;
    if (log_files(backup, kLogSuffix).empty()) {
        *why = "the backup holds no day log, so the log cannot say where it takes up from it";
        return false;
    }
    if (!last_line(backup, &start, why) && !why->empty())
        return false; // (a backup of a log without events takes up at event 1)
    if (start.seq > 0 && (!line_numbered(start.seq, &mine) || !same_line(start, mine))) {
        *why = "the backup's last event (" + std::to_string(start.seq) +
               ") is not in this folder's day log: the backup is of another shop, or of a "
               "history this folder's log does not hold";
        return false;
    }
    if (start.time.compare(0, until.size(), until) >= 0) {
        *why = "the backup was taken after that moment (its last event, " +
               std::to_string(start.seq) + ", is of " + start.time + ")";
        return false;
    }
    std::vector<RedoRecord> records;
    if (!read_redo("", &records, why))
        return false;
    reach->seq = start.seq;
    reach->time = start.time;
    for (const RedoRecord& rec : records) {
        if (rec.last <= start.seq)
            continue;
        if (rec.first != reach->seq + 1) {
            *why = "the log's after-images do not reach back to the backup: after event " +
                   std::to_string(reach->seq) + " they take up at event " +
                   std::to_string(rec.first);
            return false;
        }
        RecordedAction action;
        LogLine first;
        if (!journal_read_action(rec.intent, &action, "the day log's after-images") ||
            action.events.empty() || !parse_log_line(action.events.front(), first)) {
            *why = "the after-images of event " + std::to_string(rec.first) + " are damaged";
            return false;
        }
        if (first.time.compare(0, until.size(), until) >= 0)
            break;
        LogLine whole;
        if (replaces_tables(action, &whole)) {
            *why = "at " + whole.time + " " + whole.program + " put whole tables in place (event " +
                   std::to_string(whole.seq) +
                   "), which the log does not hold; restore a backup "
                   "taken after it";
            return false;
        }
        if (!replay_action(action, work, why))
            return false;
        reach->seq = rec.last;
        reach->time = first.time;
    }
    return true;
}
