// The return of a rented disk right after login: the late fine is booked,
// the rental closed, the copy handed to the next reservation and rated.
#pragma once

#include "store/records.h"

#include <cstdint>

// Asks about the client's open rental, if any, and closes it when the disk
// is back: adds the late fine (rate per late day) to the client's stored
// fine, deletes the rental, hands the copy over and records its disk status.
void return_at_login(ClientRec client, int32_t rate);
