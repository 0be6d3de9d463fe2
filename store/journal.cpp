// The journal: held writes and events, the intent's format, commit,
// recovery and the checkpoint.
//
// The journal file is a run of records, each its magic, its body and an
// FNV-1a checksum of the record before it: a base "RDJB" (the number of the
// last event the tables held at the last checkpoint), then one intent
// "RDJ1" per action since, each followed by an applied mark "RDJA" once its
// writes are in the tables. An intent is "RDJ1", the count of its entries,
// the entries, and the checksum. An entry is 'R' with two names (a grown
// table and the table it replaces), 'W' with a name, an offset and the
// bytes written there, 'E' with an event line of the day log, or 'G' with
// the name of a table that grew in the action, the record whose insert grew
// it and the writes the action had made to it before (what replaying the
// growth needs; the grown table itself is renamed in by an 'R'). Names are
// bare file names of the data folder.
#include "store/journal.h"

#include "store/datafile.h"
#include "store/fault.h"
#include "store/logbook.h"
#include "store/tables.h"

#include <cstring>
#include <map>
#include <optional>
#include <vector>

namespace {

struct Rename {
    std::string from, to;
};

// A table that grew in the action: the record whose insert grew it, and the
// writes held for it before (the grown table holds them).
struct Growth {
    std::string table;
    std::string record;
    HeldWrites before;
};

// What one action changes: its renames, growths and events, and its writes
// by path. The held writes of a table stay where they are for the life of
// the program (open handles point at them); an action that ends only
// empties them.
struct Intent {
    std::vector<Rename> renames;
    std::vector<Growth> growths;
    std::vector<std::string> events; // numbered lines of the day log
    std::map<std::string, HeldWrites> writes;
};

constexpr char kIntentMagic[] = "RDJ1";
constexpr char kBaseMagic[] = "RDJB";
constexpr char kAppliedMagic[] = "RDJA";
// A checkpoint follows this many actions, or a journal this long.
constexpr int kCheckpointActions = 64;
constexpr int64_t kCheckpointBytes = int64_t(1) << 20;

std::optional<DataFile> journal_file;
Intent held;                          // the current action's
std::vector<std::string> held_events; // the current action's events, not yet numbered
std::vector<std::string> last_events; // those of the last action committed
int64_t last_seq = 0;                 // the number of the last event given
int actions_since_checkpoint = 0;

std::string name_of(const std::string& path) {
    return path.substr(folder_of(path).size());
}

bool holds_no_write(const Intent& intent) {
    for (const auto& [path, writes] : intent.writes)
        if (!writes.empty())
            return false;
    return intent.renames.empty() && intent.growths.empty();
}

// Only the five tables, and the grown tables that replace them, may be named.
bool known_name(const std::string& name, bool grown) {
    for (const char* table :
         {TableTraits<MovieRec>::file, TableTraits<ClientRec>::file, TableTraits<RentRec>::file,
          TableTraits<ReserveRec>::file, TableTraits<SavedRec>::file})
        if (name == (grown ? std::string(table) + ".new" : table))
            return true;
    return false;
}

uint64_t checksum(const std::string& bytes) {
    uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : bytes)
        h = (h ^ c) * 1099511628211ULL;
    return h;
}

