// Handing a freed copy to the next reservation of its title.
#include "clients/handover.h"

#include "clients/copies.h"
#include "shell/screen.h"
#include "store/clients.h"
#include "store/datafiles.h"
#include "store/dates.h"
#include "store/daylog.h"
#include "store/movies.h"
#include "store/reserves.h"
#include "store/saved.h"

#include <string>

namespace {

void print_notice_heading(Notice variant) {
    if (variant == Notice::returned) {
        clear_screen();
        print_plain(kCallNoticeBanner);
        print_plain("\n\n Another client reserved the returned movie!");
        print_plain("\n The other client asked for call notice.");
        print_plain("\n Please call the client about the movie.");
    } else {
        print_plain(kCallNoticeBanner);
        print_plain("\n\n\n While checking saved list the system found that a saved movie");
        print_plain("\n passed his 7 days of saving in list");
        print_plain("\n\n Another client reserved the overdue saved movie!");
        print_plain("\n The other client asked for call notice.");
        print_plain("\n Please call now the client about the movie.");
    }
}

// The notice with the reserving client's phone and name and the title. A
// client no longer in the file is shown without phone and name.
void show_call_notice(Notice variant, int32_t client, const MovieRec& copy) {
    print_notice_heading(variant);
    DataFile users = open_table<ClientRec>();
    ClientRec c;
    if (client_find(users, client, &c) >= 0) {
        print_fmt("\n\n The phone number of the client is:0%d\n", c.phone);
        print_fmt("\n The name of the client is:'%s %s'\n", std::string(text_of(c.fname)).c_str(),
                  std::string(text_of(c.lname)).c_str());
    }
    users.close();
    print_fmt("\n\n The movie name is:%s\n", std::string(text_of(copy.name)).c_str());
    print_plain("\n The movie will be saved for 7 days");
    press_any_key();
}

} // namespace

bool hand_over_copy(int32_t movie, int32_t copy, Notice variant, DataFile& reserved,
                    DataFile& saved, DataFile& catalog) {
    if (reserve_find(reserved, movie) < 0)
        return false;
    int32_t copy_slot = movie_find_copy(catalog, movie, copy);
    int32_t res_slot = reserve_earliest(reserved, movie, get_today());
    if (copy_slot < 0 || res_slot < 0)
        return false; // no such copy, or every reservation is dated after today
    ReserveRec waiting = reserve_read(reserved, res_slot);
    reserve_delete_client(reserved, waiting);
    const SavedRec hold{waiting.client, movie, copy, get_today()};
    saved_insert(saved, hold);

    std::optional<MovieRec> held = mark_held(catalog, movie, copy);
    log_hold_made(hold, waiting.callnotice == 1);
    if (waiting.callnotice == 1)
        show_call_notice(variant, waiting.client, *held);
    return true;
}

void release_then_hand_over(DataFile& saved, DataFile& reserved, DataFile& catalog, SavedRec hold) {
    saved_delete(saved, hold);
    log_hold_end(HoldEnd::given_up, hold);
    mark_released(catalog, hold.movie, hold.copy);
    hand_over_copy(hold.movie, hold.copy, Notice::returned, reserved, saved, catalog);
}

void hand_over_or_release(DataFile& saved, DataFile& reserved, DataFile& catalog, SavedRec hold) {
    saved_delete(saved, hold);
    log_hold_end(HoldEnd::expired, hold);
    if (!hand_over_copy(hold.movie, hold.copy, Notice::overdue, reserved, saved, catalog))
        mark_released(catalog, hold.movie, hold.copy);
}
