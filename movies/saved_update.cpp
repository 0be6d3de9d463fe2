// Releasing holds that ran out.
#include "movies/saved_update.h"

#include "clients/handover.h"
#include "store/datafiles.h"
#include "store/dates.h"
#include "store/movies.h"
#include "store/saved.h"

#include <cstring>

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

// Whether a hold saved on a day has run out by today. Holds saved on the
// same day come in runs, so the answer for the last day asked is kept.
class RunOut {
  public:
    explicit RunOut(Date today) : today_(today) {}
    bool operator()(Date saved) {
        if (!asked_ || std::memcmp(&saved, &last_, sizeof saved) != 0) {
            asked_ = true;
            last_ = saved;
            answer_ = date_before(hold_end(saved), today_);
        }
        return answer_;
    }

  private:
    Date today_, last_{};
    bool asked_ = false, answer_ = false;
};

} // namespace

void update_saved_list() {
    RunOut run_out(get_today());
    DataFile saved = open_table<SavedRec>();
    saved_pass(saved, 0, [&](int32_t, const SavedRec& hold) {
        if (hold.client >= 1 && run_out(hold.savedate))
            release_hold(saved, hold);
        return false;
    });
    saved.close();
}
