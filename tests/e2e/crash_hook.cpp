// Linked into e2e_crash_rentdesk and e2e_crash_admin, the counter program
// and rentdesk-admin built for the crash tests: before main runs,
// RENTDESK_CRASH_AFTER_WRITES=N arms the file seam's power failure at its
// write point number N, counting from 0 (status 86), and RENTDESK_FAIL_SYNC /
// RENTDESK_FAIL_WRITE name a file whose syncs or writes fail.
#include "tests/crash_point.h"

#include <cstdlib>

namespace {

const bool armed = [] {
    const char* text = std::getenv("RENTDESK_CRASH_AFTER_WRITES");
    const char* sync = std::getenv("RENTDESK_FAIL_SYNC");
    const char* write = std::getenv("RENTDESK_FAIL_WRITE");
    inject_crash_after(text && *text ? std::strtol(text, nullptr, 10) : -1);
    inject_failing_disk(sync ? sync : "", write ? write : "");
    return true;
}();

} // namespace
