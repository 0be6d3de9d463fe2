// The journal: held writes and events, the intent's format, the checks made
// before an intent is written anywhere, commit, recovery and the checkpoint.
//
// The journal file is a run of records, each its magic, its body and an
// FNV-1a checksum of the record before it: a base "RDJB" (the number of the
// last event the tables held at the last checkpoint), then one intent
// "RDJ2" per action since, each followed by an applied mark "RDJA" once its
// writes are in the tables.
//
// An intent is "RDJ2", the count of its entries (4 bytes), the length of
// the entries (8 bytes), the entries, and the checksum. Each entry starts
// with one byte, its kind: 'S' a table's name and its length (8 bytes) once
// the intent is applied, for every table it writes or puts in place; 'R'
// two names, a grown table and the table it replaces; 'G' the name of a
// table that grew in the action, the record whose insert grew it and the
// writes the action had made to it before (what replaying the growth
// needs; the grown table itself is put in place by an 'R'); 'E' an event
// line of the day log; 'W' a name, an offset (8 bytes), a length (4 bytes)
// and the bytes written there. A name is a bare file name of the data
// folder, its length in 2 bytes first. A journal an earlier version left
// holds one intent "RDJ1", without the length of its entries, which fills
// the whole file and has only 'R' and 'W' entries; it is applied all the
// same.
#include "store/journal.h"

#include "store/bytes.h"
#include "store/datafile.h"
#include "store/fault.h"
#include "store/logbook.h"
#include "store/tables.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>
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

// What one action changes: its renames, growths and events, its writes by
// path and the length of each table it changes, by name, as the action
// leaves it. The held writes of a table stay where they are for the life of
// the program (open handles point at them); an action that ends only
// empties them.
struct Intent {
    std::vector<Rename> renames;
    std::vector<Growth> growths;
    std::vector<std::string> events; // numbered lines of the day log
    std::map<std::string, HeldWrites> writes;
    std::map<std::string, int64_t> sizes;
};

constexpr char kIntentMagic[] = "RDJ2";
constexpr char kEarlierMagic[] = "RDJ1";
constexpr char kBaseMagic[] = "RDJB";
constexpr char kAppliedMagic[] = "RDJA";
constexpr std::size_t kIntentHead = 16; // magic, count, length of the entries
// A checkpoint follows this many actions, or a journal this long.
constexpr int kCheckpointActions = 64;
constexpr int64_t kCheckpointBytes = int64_t(1) << 20;

std::optional<DataFile> journal_file;
Intent held;                          // the current action's
std::vector<std::string> held_events; // the current action's events, not yet numbered
std::vector<std::string> last_events; // those of the last action committed
int64_t last_seq = 0;                 // the number of the last event given
int actions_since_checkpoint = 0;
std::set<std::string> unsynced; // the tables written since the last checkpoint

std::string name_of(const std::string& path) {
    return path.substr(folder_of(path).size());
}

[[noreturn]] void damaged(const std::string& what, const std::string& source = kJournalFile) {
    report_fault(Fault::damaged, source, what);
}

// The record length of the table a bare file name names; 0 for any other
// name.
std::size_t record_size_of(const std::string& name) {
    struct Table {
        const char* file;
        std::size_t record;
    };
    static constexpr Table tables[] = {{TableTraits<MovieRec>::file, sizeof(MovieRec)},
                                       {TableTraits<ClientRec>::file, sizeof(ClientRec)},
                                       {TableTraits<RentRec>::file, sizeof(RentRec)},
                                       {TableTraits<ReserveRec>::file, sizeof(ReserveRec)},
                                       {TableTraits<SavedRec>::file, sizeof(SavedRec)}};
    for (const Table& t : tables)
        if (name == t.file)
            return t.record;
    return 0;
}

bool holds_no_write(const Intent& intent) {
    for (const auto& [path, writes] : intent.writes)
        if (!writes.empty())
            return false;
    return intent.renames.empty() && intent.growths.empty();
}

bool renamed_into(const Intent& intent, const std::string& path) {
    for (const Rename& r : intent.renames)
        if (r.to == path)
            return true;
    return false;
}

// The length of the regular file at path; -1 when there is none.
int64_t length_of(const std::string& path) {
    std::optional<DataFile> file = DataFile::open_if_regular(path, DataFile::Mode::Read);
    return file ? file->size() : -1;
}

