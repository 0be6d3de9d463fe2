// The hashed record file and the five tables on it: probe order, deleted
// slots, growth through hashadd.txt and its crash safety, the exact bytes on
// disk, short files, and each table's own queries.
#include "shell/datafiles.h"
#include "shell/dates.h"
#include "store/clients.h"
#include "store/hashfile.h"
#include "store/movies.h"
#include "store/rents.h"
#include "store/reserves.h"
#include "store/saved.h"
#include "tests/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// ---- Records with every field set, so a misplaced field shows in the bytes.

MovieRec movie(int32_t id, int32_t copy, std::string_view name = "Alien") {
    MovieRec r{};
    set_text(r.name, name);
    r.id = id;
    r.copy = copy;
    r.diskstatus = 7;
    r.rentdays = 3;
    r.rented = 1;
    r.saved = 1;
    return r;
}

ClientRec client(int32_t id) {
    ClientRec r{};
    r.id = id;
    set_text(r.fname, "Dana");
    set_text(r.lname, "Levi");
    set_text(r.address, "Haifa");
    r.subdate = {2008, 8, 1};
    r.phone = 48123456;
    r.months = 3;
    r.fine = 15;
    return r;
}

RentRec rental(int32_t client, int32_t movie = 40, int32_t copy = 2) {
    return RentRec{client, {2008, 8, 10}, movie, copy, 3};
}

ReserveRec reservation(int32_t client, int32_t movie, Date resdate = {2008, 8, 10}) {
    return ReserveRec{client, movie, 1, resdate};
}

SavedRec hold(int32_t client, int32_t movie = 40, int32_t copy = 2) {
    return SavedRec{client, movie, copy, {2008, 8, 10}};
}

template <class Rec>
Bytes bytes_of(const Rec& r) {
    Bytes b(sizeof r);
    std::memcpy(b.data(), &r, sizeof r);
    return b;
}

