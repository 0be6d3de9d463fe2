// The durable action: a clerk's rental and the return of the disk, each one
// action through the journal with its event of the day log, as the desks
// make them (the rental inserted and the copy marked out, then the rental
// deleted and the copy marked back), against SQLite making the same row
// writes in one transaction per action with synchronous=FULL (in WAL mode,
// goal 1.2, and with its rollback journal), and against the same two
// actions committed with a sync per table as the journal once did: the
// intent written over the start of the journal and synced, each of the two
// tables written and synced, the journal cut.
#include "bench.h"

#include <filesystem>
#include <sqlite3.h>

#include "store/datafile.h"
#include "store/datafiles.h"
#include "store/dates.h"
#include "store/daylog.h"
#include "store/journal.h"
#include "store/logbook.h"
#include "store/movies.h"
#include "store/rents.h"

namespace {

constexpr int32_t kSlots = 10007;

// A data folder of empty tables and one copy on the shelf, the journal open
// in it (the benchmark works there from now on).
const std::string& action_folder() {
    static const std::string dir = [] {
        const std::string d = scratch() + "action/";
        make_folder(d);
        std::string why;
        if (!enter_folder(d, false, &why))
            die("cannot work in " + d + ": " + why);
        setup_data_files(kSlots);
        DataFile catalog = open_table<MovieRec>();
        MovieRec copy = TableTraits<MovieRec>::blank();
        copy.id = 7;
        copy.copy = 1;
        copy.rentdays = 3;
        movie_insert(catalog, copy);
        catalog.close();
        journal_open();
        return d;
    }();
    return dir;
}

// Marks the copy out on rent, or back.
void mark(DataFile& catalog, int32_t rented) {
    const int32_t slot = movie_find_copy(catalog, 7, 1);
    MovieRec copy = movie_read(catalog, slot);
    copy.rented = rented;
    movie_write(catalog, slot, copy);
}

// The bytes of the day log's files of one kind in the action folder.
double log_bytes(const char* ext) {
    double bytes = 0;
    for (const std::string& name : log_files(action_folder(), ext))
        bytes += static_cast<double>(std::filesystem::file_size(action_folder() + name));
    return bytes;
}

void rent_and_return(benchmark::State& state) {
    action_folder();
    const double lines = log_bytes(kLogSuffix), images = log_bytes(kRedoSuffix);
    int32_t client = 1;
    for (auto _ : state) {
        const RentRec rental{client, get_today(), 7, 1, 3};
        DataFile rents = open_table<RentRec>(), catalog = open_table<MovieRec>();
        rent_insert(rents, rental);
        mark(catalog, 1);
        log_rental(rental);
        rents.close();
        catalog.close();
        journal_commit();
        rents = open_table<RentRec>();
        catalog = open_table<MovieRec>();
        rent_delete(rents, rental);
        mark(catalog, 0);
        log_return(rental, 0, 0, 0);
        rents.close();
        catalog.close();
        journal_commit();
        client = client % 5000 + 1;
    }
    // The room the log takes: bytes of lines and of after-images per action.
    const double actions = 2.0 * static_cast<double>(state.iterations());
    state.counters["log_bytes"] = (log_bytes(kLogSuffix) - lines) / actions;
    state.counters["image_bytes"] = (log_bytes(kRedoSuffix) - images) / actions;
}

// The two actions as the journal committed them before the day log: an
// intent of the two records written at the start of the journal and synced,
// each record written into its table and the table synced, the journal cut.
void rent_and_return_unlogged(benchmark::State& state) {
    const std::string dir = action_folder();
    write_file(dir + "floor.journal", "", 0);
    Fd journal(dir + "floor.journal", true), rents(dir + TableTraits<RentRec>::file, true),
        catalog(dir + TableTraits<MovieRec>::file, true);
    std::string intent(4 + 4 + 2 * (1 + 2 + 16 + 8 + 4) + 28 + 44 + 8, 'i');
    const RentRec rental{1, get_today(), 7, 1, 3};
    MovieRec copy = TableTraits<MovieRec>::blank();
    for (auto _ : state) {
        for (int action = 0; action < 2; ++action) {
            pwrite_exact(journal.fd, intent.data(), intent.size(), 0);
            fsync_or_die(journal.fd);
            pwrite_exact(rents.fd, &rental, sizeof rental, 28 * 4000);
            fsync_or_die(rents.fd);
            pwrite_exact(catalog.fd, &copy, sizeof copy, 44 * 4000);
            fsync_or_die(catalog.fd);
            truncate_or_die(journal.fd, 0);
        }
    }
}

// SQLite doing the same row writes, one transaction per action with
// synchronous=FULL: the rental's row inserted (deleted), the copy's row
// rewritten, a line of a log table inserted. wal chooses its write-ahead
// log; otherwise its rollback journal.
class SqliteShop {
  public:
    explicit SqliteShop(bool wal) {
        const std::string path = action_folder() + (wal ? "wal.sqlite" : "rollback.sqlite");
        std::filesystem::remove(path);
        std::filesystem::remove(path + "-wal");
        if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK)
            die("SQLite cannot open " + path);
        exec(wal ? "PRAGMA journal_mode=WAL" : "PRAGMA journal_mode=DELETE");
        exec("PRAGMA synchronous=FULL");
        exec("CREATE TABLE rentals(client INTEGER PRIMARY KEY, rec BLOB);"
             "CREATE TABLE movies(id INTEGER PRIMARY KEY, rec BLOB);"
             "CREATE TABLE log(seq INTEGER PRIMARY KEY, line TEXT);"
             "INSERT INTO movies VALUES(7, zeroblob(44))");
        prepare(&rent_, "INSERT INTO rentals VALUES(?1, ?2)");
        prepare(&unrent_, "DELETE FROM rentals WHERE client = ?1");
        prepare(&mark_, "UPDATE movies SET rec = ?2 WHERE id = ?1");
        prepare(&log_, "INSERT INTO log(line) VALUES(?1)");
    }
    ~SqliteShop() {
        for (sqlite3_stmt* s : {rent_, unrent_, mark_, log_})
            sqlite3_finalize(s);
        sqlite3_close(db_);
    }
    // One action: the rental in or out, the copy marked, its line logged.
    void action(const RentRec& rental, const MovieRec& copy, bool out) {
        exec("BEGIN");
        sqlite3_bind_int(out ? rent_ : unrent_, 1, rental.client);
        if (out)
            sqlite3_bind_blob(rent_, 2, &rental, sizeof rental, SQLITE_STATIC);
        step(out ? rent_ : unrent_);
        sqlite3_bind_int(mark_, 1, 7);
        sqlite3_bind_blob(mark_, 2, &copy, sizeof copy, SQLITE_STATIC);
        step(mark_);
        static const std::string line(96, 'l'); // as long as a rental's line of the day log
        sqlite3_bind_text(log_, 1, line.data(), static_cast<int>(line.size()), SQLITE_STATIC);
        step(log_);
        exec("COMMIT");
    }

