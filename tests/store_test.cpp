// The hashed record files: each table on the exact bytes of its file, growth,
// a crash in the middle of a growth, short files, the reservation table
// against a model written here, and the tables' own queries.
#include "shell/datafiles.h"
#include "store/clients.h"
#include "store/hashfile.h"
#include "store/movies.h"
#include "store/rents.h"
#include "store/reserves.h"
#include "store/saved.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A fresh folder, the working folder while the object lives.
struct Scratch {
    std::filesystem::path old = std::filesystem::current_path();
    std::string dir = std::filesystem::temp_directory_path() / "rentdesk-test-XXXXXX";
    Scratch() {
        if (!mkdtemp(dir.data()))
            throw std::runtime_error("mkdtemp failed");
        std::filesystem::current_path(dir);
    }
    ~Scratch() {
        std::filesystem::current_path(old);
        std::filesystem::remove_all(dir);
    }
};

std::string file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void put_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

template <class Rec>
std::string bytes_of(const std::vector<Rec>& recs) {
    return {reinterpret_cast<const char*>(recs.data()), recs.size() * sizeof(Rec)};
}

template <class Rec>
std::vector<Rec> records(const std::string& bytes) {
    std::vector<Rec> recs(bytes.size() / sizeof(Rec));
    std::memcpy(recs.data(), bytes.data(), recs.size() * sizeof(Rec));
    return recs;
}

// A record whose every byte but the key's tells it apart from another key's.
template <class Rec>
Rec rec(int32_t key) {
    Rec r;
    std::memset(&r, 0x40 + key % 64, sizeof r);
    TableTraits<Rec>::set_key(r, key);
    return r;
}

template <class Rec>
Rec blank(int32_t key) {
    Rec r = TableTraits<Rec>::blank();
    TableTraits<Rec>::set_key(r, key);
    return r;
}

template <class Rec>
DataFile empty_table(int32_t n) {
    auto created = DataFile::open(TableTraits<Rec>::file, DataFile::Mode::Create);
    hash_format<Rec>(*created, n);
    return open_table<Rec>();
}

template <class Fn>
std::string printed(Fn fn) {
    testing::internal::CaptureStdout();
    fn();
    return testing::internal::GetCapturedStdout();
}

// Slot of probe i of key in n slots: h1 = key mod n, step key mod (n-1) + 1.
int64_t probe(int64_t key, int64_t n, int64_t i) {
    return (key % n + (key % (n - 1) + 1) * i) % n;
}

// The table rules worked out afresh on an image of the file.
template <class Rec>
struct Model {
    std::vector<Rec> slots;
    std::vector<Rec> moved; // what the last growth copied, the new record last
    explicit Model(int32_t n) : slots(n, blank<Rec>(0)) {}

    static int32_t key(const Rec& r) { return TableTraits<Rec>::key(r); }
    // Slots holding key k on its probe path, up to the first empty slot.
    std::vector<int32_t> path(int32_t k) const {
        std::vector<int32_t> out;
        for (int64_t n = slots.size(), i = 0; k >= 1 && i < n; ++i) {
            const int32_t s = probe(k, n, i);
            if (key(slots[s]) == 0)
                break;
            if (key(slots[s]) == k)
                out.push_back(s);
        }
        return out;
    }
    template <class Match>
    int32_t find(int32_t k, Match match) const {
        for (int32_t s : path(k))
            if (match(slots[s]))
                return s;
        return -1;
    }
    int32_t find(int32_t k) const {
        return find(k, [](const Rec&) { return true; });
    }
    bool place(const Rec& r) {
        for (int64_t n = slots.size(), i = 0; i < n; ++i)
            if (Rec& at = slots[probe(key(r), n, i)]; key(at) < 1) {
                at = r;
                return true;
            }
        return false;
    }
    // Answers whether the table had to grow.
    bool insert(const Rec& r) {
        if (place(r))
            return false;
        moved.clear();
        for (const Rec& old : slots)
            if (key(old) >= 1)
                moved.push_back(old);
        moved.push_back(r);
        slots.assign(grown_slot_count(slots.size()), blank<Rec>(0));
        for (const Rec& m : moved)
            place(m);
        return true;
    }
    void erase(int32_t slot) {
        if (slot >= 0)
            slots[slot] = blank<Rec>(-1);
    }
};

