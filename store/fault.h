// How the store hands on a data file it cannot use: one that cannot be opened
// or created, and one found damaged (a short record, a failed write or sync,
// a length no table can have). The store neither prints nor ends the
// program: it calls the handler the program installed, which reports the
// file and ends the program; a handler that returns (or none at all) has the
// fault thrown instead, for a caller that collects faults.
#pragma once

#include <stdexcept>
#include <string>

enum class Fault {
    cannot_open, // the file is missing or the system refuses to open or create it
    damaged,     // the file is there but cannot be used as a table
};

struct StoreFault : std::runtime_error {
    StoreFault(Fault kind, std::string path, std::string what);
    Fault kind;
    std::string path; // the file, as the store named it
    std::string what; // what is wrong, in words that follow the file's name
};

using FaultHandler = void (*)(const StoreFault& fault);

// Installs the handler every fault goes to (nullptr: faults are thrown).
void set_fault_handler(FaultHandler handler);

// The words a program shows for a fault: "Error opening input file
// \<name>!  End of program..\n" for a file it cannot open, "\n Data file
// <name> <what>.  End of program..\n" for a damaged one.
std::string fault_message(const StoreFault& fault);

// Hands a fault to the installed handler; throws it if the handler returns.
[[noreturn]] void report_fault(Fault kind, const std::string& path, const std::string& what);
