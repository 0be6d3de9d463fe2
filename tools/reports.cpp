// The reports on rentals, holds, fines, subscriptions and the whole shop,
// and the parts every report shares.
#include "tools/reports.h"

#include "store/clients.h"
#include "store/dates.h"
#include "store/movies.h"
#include "tools/admin.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <memory>

const std::vector<ReportKind> kReports = {
    {"overdue", overdue_report},
    {"holds", holds_report},
    {"queues", queues_report},
    {"fines", fines_report},
    {"subscriptions", subscriptions_report},
    {"summary", summary_report},
    {"day", day_report},
    {"history", history_report},
};

namespace {

// The columns that open every row about a client.
const Column kClient{"client", "Client", Cell::number};
const Column kFirst{"first_name", "First", Cell::text};
const Column kLast{"last_name", "Last", Cell::text};
const Column kPhone{"phone", "Phone", Cell::phone};

// The columns of a row about a client, then rest.
std::vector<Column> client_columns(std::initializer_list<Column> rest) {
    std::vector<Column> columns{kClient, kFirst, kLast, kPhone};
    columns.insert(columns.end(), rest);
    return columns;
}

// The columns of a row about a client and a copy: the client's, the movie,
// the copy and its title, then rest.
std::vector<Column> client_copy_columns(std::initializer_list<Column> rest) {
    std::vector<Column> columns = client_columns({{"movie", "Movie", Cell::extra},
                                                  {"copy", "Copy", Cell::extra},
                                                  {"title", "Title", Cell::text}});
    columns.insert(columns.end(), rest);
    return columns;
}

} // namespace

std::string plural(std::size_t n, const char* one, const char* many) {
    return num(static_cast<int64_t>(n)) + " " + (n == 1 ? one : many);
}

void append(Fields& to, Fields more) {
    to.insert(to.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
}

Fields client_fields(const DataFile& users, int32_t id) {
    Fields fields(4);
    ClientRec c;
    put_client(id, client_find(users, id, &c) < 0 ? nullptr : &c, fields.data());
    return fields;
}

void put_client(int32_t id, const ClientRec* found, std::string* fields) {
    put_num(fields[0], id);
    if (!found) {
        fields[1].clear();
        fields[2].clear();
        fields[3].clear();
        return;
    }
    fields[1] = text_of(found->fname);
    fields[2] = text_of(found->lname);
    put_num(fields[3], found->phone);
}

std::string title_of(const DataFile& catalog, int32_t movie) {
    MovieRec m;
    return movie_find(catalog, movie, &m) < 0 ? "" : std::string(text_of(m.name));
}

void put_num(std::string& field, int64_t v) {
    char digits[24];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, v);
    field.assign(digits, end);
}

std::array<int64_t, 3> date_key(Date d) {
    return {d.year, d.month, d.day};
}

void sort_into(std::vector<Line>& lines, Report& report) {
    sort_lines(lines);
    for (Line& line : lines)
        report.rows.push_back(std::move(line.fields));
}

Report overdue_report(const ReportOptions& o) {
    struct Late {
        std::array<int64_t, 3> key;
        int32_t client;
        RentRec r;
        int64_t late;
        int32_t fine;
        int32_t client_slot, copy_slot; // where the client and a copy were found, or -1
    };
    // What the rows are made from as they are printed.
    struct Rows {
        DataFile users, catalog;
        std::vector<Late> late;
    };
    const DataFile rents = read_table<RentRec>();
    auto rows = std::make_shared<Rows>(
        Rows{read_table<ClientRec>(), read_table<MovieRec>(), std::vector<Late>{}});
    Report report{"Overdue rentals on " + plain_date(o.day),
                  client_copy_columns({{"rented", "Rented", Cell::date},
                                       {"due", "Due", Cell::date},
                                       {"days_late", "Late", Cell::number},
                                       {"fine", "Fine", Cell::number}}),
                  {},
                  ""};
    int64_t fines = 0;
    each_live<RentRec>(rents, [&](int32_t, const RentRec& r) {
        const int64_t late = late_days_on(r, o.day);
        if (late <= 0)
            return;
        const int32_t fine = late_fine_on(r, kDayFine, o.day);
        fines += fine;
        // Found here, in the order of the rentals, before anything is printed:
        // a damaged table ends the report before its first line.
        rows->late.push_back({{-late, 0, 0},
                              r.client,
                              r,
                              late,
                              fine,
                              client_find(rows->users, r.client),
                              movie_find(rows->catalog, r.movie)});
    });
    report.totals = plural(rows->late.size(), "rental", "rentals") + " overdue, " + num(fines) +
                    " in late fines.";
    sort_lines(rows->late);
    report.made_rows = rows->late.size();
    report.make = [rows](std::size_t i, Fields& fields) {
        const Late& l = rows->late[i];
        fields.resize(11);
        const int32_t client = l.client_slot, copy = l.copy_slot;
        const ClientRec c = client < 0 ? ClientRec{} : client_read(rows->users, client);
        put_client(l.r.client, client < 0 ? nullptr : &c, fields.data());
        put_num(fields[4], l.r.movie);
        put_num(fields[5], l.r.copy);
        if (copy < 0)
            fields[6].clear();
        else
            fields[6] = text_of(movie_read(rows->catalog, copy).name);
        fields[7] = iso_date(l.r.rentdate);
        fields[8] = iso_date(due_date(l.r));
        put_num(fields[9], l.late);
        put_num(fields[10], l.fine);
    };
    return report;
}

