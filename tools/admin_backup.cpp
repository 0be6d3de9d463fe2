// rentdesk-admin backup and restore. A backup copies the five data files
// and the day log between two of the clerk's actions: it holds the lock of
// rentdesk.journal, which the counter holds while an action's writes reach
// the tables. A restore copies the files it replaces aside, builds the
// backup's files beside the tables as <table>.new and puts them in place by
// one intent of the journal, so that the next start finishes a restore cut
// short; the day log stays and says so. Restoring up to a moment first
// replays the log's after-images over a copy of the backup's tables.
#include "tools/admin.h"
#include "tools/csv.h"

#include "store/datafile.h"
#include "store/datafiles.h"
#include "store/dates.h"
#include "store/daylog.h"
#include "store/fault.h"
#include "store/journal.h"
#include "store/logbook.h"
#include "store/replay.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <thread>

namespace {

constexpr const char* kBackupPrefix = "rentdesk-";
constexpr const char* kReplacedPrefix = "replaced-"; // the tables a restore replaced
constexpr const char* kUnfinished = ".part"; // a backup being made, or one that failed its check
constexpr int kJournalWaitSeconds = 10;

std::string unfinished; // the folder a backup is being made in, removed if it fails

// Copies the file at from into a fresh file at to, synced, with the
// permissions and owner of like (of from when none is given).
void copy_file(const std::string& from, const std::string& to, const DataFile* like) {
    std::optional<DataFile> in = DataFile::open(from, DataFile::Mode::Read);
    if (!in)
        report_fault(Fault::cannot_open, from, "cannot be opened");
    std::optional<DataFile> out = DataFile::open(to, DataFile::Mode::Create, like ? like : &*in);
    if (!out)
        report_fault(Fault::damaged, to, "cannot be created");
    std::vector<char> buf(1 << 20);
    const int64_t size = in->size();
    for (int64_t at = 0; at < size;) {
        std::size_t len = static_cast<std::size_t>(std::min<int64_t>(size - at, buf.size()));
        in->read_at(at, buf.data(), len);
        out->write_at(at, buf.data(), len);
        at += static_cast<int64_t>(len);
    }
    out->close();
}

// Makes a new folder in parent named prefix, the clock stamp and suffix; the
// stamp is followed by -2, -3... while that name, or the name without the
// suffix, is taken. Answers its path ending in the separator; a folder that
// cannot be made ends the command.
std::string make_stamped_folder(const std::string& parent, const std::string& prefix,
                                const std::string& suffix) {
    const std::string stamp = clock_stamp();
    std::string why;
    for (int n = 1;; ++n) {
        const std::string name = parent + prefix + stamp + (n > 1 ? "-" + std::to_string(n) : "");
        if (!suffix.empty() && entry_exists(name))
            continue;
        int made = make_folder(name + suffix, &why);
        if (made == 1)
            return name + suffix + "/";
        if (made < 0) {
            std::fprintf(stderr, "rentdesk-admin: the folder %s cannot be made: %s\n",
                         (name + suffix).c_str(), why.c_str());
            std::exit(1);
        }
    }
}

// The folder a path names, ending in the separator.
std::string as_folder(const std::string& path) {
    return !path.empty() && path.back() != '/' && path.back() != '\\' ? path + "/" : path;
}

// Whether name is one this command gives a folder: the prefix, eight
// digits, -, six digits, and maybe - and a count.
bool is_stamped_name(const std::string& name, const std::string& prefix) {
    const std::string shape = prefix + "########-######";
    if (name.size() < shape.size())
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char want = i < shape.size() ? shape[i] : i == shape.size() ? '-' : '#';
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (want == '#' ? !digit : name[i] != want)
            return false;
    }
    return name.size() != shape.size() + 1 && name.size() <= shape.size() + 7;
}

// The order of folders named prefix and a stamp by age: by stamp, then by
// the count after it.
bool older(const std::string& a, const std::string& b, std::size_t prefix) {
    const std::size_t stamp = prefix + 15;
    auto count = [&](const std::string& name) {
        return name.size() > stamp ? std::stol(name.substr(stamp + 1)) : 1L;
    };
    if (a.compare(0, stamp, b, 0, stamp) != 0)
        return a.compare(0, stamp, b, 0, stamp) < 0;
    return count(a) < count(b);
}

// Removes a folder this command made (a backup, one a backup left
// unfinished, or the tables a restore replaced): only a real folder holding
// nothing but data files and the day log's files, never through a link.
bool remove_made_folder(const std::string& folder, std::string* why) {
    std::vector<std::string> names(std::begin(kDataFileNames), std::end(kDataFileNames));
    for (const std::string& file : log_files(folder + "/", kLogSuffix))
        names.push_back(file); // listed only to be allowed: the removal never follows a link
    return remove_folder_of(folder, names, why);
}