Bytes concat(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// ---- Files.

// A table of n empty slots in the working folder, opened as the desks open it.
template <class Rec>
DataFile empty_table(int32_t n) {
    {
        auto created = DataFile::open(TableTraits<Rec>::file, DataFile::Mode::Create);
        hash_format<Rec>(*created, n);
    }
    return open_table<Rec>();
}

// A table holding exactly these records, slot by slot, written past the store.
template <class Rec>
DataFile table_of(const std::vector<Rec>& slots) {
    std::vector<Bytes> parts;
    for (const Rec& r : slots)
        parts.push_back(bytes_of(r));
    put_file_bytes(TableTraits<Rec>::file, concat(parts));
    return open_table<Rec>();
}

template <class Rec>
Rec blank(int32_t key) {
    Rec r = TableTraits<Rec>::blank();
    TableTraits<Rec>::set_key(r, key);
    return r;
}

int32_t le32_at(const Bytes& b, std::size_t at) {
    uint32_t u = 0;
    for (int i = 3; i >= 0; --i)
        u = (u << 8) | b[at + i];
    return static_cast<int32_t>(u);
}

// Where each file keeps its key, as the file layouts define it.
std::size_t key_offset(std::string_view file) {
    return file == "catalogmov.txt" ? 20 : file == "reservedmov.txt" ? 4 : 0;
}

// The file's records in slot order, as raw bytes.
std::vector<Bytes> records_in(const Bytes& file, std::size_t size) {
    std::vector<Bytes> out;
    for (std::size_t at = 0; at + size <= file.size(); at += size)
        out.emplace_back(file.begin() + at, file.begin() + at + size);
    return out;
}

std::vector<Bytes> live_records(std::string_view file, const Bytes& bytes, std::size_t size) {
    std::vector<Bytes> live;
    for (Bytes& r : records_in(bytes, size))
        if (int32_t key = le32_at(r, key_offset(file)); key != 0 && key != -1)
            live.push_back(r);
    return live;
}

// Slots of key's probe sequence in n slots, worked out here from the double
// hashing rule: h1 = key mod n, step h2 = key mod (n - 1) + 1.
std::vector<int32_t> probe_order(int32_t key, int32_t n) {
    std::vector<int32_t> order;
    for (int64_t i = 0; i < n; ++i)
        order.push_back(static_cast<int32_t>((key % n + (key % (n - 1) + 1) * i) % n));
    return order;
}

// The bytes of an m-slot table after inserting records one after the other,
// each into the first empty slot of its probe sequence.
Bytes expected_layout(std::string_view file, int32_t m, const std::vector<Bytes>& records) {
    const Bytes empty = blank_record_bytes(file, 0);
    std::vector<Bytes> slots(m, empty);
    for (const Bytes& r : records) {
        for (int32_t s : probe_order(le32_at(r, key_offset(file)), m)) {
            if (slots[s] == empty) {
                slots[s] = r;
                break;
            }
        }
    }
    return concat(slots);
}

// What fn prints on standard output.
template <class Fn>
std::string printed(Fn fn) {
    testing::internal::CaptureStdout();
    fn();
    return testing::internal::GetCapturedStdout();
}

// Death-test output is matched on stderr; the store reports on stdout.
void stdout_to_stderr() {
    std::fflush(stdout);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
}

// ---- Each table's named operations, for the tests every table must pass.

struct Movies {
    using Rec = MovieRec;
    static constexpr const char* file = "catalogmov.txt";
    static constexpr const char* full_message = "Resizing movie catalog table....";
    static constexpr auto insert = movie_insert, erase = movie_delete_copy;
    static constexpr auto find = movie_find;
    static Rec make(int32_t key) { return movie(key, 9, "Heat"); }
};

struct Clients {
    using Rec = ClientRec;
    static constexpr const char* file = "user.txt";
    static constexpr const char* full_message = "Resizing client table....";
    static constexpr auto insert = client_insert, erase = client_delete;
    static constexpr auto find = client_find;
    static Rec make(int32_t key) { return client(key); }
};

struct Rents {
    using Rec = RentRec;
    static constexpr const char* file = "rentmovies.txt";
    static constexpr const char* full_message = "Resizing rent table....";
    static constexpr auto insert = rent_insert, erase = rent_delete;
    static constexpr auto find = rent_find;
    static Rec make(int32_t key) { return rental(key); }
};

struct Reserves {
    using Rec = ReserveRec;
    static constexpr const char* file = "reservedmov.txt";
    static constexpr const char* full_message = "Resizing reserved table....";
    static constexpr auto insert = reserve_insert, erase = reserve_delete_client;
    static constexpr auto find = reserve_find;
    static Rec make(int32_t key) { return reservation(9, key); }
};

struct Saved {
    using Rec = SavedRec;
    static constexpr const char* file = "ressavmov.txt";
    static constexpr const char* full_message = "if u got to here u got problem....";
    static constexpr auto insert = saved_insert, erase = saved_delete;
    static constexpr auto find = saved_find;
    static Rec make(int32_t key) { return hold(key); }
};

} // namespace

// ---- What every table does, checked on the bytes of its file.

template <class T>
class EveryTable : public testing::Test {
  protected:
    using Rec = typename T::Rec;
    static constexpr std::size_t R = sizeof(Rec);
    ScratchFolder dir;

    // The file's bytes with the given records placed at the given slots.
    Bytes table_bytes(int32_t n, const std::vector<std::pair<int32_t, Bytes>>& placed) {
        Bytes all = empty_table_bytes(T::file, n);
        for (const auto& [slot, rec] : placed)
            std::copy(rec.begin(), rec.end(), all.begin() + slot * R);
        return all;
    }
};

using TableKinds = testing::Types<Movies, Clients, Rents, Reserves, Saved>;
TYPED_TEST_SUITE(EveryTable, TableKinds);

