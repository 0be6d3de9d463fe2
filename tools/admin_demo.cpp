// rentdesk-admin demo: a small shop to try the counter on, dated from today.
// Its five tables are built under the names a growth builds in
// (<table>.new) and put in place by one intent of the journal, so a demo cut
// short leaves either no shop or, after the next start, the whole one.
#include "tools/admin.h"

#include "store/datafiles.h"
#include "store/dates.h"
#include "store/daylog.h"
#include "store/fault.h"
#include "store/hashfile.h"
#include "store/journal.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int32_t kSlots = 101; // room to grow before any table needs to
constexpr int32_t kPhoneBase = 541234500;

struct DemoClient {
    int32_t id;
    const char *first, *last, *street;
    int since; // days since the subscription started
    int32_t months, fine;
};

// Henry's subscription ended about a month ago; Irene owes seven late days.
constexpr DemoClient kClients[] = {
    {101, "Anna", "Baker", "Maple", 40, 12, 0},    {102, "Ben", "Carter", "Oak", 95, 12, 0},
    {103, "Clara", "Diaz", "Elm", 12, 6, 0},       {104, "David", "Evans", "Pine", 150, 12, 0},
    {105, "Emma", "Fischer", "Cedar", 60, 12, 0},  {106, "Frank", "Green", "Birch", 30, 3, 0},
    {107, "Grace", "Hill", "Willow", 75, 12, 0},   {108, "Henry", "Ito", "Aspen", 400, 12, 0},
    {109, "Irene", "Jones", "Poplar", 20, 12, 35}, {110, "Jack", "King", "Chestnut", 5, 1, 0},
    {111, "Karen", "Lopez", "Hazel", 200, 12, 0},  {112, "Leo", "Moreau", "Spruce", 3, 12, 0},
};

struct DemoTitle {
    int32_t id;
    const char* name;
    int32_t copies, rentdays;
};

constexpr DemoTitle kTitles[] = {
    {1, "Casablanca", 2, 3},
    {2, "Vertigo", 1, 3},
    {3, "The Third Man", 2, 7},
    {4, "Rear Window", 2, 3},
    {5, "Metropolis", 1, 7},
    {6, "Singin' in the Rain", 2, 3},
    {7, "Some Like It Hot", 3, 3},
    {8, "Roman Holiday", 1, 5},
    {9, "Psycho", 2, 5},
    {10, "The Apartment", 1, 5},
    {11, "Dr. Strangelove", 1, 7},
    {12, "Jaws", 3, 3},
    {13, "Alien", 2, 7},
    {14, "Blade Runner", 2, 5},
    {15, "Amadeus", 1, 7},
    {16, "Back to the Future", 3, 3},
    {17, "The Princess Bride", 1, 3},
    {18, "Groundhog Day", 2, 3},
    {19, "Fargo", 1, 5},
    {20, "Spirited Away", 2, 5},
};

struct DemoLoan {
    int32_t client, movie, copy;
    int since; // days since the rental, the hold or the reservation
};

// David's Psycho is a week late; both copies of The Third Man are out and
// Emma (who wants a call) and Frank wait for it; a Jaws is held for Grace.
constexpr DemoLoan kRentals[] = {{101, 1, 1, 2},  {102, 3, 1, 3},  {103, 3, 2, 1},
                                 {104, 9, 2, 12}, {110, 16, 1, 0}, {111, 13, 1, 4}};
constexpr DemoLoan kReservations[] = {{105, 3, 1, 2}, {106, 3, 0, 1}}; // copy: the call notice
constexpr DemoLoan kHold = {107, 12, 2, 2};

// The day n days before d on the shop's calendar (February has 28 days).
Date days_before(Date d, int n) {
    for (; n > 0; --n) {
        if (--d.day >= 1)
            continue;
        if (--d.month < 1) {
            d.month = 12;
            --d.year;
        }
        d.day = month_length(d.month);
    }
    return d;
}

