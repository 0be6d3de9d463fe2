// What the benchmark's files share: the run's sizes (full or quick), the
// scratch folder and the data folders made in it once per run, the ratio
// table printed after the timings, and the few system calls the floors and
// the child processes need (bench/sys.cpp). The store itself is used only
// through its named operations and DataFile, so that whatever it does when
// it reads is what gets measured.
#pragma once

#include "store/hashfile.h"
#include "store/records.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

// ---- the run -------------------------------------------------------------

struct BenchConfig {
    bool quick = false;           // RENTDESK_BENCH_QUICK set: one small round
    std::vector<int32_t> sizes;   // records per table
    std::vector<int32_t> loads;   // percent of the slots that are live
    int32_t grow_slots = 0;       // slots of the full table that is grown
    int32_t large_slots = 0;      // slots of the large start-up folder's files
    double min_time = 0;          // seconds each timing runs at least
    int repetitions = 0;          // of each timing; the fastest counts
    int32_t heavy_iterations = 0; // iterations of a growth (each takes seconds)
};

// The run's settings, read once from the environment.
const BenchConfig& config();

// "1e6", "1e4", or the number itself when it is no power of ten.
std::string size_label(int32_t n);

// Registers a benchmark whose faults of the store (or any exception) end it
// as an error of the run.
template <class Fn>
benchmark::internal::Benchmark* add_guarded(const std::string& name, Fn fn) {
    auto guarded = [fn](benchmark::State& state) {
        try {
            fn(state);
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
        }
    };
    return benchmark::RegisterBenchmark(name.c_str(), guarded);
}

// The fastest of a benchmark's repetitions: on a shared machine, the one the
// other work disturbed least.
double fastest(const std::vector<double>& times);

// A benchmark timed in wall-clock time for at least the run's minimum time,
// repeated; the table and the report take the fastest repetition.
template <class Fn>
void add_bench(const std::string& name, Fn fn) {
    add_guarded(name, fn)
        ->UseRealTime()
        ->MinTime(config().min_time)
        ->Repetitions(config().repetitions)
        ->DisplayAggregatesOnly(config().repetitions > 1)
        ->ComputeStatistics("min", fastest);
}

// A benchmark of a few iterations of seconds each, timed by itself.
template <class Fn>
void add_heavy(const std::string& name, Fn fn) {
    add_guarded(name, fn)->UseManualTime()->Iterations(config().heavy_iterations);
}

// ---- the ratio table -----------------------------------------------------

// One figure of a row: the row's time over the summed times of floors; or,
// with no floors, the row's own time (counter empty) or one of its counters.
// A ratio above goal (when goal is set) is marked.
struct Column {
    std::string header;
    std::vector<std::string> floors;
    double goal = 0;
    std::string counter;
};
// The row's own time; the row's time over the summed floors; a counter.
inline Column own_time() {
    return Column{"store", {}, 0, ""};
}
inline Column over(std::string header, std::vector<std::string> floors, double goal = 0) {
    return Column{std::move(header), std::move(floors), goal, ""};
}
inline Column counter_of(std::string header, std::string counter, double goal) {
    return Column{std::move(header), {}, goal, std::move(counter)};
}

// One row of the table printed after the timings: the benchmark named of and
// its figures. Rows are printed by section, in the order they were added;
// a figure whose benchmarks did not run (filtered out) shows "-".
struct RatioRow {
    std::string section;
    std::string label;
    std::string of;
    std::vector<Column> columns;
};
void add_ratio_row(RatioRow row);

// Runs the registered benchmarks with the console reporter, then prints the
// ratio table. Answers false when any benchmark reported an error.
bool run_and_report();

// ---- the groups of measurements (one file each) --------------------------

void register_keyed();        // bench/keyed.cpp
void register_other_stores(); // bench/other_stores.cpp
void register_passes();       // bench/passes.cpp
void register_growth();       // bench/growth.cpp
void register_startup();      // bench/startup.cpp
void register_action();       // bench/action.cpp
void register_shop();         // bench/shop.cpp

// Writes the large shop of the owner's commands (bench/shop.cpp) into dir:
// copies copies, a tenth as many clients, and rentals, reservations and
// holds in proportion.
void make_shop(const std::string& dir, int32_t copies);

// Registers name: one sequential read of the file path_of answers (called
// when the benchmark runs, so it can make the file first).
void add_read_file(const std::string& name, const std::function<std::string()>& path_of);

// The child process of the growth measurement: grows the full client table
// at path by inserting a client with id key, prints the wall time of the
// insert and its peaks of anonymous and of all resident memory (mapped file
// pages included) above the process's at rest, and answers the exit status.
int growth_child(const std::string& path, int32_t key);

// The other stores holding the clients for keyed finds, as the ratio table
// names them; and the name of the benchmark of one of them.
inline const std::vector<std::string> kOtherStores = {"GDBM", "LMDB", "Kyoto Cabinet", "SQLite"};
inline std::string other_store_bench(const std::string& store, bool hit, int32_t size) {
    return store + (hit ? "/get_hit/" : "/get_miss/") + size_label(size);
}

