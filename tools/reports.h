// The owner's reports: which disks are late and what they owe, which holds
// run out when, who waits for which title, who owes money, whose
// subscription ends, and the shop in figures. Each reads the data files it
// needs in slot order, opened for reading only, and keeps only the rows it
// prints; dates are counted on the counter's calendar (store/dates.h).
#pragma once

#include "store/datafile.h"
#include "store/hashfile.h"
#include "tools/report_table.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct ReportOptions {
    Date day;                                // the day the report is taken on
    int32_t within;                          // the subscriptions report: days ahead
    Date from{}, to{};                       // the cash-up: its first and last day
    int32_t client = 0, movie = 0, copy = 0; // the history: whose (0: none given)
};

struct ReportKind {
    const char* name;
    Report (*make)(const ReportOptions& options);
};

// The reports by name, in the order --help lists them.
extern const std::vector<ReportKind> kReports;

// Each report (tools/reports.cpp, tools/report_queues.cpp).
Report overdue_report(const ReportOptions& options);
Report holds_report(const ReportOptions& options);
Report queues_report(const ReportOptions& options);
Report fines_report(const ReportOptions& options);
Report subscriptions_report(const ReportOptions& options);
Report summary_report(const ReportOptions& options);
// The reports on the day log (tools/admin_log.cpp).
Report day_report(const ReportOptions& options);
Report history_report(const ReportOptions& options);

// ---- What the reports share -----------------------------------------------

// Calls visit(slot, record) for every live record of the table, in slot
// order, a chunk of the file at a time.
template <class Rec, class Visit>
void each_live(const DataFile& f, Visit visit) {
    hash_pass<Rec>(f, 0, [&](int32_t slot, const Rec& r) {
        if (is_live(r))
            visit(slot, r);
        return false;
    });
}

// A number as the rows show it.
inline std::string num(int64_t v) {
    return std::to_string(v);
}
// "1 thing" or "n things".
std::string plural(std::size_t n, const char* one, const char* many);
// Moves the fields of more onto the end of to.
void append(Fields& to, Fields more);

// The client's id, first and last name and phone; only the id when user.txt
// does not hold him. put_client sets them into the four strings at fields,
// from the client's record found (nullptr: none).
Fields client_fields(const DataFile& users, int32_t id);
void put_client(int32_t id, const ClientRec* found, std::string* fields);
// The title of a movie id; empty when the catalogue holds no copy of it.
std::string title_of(const DataFile& catalog, int32_t movie);
// A number as the rows show it, set into field.
void put_num(std::string& field, int64_t v);

// A row with what it sorts on: key, then the client id.
struct Line {
    std::array<int64_t, 3> key;
    int32_t client;
    Fields fields;
};
// Rows with a key and a client, sorted by key, then client.
template <class Row>
void sort_lines(std::vector<Row>& rows) {
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return a.key != b.key ? a.key < b.key : a.client < b.client;
    });
}
// The lines sorted (key, then client) into the report's rows.
void sort_into(std::vector<Line>& lines, Report& report);
// A date as three numbers a key sorts by.
std::array<int64_t, 3> date_key(Date d);
