// The journal: held writes, the intent's format, commit and recovery.
//
// An intent is "RDJ1", the count of its entries, the entries, and an FNV-1a
// checksum of everything before it. An entry is 'R' with two names (a grown
// table and the table it replaces) or 'W' with a name, an offset and the
// bytes written there. Names are bare file names of the data folder.
#include "store/journal.h"

#include "store/datafile.h"
#include "store/fault.h"
#include "store/tables.h"

#include <cstring>
#include <map>
#include <optional>
#include <vector>

namespace {

struct Rename {
    std::string from, to;
};

// What one action changes: its renames, and its writes by path. The held
// writes of a table stay where they are for the life of the program (open
// handles point at them); an action that ends only empties them.
struct Intent {
    std::vector<Rename> renames;
    std::map<std::string, HeldWrites> writes;
};

std::optional<DataFile> journal_file;
Intent held; // the current action's

std::string name_of(const std::string& path) {
    return path.substr(folder_of(path).size());
}

bool holds_nothing(const Intent& intent) {
    for (const auto& [path, writes] : intent.writes)
        if (!writes.empty())
            return false;
    return intent.renames.empty();
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

std::string serialized(const Intent& intent) {
    std::string out = "RDJ1";
    std::size_t count = intent.renames.size();
    for (const auto& [path, writes] : intent.writes)
        count += writes.all().size();
    put(out, static_cast<uint32_t>(count));
    for (const Rename& r : intent.renames) {
        out += 'R';
        put_name(out, name_of(r.from));
        put_name(out, name_of(r.to));
    }
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

// Reads an intent back; false when it is torn:
// cut short, or not what its checksum says.
bool parse(const std::string& in, Intent& intent) {
    std::size_t at = 4;
    auto take = [&](void* to, std::size_t len) {
        if (at + len > in.size())
            return false;
        std::memcpy(to, in.data() + at, len);
        at += len;
        return true;
    };
    auto take_name = [&](std::string& name) {
        uint16_t len = 0;
        if (!take(&len, sizeof len) || at + len > in.size())
            return false;
        name = in.substr(at, len);
        at += len;
        return true;
    };
    uint32_t count = 0;
    uint64_t sum = 0;
    if (in.size() < 16 || in.compare(0, 4, "RDJ1") != 0 || !take(&count, sizeof count))
        return false;
    for (uint32_t i = 0; i < count; ++i) {
        char kind = 0;
        std::string name, to;
        int64_t offset = 0;
        uint32_t len = 0;
        if (!take(&kind, 1) || !take_name(name))
            return false;
        if (kind == 'R' && take_name(to)) {
            intent.renames.push_back({name, to});
            continue;
        }
        if (kind != 'W' || !take(&offset, sizeof offset) || !take(&len, sizeof len) ||
            at + len > in.size())
            return false;
        intent.writes[name].hold(offset, in.data() + at, len);
        at += len;
    }
    if (!take(&sum, sizeof sum) || at != in.size() || sum != checksum(in.substr(0, at - 8)))
        return false;
    for (const Rename& r : intent.renames)
        if (!known_name(name_of(r.from), true) || !known_name(name_of(r.to), false))
            report_fault(Fault::damaged, kJournalFile, "names a file that is no data file");
    for (const auto& [path, writes] : intent.writes)
        if (!known_name(name_of(path), false))
            report_fault(Fault::damaged, kJournalFile, "names a file that is no data file");
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

void clear(DataFile& journal, bool durably) {
    journal.truncate(0);
    if (durably)
        journal.sync();
}

std::string read_journal(DataFile& journal) {
    std::string bytes(static_cast<std::size_t>(journal.size()), '\0');
    if (!bytes.empty())
        journal.read_at(0, bytes.data(), bytes.size());
    return bytes;
}

} // namespace

void journal_open() {
    for (auto& [path, writes] : held.writes)
        writes.clear(); // nothing carries over from a run that ended in the middle of an action
    held.renames.clear();
    journal_file = DataFile::open(kJournalFile, DataFile::Mode::Update);
    if (!journal_file) {
        journal_file = DataFile::open(kJournalFile, DataFile::Mode::Create);
        if (!journal_file)
            report_fault(Fault::cannot_open, kJournalFile, "cannot be created");
        journal_file->sync();
        sync_folder(""); // the new name itself survives a power failure
    }
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
    if (table && journal_file)
        table->hold_writes_in(&held.writes[path]);
    return table;
}

void journal_hold_rename(const std::string& from, const std::string& to) {
    held.renames.push_back({from, to});
    held.writes[to].clear();
}

void journal_commit() {
    if (!journal_file || holds_nothing(held))
        return;
    const std::string bytes = serialized(held);
    const bool renamed = !held.renames.empty();
    journal_file->lock(true); // a backup copies the tables only between two actions
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
    return parse(read_journal(*journal), intent) ? JournalState::complete : JournalState::torn;
}

bool journal_recover() {
    std::optional<DataFile> journal = DataFile::open(kJournalFile, DataFile::Mode::Update);
    if (!journal || journal->size() == 0)
        return false;
    journal->lock(true); // as at a commit: a backup never copies the tables halfway through
    Intent intent;
    const bool whole = parse(read_journal(*journal), intent);
    if (whole)
        apply(intent);
    clear(*journal, true);
    return whole;
}
