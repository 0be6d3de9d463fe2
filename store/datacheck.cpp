// Checking and mending a data folder.
#include "store/datacheck.h"

#include "store/datafiles.h"
#include "store/daylog.h"
#include "store/fault.h"
#include "store/hashfile.h"
#include "store/journal.h"
#include "store/keyindex.h"
#include "store/logbook.h"
#include "store/reserves.h"
#include "store/saved.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <span>
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
// (nullptr when all are whole).
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

// One table as read from disk; usable when its records can be trusted to be
// whole (a length of whole records, at least 2 slots). The records are read
// straight from the file's mapping when the system gives one, else into
// memory of the check's own.
template <class Rec>
struct Table {
    const char* name = TableTraits<Rec>::file;
    bool usable = false;
    std::span<const Rec> recs;
    std::optional<DataFile> file; // holds the mapping recs may lie in
    std::vector<Rec> copy;        // or the records read
};

// The records of a file mapped for reading: every page is read once at
// once, so that a part of the file the system cannot give is known before
// anything is checked. Empty when the file is not mapped or a page failed.
template <class Rec>
std::span<const Rec> mapped_records(const DataFile& file, int64_t n) {
    std::string scratch;
    const char* bytes = nullptr;
    try { // an unmapped file is read into scratch: the read below does it again, or says why not
        bytes = file.chunk(0, static_cast<std::size_t>(n) * sizeof(Rec), scratch);
    } catch (const std::bad_alloc&) {
        return {};
    } catch (const StoreFault&) {
        return {};
    }
    if (bytes == scratch.data())
        return {};
    volatile char sum = 0;
    for (int64_t at = 0; at < n * static_cast<int64_t>(sizeof(Rec)); at += 4096)
        sum = sum + bytes[at];
    try {
        DataFile::check_views();
    } catch (const StoreFault&) {
        return {};
    }
    return {reinterpret_cast<const Rec*>(bytes), static_cast<std::size_t>(n)};
}

template <class Rec>
Table<Rec> load(std::vector<std::string>& problems) {
    Table<Rec> t;
    try {
        t.file = DataFile::open(t.name, DataFile::Mode::Read);
    } catch (const StoreFault& fault) { // a link, or no regular file
        problems.push_back(format("%s: %s", t.name, fault.what.c_str()));
        return t;
    }
    for (std::string& line : table_file_problems(t.file ? &*t.file : nullptr, t.name, sizeof(Rec)))
        problems.push_back(std::move(line));
    const int64_t n = t.file ? t.file->size() / static_cast<int64_t>(sizeof(Rec)) : 0;
    if (n < 2)
        return t;
    // What the check holds per slot is less than a record: room for the
    // records must be there (asked of the allocator itself, so that it is
    // really asked, then given back untouched).
    void* room = ::operator new(static_cast<std::size_t>(n) * sizeof(Rec), std::nothrow);
    if (!room) {
        problems.push_back(format("%s: its %lld slots are more than the memory available can "
                                  "hold to check them",
                                  t.name, static_cast<long long>(n)));
        return t;
    }
    ::operator delete(room);
    t.recs = mapped_records<Rec>(*t.file, n);
    if (!t.recs.empty()) {
        t.usable = true;
        return t;
    }
    try {
        t.copy.resize(n);
        t.file->read_at(0, t.copy.data(), n * sizeof(Rec));
    } catch (const StoreFault& fault) {
        problems.push_back(format("%s: %s", t.name, fault.what.c_str()));
        t.copy = {};
        return t;
    } catch (const std::bad_alloc&) {
        problems.push_back(format("%s: its %lld slots are more than the memory available can "
                                  "hold to check them",
                                  t.name, static_cast<long long>(n)));
        t.copy = {};
        return t;
    }
    t.recs = t.copy;
    t.usable = true;
    return t;
}

// What the table's own search compares of a record, as one number: its key
// (0 for an empty slot) above the second field it tells records apart by
// (the copy of a movie, the client of a reservation; none for the others).
uint64_t identity(const MovieRec& r) {
    return pair_key(r.id, r.copy);
}
uint64_t identity(const ClientRec& r) {
    return pair_key(r.id, 0);
}
uint64_t identity(const RentRec& r) {
    return pair_key(r.client, 0);
}
uint64_t identity(const ReserveRec& r) {
    return pair_key(r.movie, r.client);
}
uint64_t identity(const SavedRec& r) {
    return pair_key(r.client, 0);
}

