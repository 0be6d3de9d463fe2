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
    Bytes all;
    for (const Rec& r : slots) {
        Bytes one = bytes_of(r);
        all.insert(all.end(), one.begin(), one.end());
    }
    put_file_bytes(TableTraits<Rec>::file, all);
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
    for (Bytes& r : records_in(bytes, size)) {
        int32_t key = le32_at(r, key_offset(file));
        if (key != 0 && key != -1)
            live.push_back(r);
    }
    return live;
}

// Slots of key's probe sequence in n slots, worked out here from the double
// hashing rule: h1 = key mod n, step h2 = key mod (n - 1) + 1.
std::vector<int32_t> probe_order(int32_t key, int32_t n) {
    std::vector<int32_t> order;
    int64_t h1 = key % n;
    int64_t h2 = key % (n - 1) + 1;
    for (int64_t i = 0; i < n; ++i)
        order.push_back(static_cast<int32_t>((h1 + h2 * i) % n));
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
    Bytes all;
    for (const Bytes& s : slots)
        all.insert(all.end(), s.begin(), s.end());
    return all;
}

Bytes concat(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Keys of every slot of the file, in slot order.
std::vector<int32_t> keys_in(std::string_view file, std::size_t size) {
    std::vector<int32_t> keys;
    for (const Bytes& r : records_in(file_bytes(std::string(file)), size))
        keys.push_back(le32_at(r, key_offset(file)));
    return keys;
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
    static Rec make(int32_t key) { return movie(key, 9, "Heat"); }
    static void insert(DataFile& f, Rec r) { movie_insert(f, r); }
    static int32_t find(const DataFile& f, int32_t key) { return movie_find(f, key); }
    static void erase(DataFile& f, Rec r) { movie_delete_copy(f, r); }
    static void format(DataFile& f, int32_t n) { movie_format(f, n); }
    static void dump(const DataFile& f, int32_t n) { movie_dump(f, n); }
    static int32_t slots(const DataFile& f) { return movie_slots(f); }
    static Rec read(const DataFile& f, int32_t s) { return movie_read(f, s); }
};

struct Clients {
    using Rec = ClientRec;
    static constexpr const char* file = "user.txt";
    static constexpr const char* full_message = "Resizing client table....";
    static Rec make(int32_t key) { return client(key); }
    static void insert(DataFile& f, Rec r) { client_insert(f, r); }
    static int32_t find(const DataFile& f, int32_t key) { return client_find(f, key); }
    static void erase(DataFile& f, Rec r) { client_delete(f, r); }
    static void format(DataFile& f, int32_t n) { client_format(f, n); }
    static void dump(const DataFile& f, int32_t n) { client_dump(f, n); }
    static int32_t slots(const DataFile& f) { return client_slots(f); }
    static Rec read(const DataFile& f, int32_t s) { return client_read(f, s); }
};

struct Rents {
    using Rec = RentRec;
    static constexpr const char* file = "rentmovies.txt";
    static constexpr const char* full_message = "Resizing rent table....";
    static Rec make(int32_t key) { return rental(key); }
    static void insert(DataFile& f, Rec r) { rent_insert(f, r); }
    static int32_t find(const DataFile& f, int32_t key) { return rent_find(f, key); }
    static void erase(DataFile& f, Rec r) { rent_delete(f, r); }
    static void format(DataFile& f, int32_t n) { rent_format(f, n); }
    static void dump(const DataFile& f, int32_t n) { rent_dump(f, n); }
    static int32_t slots(const DataFile& f) { return rent_slots(f); }
    static Rec read(const DataFile& f, int32_t s) { return rent_read(f, s); }
};

struct Reserves {
    using Rec = ReserveRec;
    static constexpr const char* file = "reservedmov.txt";
    static constexpr const char* full_message = "Resizing reserved table....";
    static Rec make(int32_t key) { return reservation(9, key); }
    static void insert(DataFile& f, Rec r) { reserve_insert(f, r); }
    static int32_t find(const DataFile& f, int32_t key) { return reserve_find(f, key); }
    static void erase(DataFile& f, Rec r) { reserve_delete_client(f, r); }
    static void format(DataFile& f, int32_t n) { reserve_format(f, n); }
    static void dump(const DataFile& f, int32_t n) { reserve_dump(f, n); }
    static int32_t slots(const DataFile& f) { return reserve_slots(f); }
    static Rec read(const DataFile& f, int32_t s) { return reserve_read(f, s); }
};

struct Saved {
    using Rec = SavedRec;
    static constexpr const char* file = "ressavmov.txt";
    static constexpr const char* full_message = "if u got to here u got problem....";
    static Rec make(int32_t key) { return hold(key); }
    static void insert(DataFile& f, Rec r) { saved_insert(f, r); }
    static int32_t find(const DataFile& f, int32_t key) { return saved_find(f, key); }
    static void erase(DataFile& f, Rec r) { saved_delete(f, r); }
    static void format(DataFile& f, int32_t n) { saved_format(f, n); }
    static void dump(const DataFile& f, int32_t n) { saved_dump(f, n); }
    static int32_t slots(const DataFile& f) { return saved_slots(f); }
    static Rec read(const DataFile& f, int32_t s) { return saved_read(f, s); }
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

TYPED_TEST(EveryTable, FormatWritesBlankRecordsByteForByte) {
    {
        auto f = DataFile::open(TypeParam::file, DataFile::Mode::Create);
        TypeParam::format(*f, 7);
    }
    EXPECT_EQ(file_bytes(TypeParam::file), empty_table_bytes(TypeParam::file, 7));
}

// Key 25 in 13 slots probes 12 first; key 12 probes 12, then 0. After 25 is
// deleted, 12 is found past the deleted slot, and 38 (12 + 3i) reuses it.
TYPED_TEST(EveryTable, WorkedExampleOfInsertDeleteAndReuse) {
    using T = TypeParam;
    DataFile f = empty_table<typename T::Rec>(13);
    T::insert(f, T::make(25));
    T::insert(f, T::make(12));
    EXPECT_EQ(T::find(f, 25), 12);
    EXPECT_EQ(T::find(f, 12), 0);
    EXPECT_EQ(file_bytes(T::file),
              this->table_bytes(13, {{12, bytes_of(T::make(25))}, {0, bytes_of(T::make(12))}}));

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

TYPED_TEST(EveryTable, DeletingAnAbsentKeyWritesNothing) {
    using T = TypeParam;
    DataFile f = empty_table<typename T::Rec>(13);
    T::insert(f, T::make(25));
    Bytes before = file_bytes(T::file);
    T::erase(f, T::make(38));
    EXPECT_EQ(file_bytes(T::file), before);
}

TYPED_TEST(EveryTable, DumpPrintsEveryKeyOnOneLine) {
    using T = TypeParam;
    DataFile f = empty_table<typename T::Rec>(7);
    T::insert(f, T::make(3));  // slot 3
    T::insert(f, T::make(10)); // 10 mod 7 = 3 is taken; step 10 mod 6 + 1 = 5 gives slot 1
    T::erase(f, T::make(10));
    testing::internal::CaptureStdout();
    T::dump(f, 7);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " 0  -1  0  3  0  0  0 ");
}

// A full table grows to 113 slots holding its records in old slot order and
// then the new one; the copies are left in hashadd.txt.
TYPED_TEST(EveryTable, FullTableGrowsWithEveryRecord) {
    using T = TypeParam;
    using Rec = typename T::Rec;
    DataFile f = empty_table<Rec>(13);
    testing::internal::CaptureStdout();
    for (int32_t k = 1; k <= 13; ++k)
        T::insert(f, T::make(k * 7));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "a table with free slots grew";
    const Bytes old_file = file_bytes(T::file);
    const std::vector<Bytes> copied = live_records(T::file, old_file, this->R);
    ASSERT_EQ(copied.size(), 13u);

    testing::internal::CaptureStdout();
    T::insert(f, T::make(200));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), T::full_message);

    std::vector<Bytes> moved = copied;
    moved.push_back(bytes_of(T::make(200)));
    EXPECT_EQ(file_bytes("hashadd.txt"), concat(moved));
    EXPECT_EQ(file_bytes(T::file), expected_layout(T::file, 113, moved));
    EXPECT_FALSE(std::filesystem::exists(std::string(T::file) + ".new"));

    // The caller's handle now refers to the grown file.
    ASSERT_TRUE(f.is_open());
    EXPECT_EQ(T::slots(f), 113);
    for (int32_t k = 1; k <= 13; ++k) {
        int32_t s = T::find(f, k * 7);
        ASSERT_GE(s, 0) << "key " << k * 7 << " lost in the growth";
        EXPECT_EQ(bytes_of(T::read(f, s)), bytes_of(T::make(k * 7)));
    }
    EXPECT_EQ(bytes_of(T::read(f, T::find(f, 200))), bytes_of(T::make(200)));
    for (int32_t key : keys_in(T::file, this->R))
        EXPECT_NE(key, -1) << "a deleted slot survived the growth";
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
}

