// Checking and mending a data folder.
#include "store/datacheck.h"

#include "store/datafiles.h"
#include "store/daylog.h"
#include "store/fault.h"
#include "store/hashfile.h"
#include "store/journal.h"
#include "store/logbook.h"
#include "store/reserves.h"
#include "store/saved.h"

#include <cstdio>
#include <map>
#include <new>
#include <optional>
#include <set>
#include <tuple>
#include <utility>

namespace {

std::string format(const char* fmt, auto... args) {
    char buf[512];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

bool is_prime(int64_t n) {
    if (n < 2)
        return false;
    for (int64_t d = 2; d * d <= n; ++d)
        if (n % d == 0)
            return false;
    return true;
}

template <std::size_t N>
bool terminated(const std::array<char, N>& text) {
    for (char c : text)
        if (c == '\0')
            return true;
    return false;
}

// Per record type: the name of its first text without a terminating zero
// (nullptr when all are whole), and which records its table's own search
// tells apart (the same key and, for copies and reservations, the same
// second field).
const char* unterminated_text(const MovieRec& r) {
    return terminated(r.name) ? nullptr : "name";
}
const char* unterminated_text(const ClientRec& r) {
    if (!terminated(r.fname))
        return "fname";
    if (!terminated(r.lname))
        return "lname";
    return terminated(r.address) ? nullptr : "address";
}
const char* unterminated_text(const RentRec&) {
    return nullptr;
}
const char* unterminated_text(const ReserveRec&) {
    return nullptr;
}
const char* unterminated_text(const SavedRec&) {
    return nullptr;
}

bool same_record(const MovieRec& a, const MovieRec& b) {
    return a.id == b.id && a.copy == b.copy;
}
bool same_record(const ClientRec& a, const ClientRec& b) {
    return a.id == b.id;
}
bool same_record(const RentRec& a, const RentRec& b) {
    return a.client == b.client;
}
bool same_record(const ReserveRec& a, const ReserveRec& b) {
    return a.movie == b.movie && a.client == b.client;
}
bool same_record(const SavedRec& a, const SavedRec& b) {
    return a.client == b.client;
}

// One table as read from disk; usable when its records can be trusted to be
// whole (a length of whole records, at least 2 slots).
template <class Rec>
struct Table {
    const char* name = TableTraits<Rec>::file;
    bool usable = false;
    std::vector<Rec> recs;
};

template <class Rec>
Table<Rec> load(std::vector<std::string>& problems) {
    Table<Rec> t;
    std::optional<DataFile> file;
    try {
        file = DataFile::open(t.name, DataFile::Mode::Read);
    } catch (const StoreFault& fault) { // a link, or no regular file
        problems.push_back(format("%s: %s", t.name, fault.what.c_str()));
        return t;
    }
    for (std::string& line : table_file_problems(file ? &*file : nullptr, t.name, sizeof(Rec)))
        problems.push_back(std::move(line));
    const int64_t n = file ? file->size() / static_cast<int64_t>(sizeof(Rec)) : 0;
    if (n < 2)
        return t;
    try {
        t.recs.resize(n);
        file->read_at(0, t.recs.data(), n * sizeof(Rec));
    } catch (const StoreFault& fault) {
        problems.push_back(format("%s: %s", t.name, fault.what.c_str()));
        t.recs = {};
        return t;
    } catch (const std::bad_alloc&) {
        problems.push_back(format("%s: its %lld slots are more than the memory available can "
                                  "hold to check them",
                                  t.name, static_cast<long long>(n)));
        t.recs = {};
        return t;
    }
    t.usable = true;
    return t;
}

// Slot where the table's own search for r stops: the first record of r's key
// in its probe sequence that the search tells apart as r, or -1.
template <class Rec>
int32_t search_in_memory(const std::vector<Rec>& recs, const Rec& r) {
    int32_t n = static_cast<int32_t>(recs.size());
    int32_t key = TableTraits<Rec>::key(r);
    for (int32_t i = 0; i < n; ++i) {
        int32_t s = probe_slot(key, n, i);
        int32_t k = TableTraits<Rec>::key(recs[s]);
        if (k == kEmptyKey)
            return -1;
        if (k == key && same_record(recs[s], r))
            return s;
    }
    return -1;
}

template <class Rec>
void check_table(const Table<Rec>& t, std::vector<std::string>& problems) {
    for (int32_t s = 0; s < static_cast<int32_t>(t.recs.size()); ++s) {
        const Rec& r = t.recs[s];
        int32_t key = TableTraits<Rec>::key(r);
        if (const char* field = unterminated_text(r))
            problems.push_back(
                format("%s: slot %d: the text %s has no terminating zero", t.name, s, field));
        if (key < kDeletedKey)
            problems.push_back(format("%s: slot %d: key %d is below 1 (only 0, empty, and -1, "
                                      "deleted, may stand there)",
                                      t.name, s, key));
        if (key < 1)
            continue;
        int32_t found = search_in_memory(t.recs, r);
        if (found < 0)
            problems.push_back(format("%s: slot %d: the record of key %d cannot be found by a "
                                      "search for its key",
                                      t.name, s, key));
        else if (found != s)
            problems.push_back(format("%s: slot %d: the record of key %d is hidden by the same "
                                      "record in slot %d",
                                      t.name, s, key, found));
    }
}

struct Folder {
    Table<ClientRec> clients;
    Table<MovieRec> movies;
    Table<RentRec> rents;
    Table<ReserveRec> reserves;
    Table<SavedRec> saved;
};

using CopyKey = std::pair<int32_t, int32_t>; // movie id, copy number

template <class Rec>
std::vector<Rec> live(const Table<Rec>& t) {
    std::vector<Rec> out;
    for (const Rec& r : t.recs)
        if (TableTraits<Rec>::key(r) >= 1)
            out.push_back(r);
    return out;
}

// Who names each copy: the clients of the rentals or of the holds.
std::map<CopyKey, std::vector<int32_t>> rentals_by_copy(const Folder& f) {
    std::map<CopyKey, std::vector<int32_t>> by;
    for (const RentRec& r : live(f.rents))
        by[{r.movie, r.copy}].push_back(r.client);
    return by;
}

std::map<CopyKey, std::vector<int32_t>> holds_by_copy(const Folder& f) {
    std::map<CopyKey, std::vector<int32_t>> by;
    for (const SavedRec& h : live(f.saved))
        by[{h.movie, h.copy}].push_back(h.client);
    return by;
}

void check_flag(const char* flag, int32_t value, const MovieRec& m,
                const std::vector<int32_t>& namers, const char* what,
                std::vector<std::string>& problems) {
    const char* file = TableTraits<MovieRec>::file;
    if (value != 0 && value != 1)
        problems.push_back(format("%s: copy %d of movie %d has %s %d, neither 0 nor 1", file,
                                  m.copy, m.id, flag, value));
    else if (value == 1 && namers.empty())
        problems.push_back(format("%s: copy %d of movie %d is marked %s but no %s names it", file,
                                  m.copy, m.id, flag, what));
    else if (value == 0 && !namers.empty())
        problems.push_back(format("%s: copy %d of movie %d is not marked %s but the %s of client "
                                  "%d names it",
                                  file, m.copy, m.id, flag, what, namers.front()));
    if (namers.size() > 1)
        problems.push_back(format("%s: copy %d of movie %d is named by %d %ss", file, m.copy, m.id,
                                  int(namers.size()), what));
}

std::string named_copy(const RentRec& r) {
    return format("copy %d of movie %d", r.copy, r.movie);
}
std::string named_copy(const SavedRec& r) {
    return format("copy %d of movie %d", r.copy, r.movie);
}
std::string named_copy(const ReserveRec& r) {
    return format("movie %d", r.movie);
}

// A rental, hold or reservation names a client and a copy (or movie) that
// exist, and no client has more than one of each.
template <class Rec>
void check_links(const Table<Rec>& t, const char* what, const std::set<int32_t>& clients,
                 auto names_existing, std::vector<std::string>& problems) {
    std::map<int32_t, int> per_client;
    for (const Rec& r : live(t)) {
        if (!clients.count(r.client))
            problems.push_back(format("%s: a %s names client %d, who is not in %s", t.name, what,
                                      r.client, TableTraits<ClientRec>::file));
        if (!names_existing(r))
            problems.push_back(format("%s: the %s of client %d names %s, which is not in %s",
                                      t.name, what, r.client, named_copy(r).c_str(),
                                      TableTraits<MovieRec>::file));
        ++per_client[r.client];
    }
    for (auto [client, count] : per_client)
        if (count > 1)
            problems.push_back(format("%s: client %d has %d %ss; a client may have one at most",
                                      t.name, client, count, what));
}

// A copy is out on rent or held, never both; and a hold takes the place of
// its client's reservation, so a client with a hold has no reservation.
void check_claims(const Folder& f, std::vector<std::string>& problems) {
    auto rentals = rentals_by_copy(f);
    std::map<int32_t, int32_t> held_movie; // client -> movie of his first hold
    for (const SavedRec& h : live(f.saved)) {
        held_movie.emplace(h.client, h.movie);
        auto renters = rentals.find({h.movie, h.copy});
        if (renters != rentals.end())
            problems.push_back(format("%s: copy %d of movie %d is held for client %d and also out "
                                      "on rent to client %d",
                                      TableTraits<SavedRec>::file, h.copy, h.movie, h.client,
                                      renters->second.front()));
    }
    for (const ReserveRec& r : live(f.reserves)) {
        auto held = held_movie.find(r.client);
        if (held != held_movie.end())
            problems.push_back(format("%s: client %d has a reservation of movie %d although a "
                                      "copy of movie %d is held for him",
                                      TableTraits<ReserveRec>::file, r.client, r.movie,
                                      held->second));
    }
}

void check_between(const Folder& f, std::vector<std::string>& problems) {
    std::set<int32_t> clients, movie_ids;
    std::set<CopyKey> copies;
    for (const ClientRec& c : live(f.clients))
        clients.insert(c.id);
    for (const MovieRec& m : live(f.movies)) {
        movie_ids.insert(m.id);
        copies.insert({m.id, m.copy});
    }
    auto copy_exists = [&](const auto& r) { return copies.count({r.movie, r.copy}) > 0; };
    check_links(f.rents, "rental", clients, copy_exists, problems);
    check_links(f.saved, "hold", clients, copy_exists, problems);
    check_links(
        f.reserves, "reservation", clients,
        [&](const ReserveRec& r) { return movie_ids.count(r.movie) > 0; }, problems);

    auto rentals = rentals_by_copy(f);
    auto holds = holds_by_copy(f);
    for (const MovieRec& m : live(f.movies)) {
        check_flag("rented", m.rented, m, rentals[{m.id, m.copy}], "rental", problems);
        check_flag("saved", m.saved, m, holds[{m.id, m.copy}], "hold", problems);
    }
    check_claims(f, problems);
}

Folder load_folder(std::vector<std::string>& problems) {
    Folder f;
    f.clients = load<ClientRec>(problems);
    f.movies = load<MovieRec>(problems);
    f.rents = load<RentRec>(problems);
    f.reserves = load<ReserveRec>(problems);
    f.saved = load<SavedRec>(problems);
    return f;
}

bool all_usable(const Folder& f) {
    return f.clients.usable && f.movies.usable && f.rents.usable && f.reserves.usable &&
           f.saved.usable;
}

std::vector<std::string> check_folder(Folder& f) {
    std::vector<std::string> problems;
    f = load_folder(problems);
    check_table(f.clients, problems);
    check_table(f.movies, problems);
    check_table(f.rents, problems);
    check_table(f.reserves, problems);
    check_table(f.saved, problems);
    if (all_usable(f))
        check_between(f, problems);
    return problems;
}

// Sets one flag of a copy to 1 when a record names the copy, else 0, and
// says so in mended when that changes it.
void set_flag(const char* flag, int32_t& value, const MovieRec& m,
              const std::vector<int32_t>& namers, const char* what,
              std::vector<std::string>& mended) {
    const int32_t want = namers.empty() ? 0 : 1;
    if (value == want)
        return;
    std::string why = namers.empty() ? format("no %s names it", what)
                                     : format("the %s of client %d names it", what, namers.front());
    mended.push_back(format("%s: copy %d of movie %d: %s set from %d to %d, as %s",
                            TableTraits<MovieRec>::file, m.copy, m.id, flag, value, want,
                            why.c_str()));
    value = want;
}

// Sets every copy's rented and saved flags from the rentals and holds that
// name it; answers what was changed.
std::vector<std::string> mend_flags(const Folder& f) {
    std::vector<std::string> mended;
    auto rentals = rentals_by_copy(f);
    auto holds = holds_by_copy(f);
    auto catalog = journal_open_table(TableTraits<MovieRec>::file);
    if (!catalog)
        return mended;
    for (int32_t s = 0; s < static_cast<int32_t>(f.movies.recs.size()); ++s) {
        MovieRec m = f.movies.recs[s];
        if (m.id < 1)
            continue;
        const int32_t was_rented = m.rented, was_saved = m.saved;
        set_flag("rented", m.rented, m, rentals[{m.id, m.copy}], "rental", mended);
        set_flag("saved", m.saved, m, holds[{m.id, m.copy}], "hold", mended);
        if (m.rented != was_rented || m.saved != was_saved)
            write_slot(*catalog, s, m);
    }
    return mended;
}

// Deletes each reservation whose client already has a copy of that movie
// held: what a hand-over leaves when cut short between writing the hold and
// deleting the reservation.
void finish_hand_overs(const Folder& f, std::vector<std::string>& mended) {
    std::set<std::pair<int32_t, int32_t>> held; // client, movie
    for (const SavedRec& h : live(f.saved))
        held.insert({h.client, h.movie});
    auto reserved = journal_open_table(TableTraits<ReserveRec>::file);
    if (!reserved)
        return;
    for (const ReserveRec& r : live(f.reserves)) {
        if (!held.count({r.client, r.movie}) ||
            reserve_find_client(*reserved, r.movie, r.client) < 0)
            continue;
        reserve_delete_client(*reserved, r);
        mended.push_back(format("%s: deleted the reservation of movie %d by client %d, for whom a "
                                "copy of it is already held",
                                TableTraits<ReserveRec>::file, r.movie, r.client));
    }
}

// Deletes each hold of a copy its client already rents: what taking a held
// copy leaves when cut short between writing the rental and deleting the
// hold.
void finish_pick_ups(const Folder& f, std::vector<std::string>& mended) {
    std::set<std::tuple<int32_t, int32_t, int32_t>> rented; // client, movie, copy
    for (const RentRec& r : live(f.rents))
        rented.insert({r.client, r.movie, r.copy});
    auto saved = journal_open_table(TableTraits<SavedRec>::file);
    if (!saved)
        return;
    for (const SavedRec& h : live(f.saved)) {
        if (!rented.count({h.client, h.movie, h.copy}))
            continue;
        int32_t slot = saved_find(*saved, h.client); // the hold its delete would take
        if (slot < 0 || saved_read(*saved, slot).movie != h.movie ||
            saved_read(*saved, slot).copy != h.copy)
            continue;
        saved_delete(*saved, h);
        mended.push_back(format("%s: deleted the hold of copy %d of movie %d for client %d, who "
                                "already rents it",
                                TableTraits<SavedRec>::file, h.copy, h.movie, h.client));
    }
}

// Whether --repair may write every table; says which it may not, when not.
bool writable(std::vector<std::string>& problems) {
    bool all = true;
    for (const char* name : kDataFileNames)
        if (!DataFile::open_if_regular(name, DataFile::Mode::Update)) {
            problems.push_back(format("%s: cannot be opened for writing, so --repair changed "
                                      "nothing",
                                      name));
            all = false;
        }
    return all;
}

// A journal the check finds holds an action a crash cut short; or it is
// damaged, or of other tables than these, when no start can finish it.
// Answers whether it holds no action to finish and can be read.
bool check_journal(std::vector<std::string>& problems) {
    JournalState state = JournalState::empty;
    try {
        state = journal_state();
    } catch (const StoreFault& fault) {
        problems.push_back(
            format("%s: %s%s", fault.path.c_str(), fault.what.c_str(),
                   fault.kind == Fault::cannot_open
                       ? ""
                       : "; no start can finish it: init SLOTS --force, demo (in a folder "
                         "without tables) or restore BACKUP set it aside and start afresh"));
        return false;
    }
    if (state == JournalState::complete)
        problems.push_back(format("%s: holds a clerk's action a crash cut short; the next start "
                                  "of the counter, or check --repair, finishes it",
                                  kJournalFile));
    if (state == JournalState::torn)
        problems.push_back(format("%s: holds an action a crash cut short before it was "
                                  "recorded whole; it was never applied, and the next start of "
                                  "the counter drops it",
                                  kJournalFile));
    return state == JournalState::empty;
}

// Each change a repair made, as an event of the day log.
void log_mended(const std::vector<std::string>& mended, std::size_t from) {
    for (std::size_t i = from; i < mended.size(); ++i)
        log_event("repair", {{"change", mended[i]}});
}

// The day log's problems; the last action it records must be the last the
// tables hold, as far as the journal tells (not while it holds an action
// not applied in full, which is reported of its own).
void check_day_log(std::vector<std::string>& problems, bool settled) {
    for (std::string& line : log_problems("", settled ? journal_tables_seq() : std::nullopt))
        problems.push_back(std::move(line));
}

} // namespace

std::vector<std::string> table_file_problems(const DataFile* file, const char* name,
                                             std::size_t record_size) {
    if (!file)
        return {format("%s: is missing or cannot be opened", name)};
    std::vector<std::string> problems;
    const int64_t size = file->size();
    const int64_t n = size / static_cast<int64_t>(record_size);
    if (size % static_cast<int64_t>(record_size) != 0)
        problems.push_back(format("%s: its length, %lld bytes, is not a whole number of %d-byte "
                                  "records",
                                  name, static_cast<long long>(size), int(record_size)));
    if (n < 2)
        problems.push_back(format("%s: has %lld slot%s, fewer than the 2 a table needs", name,
                                  static_cast<long long>(n), n == 1 ? "" : "s"));
    else if (!is_prime(n))
        problems.push_back(format("%s: its slot count, %lld, is not a prime number", name,
                                  static_cast<long long>(n)));
    return problems;
}

CheckResult check_data_folder(bool repair, bool day_log) {
    set_fault_handler(nullptr); // every fault is collected, none ends the check
    CheckResult result;
    Folder f;
    result.problems = check_folder(f);
    if (!repair) {
        const bool settled = check_journal(result.problems);
        if (day_log)
            check_day_log(result.problems, settled);
        return result;
    }
    if (all_usable(f) && writable(result.problems)) {
        // The records first, then the flags from the records that are left;
        // each step's writes reach the files before the next step reads them.
        finish_hand_overs(f, result.mended);
        finish_pick_ups(f, result.mended);
        log_mended(result.mended, 0);
        journal_commit();
        const std::size_t records = result.mended.size();
        if (!result.mended.empty())
            check_folder(f);
        if (all_usable(f))
            for (std::string& line : mend_flags(f))
                result.mended.push_back(std::move(line));
        log_mended(result.mended, records);
        journal_commit();
        if (!result.mended.empty())
            result.problems = check_folder(f);
    }
    if (day_log)
        check_day_log(result.problems, journal_state() == JournalState::empty);
    return result;
}