template <class T>
void put(std::string& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void put_name(std::string& out, const std::string& name) {
    put(out, static_cast<uint16_t>(name.size()));
    out += name;
}

void put_writes(std::string& out, const HeldWrites& writes) {
    put(out, static_cast<uint32_t>(writes.all().size()));
    for (const auto& [offset, bytes] : writes.all()) {
        put(out, offset);
        put(out, static_cast<uint32_t>(bytes.size()));
        out += bytes;
    }
}

// The entries of the day log: the growths, then the events.
std::size_t put_log_entries(std::string& out, const Intent& intent) {
    for (const Growth& g : intent.growths) {
        out += 'G';
        put_name(out, name_of(g.table));
        put(out, static_cast<uint32_t>(g.record.size()));
        out += g.record;
        put_writes(out, g.before);
    }
    for (const std::string& line : intent.events) {
        out += 'E';
        put(out, static_cast<uint32_t>(line.size()));
        out += line;
    }
    return intent.growths.size() + intent.events.size();
}

std::string serialized(const Intent& intent) {
    std::string out = kIntentMagic, entries;
    std::size_t count = intent.renames.size() + put_log_entries(entries, intent);
    for (const auto& [path, writes] : intent.writes)
        count += writes.all().size();
    put(out, static_cast<uint32_t>(count));
    for (const Rename& r : intent.renames) {
        out += 'R';
        put_name(out, name_of(r.from));
        put_name(out, name_of(r.to));
    }
    out += entries;
    for (const auto& [path, writes] : intent.writes)
        for (const auto& [offset, bytes] : writes.all()) {
            out += 'W';
            put_name(out, name_of(path));
            put(out, offset);
            put(out, static_cast<uint32_t>(bytes.size()));
            out += bytes;
        }
    put(out, checksum(out));
    return out;
}

// Reads the intent at at back, leaving at after it; false when it is torn:
// cut short, or not what its checksum says.
bool parse(const std::string& in, std::size_t& at, Intent& intent,
           const std::string& source = kJournalFile) {
    const std::size_t start = at;
    auto take = [&](void* to, std::size_t len) {
        if (len > in.size() - at)
            return false;
        std::memcpy(to, in.data() + at, len);
        at += len;
        return true;
    };
    auto take_bytes = [&](std::string& bytes, std::size_t len) {
        if (len > in.size() - at)
            return false;
        bytes = in.substr(at, len);
        at += len;
        return true;
    };
    auto take_name = [&](std::string& name) {
        uint16_t len = 0;
        return take(&len, sizeof len) && take_bytes(name, len);
    };
    auto take_write = [&](HeldWrites& writes) {
        int64_t offset = 0;
        uint32_t len = 0;
        std::string bytes;
        if (!take(&offset, sizeof offset) || !take(&len, sizeof len) || !take_bytes(bytes, len))
            return false;
        writes.hold(offset, bytes.data(), bytes.size());
        return true;
    };
    uint32_t count = 0;
    uint64_t sum = 0;
    if (in.size() - at < 16 || in.compare(at, 4, kIntentMagic) != 0)
        return false;
    at += 4;
    if (!take(&count, sizeof count))
        return false;
    for (uint32_t i = 0; i < count; ++i) {
        char kind = 0;
        std::string name, to;
        uint32_t len = 0;
        if (!take(&kind, 1))
            return false;
        if (kind == 'E') {
            if (!take(&len, sizeof len) || !take_bytes(name, len))
                return false;
            intent.events.push_back(name);
            continue;
        }
        if (!take_name(name))
            return false;
        if (kind == 'R' && take_name(to)) {
            intent.renames.push_back({name, to});
            continue;
        }
        if (kind == 'G') {
            Growth g{name, {}, {}};
            uint32_t writes = 0;
            if (!take(&len, sizeof len) || !take_bytes(g.record, len) ||
                !take(&writes, sizeof writes))
                return false;
            for (uint32_t w = 0; w < writes; ++w)
                if (!take_write(g.before))
                    return false;
            intent.growths.push_back(std::move(g));
            continue;
        }
        if (kind != 'W' || !take_write(intent.writes[name]))
            return false;
    }
    if (!take(&sum, sizeof sum) || sum != checksum(in.substr(start, at - 8 - start)))
        return false;
    for (const Rename& r : intent.renames)
        if (!known_name(name_of(r.from), true) || !known_name(name_of(r.to), false))
            report_fault(Fault::damaged, source, "names a file that is no data file");
    for (const auto& [path, writes] : intent.writes)
        if (!known_name(name_of(path), false))
            report_fault(Fault::damaged, source, "names a file that is no data file");
    for (const Growth& g : intent.growths)
        if (!known_name(name_of(g.table), false))
            report_fault(Fault::damaged, source, "names a file that is no data file");
    return true;
}

// Puts the renames and the writes in place, each table synced.
void apply(const Intent& intent) {
    for (const Rename& r : intent.renames)
        if (entry_exists(r.from))
            replace_file(r.from, r.to);
    for (const auto& [path, writes] : intent.writes) {
        if (writes.empty())
            continue;
        std::optional<DataFile> table = DataFile::open(path, DataFile::Mode::Update);
        if (!table)
            report_fault(Fault::cannot_open, path, "cannot be opened");
        for (const auto& [offset, bytes] : writes.all())
            table->write_at(offset, bytes.data(), bytes.size());
        table->close();
    }
}

std::string read_journal(DataFile& journal) {
    std::string bytes(static_cast<std::size_t>(journal.size()), '\0');
    if (!bytes.empty())
        journal.read_at(0, bytes.data(), bytes.size());
    return bytes;
}

// A record of the journal file other than an intent: its magic, body and
// checksum.
std::string small_record(const char* magic, const std::string& body) {
    std::string out = magic;
    out += body;
    put(out, checksum(out));
    return out;
}

// What the journal file holds: the base number, the whole intents (raw and
// read), whether the last of them is marked applied, and whether a torn
// record ends it.
struct Contents {
    int64_t base = 0;
    std::vector<std::string> raw;
    std::vector<Intent> intents;
    bool last_applied = false;
    bool torn = false;
};

Contents read_contents(const std::string& in) {
    Contents c;
    for (std::size_t at = 0; at < in.size();) {
        auto small = [&](const char* magic, std::size_t body) {
            const std::size_t len = 4 + body + 8;
            if (in.size() - at < len || in.compare(at, 4, magic) != 0)
                return false;
            uint64_t sum;
            std::memcpy(&sum, in.data() + at + 4 + body, sizeof sum);
            return sum == checksum(in.substr(at, 4 + body));
        };
        if (small(kBaseMagic, 8)) {
            std::memcpy(&c.base, in.data() + at + 4, 8);
            at += 20;
        } else if (small(kAppliedMagic, 0)) {
            c.last_applied = !c.intents.empty();
            at += 12;
        } else {
            const std::size_t start = at;
            Intent intent;
            if (!parse(in, at, intent)) {
                c.torn = true;
                break;
            }
            c.raw.push_back(in.substr(start, at - start));
            c.intents.push_back(std::move(intent));
            c.last_applied = false;
        }
    }
    return c;
}

// The number of an event line; 0 when it has none.
int64_t seq_of(const std::string& line) {
    LogLine parsed;
    return parse_log_line(line, parsed) ? parsed.seq : 0;
}

// Hands an applied intent to the day log.
void log_applied(const Intent& intent, const std::string& raw, bool recovering) {
    if (intent.events.empty())
        return;
    logbook_append(intent.events, raw, seq_of(intent.events.front()), seq_of(intent.events.back()),
                   recovering, journal_file ? &*journal_file : nullptr);
}

// Makes the day log durable, then empties the journal down to a base
// record of the last number given: what the journal held is in the tables
// and the log from here on.
void checkpoint(DataFile& journal) {
    logbook_sync();
    std::string base;
    put(base, last_seq);
    const std::string record = small_record(kBaseMagic, base);
    journal.write_at(0, record.data(), record.size());
    journal.truncate(static_cast<int64_t>(record.size()));
    journal.sync();
    actions_since_checkpoint = 0;
}

// The file name an action's reads and writes of path go to: the grown table
// waiting to replace it, when there is one.
std::string actual_name(const std::string& path) {
    for (const Rename& r : held.renames)
        if (r.to == path)
            return r.from;
    return path;
}

// The table path stands for: the table a grown table waits to replace.
std::string table_name(const std::string& path) {
    for (const Rename& r : held.renames)
        if (r.from == path)
            return r.to;
    return path;
}

// An action that wrote without saying what it did still leaves a line: the
// files it changed.
void hold_unnamed_writes() {
    std::string files;
    for (const auto& [path, writes] : held.writes)
        if (!writes.empty())
            files += (files.empty() ? "" : ",") + name_of(path);
    for (const Rename& r : held.renames)
        files += (files.empty() ? "" : ",") + name_of(r.to);
    held_events.push_back(event_text("write", {{"files", files}}));
}

} // namespace