TEST(ProbeSequence, LargeTablesDoNotOverflow) {
    const int32_t n = 2147483629; // the largest prime below 2^31
    const int32_t key = n - 1;
    for (int32_t i : {1, 2, 1000, n - 1}) {
        int64_t want = (int64_t{key % n} + int64_t{key % (n - 1) + 1} * i) % n;
        EXPECT_EQ(probe_slot(key, n, i), want) << "probe " << i;
    }
}

// ---- Deleted slots and empty slots.

TEST(DeletedSlots, SearchStopsAtTheFirstEmptySlotButPassesDeletedOnes) {
    ScratchFolder dir;
    // Client 25 lies at slot 1, its second probe; its first probe is slot 12.
    std::vector<RentRec> slots(13, blank<RentRec>(0));
    slots[1] = rental(25);
    {
        DataFile f = table_of(slots);
        EXPECT_EQ(rent_find(f, 25), -1) << "the search went past an empty slot";
    }
    slots[12] = blank<RentRec>(-1);
    {
        DataFile f = table_of(slots);
        EXPECT_EQ(rent_find(f, 25), 1);
    }
    slots[12] = rental(12);
    {
        DataFile f = table_of(slots);
        EXPECT_EQ(rent_find(f, 25), 1);
    }
}

TEST(DeletedSlots, AreReusedUntilEveryDeletedSlotIsLiveAgainThenTheTableGrows) {
    ScratchFolder dir;
    DataFile f = empty_table<RentRec>(13);
    for (int32_t k = 1; k <= 13; ++k)
        rent_insert(f, rental(k));
    rent_delete(f, rental(4));
    rent_delete(f, rental(9));

    testing::internal::CaptureStdout();
    rent_insert(f, rental(30));
    rent_insert(f, rental(31));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(file_bytes("rentmovies.txt").size(), 13u * 28);
    EXPECT_EQ(rent_find(f, 4), -1);
    EXPECT_EQ(rent_find(f, 9), -1);
    EXPECT_GE(rent_find(f, 30), 0);
    EXPECT_GE(rent_find(f, 31), 0);

    testing::internal::CaptureStdout();
    rent_insert(f, rental(32));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Resizing rent table....");
    EXPECT_EQ(rent_slots(f), 113);
}

