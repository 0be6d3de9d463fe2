// The data check of rentdesk-admin: reads the five data files of the current
// folder, lists in plain words everything wrong with each table and between
// them, and can mend what an interrupted operation leaves behind: the
// catalogue's flags, a reservation already served by a hold, and a hold
// already taken as a rental.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class DataFile;

struct CheckResult {
    std::vector<std::string> problems; // one line each, naming file and record
    std::vector<std::string> mended;   // what a repair changed, one line each
};

// Checks the data files of the current folder; every fault the store finds
// is collected (no fault handler is installed: faults are thrown to it). With
// repair, first finishes what a cut-short hand-over or pick-up left: deletes a
// reservation whose client has a copy of that movie held, and a hold of a
// copy its client rents; then sets each copy's rented and saved flags from the
// rentals and holds that name it. Nothing else is added or removed. Then
// checks again: problems lists only what is still wrong. With day_log, the
// day log's problems are listed too (store/logbook.h).
CheckResult check_data_folder(bool repair, bool day_log = true);

// The check's words for what keeps a data file from being read as a table of
// record_size-byte records: missing (file is null), a length that is not a
// whole number of records, fewer than 2 slots, a slot count that is not
// prime. Empty when nothing does.
std::vector<std::string> table_file_problems(const DataFile* file, const char* name,
                                             std::size_t record_size);
