// The clerk's actions all or nothing across the data files. While the journal
// is open, the tables opened for the action hold their writes here, and
// every read of the program sees them. When the action ends (the counter
// ends one before every key wait and new screen) the held writes become one
// intent in rentdesk.journal, synced, then applied to the tables, each
// synced, and the journal is cleared. A crash before the intent is whole
// leaves every table as it was; after it, the next start applies the intent
// again, which is safe because it holds only whole new records and the
// renames of grown tables.
#pragma once

#include "store/datafile.h"

#include <optional>
#include <string>

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

// Ends the current action: its writes and renames reach the tables through
// the journal as described above, while the journal file is locked (a backup
// that takes the same lock sees the tables between two actions). The journal
// written and locked is the one the folder names: one deleted or replaced
// since it was opened is made again first. Nothing is written when nothing is
// held, nor when a table read through a mapping changed under the program
// (damage, reported by its name). The sync count: the intent, each table
// written, and the journal again after a rename.
void journal_commit();

enum class JournalState { empty, complete, torn };
// What the folder's journal holds: nothing, a whole intent a crash left
// behind, or a torn one (which was never applied). A journal that cannot be
// read, is longer than the tables could need, or holds an intent that does
// not fit the tables as they stand (see journal.cpp) is reported as damage
// of rentdesk.journal.
JournalState journal_state();
// Applies a whole intent a crash left behind (a torn one is dropped) and
// clears the journal, holding the journal file's lock as a commit does.
// Answers whether an intent was applied. Everything is checked as by
// journal_state before anything is written; a journal it may not write is a
// fault too.
bool journal_recover();