// Key 0 is an empty slot and -1 a deleted one; no search may take either for
// a record, even where the other fields of a blank record would match.
TEST(KeysBelowOne, AreNeverFound) {
    ScratchFolder dir;
    {
        DataFile f = empty_table<MovieRec>(13);
        movie_insert(f, movie(25, 1));
        movie_delete_copy(f, movie(25, 1)); // slot 12 deleted: id -1, copy 0
        for (int32_t key : {0, -1, -25}) {
            EXPECT_EQ(movie_find(f, key), -1) << key;
            EXPECT_EQ(movie_find_copy(f, key, 0), -1) << key;
            EXPECT_EQ(movie_max_copy(f, key), -1) << key;
        }
    }
    {
        DataFile f = empty_table<ReserveRec>(13);
        reserve_insert(f, reservation(7, 25));
        reserve_delete(f, reservation(7, 25)); // slot 12 deleted: movie -1, client 0
        for (int32_t key : {0, -1, -25}) {
            EXPECT_EQ(reserve_find(f, key), -1) << key;
            EXPECT_EQ(reserve_find_client(f, key, 0), -1) << key;
            EXPECT_EQ(reserve_earliest_on(f, key, {2030, 1, 1}), -1) << key;
        }
    }
    {
        DataFile f = empty_table<ClientRec>(13);
        client_insert(f, client(25));
        client_delete(f, client(25));
        EXPECT_EQ(client_find(f, -1), -1);
        EXPECT_EQ(client_find(f, 0), -1);
    }
}