// Key 25 in 13 slots probes 12 first; key 12 probes 12, then 0. After 25 is
// deleted, 12 is found past the deleted slot, and 38 (12 + 3i) reuses it.
TYPED_TEST(EveryTable, WorkedExampleOfInsertDeleteAndReuse) {
    using T = TypeParam;
    DataFile f = empty_table<typename T::Rec>(13);
    T::insert(f, T::make(25));
    T::insert(f, T::make(12));
    EXPECT_EQ(T::find(f, 25), 12);
    EXPECT_EQ(T::find(f, 12), 0);
    const Bytes both =
        this->table_bytes(13, {{12, bytes_of(T::make(25))}, {0, bytes_of(T::make(12))}});
    EXPECT_EQ(file_bytes(T::file), both);
    T::erase(f, T::make(38)); // an absent key: nothing is written
    EXPECT_EQ(file_bytes(T::file), both);

    T::erase(f, T::make(25));
    EXPECT_EQ(file_bytes(T::file), this->table_bytes(13, {{12, blank_record_bytes(T::file, -1)},
                                                          {0, bytes_of(T::make(12))}}));
    EXPECT_EQ(T::find(f, 25), -1);
    EXPECT_EQ(T::find(f, 12), 0);

    T::insert(f, T::make(38));
    EXPECT_EQ(T::find(f, 38), 12);
    EXPECT_EQ(file_bytes(T::file),
              this->table_bytes(13, {{12, bytes_of(T::make(38))}, {0, bytes_of(T::make(12))}}));
}

// A full table grows to 113 slots holding its records in old slot order and
// then the new one; the copies are left in hashadd.txt.
TYPED_TEST(EveryTable, FullTableGrowsWithEveryRecord) {
    using T = TypeParam;
    DataFile f = empty_table<typename T::Rec>(13);
    EXPECT_EQ(printed([&] {
                  for (int32_t k = 1; k <= 13; ++k)
                      T::insert(f, T::make(k * 7));
              }),
              "")
        << "a table with free slots grew";
    std::vector<Bytes> moved = live_records(T::file, file_bytes(T::file), this->R);
    ASSERT_EQ(moved.size(), 13u);

    EXPECT_EQ(printed([&] { T::insert(f, T::make(200)); }), T::full_message);
    moved.push_back(bytes_of(T::make(200)));
    EXPECT_EQ(file_bytes("hashadd.txt"), concat(moved));
    EXPECT_EQ(file_bytes(T::file), expected_layout(T::file, 113, moved));
    EXPECT_FALSE(std::filesystem::exists(std::string(T::file) + ".new"));

    // The caller's handle now refers to the grown file.
    ASSERT_TRUE(f.is_open());
    EXPECT_EQ(slot_count<typename T::Rec>(f), 113);
    for (int32_t k : {7, 49, 91, 200}) {
        int32_t s = T::find(f, k);
        ASSERT_GE(s, 0) << "key " << k << " lost in the growth";
        EXPECT_EQ(bytes_of(read_slot<typename T::Rec>(f, s)), bytes_of(T::make(k)));
    }
}

// ---- The probe sequence.

TEST(ProbeSequence, Key25In13SlotsVisitsEverySlotInTheWorkedOrder) {
    const std::vector<int32_t> want{12, 1, 3, 5, 7, 9, 11, 0, 2, 4, 6, 8, 10};
    for (int32_t i = 0; i < 13; ++i)
        EXPECT_EQ(probe_slot(25, 13, i), want[i]) << "probe " << i;

    // Thirteen copies of one title fill the table in exactly that order.
    ScratchFolder dir;
    DataFile f = empty_table<MovieRec>(13);
    for (int32_t c = 1; c <= 13; ++c)
        movie_insert(f, movie(25, c));
    for (int32_t c = 1; c <= 13; ++c)
        EXPECT_EQ(movie_find_copy(f, 25, c), want[c - 1]) << "copy " << c;

    // Large tables do not overflow: the largest prime below 2^31.
    const int32_t n = 2147483629, key = n - 1;
    for (int32_t i : {1, 2, 1000, n - 1})
        EXPECT_EQ(probe_slot(key, n, i), (int64_t{key % n} + int64_t{key % (n - 1) + 1} * i) % n)
            << "probe " << i;
}

// ---- Deleted slots and empty slots.

TEST(DeletedSlots, SearchStopsAtTheFirstEmptySlotButPassesDeletedOnes) {
    ScratchFolder dir;
    // Client 25 lies at slot 1, its second probe; its first probe is slot 12.
    std::vector<RentRec> slots(13, blank<RentRec>(0));
    slots[1] = rental(25);
    for (RentRec at12 : {blank<RentRec>(0), blank<RentRec>(-1), rental(12)}) {
        slots[12] = at12;
        DataFile f = table_of(slots);
        EXPECT_EQ(rent_find(f, 25), at12.client == 0 ? -1 : 1) << "slot 12 holds " << at12.client;
    }
}

