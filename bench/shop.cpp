// The owner's commands on a large shop: the built rentdesk-admin's check,
// backup, export movies and report overdue, each against its floor: one
// sequential read of the files it reads (for the backup, a copy of the five
// files, each synced). The shop holds 10^6 copies (10 of each title),
// 10^5 clients, 5·10^4 rentals, 2·10^4 reservations and 5·10^3 holds, every
// table at 90 % load, all of them sound (check finds nothing); the quick run
// a thousandth of it. Started as "--make-shop DIR" the benchmark writes the
// shop into DIR and ends, for profiling the commands by hand.
#include "bench.h"

#include "store/datafiles.h"

#include <algorithm>
#include <filesystem>
#include <random>

namespace {

// The day report overdue is taken on: most rentals, dated the 60 days
// before it with 3 rent days, are late then.
constexpr const char* kReportDay = "2026-03-01";

template <class Rec>
void write_shop_table(const std::string& dir, const std::vector<Rec>& recs) {
    const int32_t slots = next_prime(static_cast<int32_t>((recs.size() * 10 + 8) / 9));
    write_table(dir + TableTraits<Rec>::file, image_of(recs, slots < 2 ? 2 : slots));
}

MovieRec shop_copy(int32_t id, int32_t copy) {
    MovieRec r = TableTraits<MovieRec>::blank();
    set_text(r.name, "Title " + std::to_string(id));
    r.id = id;
    r.copy = copy;
    r.diskstatus = 10;
    r.rentdays = 3;
    return r;
}

} // namespace

void make_shop(const std::string& dir, int32_t copies) {
    const int32_t titles = copies / 10, clients = copies / 10;
    const int32_t rentals = copies / 20, reservations = copies / 50, holds = copies / 200;
    std::vector<int32_t> client_ids = distinct_ids(static_cast<std::size_t>(clients), 101);
    std::vector<int32_t> title_ids = distinct_ids(static_cast<std::size_t>(titles), 102);
    std::vector<ClientRec> users;
    for (int32_t id : client_ids)
        users.push_back(client_record(id));
    std::vector<MovieRec> catalog;
    for (int32_t id : title_ids)
        for (int32_t copy = 1; copy <= 10; ++copy)
            catalog.push_back(shop_copy(id, copy));
    // Each rental and hold takes a copy of its own, drawn from the catalogue
    // without repeats; a client has one of them at most, and a client with
    // a hold no reservation.
    std::mt19937_64 gen(103);
    std::vector<std::size_t> order(catalog.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::shuffle(order.begin(), order.end(), gen);
    std::vector<RentRec> rents;
    for (int32_t i = 0; i < rentals; ++i) {
        MovieRec& m = catalog[order[static_cast<std::size_t>(i)]];
        m.rented = 1;
        const int32_t back = static_cast<int32_t>(gen() % 60); // days before the report day
        const Date day = back < 31 ? Date{2026, 2, 28 - back % 28} : Date{2026, 1, 1 + back - 31};
        rents.push_back(RentRec{client_ids[static_cast<std::size_t>(i)], day, m.id, m.copy, 3});
    }
    std::vector<SavedRec> saved;
    for (int32_t i = 0; i < holds; ++i) {
        MovieRec& m = catalog[order[static_cast<std::size_t>(rentals + i)]];
        m.saved = 1;
        saved.push_back(SavedRec{client_ids[static_cast<std::size_t>(rentals + i)], m.id, m.copy,
                                 Date{2026, 2, 25}});
    }
    std::vector<ReserveRec> reserves;
    for (int32_t i = 0; i < reservations; ++i)
        reserves.push_back(ReserveRec{client_ids[static_cast<std::size_t>(rentals + holds + i)],
                                      title_ids[gen() % title_ids.size()], i % 2,
                                      Date{2026, 2, 1 + i % 28}});
    make_folder(dir);
    write_shop_table(dir, users);
    write_shop_table(dir, catalog);
    write_shop_table(dir, rents);
    write_shop_table(dir, reserves);
    write_shop_table(dir, saved);
}

namespace {

int32_t shop_copies() {
    return config().quick ? 1000 : 1000000;
}

const std::string& shop_folder() {
    static const std::string dir = [] {
        const std::string d = scratch() + "shop/";
        make_shop(d, shop_copies());
        return d;
    }();
    return dir;
}

std::vector<std::string> admin(std::initializer_list<std::string> args) {
    std::vector<std::string> argv{RENTDESK_ADMIN, "--data", shop_folder()};
    argv.insert(argv.end(), args);
    return argv;
}

// Runs the command once to see it answer as it should, then times it.
void time_command(benchmark::State& state, const std::vector<std::string>& argv,
                  const std::string& expect) {
    std::string out;
    if (run_program(argv, &out) != 0 || out.find(expect) == std::string::npos)
        return state.SkipWithError(
            ("rentdesk-admin did not answer as it should: " + out.substr(0, 200)).c_str());
    for (auto _ : state)
        run_program(argv, nullptr);
}

// A backup into a fresh folder each time, removed untimed.
void time_backup(benchmark::State& state) {
    const std::string dest = scratch() + "shop-backups/";
    make_folder(dest);
    const std::vector<std::string> argv = admin({"backup", dest});
    std::string out;
    if (run_program(argv, &out) != 0 || out.find("Backed up") == std::string::npos)
        return state.SkipWithError(("the backup failed: " + out).c_str());
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(dest);
        make_folder(dest);
        state.ResumeTiming();
        run_program(argv, nullptr);
    }
}

// The floor of a backup: the five files copied into a fresh folder, each
// written whole and synced, and the folder synced.
void time_copy(benchmark::State& state) {
    const std::string dest = scratch() + "shop-copy/";
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(dest);
        make_folder(dest);
        state.ResumeTiming();
        for (const char* name : kDataFileNames)
            copy_file(shop_folder() + name, dest + name);
        Fd folder(dest, false);
        fsync_or_die(folder.fd);
    }
}

} // namespace

