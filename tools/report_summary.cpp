// The summary report: the shop in figures on one day.
#include "store/dates.h"
#include "store/movies.h"
#include "tools/admin.h"
#include "tools/reports.h"

#include <algorithm>

namespace {

// Distinct movie ids are gathered, sorted and merged a batch at a time while
// there are no more of them than this; a catalogue with more titles is
// counted again at each title's first copy on its probe path, slot by slot.
constexpr std::size_t kMostTitlesKept = std::size_t(1) << 21;

// Gathers the id into ids; answers false once there are too many titles.
bool gather(std::vector<int32_t>& ids, int32_t id) {
    ids.push_back(id);
    if (ids.size() < 2 * kMostTitlesKept)
        return true;
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids.size() <= kMostTitlesKept;
}

int64_t count_titles(const DataFile& catalog, std::vector<int32_t>& ids, bool kept) {
    if (kept) {
        std::sort(ids.begin(), ids.end());
        return std::unique(ids.begin(), ids.end()) - ids.begin();
    }
    int64_t titles = 0;
    each_live<MovieRec>(catalog, [&](int32_t slot, const MovieRec& m) {
        titles += movie_find(catalog, m.id) == slot;
    });
    return titles;
}

} // namespace

Report summary_report(const ReportOptions& o) {
    DataFile users = read_table<ClientRec>(), catalog = read_table<MovieRec>(),
             rents = read_table<RentRec>(), reserved = read_table<ReserveRec>();
    int64_t clients = 0, running = 0, owed = 0;
    each_live<ClientRec>(users, [&](int32_t, const ClientRec& c) {
        ++clients;
        running += !date_before(subscription_end(c), o.day);
        owed += c.fine > 0 ? c.fine : 0;
    });
    int64_t copies = 0, rented = 0, held = 0;
    std::vector<int32_t> ids;
    bool kept = true;
    each_live<MovieRec>(catalog, [&](int32_t, const MovieRec& m) {
        ++copies;
        rented += m.rented == 1;
        held += m.saved == 1;
        kept = kept && gather(ids, m.id);
    });
    const int64_t titles = count_titles(catalog, ids, kept);
    int64_t reservations = 0, overdue = 0, would_add = 0;
    each_live<ReserveRec>(reserved, [&](int32_t, const ReserveRec&) { ++reservations; });
    each_live<RentRec>(rents, [&](int32_t, const RentRec& r) {
        if (late_days_on(r, o.day) > 0) {
            ++overdue;
            would_add += late_fine_on(r, kDayFine, o.day);
        }
    });
    Report report{"The shop on " + plain_date(o.day),
                  {{"figure", "Figure", Cell::fixed}, {"value", "Value", Cell::number}},
                  {},
                  ""};
    const std::pair<const char*, int64_t> figures[] = {
        {"clients", clients},
        {"clients with a running subscription", running},
        {"titles", titles},
        {"copies", copies},
        {"copies rented", rented},
        {"copies held", held},
        {"reservations", reservations},
        {"overdue rentals", overdue},
        {"fines owed in total", owed},
        {"fines overdue rentals would add today", would_add}};
    for (const auto& [figure, value] : figures)
        report.rows.push_back({figure, num(value)});
    return report;
}
