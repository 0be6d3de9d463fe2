// Fuzz target for the hashed record file. The input is read as a slot count
// and a sequence of operations on a tiny reservation table (the table with
// the most queries), which therefore grows often. After every operation the
// file is compared with a plain list of the reservations it must hold, and
// every answer of the store with one worked out here from the file's bytes.
// Any difference is a finding.
#include "store/datafile.h"
#include "store/reserves.h"
#include "tests/fuzz/fuzz_support.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Image = std::vector<ReserveRec>; // the file's slots, as read

constexpr int32_t kMovies = 20;     // keys 1..20, so titles share probe paths
constexpr int32_t kClients = 8;     // clients 1..8
constexpr int kMaxOperations = 300; // bounds the time of one input

// Reads the input bytes in order; 0 once they have run out.
class Bytes {
  public:
    Bytes(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    uint8_t next() { return pos_ < size_ ? data_[pos_++] : 0; }

  private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

auto fields(const ReserveRec& r) {
    return std::tuple(r.movie, r.client, r.callnotice, r.resdate.year, r.resdate.month,
                      r.resdate.day);
}

bool same(const ReserveRec& a, const ReserveRec& b) {
    return fields(a) == fields(b);
}

std::string show(const ReserveRec& r) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "{movie %d client %d call %d date %d-%d-%d}", r.movie, r.client,
                  r.callnotice, r.resdate.year, r.resdate.month, r.resdate.day);
    return buf;
}

// An empty (0) or deleted (-1) slot: the blank record with that key.
ReserveRec blank(int32_t key) {
    return ReserveRec{0, key, 0, Date{1999, 1, 1}};
}

bool is_prime(int64_t n) {
    if (n < 2)
        return false;
    for (int64_t d = 2; d * d <= n; ++d)
        if (n % d == 0)
            return false;
    return true;
}

// The size rule, worked out afresh: the first prime at or above n + 10^d,
// d the number of decimal digits of n.
int64_t expected_growth(int64_t n) {
    int64_t p = 1;
    for (int64_t left = n; left > 0; left /= 10)
        p *= 10;
    int64_t m = n + p;
    while (!is_prime(m))
        ++m;
    return m;
}

// The on-disk probe sequence: slot (h1 + h2*i) mod n.
int32_t probe(int32_t key, int32_t n, int32_t i) {
    int64_t h1 = key % n;
    int64_t h2 = key % (n - 1) + 1;
    return static_cast<int32_t>((h1 + h2 * i) % n);
}

// The slots a keyed search of key visits: its probe sequence up to (not
// including) the first empty slot.
std::vector<int32_t> search_path(const Image& img, int32_t key) {
    std::vector<int32_t> path;
    int32_t n = static_cast<int32_t>(img.size());
    for (int32_t i = 0; i < n; ++i) {
        int32_t s = probe(key, n, i);
        if (img[s].movie == 0)
            break;
        path.push_back(s);
    }
    return path;
}

bool is_live(const ReserveRec& r) {
    return r.movie >= 1;
}

std::vector<ReserveRec> sorted(std::vector<ReserveRec> recs) {
    std::sort(recs.begin(), recs.end(),
              [](const ReserveRec& a, const ReserveRec& b) { return fields(a) < fields(b); });
    return recs;
}

bool same_records(const std::vector<ReserveRec>& a, const std::vector<ReserveRec>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), same);
}

std::vector<ReserveRec> live_records(const Image& img) {
    std::vector<ReserveRec> live;
    for (const ReserveRec& r : img)
        if (is_live(r))
            live.push_back(r);
    return live;
}

// Slots where two images differ, when they have the same length.
std::vector<int32_t> changed_slots(const Image& a, const Image& b) {
    std::vector<int32_t> changed;
    for (std::size_t s = 0; s < a.size(); ++s)
        if (!same(a[s], b[s]))
            changed.push_back(static_cast<int32_t>(s));
    return changed;
}

class StoreRun {
  public:
    explicit StoreRun(int32_t slots) : path_(work_folder() + "reservedmov.txt") {
        auto f = DataFile::open(path_, DataFile::Mode::Create);
        if (!f)
            finding("cannot create %s", path_.c_str());
        file_ = std::move(*f);
        reserve_format(file_, slots);
        check_file(0);
    }

