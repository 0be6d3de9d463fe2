// The clerk's actions all or nothing across the data files. While the journal
// is open, the tables opened for update do not write: their writes are held
// here, and every read of the program sees them. When the action ends (the
// screen kit ends one before every key wait) the held writes become one
// intent in rentdesk.journal, synced, then applied to the tables, each
// synced, and the journal is cleared. A crash before the intent is whole
// leaves every table as it was; after it, the next start applies the intent
// again, which is safe because it holds only whole new records and the
// renames of grown tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr const char* kJournalFile = "rentdesk.journal";

// Opens the journal of the data folder ("" or a path ending in '/'), making
// the file when there is none; from now on tables opened for update hold
// their writes. The caller holds the folder lock.
void journal_open(const std::string& folder);
bool journal_is_open();

// A write held for the table at path (the latest at an offset wins), and the
// held writes laid over bytes just read from that table.
void journal_hold(const std::string& path, int64_t offset, const void* data, std::size_t len);
void journal_overlay(const std::string& path, int64_t offset, void* buf, std::size_t len);
// Whether writes are held for the table at path.
bool journal_holds(const std::string& path);
// A grown table waiting in from to replace to when the action ends; the
// writes held for to are dropped, as the grown table holds them already.
void journal_hold_rename(const std::string& from, const std::string& to);
// The file holding the table at path in the current action: a grown table
// not yet renamed into place, or path itself.
std::string journal_current_name(const std::string& path);

// Ends the current action: its writes and renames reach the tables through
// the journal as described above, while the journal file is locked (a backup
// that takes the same lock sees the tables between two actions). Nothing when
// nothing is held. The sync count: the intent, each table written, and the
// journal again after a rename.
void journal_commit();

enum class JournalState { empty, complete, torn };
// What the folder's journal holds: nothing, a whole intent a crash left
// behind, or a torn one (which was never applied).
JournalState journal_state(const std::string& folder);
// Applies a whole intent a crash left behind (a torn one is dropped) and
// clears the journal, holding the journal file's lock as a commit does.
// Answers whether an intent was applied.
bool journal_recover(const std::string& folder);