// The same, saying on standard error why a folder was not removed.
bool remove_made_folder(const std::string& folder) {
    std::string why;
    if (remove_made_folder(folder, &why))
        return true;
    std::fprintf(stderr, "rentdesk-admin: %s was not removed: %s\n", folder.c_str(), why.c_str());
    return false;
}

// Removes what earlier backups left unfinished in parent ("" for the data
// folder), and all but the newest keep folders named prefix and a stamp,
// the one just made (made, or "" when none) always among them, whatever
// the stamps of the others say. Answers false when one could not be removed.
bool remove_old_folders(const std::string& parent, const std::string& prefix,
                        const std::string& made, std::size_t keep, const char* kind) {
    std::vector<std::string> names, old;
    std::string why;
    if (!folder_entries(parent, &names, &why)) {
        std::fprintf(stderr, "rentdesk-admin: %s cannot be read: %s\n",
                     parent.empty() ? "the data folder" : parent.c_str(), why.c_str());
        return false;
    }
    const std::size_t part = std::string(kUnfinished).size();
    bool all = true;
    for (const std::string& name : names) {
        if (name.size() > part && name.ends_with(kUnfinished) &&
            is_stamped_name(name.substr(0, name.size() - part), prefix))
            all = remove_made_folder(parent + name) && all;
        else if (is_stamped_name(name, prefix) && parent + name != made)
            old.push_back(name);
    }
    std::sort(old.begin(), old.end(), [&](const std::string& a, const std::string& b) {
        return older(a, b, prefix.size());
    });
    const std::size_t others = keep == 0 ? old.size() : made.empty() ? keep : keep - 1;
    for (std::size_t i = 0; i + others < old.size(); ++i) {
        const bool removed = remove_made_folder(parent + old[i]);
        if (removed)
            std::printf("Removed the older %s %s.\n", kind, (parent + old[i]).c_str());
        all = removed && all;
    }
    return all;
}

// Reads the count after --keep: a whole number, 1 or more.
bool parse_keep(const std::string& n, std::size_t& keep) {
    if (n.empty() || n.size() > 6 || n.find_first_not_of("0123456789") != std::string::npos)
        return false;
    keep = std::stoul(n);
    return keep >= 1;
}

// Ends the command before anything was copied.
[[noreturn]] void copy_refused(const std::string& why) {
    std::fprintf(stderr, "rentdesk-admin: %s; nothing was copied.\n", why.c_str());
    std::exit(1);
}

