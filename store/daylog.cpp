// The events of the clerk's actions, built and handed to the journal.
#include "store/daylog.h"

#include "store/dates.h"
#include "store/journal.h"

#include <cstdio>

namespace {

std::string num(int64_t v) {
    return std::to_string(v);
}

std::string day(Date d) {
    char text[24];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year % 10000, d.month % 100, d.day % 100);
    return text;
}

std::string name_of(const ClientRec& c) {
    return std::string(text_of(c.fname)) + " " + std::string(text_of(c.lname));
}

std::string yes(bool b) {
    return b ? "yes" : "no";
}

} // namespace

void log_event(const std::string& kind, const EventFields& fields) {
    journal_hold_event(event_text(kind, fields));
}

void log_subscription(const ClientRec& c, int32_t months, int32_t fine, int64_t total) {
    log_event("subscription", {{"client", num(c.id)},
                               {"name", name_of(c)},
                               {"months", num(months)},
                               {"fine", num(fine)},
                               {"total", num(total)}});
}

void log_client_added(const ClientRec& c) {
    log_event("client-added",
              {{"client", num(c.id)}, {"name", name_of(c)}, {"months", num(c.months)}});
}

void log_client_removed(const ClientRec& c, int32_t collected) {
    log_event("client-removed",
              {{"client", num(c.id)}, {"name", name_of(c)}, {"fine", num(collected)}});
}

void log_rental(const RentRec& r) {
    log_event("rental", {{"client", num(r.client)},
                         {"movie", num(r.movie)},
                         {"copy", num(r.copy)},
                         {"days", num(r.rentdays)},
                         {"due", day(due_date(r))}});
}

void log_return(const RentRec& r, int64_t late_days, int32_t fine, std::optional<int32_t> owed) {
    EventFields fields{{"client", num(r.client)},
                       {"movie", num(r.movie)},
                       {"copy", num(r.copy)},
                       {"late", num(late_days)},
                       {"fine", num(fine)}};
    if (owed)
        fields.push_back({"owed", num(*owed)});
    log_event("return", fields);
}

void log_disk_rated(int32_t movie, int32_t copy, int32_t status) {
    log_event("disk-rated", {{"movie", num(movie)}, {"copy", num(copy)}, {"status", num(status)}});
}

void log_hold_made(const SavedRec& h, bool notice) {
    log_event("hold-made", {{"client", num(h.client)},
                            {"movie", num(h.movie)},
                            {"copy", num(h.copy)},
                            {"notice", yes(notice)}});
}

void log_hold_end(HoldEnd end, const SavedRec& h) {
    const char* kind = end == HoldEnd::taken      ? "hold-taken"
                       : end == HoldEnd::given_up ? "hold-given-up"
                                                  : "hold-expired";
    log_event(kind, {{"client", num(h.client)}, {"movie", num(h.movie)}, {"copy", num(h.copy)}});
}

void log_reservation(const ReserveRec& r) {
    log_event(
        "reservation",
        {{"client", num(r.client)}, {"movie", num(r.movie)}, {"notice", yes(r.callnotice == 1)}});
}

void log_reservation_cancelled(const ReserveRec& r) {
    log_event("reservation-cancelled", {{"client", num(r.client)}, {"movie", num(r.movie)}});
}

void log_copy_added(const MovieRec& m) {
    log_event("copy-added", {{"movie", num(m.id)},
                             {"copy", num(m.copy)},
                             {"title", std::string(text_of(m.name))},
                             {"days", num(m.rentdays)},
                             {"status", num(m.diskstatus)}});
}

void log_copy_deleted(const MovieRec& m, int32_t hold_client) {
    log_event("copy-deleted",
              {{"movie", num(m.id)}, {"copy", num(m.copy)}, {"hold", num(hold_client)}});
}
