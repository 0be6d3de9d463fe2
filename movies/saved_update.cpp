// Releasing holds that ran out.
#include "movies/saved_update.h"

#include "clients/handover.h"
#include "shell/datafiles.h"
#include "shell/dates.h"
#include "store/movies.h"
#include "store/saved.h"

namespace {

// Deletes an overdue hold and passes its copy on, or frees it. The files are
// opened first, so a missing one ends the program before the hold is gone
// and its copy is not left marked saved for nobody.
void release_hold(DataFile& saved, SavedRec hold) {
    DataFile catalog = open_table<MovieRec>();
    DataFile reserved = open_table<ReserveRec>();
    saved_delete(saved, hold);
    if (!hand_over_copy(hold.movie, hold.copy, Notice::overdue, reserved, saved, catalog)) {
        int32_t slot = movie_find_copy(catalog, hold.movie, hold.copy);
        if (slot >= 0) { // a copy gone from the catalogue leaves it unchanged
            MovieRec copy = movie_read(catalog, slot);
            copy.saved = 0;
            movie_write(catalog, slot, copy);
        }
    }
    reserved.close();
    catalog.close();
}

} // namespace

void update_saved_list() {
    const Date curr = get_today();
    DataFile saved = open_table<SavedRec>();
    const int32_t n = saved_slots(saved);
    for (int32_t slot = 0; slot < n; ++slot) {
        SavedRec hold = saved_read(saved, slot);
        // Empty and deleted slots hold no hold; nor does a damaged key below
        // -1, which saved_delete could never remove.
        if (hold.client < 1)
            continue;
        if (date_before(hold_end(hold.savedate), curr))
            release_hold(saved, hold);
    }
    saved.close();
}