// Key 0 is an empty slot and -1 a deleted one; no search may take either for
// a record, even where the other fields of a blank record would match.
TEST(KeysBelowOne, AreNeverFound) {
    ScratchFolder dir;
    DataFile movies = empty_table<MovieRec>(13);
    movie_insert(movies, movie(25, 1));
    movie_delete_copy(movies, movie(25, 1)); // slot 12 deleted: id -1, copy 0
    DataFile reserved = empty_table<ReserveRec>(13);
    reserve_insert(reserved, reservation(7, 25));
    reserve_delete(reserved, reservation(7, 25)); // slot 12 deleted: movie -1, client 0
    DataFile clients = empty_table<ClientRec>(13);
    client_insert(clients, client(25));
    client_delete(clients, client(25));
    for (int32_t key : {0, -1, -25}) {
        EXPECT_EQ(movie_find(movies, key), -1) << key;
        EXPECT_EQ(movie_find_copy(movies, key, 0), -1) << key;
        EXPECT_EQ(movie_max_copy(movies, key), -1) << key;
        EXPECT_EQ(reserve_find(reserved, key), -1) << key;
        EXPECT_EQ(reserve_find_client(reserved, key, 0), -1) << key;
        EXPECT_EQ(reserve_earliest_on(reserved, key, {2030, 1, 1}), -1) << key;
        EXPECT_EQ(client_find(clients, key), -1) << key;
    }
}

#ifdef NDEBUG
TEST(KeysBelowOne, AreNeverStoredNotEvenInAFullTable) {
    ScratchFolder dir;
    DataFile f = empty_table<RentRec>(2);
    rent_insert(f, rental(1));
    rent_insert(f, rental(2));
    const Bytes before = file_bytes("rentmovies.txt");
    EXPECT_EQ(printed([&] {
                  for (int32_t key : {0, -1, -25})
                      rent_insert(f, rental(key));
              }),
              "");
    EXPECT_EQ(file_bytes("rentmovies.txt"), before);
    EXPECT_FALSE(std::filesystem::exists("hashadd.txt"));
}
#else
TEST(KeysBelowOneDeathTest, AnInsertStopsADebugBuild) {
    ScratchFolder dir;
    DataFile f = empty_table<RentRec>(13);
    EXPECT_DEATH(rent_insert(f, rental(0)), "keys below 1");
    EXPECT_DEATH(rent_insert(f, rental(-1)), "keys below 1");
}
#endif

// ---- Records sharing a key.

TEST(EqualKeys, AreAnsweredInProbeOrderNotInsertOrder) {
    ScratchFolder dir;
    DataFile f = empty_table<RentRec>(13);
    rent_insert(f, rental(25, 1)); // slot 12
    rent_insert(f, rental(25, 2)); // slot 1
    rent_insert(f, rental(25, 3)); // slot 3
    EXPECT_EQ(rent_find(f, 25), 12);

    rent_delete(f, rental(25, 99)); // only the client counts: removes slot 12
    EXPECT_EQ(rent_find(f, 25), 1);
    EXPECT_EQ(rent_read(f, 1).movie, 2);

    rent_insert(f, rental(25, 4)); // reuses slot 12, ahead of the others
    EXPECT_EQ(rent_find(f, 25), 12);
    EXPECT_EQ(rent_read(f, 12).movie, 4);
}

TEST(EqualKeys, KeepTheirOldSlotOrderThroughGrowthWithTheNewRecordLast) {
    ScratchFolder dir;
    DataFile f = empty_table<MovieRec>(13);
    // Copies 1, 2, 3 of title 25 take slots 12, 1, 3: slot order 2, 3, 1.
    for (int32_t c = 1; c <= 3; ++c)
        movie_insert(f, movie(25, c));
    for (int32_t id = 1; id <= 10; ++id)
        movie_insert(f, movie(id, 1));
    EXPECT_EQ(printed([&] { movie_insert(f, movie(25, 4)); }), "Resizing movie catalog table....");
    ASSERT_EQ(movie_slots(f), 113);

    std::vector<int32_t> copies;
    for (int32_t s : probe_order(25, 113)) {
        MovieRec r = movie_read(f, s);
        if (r.id == 0)
            break;
        if (r.id == 25)
            copies.push_back(r.copy);
    }
    EXPECT_EQ(copies, (std::vector<int32_t>{2, 3, 1, 4}));
    EXPECT_EQ(movie_read(f, movie_find(f, 25)).copy, 2);
}