// The length a table will have once an intent's renames are made: that of
// the grown table waiting to replace it, else its own. A table missing (or
// no regular file) is damage of the intent.
int64_t length_after_renames(const Intent& intent, const std::string& table) {
    std::string at = table;
    for (const Rename& r : intent.renames)
        if (r.to == table && entry_exists(r.from))
            at = r.from;
    std::optional<DataFile> file = DataFile::open(at, DataFile::Mode::Read);
    if (!file)
        damaged("holds an action on " + name_of(table) + ", which is missing");
    return file->size();
}

// ---- The intent's bytes

void put_name(std::string& out, const std::string& name) {
    put(out, static_cast<uint16_t>(name.size()));
    out += name;
}

void put_write(std::string& out, int64_t offset, const std::string& bytes) {
    put(out, offset);
    put(out, static_cast<uint32_t>(bytes.size()));
    out += bytes;
}

// The entries of the day log: the growths, then the events.
uint32_t put_log_entries(std::string& out, const Intent& intent) {
    for (const Growth& g : intent.growths) {
        out += 'G';
        put_name(out, name_of(g.table));
        put(out, static_cast<uint32_t>(g.record.size()));
        out += g.record;
        put(out, static_cast<uint32_t>(g.before.all().size()));
        for (const auto& [offset, bytes] : g.before.all())
            put_write(out, offset, bytes);
    }
    for (const std::string& line : intent.events) {
        out += 'E';
        put(out, static_cast<uint32_t>(line.size()));
        out += line;
    }
    return static_cast<uint32_t>(intent.growths.size() + intent.events.size());
}

std::string serialized(const Intent& intent) {
    std::string entries;
    uint32_t count = 0;
    for (const auto& [name, size] : intent.sizes) {
        entries += 'S';
        put_name(entries, name);
        put(entries, size);
        ++count;
    }
    for (const Rename& r : intent.renames) {
        entries += 'R';
        put_name(entries, name_of(r.from));
        put_name(entries, name_of(r.to));
        ++count;
    }
    count += put_log_entries(entries, intent);
    for (const auto& [path, writes] : intent.writes)
        for (const auto& [offset, bytes] : writes.all()) {
            entries += 'W';
            put_name(entries, name_of(path));
            put_write(entries, offset, bytes);
            ++count;
        }
    std::string out = kIntentMagic;
    put(out, count);
    put(out, static_cast<uint64_t>(entries.size()));
    out += entries;
    put(out, checksum(out.data(), out.size()));
    return out;
}

// The entries of a whole intent, read in turn; what does not fit is damage
// of source.
class EntryReader {
  public:
    EntryReader(const std::string& in, std::size_t at, std::size_t end, const std::string& source)
        : in_(in), at_(at), end_(end), source_(source) {}
    template <class T>
    T take() {
        T value;
        std::memcpy(&value, bytes(sizeof value), sizeof value);
        return value;
    }
    std::string name() {
        const auto len = take<uint16_t>();
        return std::string(bytes(len), len);
    }
    std::string text() {
        const auto len = take<uint32_t>();
        return std::string(bytes(len), len);
    }
    void write_into(HeldWrites& writes) {
        const auto offset = take<int64_t>();
        const auto len = take<uint32_t>();
        writes.hold(offset, bytes(len), len);
    }
    const char* bytes(std::size_t len) {
        if (len > end_ - at_)
            damaged("holds an intent whose entries run past its end", source_);
        at_ += len;
        return in_.data() + at_ - len;
    }
    bool at_end() const { return at_ == end_; }

  private:
    const std::string& in_;
    std::size_t at_, end_;
    const std::string& source_;
};

// Reads the count entries of the whole intent in [at, end): an entry the
// form has no place for, or bytes left over, is damage of source.
void parse_entries(const std::string& in, std::size_t at, std::size_t end, uint32_t count,
                   bool earlier, Intent& intent, const std::string& source) {
    EntryReader entries(in, at, end, source);
    for (; count > 0; --count) {
        const char kind = entries.take<char>();
        if (kind == 'E' && !earlier) {
            intent.events.push_back(entries.text());
            continue;
        }
        const std::string name = entries.name();
        if (kind == 'S' && !earlier) {
            intent.sizes[name] = entries.take<int64_t>();
        } else if (kind == 'R') {
            intent.renames.push_back({name, entries.name()});
        } else if (kind == 'W') {
            entries.write_into(intent.writes[name]);
        } else if (kind == 'G' && !earlier) {
            Growth g{name, entries.text(), {}};
            for (auto n = entries.take<uint32_t>(); n > 0; --n)
                entries.write_into(g.before);
            intent.growths.push_back(std::move(g));
        } else {
            damaged("holds an entry of a kind this version cannot read", source);
        }
    }
    if (!entries.at_end())
        damaged("holds an intent with bytes past its last entry", source);
}

