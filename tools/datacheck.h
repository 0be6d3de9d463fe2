// The data check of rentdesk-admin: reads the five data files of the current
// folder, lists in plain words everything wrong with each table and between
// them, and can mend the catalogue's flags from the rentals and holds that
// exist.
#pragma once

#include <string>
#include <vector>

struct CheckResult {
    std::vector<std::string> problems; // one line each, naming file and record
    std::vector<std::string> mended;   // what a repair changed, one line each
};

// Checks the data files of the current folder. With repair, first sets each
// copy's rented and saved flags from the rentals and holds that name it (no
// record is added or removed), then checks again; problems then lists only
// what is still wrong.
CheckResult check_data_folder(bool repair);