void register_shop() {
    const std::string shop = "shop/" + size_label(shop_copies());
    for (const char* name : kDataFileNames)
        add_read_file(shop + "/read/" + name, [name] { return shop_folder() + name; });
    add_bench(shop + "/check", [](benchmark::State& st) {
        time_command(st, admin({"check"}), "All five data files are sound.");
    });
    add_bench(shop + "/export_movies", [](benchmark::State& st) {
        time_command(st, admin({"export", "movies"}), "name,id,copy");
    });
    add_bench(shop + "/report_overdue", [](benchmark::State& st) {
        time_command(st, admin({"report", "overdue", "--date", kReportDay, "--csv"}),
                     "client,first_name,last_name");
    });
    add_bench(shop + "/backup", time_backup);
    add_bench(shop + "/cp_sync", time_copy);

    auto read = [&](std::vector<std::string> files) {
        std::vector<std::string> floors;
        for (const std::string& f : files)
            floors.push_back(shop + "/read/" + f);
        return floors;
    };
    const std::vector<std::string> all(std::begin(kDataFileNames), std::end(kDataFileNames));
    const std::string section = "The owner's commands on a shop of " + size_label(shop_copies()) +
                                " copies, over reading their files (backup: over copying them)";
    const std::string label = " " + size_label(shop_copies());
    add_ratio_row({section,
                   "check" + label,
                   shop + "/check",
                   {own_time(), over("/read of its files", read(all), 5.0)}});
    add_ratio_row({section,
                   "export movies" + label,
                   shop + "/export_movies",
                   {own_time(), over("/read of its files", read({"catalogmov.txt"}), 5.0)}});
    add_ratio_row(
        {section,
         "report overdue" + label,
         shop + "/report_overdue",
         {own_time(), over("/read of its files",
                           read({"rentmovies.txt", "user.txt", "catalogmov.txt"}), 5.0)}});
    add_ratio_row({section,
                   "backup" + label,
                   shop + "/backup",
                   {own_time(), over("/cp+sync", {shop + "/cp_sync"}, 3.0)}});
}
