// TEMPORARY: the offline search has not landed yet and says so honestly;
// this file goes when it arrives.
#include "movies/offline_search.h"
#include "shell/screen.h"

void offline_search() { info_message("\n\n\n This desk is not available yet"); }
