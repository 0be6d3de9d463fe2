// Start-up of the real counter: the built rentdesk started on a data folder
// and given end of input at its menu, so it recovers the journal, passes
// over the holds, draws the menu and ends. A large folder (five files of
// config().large_slots slots, the hold file half full of holds that stand)
// against a 101-slot folder plus one sequential read of the large hold file.
#include "bench.h"

#include "store/datafiles.h"

namespace {

template <class Rec>
void write_blank(const std::string& dir, int32_t slots) {
    write_table(dir + TableTraits<Rec>::file, std::vector<Rec>(slots, TableTraits<Rec>::blank()));
}

// A data folder of empty tables of slots slots, holds aside.
std::string make_start_folder(const std::string& name, int32_t slots) {
    const std::string dir = scratch() + name + "/";
    make_folder(dir);
    write_blank<ClientRec>(dir, slots);
    write_blank<MovieRec>(dir, slots);
    write_blank<RentRec>(dir, slots);
    write_blank<ReserveRec>(dir, slots);
    return dir;
}

const std::string& large_folder() {
    static const std::string dir = [] {
        const int32_t slots = config().large_slots;
        std::string d = make_start_folder("start-large", slots);
        std::vector<SavedRec> holds;
        for (int32_t client : distinct_ids(static_cast<std::size_t>(slots / 2), 11))
            holds.push_back(hold_record(client, 1 + client % 1000));
        write_table(d + TableTraits<SavedRec>::file, image_of(holds, slots));
        return d;
    }();
    return dir;
}

const std::string& small_folder() {
    static const std::string dir = [] {
        std::string d = make_start_folder("start-small", 101);
        write_blank<SavedRec>(d, 101);
        return d;
    }();
    return dir;
}

void time_startup(benchmark::State& state, const std::string& dir) {
    const std::vector<std::string> argv{RENTDESK_COUNTER, "--data", dir};
    std::string screen;
    if (run_program(argv, &screen) != 1 || screen.find("Please select") == std::string::npos)
        return state.SkipWithError("the counter did not reach its menu and end there");
    for (auto _ : state)
        run_program(argv, nullptr);
}

} // namespace

void register_startup() {
    const std::string large = "startup/" + size_label(config().large_slots) + "_slots";
    add_bench(large, [](benchmark::State& st) { time_startup(st, large_folder()); });
    add_bench("startup/101_slots", [](benchmark::State& st) { time_startup(st, small_folder()); });
    add_read_file(large + "/" + TableTraits<SavedRec>::file,
                  [] { return large_folder() + TableTraits<SavedRec>::file; });
    add_ratio_row(
        {"Start-up of the counter, over a 101-slot start plus one sequential read of the hold file",
         "startup " + size_label(config().large_slots) + " slots",
         large,
         {own_time(),
          over("/(101 slots + read)",
               {"startup/101_slots", large + "/" + TableTraits<SavedRec>::file}, 2.0)}});
}
