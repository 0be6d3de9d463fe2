// The owner's reports on the day log: the cash-up of a day or a span of
// days, and the history of a client or of a copy; and rentdesk-admin
// receipt, which prints a payment's receipt again. They read the log's
// files only (store/logbook.h), as they stand, oldest line first.
#include "store/logbook.h"
#include "store/receipt.h"
#include "tools/admin.h"
#include "tools/reports.h"

#include <array>
#include <cstdio>
#include <map>

namespace {

// The log's lines, read as they stand; what is wrong with the log is said on
// standard error (a report of it then counts what it could read).
std::vector<LogLine> read_log() {
    for (const std::string& problem : log_problems("", std::nullopt))
        std::fprintf(stderr, "rentdesk-admin: the day log: %s\n", problem.c_str());
    std::vector<LogLine> lines;
    std::string why;
    if (!each_log_line(
            "", [&](const LogLine& line) { lines.push_back(line); }, &why)) {
        std::fprintf(stderr, "%s\n", why.c_str());
        std::exit(1);
    }
    return lines;
}

// The columns of the cash-up's figures: the programs, then the total.
const std::array<const char*, 3> kPrograms = {"rentdesk", "rentdesk2", "rentdesk-admin"};

using Figures = std::map<std::string, std::array<int64_t, 3>>;

// Adds one event to the figures of its program.
void count(Figures& f, const LogLine& e) {
    const std::size_t p = e.program == kPrograms[0]               ? 0
                          : e.program == kPrograms[1]             ? 1
                          : e.program.rfind(kPrograms[2], 0) == 0 ? 2
                                                                  : 3;
    if (p == 3)
        return; // a program the cash-up does not know
    auto add = [&](const char* figure, int64_t value) { f[figure][p] += value; };
    if (e.kind == "subscription") {
        add("subscriptions", e.number("total") - e.number("fine"));
        add("fines collected", e.number("fine"));
    } else if (e.kind == "client-removed") {
        add("fines collected", e.number("fine"));
        add("clients removed", 1);
    } else if (e.kind == "return") {
        add("returns", 1);
        add("late returns", e.number("late") > 0);
        if (e.has("owed"))
            add("fines booked (not yet collected)", e.number("fine"));
    } else if (e.kind == "import") {
        add(e.field("table") == "clients" ? "clients added" : "copies added", e.number("rows"));
    } else {
        static const std::map<std::string, const char*> kCounted = {
            {"rental", "rentals"},
            {"reservation", "reservations"},
            {"hold-made", "holds made"},
            {"hold-taken", "holds taken"},
            {"hold-given-up", "holds given up"},
            {"hold-expired", "holds expired"},
            {"client-added", "clients added"},
            {"copy-added", "copies added"},
            {"copy-deleted", "copies removed"}};
        if (auto k = kCounted.find(e.kind); k != kCounted.end())
            add(k->second, 1);
    }
}

std::string day_of(const LogLine& e) {
    return e.time.substr(0, 10);
}

} // namespace

Report day_report(const ReportOptions& o) {
    const std::string from = iso_date(o.from), to = iso_date(o.to);
    Figures f;
    for (const LogLine& e : read_log())
        if (day_of(e) >= from && day_of(e) <= to)
            count(f, e);
    Report report{from == to ? "Cash-up of " + plain_date(o.from)
                             : "Cash-up from " + plain_date(o.from) + " to " + plain_date(o.to),
                  {{"figure", "Figure", Cell::fixed},
                   {kPrograms[0], kPrograms[0], Cell::number},
                   {kPrograms[1], kPrograms[1], Cell::number},
                   {kPrograms[2], kPrograms[2], Cell::number},
                   {"total", "Total", Cell::number}},
                  {},
                  ""};
    f["money taken"] = f["subscriptions"];
    for (std::size_t p = 0; p < 3; ++p)
        f["money taken"][p] += f["fines collected"][p];
    for (const char* figure :
         {"money taken", "subscriptions", "fines collected", "fines booked (not yet collected)",
          "rentals", "returns", "late returns", "reservations", "holds made", "holds taken",
          "holds given up", "holds expired", "clients added", "clients removed", "copies added",
          "copies removed"}) {
        const auto& v = f[figure];
        report.rows.push_back({figure, num(v[0]), num(v[1]), num(v[2]), num(v[0] + v[1] + v[2])});
    }
    return report;
}

namespace {

// The fields of an event but those the history's other columns show.
std::string details(const LogLine& e, const ReportOptions& o) {
    std::string text;
    for (const auto& [name, value] : e.fields) {
        if ((o.client && name == "client") || (o.movie && name == "movie") ||
            (o.copy && name == "copy"))
            continue;
        text += (text.empty() ? "" : " ") + name + "=" + value;
    }
    return text;
}

bool concerns(const LogLine& e, const ReportOptions& o) {
    if (o.client)
        return e.field("client") == num(o.client) || e.field("hold") == num(o.client);
    return e.field("movie") == num(o.movie) && (!o.copy || e.field("copy") == num(o.copy));
}

// What the client owes after the event, where the event says so: nothing on
// joining, after paying at login, after leaving; owed after a return booked.
std::optional<int64_t> owed_after(const LogLine& e) {
    if (e.kind == "client-added" || e.kind == "subscription" || e.kind == "client-removed")
        return 0;
    if (e.kind == "return" && e.has("owed"))
        return e.number("owed");
    return std::nullopt;
}

} // namespace

Report history_report(const ReportOptions& o) {
    const std::string of = o.client ? "client " + num(o.client)
                           : o.copy ? "copy " + num(o.copy) + " of movie " + num(o.movie)
                                    : "movie " + num(o.movie);
    Report report{"History of " + of,
                  {{"number", "No.", Cell::number},
                   {"date", "Date", Cell::date},
                   {"time", "Time", Cell::fixed},
                   {"program", "Program", Cell::phone},
                   {"event", "Event", Cell::fixed},
                   {"details", "Details", Cell::text}},
                  {},
                  ""};
    if (o.client)
        report.columns.push_back({"owed", "Owed", Cell::number});
    std::optional<int64_t> owed;
    for (const LogLine& e : read_log()) {
        if (!concerns(e, o))
            continue;
        Fields row{num(e.seq), day_of(e), e.time.substr(11), e.program, e.kind, details(e, o)};
        if (o.client) {
            owed = owed_after(e) ? owed_after(e) : owed;
            row.push_back(owed ? num(*owed) : "");
        }
        report.rows.push_back(std::move(row));
    }
    report.totals = plural(report.rows.size(), "event", "events") +
                    (o.client && owed ? "; the client owes " + num(*owed) + "." : ".");
    return report;
}

int cmd_receipt(const Args& args) {
    int32_t seq = 0;
    if (args.size() != 1 || !parse_number(args[0], 1, INT32_MAX, seq))
        return usage_error("receipt takes the number of a payment's event");
    begin_reading_only();
    for (const LogLine& e : read_log()) {
        if (e.seq != seq)
            continue;
        if (!is_payment(e)) {
            std::fprintf(stderr, "rentdesk-admin: event %d is a %s, not a payment.\n", seq,
                         e.kind.c_str());
            return 1;
        }
        std::fputs(receipt_text(e).c_str(), stdout);
        return finish_output();
    }
    std::fprintf(stderr, "rentdesk-admin: the day log holds no event %d.\n", seq);
    return 1;
}
