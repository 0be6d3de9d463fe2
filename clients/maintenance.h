// Adding and removing clients (menu entry Add/Remove Client).
#pragma once

#include <cstdint>

// Adds a client, or removes one after his fine is paid, his rented disk is
// back, his hold is passed on and his reservation cancelled. rate is the
// fine per late day of a disk returned on removal.
void client_maintenance(int32_t rate);
