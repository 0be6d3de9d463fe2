// The store's keyed operations against their floors, at every size and load:
// each operation through its named function on a DataFile held open, the
// same probe path read with one pread per probe, the same path walked over
// the table's bytes in memory, and one pread of a record. Before timing,
// every query's answer from the store is checked against the walk in memory.
// Also the desk's way: open the client table, find, read, close.
#include "bench.h"

#include "store/clients.h"
#include "store/datafiles.h"
#include "store/movies.h"
#include "store/reserves.h"
#include "store/saved.h"

namespace {

// Walks key's probe path as the store's searches do: visit(slot, record) for
// each record of key until it answers true (that slot is answered) or an
// empty slot ends the path (-1).
template <class Rec, class Read, class Visit>
int32_t walk(const Read& read, int32_t n, int32_t key, Visit visit) {
    for (int32_t i = 0; i < n; ++i) {
        const int32_t s = probe_slot(key, n, i);
        decltype(auto) r = read(s);
        const int32_t k = TableTraits<Rec>::key(r);
        if (k == kEmptyKey)
            return -1;
        if (k == key && visit(s, r))
            return s;
    }
    return -1;
}

template <class Rec>
struct InMemory {
    const Rec* image;
    const Rec& operator()(int32_t s) const { return image[s]; }
};

template <class Rec>
struct ByPread {
    int fd;
    Rec operator()(int32_t s) const {
        Rec r;
        pread_exact(fd, &r, sizeof r, static_cast<int64_t>(s) * static_cast<int64_t>(sizeof r));
        return r;
    }
};

constexpr Date kFarDay{9999, 12, 31}; // every reservation is due by then

// Each operation: its table and queries, the store's call, and the rule it
// follows over any reader (the floors' walks and the check of the answers).
// floors names the operation whose floors apply; writes, that it writes.
template <class R, const char* Name, const char* Floors = Name>
struct Op {
    using Rec = R;
    static constexpr const char* name = Name;
    static constexpr const char* floors = Floors;
    static constexpr bool writes = false;
};

constexpr char kFindHit[] = "find_hit", kFindReadHit[] = "find_read_hit", kFindMiss[] = "find_miss",
               kFindCopy[] = "find_copy", kMaxCopy[] = "max_copy",
               kReserveClient[] = "reservation_of_client", kEarliest[] = "earliest_reservation",
               kHoldFind[] = "hold_find", kInsert[] = "insert";

template <class Rec, const char* Name, const char* Floors = Name>
struct FindOp : Op<Rec, Name, Floors> {
    template <class Read>
    static int32_t rule(const Read& read, int32_t n, Query q) {
        return walk<Rec>(read, n, q.key, [](int32_t, const Rec&) { return true; });
    }
};

struct FindHit : FindOp<ClientRec, kFindHit> {
    static const Table<Rec>& table(const DataFolder& d) { return d.clients; }
    static const std::vector<Query>& queries(const RecordSet& s) { return s.client_hits; }
    static int32_t store(DataFile& f, Query q) { return client_find(f, q.key); }
};

struct FindReadHit : FindOp<ClientRec, kFindReadHit, kFindHit> {
    static const Table<Rec>& table(const DataFolder& d) { return d.clients; }
    static const std::vector<Query>& queries(const RecordSet& s) { return s.client_hits; }
    static int32_t store(DataFile& f, Query q) {
        ClientRec found;
        const int32_t s = client_find(f, q.key, &found);
        return found.id == q.key ? s : -2;
    }
};

struct FindMiss : FindOp<ClientRec, kFindMiss> {
    static const Table<Rec>& table(const DataFolder& d) { return d.clients; }
    static const std::vector<Query>& queries(const RecordSet& s) { return s.client_misses; }
    static int32_t store(DataFile& f, Query q) { return client_find(f, q.key); }
};

struct HoldFind : FindOp<SavedRec, kHoldFind> {
    static const Table<Rec>& table(const DataFolder& d) { return d.holds; }
    static const std::vector<Query>& queries(const RecordSet& s) { return s.hold_clients; }
    static int32_t store(DataFile& f, Query q) { return saved_find(f, q.key); }
};

struct FindCopy : Op<MovieRec, kFindCopy> {
    static const Table<Rec>& table(const DataFolder& d) { return d.movies; }
    static const std::vector<Query>& queries(const RecordSet& s) { return s.copies; }
    static int32_t store(DataFile& f, Query q) { return movie_find_copy(f, q.key, q.arg); }
    template <class Read>
    static int32_t rule(const Read& read, int32_t n, Query q) {
        return walk<Rec>(read, n, q.key, [&](int32_t, const Rec& r) { return r.copy == q.arg; });
    }
};

struct MaxCopy : Op<MovieRec, kMaxCopy> {
    static const Table<Rec>& table(const DataFolder& d) { return d.movies; }
    static const std::vector<Query>& queries(const RecordSet& s) { return s.titles; }
    static int32_t store(DataFile& f, Query q) { return movie_max_copy(f, q.key); }
    template <class Read>
    static int32_t rule(const Read& read, int32_t n, Query q) {
        int32_t best = -1;
        walk<Rec>(read, n, q.key, [&](int32_t, const Rec& r) {
            best = r.copy > best ? r.copy : best;
            return false;
        });
        return best;
    }
};

struct ReserveClient : Op<ReserveRec, kReserveClient> {
    static const Table<Rec>& table(const DataFolder& d) { return d.reserves; }
    static const std::vector<Query>& queries(const RecordSet& s) { return s.reservations; }
    static int32_t store(DataFile& f, Query q) { return reserve_find_client(f, q.key, q.arg); }
    template <class Read>
    static int32_t rule(const Read& read, int32_t n, Query q) {
        return walk<Rec>(read, n, q.key, [&](int32_t, const Rec& r) { return r.client == q.arg; });
    }
};

struct Earliest : Op<ReserveRec, kEarliest> {
    static const Table<Rec>& table(const DataFolder& d) { return d.reserves; }
    static const std::vector<Query>& queries(const RecordSet& s) { return s.reservations; }
    static int32_t store(DataFile& f, Query q) { return reserve_earliest(f, q.key, kFarDay); }
    template <class Read>
    static int32_t rule(const Read& read, int32_t n, Query q) {
        int32_t answer = -1;
        Date mindate = kFarDay;
        walk<Rec>(read, n, q.key, [&](int32_t s, const Rec& r) {
            if (!date_before(mindate, r.resdate)) {
                answer = s;
                mindate = r.resdate;
            }
            return false;
        });
        return answer;
    }
};

// An insert of a new client, and its slot put back blank, so the table is
// the same for the next one: the insert's search for a free slot and two
// writes of a record. arg is the slot the insert takes.
struct Insert : Op<ClientRec, kInsert> {
    static constexpr bool writes = true;
    static const Table<Rec>& table(const DataFolder& d) { return d.clients; }
    static const std::vector<Query>& queries(const RecordSet& s) { return s.client_misses; }
    static int32_t store(DataFile& f, Query q) {
        client_insert(f, client_record(q.key));
        client_write(f, q.arg, TableTraits<ClientRec>::blank());
        return q.arg;
    }
    static int32_t check(DataFile& f, Query q) {
        client_insert(f, client_record(q.key));
        const int32_t s = client_find(f, q.key);
        client_write(f, s < 0 ? q.arg : s, TableTraits<ClientRec>::blank());
        return s;
    }
    template <class Read>
    static int32_t rule(const Read& read, int32_t n, Query q) {
        for (int32_t i = 0; i < n; ++i) {
            const int32_t s = probe_slot(q.key, n, i);
            const int32_t k = TableTraits<Rec>::key(read(s));
            if (k == kEmptyKey || k == kDeletedKey)
                return s;
        }
        return -1;
    }
};

template <class O>
int32_t check(DataFile& f, Query q) {
    if constexpr (O::writes)
        return O::check(f, q);
    else
        return O::store(f, q);
}

// The operation's queries, with the slot an insert takes filled in.
template <class O>
std::vector<Query> prepared(const Table<typename O::Rec>& t, int32_t size) {
    std::vector<Query> qs = O::queries(records(size));
    if constexpr (O::writes)
        for (Query& q : qs)
            q.arg = O::rule(InMemory<typename O::Rec>{t.image.data()}, t.slots(), q);
    return qs;
}

template <class O>
void time_store(benchmark::State& state, int32_t size, int32_t load) {
    const auto& t = O::table(data_folder(size, load));
    const std::vector<Query> qs = prepared<O>(t, size);
    auto f = DataFile::open(t.path, DataFile::Mode::Update);
    if (!f)
        return state.SkipWithError("the table cannot be opened");
    const InMemory<typename O::Rec> memory{t.image.data()};
    // Every query's answer is checked; an insert's (which writes twice) on
    // the first kSample.
    const std::size_t checks = O::writes ? kSample : qs.size();
    for (std::size_t i = 0; i < checks; ++i)
        if (check<O>(*f, qs[i]) != O::rule(memory, t.slots(), qs[i]))
            return state.SkipWithError("the store answers otherwise than the table's rule");
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(O::store(*f, query_at(qs, i++)));
    f->close();
}

// The floor of an operation: its rule over the reader, and for an insert
// the same two record writes at the slot found.
template <class O, bool kOnDisk>
void time_floor(benchmark::State& state, int32_t size, int32_t load) {
    using Rec = typename O::Rec;
    const auto& t = O::table(data_folder(size, load));
    const std::vector<Query> qs = prepared<O>(t, size);
    const Fd fd(t.path, O::writes);
    const auto read = [&] {
        if constexpr (kOnDisk)
            return ByPread<Rec>{fd.fd};
        else
            return InMemory<Rec>{t.image.data()};
    }();
    const Rec blank = TableTraits<Rec>::blank();
    std::size_t i = 0;
    for (auto _ : state) {
        const Query& q = query_at(qs, i++);
        const int32_t s = O::rule(read, t.slots(), q);
        if constexpr (O::writes) {
            const Rec r = client_record(q.key);
            pwrite_exact(fd.fd, &r, sizeof r, static_cast<int64_t>(s) * sizeof r);
            pwrite_exact(fd.fd, &blank, sizeof blank, static_cast<int64_t>(s) * sizeof blank);
        }
        benchmark::DoNotOptimize(s);
    }
}

void time_one_pread(benchmark::State& state, int32_t size, int32_t load) {
    const auto& t = data_folder(size, load).clients;
    const std::vector<Query>& qs = records(size).client_hits;
    const Fd fd(t.path, false);
    std::size_t i = 0;
    ClientRec r;
    for (auto _ : state) {
        const int32_t s = probe_slot(query_at(qs, i++).key, t.slots(), 0);
        pread_exact(fd.fd, &r, sizeof r, static_cast<int64_t>(s) * sizeof r);
        benchmark::DoNotOptimize(r);
    }
}

// The desk's way to a client: open the table, find, read, close.
void time_desk_way(benchmark::State& state, int32_t size, int32_t load) {
    const DataFolder& d = data_folder(size, load);
    const std::vector<Query>& qs = records(size).client_hits;
    std::string why;
    if (!enter_folder(d.dir, false, &why))
        return state.SkipWithError("the data folder cannot be entered");
    std::size_t i = 0;
    for (auto _ : state) {
        DataFile f = open_table<ClientRec>();
        const Query& q = query_at(qs, i++);
        ClientRec found;
        if (client_find(f, q.key, &found) < 0 || found.id != q.key) {
            state.SkipWithError("the desk's way found another client");
            break;
        }
        f.close();
    }
}

// Its floor: open and measure the file, read the probe path, close.
void time_desk_floor(benchmark::State& state, int32_t size, int32_t load) {
    const auto& t = data_folder(size, load).clients;
    const std::vector<Query>& qs = records(size).client_hits;
    std::size_t i = 0;
    for (auto _ : state) {
        const int fd = open_table_fd(t.path);
        benchmark::DoNotOptimize(
            FindHit::rule(ByPread<ClientRec>{fd}, t.slots(), query_at(qs, i++)));
        close_fd(fd);
    }
}

std::string where(int32_t size, int32_t load) {
    return size_label(size) + "/" + std::to_string(load) + "%";
}

constexpr const char* kSection =
    "Keyed operations: time per call, and the store's time over each floor";

template <class O>
void add_op(int32_t size, int32_t load, bool against_other_stores) {
    const std::string at = where(size, load);
    const std::string base = std::string(O::name) + "/" + at;
    const std::string floors = std::string(O::floors) + "/" + at;
    add_bench(base + "/store", [=](benchmark::State& st) { time_store<O>(st, size, load); });
    if (std::string(O::name) == O::floors) {
        add_bench(floors + "/pread_path",
                  [=](benchmark::State& st) { time_floor<O, true>(st, size, load); });
        add_bench(floors + "/memory_walk",
                  [=](benchmark::State& st) { time_floor<O, false>(st, size, load); });
    }
    RatioRow row{kSection,
                 std::string(O::name) + " " + size_label(size) + " " + std::to_string(load) + "%",
                 base + "/store",
                 {own_time(), over("/1 pread", {"one_pread/" + at}),
                  over("/pread path", {floors + "/pread_path"}),
                  over("/memory walk", {floors + "/memory_walk"}, 1.5)}};
    if (against_other_stores)
        for (const std::string& other : kOtherStores)
            row.columns.push_back(
                over("/" + other,
                     {other_store_bench(other, O::name != std::string(kFindMiss), size)}, 1.0));
    add_ratio_row(row);
}

} // namespace