void journal_open() {
    for (auto& [path, writes] : held.writes)
        writes.clear(); // nothing carries over from a run that ended in the middle of an action
    held.renames.clear();
    held.growths.clear();
    held_events.clear();
    logbook_close(); // the log is found afresh, as this run's folder holds it
    journal_file = DataFile::open(kJournalFile, DataFile::Mode::Update);
    if (!journal_file) {
        journal_file = DataFile::open(kJournalFile, DataFile::Mode::Create);
        if (!journal_file)
            report_fault(Fault::cannot_open, kJournalFile, "cannot be created");
        journal_file->sync();
        sync_folder(""); // the new name itself survives a power failure
    }
    const Contents c = read_contents(read_journal(*journal_file));
    last_seq = std::max(logbook_last_seq(), c.base);
    for (const Intent& intent : c.intents)
        for (const std::string& line : intent.events)
            last_seq = std::max(last_seq, seq_of(line));
}

bool journal_is_open() {
    return journal_file.has_value();
}

std::optional<DataFile> journal_open_table(const std::string& path) {
    const std::string table = table_name(path);
    std::optional<DataFile> file = DataFile::open(actual_name(table), DataFile::Mode::Update);
    if (file && journal_file)
        file->hold_writes_in(&held.writes[table]);
    return file;
}