// The searches for the records not in the first slot of their key's probe
// sequence, over the identities of the slots (a table of 8 bytes a slot,
// which the memory serves faster than the records), a few walked side by
// side: each step of each walk asks the memory for its next slot ahead of
// time, so that the walks wait for the memory together rather than one
// after the other. report(slot, found) is called, in no order, for every
// record the table's own search does not find in its own slot (found: where
// it stops, or -1).
class Searches {
  public:
    explicit Searches(std::vector<uint64_t> ids)
        : ids_(std::move(ids)), n_(static_cast<int64_t>(ids_.size())) {}

    template <class Report>
    void add(int32_t slot, int32_t key, Report report) {
        Walk* w = free_walk(report);
        *w = Walk{slot, key % n_, key % (n_ - 1) + 1, 0, true};
        __builtin_prefetch(&ids_[w->at]);
    }

    template <class Report>
    void finish(Report report) {
        for (bool busy = true; busy;) {
            busy = false;
            for (Walk& w : walks_)
                if (w.busy) {
                    step(w, report);
                    busy = true;
                }
        }
    }

  private:
    struct Walk {
        int32_t slot;
        int64_t at, step, probes;
        bool busy;
    };

    // One probe of a walk: done (reported when it is not its own slot), or
    // on to the next slot, asked for ahead.
    template <class Report>
    void step(Walk& w, Report report) {
        const uint64_t there = ids_[w.at];
        if ((there >> 32) == 0 || ++w.probes > n_) { // an empty slot ends the search
            report(w.slot, -1);
            w.busy = false;
        } else if (there == ids_[w.slot]) {
            if (w.at != w.slot)
                report(w.slot, static_cast<int32_t>(w.at));
            w.busy = false;
        } else {
            w.at = w.at + w.step < n_ ? w.at + w.step : w.at + w.step - n_;
            __builtin_prefetch(&ids_[w.at]);
        }
    }

    template <class Report>
    Walk* free_walk(Report report) {
        for (;;) {
            for (Walk& w : walks_)
                if (!w.busy)
                    return &w;
            for (Walk& w : walks_)
                step(w, report);
        }
    }

    std::vector<uint64_t> ids_;
    int64_t n_;
    std::array<Walk, 16> walks_{};
};

template <class Rec>
void check_table(const Table<Rec>& t, std::vector<std::string>& problems) {
    // Each slot's problems in slot order; those of a search come last.
    std::vector<std::pair<int32_t, std::string>> found;
    const int32_t n = static_cast<int32_t>(t.recs.size());
    std::vector<uint64_t> ids(t.recs.size());
    for (std::size_t s = 0; s < ids.size(); ++s)
        ids[s] = identity(t.recs[s]);
    Searches searches(std::move(ids));
    auto report = [&](int32_t s, int32_t at) {
        const int32_t key = TableTraits<Rec>::key(t.recs[s]);
        if (at < 0)
            found.push_back({s, format("%s: slot %d: the record of key %d cannot be found by a "
                                       "search for its key",
                                       t.name, s, key)});
        else
            found.push_back({s, format("%s: slot %d: the record of key %d is hidden by the same "
                                       "record in slot %d",
                                       t.name, s, key, at)});
    };
    for (int32_t s = 0; s < n; ++s) {
        const Rec& r = t.recs[s];
        const int32_t key = TableTraits<Rec>::key(r);
        if (const char* field = unterminated_text(r))
            found.push_back(
                {s, format("%s: slot %d: the text %s has no terminating zero", t.name, s, field)});
        if (key == kEmptyKey || key == kDeletedKey)
            continue;
        if (key < kDeletedKey)
            found.push_back({s, format("%s: slot %d: key %d is below 1 (only 0, empty, and -1, "
                                       "deleted, may stand there)",
                                       t.name, s, key)});
        else if (key % n != s) // a record in its key's first slot is found there
            searches.add(s, key, report);
    }
    searches.finish(report);
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [slot, line] : found)
        problems.push_back(std::move(line));
}

struct Folder {
    Table<ClientRec> clients;
    Table<MovieRec> movies;
    Table<RentRec> rents;
    Table<ReserveRec> reserves;
    Table<SavedRec> saved;
};