// Reads the intent at at back, leaving at after it; false when it is torn:
// cut short, or not what its checksum says, it was never whole and never
// applied. A whole intent that cannot be read is damage of source.
bool parse(const std::string& in, std::size_t& at, Intent& intent,
           const std::string& source = kJournalFile) {
    // An earlier intent fills the file: its magic, its count, its entries.
    const bool earlier = at == 0 && in.compare(0, 4, kEarlierMagic) == 0;
    const std::size_t head = earlier ? 8 : kIntentHead, left = in.size() - at;
    if (left < head + 8 || (!earlier && in.compare(at, 4, kIntentMagic) != 0))
        return false;
    std::size_t end = in.size() - 8;
    if (!earlier) {
        uint64_t len;
        std::memcpy(&len, in.data() + at + 8, sizeof len);
        if (len > left - head - 8)
            return false;
        end = at + head + static_cast<std::size_t>(len);
    }
    uint64_t sum;
    std::memcpy(&sum, in.data() + end, sizeof sum);
    if (sum != checksum(in.data() + at, end - at))
        return false;
    uint32_t count;
    std::memcpy(&count, in.data() + at + 4, sizeof count);
    parse_entries(in, at + head, end, count, earlier, intent, source);
    at = end + 8;
    return true;
}

// ---- Checks made before anything of an intent is written

// Only the tables are named; each rename puts a table's own grown file in
// place; every length is a table's (whole records, 2 slots at least); every
// write is whole records at a record's offset inside its table's length.
void check_entries(const Intent& intent) {
    const std::string no_data_file = "names a file that is no data file";
    for (const Rename& r : intent.renames)
        if (!record_size_of(name_of(r.to)) || name_of(r.from) != name_of(r.to) + ".new")
            damaged(no_data_file);
    for (const Growth& g : intent.growths)
        if (!record_size_of(name_of(g.table)))
            damaged(no_data_file);
    for (const auto& [name, size] : intent.sizes) {
        const auto record = static_cast<int64_t>(record_size_of(name));
        if (!record)
            damaged(no_data_file);
        if (size % record != 0 || size / record < 2)
            damaged("records a length of " + name + ", " + std::to_string(size) +
                    " bytes, that no table can have");
    }
    for (const auto& [path, writes] : intent.writes) {
        const std::string name = name_of(path);
        const auto record = static_cast<int64_t>(record_size_of(name));
        if (!record)
            damaged(no_data_file);
        if (writes.empty())
            continue;
        auto size = intent.sizes.find(name);
        if (size == intent.sizes.end())
            damaged("holds writes to " + name + " without its length");
        for (const auto& [offset, bytes] : writes.all()) {
            const auto len = static_cast<int64_t>(bytes.size());
            if (offset < 0 || offset % record != 0 || len == 0 || len % record != 0 ||
                offset > size->second - len)
                damaged("holds a write of " + std::to_string(len) + " bytes at byte " +
                        std::to_string(offset) + " of " + name +
                        ", where no whole record of it can be");
        }
    }
}

// The tables are those the intent was made for: each as long as the intent
// leaves it (a grown table waiting to be put in place counting as the
// table).
void check_tables(const Intent& intent) {
    for (const auto& [name, size] : intent.sizes) {
        const int64_t now = length_after_renames(intent, name);
        if (now != size)
            damaged("holds an action on " + name + " of " + std::to_string(size) + " bytes, but " +
                    name + " is now " + std::to_string(now) + " bytes");
    }
}

// An intent of the earlier form records no lengths: those of the tables as
// they stand are taken.
void take_table_lengths(Intent& intent) {
    for (const auto& [path, writes] : intent.writes)
        if (!writes.empty() && record_size_of(name_of(path)))
            intent.sizes[name_of(path)] = length_after_renames(intent, path);
}

