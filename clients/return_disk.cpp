// The return of a rented disk right after login.
#include "clients/return_disk.h"

#include "clients/copies.h"
#include "clients/handover.h"
#include "clients/returned_disk.h"
#include "shell/screen.h"
#include "store/clients.h"
#include "store/datafiles.h"
#include "store/dates.h"
#include "store/daylog.h"
#include "store/movies.h"
#include "store/rents.h"

namespace {

// Adds the late fine to the fine the file holds for the client; answers
// what he owes then (nothing when the file lacks him).
std::optional<int32_t> book_late_fine(DataFile& users, int32_t id, int32_t late) {
    ClientRec stored;
    int32_t slot = client_find(users, id, &stored);
    if (slot < 0)
        return std::nullopt;
    if (late != 0) {
        stored.fine = add_fine(stored.fine, late);
        client_write(users, slot, stored);
    }
    return stored.fine;
}

// Closes the rental at rent_slot: books the late fine silently, deletes the
// rental, hands the copy to the next reservation and records its status.
void take_disk_back(DataFile& rents, int32_t rent_slot, int32_t id, int32_t rate) {
    DataFile users = open_table<ClientRec>();
    DataFile catalog = open_table<MovieRec>();
    RentRec rental = rent_read(rents, rent_slot);
    int32_t late = late_fine(rental, rate);
    std::optional<int32_t> owed = book_late_fine(users, id, late);
    rent_delete(rents, rental);
    log_return(rental, late_days_on(rental, get_today()), late, owed);

    DataFile reserved = open_table<ReserveRec>();
    DataFile saved = open_table<SavedRec>();
    bool handed =
        hand_over_copy(rental.movie, rental.copy, Notice::returned, reserved, saved, catalog);

    // The copy is marked back before the clerk rates it: a session that ends
    // at that question must not leave it marked rented without a rental.
    if (mark_back(catalog, rental.movie, rental.copy, handed))
        rate_copy(
            catalog, rental.movie, rental.copy,
            ask_disk_status("\n\n\n What is the status of the disk(insert number from 1-10)\n"));
    users.close();
    catalog.close();
    reserved.close();
    saved.close();
}

} // namespace

void return_at_login(ClientRec client, int32_t rate) {
    DataFile rents = open_table<RentRec>();
    int32_t rent_slot = rent_find(rents, client.id);
    if (rent_slot < 0) {
        info_message("\n\n\n The client don't need to return movie");
        rents.close();
        return;
    }
    info_message("\n\n\n The client need to return movie");
    int answer = yes_no_dialog(" Does the client has the movie to return? Y/N");
    if (answer == kYes) {
        take_disk_back(rents, rent_slot, client.id, rate);
    } else if (answer == kNo) {
        info_screen();
        print_plain("\n\n\n The client Dont have the movie that he rented");
        print_plain("\n The client can't rent another movie but he can reserve a rented copy");
        press_any_key();
    }
    rents.close();
}