    void step(Bytes& in) {
        int op = in.next() % 9;
        uint8_t a = in.next(), b = in.next();
        int32_t movie = 1 + a % kMovies;
        int32_t client = 1 + b % kClients;
        switch (op) {
        case 0:
        case 1:
        case 2: {
            Date date{2009, 3, 1 + (b >> 4) % 4}; // few dates, so ties happen
            insert(ReserveRec{client, movie, (b >> 3) & 1, date});
            break;
        }
        case 3:
            erase(movie, client, false);
            break;
        case 4:
            erase(movie, client, true);
            break;
        case 5:
            find(movie, client, false);
            break;
        case 6:
            find(movie, client, true);
            break;
        case 7:
            scan_client(client);
            break;
        default: {
            int day = b % 5; // day 0: the last of February, before every date
            earliest(movie, day == 0 ? Date{2009, 2, 28} : Date{2009, 3, day});
            break;
        }
        }
        check_file(movie);
    }

  private:
    Image read_image() {
        int64_t size = file_.size();
        if (size % static_cast<int64_t>(sizeof(ReserveRec)) != 0)
            finding("the file's length %lld is not a whole number of records",
                    static_cast<long long>(size));
        Image img(reserve_slots(file_));
        file_.read_at(0, img.data(), img.size() * sizeof(ReserveRec));
        return img;
    }

    // Inserts r: without growth it lands in the first free slot of its probe
    // sequence and nothing else changes; a full table grows by the size rule
    // and keeps every record, same-key records in their old order, r last.
    void insert(const ReserveRec& r) {
        Image before = read_image();
        int32_t n = static_cast<int32_t>(before.size());
        int32_t free_slot = -1;
        for (int32_t i = 0; i < n && free_slot < 0; ++i)
            if (!is_live(before[probe(r.movie, n, i)]))
                free_slot = probe(r.movie, n, i);
        reserve_insert(file_, r);
        model_.push_back(r);
        Image after = read_image();
        if (free_slot >= 0) {
            std::vector<int32_t> changed = changed_slots(before, after);
            if (after.size() != before.size() || changed.size() != 1 || changed[0] != free_slot ||
                !same(after[free_slot], r))
                finding("insert of %s into %d slots did not take just the free slot %d",
                        show(r).c_str(), n, free_slot);
            return;
        }
        check_growth(before, after, r);
    }

    void check_growth(const Image& before, const Image& after, const ReserveRec& r) {
        int64_t n = static_cast<int64_t>(before.size());
        if (static_cast<int64_t>(after.size()) != expected_growth(n))
            finding("a full table of %lld slots grew to %zu slots, not %lld",
                    static_cast<long long>(n), after.size(),
                    static_cast<long long>(expected_growth(n)));
        for (const ReserveRec& s : after)
            if (!is_live(s) && !same(s, blank(0)))
                finding("a grown table holds a slot that is neither live nor empty: %s",
                        show(s).c_str());
        for (int32_t key = 1; key <= kMovies; ++key) {
            std::vector<ReserveRec> old_order;
            for (const ReserveRec& s : before)
                if (s.movie == key)
                    old_order.push_back(s);
            if (r.movie == key)
                old_order.push_back(r);
            std::vector<ReserveRec> new_order;
            for (int32_t s : search_path(after, key))
                if (after[s].movie == key)
                    new_order.push_back(after[s]);
            if (!same_records(old_order, new_order))
                finding("growth changed the order or number of the reservations of movie %d", key);
        }
    }

    // Deletes the first reservation of movie on its probe path (of movie and
    // client when by_client): that slot becomes a deleted blank, nothing else
    // changes; no match changes nothing.
    void erase(int32_t movie, int32_t client, bool by_client) {
        Image before = read_image();
        int32_t target = -1;
        for (int32_t s : search_path(before, movie))
            if (before[s].movie == movie && (!by_client || before[s].client == client)) {
                target = s;
                break;
            }
        ReserveRec asked{client, movie, 0, Date{2009, 3, 1}};
        by_client ? reserve_delete_client(file_, asked) : reserve_delete(file_, asked);
        Image after = read_image();
        std::vector<int32_t> changed = changed_slots(before, after);
        const char* name = by_client ? "reserve_delete_client" : "reserve_delete";
        if (after.size() != before.size())
            finding("%s of movie %d client %d changed the slot count", name, movie, client);
        if (target < 0) {
            if (!changed.empty())
                finding("%s of movie %d client %d matched nothing yet changed slot %d", name, movie,
                        client, changed[0]);
            return;
        }
        if (changed.size() != 1 || changed[0] != target || !same(after[target], blank(-1)))
            finding("%s of movie %d client %d did not delete just slot %d", name, movie, client,
                    target);
        forget(before[target]);
    }

    void forget(const ReserveRec& r) {
        auto it = std::find_if(model_.begin(), model_.end(),
                               [&](const ReserveRec& m) { return same(m, r); });
        if (it == model_.end())
            finding("deleted %s, which was never inserted", show(r).c_str());
        model_.erase(it);
    }