void register_keyed() {
    for (int32_t size : config().sizes)
        for (int32_t load : config().loads) {
            const std::string at = where(size, load);
            add_bench("one_pread/" + at,
                      [=](benchmark::State& st) { time_one_pread(st, size, load); });
            add_op<FindHit>(size, load, false);
            add_op<FindReadHit>(size, load, true);
            add_op<FindMiss>(size, load, true);
            add_op<FindCopy>(size, load, false);
            add_op<MaxCopy>(size, load, false);
            add_op<ReserveClient>(size, load, false);
            add_op<Earliest>(size, load, false);
            add_op<HoldFind>(size, load, false);
            add_op<Insert>(size, load, false);
            add_bench("desk_way/" + at + "/store",
                      [=](benchmark::State& st) { time_desk_way(st, size, load); });
            add_bench("desk_way/" + at + "/floor",
                      [=](benchmark::State& st) { time_desk_floor(st, size, load); });
            add_ratio_row(
                {"The desk's way to a client: open the table, find, read, close",
                 "desk_way " + size_label(size) + " " + std::to_string(load) + "%",
                 "desk_way/" + at + "/store",
                 {own_time(), over("/open+pread path+close", {"desk_way/" + at + "/floor"}),
                  over("/find_read_hit held open", {"find_read_hit/" + at + "/store"})}});
        }
}
