// The clerk's actions all or nothing across the data files. While the journal
// is open, the tables opened for the action hold their writes here, and
// every read of the program sees them. When the action ends (the counter
// ends one before every key wait and new screen) the held writes become one
// intent appended to rentdesk.journal and synced: the action's one sync.
// The writes then go to the tables, left for the system to write back. A
// checkpoint syncs the tables written since the last one and empties the
// journal: every 64 actions, once the journal passes 1 MiB, around an
// action that puts a grown table in place, after a recovery, and when a
// program ends (journal_close). A crash before an intent is whole leaves
// every table as the actions before it left them; after it, the next start
// applies every intent since the checkpoint again, in order, which is safe
// because an intent holds only whole new records and the renames of grown
// tables.
//
// Each action also carries the events of the day log (store/logbook.h):
// they are numbered when the action ends, ride in its intent, and are
// appended to the log when its writes reach the tables, so the log holds an
// action's events exactly when the tables hold its writes. The log, too, is
// synced only at a checkpoint; a restart appends again whatever of the
// journal's intents the log lost.
#pragma once

#include "store/datafile.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* kJournalFile = "rentdesk.journal";

// Opens the journal of the data folder (the current folder), making the file
// when there is none; from now on tables opened through journal_open_table
// hold their writes. The caller holds the folder lock.
void journal_open();
bool journal_is_open();

// Opens the table at path for reading and writing as the current action sees
// it: the grown table a growth of the action has not yet put in place, when
// there is one, else path itself; its writes are held while the journal is
// open. No value when the file is missing.
std::optional<DataFile> journal_open_table(const std::string& path);
// A grown table waiting in from to replace to when the action ends; the
// writes held for to are dropped, as the grown table holds them already.
void journal_hold_rename(const std::string& from, const std::string& to);
// The same for a table that grew on inserting the record (len bytes): the
// growth is kept in the intent too, with the writes it took in, so that
// the action can be replayed. A table that grows again in the same action
// has its new grown table put in place of the first at once.
void journal_hold_growth(const std::string& from, const std::string& to, const void* record,
                         std::size_t len);
// An event of the current action (a line of the day log without its
// number); nothing when the journal is not open.
void journal_hold_event(const std::string& text);

// Ends the current action: its writes and renames reach the tables through
// the journal as described above, while the journal file is locked (a backup
// that takes the same lock sees the tables between two actions). The journal
// written and locked is the one the folder names: one deleted or replaced
// since it was opened is made again first. Nothing is written when nothing is
// held, nor when a table read through a mapping changed under the program
// (damage, reported by its name). The sync count: one, the intent's, and a
// checkpoint's (the tables, the log and the journal) now and then. An
// action that holds writes but no event gets one naming the files it wrote.
void journal_commit();
// The numbered event lines of the last action committed.
const std::vector<std::string>& journal_last_events();

enum class JournalState { empty, complete, torn };
// What the folder's journal holds: nothing, a whole intent a crash left
// behind, or a torn one (which was never applied). A journal that cannot be
// read, is longer than the tables could need, or holds an intent that does
// not fit the tables as they stand (see journal.cpp) is reported as damage
// of rentdesk.journal.
JournalState journal_state();
// Applies again every whole intent since the last checkpoint (a torn last
// one is dropped), hands the day log every event it lost, and checkpoints,
// holding the journal file's lock as a commit does. Answers whether the last
// intent was one a crash cut short (not marked applied). Everything is checked as by journal_state
// before anything is written; a journal it may not write is a fault too.
bool journal_recover();
// Checkpoints when the journal holds actions since the last checkpoint, then
// closes it: a program that ends normally leaves its tables synced and its
// journal empty. Tables opened after it write straight to their files.
void journal_close();
// The number of the last event whose action the tables hold, as the
// journal knows it; no value without a journal.
std::optional<int64_t> journal_tables_seq();

// An action as its intent recorded it (the day log's after-images keep the
// intents): the growths in the order they happened, each with the writes the
// action had made to the table before it, the event lines, and the writes
// after the growths, by table name. A table's writes are offsets and bytes.
struct RecordedAction {
    using Writes = std::map<int64_t, std::string>;
    struct Growth {
        std::string table;
        std::string record;
        Writes before;
    };
    std::vector<Growth> growths;
    std::vector<std::string> events;
    std::map<std::string, Writes> writes;
};
// Reads an intent's bytes; false when they are no whole intent. One naming a
// file that is no data file is damage of source.
bool journal_read_action(const std::string& intent, RecordedAction* out, const std::string& source);