Report holds_report(const ReportOptions& o) {
    DataFile saved = read_table<SavedRec>(), users = read_table<ClientRec>(),
             catalog = read_table<MovieRec>();
    Report report{"Held copies on " + plain_date(o.day),
                  client_copy_columns({{"held_since", "Held", Cell::date},
                                       {"last_day", "Last day", Cell::date},
                                       {"state", "State", Cell::fixed}}),
                  {},
                  ""};
    std::vector<Line> lines;
    std::size_t ran_out = 0;
    each_live<SavedRec>(saved, [&](int32_t, const SavedRec& h) {
        const Date last = hold_end(h.savedate);
        const bool over = date_before(last, o.day); // the saved-list update releases it
        ran_out += over;
        Fields fields = client_fields(users, h.client);
        append(fields, {num(h.movie), num(h.copy), title_of(catalog, h.movie), iso_date(h.savedate),
                        iso_date(last), over ? "ran out" : "waiting"});
        lines.push_back({date_key(last), h.client, std::move(fields)});
    });
    report.totals =
        plural(lines.size(), "hold", "holds") + ", " + num(int64_t(ran_out)) + " ran out.";
    sort_into(lines, report);
    return report;
}

Report fines_report(const ReportOptions& o) {
    DataFile users = read_table<ClientRec>();
    Report report{"Fines owed on " + plain_date(o.day),
                  client_columns({{"fine", "Fine", Cell::number}}),
                  {},
                  ""};
    std::vector<Line> lines;
    int64_t total = 0;
    each_live<ClientRec>(users, [&](int32_t, const ClientRec& c) {
        if (c.fine <= 0)
            return;
        total += c.fine;
        lines.push_back({{-int64_t(c.fine), 0, 0},
                         c.id,
                         {num(c.id), std::string(text_of(c.fname)), std::string(text_of(c.lname)),
                          num(c.phone), num(c.fine)}});
    });
    report.totals = plural(lines.size(), "client owes ", "clients owe ") + num(total) + ".";
    sort_into(lines, report);
    return report;
}

Report subscriptions_report(const ReportOptions& o) {
    DataFile users = read_table<ClientRec>();
    Report report{
        "Subscriptions ended or ending within " + num(o.within) + " days of " + plain_date(o.day),
        client_columns({{"ends", "Ends", Cell::date}, {"days_left", "Days left", Cell::number}}),
        {},
        ""};
    std::vector<Line> lines;
    each_live<ClientRec>(users, [&](int32_t, const ClientRec& c) {
        const Date ends = subscription_end(c);
        const int64_t left = days_between(o.day, ends);
        if (left > o.within)
            return;
        lines.push_back({{left, 0, 0},
                         c.id,
                         {num(c.id), std::string(text_of(c.fname)), std::string(text_of(c.lname)),
                          num(c.phone), iso_date(ends), num(left)}});
    });
    report.totals = plural(lines.size(), "subscription", "subscriptions") + ".";
    sort_into(lines, report);
    return report;
}
