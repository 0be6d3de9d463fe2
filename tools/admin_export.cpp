// rentdesk-admin export: every live record of a table as CSV, in slot order.
#include "tools/admin.h"
#include "tools/record_csv.h"
#include "tools/reports.h"

#include <cstdio>
#include <string>

namespace {

template <class Rec>
int export_table(const char* header) {
    begin_reading_only();
    DataFile table = read_table<Rec>();
    binary_output();
    std::printf("%s\n", header);
    std::string out;
    each_live<Rec>(table, [&](int32_t, const Rec& r) {
        append_row(out, r);
        write_out(out);
    });
    write_out(out, true);
    return finish_output();
}

} // namespace

void append_row(std::string& out, const ClientRec& r) {
    append_number(out, r.id, true);
    append_field(out, text_of(r.fname));
    append_field(out, text_of(r.lname));
    append_field(out, text_of(r.address));
    append_date(out, r.subdate);
    append_numbers(out, {r.phone, r.months, r.fine});
    out += '\n';
}

void append_row(std::string& out, const MovieRec& r) {
    append_field(out, text_of(r.name), true);
    append_numbers(out, {r.id, r.copy, r.diskstatus, r.rentdays, r.rented, r.saved});
    out += '\n';
}

void append_row(std::string& out, const RentRec& r) {
    append_number(out, r.client, true);
    append_date(out, r.rentdate);
    append_numbers(out, {r.movie, r.copy, r.rentdays});
    out += '\n';
}

void append_row(std::string& out, const ReserveRec& r) {
    append_number(out, r.client, true);
    append_numbers(out, {r.movie, r.callnotice});
    append_date(out, r.resdate);
    out += '\n';
}

void append_row(std::string& out, const SavedRec& r) {
    append_number(out, r.client, true);
    append_numbers(out, {r.movie, r.copy});
    append_date(out, r.savedate);
    out += '\n';
}

int cmd_export(const Args& args) {
    const std::string table = args.size() == 1 ? args[0] : "";
    if (table == "clients")
        return export_table<ClientRec>(kClientHeader);
    if (table == "movies")
        return export_table<MovieRec>(kMovieHeader);
    if (table == "rentals")
        return export_table<RentRec>(kRentHeader);
    if (table == "reservations")
        return export_table<ReserveRec>(kReserveHeader);
    if (table == "holds")
        return export_table<SavedRec>(kSavedHeader);
    return usage_error("export takes one table: clients, movies, rentals, reservations or holds");
}