// The journal's lock, which a counter holds while an action's writes reach
// the tables: waited for, so that the tables are copied between two actions.
// A counter makes its journal as it starts: one starting now is given a moment.
// The lock is that of the journal the folder names when it is taken: a
// counter whose journal was deleted or replaced makes it again there before
// its next action reaches the tables.
std::optional<DataFile> lock_journal(bool folder_ours) {
    for (int tries = 0;; ++tries) {
        std::optional<DataFile> journal = DataFile::open(kJournalFile, DataFile::Mode::Read);
        const bool locked = journal && journal->lock(true);
        if (locked && (folder_ours || journal->is_at(kJournalFile)))
            return journal;
        if (folder_ours)
            return std::nullopt; // no program can write while the folder is ours
        if (journal && !locked)
            copy_refused(std::string("the lock of ") + kJournalFile + " cannot be taken");
        if (tries == kJournalWaitSeconds * 10)
            copy_refused(std::string("a rentdesk program works in this folder but ") +
                         kJournalFile + " is missing");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

// Copies the day log's files into folder. A log without any event yet is
// kept as one empty file, which tells a later restore --until that the
// backup stands before the log's first event.
void copy_log(const std::string& from, const std::string& folder) {
    const std::vector<std::string> names = log_files(from, kLogSuffix);
    for (const std::string& name : names)
        copy_file(from + name, folder + name, nullptr);
    if (names.empty()) {
        const ClockTime now = clock_now();
        char name[40];
        std::snprintf(name, sizeof name, "%s%04d-%02d%s", kLogPrefix, now.date.year % 10000,
                      now.date.month % 100, kLogSuffix);
        std::optional<DataFile> empty = DataFile::open(folder + name, DataFile::Mode::Create);
        if (!empty)
            report_fault(Fault::damaged, folder + name, "cannot be created");
        empty->close();
    }
}

// Copies the five tables and the day log into folder between two actions.
// A clerk's action a crash cut short is finished first when no program
// holds the folder.
void copy_tables(const std::string& folder) {
    std::optional<FolderLock> lock;
    std::string why;
    const bool ours = FolderLock::take(lock, &why) == FolderLock::Outcome::taken;
    if (ours && journal_recover())
        std::printf("Finished the action a crash had cut short (%s).\n", kJournalFile);
    std::optional<DataFile> journal = lock_journal(ours);
    if (journal_state() == JournalState::complete)
        copy_refused(std::string(kJournalFile) + " holds a clerk's action a crash cut short, " +
                     "which only the next start of the counter (or check --repair) can finish");
    for (const char* name : kDataFileNames)
        copy_file(name, folder + name, nullptr);
    copy_log("", folder);
    sync_folder(folder);
}

} // namespace

int cmd_backup(const Args& args) {
    std::optional<std::string> dest;
    std::size_t keep = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--keep" && i + 1 < args.size()) {
            if (!parse_keep(args[++i], keep))
                return usage_error("--keep needs a whole number of backups, 1 or more");
        } else if (args[i] == "--keep" || dest) {
            return usage_error("backup takes one destination folder and --keep N");
        } else {
            dest = as_folder(user_path(args[i]));
        }
    }
    if (!dest)
        return usage_error("backup needs a destination folder");
    if (!is_folder(*dest)) { // never made here: a backup disk that is not there is noticed
        std::fprintf(stderr, "rentdesk-admin: the backup folder %s %s.\n", dest->c_str(),
                     entry_exists(dest->substr(0, dest->size() - 1)) ? "is not a folder"
                                                                     : "does not exist");
        return 1;
    }
    const std::vector<std::string> present = present_data_files();
    if (present.size() != std::size(kDataFileNames)) {
        std::fprintf(stderr,
                     "rentdesk-admin: the data folder holds %s of the five data files; "
                     "nothing was copied.\n",
                     present.empty() ? "none" : ("only " + joined(present)).c_str());
        return 1;
    }
    unfinished = make_stamped_folder(*dest, kBackupPrefix, kUnfinished);
    std::atexit([] { // however the command ends, a failed copy does not fill the backup disk
        std::string why;
        if (!unfinished.empty())
            remove_made_folder(unfinished.substr(0, unfinished.size() - 1), &why);
    });
    copy_tables(unfinished);
    CheckResult result = check_folder_at(unfinished);
    if (!result.problems.empty()) { // on standard error, which cron mails
        for (const std::string& line : result.problems)
            std::fprintf(stderr, "%s\n", line.c_str());
        std::fprintf(stderr, "rentdesk-admin: the copy is not a sound set of data files, so it "
                             "was removed: no backup was made.\n");
        return 1;
    }
    const std::string made = unfinished.substr(0, unfinished.size() - 1); // no separator
    std::string name = made.substr(0, made.size() - std::string(kUnfinished).size()), why;
    if (!rename_unless_taken(made, name, &why)) {
        std::fprintf(stderr, "rentdesk-admin: the backup in %s cannot be named %s: %s\n",
                     unfinished.c_str(), name.c_str(), why.c_str());
        return 1;
    }
    unfinished.clear();
    std::printf("Backed up the five data files and the day log into %s.\n", name.c_str());
    return remove_old_folders(*dest, kBackupPrefix, name, keep, "backup") ? 0 : 1;
}

namespace {

// The last event of the log in folder; 0 for none.
int64_t last_event(const std::string& folder) {
    int64_t seq = 0;
    std::string why;
    each_log_line(
        folder, [&](const LogLine& line) { seq = line.seq; }, &why);
    return seq;
}

// Whether text is a moment "YYYY-MM-DD HH:MM" of the real calendar.
bool parse_moment(const std::string& text, std::string* moment) {
    Date d;
    if (text.size() != 16 || text[10] != ' ' || text[13] != ':' ||
        !parse_iso_date(text.substr(0, 10), d))
        return false;
    const std::string hh = text.substr(11, 2), mm = text.substr(14, 2);
    if (hh.find_first_not_of("0123456789") != std::string::npos ||
        mm.find_first_not_of("0123456789") != std::string::npos || std::stoi(hh) > 23 ||
        std::stoi(mm) > 59)
        return false;
    *moment = text;
    return true;
}

// Removes a work folder of restore --until with what was built in it.
void remove_work(const std::string& work) {
    std::vector<std::string> names;
    std::string why;
    folder_entries(work, &names, &why);
    for (const std::string& name : names)
        remove_entry(work + name);
    remove_folder(work, &why);
}

// Builds, in a work folder of the data folder, the backup's tables replayed
// up to the moment; answers the folder, or ends the command with the reason
// it cannot be done, changing nothing.
std::string rebuild_until(const std::string& backup, const std::string& until, ReplayReach* reach) {
    const std::string work = make_stamped_folder("", "until-", ".part");
    for (const char* name : kDataFileNames)
        copy_file(backup + name, work + name, nullptr);
    std::string why;
    const bool done = replay_until(backup, work, until, reach, &why);
    CheckResult result = done ? check_folder_at(work) : CheckResult{};
    if (!done || !result.problems.empty()) {
        remove_work(work);
        for (const std::string& line : result.problems)
            std::fprintf(stderr, "%s\n", line.c_str());
        std::fprintf(stderr,
                     "rentdesk-admin: the tables of %s cannot be brought to %s: %s; "
                     "nothing was changed.\n",
                     backup.c_str(), until.c_str(),
                     done ? "the replayed tables do not pass check" : why.c_str());
        std::exit(1);
    }
    return work;
}

} // namespace

