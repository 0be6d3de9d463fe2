// What the clerk's actions did, as events of the day log: the desks call one
// of these where the action happens, right after the writes it describes,
// so that the event ends up in the same action (store/journal.h) and the log
// (store/logbook.h) holds it exactly when the tables hold the writes. The
// amounts are those the desk computed. Nothing is held while the journal is
// not open.
//
// The kinds and their fields (ids are numbers, dates YYYY-MM-DD):
//   subscription     client name months fine total   paid at login; fine is
//                    the fine collected with it, total what was taken
//   client-added     client name months
//   client-removed   client name fine                fine collected on leaving
//   rental           client movie copy days due
//   return           client movie copy late fine [owed]
//                    late days and the fine for them; owed (what the client
//                    owes once it is booked) at a return at login, none at a
//                    client's removal, where the fine is part of what he pays
//   disk-rated       movie copy status
//   hold-made        client movie copy notice        notice: yes when the
//                    call notice was shown
//   hold-taken, hold-given-up, hold-expired    client movie copy
//   reservation      client movie notice             notice: asked or not
//   reservation-cancelled  client movie
//   copy-added       movie copy title days status
//   copy-deleted     movie copy hold                 hold: the client whose
//                    hold it cancelled, 0 for none
#pragma once

#include "store/logbook.h"
#include "store/records.h"

#include <cstdint>
#include <optional>

void log_subscription(const ClientRec& client, int32_t months, int32_t fine, int64_t total);
void log_client_added(const ClientRec& client);
void log_client_removed(const ClientRec& client, int32_t collected);
void log_rental(const RentRec& rental);
void log_return(const RentRec& rental, int64_t late_days, int32_t fine,
                std::optional<int32_t> owed);
void log_disk_rated(int32_t movie, int32_t copy, int32_t status);
void log_hold_made(const SavedRec& hold, bool notice);

enum class HoldEnd { taken, given_up, expired };
void log_hold_end(HoldEnd end, const SavedRec& hold);

void log_reservation(const ReserveRec& reservation);
void log_reservation_cancelled(const ReserveRec& reservation);
void log_copy_added(const MovieRec& copy);
void log_copy_deleted(const MovieRec& copy, int32_t hold_client);

// An event of rentdesk-admin's own: its kind and fields.
void log_event(const std::string& kind, const EventFields& fields);
