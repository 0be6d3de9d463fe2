// Fuzz target for the whole counter program. Every run starts from the same
// small, consistent data folder (clients with valid and run-out
// subscriptions and fines, titles with several copies, a rental, holds and
// reservations, dated relative to today), types the input bytes as the
// clerk's keys and lines into the main loop until the program ends or the
// input runs out, and then checks every data file and the rules between
// them. A broken rule, a damaged file or a crash is a finding; a run that
// stops reading input is caught by libFuzzer's -timeout.
#include "shell/datafiles.h"
#include "shell/dates.h"
#include "shell/main_loop.h"
#include "shell/screen.h"
#include "store/datafile.h"
#include "store/hashfile.h"
#include "tests/fuzz/fuzz_support.h"
#include "tools/datacheck.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Bytes handed to the program per read: a few at a time, as a typist's
// keys and an arrow key's sequence arrive.
constexpr int kChunk = 3;

// Thrown by the exit path instead of ending the process, so the desks'
// open data files are closed as the stack unwinds and the next run starts.
struct ProgramEnded {
    int status;
};

[[noreturn]] void throw_program_ended(int status) {
    throw ProgramEnded{status};
}

bool same_day(Date a, Date b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

// The calendar date days before d.
Date days_before(Date d, int days) {
    using namespace std::chrono;
    sys_days t = year_month_day{year{d.year}, month{static_cast<unsigned>(d.month)},
                                day{static_cast<unsigned>(d.day)}};
    year_month_day r{t - std::chrono::days{days}};
    return Date{static_cast<int>(r.year()), static_cast<int>(static_cast<unsigned>(r.month())),
                static_cast<int>(static_cast<unsigned>(r.day()))};
}

ClientRec client(int32_t id, const char* name, Date subdate, int32_t months, int32_t fine) {
    ClientRec c = TableTraits<ClientRec>::blank();
    c.id = id;
    set_text(c.fname, name);
    set_text(c.lname, "Tester");
    set_text(c.address, "Main_St");
    c.subdate = subdate;
    c.phone = 5550000 + id;
    c.months = months;
    c.fine = fine;
    return c;
}

MovieRec copy(int32_t id, const char* title, int32_t number, int32_t rented, int32_t saved) {
    MovieRec m = TableTraits<MovieRec>::blank();
    set_text(m.name, title);
    m.id = id;
    m.copy = number;
    m.diskstatus = 7;
    m.rentdays = 3;
    m.rented = rented;
    m.saved = saved;
    return m;
}

// Creates the file of Rec with slots empty slots and stores recs in it.
template <class Rec>
void write_table(int32_t slots, const std::vector<Rec>& recs) {
    auto f = DataFile::open(TableTraits<Rec>::file, DataFile::Mode::Create);
    if (!f)
        finding("cannot create %s", TableTraits<Rec>::file);
    hash_format<Rec>(*f, slots);
    for (const Rec& r : recs)
        hash_insert(*f, r);
}

// The shop on the given day. Small tables (the client table full), so
// adding clients and copies grows them. Two holds have run out: at the start
// of every run one copy passes to a reservation with a call notice, the
// other, unreserved, becomes free.
void write_fixture(Date today) {
    Date recent = days_before(today, 30);
    Date long_ago = days_before(today, 400);
    write_table<ClientRec>(7, {client(1, "Ann", recent, 6, 0), client(2, "Bob", long_ago, 1, 35),
                               client(3, "Cid", recent, 12, 10), client(4, "Dan", recent, 2, 0),
                               client(5, "Eve", recent, 3, 0), client(6, "Fay", long_ago, 2, 5),
                               client(7, "Gil", recent, 1, 0)});
    write_table<MovieRec>(11, {copy(1, "Alien", 1, 1, 0), copy(1, "Alien", 2, 0, 0),
                               copy(2, "Brazil", 1, 0, 1), copy(2, "Brazil", 2, 1, 0),
                               copy(3, "Casablanca", 1, 0, 1), copy(3, "Casablanca", 2, 0, 0),
                               copy(4, "Dune", 1, 0, 0), copy(5, "Eraserhead", 1, 0, 1)});
    // Ann's disk is late; Cid's is not.
    write_table<RentRec>(5, {RentRec{1, days_before(today, 10), 1, 1, 3},
                             RentRec{3, days_before(today, 1), 2, 2, 5}});
    write_table<SavedRec>(5, {SavedRec{2, 2, 1, days_before(today, 2)},
                              SavedRec{5, 3, 1, days_before(today, 10)},
                              SavedRec{7, 5, 1, days_before(today, 12)}});
    write_table<ReserveRec>(5, {ReserveRec{3, 1, 1, days_before(today, 4)},
                                ReserveRec{4, 2, 0, days_before(today, 3)},
                                ReserveRec{6, 3, 1, days_before(today, 6)},
                                ReserveRec{1, 4, 0, days_before(today, 1)}});
}

struct SavedFile {
    std::string name;
    std::string bytes;
};

std::string read_whole(const char* name) {
    auto f = DataFile::open(name, DataFile::Mode::Update);
    if (!f)
        finding("cannot read %s back", name);
    std::string bytes(static_cast<std::size_t>(f->size()), '\0');
    f->read_at(0, bytes.data(), bytes.size());
    return bytes;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += "\n  " + line;
    return text;
}

// The fixture's bytes, made once per day and written back before every run.
class Fixture {
  public:
    void restore() {
        Date today = get_today();
        if (files_.empty() || !same_day(today, made_on_))
            make(today);
        for (const SavedFile& file : files_) {
            auto f = DataFile::open(file.name, DataFile::Mode::Create);
            if (!f)
                finding("cannot rewrite %s", file.name.c_str());
            f->write_at(0, file.bytes.data(), file.bytes.size());
        }
    }

  private:
    void make(Date today) {
        write_fixture(today);
        CheckResult check = check_data_folder(false);
        if (!check.problems.empty())
            finding("the fixture itself breaks the rules:%s", joined(check.problems).c_str());
        files_.clear();
        for (const char* name : kDataFileNames)
            files_.push_back({name, read_whole(name)});
        made_on_ = today;
    }

    std::vector<SavedFile> files_;
    Date made_on_{};
};

// The input bytes as the console's byte source. A wait without a time limit
// at the end of the input is the end of input; a timed wait (the rest of an
// Esc sequence) simply sees nothing come.
class Keys {
  public:
    Keys(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    int read(char* buf, int cap, int timeout_ms) {
        std::size_t left = size_ - pos_;
        if (left == 0)
            return timeout_ms < 0 ? -1 : 0;
        int n = static_cast<int>(std::min<std::size_t>(
            {left, static_cast<std::size_t>(cap), static_cast<std::size_t>(kChunk)}));
        std::memcpy(buf, data_ + pos_, static_cast<std::size_t>(n));
        pos_ += static_cast<std::size_t>(n);
        return n;
    }

  private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// The program's last words when it ended itself over a damaged or missing
// data file: every such message ends so.
bool ended_on_file_error() {
    std::string tail = captured_tail(64);
    std::string_view end = "  End of program..\n";
    return tail.size() >= end.size() &&
           tail.compare(tail.size() - end.size(), end.size(), end) == 0;
}

Fixture fixture;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    enter_work_folder(argc, argv);
    capture_stdout();
    set_exit_handler(throw_program_ended);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fixture.restore();
    reset_captured_output();
    Keys keys(data, size);
    ConsoleInput input([&keys](char* buf, int cap, int timeout_ms,
                               bool) { return keys.read(buf, cap, timeout_ms); },
                       [] { end_program(1); }, /*esc_delay_ms=*/1);
    set_console_input(&input);
    try {
        run_counter();
    } catch (const ProgramEnded& ended) {
        if (ended.status != 1)
            finding("the program ended with status %d", ended.status);
    }
    set_console_input(nullptr);

    if (ended_on_file_error())
        finding("the program ended over a data file");
    CheckResult check = check_data_folder(false);
    if (!check.problems.empty())
        finding("the data folder breaks the rules:%s", joined(check.problems).c_str());
    return 0;
}
