// The online search: renting, picking up or cancelling a hold, reserving.
#include "movies/online_search.h"

#include "clients/copies.h"
#include "clients/handover.h"
#include "shell/screen.h"
#include "store/datafiles.h"
#include "store/dates.h"
#include "store/daylog.h"
#include "store/movies.h"
#include "store/rents.h"
#include "store/reserves.h"
#include "store/saved.h"

#include <optional>
#include <string>

namespace {

// The four files a call keeps open, and the client it serves.
struct SearchDesk {
    int32_t client = 0;
    DataFile catalog, saved, reserved, rents;
};

// What one scan of the catalogue came to. savfin is the last copy of the
// title met; forrent the available copy; hold the client's hold on the copy.
// When the copy held for the client carries the typed title, the scan looks
// past free copies for it (holds_title), so that he can pick it up wherever
// it lies; a free copy met on the way is kept in forrent all the same.
struct Scan {
    enum class Case { not_found, not_available, already_reserved, held_copy, available };
    Case found = Case::not_found;
    MovieRec savfin{};
    MovieRec forrent{};
    SavedRec hold{};
    bool holds_title = false;
    bool free_seen = false;
};

enum class Next { search, end };

Next ask_continue(std::string_view question) {
    return yes_no_dialog(question) == kYes ? Next::search : Next::end;
}

std::string title_of(const MovieRec& copy) {
    return std::string(text_of(copy.name));
}

// The client's hold, found in file order.
std::optional<SavedRec> client_hold(const SearchDesk& d) {
    int32_t slot = saved_scan_client(d.saved, d.client);
    if (slot < 0)
        return std::nullopt;
    return saved_read(d.saved, slot);
}

// The line naming the held copy; a copy gone from the catalogue shows no
// title.
void print_hold_detail(const SearchDesk& d, const SavedRec& hold) {
    int32_t slot = movie_find_copy(d.catalog, hold.movie, hold.copy);
    std::string name = slot >= 0 ? title_of(movie_read(d.catalog, slot)) : "";
    print_fmt("\n Movie Detail:\nMovie name:%s---Movie ID:%d---copy number:%d", name.c_str(),
              hold.movie, hold.copy);
}

void record_rental(SearchDesk& d, int32_t movie, int32_t copy, int32_t rentdays) {
    const RentRec rental{d.client, get_today(), movie, copy, rentdays};
    rent_insert(d.rents, rental);
    log_rental(rental);
}

// Records the rental dated today and marks the copy out on rent.
void rent_copy(SearchDesk& d, int32_t movie, int32_t copy, int32_t rentdays) {
    record_rental(d, movie, copy, rentdays);
    mark_rented(d.catalog, movie, copy);
}

bool client_rents(const SearchDesk& d) {
    return rent_find(d.rents, d.client) >= 0;
}

// Opens the four files in the order the desk works with them.
void open_desk(SearchDesk& d, int32_t client) {
    d.client = client;
    d.catalog = open_table<MovieRec>();
    clear_screen();
    d.saved = open_table<SavedRec>();
    d.reserved = open_table<ReserveRec>();
    d.rents = open_table<RentRec>();
}

void close_desk(SearchDesk& d) {
    d.saved.close();
    d.reserved.close();
    d.rents.close();
    d.catalog.close();
}

// Tells the clerk at the start of the call that a copy is held for the client.
void show_hold_notice(const SearchDesk& d) {
    std::optional<SavedRec> hold = client_hold(d);
    if (!hold)
        return;
    info_screen();
    print_plain("\n\n\n A movie has been saved for the client!\n ");
    print_hold_detail(d, *hold);
    press_any_key();
}

std::string ask_title() {
    clear_screen();
    print_plain(kOnlineSearchBanner);
    print_plain("\n Insert movie name \n");
    discard_input();
    return read_line();
}

// Whether the copy in a slot carries the typed title. Slots without a copy
// never match, nor does a line too long to be a stored title.
bool is_copy_of(const MovieRec& rec, const std::string& getmov) {
    return rec.id >= 1 && getmov.size() < sizeof(Title) && text_of(rec.name) == getmov;
}

// Decides, for one copy of the title, whether the scan stops at it.
bool stops_at(const SearchDesk& d, const MovieRec& rec, Scan& scan) {
    scan.savfin = rec;
    scan.found = Scan::Case::not_available;
    if (reserve_find_client(d.reserved, rec.id, d.client) >= 0) {
        scan.found = Scan::Case::already_reserved;
        return true;
    }
    if (rec.saved == 1) {
        if (saved_find(d.saved, d.client, &scan.hold) < 0)
            return false;
        if (scan.hold.movie != rec.id || scan.hold.copy != rec.copy)
            return false;
        scan.found = Scan::Case::held_copy;
        return true;
    }
    if (rec.rented == 0 && !scan.free_seen) {
        scan.forrent = rec;
        scan.free_seen = true;
        if (!scan.holds_title) {
            scan.found = Scan::Case::available;
            return true;
        }
    }
    return false;
}

// Whether the copy held for the client carries the typed title.
bool holds_title(const SearchDesk& d, const std::string& getmov) {
    SavedRec hold;
    if (saved_find(d.saved, d.client, &hold) < 0)
        return false;
    int32_t slot = movie_find_copy(d.catalog, hold.movie, hold.copy);
    return slot >= 0 && is_copy_of(movie_read(d.catalog, slot), getmov);
}

// Walks the catalogue in slot order until a copy of the title settles the
// case, or to its end. A free copy passed over while looking for the held
// one (which the catalogue then did not mark held) is still offered.
Scan scan_catalog(const SearchDesk& d, const std::string& getmov) {
    Scan scan;
    scan.holds_title = holds_title(d, getmov);
    movie_title_pass(d.catalog, 0, getmov, [&](int32_t, const MovieRec& rec) {
        return is_copy_of(rec, getmov) && stops_at(d, rec, scan);
    });
    if (scan.found == Scan::Case::not_available && scan.free_seen)
        scan.found = Scan::Case::available;
    return scan;
}

Next already_reserved() {
    info_screen();
    print_plain("\n\n\n The client already reserved this movie");
    print_plain("\n When the movie is back to inventory it will be saved for the client");
    press_any_key();
    return ask_continue(" Continue searching another movie? Y/N");
}

// The copy under the scan is held for this client: he takes it, or the hold
// is cancelled and the copy passes to the next reservation of the title.
Next held_copy(SearchDesk& d, const Scan& scan) {
    info_screen();
    print_plain("\n\n\n The movie is saved for the client!");
    if (client_rents(d)) {
        print_plain("\n The client can't take the movie beacuse");
        print_plain(" He's already renting a movie!!!!");
        press_any_key();
        return Next::end;
    }
    print_plain("\n The client can take the movie or not.");
    press_any_key();
    const SavedRec& hold = scan.hold;
    int answer = yes_no_dialog(" Do you want to take the saved movie?\n\n Press Yes to take "
                               "movie\n Press ESC or No to cancel saving");
    if (answer == kYes) {
        saved_delete(d.saved, hold);
        log_hold_end(HoldEnd::taken, hold);
        record_rental(d, hold.movie, hold.copy, scan.savfin.rentdays);
        mark_rented(d.catalog, hold.movie, hold.copy);
        return Next::end;
    }
    release_then_hand_over(d.saved, d.reserved, d.catalog, hold);
    return Next::search;
}

// An available copy for a client who may rent only when he rents nothing
// and has no hold.
Next available(SearchDesk& d, const Scan& scan) {
    if (client_rents(d)) {
        info_screen();
        print_plain("\n\n\n The movie is avaliable but the client can't rent him.");
        print_plain("\n The client is already renting a movie.");
        print_plain("\n The client can't rent another one!");
        press_any_key();
        return ask_continue(" Continue searching? Y/N");
    }
    info_screen();
    print_plain("\n\n\n The movie is not ranted ");
    print_plain("\n The client can rent this movie");
    press_any_key();
    if (yes_no_dialog(" The client wants to rent this movie? Y/N") != kYes)
        return ask_continue(" Continue searching? Y/N");
    if (std::optional<SavedRec> hold = client_hold(d)) {
        info_screen();
        print_plain("\n\n\n A movie has been saved for the client before!\n ");
        print_plain("\n The client can't rent another movie when a movie is saved for him.\n");
        print_hold_detail(d, *hold);
        press_any_key();
        return Next::end;
    }
    const MovieRec& forrent = scan.forrent;
    rent_copy(d, forrent.id, forrent.copy, forrent.rentdays);
    info_message("\n\n\n The movie is now ranted to the client!");
    return Next::end;
}

Next not_found() {
    info_message("\n\n\n Copy of the movie movie not found!");
    return ask_continue(" Continue searching? Y/N");
}

// Reserves the title for a client who has neither a hold nor a reservation.
Next reserve_title(SearchDesk& d, const MovieRec& savfin) {
    if (client_hold(d)) {
        print_plain(kInfoBanner); // under the cleared screen the dialog left
        print_plain("\n\n\n A movie as been saved for the client!\n ");
        print_plain("\n You can't reserve a new movie until you take care of the saved one.");
        press_any_key();
        return Next::end;
    }
    if (reserve_scan_client(d.reserved, d.client) >= 0) {
        info_message("\n\n\n The client is already reserving a movie!!!");
        return Next::end;
    }
    ReserveRec reservation{d.client, savfin.id, 0, get_today()};
    if (yes_no_dialog(" Is the client wants call notice? Y/N") == kYes)
        reservation.callnotice = 1;
    reserve_insert(d.reserved, reservation);
    log_reservation(reservation);
    info_screen();
    print_plain("\n\n\n The movie has been resereved for the client!\n ");
    print_plain("\n When the movie is avaliable it will be saved for the client.");
    press_any_key();
    return Next::end;
}

// Copies exist but none can be rented or picked up by this client.
Next not_available(SearchDesk& d, const Scan& scan) {
    info_screen();
    print_plain("\n\n\n The Movie is not avaliable for renting! \n");
    print_plain("\n The client can reserve the movie.");
    press_any_key();
    RentRec rental;
    if (rent_find(d.rents, d.client, &rental) >= 0 && rental.movie == scan.savfin.id) {
        info_screen();
        print_plain("\n\n\n The client is already renting this movie!!!");
        print_plain("\n So the client can't reserve this movie");
        press_any_key();
        return Next::search;
    }
    int answer = yes_no_dialog(" The client can't rent this movie\n Continue reserving movie? Y/N");
    if (answer == kNo)
        return Next::search;
    if (answer == kCancel)
        return Next::end;
    return reserve_title(d, scan.savfin);
}

// One search: a title typed, the catalogue scanned afresh, the case dealt
// with.
Next search_once(SearchDesk& d) {
    Scan scan = scan_catalog(d, ask_title());
    switch (scan.found) {
    case Scan::Case::already_reserved:
        return already_reserved();
    case Scan::Case::held_copy:
        return held_copy(d, scan);
    case Scan::Case::available:
        return available(d, scan);
    case Scan::Case::not_available:
        return not_available(d, scan);
    case Scan::Case::not_found:
        break;
    }
    return not_found();
}

} // namespace

void online_search(int32_t client) {
    SearchDesk desk;
    open_desk(desk, client);
    show_hold_notice(desk);
    while (search_once(desk) == Next::search) {
    }
    close_desk(desk);
}