    bool model_has(auto pred) const { return std::any_of(model_.begin(), model_.end(), pred); }

    // reserve_find (and reserve_find_client) answer the first match on the
    // probe path; -1 exactly when no reservation of the title (by the client)
    // exists.
    void find(int32_t movie, int32_t client, bool by_client) {
        Image img = read_image();
        int32_t expected = -1;
        for (int32_t s : search_path(img, movie))
            if (img[s].movie == movie && (!by_client || img[s].client == client)) {
                expected = s;
                break;
            }
        int32_t got =
            by_client ? reserve_find_client(file_, movie, client) : reserve_find(file_, movie);
        bool exists = model_has([&](const ReserveRec& m) {
            return m.movie == movie && (!by_client || m.client == client);
        });
        if (got != expected || (got >= 0) != exists)
            finding("%s of movie %d client %d answered %d, expected %d (a match %s)",
                    by_client ? "reserve_find_client" : "reserve_find", movie, client, got,
                    expected, exists ? "exists" : "does not exist");
    }

    // The lowest slot holding a reservation of the client.
    void scan_client(int32_t client) {
        Image img = read_image();
        int32_t expected = -1;
        for (std::size_t s = 0; s < img.size() && expected < 0; ++s)
            if (is_live(img[s]) && img[s].client == client)
                expected = static_cast<int32_t>(s);
        int32_t got = reserve_scan_client(file_, client);
        bool exists = model_has([&](const ReserveRec& m) { return m.client == client; });
        if (got != expected || (got >= 0) != exists)
            finding("reserve_scan_client of client %d answered %d, expected %d", client, got,
                    expected);
    }

    // The reservation of the title dated on or before today with the
    // earliest date; of equal dates the last on the probe path.
    void earliest(int32_t movie, Date today) {
        Image img = read_image();
        int32_t expected = -1;
        Date mindate = today;
        for (int32_t s : search_path(img, movie))
            if (img[s].movie == movie && !date_before(mindate, img[s].resdate)) {
                expected = s;
                mindate = img[s].resdate;
            }
        int32_t got = reserve_earliest_on(file_, movie, today);
        bool in_time = model_has([&](const ReserveRec& m) {
            return m.movie == movie && !date_before(today, m.resdate);
        });
        if (got != expected || (got >= 0) != in_time)
            finding("reserve_earliest of movie %d on %d-%d-%d answered %d, expected %d", movie,
                    today.year, today.month, today.day, got, expected);
    }

    // The file as a whole: a prime slot count of at least 2, blank records
    // in the free slots, exactly the model's records live, each findable by
    // a search on its own title and client (asked of the store for the
    // title just worked on).
    void check_file(int32_t touched_movie) {
        Image img = read_image();
        if (img.size() < 2 || !is_prime(static_cast<int64_t>(img.size())))
            finding("the table has %zu slots, not a prime of at least 2", img.size());
        for (std::size_t s = 0; s < img.size(); ++s) {
            const ReserveRec& r = img[s];
            bool blank_slot = (r.movie == 0 || r.movie == -1) && same(r, blank(r.movie));
            if (is_live(r) ? r.movie > kMovies : !blank_slot)
                finding("slot %zu holds %s, neither a stored reservation nor a blank", s,
                        show(r).c_str());
        }
        if (!same_records(sorted(live_records(img)), sorted(model_)))
            finding("the file holds %zu live reservations, the model %zu, or they differ",
                    live_records(img).size(), model_.size());
        for (const ReserveRec& m : model_) {
            bool reachable = false;
            for (int32_t s : search_path(img, m.movie))
                reachable = reachable || same(img[s], m);
            if (!reachable)
                finding("%s lies off its title's search path", show(m).c_str());
            if (m.movie != touched_movie)
                continue;
            int32_t s = reserve_find_client(file_, m.movie, m.client);
            if (s < 0 || img[s].movie != m.movie || img[s].client != m.client)
                finding("reserve_find_client cannot find %s (answered %d)", show(m).c_str(), s);
        }
    }

    std::string path_;
    DataFile file_;
    std::vector<ReserveRec> model_; // the live reservations, in no order
};

// The store ends the program only on a damaged file: here that is a finding.
void on_program_end(int status) {
    finding("the store ended the program with status %d", status);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    capture_stdout(); // the full-table message goes there
    set_exit_handler(on_program_end);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    reset_captured_output();
    Bytes in(data, size);
    static constexpr int32_t kSizes[4] = {2, 3, 5, 7};
    StoreRun run(kSizes[in.next() % 4]);
    for (int i = 0; i < kMaxOperations && !in.empty(); ++i)
        run.step(in);
    return 0;
}
