// rentdesk-admin: the shop's maintenance commands for a data folder. This
// file holds the table of commands, the shared options (--data, --help) and
// the parts every command uses; each command lives in a file of its own.
#include "tools/admin.h"

#include "store/datacheck.h"
#include "store/datafile.h"
#include "store/datafiles.h"
#include "store/fault.h"
#include "store/journal.h"
#include "store/logbook.h"

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
     "      a clerk's action a crash left in rentdesk.journal, and a damaged or\n"
     "      missing piece of the day log (see the manual). Exit status 0\n"
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
     "      Copies the five data files and the day log's lines (daylog-*.log)\n"
     "      into a new folder DEST/rentdesk-YYYYMMDD-HHMMSS (DEST relative to the\n"
     "      current folder), each synced, their modes\n"
     "      kept, then checks the copy as check does: exit status 0 when it is a\n"
     "      sound set, 1 (saying what is wrong) otherwise. It works while a counter\n"
     "      is open, copying between two of the clerk's actions, never in the\n"
     "      middle of one. It never overwrites an earlier backup; with --keep N it\n"
     "      then removes all but the newest N backups this command made in DEST.\n",
     cmd_backup, false},
    {"restore", "BACKUP [--until \"YYYY-MM-DD HH:MM\"]",
     "      Puts the data files of the folder BACKUP (one that backup made,\n"
     "      relative to the current folder) in place of the data folder's, all or\n"
     "      nothing. Refused while a rentdesk program works in the folder, and when\n"
     "      BACKUP does not pass check. The files it replaces are first copied into\n"
     "      replaced-YYYYMMDD-HHMMSS in the data folder and never deleted. A restore\n"
     "      cut short is finished, or was never begun, at the next start.\n"
     "      --until puts back the tables as they stood at that moment: the backup's,\n"
     "      with the actions the day log holds since replayed (see the manual).\n",
     cmd_restore, true},
    {"report",
     "NAME [--date YYYY-MM-DD] [--within N] [--from D --to D] [--client N | --movie M "
     "[--copy C]] [--csv]",
     "      Prints one of the owner's reports, taken on today or on the day --date\n"
     "      names (any day of the calendar, 29 February too). Days are counted on\n"
     "      the counter's calendar, as the counter counts due days, fines and holds.\n"
     "      Without --csv it prints a table for a terminal of 80 columns: a title\n"
     "      line, the rows, a totals line; dates as day/month/year; long names and\n"
     "      titles shortened (ending in ~), phones left out, and the movie and copy\n"
     "      numbers too when they would not fit. With --csv it prints CSV (fields\n"
     "      quoted as RFC 4180 asks, LF line ends, UTF-8): a header row of the\n"
     "      columns below, dates YYYY-MM-DD, numbers and texts as stored. Rows sort\n"
     "      as stated, ties by client id. NAME, one row per, its columns:\n"
     "        overdue        an open rental past its due day: client, first_name,\n"
     "                       last_name, phone, movie, copy, title, rented, due,\n"
     "                       days_late, fine (what a return that day books, 5 a\n"
     "                       late day); most days late first.\n"
     "        holds          a copy held for a client: client, first_name,\n"
     "                       last_name, phone, movie, copy, title, held_since,\n"
     "                       last_day (the last day it waits), state (waiting, or\n"
     "                       'ran out' when that day's saved-list update releases\n"
     "                       it); by last_day.\n"
     "        queues         a reservation: movie, title, position, client,\n"
     "                       first_name, last_name, phone, reserved, expected.\n"
     "                       Position 1 gets the next copy of the title that comes\n"
     "                       back: first the reservations the hand-over serves that\n"
     "                       day, in the order it picks them one after the other\n"
     "                       (the earliest date; of equal dates, the one it meets\n"
     "                       last in the title's search), then those it does not\n"
     "                       serve yet (dated later), by date. expected: the k-th\n"
     "                       earliest due day of the title's rented copies for\n"
     "                       position k, past or not; empty beyond them. By movie,\n"
     "                       then position.\n"
     "        fines          a client owing a fine: client, first_name, last_name,\n"
     "                       phone, fine; the largest first.\n"
     "        subscriptions  a client whose subscription ended or ends within N\n"
     "                       days (--within N, default 7): client, first_name,\n"
     "                       last_name, phone, ends (the last day the counter lets\n"
     "                       him in without paying: the start plus the months, the\n"
     "                       day cut to a shorter month's last), days_left (0 on\n"
     "                       that day, -1 the day after); by days_left.\n"
     "        day            the cash-up of the day log's events of a day (--date)\n"
     "                       or of --from D --to D: money by kind and program,\n"
     "                       and counts of the clerk's actions (see the manual).\n"
     "        history        every logged event of a client (--client N), with\n"
     "                       what he owes, or of a movie (--movie M [--copy C]).\n"
     "        summary        figure,value: clients, clients with a running\n"
     "                       subscription, titles, copies, copies rented, copies\n"
     "                       held, reservations, overdue rentals, fines owed in\n"
     "                       total, fines overdue rentals would add today.\n"
     "      A record naming a client, copy or title not on file is still shown, the\n"
     "      missing fields empty. Reports only read and lock nothing: they work on a\n"
     "      read-only copy and while a counter works in the folder (an action it is\n"
     "      writing may show half done); an action left in the journal is said on\n"
     "      standard error. A missing or damaged data file ends the report with the\n"
     "      check's words for it, status 1; a bad name, date or number, status 2.\n",
     cmd_report, false},
    {"export", "TABLE",
     "      Prints every live record of a table as CSV, in slot order, under a header\n"
     "      row of its field names: clients (id,fname,lname,address,subdate,phone,\n"
     "      months,fine), movies (name,id,copy,diskstatus,rentdays,rented,saved),\n"
     "      rentals (client,rentdate,movie,copy,rentdays), reservations (client,movie,\n"
     "      callnotice,resdate) or holds (client,movie,copy,savedate). Dates are\n"
     "      YYYY-MM-DD, the rest as stored. It only reads, as report does.\n",
     cmd_export, false},
    {"import", "TABLE FILE",
     "      Adds clients or movie copies (TABLE clients or movies) from a CSV file in\n"
     "      the form export writes (LF or CRLF line ends; FILE - is standard input).\n"
     "      Every row is checked first: ids 1 or more, not in the table already nor\n"
     "      twice in the file (for a copy: its copy number free for its title, and\n"
     "      the name and rent days of the title's other copies); names, addresses\n"
     "      and titles not empty, UTF-8 without control characters, cut to their\n"
     "      fields as the counter cuts them (11 and 19 bytes); phone, months, fine\n"
     "      and rent days 0 or more; disk status 1 to 10; rented and saved 0; dates\n"
     "      real days. Any bad row refuses the whole file: every bad line is named\n"
     "      with what is wrong, nothing is written, status 2. Otherwise the records\n"
     "      are inserted as the counter inserts them, the tables growing as needed,\n"
     "      all in one action through the journal, and the number added is said.\n",
     cmd_import, false},
    {"receipt", "N",
     "      Prints the receipt of the payment whose event in the day log is number\n"
     "      N, 40 columns wide (see the manual).\n",
     cmd_receipt, false},
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
    std::printf(
        "  rentdesk-admin --help\n      Prints this text.\n\n"
        "--data DIR, before or after the command, names the data folder (the five\n"
        "data files, the journal); by default it is the current folder. init, demo\n"
        "and restore create DIR when it does not exist. Commands that write (init,\n"
        "demo, restore, import, check --repair) refuse to run while a rentdesk program works\n"
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

[[noreturn]] void end_with_problems(const std::vector<std::string>& problems) {
    std::fflush(stdout);
    for (const std::string& line : problems)
        std::fprintf(stderr, "%s\n", line.c_str());
    DataFile::close_all();
    std::exit(1);
}

// Damage a reading command meets, in the check's form: the file, then what.
[[noreturn]] void end_reading(const StoreFault& fault) {
    end_with_problems({fault.path + ": " + fault.what});
}

} // namespace