struct Shop {
    std::vector<ClientRec> clients;
    std::vector<MovieRec> movies;
    std::vector<RentRec> rentals;
    std::vector<ReserveRec> reservations;
    std::vector<SavedRec> holds;
};

Shop demo_shop(Date today) {
    Shop shop;
    for (const DemoClient& c : kClients) {
        ClientRec r = TableTraits<ClientRec>::blank();
        r.id = c.id;
        set_text(r.fname, c.first);
        set_text(r.lname, c.last);
        set_text(r.address, c.street);
        r.subdate = days_before(today, c.since);
        r.phone = kPhoneBase + (c.id - 100);
        r.months = c.months;
        r.fine = c.fine;
        shop.clients.push_back(r);
    }
    for (const DemoTitle& t : kTitles)
        for (int32_t copy = 1; copy <= t.copies; ++copy) {
            MovieRec m = TableTraits<MovieRec>::blank();
            set_text(m.name, t.name);
            m.id = t.id;
            m.copy = copy;
            m.diskstatus = 7 + (t.id + copy) % 4;
            m.rentdays = t.rentdays;
            for (const DemoLoan& l : kRentals)
                m.rented |= l.movie == t.id && l.copy == copy;
            m.saved = kHold.movie == t.id && kHold.copy == copy;
            shop.movies.push_back(m);
        }
    for (const DemoLoan& l : kRentals)
        shop.rentals.push_back(RentRec{l.client, days_before(today, l.since), l.movie, l.copy,
                                       kTitles[l.movie - 1].rentdays});
    for (const DemoLoan& l : kReservations)
        shop.reservations.push_back(
            ReserveRec{l.client, l.movie, l.copy, days_before(today, l.since)});
    shop.holds.push_back(
        SavedRec{kHold.client, kHold.movie, kHold.copy, days_before(today, kHold.since)});
    return shop;
}

// Builds the table of Rec records in a fresh <table>.new, synced.
template <class Rec>
void build_table(const std::vector<Rec>& recs) {
    const std::string temp = std::string(TableTraits<Rec>::file) + ".new";
    auto file = DataFile::open(temp, DataFile::Mode::Create);
    if (!file)
        report_fault(Fault::cannot_open, temp, "cannot be created");
    hash_format<Rec>(*file, kSlots);
    for (const Rec& r : recs)
        hash_insert(*file, r);
    file->close();
}

} // namespace

int cmd_demo(const Args& args) {
    if (!args.empty())
        return usage_error("demo takes no arguments");
    lock_for_writing(present_data_files().empty()); // new tables: a stale journal goes
    const std::vector<std::string> present = present_data_files();
    if (present.size() == std::size(kDataFileNames)) {
        std::printf("The five data files are already here; demo changed nothing.\n");
        return 0;
    }
    if (!present.empty()) {
        std::fprintf(stderr,
                     "rentdesk-admin: only some of the data files are here: %s\n"
                     "Nothing was changed. A demo shop needs a folder without any of them.\n",
                     joined(present).c_str());
        return 2;
    }
    const Shop shop = demo_shop(get_today());
    build_table(shop.clients);
    build_table(shop.rentals);
    build_table(shop.holds);
    build_table(shop.reservations);
    build_table(shop.movies);
    sync_folder(""); // the new names survive a power failure before the intent names them
    journal_open();
    for (const char* name : kDataFileNames)
        journal_hold_rename(std::string(name) + ".new", name);
    log_event("demo", {{"clients", std::to_string(shop.clients.size())},
                       {"copies", std::to_string(shop.movies.size())},
                       {"rentals", std::to_string(shop.rentals.size())},
                       {"reservations", std::to_string(shop.reservations.size())},
                       {"holds", std::to_string(shop.holds.size())}});
    journal_commit();
    std::printf("Made a demo shop in %s: %zu clients, %zu titles in %zu copies, %zu rentals (one "
                "of them late), %zu reservations and %zu hold.\n",
                current_folder().c_str(), shop.clients.size(), std::size(kTitles),
                shop.movies.size(), shop.rentals.size(), shop.reservations.size(),
                shop.holds.size());
    return 0;
}
