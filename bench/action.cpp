// The durable action: a clerk's rental and the return of the disk, each one
// action through the journal with its event of the day log, as the desks
// make them (the rental inserted and the copy marked out, then the rental
// deleted and the copy marked back), against the same two actions committed
// as the journal did before the day log: the intent written over the start
// of the journal and synced, each of the two tables written and synced, the
// journal cut (goal 1.10: the log may cost a tenth at most).
#include "bench.h"

#include <filesystem>

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

} // namespace

void register_action() {
    add_bench("action/rent_and_return", rent_and_return);
    add_bench("action/rent_and_return_unlogged", rent_and_return_unlogged);
    add_ratio_row({"A durable action with its day log, over the same without the log",
                   "rent and return",
                   "action/rent_and_return",
                   {own_time(), over("/without the log", {"action/rent_and_return_unlogged"}, 1.10),
                    counter_of("log B/action", "log_bytes", 0),
                    counter_of("after-images B/action", "image_bytes", 0)}});
}
