// The clerk's inventory view: every copy of a title, read from the catalogue.
#include "movies/offline_search.h"

#include "shell/screen.h"
#include "store/datafiles.h"
#include "store/movies.h"

#include <string>

namespace {

void print_copy(const MovieRec& k) {
    print_fmt("\n Copy number:%d---Disk status:%d", k.copy, k.diskstatus);
    print_plain(k.rented == 1 ? "\n The copy is rented" : "\n The copy isn't rented");
    print_plain(k.saved == 1 ? "\n The copy is saved" : "\n The copy isn't saved\n\n");
}

// Lists the copies named getmov in slot order under one title line; answers
// whether there was any. Blank slots never match, whatever their name.
bool list_copies(const DataFile& catalog, const std::string& getmov) {
    bool found = false;
    movie_title_pass(catalog, 0, getmov, [&](int32_t, const MovieRec& k) {
        if (!found)
            print_fmt("\n Movie name:%s---Movie catalog ID:%d---Days to Rent:%d\n", getmov.c_str(),
                      k.id, k.rentdays);
        found = true;
        print_copy(k);
        return false;
    });
    return found;
}

} // namespace

void offline_search() {
    DataFile catalog = open_table<MovieRec>();
    while (true) {
        clear_screen();
        print_plain(kOfflineSearchBanner);
        print_plain("\n\n\n Insert movie name \n");
        discard_input();
        std::string getmov = read_line();
        clear_screen();
        if (list_copies(catalog, getmov)) {
            press_any_key();
            break;
        }
        print_plain(kInfoBanner);
        print_plain("\n\n\n The movie wasn't found in database\n");
        press_any_key();
        if (yes_no_dialog(" Do you want to search another movie?\n\n Yes to search again.\n No or "
                          "ESC to go back to main manu.") != kYes)
            break;
    }
    catalog.close();
}