#ifdef NDEBUG
TEST(KeysBelowOne, AreNeverStoredNotEvenInAFullTable) {
    ScratchFolder dir;
    DataFile f = empty_table<RentRec>(2);
    rent_insert(f, rental(1));
    rent_insert(f, rental(2));
    const Bytes before = file_bytes("rentmovies.txt");
    testing::internal::CaptureStdout();
    for (int32_t key : {0, -1, -25})
        rent_insert(f, rental(key));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
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
    testing::internal::CaptureStdout();
    movie_insert(f, movie(25, 4));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Resizing movie catalog table....");
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

TEST(Growth, SlotCountsFollowTheSizeRule) {
    const std::pair<int32_t, int32_t> cases[] = {{2, 13},   {7, 17},     {13, 113},
                                                 {97, 197}, {113, 1117}, {1117, 11117}};
    for (auto [n, m] : cases)
        EXPECT_EQ(grown_slot_count(n), m) << "from " << n;
}

TEST(Growth, AFullTableOfEachSizeGrowsByTheSizeRule) {
    const std::pair<int32_t, int32_t> cases[] = {{2, 13},   {7, 17},     {13, 113},
                                                 {97, 197}, {113, 1117}, {1117, 11117}};
    for (auto [n, m] : cases) {
        ScratchFolder dir;
        std::vector<RentRec> slots;
        for (int32_t s = 0; s < n; ++s)
            slots.push_back(rental(s + 1, s));
        DataFile f = table_of(slots);
        testing::internal::CaptureStdout();
        rent_insert(f, rental(n + 1, n));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Resizing rent table....");
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
    EXPECT_EQ(file_bytes("hashadd.txt"),
              concat({bytes_of(movie(25, 2)), bytes_of(movie(4, 1)), bytes_of(movie(8, 1))}));
    EXPECT_EQ(movie_slots(grown), 113);
    std::vector<int32_t> keys = keys_in("catalogmov.txt", 44);
    EXPECT_EQ(std::count(keys.begin(), keys.end(), -1), 0);
    EXPECT_EQ(std::count_if(keys.begin(), keys.end(), [](int32_t k) { return k > 0; }), 3);
    EXPECT_GE(movie_find_copy(grown, 25, 2), 0);
    EXPECT_GE(movie_find_copy(grown, 4, 1), 0);
    EXPECT_GE(movie_find_copy(grown, 8, 1), 0);
    EXPECT_EQ(movie_find_copy(grown, 25, 1), -1);
}

TEST(Growth, TheScratchFileHoldsOnlyTheLatestGrowth) {
    ScratchFolder dir;
    testing::internal::CaptureStdout();
    {
        DataFile f = empty_table<RentRec>(2);
        for (int32_t k = 1; k <= 3; ++k)
            rent_insert(f, rental(k));
    }
    {
        DataFile f = empty_table<SavedRec>(2);
        saved_insert(f, hold(5)); // slot 1
        saved_insert(f, hold(6)); // slot 0
        saved_insert(f, hold(7));
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
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
        const bool grown = now == new_table;
        EXPECT_TRUE(grown || now == old_table) << "a mixed file after a crash at write point " << k;
        if (code == 0) {
            EXPECT_TRUE(grown) << "the growth finished but the file is not the grown table";
        }

        DataFile f = open_table<MovieRec>();
        for (int32_t id = 1; id <= 13; ++id)
            EXPECT_GE(movie_find_copy(f, id, 1), 0) << "id " << id << " after write point " << k;
        if (grown) {
            EXPECT_GE(movie_find_copy(f, 25, 2), 0);
        }
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
    put_file_bytes("rentmovies.txt", blank_record_bytes("rentmovies.txt", 0));
    Bytes one_and_a_half = empty_table_bytes("reservedmov.txt", 1);
    one_and_a_half.resize(36, 0);
    put_file_bytes("reservedmov.txt", one_and_a_half);
    put_file_bytes("ressavmov.txt", {});

    using testing::ExitedWithCode;
    DataFile movies = open_table<MovieRec>();
    EXPECT_EXIT((stdout_to_stderr(), movie_find(movies, 1)), ExitedWithCode(1),
                "catalogmov\\.txt has fewer than 2 slots");
    EXPECT_EXIT((stdout_to_stderr(), movie_insert(movies, movie(1, 1))), ExitedWithCode(1),
                "catalogmov\\.txt");
    DataFile clients = open_table<ClientRec>();
    EXPECT_EXIT((stdout_to_stderr(), client_insert(clients, client(3))), ExitedWithCode(1),
                "user\\.txt has fewer than 2 slots");
    DataFile rents = open_table<RentRec>();
    EXPECT_EXIT((stdout_to_stderr(), rent_delete(rents, rental(3))), ExitedWithCode(1),
                "rentmovies\\.txt has fewer than 2 slots");
    DataFile reserves = open_table<ReserveRec>();
    EXPECT_EXIT((stdout_to_stderr(), reserve_scan_client(reserves, 3)), ExitedWithCode(1),
                "reservedmov\\.txt has fewer than 2 slots");
    DataFile saved = open_table<SavedRec>();
    EXPECT_EXIT((stdout_to_stderr(), saved_scan_client(saved, 3)), ExitedWithCode(1),
                "ressavmov\\.txt has fewer than 2 slots");

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
    testing::internal::CaptureStdout();
    rent_insert(f, rental(3));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Resizing rent table....");
    EXPECT_EQ(rent_slots(f), 13);
    EXPECT_EQ(file_bytes("rentmovies.txt").size(), 13u * 28);
}

// ---- The blank record on disk.

TEST(BlankRecords, HoldTextXThenZerosAndTheDate19990101) {
    const Bytes rent{0xff, 0xff, 0xff, 0xff, 0xcf, 0x07, 0, 0, 1, 0, 0, 0, 1, 0,
                     0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(blank_record_bytes("rentmovies.txt", -1), rent);
    EXPECT_EQ(bytes_of(blank<RentRec>(-1)), rent);

    Bytes title = blank_record_bytes("catalogmov.txt", 0);
    EXPECT_EQ(title[0], 'x');
    EXPECT_TRUE(
        std::all_of(title.begin() + 1, title.end(), [](unsigned char c) { return c == 0; }));
}

// ---- Texts and dates inside records.

TEST(RecordTexts, AreCutToFitWithTheTerminatorAndZerosAfter) {
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

    // A two-byte character that would straddle the limit is dropped whole.
    set_text(w, "Montevideo\xc3\xa9");
    EXPECT_EQ(text_of(w), "Montevideo");
    set_text(w, "Mont\xc3\xa9vidEO");
    EXPECT_EQ(text_of(w), "Mont\xc3\xa9vidEO");
}

TEST(RecordTexts, AFieldWithoutTerminatorReadsToItsEnd) {
    Word w;
    w.fill('a');
    EXPECT_EQ(text_of(w).size(), 12u);
}

TEST(RecordDates, CompareYearThenMonthThenDay) {
    EXPECT_TRUE(date_before({2008, 12, 31}, {2009, 1, 1}));
    EXPECT_TRUE(date_before({2009, 1, 31}, {2009, 2, 1}));
    EXPECT_TRUE(date_before({2009, 2, 1}, {2009, 2, 2}));
    EXPECT_FALSE(date_before({2009, 2, 2}, {2009, 2, 2}));
    EXPECT_FALSE(date_before({2009, 3, 1}, {2009, 2, 28}));
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
        movie_insert(f, movie(25, c));
    EXPECT_EQ(movie_find_copy(f, 25, 4), -1);
    EXPECT_EQ(movie_find_copy(f, 26, 1), -1);

    movie_delete_copy(f, movie(25, 2));
    EXPECT_EQ(movie_find_copy(f, 25, 2), -1);
    EXPECT_EQ(movie_find_copy(f, 25, 1), 12);
    EXPECT_EQ(movie_find_copy(f, 25, 3), 3);
    EXPECT_EQ(movie_find(f, 25), 12);

    movie_delete_copy(f, movie(25, 1));
    EXPECT_EQ(movie_find(f, 25), 3);
    movie_delete_copy(f, movie(25, 7)); // no such copy: nothing changes
    EXPECT_EQ(movie_find_copy(f, 25, 3), 3);
}

// ---- The earliest reservation of a title (title 25 probes 12, 1, 3, ...).

class EarliestReservation : public testing::Test {
  protected:
    ScratchFolder dir;
    DataFile f = empty_table<ReserveRec>(13);
    const Date today{2008, 8, 13};

    void reserve(int32_t client, Date on) { reserve_insert(f, reservation(client, 25, on)); }
    int32_t earliest() { return reserve_earliest_on(f, 25, today); }
};

TEST_F(EarliestReservation, TheOlderWinsWhicheverComesFirst) {
    reserve(1, {2008, 8, 12}); // slot 12
    reserve(2, {2008, 8, 10}); // slot 1
    EXPECT_EQ(earliest(), 1);
}

TEST_F(EarliestReservation, TheOlderWinsWhenItComesFirstToo) {
    reserve(1, {2007, 12, 30}); // slot 12
    reserve(2, {2008, 1, 2});   // slot 1
    EXPECT_EQ(earliest(), 12);
}

TEST_F(EarliestReservation, OfEqualDatesTheOneMetLastWins) {
    reserve(1, {2008, 8, 10}); // slot 12
    reserve(2, {2008, 8, 10}); // slot 1
    EXPECT_EQ(earliest(), 1);
}

TEST_F(EarliestReservation, WorkedExampleTenTwelveTen) {
    reserve(1, {2008, 8, 10}); // slot 12
    reserve(2, {2008, 8, 12}); // slot 1
    reserve(3, {2008, 8, 10}); // slot 3
    EXPECT_EQ(earliest(), 3);
}

TEST_F(EarliestReservation, OneMadeTodayCounts) {
    reserve(1, today);
    EXPECT_EQ(earliest(), 12);
}

TEST_F(EarliestReservation, FutureDatesNeverCount) {
    reserve(1, {2008, 8, 14});
    EXPECT_EQ(earliest(), -1);
    EXPECT_EQ(reserve_find(f, 25), 12);
    reserve(2, {2009, 1, 1});
    reserve(3, {2008, 8, 1}); // slot 3
    EXPECT_EQ(earliest(), 3);
}

TEST_F(EarliestReservation, OtherTitlesOnThePathDoNotCount) {
    EXPECT_EQ(earliest(), -1);
    reserve_insert(f, reservation(1, 38, {2008, 1, 1})); // slot 12, on 25's path
    EXPECT_EQ(earliest(), -1);
    reserve(2, {2008, 8, 11}); // slot 1
    EXPECT_EQ(earliest(), 1);
}

TEST_F(EarliestReservation, TodayComesFromTheClock) {
    Date now = get_today();
    reserve(1, {now.year + 1, now.month, now.day}); // slot 12
    EXPECT_EQ(reserve_earliest(f, 25), -1);
    reserve(2, now); // slot 1
    EXPECT_EQ(reserve_earliest(f, 25), 1);
}

// ---- Deleting reservations: the first of the title, or one client's.

TEST(ReservationDelete, PlainDeleteTakesTheFirstOfTheTitleWhateverTheClient) {
    ScratchFolder dir;
    DataFile f = empty_table<ReserveRec>(13);
    reserve_insert(f, reservation(1, 25)); // A, slot 12
    reserve_insert(f, reservation(2, 25)); // B, slot 1
    reserve_delete(f, reservation(2, 25));
    EXPECT_EQ(reserve_find_client(f, 25, 1), -1);
    EXPECT_EQ(reserve_find_client(f, 25, 2), 1);
    EXPECT_EQ(reserve_find(f, 25), 1);
    reserve_delete(f, reservation(2, 25));
    EXPECT_EQ(reserve_find(f, 25), -1);
}

TEST(ReservationDelete, ClientDeleteTakesThatClientsOnly) {
    ScratchFolder dir;
    DataFile f = empty_table<ReserveRec>(13);
    reserve_insert(f, reservation(1, 25)); // A, slot 12
    reserve_insert(f, reservation(2, 25)); // B, slot 1
    EXPECT_EQ(reserve_find_client(f, 25, 3), -1);
    reserve_delete_client(f, reservation(3, 25)); // C has none: nothing changes
    EXPECT_EQ(reserve_find_client(f, 25, 2), 1);

    reserve_delete_client(f, reservation(2, 25));
    EXPECT_EQ(reserve_find_client(f, 25, 2), -1);
    EXPECT_EQ(reserve_find_client(f, 25, 1), 12);
    EXPECT_EQ(reserve_find(f, 25), 12);
}

// ---- Scans by client go in file order, not probe order.

TEST(ClientScans, ReservationScanAnswersTheLowestSlot) {
    ScratchFolder dir;
    DataFile f = empty_table<ReserveRec>(13);
    reserve_insert(f, reservation(7, 25)); // slot 12
    reserve_insert(f, reservation(7, 1));  // slot 1
    EXPECT_EQ(reserve_scan_client(f, 7), 1);
    EXPECT_EQ(reserve_scan_client(f, 8), -1);
    // Blank records carry client 0: no scan may take them for a client.
    EXPECT_EQ(reserve_scan_client(f, 0), -1);
    EXPECT_EQ(reserve_scan_client(f, -1), -1);

    reserve_delete_client(f, reservation(7, 1));
    EXPECT_EQ(reserve_scan_client(f, 7), 12);
}

TEST(ClientScans, SavedScanAnswersTheLowestSlotWhereFindAnswersTheFirstProbe) {
    ScratchFolder dir;
    DataFile f = empty_table<SavedRec>(13);
    saved_insert(f, hold(25, 40)); // slot 12
    saved_insert(f, hold(25, 41)); // slot 1
    saved_insert(f, hold(6));      // slot 6
    saved_delete(f, hold(6));      // deleted slot: client -1
    EXPECT_EQ(saved_find(f, 25), 12);
    EXPECT_EQ(saved_scan_client(f, 25), 1);
    EXPECT_EQ(saved_scan_client(f, 0), -1);
    EXPECT_EQ(saved_scan_client(f, -1), -1);
    EXPECT_EQ(saved_find(f, 6), -1);
    EXPECT_EQ(saved_scan_client(f, 6), -1);
}
