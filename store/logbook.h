// The day log on disk: one text file a month, daylog-YYYY-MM.log, of one
// line per event, and beside it daylog-YYYY-MM.redo, the after-images of
// each action (the journal's intent, as it was applied) that restore --until
// replays. Both only ever grow at their end. The journal hands every
// applied action here (store/journal.h); the readers (check, the reports,
// receipts, restore --until) read the files back through the calls below.
//
// A line: the event's number, its local date and time, the program that
// wrote it and the kind of event, then name=value fields, all separated by
// tabs:  17<TAB>2009-03-02 10:04:11<TAB>rentdesk<TAB>rental<TAB>client=3...
// Numbers follow each other without a gap across the files, oldest first.
#pragma once

#include "store/datafile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

inline constexpr const char* kLogPrefix = "daylog-";
inline constexpr const char* kLogSuffix = ".log";
inline constexpr const char* kRedoSuffix = ".redo";

// One event line, read back.
struct LogLine {
    int64_t seq = 0;
    std::string time;    // YYYY-MM-DD HH:MM:SS
    std::string program; // rentdesk, rentdesk2, rentdesk-admin COMMAND
    std::string kind;
    std::vector<std::pair<std::string, std::string>> fields; // values unescaped
    // The value of a field; empty when the line has none.
    std::string field(std::string_view name) const;
    bool has(std::string_view name) const;
    // A numeric field; 0 when absent or not a number.
    int64_t number(std::string_view name) const;
};

// A field's value as a line carries it: tab, line end and backslash escaped
// (\t \n \\), other control bytes as \xHH.
std::string escape_field(std::string_view value);
// Reads a line (without its line end); false when it is not an event line.
bool parse_log_line(std::string_view text, LogLine& out);

// The log's files (ext: kLogSuffix or kRedoSuffix) in folder ("" for the
// current one), oldest first: the names alone.
std::vector<std::string> log_files(const std::string& folder, const char* ext);

// ---- Writing ------------------------------------------------------------------

using EventFields = std::vector<std::pair<std::string, std::string>>;

// The program every event names from now on: rentdesk, rentdesk2,
// rentdesk-admin COMMAND.
void set_log_program(const std::string& program);
// An event as the journal holds it until it is numbered: the local date and
// time now (store/dates.h), the program, the kind and the fields, escaped.
std::string event_text(const std::string& kind, const EventFields& fields);

// (The journal alone appends, syncs and closes.)

// Appends an applied action: its event lines (each "seq<TAB>...") to the
// log, and its intent, with the numbers of its first and last event, to the
// after-images. Both skip what they hold already (a number at or below
// their last), so an action appended again after a crash is appended once.
// A line goes to the file of its own month, or the newest file when that is
// later (a clock set back). When recovering, a last line or record a crash
// cut short is dropped first; otherwise it is left for check to report and
// the next line starts on a line of its own. Nothing is synced here; like
// names the file whose permissions new files take.
void logbook_append(const std::vector<std::string>& lines, const std::string& intent, int64_t first,
                    int64_t last, bool recovering, const DataFile* like);
// Syncs what was appended since the last call (and the folder when a file
// was made).
void logbook_sync();
// The number of the log's last event in the current folder, 0 for none.
int64_t logbook_last_seq();
// Forgets the open files (after the folder's log was replaced).
void logbook_close();

// ---- Reading ----------------------------------------------------------------

// Calls visit(line) for every readable line of the log in folder, oldest
// first; answers false (why set, naming the file) at a file that cannot be
// read.
template <class Visit>
bool each_log_line(const std::string& folder, Visit visit, std::string* why);
bool read_log_file(const std::string& path, std::string* bytes, std::string* why);

// One action of the after-images: its numbers and the intent as applied.
struct RedoRecord {
    int64_t first = 0, last = 0;
    std::string intent;
};
// The after-images in folder, oldest first; false (why set, naming the
// file and byte) at a record that cannot be read.
bool read_redo(const std::string& folder, std::vector<RedoRecord>* records, std::string* why);

// What is wrong with the log of folder: a file that cannot be read, a line
// that is no event, a file ending inside a line, a number out of turn (a
// missing piece), after-images that do not follow each other; and, when
// tables_seq is given (the last action the tables hold, from the journal),
// a log that ends before or after it. One line each, naming the file.
std::vector<std::string> log_problems(const std::string& folder, std::optional<int64_t> tables_seq);

template <class Visit>
bool each_log_line(const std::string& folder, Visit visit, std::string* why) {
    for (const std::string& name : log_files(folder, kLogSuffix)) {
        std::string bytes;
        if (!read_log_file(folder + name, &bytes, why))
            return false;
        for (std::size_t at = 0; at < bytes.size();) {
            std::size_t end = bytes.find('\n', at);
            if (end == std::string::npos)
                break;
            LogLine line;
            if (parse_log_line(std::string_view(bytes).substr(at, end - at), line))
                visit(line);
            at = end + 1;
        }
    }
    return true;
}
