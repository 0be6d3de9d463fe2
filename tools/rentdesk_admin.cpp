// rentdesk-admin: the shop's maintenance commands for a data folder. This
// file holds the table of commands, the shared options (--data, --help) and
// the parts every command uses; each command lives in a file of its own.
#include "tools/admin.h"

#include "store/datacheck.h"
#include "store/datafile.h"
#include "store/datafiles.h"
#include "store/dates.h"
#include "store/fault.h"
#include "store/journal.h"
#include "store/logbook.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>

const std::vector<Command> kCommands = {
    {"init", "SLOTS [--force]", "set up the five data files, empty, of SLOTS slots", cmd_init,
     true},
    {"demo", "", "set up a small demo shop to try the counter on", cmd_demo, true},
    {"check", "[--repair]",
     "report all that is wrong in the data files and the\n"
     "day log; --repair mends what a cut-short action left",
     cmd_check, false},
    {"dump", "FILE", "print the key of every slot of a data file", cmd_dump, false},
    {"compact", "[TABLE]", "rebuild tables at their size: deleted slots emptied", cmd_compact,
     false},
    {"backup", "DEST [--keep N]",
     "copy the data files into a new folder of DEST, even\n"
     "while the counter works; keep the newest N backups",
     cmd_backup, false},
    {"restore", "BACKUP [--keep N] [--until \"DAY HH:MM\"]",
     "put a backup's files back, or as they stood at a\n"
     "moment; keep the newest N folders of those replaced",
     cmd_restore, true},
    {"report", "NAME [--date DAY] [--csv] [...]",
     "an owner's report: overdue, holds, queues, fines,\n"
     "subscriptions, summary, day, history; DAY YYYY-MM-DD",
     cmd_report, false},
    {"export", "TABLE",
     "print a table as CSV: clients, movies, rentals,\n"
     "reservations or holds",
     cmd_export, false},
    {"import", "TABLE FILE", "add clients or movies from CSV in export's form", cmd_import, false},
    {"receipt", "N", "print the receipt of the payment logged as event N", cmd_receipt, false},
};

namespace {

std::string started_in;                // the folder the command was started in
std::string data_given;                // --data as the user gave it, or empty
std::optional<FolderLock> folder_lock; // held to the end of the command

std::string usage() {
    std::string lines;
    for (const Command& c : kCommands)
        lines += std::string(lines.empty() ? "usage: " : "       ") +
                 "rentdesk-admin [--data DIR] " + c.name + (*c.synopsis ? " " : "") + c.synopsis +
                 "\n";
    return lines + "       rentdesk-admin --help\n";
}

// One or two lines per command; the manual page holds the whole text.
int help() {
    std::printf("usage: rentdesk-admin [--data DIR] COMMAND [ARGUMENTS]\n"
                "Maintenance of a rentdesk data folder: DIR, by default the current folder.\n\n");
    constexpr int kColumn = 28;
    for (const Command& c : kCommands) {
        std::string call = std::string("  ") + c.name + (*c.synopsis ? " " : "") + c.synopsis;
        std::string text = c.help;
        for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += kColumn)
            text.insert(at + 1, std::string(kColumn, ' '));
        if (call.size() >= kColumn)
            std::printf("%s\n%*s%s\n", call.c_str(), kColumn, "", text.c_str());
        else
            std::printf("%-*s%s\n", kColumn, call.c_str(), text.c_str());
    }
    std::printf("\nEvery command, its messages and exit statuses: man rentdesk-admin\n");
    return 0;
}

// A data file that cannot be used ends the command with its message, on
// standard error as every failure.
[[noreturn]] void report_file_fault(const StoreFault& fault) {
    std::fflush(stdout);
    std::fputs(fault_message(fault).c_str(), stderr);
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

// The journal of a folder whose tables a command makes afresh: the action
// it holds is finished when it can be, and otherwise (its tables are gone,
// or it is damaged) the journal is set aside under a name of its own, so
// that it never bars the way to new tables.
void finish_or_set_aside_journal() {
    set_fault_handler(nullptr);
    try {
        if (journal_recover())
            std::printf("Finished the action a crash had cut short (%s).\n", kJournalFile);
    } catch (const StoreFault& fault) {
        const std::string aside = std::string(kJournalFile) + "-" + clock_stamp();
        std::string why;
        if (!rename_unless_taken(kJournalFile, aside, &why)) {
            std::fprintf(stderr, "rentdesk-admin: %s cannot be set aside as %s: %s\n", kJournalFile,
                         aside.c_str(), why.c_str());
            std::exit(1);
        }
        std::printf("Set %s aside as %s, since the action in it cannot be finished (%s: %s).\n",
                    kJournalFile, aside.c_str(), fault.path.c_str(), fault.what.c_str());
    }
    set_fault_handler(report_file_fault);
}

void lock_for_writing(bool afresh) {
    std::string why;
    FolderLock::Outcome outcome = FolderLock::take(folder_lock, &why);
    if (outcome == FolderLock::Outcome::busy)
        std::fprintf(stderr, "rentdesk-admin: a rentdesk program is already working in this "
                             "folder; try again when it has ended.\n");
    if (outcome == FolderLock::Outcome::failed)
        std::fprintf(stderr, "rentdesk-admin: the data folder cannot be locked: %s\n", why.c_str());
    if (outcome != FolderLock::Outcome::taken)
        std::exit(1);
    if (afresh)
        finish_or_set_aside_journal();
    else if (journal_recover())
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

// A folder name as a shell takes it back: quoted when it holds more than
// letters, digits and the usual path signs.
std::string shell_word(const std::string& word) {
    if (!word.empty() &&
        word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                               "0123456789_./:\\+,=@%-") == std::string::npos)
        return word;
    std::string quoted = "\"";
    for (char c : word)
        quoted += c == '"' || c == '$' || c == '`' ? std::string("\\") + c : std::string(1, c);
    return quoted + "\"";
}

std::string command_line(const std::string& command) {
    return "rentdesk-admin" + (data_given.empty() ? "" : " --data " + shell_word(data_given)) +
           " " + command;
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
        data_given = data.value_or("");
        std::string why;
        if (data && !enter_folder(*data, c.makes_folder, &why)) {
            std::fprintf(stderr, "rentdesk-admin: the data folder %s cannot be used: %s\n",
                         data->c_str(), why.c_str());
            return 1;
        }
        set_log_program(std::string("rentdesk-admin ") + c.name);
        try {
            const int status = c.run(Args(args.begin() + 1, args.end()));
            journal_close(); // the tables it wrote synced, the journal emptied
            return status;
        } catch (const StoreFault& fault) { // met where no handler ends the command
            report_file_fault(fault);
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "rentdesk-admin: %s needs more memory than there is.\n", c.name);
            return 1;
        }
    }
    return usage_error("unknown command '" + args[0] + "'");
}
