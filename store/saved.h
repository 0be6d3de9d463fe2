// The saved-copy file, ressavmov.txt: one record per copy held for a client
// who reserved its title, keyed on that client.
#pragma once

#include "store/datafile.h"
#include "store/records.h"

// Stores a hold; on a full table prints "if u got to here u got
// problem...." and rebuilds it, after which f refers to the new file.
void saved_insert(DataFile& f, SavedRec r);
// Grows the table with r added; answers the handle on the new file.
DataFile saved_rebuild(DataFile& f, SavedRec r);
// Slot of the client's hold (the first in the probe sequence), or -1.
int32_t saved_find(const DataFile& f, int32_t client);
// Slot of the client's first hold in file order, or -1.
int32_t saved_scan_client(const DataFile& f, int32_t client);
// Deletes the hold saved_find answers for r's client; nothing if none.
void saved_delete(DataFile& f, SavedRec r);
// Writes n empty records from the start of the file.
void saved_format(DataFile& f, int32_t n);
// Prints " %d " with the client of each of the first n records.
void saved_dump(const DataFile& f, int32_t n);

// Slot count, and the record read and write at a slot.
int32_t saved_slots(const DataFile& f);
SavedRec saved_read(const DataFile& f, int32_t slot);
void saved_write(DataFile& f, int32_t slot, SavedRec r);
