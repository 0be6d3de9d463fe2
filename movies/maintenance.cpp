// Adding movies and copies, and deleting copies with their clean-up.
#include "movies/maintenance.h"

#include "clients/returned_disk.h"
#include "shell/screen.h"
#include "store/datafiles.h"
#include "store/daylog.h"
#include "store/movies.h"
#include "store/reserves.h"
#include "store/saved.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr const char* kAskNewId = "\n insert movie ID: \n";
constexpr const char* kAskName = "\n\n\n insert movie name: \n ";
constexpr const char* kAskRentDays = "\n insert days to rent:\n ";
constexpr const char* kAskRemoveId = "\n\n\n Insert movie ID for remove:\n ";
constexpr const char* kAskRemoveIdAgain = "\n\n\n insert movie ID for remove:\n ";
constexpr const char* kAskCopy = "\n\n\n Insert copy number to delete\n";

// Name and rental days of a movie the catalogue does not know yet.
void ask_title(MovieRec& ins) {
    clear_screen();
    print_plain(kInsertMovieBanner);
    ask_line(kAskName, ins.name);                          // never an empty title
    ins.rentdays = ask_number(kAskRentDays, not_negative); // no disk is due before it is rented
}

// Adds a new movie with its first copy, or, when the id is taken and the
// clerk agrees, a further copy numbered above every copy of the movie.
void add_movie(DataFile& catalog) {
    MovieRec ins = TableTraits<MovieRec>::blank();
    print_plain(kInsertMovieBanner);
    discard_input();
    ins.id = ask_number(kAskNewId, positive_number);
    ins.copy = 1;
    MovieRec known;
    if (movie_find(catalog, ins.id, &known) >= 0) {
        info_message("\n\n\n Movie ID already exists!...");
        if (yes_no_dialog(" Do you want to add a copy of the movie? Y/N") != kYes)
            return;
        const int32_t highest = movie_max_copy(catalog, ins.id);
        if (highest == INT32_MAX) { // the next number would not fit in a copy number
            info_message("\n\n\n No more copies of this movie can be added.");
            return;
        }
        ins.copy = highest + 1;
        ins.rentdays = known.rentdays;
        set_text(ins.name, text_of(known.name));
    } else {
        ask_title(ins);
    }
    print_plain("\n Insert disk status: \n ");
    ins.diskstatus = read_disk_status();
    ins.rented = 0;
    ins.saved = 0;
    movie_insert(catalog, ins);
    log_copy_added(ins);
}

// Reads a movie id for removal until the catalogue knows it; -1 when the
// clerk gives up.
int32_t ask_movie_to_remove(const DataFile& catalog) {
    print_plain(kRemoveMovieBanner);
    int32_t mov = ask_number(kAskRemoveId, positive_number);
    while (movie_find(catalog, mov) < 0) {
        info_message("\n\n\n The movie was'nt found in database");
        if (yes_no_dialog(" Do you want to try another movie?\n\n Yes to try again.\n\n No or "
                          "ESC to go back to manu.") != kYes)
            return -1;
        print_plain(kRemoveMovieBanner);
        mov = ask_number(kAskRemoveIdAgain, positive_number);
    }
    return mov;
}

// Deletes every reservation of the movie; answers them.
std::vector<ReserveRec> drop_reservations(DataFile& reserved, int32_t mov) {
    std::vector<ReserveRec> dropped;
    for (int32_t slot = reserve_find(reserved, mov); slot >= 0;
         slot = reserve_find(reserved, mov)) {
        dropped.push_back(reserve_read(reserved, slot));
        reserve_delete(reserved, dropped.back());
    }
    return dropped;
}

// Deletes every hold on the given copy, walking the hold file in slot order;
// answers the client of the last one (0 for none).
int32_t drop_holds_of(DataFile& saved, int32_t mov, int32_t cpnum) {
    int32_t client = 0;
    saved_pass(saved, 0, [&](int32_t, const SavedRec& hold) {
        if (hold.client >= 1 && hold.movie == mov && hold.copy == cpnum) {
            saved_delete(saved, hold);
            client = hold.client;
        }
        return false;
    });
    return client;
}

// Deletes the copy with what hangs on it: every reservation of the movie when
// it was the last copy, and its holds when it was held. Both files are opened
// first, so a missing one ends the program before anything is written; the
// holds go in the same action as the copy, before the message, so that no
// hold ever names a copy that is gone.
void delete_copy(DataFile& catalog, const MovieRec& copy) {
    DataFile reserved = open_table<ReserveRec>();
    DataFile saved;
    if (copy.saved == 1)
        saved = open_table<SavedRec>();
    movie_delete_copy(catalog, copy);
    std::vector<ReserveRec> dropped;
    if (movie_find(catalog, copy.id) < 0)
        dropped = drop_reservations(reserved, copy.id);
    int32_t holder = 0;
    if (copy.saved == 1)
        holder = drop_holds_of(saved, copy.id, copy.copy);
    log_copy_deleted(copy, holder);
    for (const ReserveRec& r : dropped)
        log_reservation_cancelled(r);
    saved.close();
    reserved.close();
}

// Deletes one copy of a movie the clerk names, unless it is out on rent.
void remove_copy(DataFile& catalog) {
    int32_t mov = ask_movie_to_remove(catalog);
    if (mov < 0)
        return;
    info_screen();
    print_plain("\n\n\n The movie is in the database");
    print_plain("\n\n Press any key to continue ");
    read_key();
    if (yes_no_dialog(" Do you want to delete a copy?\n\n Yes to delete a copy.\n No or ESC to "
                      "go back to manu.") != kYes)
        return;
    print_plain(kRemoveMovieBanner);
    int32_t cpnum = ask_number(kAskCopy, any_number);
    int32_t slot = movie_find_copy(catalog, mov, cpnum);
    if (slot < 0) {
        info_screen();
        print_plain("\n\n\n The copy wasn't found in the catalog");
        print_plain("\n Go to offline search for information about copyes");
        print_plain("\n Exiting to main manu");
        press_any_key();
        return;
    }
    MovieRec copy = movie_read(catalog, slot);
    if (copy.rented == 1) {
        info_message("\n\n\n The copy is rented you can't delete him");
        return; // the copy stays, and so does any hold on it
    }
    delete_copy(catalog, copy);
    info_message("\n\n\n The copy has been deleted");
}

} // namespace

void movie_maintenance() {
    DataFile catalog = open_table<MovieRec>();
    int choice = yes_no_dialog(
        " Do you want to add movie?\n\n Yes to add.\n No to remove.\n ESC for cancel.");
    if (choice == kYes)
        add_movie(catalog);
    else if (choice == kNo)
        remove_copy(catalog);
    catalog.close();
}