int cmd_restore(const Args& args) {
    std::optional<std::string> backup, until;
    std::size_t keep = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--keep" && i + 1 < args.size()) {
            if (!parse_keep(args[++i], keep))
                return usage_error("--keep needs a whole number of folders, 1 or more");
        } else if (args[i] == "--until" && i + 1 < args.size()) {
            if (!parse_moment(args[++i], &until.emplace()))
                return usage_error("--until needs a moment written \"YYYY-MM-DD HH:MM\"");
        } else if (args[i] == "--keep" || args[i] == "--until" || backup) {
            return usage_error(
                "restore takes one backup folder, --keep N and --until \"YYYY-MM-DD HH:MM\"");
        } else {
            backup = as_folder(user_path(args[i]));
        }
    }
    if (!backup)
        return usage_error("restore takes one backup folder");
    CheckResult result = check_folder_at(*backup);
    if (!result.problems.empty()) {
        for (const std::string& line : result.problems)
            std::fprintf(stderr, "%s\n", line.c_str());
        std::fprintf(stderr,
                     "rentdesk-admin: %s is not a sound set of data files; nothing was "
                     "changed.\n",
                     backup->c_str());
        return 1;
    }
    lock_for_writing(true); // the tables are replaced: a journal of others is set aside
    ReplayReach reach{last_event(*backup), {}};
    const std::string from = until ? rebuild_until(*backup, *until, &reach) : *backup;
    // The tables in place now, copied aside first; a link among them is
    // refused before anything is written.
    std::vector<std::optional<DataFile>> old;
    for (const char* name : kDataFileNames)
        old.push_back(DataFile::open(name, DataFile::Mode::Read));
    std::string aside;
    for (std::size_t i = 0; i < old.size(); ++i) {
        if (!old[i])
            continue;
        if (aside.empty())
            aside = make_stamped_folder("", kReplacedPrefix, "");
        copy_file(kDataFileNames[i], aside + kDataFileNames[i], &*old[i]);
    }
    if (!aside.empty())
        sync_folder(aside);
    for (std::size_t i = 0; i < old.size(); ++i)
        copy_file(from + kDataFileNames[i], std::string(kDataFileNames[i]) + ".new",
                  old[i] ? &*old[i] : nullptr);
    // A folder without a day log (a shop rebuilt from its backup) takes the
    // backup's, so that the log goes on from the events the tables hold.
    if (log_files("", kLogSuffix).empty() && !log_files(*backup, kLogSuffix).empty()) {
        logbook_close();
        for (const std::string& name : log_files(*backup, kLogSuffix))
            copy_file(*backup + name, name, nullptr);
    }
    sync_folder(""); // the new names survive a power failure before the intent names them
    old.clear();     // no table is held open while it is replaced
    journal_open();
    for (const char* name : kDataFileNames)
        journal_hold_rename(std::string(name) + ".new", name);
    const std::string folder = backup->substr(0, backup->size() - 1); // without the separator
    EventFields fields{{"backup", folder.substr(folder_of(folder).size())},
                       {"seq", std::to_string(reach.seq)}};
    if (until)
        fields.push_back({"until", *until});
    log_event("restore", fields);
    journal_commit();
    if (until)
        remove_work(from);
    std::printf("Restored the five data files from %s", backup->c_str());
    if (until)
        std::printf(" as they stood at %s (the log replayed to event %lld)", until->c_str(),
                    static_cast<long long>(reach.seq));
    std::printf(".\n");
    if (!aside.empty())
        std::printf("The files they replaced are in %s.\n", aside.c_str());
    const std::string made = aside.empty() ? "" : aside.substr(0, aside.size() - 1);
    return keep == 0 || remove_old_folders("", kReplacedPrefix, made, keep, "replaced folder") ? 0
                                                                                               : 1;
}
