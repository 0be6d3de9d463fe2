// Linked into e2e_crash_rentdesk, the counter program built for the crash
// tests: before main runs, RENTDESK_CRASH_AFTER_WRITES=N arms the file seam's
// fault so that the process ends at once (status 86, as a power failure
// would end it) at its write point number N, counting from 0: a record
// write, a sync or a rename, before it happens.
#include "tests/crash_point.h"

#include <cstdlib>

namespace {

const bool armed = [] {
    const char* text = std::getenv("RENTDESK_CRASH_AFTER_WRITES");
    if (!text || !*text)
        return false;
    inject_crash_after(std::strtol(text, nullptr, 10));
    return true;
}();

} // namespace