// Calls visit(record) for every live record of the table, in slot order.
template <class Rec, class Visit>
void each_live(const Table<Rec>& t, Visit visit) {
    for (const Rec& r : t.recs)
        if (TableTraits<Rec>::key(r) >= 1)
            visit(r);
}

template <class Rec>
std::vector<Rec> live(const Table<Rec>& t) {
    std::vector<Rec> out;
    each_live(t, [&](const Rec& r) { out.push_back(r); });
    return out;
}

// Who names a copy: the first renting client of the rentals that name it
// and how many do, the same for the holds, and whether the catalogue holds it.
struct Namers {
    int32_t renter = 0, rentals = 0;
    int32_t holder = 0, holds = 0;
    bool exists = false;
};

// What the check between the tables gathers from the small tables (the
// rentals, holds and reservations) before one pass over each large one
// (the clients, the catalogue) looks up each record there.
struct Links {
    KeyIndex<Namers> copies; // by movie id and copy number
    KeyIndex<bool> titles;   // the movie ids reservations name: whether a copy has it
    KeyIndex<bool> clients;  // the clients named: whether user.txt holds them
};

void check_flag(const char* flag, int32_t value, const MovieRec& m, int32_t count, int32_t first,
                const char* what, std::vector<std::string>& problems) {
    const char* file = TableTraits<MovieRec>::file;
    if (value != 0 && value != 1)
        problems.push_back(format("%s: copy %d of movie %d has %s %d, neither 0 nor 1", file,
                                  m.copy, m.id, flag, value));
    else if (value == 1 && count == 0)
        problems.push_back(format("%s: copy %d of movie %d is marked %s but no %s names it", file,
                                  m.copy, m.id, flag, what));
    else if (value == 0 && count > 0)
        problems.push_back(format("%s: copy %d of movie %d is not marked %s but the %s of client "
                                  "%d names it",
                                  file, m.copy, m.id, flag, what, first));
    if (count > 1)
        problems.push_back(
            format("%s: copy %d of movie %d is named by %d %ss", file, m.copy, m.id, count, what));
}

// Gathers the links; with flags given, the one pass over the catalogue also
// checks each copy's rented and saved flags against what names it, into
// flags.
Links gather_links(const Folder& f, std::vector<std::string>* flags = nullptr) {
    Links l;
    each_live(f.rents, [&](const RentRec& r) {
        Namers& n = l.copies.add(pair_key(r.movie, r.copy));
        if (n.rentals++ == 0)
            n.renter = r.client;
        l.clients.add(pair_key(r.client, 0));
    });
    each_live(f.saved, [&](const SavedRec& h) {
        Namers& n = l.copies.add(pair_key(h.movie, h.copy));
        if (n.holds++ == 0)
            n.holder = h.client;
        l.clients.add(pair_key(h.client, 0));
    });
    each_live(f.reserves, [&](const ReserveRec& r) {
        l.titles.add(pair_key(r.movie, 0));
        l.clients.add(pair_key(r.client, 0));
    });
    each_live(f.clients, [&](const ClientRec& c) {
        if (bool* named = l.clients.find(pair_key(c.id, 0)))
            *named = true;
    });
    each_live(f.movies, [&](const MovieRec& m) {
        Namers* n = l.copies.find(pair_key(m.id, m.copy));
        if (n)
            n->exists = true;
        if (bool* named = l.titles.find(pair_key(m.id, 0)))
            *named = true;
        if (!flags)
            return;
        const Namers seen = n ? *n : Namers{};
        check_flag("rented", m.rented, m, seen.rentals, seen.renter, "rental", *flags);
        check_flag("saved", m.saved, m, seen.holds, seen.holder, "hold", *flags);
    });
    return l;
}