// The most bytes the journal could need on the folder's tables: the
// intents since a checkpoint, and then one that writes every record of each
// table, and of a grown one waiting beside it, twice (once as written, once
// as the writes before a growth), with an event line for each, each
// table's length recorded and its grown file renamed into place.
int64_t largest_journal() {
    constexpr int64_t kLongestEvent = 1024;
    int64_t most = kCheckpointBytes + (int64_t(1) << 16);
    for (const char* table :
         {TableTraits<MovieRec>::file, TableTraits<ClientRec>::file, TableTraits<RentRec>::file,
          TableTraits<ReserveRec>::file, TableTraits<SavedRec>::file}) {
        const std::string name = table, grown = name + ".new";
        const auto record = static_cast<int64_t>(record_size_of(name));
        const int64_t n = static_cast<int64_t>(name.size());
        const int64_t records =
            (std::max<int64_t>(length_of(name), 0) + std::max<int64_t>(length_of(grown), 0)) /
            record;
        most += (11 + n) + (9 + 2 * n) + records * (2 * (15 + n + record) + kLongestEvent);
    }
    return most;
}

// ---- The journal file

// A record of the journal file other than an intent: its magic, body and
// checksum.
std::string small_record(const char* magic, const std::string& body) {
    std::string out = magic;
    out += body;
    put(out, checksum(out.data(), out.size()));
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
            return sum == checksum(in.data() + at, 4 + body);
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

// What the journal holds, every intent checked; the one a recovery would
// apply (the last, unless marked applied) is checked against the tables as
// they stand, and one of the earlier form takes their lengths first. A
// journal longer than the tables could need is damage before it is read.
Contents read_checked(DataFile& journal) {
    if (journal.size() > largest_journal())
        damaged("is " + std::to_string(journal.size()) +
                " bytes long, more than any action on these tables could need");
    std::string bytes(static_cast<std::size_t>(journal.size()), '\0');
    if (!bytes.empty())
        journal.read_at(0, bytes.data(), bytes.size());
    Contents c = read_contents(bytes);
    if (!c.intents.empty() && bytes.compare(0, 4, kEarlierMagic) == 0)
        take_table_lengths(c.intents.back());
    for (const Intent& intent : c.intents)
        check_entries(intent);
    if (!c.intents.empty() && !c.last_applied)
        check_tables(c.intents.back());
    return c;
}

// Puts the renames and the writes in place. The writes are left to the
// system to write back: the synced intent keeps them until a checkpoint
// syncs the tables.
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
        unsynced.insert(path);
        table->close_unsynced();
    }
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

// Makes the tables written since the last checkpoint and the day log
// durable, then empties the journal down to a base record of the last
// number given: what the journal held is in the tables and the log from
// here on.
void checkpoint(DataFile& journal) {
    for (const std::string& path : unsynced)
        if (std::optional<DataFile> table = DataFile::open(path, DataFile::Mode::Update))
            table->sync_all();
    unsynced.clear();
    logbook_sync();
    std::string base;
    put(base, last_seq);
    const std::string record = small_record(kBaseMagic, base);
    journal.write_at(0, record.data(), record.size());
    journal.truncate(static_cast<int64_t>(record.size()));
    journal.sync();
    actions_since_checkpoint = 0;
}

// A fresh, empty journal in the folder, its name durable.
DataFile made_journal() {
    std::optional<DataFile> made = DataFile::open(kJournalFile, DataFile::Mode::Create);
    if (!made)
        report_fault(Fault::cannot_open, kJournalFile, "cannot be created");
    made->sync();
    sync_folder(""); // the new name itself survives a power failure
    return std::move(*made);
}