// Key 25 in 13 slots goes to slot 12, key 12 then to slot 0; after 25 is
// deleted, 12 is found past the deleted slot and 38 reuses slot 12. Then the
// table fills and grows.
template <class Rec>
void every_table(void (*insert)(DataFile&, Rec), void (*erase)(DataFile&, Rec),
                 int32_t (*find)(const DataFile&, int32_t)) {
    SCOPED_TRACE(TableTraits<Rec>::file);
    Scratch dir;
    DataFile f = empty_table<Rec>(13);
    Model<Rec> model(13);
    auto check_file = [&] { EXPECT_EQ(file(TableTraits<Rec>::file), bytes_of(model.slots)); };
    insert(f, rec<Rec>(25));
    insert(f, rec<Rec>(12));
    EXPECT_EQ(find(f, 25), 12);
    EXPECT_EQ(find(f, 12), 0);
    erase(f, rec<Rec>(25));
    model.slots[12] = blank<Rec>(-1);
    model.slots[0] = rec<Rec>(12);
    check_file();
    EXPECT_EQ(find(f, 25), -1);
    EXPECT_EQ(find(f, 12), 0);
    insert(f, rec<Rec>(38));
    EXPECT_EQ(find(f, 38), 12);
    model.slots[12] = rec<Rec>(38);
    check_file();

    for (int32_t k = 1; k <= 12; ++k) { // eleven fill the table, the twelfth grows it
        const bool grows = model.insert(rec<Rec>(k * 7));
        EXPECT_EQ(printed([&] { insert(f, rec<Rec>(k * 7)); }),
                  grows ? TableTraits<Rec>::full_message : "");
    }
    EXPECT_EQ(slot_count<Rec>(f), 113);
    check_file();
    EXPECT_EQ(file("hashadd.txt"), bytes_of(model.moved));
}

} // namespace

TEST(EveryTable, WorkedExampleAndGrowthOnTheFileBytes) {
    every_table(movie_insert, movie_delete_copy, movie_find);
    every_table(client_insert, client_delete, client_find);
    every_table(rent_insert, rent_delete, rent_find);
    every_table(reserve_insert, reserve_delete_client, reserve_find);
    every_table(saved_insert, saved_delete, saved_find);
}

// Full tables of each size grow by the size rule; equal keys keep their old
// slot order, the new record last, and hashadd.txt holds the moved records.
TEST(Growth, FullTablesGrowByTheSizeRule) {
    const std::pair<int32_t, int32_t> cases[] = {{2, 13},   {7, 17},     {13, 113},
                                                 {97, 197}, {113, 1117}, {1117, 11117}};
    for (auto [n, m] : cases) {
        Scratch dir;
        Model<RentRec> model(0);
        for (int32_t s = 0; s < n; ++s)
            model.slots.push_back(RentRec{1 + s % 5, {2008, 8, 10}, s, 1, 3});
        put_file("rentmovies.txt", bytes_of(model.slots));
        DataFile f = open_table<RentRec>();
        const RentRec extra{1, {2008, 8, 10}, n, 1, 3};
        EXPECT_EQ(printed([&] { rent_insert(f, extra); }), "Resizing rent table....");
        ASSERT_TRUE(model.insert(extra));
        EXPECT_EQ(rent_slots(f), m) << "from " << n;
        EXPECT_EQ(file("rentmovies.txt"), bytes_of(model.slots)) << "from " << n;
        EXPECT_EQ(file("hashadd.txt"), bytes_of(model.moved)) << "from " << n;
    }
}