// The namers of a copy of the catalogue (none when nothing names it).
Namers namers_of(Links& l, int32_t movie, int32_t copy) {
    const Namers* n = l.copies.find(pair_key(movie, copy));
    return n ? *n : Namers{};
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
void check_links(const Table<Rec>& t, const char* what, Links& l, auto names_existing,
                 std::vector<std::string>& problems) {
    KeyIndex<int> per_client;
    each_live(t, [&](const Rec& r) {
        if (!*l.clients.find(pair_key(r.client, 0)))
            problems.push_back(format("%s: a %s names client %d, who is not in %s", t.name, what,
                                      r.client, TableTraits<ClientRec>::file));
        if (!names_existing(r))
            problems.push_back(format("%s: the %s of client %d names %s, which is not in %s",
                                      t.name, what, r.client, named_copy(r).c_str(),
                                      TableTraits<MovieRec>::file));
        ++per_client.add(pair_key(r.client, 0));
    });
    std::vector<std::pair<int32_t, int>> many; // clients with more than one, by id
    per_client.each([&](uint64_t key, int count) {
        if (count > 1)
            many.push_back({static_cast<int32_t>(key >> 32), count});
    });
    std::sort(many.begin(), many.end());
    for (auto [client, count] : many)
        problems.push_back(format("%s: client %d has %d %ss; a client may have one at most", t.name,
                                  client, count, what));
}

// A copy is out on rent or held, never both; and a hold takes the place of
// its client's reservation, so a client with a hold has no reservation.
void check_claims(const Folder& f, Links& l, std::vector<std::string>& problems) {
    KeyIndex<int32_t> held_movie; // client -> movie of his first hold
    each_live(f.saved, [&](const SavedRec& h) {
        if (!held_movie.find(pair_key(h.client, 0)))
            held_movie.add(pair_key(h.client, 0)) = h.movie;
        const Namers n = namers_of(l, h.movie, h.copy);
        if (n.rentals > 0)
            problems.push_back(format("%s: copy %d of movie %d is held for client %d and also out "
                                      "on rent to client %d",
                                      TableTraits<SavedRec>::file, h.copy, h.movie, h.client,
                                      n.renter));
    });
    each_live(f.reserves, [&](const ReserveRec& r) {
        if (const int32_t* held = held_movie.find(pair_key(r.client, 0)))
            problems.push_back(format("%s: client %d has a reservation of movie %d although a "
                                      "copy of movie %d is held for him",
                                      TableTraits<ReserveRec>::file, r.client, r.movie, *held));
    });
}

void check_between(const Folder& f, std::vector<std::string>& problems) {
    std::vector<std::string> flags; // said after the links, as the catalogue's own
    Links l = gather_links(f, &flags);
    auto copy_exists = [&](const auto& r) {
        return l.copies.find(pair_key(r.movie, r.copy))->exists;
    };
    check_links(f.rents, "rental", l, copy_exists, problems);
    check_links(f.saved, "hold", l, copy_exists, problems);
    check_links(
        f.reserves, "reservation", l,
        [&](const ReserveRec& r) { return *l.titles.find(pair_key(r.movie, 0)); }, problems);
    problems.insert(problems.end(), std::make_move_iterator(flags.begin()),
                    std::make_move_iterator(flags.end()));
    check_claims(f, l, problems);
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
void set_flag(const char* flag, int32_t& value, const MovieRec& m, int32_t count, int32_t first,
              const char* what, std::vector<std::string>& mended) {
    const int32_t want = count == 0 ? 0 : 1;
    if (value == want)
        return;
    std::string why = count == 0 ? format("no %s names it", what)
                                 : format("the %s of client %d names it", what, first);
    mended.push_back(format("%s: copy %d of movie %d: %s set from %d to %d, as %s",
                            TableTraits<MovieRec>::file, m.copy, m.id, flag, value, want,
                            why.c_str()));
    value = want;
}

// Sets every copy's rented and saved flags from the rentals and holds that
// name it; answers what was changed.
std::vector<std::string> mend_flags(const Folder& f) {
    std::vector<std::string> mended;
    Links l = gather_links(f);
    auto catalog = journal_open_table(TableTraits<MovieRec>::file);
    if (!catalog)
        return mended;
    for (int32_t s = 0; s < static_cast<int32_t>(f.movies.recs.size()); ++s) {
        MovieRec m = f.movies.recs[s];
        if (m.id < 1)
            continue;
        const int32_t was_rented = m.rented, was_saved = m.saved;
        const Namers n = namers_of(l, m.id, m.copy);
        set_flag("rented", m.rented, m, n.rentals, n.renter, "rental", mended);
        set_flag("saved", m.saved, m, n.holds, n.holder, "hold", mended);
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
