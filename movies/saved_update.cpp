// Releasing holds that ran out.
#include "movies/saved_update.h"

#include "clients/handover.h"
#include "store/datafiles.h"
#include "store/dates.h"
#include "store/movies.h"
#include "store/saved.h"

namespace {

// Lets an overdue hold go. The files are opened first, so a missing one ends
// the program before the hold is gone and its copy is not left marked saved
// for nobody.
void release_hold(DataFile& saved, SavedRec hold) {
    DataFile catalog = open_table<MovieRec>();
    DataFile reserved = open_table<ReserveRec>();
    hand_over_or_release(saved, reserved, catalog, hold);
    reserved.close();
    catalog.close();
}

} // namespace

void update_saved_list() {
    const Date curr = get_today();
    DataFile saved = open_table<SavedRec>();
    saved_pass(saved, 0, [&](int32_t, const SavedRec& hold) {
        if (hold.client >= 1 && date_before(hold_end(hold.savedate), curr))
            release_hold(saved, hold);
        return false;
    });
    saved.close();
}
