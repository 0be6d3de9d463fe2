// TEMPORARY: the desks that have not landed yet say so honestly. This file
// goes as each desk arrives.
#include "clients/maintenance.h"
#include "clients/return_disk.h"
#include "movies/maintenance.h"
#include "movies/offline_search.h"
#include "movies/online_search.h"
#include "shell/screen.h"

namespace {
void not_yet() { info_message("\n\n\n This desk is not available yet"); }
} // namespace

void return_at_login(ClientRec, int32_t) { not_yet(); }
void client_maintenance(int32_t) { not_yet(); }
void online_search(int32_t) { not_yet(); }
void offline_search() { not_yet(); }
void movie_maintenance() { not_yet(); }
