// rentdesk-admin: the shop's maintenance commands for a data folder. This
// file holds the table of commands, the shared options (--data, --help) and
// the parts every command uses; each command lives in a file of its own.
#include "tools/admin.h"

#include "store/datafile.h"
#include "store/datafiles.h"
#include "store/fault.h"
#include "store/journal.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

const std::vector<Command> kCommands = {
    {"init", "SLOTS [--force]",
     "      Creates the five data files (user.txt, rentmovies.txt, ressavmov.txt,\n"
     "      reservedmov.txt, catalogmov.txt), each with the smallest prime number\n"
     "      of empty slots at or above SLOTS (2 to 10000000). Tables grow by\n"
     "      themselves when they fill up. Refuses when any of the files exists,\n"
     "      unless --force is given: then every record in them is discarded.\n",
     cmd_init, true},
    {"check", "[--repair]",
     "      Reads the five data files and reports everything wrong with them,\n"
     "      and a clerk's action a crash left in rentdesk.journal. Exit status 0\n"
     "      when all is well, 1 otherwise. It only reads, so it works in a folder\n"
     "      a counter works in. With --repair it takes the folder, finishes a\n"
     "      cut-short action, mends what an older counter cut short could leave\n"
     "      and says what it changed: deletes a reservation whose client already\n"
     "      has a copy of that movie held, and a hold of a copy its client already\n"
     "      rents, then sets each copy's rented and saved flags from the rentals\n"
     "      and holds that exist. Anything else wrong is reported and left alone.\n",
     cmd_check, false},
    {"dump", "FILE",
     "      Prints the key of every slot of a data file, in slot order\n"
     "      (0 empty, -1 deleted). FILE is relative to the current folder.\n",
     cmd_dump, false},
    {"demo", "",
     "      Sets up a small demo shop in a folder that holds none of the five data\n"
     "      files: a dozen clients (one whose subscription has ended, one owing a\n"
     "      fine), twenty titles of one to three copies, open rentals (one of them\n"
     "      late), two reservations of a title whose copies are all out, and one\n"
     "      hold, all dated from today. The files are built under temporary names\n"
     "      and put in place together, so a demo cut short leaves no half-made\n"
     "      shop. When all five files are already there it says so and changes\n"
     "      nothing (status 0); when only some are, it names them (status 2).\n",
     cmd_demo, true},
    {"backup", "DEST [--keep N]",
     "      Copies the five data files into a new folder DEST/rentdesk-YYYYMMDD-\n"
     "      HHMMSS (DEST relative to the current folder), each synced, their modes\n"
     "      kept, then checks the copy as check does: exit status 0 when it is a\n"
     "      sound set, 1 (saying what is wrong) otherwise. It works while a counter\n"
     "      is open, copying between two of the clerk's actions, never in the\n"
     "      middle of one. It never overwrites an earlier backup; with --keep N it\n"
     "      then removes all but the newest N backups this command made in DEST.\n",
     cmd_backup, false},
    {"restore", "BACKUP",
     "      Puts the data files of the folder BACKUP (one that backup made,\n"
     "      relative to the current folder) in place of the data folder's, all or\n"
     "      nothing. Refused while a rentdesk program works in the folder, and when\n"
     "      BACKUP does not pass check. The files it replaces are first copied into\n"
     "      replaced-YYYYMMDD-HHMMSS in the data folder and never deleted. A restore\n"
     "      cut short is finished, or was never begun, at the next start.\n",
     cmd_restore, true},
};

