// The queues report: who waits for which title, in the order the hand-over
// of a returned copy serves them, and when a copy should come back.
#include "store/clients.h"
#include "store/dates.h"
#include "store/movies.h"
#include "store/reserves.h"
#include "tools/admin.h"
#include "tools/reports.h"

#include <algorithm>
#include <map>
#include <queue>

namespace {

// A reservation, its slot, and the place where its title's probe sequence
// meets it (-1 when a search never meets it: the hand-over never serves it).
struct Waiting {
    int32_t slot;
    ReserveRec r;
    int64_t met = -1;
};

using Queues = std::map<int32_t, std::vector<Waiting>>; // by movie id, each in slot order

void mark_probe_order(const DataFile& reserved, Queues& queues) {
    for (auto& [movie, waiting] : queues) {
        int64_t met = 0;
        probe_walk<ReserveRec>(reserved, movie, [&](int32_t slot, const ReserveRec&) {
            auto at = std::lower_bound(waiting.begin(), waiting.end(), slot,
                                       [](const Waiting& w, int32_t s) { return w.slot < s; });
            if (at != waiting.end() && at->slot == slot)
                at->met = met++;
            return false;
        });
    }
}

bool served(const Waiting& w, Date day) {
    return w.met >= 0 && reserve_served_first(w.r.resdate, day);
}

// The queue's order: first those the hand-over serves on day, in the order
// it picks them one after the other (each pick, among those left, follows the
// hand-over's own rule between the reservations met later and earlier), then
// the rest by date, then client.
bool goes_before(const Waiting& a, const Waiting& b, Date day) {
    const bool sa = served(a, day), sb = served(b, day);
    if (sa != sb)
        return sa;
    if (sa && a.met != b.met)
        return a.met > b.met ? reserve_served_first(a.r.resdate, b.r.resdate)
                             : !reserve_served_first(b.r.resdate, a.r.resdate);
    if (date_before(a.r.resdate, b.r.resdate) || date_before(b.r.resdate, a.r.resdate))
        return date_before(a.r.resdate, b.r.resdate);
    return a.r.client < b.r.client;
}

// The due days of each reserved title's rentals, earliest first: no more of
// them than the title has reservations.
std::map<int32_t, std::vector<Date>> due_days(const DataFile& rents, const Queues& queues) {
    auto earlier = [](Date a, Date b) { return date_before(a, b); };
    std::map<int32_t, std::priority_queue<Date, std::vector<Date>, decltype(earlier)>> latest;
    each_live<RentRec>(rents, [&](int32_t, const RentRec& r) {
        auto queue = queues.find(r.movie);
        if (queue == queues.end())
            return;
        auto& heap = latest.try_emplace(r.movie, earlier).first->second;
        heap.push(due_date(r));
        if (heap.size() > queue->second.size())
            heap.pop(); // the latest due day is past the queue's end
    });
    std::map<int32_t, std::vector<Date>> due;
    for (auto& [movie, heap] : latest) {
        for (; !heap.empty(); heap.pop())
            due[movie].push_back(heap.top());
        std::reverse(due[movie].begin(), due[movie].end());
    }
    return due;
}

} // namespace

Report queues_report(const ReportOptions& o) {
    DataFile reserved = read_table<ReserveRec>(), rents = read_table<RentRec>(),
             users = read_table<ClientRec>(), catalog = read_table<MovieRec>();
    Queues queues;
    each_live<ReserveRec>(reserved, [&](int32_t slot, const ReserveRec& r) {
        queues[r.movie].push_back({slot, r});
    });
    mark_probe_order(reserved, queues);
    auto due = due_days(rents, queues);
    Report report{"Reservation queues on " + plain_date(o.day),
                  {{"movie", "Movie", Cell::number},
                   {"title", "Title", Cell::text},
                   {"position", "Pos", Cell::number},
                   {"client", "Client", Cell::number},
                   {"first_name", "First", Cell::text},
                   {"last_name", "Last", Cell::text},
                   {"phone", "Phone", Cell::phone},
                   {"reserved", "Reserved", Cell::date},
                   {"expected", "Expected", Cell::date}},
                  {},
                  ""};
    for (auto& [movie, waiting] : queues) {
        std::sort(waiting.begin(), waiting.end(),
                  [&](const Waiting& a, const Waiting& b) { return goes_before(a, b, o.day); });
        const std::string title = title_of(catalog, movie);
        const std::vector<Date>& back = due[movie];
        for (std::size_t i = 0; i < waiting.size(); ++i) {
            Fields fields{num(movie), title, num(int64_t(i) + 1)};
            append(fields, client_fields(users, waiting[i].r.client));
            append(fields,
                   {iso_date(waiting[i].r.resdate), i < back.size() ? iso_date(back[i]) : ""});
            report.rows.push_back(std::move(fields));
        }
    }
    report.totals = plural(report.rows.size(), "reservation", "reservations") + " of " +
                    plural(queues.size(), "title.", "titles.");
    return report;
}