// ---- Growth.

TEST(Growth, AFullTableOfEachSizeGrowsByTheSizeRule) {
    const std::pair<int32_t, int32_t> cases[] = {{2, 13},   {7, 17},     {13, 113},
                                                 {97, 197}, {113, 1117}, {1117, 11117}};
    for (auto [n, m] : cases) {
        ScratchFolder dir;
        std::vector<RentRec> slots;
        for (int32_t s = 0; s < n; ++s)
            slots.push_back(rental(s + 1, s));
        DataFile f = table_of(slots);
        EXPECT_EQ(printed([&] { rent_insert(f, rental(n + 1, n)); }), "Resizing rent table....");
        EXPECT_EQ(rent_slots(f), m) << "from " << n;
        EXPECT_EQ(file_bytes("rentmovies.txt").size(), static_cast<std::size_t>(m) * 28);
        for (int32_t k = 1; k <= n + 1; ++k) {
            int32_t s = rent_find(f, k);
            ASSERT_GE(s, 0) << "client " << k << " lost growing from " << n;
            EXPECT_EQ(rent_read(f, s).movie, k - 1);
        }
    }
}

// The new size depends on the old slot count alone; deleted slots are dropped.
TEST(Growth, ARebuildDropsDeletedSlotsWhateverIsLive) {
    ScratchFolder dir;
    DataFile f = empty_table<MovieRec>(13);
    movie_insert(f, movie(25, 1));      // slot 12
    movie_insert(f, movie(25, 2));      // slot 1
    movie_insert(f, movie(4, 1));       // slot 4
    movie_delete_copy(f, movie(25, 1)); // slot 12 deleted
    DataFile grown = movie_rebuild(f, movie(8, 1));
    EXPECT_FALSE(f.is_open());
    const std::vector<Bytes> moved{bytes_of(movie(25, 2)), bytes_of(movie(4, 1)),
                                   bytes_of(movie(8, 1))};
    EXPECT_EQ(file_bytes("hashadd.txt"), concat(moved));
    EXPECT_EQ(file_bytes("catalogmov.txt"), expected_layout("catalogmov.txt", 113, moved));
    EXPECT_EQ(movie_slots(grown), 113);
}

TEST(Growth, TheScratchFileHoldsOnlyTheLatestGrowth) {
    ScratchFolder dir;
    EXPECT_EQ(printed([] {
                  DataFile rents = empty_table<RentRec>(2);
                  for (int32_t k = 1; k <= 3; ++k)
                      rent_insert(rents, rental(k));
                  DataFile holds = empty_table<SavedRec>(2);
                  saved_insert(holds, hold(5)); // slot 1
                  saved_insert(holds, hold(6)); // slot 0
                  saved_insert(holds, hold(7));
              }),
              "Resizing rent table....if u got to here u got problem....");
    EXPECT_EQ(file_bytes("hashadd.txt"),
              concat({bytes_of(hold(6)), bytes_of(hold(5)), bytes_of(hold(7))}));
}

TEST(Growth, NextPrimeIsTheSmallestPrimeAtOrAbove) {
    const std::pair<int32_t, int32_t> cases[] = {
        {0, 0}, {1, 1}, {2, 2}, {4, 5}, {12, 13}, {24, 29}, {111, 113}, {1000, 1009}, {1113, 1117}};
    for (auto [v, w] : cases)
        EXPECT_EQ(next_prime(v), w) << "of " << v;

    // Against plain trial division by every number from 2 to w - 1.
    auto naive = [](int32_t v) {
        for (int32_t w = v;; ++w) {
            bool divisible = false;
            for (int32_t d = 2; d < w && !divisible; ++d)
                divisible = w % d == 0;
            if (!divisible)
                return w;
        }
    };
    for (int32_t v = 3; v <= 4000; ++v)
        ASSERT_EQ(next_prime(v), naive(v)) << "of " << v;
}

