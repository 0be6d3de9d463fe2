// The inventory view of the catalogue when no client is connected.
#pragma once

// Lists every copy of a typed title with its disk status and whether it is
// rented or held; offers another search when the title is not found.
void offline_search();