int usage_error(const std::string& what) {
    std::fprintf(stderr, "rentdesk-admin: %s\n%s", what.c_str(), usage().c_str());
    return 2;
}

void lock_for_writing() {
    std::string why;
    FolderLock::Outcome outcome = FolderLock::take(folder_lock, &why);
    if (outcome == FolderLock::Outcome::busy)
        std::fprintf(stderr, "rentdesk-admin: a rentdesk program is already working in this "
                             "folder; try again when it has ended.\n");
    if (outcome == FolderLock::Outcome::failed)
        std::fprintf(stderr, "rentdesk-admin: the data folder cannot be locked: %s\n", why.c_str());
    if (outcome != FolderLock::Outcome::taken)
        std::exit(1);
    if (journal_recover())
        std::printf("Finished the action a crash had cut short (%s).\n", kJournalFile);
}

void lock_for_reading() {
    std::string why;
    FolderLock::Outcome outcome = FolderLock::take(folder_lock, &why);
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
    CheckResult result = check_data_folder(false, false); // the tables alone
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

void begin_reading_only() {
    set_fault_handler(end_reading);
    if (journal_state() == JournalState::complete)
        std::fprintf(stderr,
                     "rentdesk-admin: %s holds a clerk's action not applied in full (a "
                     "crash cut it short, or a counter is applying it); the files are "
                     "read as they stand.\n",
                     kJournalFile);
}

DataFile open_for_reading(const char* name, std::size_t record_size) {
    auto file = DataFile::open(name, DataFile::Mode::Read);
    std::vector<std::string> problems =
        table_file_problems(file ? &*file : nullptr, name, record_size);
    if (!problems.empty())
        end_with_problems(problems);
    return std::move(*file);
}

int finish_output() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return 0;
    std::fprintf(stderr, "rentdesk-admin: the output could not be written in full.\n");
    return 1;
}

std::string user_path(const std::string& arg) {
    return !arg.empty() && (arg[0] == '/' || arg[0] == '\\' || (arg.size() > 1 && arg[1] == ':'))
               ? arg
               : started_in + arg;
}

int main(int argc, char** argv) {
    if (!prepare_process())
        return 1; // a standard stream is closed and cannot be opened on the null device
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
        set_log_program(std::string("rentdesk-admin ") + c.name);
        return c.run(Args(args.begin() + 1, args.end()));
    }
    return usage_error("unknown command '" + args[0] + "'");
}