// A crash at any write point of a growth leaves the whole old table or the
// whole new one.
TEST(Growth, ACrashAnywhereLeavesTheOldOrTheNewTable) {
    Scratch dir;
    Model<MovieRec> model(13);
    for (int32_t id = 1; id <= 13; ++id)
        model.insert(rec<MovieRec>(id));
    const std::string old_table = bytes_of(model.slots);
    ASSERT_TRUE(model.insert(rec<MovieRec>(25)));
    long k = 0;
    for (bool finished = false; !finished; ++k) {
        put_file("catalogmov.txt", old_table);
        std::fflush(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            inject_crash_after(k);
            DataFile f = open_table<MovieRec>();
            movie_insert(f, rec<MovieRec>(25));
            f.close();
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        finished = WEXITSTATUS(status) == 0;
        ASSERT_TRUE(finished || WEXITSTATUS(status) == 86) << "at write point " << k;
        const std::string now = file("catalogmov.txt");
        EXPECT_TRUE(now == bytes_of(model.slots) || (!finished && now == old_table))
            << "at write point " << k;
        ASSERT_LT(k, 50);
    }
    EXPECT_GT(k, 3) << "a growth writes the scratch file, the new table and renames it";
}

TEST(ShortFileDeathTest, AFileUnderTwoSlotsIsReportedByName) {
    Scratch dir;
    put_file("reservedmov.txt", std::string(36, '\0')); // one slot and a half
    DataFile f = open_table<ReserveRec>();
    EXPECT_EXIT((dup2(2, 1), reserve_find(f, 1)), testing::ExitedWithCode(1),
                "reservedmov\\.txt has fewer than 2 slots");
}

TEST(ShortFile, APartRecordAtTheEndIsNotASlot) {
    Scratch dir;
    put_file("rentmovies.txt", bytes_of(std::vector(2, blank<RentRec>(0))) + std::string(20, 'x'));
    DataFile f = open_table<RentRec>();
    EXPECT_EQ(rent_slots(f), 2);
    EXPECT_EQ(printed([&] {
                  for (int32_t k = 1; k <= 3; ++k)
                      rent_insert(f, rec<RentRec>(k));
              }),
              "Resizing rent table....");
    EXPECT_EQ(file("rentmovies.txt").size(), 13u * sizeof(RentRec));
}

// A seeded random run on a tiny reservation table, which grows, against the
// model: every answer and, after every step, the file's bytes.
TEST(ReservationModel, AnswersAndBytesMatchTheModel) {
    for (uint32_t seed = 1; seed <= 24; ++seed) {
        SCOPED_TRACE(seed);
        Scratch dir;
        std::mt19937 rng(seed);
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution(lo, hi)(rng); };
        const int32_t n = pick(2, 13);
        DataFile f = empty_table<ReserveRec>(n);
        Model<ReserveRec> model(n);
        for (int step = 0; step < 150; ++step) {
            const int32_t movie = pick(-1, 20), client = pick(-1, 8);
            const ReserveRec r{pick(1, 8), pick(1, 20), pick(0, 1), {2008, 8, pick(1, 20)}};
            auto of_client = [&](const ReserveRec& x) { return x.client == client; };
            switch (pick(0, 6)) {
            case 0:
            case 1: {
                const bool grows = model.insert(r);
                EXPECT_EQ(printed([&] { reserve_insert(f, r); }),
                          grows ? "Resizing reserved table...." : "");
                if (grows) {
                    EXPECT_EQ(file("hashadd.txt"), bytes_of(model.moved));
                }
                break;
            }
            case 2:
                reserve_delete(f, ReserveRec{client, movie, 0, {}});
                model.erase(model.find(movie));
                break;
            case 3:
                reserve_delete_client(f, ReserveRec{client, movie, 0, {}});
                model.erase(model.find(movie, of_client));
                break;
            case 4:
                EXPECT_EQ(reserve_find(f, movie), model.find(movie));
                EXPECT_EQ(reserve_find_client(f, movie, client), model.find(movie, of_client));
                break;
            case 5: { // the oldest up to today, of equal dates the last met
                const Date today{2008, 8, pick(5, 15)};
                int32_t want = -1;
                for (int32_t s : model.path(movie))
                    if (const Date d = model.slots[s].resdate;
                        !date_before(today, d) &&
                        (want < 0 || !date_before(model.slots[want].resdate, d)))
                        want = s;
                EXPECT_EQ(reserve_earliest_on(f, movie, today), want);
                break;
            }
            case 6: {
                int32_t want = -1;
                for (int32_t s = model.slots.size() - 1; s >= 0; --s)
                    if (model.slots[s].movie >= 1 && model.slots[s].client == client)
                        want = s;
                EXPECT_EQ(reserve_scan_client(f, client), want);
            }
            }
            ASSERT_EQ(file("reservedmov.txt"), bytes_of(model.slots)) << "step " << step;
        }
    }
}

TEST(ProbeSequence, LargeTablesDoNotOverflow) {
    const int32_t n = 2147483629, key = n - 1; // the largest prime below 2^31
    for (int32_t i : {1, 2, 1000, n - 1})
        EXPECT_EQ(probe_slot(key, n, i), probe(key, n, i)) << "probe " << i;
}

