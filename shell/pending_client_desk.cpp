// TEMPORARY: the client desk has not landed yet and says so honestly; this
// file goes when it arrives.
#include "clients/maintenance.h"
#include "shell/screen.h"

void client_maintenance(int32_t) { info_message("\n\n\n This desk is not available yet"); }
