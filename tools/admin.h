// What the commands of rentdesk-admin share: the table of commands, usage
// errors, the folder lock, and the paths the user named. A command runs in
// the data folder (the current folder, or the one --data names) and gets the
// arguments that follow its name, the global options taken out.
#pragma once

#include "store/datacheck.h"
#include "store/datafile.h"
#include "store/tables.h"

#include <cstddef>
#include <string>
#include <vector>

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* synopsis; // the arguments after the name, as the usage lines show them
    const char* help;     // what --help says of it: a line or two of at most 52 columns
    int (*run)(const Args& args);
    bool makes_folder; // the command creates the data folder --data names when missing
};

// Every command, in the order --help lists them.
extern const std::vector<Command> kCommands;

// Prints "rentdesk-admin: <what>" and the usage lines to standard error;
// answers the exit status for bad arguments, 2.
int usage_error(const std::string& what);

// A command that writes takes the folder's lock and first finishes a clerk's
// action a crash cut short; it ends the program with status 1 when a counter
// or another command holds the folder, or the folder cannot be locked. One
// that makes the tables afresh sets aside a journal whose action cannot be
// finished, and says so.
void lock_for_writing(bool afresh = false);
// A command that only reads keeps writers out while it reads when it can; in
// a folder a counter works in it reads the files as they stand, and says so.
void lock_for_reading();

// A command that never writes (a report, an export) reads the files as they
// stand, without locking anything: from here on, damage met in a file ends
// it with the file's name and what is wrong on standard error, status 1. It
// says on standard error when a crash left a clerk's action in the journal.
void begin_reading_only();
// Opens a data file for reading only; one that is missing or cannot be read
// as a table ends the command with the check's words for it, status 1.
DataFile open_for_reading(const char* name, std::size_t record_size);
template <class Rec>
DataFile read_table() {
    return open_for_reading(TableTraits<Rec>::file, sizeof(Rec));
}
// Ends what a command printed: answers 0, or 1 (saying so) when standard
// output could not take it all.
int finish_output();

// A command of rentdesk-admin as the user would type it again: with the
// --data they gave (quoted for a shell where needed), then command.
std::string command_line(const std::string& command);

// A path the user gave, made absolute against the folder the command was
// started in (before --data moved it into the data folder).
std::string user_path(const std::string& arg);

// Checks the data files in another folder (an absolute path ending in the
// separator) as check does, its day log left out (a backup's tables are
// sound or not whatever its copy of the log holds), then works in the data
// folder again with the program's fault handler back in place.
CheckResult check_folder_at(const std::string& folder);

// The names of the five data files that stand in the data folder (a link
// too), in set-up order; and names joined by ", ".
std::vector<std::string> present_data_files();
std::string joined(const std::vector<std::string>& names);

// The commands of tools/admin_tables.cpp.
int cmd_init(const Args& args);
int cmd_check(const Args& args);
int cmd_dump(const Args& args);
// tools/admin_report.cpp, tools/admin_export.cpp, tools/admin_import.cpp.
int cmd_report(const Args& args);
int cmd_export(const Args& args);
int cmd_import(const Args& args);
// Of tools/admin_demo.cpp.
int cmd_demo(const Args& args);
// Of tools/admin_backup.cpp.
int cmd_backup(const Args& args);
int cmd_restore(const Args& args);
// Of tools/admin_log.cpp.
int cmd_receipt(const Args& args);
// Of tools/admin_compact.cpp: compact, and check's warnings, one line each,
// on the tables whose empty slots have run low while deleted ones stand
// (what compact mends); a table check finds damaged gets none.
int cmd_compact(const Args& args);
std::vector<std::string> low_empty_notes();
