// The search of the catalogue for a connected client: renting an available
// copy, taking or cancelling the copy held for him, reserving a title.
#pragma once

#include <cstdint>

// Runs searches for the client until one ends the operation.
void online_search(int32_t client);
