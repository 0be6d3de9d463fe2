// rentdesk-admin export: every live record of a table as CSV, in slot order.
#include "tools/admin.h"
#include "tools/record_csv.h"
#include "tools/reports.h"

#include <cstdio>

namespace {

std::string text(std::string_view stored) {
    return std::string(stored);
}

template <class Rec>
int export_table(const char* header) {
    begin_reading_only();
    DataFile table = read_table<Rec>();
    binary_output();
    std::printf("%s\n", header);
    each_live<Rec>(
        table, [](int32_t, const Rec& r) { std::fputs(csv_row(fields_of(r)).c_str(), stdout); });
    return finish_output();
}

} // namespace

Fields fields_of(const ClientRec& r) {
    return {num(r.id),
            text(text_of(r.fname)),
            text(text_of(r.lname)),
            text(text_of(r.address)),
            iso_date(r.subdate),
            num(r.phone),
            num(r.months),
            num(r.fine)};
}

Fields fields_of(const MovieRec& r) {
    return {text(text_of(r.name)), num(r.id),     num(r.copy), num(r.diskstatus),
            num(r.rentdays),       num(r.rented), num(r.saved)};
}

Fields fields_of(const RentRec& r) {
    return {num(r.client), iso_date(r.rentdate), num(r.movie), num(r.copy), num(r.rentdays)};
}

Fields fields_of(const ReserveRec& r) {
    return {num(r.client), num(r.movie), num(r.callnotice), iso_date(r.resdate)};
}

Fields fields_of(const SavedRec& r) {
    return {num(r.client), num(r.movie), num(r.copy), iso_date(r.savedate)};
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
