// Adding and removing clients.
#include "clients/maintenance.h"

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
#include "store/reserves.h"
#include "store/saved.h"
#include "store/tables.h"

namespace {

// ---- Adding -------------------------------------------------------------

void add_client(DataFile& users) {
    ClientRec ins = TableTraits<ClientRec>::blank();
    print_plain(kInsertClientBanner);
    ins.id = ask_number("\n\n\n Insert identification number\n", positive_number);
    while (client_find(users, ins.id) >= 0) {
        info_message("\n\n\n Identification number is already in the system\n");
        clear_screen();
        print_plain(kInsertClientBanner);
        ins.id = ask_number("\n\n\n Insert again identification number\n", positive_number);
    }
    ask_word("\n Insert client first name\n", ins.fname);
    ask_word("\n Insert client last name\n", ins.lname);
    ask_word("\n Insert client adrress\n", ins.address);
    ins.phone = ask_number("\n Insert client phone number(without bar's!)\n", not_negative);
    ins.subdate = get_today();
    ins.fine = 0;
    ins.months = ask_number("\n How many months the client want to subscribe?\n", not_negative);
    client_insert(users, ins);
    log_client_added(ins);
    info_message("\n\n\n Client was added to database.");
}

// ---- Removing -----------------------------------------------------------

// Asks for the client to remove until one is found or the clerk gives up;
// answers the client's slot, or -1.
int32_t find_client_to_remove(const DataFile& users) {
    while (true) {
        print_plain(kRemoveLoginBanner);
        int32_t cldel = ask_number(" Insert client ID number to delete!\n", positive_number);
        int32_t slot = client_find(users, cldel);
        if (slot >= 0)
            return slot;
        info_message("\n\n\n Client wasn't found!");
        if (yes_no_dialog(" Continue searching for another client to delete? Y/N") != kYes)
            return -1;
    }
}

// Shows what the client owes and answers whether he paid it. The old fine
// alone waits for a bare key, the sum after a returned disk for the usual
// prompt.
bool collect(int32_t sum, bool with_prompt) {
    info_screen();
    print_fmt("\n\n\n The client have to pay first a sum of: %d", sum);
    if (with_prompt)
        press_any_key();
    else
        read_key();
    return yes_no_dialog(" Did the client paid the fine?\n\n Yes if the client paid\n"
                         " No or ESC if he didn't") == kYes;
}

// What a removed client settles: the status of his returned disk, the
// late fine on it, and the sum he paid.
struct Settled {
    int32_t disksta = 0;
    int32_t late = 0;
    int32_t paid = 0;
};

// The client's open rental, settled before anything is written: the disk
// brought back and rated, and the stored fine with the late fine paid.
// Answers false when the removal must stop.
bool settle_rental(const ClientRec& del, RentRec rental, int32_t rate, Settled& s) {
    if (yes_no_dialog(" Do the client has the movie he has to return? Y/N") != kYes) {
        info_screen();
        print_plain("\n\n\n The delete operation was aborted because the client don't have the "
                    "movie to return!!!");
        read_key();
        return false;
    }
    s.disksta = ask_disk_status(kDiskStatusQuestion);
    s.late = late_fine(rental, rate);
    s.paid = add_fine(del.fine, s.late);
    return s.paid == 0 || collect(s.paid, true);
}

// Closes the rental of a removed client: the copy comes back with its new
// status and passes to the next reservation of its title.
void close_rental(DataFile& rents, DataFile& reserved, DataFile& saved, RentRec rental,
                  const Settled& s) {
    rent_delete(rents, rental);
    log_return(rental, late_days_on(rental, get_today()), s.late, std::nullopt);
    DataFile catalog = open_table<MovieRec>();
    bool handed =
        hand_over_copy(rental.movie, rental.copy, Notice::returned, reserved, saved, catalog);
    mark_back(catalog, rental.movie, rental.copy, handed, s.disksta);
    catalog.close();
}

// Releases the copy held for a removed client and passes it on.
void release_hold(DataFile& reserved, DataFile& saved, int32_t id) {
    SavedRec hold;
    if (saved_find(saved, id, &hold) < 0)
        return;
    DataFile catalog = open_table<MovieRec>();
    release_then_hand_over(saved, reserved, catalog, hold);
    catalog.close();
}

// Cancels the client's reservation, if he has one.
void cancel_reservation(DataFile& reserved, int32_t id) {
    int32_t slot = reserve_scan_client(reserved, id);
    if (slot < 0)
        return;
    const ReserveRec reservation = reserve_read(reserved, slot);
    reserve_delete_client(reserved, reservation);
    log_reservation_cancelled(reservation);
}

void remove_client(DataFile& users, int32_t rate) {
    DataFile saved = open_table<SavedRec>();
    DataFile reserved = open_table<ReserveRec>();
    DataFile rents = open_table<RentRec>();
    int32_t slot = find_client_to_remove(users);
    if (slot >= 0) {
        ClientRec del = client_read(users, slot);
        RentRec rental{};
        int32_t rent_slot = rent_find(rents, del.id, &rental);
        Settled s;
        bool settled;
        if (rent_slot < 0) {
            s.paid = del.fine;
            settled = del.fine == 0 || collect(del.fine, false);
        } else {
            settled = settle_rental(del, rental, rate, s);
        }
        if (settled) {
            // The reservation goes first, so that neither the returned disk
            // nor the released hold is handed back to the client leaving.
            cancel_reservation(reserved, del.id);
            if (rent_slot >= 0)
                close_rental(rents, reserved, saved, rental, s);
            release_hold(reserved, saved, del.id);
            client_delete(users, del);
            log_client_removed(del, s.paid);
            info_message("\n\n\n The client was deleted from database.");
        }
    }
    saved.close();
    reserved.close();
    rents.close();
}

} // namespace

void client_maintenance(int32_t rate) {
    int choice = yes_no_dialog(" Do you want to add client?\n\n Yes to add.\n No to remove.\n"
                               " ESC for cancel.");
    DataFile users = open_table<ClientRec>();
    if (choice == kYes)
        add_client(users);
    else if (choice == kNo)
        remove_client(users, rate);
    users.close();
}