TEST(Growth, NextPrimeIsTheSmallestPrimeAtOrAbove) {
    EXPECT_EQ(next_prime(2), 2);
    for (int32_t v = 3; v <= 4000; ++v) {
        int32_t w = v;
        for (int32_t d = 2; d < w; ++d)
            if (w % d == 0)
                ++w, d = 1;
        ASSERT_EQ(next_prime(v), w) << "of " << v;
    }
}

// Copies of another title on the same path do not count; deleted slots are passed.
TEST(MovieCopies, MaxCopyLooksAtEveryCopyOnTheProbePath) {
    Scratch dir;
    DataFile f = empty_table<MovieRec>(13);
    for (auto [id, copy] : {std::pair{25, 1}, {38, 9}, {25, 5}, {25, 2}}) // slots 12, 1, 3, 5
        movie_insert(f, MovieRec{{}, id, copy, 7, 3, 0, 0});
    EXPECT_EQ(movie_max_copy(f, 25), 5);
    EXPECT_EQ(movie_max_copy(f, 12), -1);
    movie_delete_copy(f, MovieRec{{}, 25, 1, 7, 3, 0, 0});
    EXPECT_EQ(movie_max_copy(f, 25), 5);
    movie_delete_copy(f, MovieRec{{}, 25, 5, 7, 3, 0, 0});
    EXPECT_EQ(movie_max_copy(f, 25), 2);
}

TEST(RecordTexts, AreCutAtTheFieldWithoutSplittingACharacter) {
    const std::pair<std::string, std::string> cases[] = {
        {"Ana", "Ana"},
        {"Maximilianus", "Maximilianu"},
        {"Jean-Pierr\xc3\xa9", "Jean-Pierr"}, // the é would need bytes 11 and 12
        {"Mont\xc3\xa9vidEO", "Mont\xc3\xa9vidEO"},
    };
    for (const auto& [text, kept] : cases) {
        Word w, want{};
        w.fill('#');
        set_text(w, text);
        kept.copy(want.data(), kept.size());
        EXPECT_EQ(w, want) << text;
    }
}

// The earliest reservation of title 25 (slots 12, 1, 3, ...) dated today or
// before; of equal dates the last met; later dates never count.
TEST(Reservations, TheEarliestIsTheOldestUpToTodayAndTheLastMetOfATie) {
    const std::pair<std::vector<int32_t>, int32_t> cases[] = {
        // days of August 2008 in insert order, and the slot answered
        {{}, -1},          {{12, 10}, 1}, {{10, 12}, 12}, {{10, 10}, 1},
        {{10, 12, 10}, 3}, {{13}, 12},    {{14}, -1},     {{14, 31, 1}, 3},
    };
    for (const auto& [days, want] : cases) {
        Scratch dir;
        DataFile f = empty_table<ReserveRec>(13);
        for (int32_t day : days)
            reserve_insert(f, ReserveRec{day, 25, 0, {2008, 8, day}});
        EXPECT_EQ(reserve_earliest_on(f, 25, {2008, 8, 13}), want) << testing::PrintToString(days);
    }
}

TEST(ClientScans, HoldsAnswerTheLowestSlotAndNeverABlankRecord) {
    Scratch dir;
    DataFile f = empty_table<SavedRec>(13);
    for (int32_t client : {25, 25, 6}) // slots 12, 1, 6
        saved_insert(f, SavedRec{client, 40, 1, {2008, 8, 10}});
    saved_delete(f, SavedRec{6, 40, 1, {}}); // slot 6 deleted: client -1
    EXPECT_EQ(saved_find(f, 25), 12);
    EXPECT_EQ(saved_scan_client(f, 25), 1);
    for (int32_t nobody : {0, -1, 6})
        EXPECT_EQ(saved_scan_client(f, nobody), -1) << nobody;
}

// The registry of open files stays whole whatever order files are closed,
// moved and destroyed in: close_all closes the rest and returns.
void close_in_any_order() {
    alarm(5);
    auto open = [] { return *DataFile::open("a", DataFile::Mode::Update); };
    DataFile a = open(), b = open();
    { DataFile gone = open(); }
    DataFile c = open(), d = std::move(b);
    c.close();
    a.close();
    DataFile e = open();
    DataFile::close_all();
    std::exit(d.is_open() || e.is_open());
}

TEST(OpenFilesDeathTest, CloseAllAfterClosingInAnyOrder) {
    Scratch dir;
    put_file("a", "");
    EXPECT_EXIT(close_in_any_order(), testing::ExitedWithCode(0), "");
}
