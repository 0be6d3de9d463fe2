// For the crash tests only: after `writes` more write points of the file seam
// (record writes, syncs and renames), the next one ends the process at once
// with status 86, as a power failure would. A negative count disarms it.
#pragma once

void inject_crash_after(long writes);