// A crash at any write point of a growth (the process ends at once, as in a
// power failure) leaves the catalogue either wholly old or wholly grown.
TEST(Growth, ACrashAnywhereLeavesTheWholeOldOrTheWholeNewTable) {
    ScratchFolder dir;
    {
        DataFile f = empty_table<MovieRec>(13);
        for (int32_t id = 1; id <= 13; ++id)
            movie_insert(f, movie(id, 1));
    }
    const Bytes old_table = file_bytes("catalogmov.txt");
    const MovieRec extra = movie(25, 2);
    std::vector<Bytes> moved = live_records("catalogmov.txt", old_table, 44);
    moved.push_back(bytes_of(extra));
    const Bytes new_table = expected_layout("catalogmov.txt", 113, moved);

    int crashes = 0;
    bool finished = false;
    for (long k = 0; k < 50 && !finished; ++k) {
        put_file_bytes("catalogmov.txt", old_table);
        std::fflush(nullptr);
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            inject_crash_after(k);
            DataFile f = open_table<MovieRec>();
            movie_insert(f, extra);
            f.close();
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        const int code = WEXITSTATUS(status);
        ASSERT_TRUE(code == 0 || code == 86) << "exit status " << code << " at write point " << k;

        const Bytes now = file_bytes("catalogmov.txt");
        EXPECT_TRUE(now == new_table || (code == 86 && now == old_table))
            << "after write point " << k << " the file is neither the old table nor the grown one";
        finished = code == 0;
        crashes += code == 86;
    }
    EXPECT_TRUE(finished);
    EXPECT_GE(crashes, 3) << "a growth writes the scratch file, the new table and renames it";
}

// ---- Files too short to be a table.

TEST(ShortFileDeathTest, IsReportedWithItsNameAndEndsTheProgram) {
    ScratchFolder dir;
    put_file_bytes("catalogmov.txt", {});
    put_file_bytes("user.txt", blank_record_bytes("user.txt", 0));
    Bytes one_and_a_half = empty_table_bytes("reservedmov.txt", 1);
    one_and_a_half.resize(36, 0);
    put_file_bytes("reservedmov.txt", one_and_a_half);

    using testing::ExitedWithCode;
    DataFile movies = open_table<MovieRec>();
    EXPECT_EXIT((stdout_to_stderr(), movie_find(movies, 1)), ExitedWithCode(1),
                "catalogmov\\.txt has fewer than 2 slots");
    EXPECT_EXIT((stdout_to_stderr(), movie_insert(movies, movie(1, 1))), ExitedWithCode(1),
                "catalogmov\\.txt");
    DataFile clients = open_table<ClientRec>();
    EXPECT_EXIT((stdout_to_stderr(), client_insert(clients, client(3))), ExitedWithCode(1),
                "user\\.txt has fewer than 2 slots");
    DataFile reserves = open_table<ReserveRec>();
    EXPECT_EXIT((stdout_to_stderr(), reserve_scan_client(reserves, 3)), ExitedWithCode(1),
                "reservedmov\\.txt has fewer than 2 slots");

    // Nothing was written to them on the way out.
    EXPECT_EQ(file_bytes("catalogmov.txt").size(), 0u);
    EXPECT_EQ(file_bytes("user.txt"), blank_record_bytes("user.txt", 0));
    EXPECT_FALSE(std::filesystem::exists("hashadd.txt"));
}

TEST(ShortFile, APartRecordAtTheEndIsNotASlot) {
    ScratchFolder dir;
    Bytes bytes = empty_table_bytes("rentmovies.txt", 2);
    bytes.resize(bytes.size() + 20, 0xAB);
    put_file_bytes("rentmovies.txt", bytes);
    DataFile f = open_table<RentRec>();
    EXPECT_EQ(rent_slots(f), 2);
    rent_insert(f, rental(1));
    rent_insert(f, rental(2));
    EXPECT_EQ(printed([&] { rent_insert(f, rental(3)); }), "Resizing rent table....");
    EXPECT_EQ(rent_slots(f), 13);
    EXPECT_EQ(file_bytes("rentmovies.txt").size(), 13u * 28);
}