// ---- system calls (bench/sys.cpp) -----------------------------------------

// The whole file at path, made anew, in one write, and synced.
void write_file(const std::string& path, const void* data, std::size_t len);
// Reads the whole file sequentially in large reads; answers the bytes read.
int64_t read_file(const std::string& path);
void copy_file(const std::string& from, const std::string& to);
void make_folder(const std::string& path);

// A file descriptor closed with the object.
struct Fd {
    int fd = -1;
    Fd(const std::string& path, bool write);
    ~Fd();
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};
// Exactly len bytes at offset, or the run stops with the system's words.
void pread_exact(int fd, void* buf, std::size_t len, int64_t offset);
void pwrite_exact(int fd, const void* buf, std::size_t len, int64_t offset);
void fsync_or_die(int fd);
// Cuts (or extends) the file to len bytes.
void truncate_or_die(int fd, int64_t len);
// Opens path for reading and writing (no link followed) and measures it, as
// opening a table must; the descriptor is closed with close_fd.
int open_table_fd(const std::string& path);
void close_fd(int fd);

// Runs argv[0] with argv; standard input and error on the null device,
// standard output into out when given (else the null device). Answers the
// exit status, -1 when the program did not exit by itself.
int run_program(const std::vector<std::string>& argv, std::string* out);

// Resident anonymous memory of this process now, in bytes; and its whole
// resident memory, the pages of mapped files included.
int64_t rss_anon();
int64_t rss_total();

// The path of this program.
std::string self_path();

// Seconds on a steady clock.
double now_seconds();

// Stops the run with a message (a fixture could not be made).
[[noreturn]] void die(const std::string& what);

// ---- the data folders (bench/fixtures.cpp) --------------------------------

struct Query {
    int32_t key = 0;
    int32_t arg = 0; // copy number, client, or a slot, as the operation needs
};

// The records of one size, the same whatever the load: random distinct keys,
// as a shop's ids are; 1 to 3 copies per title and reservations per title;
// every hold dated today, so none runs out during the run. The queries are
// drawn from the whole of them (with repeats), as many as the smallest power
// of two at or above their number, and at least kSample; a timing loop takes
// them in turn (query i & (size - 1)).
inline constexpr std::size_t kSample = 4096; // a power of two
// The query a timing loop asks at its i-th iteration.
inline const Query& query_at(const std::vector<Query>& qs, std::size_t i) {
    return qs[i & (qs.size() - 1)];
}
struct RecordSet {
    std::vector<ClientRec> clients;
    std::vector<MovieRec> movies;
    std::vector<ReserveRec> reserves;
    std::vector<SavedRec> holds;
    std::vector<Query> client_hits;   // a client id
    std::vector<Query> client_misses; // an id no client has
    std::vector<Query> copies;        // movie id, copy number
    std::vector<Query> titles;        // movie id
    std::vector<Query> reservations;  // movie id, client
    std::vector<Query> hold_clients;  // client id
};
const RecordSet& records(int32_t size);

// A table of a data folder and its bytes, kept in memory.
template <class Rec>
struct Table {
    std::string path;
    std::vector<Rec> image;
    int32_t slots() const { return static_cast<int32_t>(image.size()); }
};

// A data folder holding the records of one size at one load: the five
// tables, each with the smallest prime number of slots that keeps the load
// at or under the percent asked. Made on first use, removed with the
// scratch folder.
struct DataFolder {
    std::string dir; // absolute, ending in '/'
    Table<ClientRec> clients;
    Table<MovieRec> movies;
    Table<ReserveRec> reserves;
    Table<SavedRec> holds;
};
const DataFolder& data_folder(int32_t size, int32_t load);

// The table image holding recs, each placed as an insert places it, in a
// table of n blank slots.
template <class Rec>
std::vector<Rec> image_of(const std::vector<Rec>& recs, int32_t n) {
    std::vector<Rec> image(n, TableTraits<Rec>::blank());
    for (const Rec& r : recs) {
        const int32_t key = TableTraits<Rec>::key(r);
        int32_t i = 0;
        while (i < n && TableTraits<Rec>::key(image[probe_slot(key, n, i)]) != kEmptyKey)
            ++i;
        if (i == n)
            die("a table image has no room for its records");
        image[probe_slot(key, n, i)] = r;
    }
    return image;
}

// Records made the same way for the large folders.
ClientRec client_record(int32_t id);
SavedRec hold_record(int32_t client, int32_t movie);
// count random distinct ids (1 and more); the same for the same seed.
std::vector<int32_t> distinct_ids(std::size_t count, uint64_t seed);

// Writes the image of a table as a whole file in one go.
template <class Rec>
void write_table(const std::string& path, const std::vector<Rec>& image) {
    write_file(path, image.data(), image.size() * sizeof(Rec));
}

// The scratch folder of this run (absolute, ending in '/'): under
// RENTDESK_BENCH_DIR, else /var/tmp, made on first use; and its removal.
const std::string& scratch();
void remove_scratch();