  private:
    void exec(const char* sql) {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            die(std::string("SQLite: ") + sqlite3_errmsg(db_));
    }
    void prepare(sqlite3_stmt** s, const char* sql) {
        if (sqlite3_prepare_v2(db_, sql, -1, s, nullptr) != SQLITE_OK)
            die(std::string("SQLite: ") + sqlite3_errmsg(db_));
    }
    void step(sqlite3_stmt* s) {
        if (sqlite3_step(s) != SQLITE_DONE)
            die(std::string("SQLite: ") + sqlite3_errmsg(db_));
        sqlite3_reset(s);
    }
    sqlite3* db_ = nullptr;
    sqlite3_stmt *rent_ = nullptr, *unrent_ = nullptr, *mark_ = nullptr, *log_ = nullptr;
};

void sqlite_rent_and_return(benchmark::State& state, bool wal) {
    SqliteShop shop(wal);
    MovieRec copy = TableTraits<MovieRec>::blank();
    int32_t client = 1;
    for (auto _ : state) {
        const RentRec rental{client, get_today(), 7, 1, 3};
        copy.rented = 1;
        shop.action(rental, copy, true);
        copy.rented = 0;
        shop.action(rental, copy, false);
        client = client % 5000 + 1;
    }
}

} // namespace

void register_action() {
    add_bench("action/rent_and_return", rent_and_return);
    add_bench("action/rent_and_return_unlogged", rent_and_return_unlogged);
    add_bench("action/sqlite_wal", [](benchmark::State& s) { sqlite_rent_and_return(s, true); });
    add_bench("action/sqlite_rollback",
              [](benchmark::State& s) { sqlite_rent_and_return(s, false); });
    add_ratio_row({"A durable action with its day log, against SQLite (synchronous=FULL) doing "
                   "the same row writes, and against one sync per table",
                   "rent and return",
                   "action/rent_and_return",
                   {own_time(), over("/SQLite WAL", {"action/sqlite_wal"}, 1.2),
                    over("/SQLite rollback", {"action/sqlite_rollback"}),
                    over("/four syncs", {"action/rent_and_return_unlogged"}),
                    counter_of("log B/action", "log_bytes", 0),
                    counter_of("after-images B/action", "image_bytes", 0)}});
}
