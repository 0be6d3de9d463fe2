// For the crash tests only: wrappers around the file seam's write points
// (store/datafile.h), installed by the calls below.
//
// After `writes` more write points (creations, writes, syncs, cuts, renames)
// the next one ends the process at once with status 86, as a power failure
// would: every file written since its last sync is first put back as it was
// synced (or removed when it did not exist then). A negative count disarms it.
#pragma once

#include <string>

void inject_crash_after(long writes);

// Every sync of the file named sync_of fails, and every write to write_to
// stores half of what it was given and then fails ("" for none).
void inject_failing_disk(const std::string& sync_of, const std::string& write_to);
