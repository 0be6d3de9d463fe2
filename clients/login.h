// Client login: the client's id, the subscription test against today, and
// the renewal of a subscription that ran out together with the unpaid fine.
#pragma once

#include "store/records.h"

#include <cstdint>

// Logs a client in. On success connected receives the client's record as
// the file holds it (after a paid renewal: fine 0, months bought, subscription
// from today); otherwise connected is left as it was.
void client_login(Date today, int32_t price, ClientRec& connected);