void journal_hold_rename(const std::string& from, const std::string& to) {
    held.renames.push_back({from, to});
    held.writes[to].clear();
}

void journal_hold_growth(const std::string& from, const std::string& to, const void* record,
                         std::size_t len) {
    const std::string table = table_name(to);
    Growth g{table, std::string(static_cast<const char*>(record), len), held.writes[table]};
    held.growths.push_back(std::move(g));
    if (table != to)
        replace_file(from, to); // a table grown twice: the first grown table is no table yet
    else
        held.renames.push_back({from, to});
    held.writes[table].clear();
}

void journal_hold_event(const std::string& text) {
    if (journal_file)
        held_events.push_back(text);
}

void journal_commit() {
    if (!journal_file || (holds_no_write(held) && held_events.empty()))
        return;
    if (!holds_no_write(held) && held_events.empty())
        hold_unnamed_writes();
    held.events.clear();
    for (const std::string& text : held_events)
        held.events.push_back(std::to_string(++last_seq) + "\t" + text);
    const std::string bytes = serialized(held);
    const bool renamed = !held.renames.empty();
    journal_file->lock(true); // a backup copies the tables only between two actions
    journal_file->write_at(journal_file->size(), bytes.data(), bytes.size());
    journal_file->sync();
    apply(held);
    log_applied(held, bytes, false);
    const std::string mark = small_record(kAppliedMagic, "");
    journal_file->write_at(journal_file->size(), mark.data(), mark.size());
    last_events = held.events;
    for (auto& [path, writes] : held.writes)
        writes.clear();
    held.renames.clear();
    held.growths.clear();
    held_events.clear();
    // After a rename the emptied journal must be durable: a later growth's
    // unfinished table must never be renamed by this intent replayed.
    if (renamed || ++actions_since_checkpoint >= kCheckpointActions ||
        journal_file->size() > kCheckpointBytes)
        checkpoint(*journal_file);
    journal_file->unlock();
}

const std::vector<std::string>& journal_last_events() {
    return last_events;
}

JournalState journal_state() {
    std::optional<DataFile> journal = DataFile::open(kJournalFile, DataFile::Mode::Read);
    if (!journal || journal->size() == 0)
        return JournalState::empty;
    const Contents c = read_contents(read_journal(*journal));
    return c.torn                                  ? JournalState::torn
           : !c.intents.empty() && !c.last_applied ? JournalState::complete
                                                   : JournalState::empty;
}

std::optional<int64_t> journal_tables_seq() {
    std::optional<DataFile> journal = DataFile::open(kJournalFile, DataFile::Mode::Read);
    if (!journal || journal->size() == 0)
        return std::nullopt;
    const Contents c = read_contents(read_journal(*journal));
    int64_t seq = c.base;
    for (const Intent& intent : c.intents)
        for (const std::string& line : intent.events)
            seq = std::max(seq, seq_of(line));
    return seq;
}

bool journal_read_action(const std::string& bytes, RecordedAction* out, const std::string& source) {
    std::size_t at = 0;
    Intent intent;
    if (!parse(bytes, at, intent, source) || at != bytes.size())
        return false;
    *out = RecordedAction{};
    for (const Growth& g : intent.growths)
        out->growths.push_back({g.table, g.record, g.before.all()});
    out->events = intent.events;
    for (const auto& [table, writes] : intent.writes)
        out->writes[table] = writes.all();
    return true;
}

bool journal_recover() {
    std::optional<DataFile> journal = DataFile::open(kJournalFile, DataFile::Mode::Update);
    if (!journal || journal->size() == 0)
        return false;
    journal->lock(true); // as at a commit: a backup never copies the tables halfway through
    logbook_close();     // the log as the folder holds it now
    const Contents c = read_contents(read_journal(*journal));
    const bool applies = !c.intents.empty() && !c.last_applied;
    if (applies)
        apply(c.intents.back());
    int64_t seq = c.base;
    for (std::size_t i = 0; i < c.intents.size(); ++i) {
        log_applied(c.intents[i], c.raw[i], true);
        for (const std::string& line : c.intents[i].events)
            seq = std::max(seq, seq_of(line));
    }
    seq = std::max(seq, logbook_last_seq());
    last_seq = std::max(last_seq, seq);
    checkpoint(*journal);
    return applies;
}
