// The journal: held writes, the intent's format, commit and recovery.
//
// An intent is "RDJ2", the count of its entries, the entries, and an FNV-1a
// checksum of everything before it. Each entry starts with one byte, its
// kind: 'S' a table's name and its length (8 bytes) once the intent is
// applied, for every table it writes or puts in place; 'R' two names, a
// grown table and the table it replaces; 'W' a name, an offset (8 bytes), a
// length (4 bytes) and the bytes written there. A name is a bare file name
// of the data folder, its length in 2 bytes first. An intent of the earlier
// form, "RDJ1", has no 'S' entries; a crash of an earlier version may have
// left one, and it is applied all the same.
#include "store/journal.h"

#include "store/datafile.h"
#include "store/fault.h"
#include "store/tables.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

namespace {

struct Rename {
    std::string from, to;
};

// What one action changes: its renames, its writes by path and the length
// of each table it changes, by name, as the action leaves it. The held
// writes of a table stay where they are for the life of the program (open
// handles point at them); an action that ends only empties them.
struct Intent {
    std::vector<Rename> renames;
    std::map<std::string, HeldWrites> writes;
    std::map<std::string, int64_t> sizes;
};

constexpr const char* kForm = "RDJ2";
constexpr const char* kEarlierForm = "RDJ1";

std::optional<DataFile> journal_file;
Intent held; // the current action's

std::string name_of(const std::string& path) {
    return path.substr(folder_of(path).size());
}

[[noreturn]] void damaged(const std::string& what) {
    report_fault(Fault::damaged, kJournalFile, what);
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

bool holds_nothing(const Intent& intent) {
    for (const auto& [path, writes] : intent.writes)
        if (!writes.empty())
            return false;
    return intent.renames.empty();
}

// The table a path stands for in the current action: a grown table waiting
// to be put in place stands for the table it replaces.
std::string table_of(const std::string& path) {
    for (const Rename& r : held.renames)
        if (r.from == path)
            return r.to;
    return path;
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

uint64_t checksum(const char* bytes, std::size_t len) {
    uint64_t h = 1469598103934665603ULL;
    for (std::size_t i = 0; i < len; ++i)
        h = (h ^ static_cast<unsigned char>(bytes[i])) * 1099511628211ULL;
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
    for (const auto& [path, writes] : intent.writes)
        for (const auto& [offset, bytes] : writes.all()) {
            entries += 'W';
            put_name(entries, name_of(path));
            put(entries, offset);
            put(entries, static_cast<uint32_t>(bytes.size()));
            entries += bytes;
            ++count;
        }
    std::string out = kForm;
    put(out, count);
    out += entries;
    put(out, checksum(out.data(), out.size()));
    return out;
}

// The entries of a whole intent, read in turn; what does not fit is damage.
class EntryReader {
  public:
    EntryReader(const std::string& in, std::size_t end) : in_(in), end_(end) {}
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
    const char* bytes(std::size_t len) {
        if (len > end_ - at_)
            damaged("holds an intent whose entries run past its end");
        at_ += len;
        return in_.data() + at_ - len;
    }
    bool at_end() const { return at_ == end_; }

  private:
    const std::string& in_;
    std::size_t end_;
    std::size_t at_ = 4; // past the form's name
};

// Reads an intent back; false when it is torn: cut short, or not what its
// checksum says, it was never whole and never applied. A whole intent that
// cannot be read is damage.
bool parse(const std::string& in, Intent& intent) {
    const bool earlier = in.size() >= 16 && in.compare(0, 4, kEarlierForm) == 0;
    if (in.size() < 16 || (!earlier && in.compare(0, 4, kForm) != 0))
        return false;
    const std::size_t end = in.size() - 8;
    uint64_t sum;
    std::memcpy(&sum, in.data() + end, sizeof sum);
    if (sum != checksum(in.data(), end))
        return false;
    EntryReader entries(in, end);
    for (auto count = entries.take<uint32_t>(); count > 0; --count) {
        const char kind = entries.take<char>();
        const std::string name = entries.name();
        if (kind == 'S' && !earlier) {
            intent.sizes[name] = entries.take<int64_t>();
        } else if (kind == 'R') {
            intent.renames.push_back({name, entries.name()});
        } else if (kind == 'W') {
            const auto offset = entries.take<int64_t>();
            const auto len = entries.take<uint32_t>();
            intent.writes[name].hold(offset, entries.bytes(len), len);
        } else {
            damaged("holds an entry of a kind this version cannot read");
        }
    }
    if (!entries.at_end())
        damaged("holds an intent with bytes past its last entry");
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

// The most bytes an intent on the folder's tables could need: every record
// of each table, and of a grown one waiting beside it, written once, each
// table's length recorded and its grown file renamed into place.
int64_t largest_intent() {
    int64_t most = 16; // the form, the count, the checksum
    for (const char* table :
         {TableTraits<MovieRec>::file, TableTraits<ClientRec>::file, TableTraits<RentRec>::file,
          TableTraits<ReserveRec>::file, TableTraits<SavedRec>::file}) {
        const std::string name = table, grown = name + ".new";
        const auto record = static_cast<int64_t>(record_size_of(name));
        const int64_t n = static_cast<int64_t>(name.size());
        const int64_t records =
            (std::max<int64_t>(length_of(name), 0) + std::max<int64_t>(length_of(grown), 0)) /
            record;
        most += (11 + n) + (9 + 2 * n) + records * (15 + n + record);
    }
    return most;
}

// Reads the journal's intent, checked whole against the folder's tables;
// false when it is torn.
bool read_intent(DataFile& journal, Intent& intent) {
    if (journal.size() > largest_intent())
        damaged("is " + std::to_string(journal.size()) +
                " bytes long, more than any action on these tables could need");
    std::string bytes(static_cast<std::size_t>(journal.size()), '\0');
    journal.read_at(0, bytes.data(), bytes.size());
    if (!parse(bytes, intent))
        return false;
    if (bytes.compare(0, 4, kEarlierForm) == 0)
        take_table_lengths(intent);
    check_entries(intent);
    check_tables(intent);
    return true;
}

// ---- Commit and recovery

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

void clear(DataFile& journal, bool durably) {
    journal.truncate(0);
    if (durably)
        journal.sync();
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
// is done with it.
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
    }
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

} // namespace

void journal_open() {
    for (auto& [path, writes] : held.writes)
        writes.clear(); // nothing carries over from a run that ended in the middle of an action
    held.renames.clear();
    journal_file = DataFile::open(kJournalFile, DataFile::Mode::Update);
    if (!journal_file)
        journal_file = made_journal();
}

bool journal_is_open() {
    return journal_file.has_value();
}

std::optional<DataFile> journal_open_table(const std::string& path) {
    std::string actual = path;
    for (const Rename& r : held.renames)
        if (r.to == path)
            actual = r.from;
    std::optional<DataFile> table = DataFile::open(actual, DataFile::Mode::Update);
    if (table && journal_file) {
        HeldWrites& writes = held.writes[table_of(actual)];
        writes.set_table_size(table->size());
        table->hold_writes_in(&writes);
    }
    return table;
}

void journal_hold_rename(const std::string& from, const std::string& to) {
    const std::string table = table_of(to);
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

void journal_commit() {
    DataFile::check_views(); // nothing read from a page of a table that was lost is acted on
    if (!journal_file || holds_nothing(held))
        return;
    held.sizes = held_sizes();
    check_entries(held);
    const std::string bytes = serialized(held);
    const bool renamed = !held.renames.empty();
    lock_named_journal(); // a backup copies the tables only between two actions
    journal_file->write_at(0, bytes.data(), bytes.size());
    journal_file->sync();
    apply(held);
    for (auto& [path, writes] : held.writes)
        writes.clear();
    held.renames.clear();
    // After a rename the cleared journal must be durable: a later growth's
    // unfinished table must never be renamed by this intent replayed.
    clear(*journal_file, renamed);
    journal_file->unlock();
}

JournalState journal_state() {
    std::optional<DataFile> journal = DataFile::open(kJournalFile, DataFile::Mode::Read);
    if (!journal || journal->size() == 0)
        return JournalState::empty;
    Intent intent;
    return read_intent(*journal, intent) ? JournalState::complete : JournalState::torn;
}

bool journal_recover() {
    std::optional<DataFile> journal = DataFile::open(kJournalFile, DataFile::Mode::Update);
    if (!journal || journal->size() == 0)
        return false;
    journal->lock(true); // as at a commit: a backup never copies the tables halfway through
    Intent intent;
    const bool whole = read_intent(*journal, intent);
    if (whole)
        apply(intent);
    clear(*journal, true);
    return whole;
}
