// The hand-over of a freed copy: the client who has waited longest for its
// title gets it held for seven days, and the clerk is told to phone him when
// he asked for that.
#pragma once

#include "store/datafile.h"

#include <cstdint>

// Wording of the call notice: a disk just returned (shown on a cleared
// screen) or a hold that ran out (shown under what the screen holds).
enum class Notice { returned, overdue };

// Gives the copy to the earliest reservation of the movie dated today or
// before: a hold dated today is made for its client, that reservation (only
// it) is deleted, and the copy is marked saved (rented 0, saved 1). Shows the
// call notice when the reservation asked for one. Answers true when a hold
// was made; false, changing nothing, when nobody reserved the movie in time
// or the copy is not in the catalogue. Works on the caller's open files; an
// insert that grows the hold file leaves saved referring to the new file.
bool hand_over_copy(int32_t movie, int32_t copy, Notice variant, DataFile& reserved,
                    DataFile& saved, DataFile& catalog);