// ---- Records on disk.

TEST(BlankRecords, HoldTextXThenZerosAndTheDate19990101) {
    const Bytes rent{0xff, 0xff, 0xff, 0xff, 0xcf, 0x07, 0, 0, 1, 0, 0, 0, 1, 0,
                     0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(blank_record_bytes("rentmovies.txt", -1), rent);
    EXPECT_EQ(bytes_of(blank<RentRec>(-1)), rent);
    Bytes title = blank_record_bytes("catalogmov.txt", 0);
    EXPECT_EQ(title[0], 'x');
    EXPECT_TRUE(std::all_of(title.begin() + 1, title.end(), [](unsigned char c) { return !c; }));
}

TEST(RecordTexts, AreCutAtTheFieldWithoutSplittingACharacterAndZerosAfter) {
    Title t;
    t.fill('#');
    set_text(t, "The Good the Bad and the Ugly");
    EXPECT_EQ(text_of(t), "The Good the Bad an");
    EXPECT_EQ(t[19], '\0');

    Word w;
    w.fill('#');
    set_text(w, "Ana");
    EXPECT_EQ(text_of(w), "Ana");
    EXPECT_TRUE(std::all_of(w.begin() + 3, w.end(), [](char c) { return c == '\0'; }));
    set_text(w, "Jean-Pierr\xc3\xa9"); // the é would need bytes 11 and 12: dropped whole
    EXPECT_EQ(text_of(w), "Jean-Pierr");
    set_text(w, "Mont\xc3\xa9vidEO");
    EXPECT_EQ(text_of(w), "Mont\xc3\xa9vidEO");
    w.fill('a'); // a field without its terminator reads to its end
    EXPECT_EQ(text_of(w).size(), 12u);
}

// ---- The catalogue's copy queries.

TEST(MovieCopies, MaxCopyLooksAtEveryCopyOnTheProbePath) {
    ScratchFolder dir;
    DataFile f = empty_table<MovieRec>(13);
    movie_insert(f, movie(25, 1)); // slot 12
    movie_insert(f, movie(38, 1)); // another title on the same path: slot 1
    movie_insert(f, movie(25, 5)); // slot 3
    movie_insert(f, movie(25, 2)); // slot 5
    EXPECT_EQ(movie_max_copy(f, 25), 5);
    EXPECT_EQ(movie_max_copy(f, 38), 1);
    EXPECT_EQ(movie_max_copy(f, 12), -1);
    EXPECT_EQ(movie_max_copy(f, 26), -1);

    movie_delete_copy(f, movie(25, 1));
    EXPECT_EQ(movie_max_copy(f, 25), 5) << "the walk stopped at a deleted slot";
    movie_delete_copy(f, movie(25, 5));
    EXPECT_EQ(movie_max_copy(f, 25), 2);
}

TEST(MovieCopies, DeletingOneCopyLeavesTheOthersFindable) {
    ScratchFolder dir;
    DataFile f = empty_table<MovieRec>(13);
    for (int32_t c = 1; c <= 3; ++c)
        movie_insert(f, movie(25, c)); // slots 12, 1, 3
    EXPECT_EQ(movie_find_copy(f, 25, 4), -1);
    movie_delete_copy(f, movie(25, 2));
    movie_delete_copy(f, movie(25, 7)); // no such copy: nothing changes
    EXPECT_EQ(movie_find_copy(f, 25, 2), -1);
    EXPECT_EQ(movie_find_copy(f, 25, 1), 12);
    EXPECT_EQ(movie_find_copy(f, 25, 3), 3);
    movie_delete_copy(f, movie(25, 1));
    EXPECT_EQ(movie_find(f, 25), 3);
}

// ---- Reservations of a title (title 25 probes 12, 1, 3, ...).

// The earliest reservation dated today or before, the one met last among
// equal dates; reservations dated after today never count.
TEST(Reservations, TheEarliestIsTheOldestUpToTodayAndTheLastMetOfATie) {
    const Date today{2008, 8, 13};
    struct Case {
        const char* what;
        std::vector<Date> dates; // of the reservations of title 25, in insert order
        int32_t want;
    };
    const Case cases[] = {
        {"none", {}, -1},
        {"the older comes second", {{2008, 8, 12}, {2008, 8, 10}}, 1},
        {"the older comes first", {{2007, 12, 30}, {2008, 1, 2}}, 12},
        {"equal dates", {{2008, 8, 10}, {2008, 8, 10}}, 1},
        {"ten, twelve, ten", {{2008, 8, 10}, {2008, 8, 12}, {2008, 8, 10}}, 3},
        {"one made today", {today}, 12},
        {"one dated tomorrow", {{2008, 8, 14}}, -1},
        {"future dates around an old one", {{2008, 8, 14}, {2009, 1, 1}, {2008, 8, 1}}, 3},
    };
    for (const Case& c : cases) {
        ScratchFolder dir;
        DataFile f = empty_table<ReserveRec>(13);
        for (std::size_t i = 0; i < c.dates.size(); ++i)
            reserve_insert(f, reservation(static_cast<int32_t>(i) + 1, 25, c.dates[i]));
        EXPECT_EQ(reserve_earliest_on(f, 25, today), c.want) << c.what;
    }

    // Today comes from the clock; another title on the path never counts.
    ScratchFolder dir;
    DataFile f = empty_table<ReserveRec>(13);
    const Date now = get_today();
    reserve_insert(f, reservation(1, 38, {2008, 1, 1}));                 // slot 12
    reserve_insert(f, reservation(2, 25, {now.year + 1, now.month, 1})); // slot 1
    EXPECT_EQ(reserve_earliest(f, 25), -1);
    reserve_insert(f, reservation(3, 25, now)); // slot 3
    EXPECT_EQ(reserve_earliest(f, 25), 3);
}

TEST(Reservations, PlainDeleteTakesTheFirstOfTheTitleClientDeleteThatClientsOnly) {
    ScratchFolder dir;
    DataFile f = empty_table<ReserveRec>(13);
    for (int32_t client : {1, 2, 3})
        reserve_insert(f, reservation(client, 25)); // slots 12, 1, 3
    reserve_delete_client(f, reservation(4, 25));   // client 4 has none: nothing changes
    reserve_delete_client(f, reservation(2, 25));
    EXPECT_EQ(reserve_find_client(f, 25, 2), -1);
    EXPECT_EQ(reserve_find_client(f, 25, 1), 12);
    EXPECT_EQ(reserve_find_client(f, 25, 3), 3);

    reserve_delete(f, reservation(3, 25)); // the first of the title, whatever the client
    EXPECT_EQ(reserve_find_client(f, 25, 1), -1);
    EXPECT_EQ(reserve_find(f, 25), 3);
}

// ---- Scans by client go in file order, not probe order; blank records
// carry client 0 or -1, and no scan takes them for a client.

TEST(ClientScans, AnswerTheLowestSlotWhereFindAnswersTheFirstProbe) {
    ScratchFolder dir;
    DataFile reserved = empty_table<ReserveRec>(13);
    reserve_insert(reserved, reservation(7, 25)); // slot 12
    reserve_insert(reserved, reservation(7, 1));  // slot 1
    EXPECT_EQ(reserve_scan_client(reserved, 7), 1);
    reserve_delete_client(reserved, reservation(7, 1));
    EXPECT_EQ(reserve_scan_client(reserved, 7), 12);

    DataFile holds = empty_table<SavedRec>(13);
    saved_insert(holds, hold(25, 40)); // slot 12
    saved_insert(holds, hold(25, 41)); // slot 1
    saved_insert(holds, hold(6));      // slot 6
    saved_delete(holds, hold(6));      // deleted slot: client -1
    EXPECT_EQ(saved_find(holds, 25), 12);
    EXPECT_EQ(saved_scan_client(holds, 25), 1);
    EXPECT_EQ(saved_find(holds, 6), -1);
    for (int32_t nobody : {0, -1, 6, 8}) {
        EXPECT_EQ(reserve_scan_client(reserved, nobody), -1) << nobody;
        EXPECT_EQ(saved_scan_client(holds, nobody), -1) << nobody;
    }
}
