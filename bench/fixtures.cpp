// The records and data folders the measurements run on, made once per run
// in the scratch folder: each table's image is built in memory, placed as
// inserts place records, and written as a whole file in one go.
#include "bench.h"

#include "store/dates.h"
#include "store/hashfile.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <unordered_set>

namespace {

// The number of queries drawn from count items: the smallest power of two at
// or above count, at least kSample.
std::size_t sample_size(std::size_t count) {
    std::size_t n = kSample;
    while (n < count)
        n *= 2;
    return n;
}

// Queries drawn from the whole of items (with repeats), made by to_query.
template <class T, class ToQuery>
std::vector<Query> sample(const std::vector<T>& items, uint64_t seed, ToQuery to_query) {
    std::mt19937_64 gen(seed);
    std::uniform_int_distribution<std::size_t> pick(0, items.size() - 1);
    std::vector<Query> out;
    for (std::size_t i = 0, n = sample_size(items.size()); i < n; ++i)
        out.push_back(to_query(items[pick(gen)]));
    return out;
}

MovieRec copy_record(int32_t id, int32_t copy) {
    MovieRec r = TableTraits<MovieRec>::blank();
    set_text(r.name, "Title " + std::to_string(id % 100000));
    r.id = id;
    r.copy = copy;
    r.diskstatus = 10;
    r.rentdays = 3;
    return r;
}

// Records keyed on ids drawn from seed, 1 to 3 sharing each id, count in
// all; make(id, n) makes the n-th record of an id.
template <class Rec, class Make>
std::vector<Rec> grouped(std::size_t count, uint64_t seed, Make make) {
    std::vector<int32_t> ids = distinct_ids(count, seed);
    std::mt19937_64 gen(seed + 1);
    std::vector<Rec> out;
    for (std::size_t i = 0; out.size() < count; ++i)
        for (int32_t n = 1, c = 1 + static_cast<int32_t>(gen() % 3); n <= c && out.size() < count;
             ++n)
            out.push_back(make(ids[i], n));
    return out;
}

std::unique_ptr<RecordSet> make_records(int32_t size) {
    auto set = std::make_unique<RecordSet>();
    const auto count = static_cast<std::size_t>(size);
    const uint64_t seed = static_cast<uint64_t>(size) * 1000;
    std::vector<int32_t> ids = distinct_ids(count + sample_size(count), seed);
    for (std::size_t i = 0; i < count; ++i)
        set->clients.push_back(client_record(ids[i]));
    for (std::size_t i = count; i < ids.size(); ++i)
        set->client_misses.push_back(Query{ids[i], 0});
    set->movies = grouped<MovieRec>(count, seed + 10, copy_record);
    std::mt19937_64 gen(seed + 20);
    set->reserves = grouped<ReserveRec>(count, seed + 30, [&](int32_t movie, int32_t n) {
        int32_t client = 1 + static_cast<int32_t>(gen() % INT32_MAX);
        return ReserveRec{client, movie, n % 2, Date{2026, 1 + n, 1 + client % 28}};
    });
    std::vector<int32_t> holders = distinct_ids(count, seed + 40);
    for (int32_t client : holders)
        set->holds.push_back(hold_record(client, 1 + client % 1000));

    set->client_hits = sample(set->clients, seed + 50, [](auto& r) { return Query{r.id, 0}; });
    set->copies = sample(set->movies, seed + 60, [](auto& r) { return Query{r.id, r.copy}; });
    set->titles = sample(set->movies, seed + 70, [](auto& r) { return Query{r.id, 0}; });
    set->reservations = sample(set->reserves, seed + 80, [](auto& r) {
        return Query{r.movie, r.client};
    });
    set->hold_clients = sample(set->holds, seed + 90, [](auto& r) { return Query{r.client, 0}; });
    return set;
}

template <class Rec>
Table<Rec> make_table(const std::string& dir, const std::vector<Rec>& recs, int32_t slots) {
    Table<Rec> t{dir + TableTraits<Rec>::file, image_of(recs, slots)};
    write_table(t.path, t.image);
    return t;
}

std::unique_ptr<DataFolder> make_folder_of(int32_t size, int32_t load) {
    const RecordSet& set = records(size);
    auto folder = std::make_unique<DataFolder>();
    folder->dir = scratch() + "tables-" + size_label(size) + "-" + std::to_string(load) + "/";
    make_folder(folder->dir);
    const int64_t wanted = (static_cast<int64_t>(size) * 100 + load - 1) / load;
    const int32_t slots = next_prime(static_cast<int32_t>(wanted));
    folder->clients = make_table(folder->dir, set.clients, slots);
    folder->movies = make_table(folder->dir, set.movies, slots);
    folder->reserves = make_table(folder->dir, set.reserves, slots);
    folder->holds = make_table(folder->dir, set.holds, slots);
    make_table(folder->dir, std::vector<RentRec>{}, slots);
    return folder;
}

} // namespace

ClientRec client_record(int32_t id) {
    ClientRec r = TableTraits<ClientRec>::blank();
    r.id = id;
    set_text(r.fname, "Dana");
    set_text(r.lname, "Levi");
    set_text(r.address, "Herzl 12");
    r.subdate = Date{2026, 1, 1};
    r.phone = 541234567;
    r.months = 12;
    return r;
}

SavedRec hold_record(int32_t client, int32_t movie) {
    return SavedRec{client, movie, 1, get_today()};
}

std::vector<int32_t> distinct_ids(std::size_t count, uint64_t seed) {
    std::mt19937_64 gen(seed);
    std::uniform_int_distribution<int32_t> any(1, INT32_MAX);
    std::unordered_set<int32_t> seen;
    seen.reserve(count * 2);
    std::vector<int32_t> ids;
    while (ids.size() < count)
        if (int32_t id = any(gen); seen.insert(id).second)
            ids.push_back(id);
    return ids;
}

const RecordSet& records(int32_t size) {
    static std::map<int32_t, std::unique_ptr<RecordSet>> made;
    auto& set = made[size];
    if (!set)
        set = make_records(size);
    return *set;
}

const DataFolder& data_folder(int32_t size, int32_t load) {
    static std::map<std::pair<int32_t, int32_t>, std::unique_ptr<DataFolder>> made;
    auto& folder = made[{size, load}];
    if (!folder)
        folder = make_folder_of(size, load);
    return *folder;
}

const std::string& scratch() {
    static const std::string dir = [] {
        const char* base = std::getenv("RENTDESK_BENCH_DIR");
        std::string pattern =
            std::string(base && *base ? base : "/var/tmp") + "/rentdesk-bench.XXXXXX";
        if (!mkdtemp(pattern.data()))
            die("cannot make a scratch folder at " + pattern);
        return pattern + "/";
    }();
    return dir;
}

void remove_scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch(), ignored);
}
