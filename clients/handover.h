// The hand-over of a freed copy: the client who has waited longest for its
// title gets it held for seven days, and the clerk is told to phone him when
// he asked for that; and the two ways a hold is let go, each ending in a
// hand-over.
#pragma once

#include "store/datafile.h"
#include "store/records.h"

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

// Lets a hold go when its client gives it up (he leaves the shop, or declines
// the copy): the hold is deleted and the copy released at once, as it is
// free from that moment, then offered to the next reservation of its title
// (the returned call notice).
void release_then_hand_over(DataFile& saved, DataFile& reserved, DataFile& catalog, SavedRec hold);
// Lets a hold go when its seven days ran out: the hold is deleted and the
// copy passes straight to the next reservation (the overdue call notice),
// still marked saved; only when nobody waits for it is it released.
void hand_over_or_release(DataFile& saved, DataFile& reserved, DataFile& catalog, SavedRec hold);