// Takes the lock of the journal the folder names, the one a backup takes:
// the open journal's, while the folder still names that file. When it does
// not (the journal was deleted, or another file put in its place), a fresh
// journal is made there, once a backup holding the lock of what stood there
// is done with it; the intents the lost journal kept for the day log are
// made needless first by a checkpoint in the new one.
void lock_named_journal() {
    for (int replaced = 0;; ++replaced) {
        journal_file->lock(true);
        if (journal_file->is_at(kJournalFile))
            return;
        journal_file->unlock();
        if (replaced == 3)
            damaged("is taken away each time it is made again");
        std::optional<DataFile> there =
            DataFile::open_if_regular(kJournalFile, DataFile::Mode::Read);
        if (there)
            there->lock(true);
        journal_file = made_journal();
        checkpoint(*journal_file);
    }
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

// The lengths the held writes' tables will have, as their handles measured
// them when opened.
std::map<std::string, int64_t> held_sizes() {
    std::map<std::string, int64_t> sizes;
    for (const auto& [path, writes] : held.writes)
        if (!writes.empty() || renamed_into(held, path))
            sizes[name_of(path)] = writes.table_size();
    return sizes;
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

void forget_held() {
    for (auto& [path, writes] : held.writes)
        writes.clear();
    held.renames.clear();
    held.growths.clear();
    held.sizes.clear();
    held_events.clear();
}

} // namespace

void journal_open() {
    forget_held();   // nothing carries over from a run that ended in the middle of an action
    logbook_close(); // the log is found afresh, as this run's folder holds it
    journal_file = DataFile::open(kJournalFile, DataFile::Mode::Update);
    if (!journal_file)
        journal_file = made_journal();
    const Contents c = read_checked(*journal_file);
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
    if (file && journal_file) {
        HeldWrites& writes = held.writes[table];
        writes.set_table_size(file->size());
        file->hold_writes_in(&writes);
    }
    return file;
}

void journal_hold_rename(const std::string& from, const std::string& to) {
    const std::string table = table_name(to);
    if (table == to) {
        held.renames.push_back({from, to});
    } else {
        // A table that grows again in the same action: its first grown file,
        // which no intent names yet, gives way to the second.
        replace_file(from, to);
    }
    held.writes[table].clear();
    held.writes[table].set_table_size(length_of(table == to ? from : to));
}

void journal_hold_growth(const std::string& from, const std::string& to, const void* record,
                         std::size_t len) {
    const std::string table = table_name(to);
    held.growths.push_back(
        {table, std::string(static_cast<const char*>(record), len), held.writes[table]});
    journal_hold_rename(from, to);
}

void journal_hold_event(const std::string& text) {
    if (journal_file)
        held_events.push_back(text);
}

void journal_commit() {
    DataFile::check_views(); // nothing read from a page of a table that was lost is acted on
    if (!journal_file || (holds_no_write(held) && held_events.empty()))
        return;
    if (!holds_no_write(held) && held_events.empty())
        hold_unnamed_writes();
    held.sizes = held_sizes();
    check_entries(held);
    const bool renamed = !held.renames.empty();
    lock_named_journal(); // a backup copies the tables only between two actions
    // A table put in place by a rename is never written by an intent made
    // before it: those are checkpointed first.
    if (renamed)
        checkpoint(*journal_file);
    // Numbered only now: a checkpoint's base never counts this action.
    held.events.clear();
    for (const std::string& text : held_events)
        held.events.push_back(std::to_string(++last_seq) + "\t" + text);
    const std::string bytes = serialized(held);
    journal_file->write_at(journal_file->size(), bytes.data(), bytes.size());
    journal_file->sync();
    apply(held);
    log_applied(held, bytes, false);
    const std::string mark = small_record(kAppliedMagic, "");
    journal_file->write_at(journal_file->size(), mark.data(), mark.size());
    last_events = held.events;
    forget_held();
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
    const Contents c = read_checked(*journal);
    return c.torn                                  ? JournalState::torn
           : !c.intents.empty() && !c.last_applied ? JournalState::complete
                                                   : JournalState::empty;
}

std::optional<int64_t> journal_tables_seq() {
    std::optional<DataFile> journal = DataFile::open(kJournalFile, DataFile::Mode::Read);
    if (!journal || journal->size() == 0)
        return std::nullopt;
    const Contents c = read_checked(*journal);
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
    const Contents c = read_checked(*journal);
    // Every intent since the checkpoint is applied again, in order: their
    // writes may not have reached the disk even when marked applied. Each
    // holds whole after-images, so applying one twice changes nothing.
    for (const Intent& intent : c.intents) {
        check_tables(intent);
        apply(intent);
    }
    const bool applies = !c.intents.empty() && !c.last_applied;
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

void journal_close() {
    constexpr int64_t kBaseRecord = 20; // a journal of nothing since its checkpoint
    if (journal_file && journal_file->size() > kBaseRecord) {
        journal_file->lock(true);
        checkpoint(*journal_file);
        journal_file->unlock();
    }
    journal_file.reset();
    forget_held();
}