namespace {

std::string started_in;                // the folder the command was started in
std::optional<FolderLock> folder_lock; // held to the end of the command

std::string usage() {
    std::string lines;
    for (const Command& c : kCommands)
        lines += std::string(lines.empty() ? "usage: " : "       ") +
                 "rentdesk-admin [--data DIR] " + c.name + (*c.synopsis ? " " : "") + c.synopsis +
                 "\n";
    return lines + "       rentdesk-admin --help\n";
}

int help() {
    std::printf("rentdesk-admin: maintenance of a rentdesk data folder\n\n");
    for (const Command& c : kCommands)
        std::printf("  rentdesk-admin %s%s%s\n%s", c.name, *c.synopsis ? " " : "", c.synopsis,
                    c.help);
    std::printf("  rentdesk-admin --help\n      Prints this text.\n\n"
                "--data DIR, before or after the command, names the data folder (the five\n"
                "data files, the journal); by default it is the current folder. init, demo\n"
                "and restore create DIR when it does not exist. Commands that write (init,\n"
                "demo, restore, check --repair) refuse to run while a rentdesk program works\n"
                "in the folder; commands that only read work in a folder in use too, and say\n"
                "so; backup waits for the end of the clerk's action under way.\n");
    return 0;
}

// A data file that cannot be used ends the command with its message.
[[noreturn]] void report_file_fault(const StoreFault& fault) {
    std::fputs(fault_message(fault).c_str(), stdout);
    DataFile::close_all();
    std::exit(1);
}

} // namespace

int usage_error(const std::string& what) {
    std::fprintf(stderr, "rentdesk-admin: %s\n%s", what.c_str(), usage().c_str());
    return 2;
}

void lock_for_writing() {
    std::string why;
    FolderLock::Outcome outcome = FolderLock::take("", folder_lock, &why);
    if (outcome == FolderLock::Outcome::busy)
        std::fprintf(stderr, "rentdesk-admin: a rentdesk program is already working in this "
                             "folder; try again when it has ended.\n");
    if (outcome == FolderLock::Outcome::failed)
        std::fprintf(stderr, "rentdesk-admin: the data folder cannot be locked: %s\n", why.c_str());
    if (outcome != FolderLock::Outcome::taken)
        std::exit(1);
    if (journal_recover(""))
        std::printf("Finished the action a crash had cut short (%s).\n", kJournalFile);
}

void lock_for_reading() {
    std::string why;
    FolderLock::Outcome outcome = FolderLock::take("", folder_lock, &why);
    if (outcome == FolderLock::Outcome::busy)
        std::printf("Not locked: a rentdesk program works in this folder, and the files were "
                    "read as they stood.\n");
    if (outcome == FolderLock::Outcome::failed)
        std::printf("Not locked (%s): the files were read as they stood.\n", why.c_str());
}

CheckResult check_folder_at(const std::string& folder) {
    std::string data = current_folder(), why;
    if (!enter_folder(folder, false, &why))
        return CheckResult{{folder + ": cannot be used: " + why}, {}};
    CheckResult result = check_data_folder(false);
    set_fault_handler(report_file_fault);
    if (!enter_folder(data, false, &why)) {
        std::fprintf(stderr, "rentdesk-admin: the data folder %s cannot be used again: %s\n",
                     data.c_str(), why.c_str());
        std::exit(1);
    }
    return result;
}

std::vector<std::string> present_data_files() {
    std::vector<std::string> present;
    for (const char* name : kDataFileNames)
        if (entry_exists(name))
            present.push_back(name);
    return present;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

std::string user_path(const std::string& arg) {
    return !arg.empty() && (arg[0] == '/' || arg[0] == '\\' || (arg.size() > 1 && arg[1] == ':'))
               ? arg
               : started_in + arg;
}

int main(int argc, char** argv) {
    prepare_process();
    set_fault_handler(report_file_fault);
    Args args;
    std::optional<std::string> data;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help")
            return help();
        if (arg == "--data" && i + 1 < argc)
            data = argv[++i];
        else if (arg.rfind("--data=", 0) == 0)
            data = arg.substr(7);
        else if (arg == "--data")
            return usage_error("--data needs a folder");
        else
            args.push_back(arg);
    }
    if (args.empty())
        return usage_error("no command given");
    for (const Command& c : kCommands) {
        if (args[0] != c.name)
            continue;
        started_in = current_folder();
        std::string why;
        if (data && !enter_folder(*data, c.makes_folder, &why)) {
            std::fprintf(stderr, "rentdesk-admin: the data folder %s cannot be used: %s\n",
                         data->c_str(), why.c_str());
            return 1;
        }
        return c.run(Args(args.begin() + 1, args.end()));
    }
    return usage_error("unknown command '" + args[0] + "'");
}
