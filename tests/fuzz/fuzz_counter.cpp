// Fuzz target for the whole counter program. Every run starts from the same
// small, consistent shop dated relative to today, types the input bytes as the
// clerk's keys and lines until the program ends or the input runs out, and then
// checks the data files and the rules between them with the data check of
// rentdesk-admin. A broken rule, a damaged file or a crash is a finding; a run
// that stops reading input is caught by libFuzzer's -timeout. The target works
// in a scratch folder of its own, so the paths given to it must be absolute.
#include "counter/main_loop.h"
#include "shell/screen.h"
#include "store/datacheck.h"
#include "store/dates.h"
#include "store/hashfile.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

// On a memory file system, where the program's syncs cost next to nothing.
static std::string folder = "/dev/shm/rentdesk-fuzz-XXXXXX";

static Date days_ago(int days) {
    using namespace std::chrono;
    const Date t = get_today();
    const year_month_day d{sys_days{year{t.year} / t.month / t.day} - std::chrono::days{days}};
    return {int(d.year()), int(unsigned(d.month())), int(unsigned(d.day()))};
}

template <class Rec>
static void write_table(int32_t slots, std::initializer_list<Rec> recs) {
    auto f = DataFile::open(TableTraits<Rec>::file, DataFile::Mode::Create);
    hash_format<Rec>(*f, slots);
    for (const Rec& r : recs)
        hash_insert(*f, r);
}

// Small tables (the client table full), so adding clients and copies grows
// them. Ann's disk is late, Cid's is not. Two holds have run out: at the start
// one copy passes to a reservation with a call notice, the other becomes free.
// clang-format off
static void write_shop() {
    // A fresh shop: the journal of the last run (ended by its input, with its
    // actions since the last checkpoint still in it) goes with its tables.
    std::filesystem::remove("rentdesk.journal");
    write_table<ClientRec>(7, {{1, {"Ann"}, {"Tester"}, {"Main_St"}, days_ago(30),  5550001, 6,  0},
                               {2, {"Bob"}, {"Tester"}, {"Main_St"}, days_ago(400), 5550002, 1,  35},
                               {3, {"Cid"}, {"Tester"}, {"Main_St"}, days_ago(30),  5550003, 12, 10},
                               {4, {"Dan"}, {"Tester"}, {"Main_St"}, days_ago(30),  5550004, 2,  0},
                               {5, {"Eve"}, {"Tester"}, {"Main_St"}, days_ago(30),  5550005, 3,  0},
                               {6, {"Fay"}, {"Tester"}, {"Main_St"}, days_ago(400), 5550006, 2,  5},
                               {7, {"Gil"}, {"Tester"}, {"Main_St"}, days_ago(30),  5550007, 1,  0}});
    // Copies: title, id, copy number, disk status 7, 3 rent days, rented, saved.
    write_table<MovieRec>(11, {{{"Alien"}, 1, 1, 7, 3, 1, 0},      {{"Alien"}, 1, 2, 7, 3, 0, 0},
                               {{"Brazil"}, 2, 1, 7, 3, 0, 1},     {{"Brazil"}, 2, 2, 7, 3, 1, 0},
                               {{"Casablanca"}, 3, 1, 7, 3, 0, 1}, {{"Casablanca"}, 3, 2, 7, 3, 0, 0},
                               {{"Dune"}, 4, 1, 7, 3, 0, 0},       {{"Eraserhead"}, 5, 1, 7, 3, 0, 1}});
    write_table<RentRec>(5, {{1, days_ago(10), 1, 1, 3}, {3, days_ago(1), 2, 2, 5}});
    write_table<SavedRec>(5, {{2, 2, 1, days_ago(2)}, {5, 3, 1, days_ago(10)}, {7, 5, 1, days_ago(12)}});
    write_table<ReserveRec>(5, {{3, 1, 1, days_ago(4)}, {4, 2, 0, days_ago(3)},
                                {6, 3, 1, days_ago(6)}, {1, 4, 0, days_ago(1)}});
}
// clang-format on

// What the program printed in this run.
static std::string screen() {
    std::fflush(stdout);
    std::ifstream in("screen.out", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Reports a finding and aborts; libFuzzer keeps the input (and this run's folder
// stays in /dev/shm, to look at).
[[noreturn]] static void finding(const std::string& what) {
    const std::string out = screen();
    std::fprintf(stderr, "FINDING: %s\n--- end of the screens ---\n%s\n", what.c_str(),
                 out.c_str() + (out.size() > 2000 ? out.size() - 2000 : 0));
    std::abort();
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!mkdtemp(folder.data()) || chdir(folder.c_str()) != 0)
        std::abort();
    std::atexit([] { std::filesystem::remove_all(folder); });
    // The exit path throws the status, so the desks' files close as the stack unwinds.
    set_exit_handler([](int status) { throw status; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    write_shop();
    if (!std::freopen("screen.out", "w", stdout)) // the screens of this run alone
        std::abort();
    // A few bytes per read, as a typist's keys and an arrow's sequence arrive;
    // at the end, an untimed wait is the end of input and a timed one sees nothing.
    std::size_t pos = 0;
    ConsoleInput input(
        [&](char* buf, int cap, int timeout_ms, bool) {
            if (pos == size)
                return timeout_ms < 0 ? -1 : 0;
            const int n = std::min<std::size_t>({size - pos, std::size_t(cap), 3});
            std::memcpy(buf, data + pos, n);
            pos += n;
            return n;
        },
        [] { end_program(1); }, /*esc_delay_ms=*/1);
    set_console_input(&input);
    try {
        run_counter();
    } catch (int status) { // Exit and Esc end with 1, and so does a damaged file after its message
        if (status != 1 || screen().ends_with("  End of program..\n"))
            finding("the program ended with status " + std::to_string(status));
    }
    set_console_input(nullptr);
    if (const auto problems = check_data_folder(false).problems; !problems.empty())
        finding("the data folder breaks the rules: " + problems.front());
    return 0;
}
