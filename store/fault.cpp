// Reporting a data file the store cannot use.
#include "store/fault.h"

namespace {

FaultHandler installed = nullptr;

} // namespace

StoreFault::StoreFault(Fault kind, std::string path, std::string what)
    : std::runtime_error(path + " " + what), kind(kind), path(std::move(path)),
      what(std::move(what)) {}

std::string fault_message(const StoreFault& fault) {
    if (fault.kind == Fault::cannot_open)
        return "Error opening input file \\" + fault.path + "!  End of program..\n";
    return "\n Data file " + fault.path + " " + fault.what + ".  End of program..\n";
}

void set_fault_handler(FaultHandler handler) {
    installed = handler;
}

void report_fault(Fault kind, const std::string& path, const std::string& what) {
    StoreFault fault(kind, path, what);
    if (installed)
        installed(fault);
    throw fault;
}
