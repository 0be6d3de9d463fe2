// For the crash tests only: after `writes` more write points of the file seam
// (record writes, syncs and renames), the next one ends the process at once
// with status 86, as a power failure would. A negative count disarms it.
#pragma once

void inject_crash_after(long writes);

// Every sync of the file named sync_of fails, and every write to write_to
// stores half of what it was given and then fails ("" for none).
#include <string>
void inject_failing_disk(const std::string& sync_of, const std::string& write_to);
