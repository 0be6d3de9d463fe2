// The client file, user.txt: one record per client, keyed on the client id.
#pragma once

#include "store/datafile.h"
#include "store/records.h"

// Stores a client; on a full table prints "Resizing client table...." and
// rebuilds it, after which f refers to the new file.
void client_insert(DataFile& f, ClientRec r);
// Grows the table with r added; answers the handle on the new file.
DataFile client_rebuild(DataFile& f, ClientRec r);
// Slot of the client, or -1.
int32_t client_find(const DataFile& f, int32_t id);
// Deletes the client with r's id; nothing if there is none.
void client_delete(DataFile& f, ClientRec r);
// Writes n empty records from the start of the file.
void client_format(DataFile& f, int32_t n);
// Prints " %d " with the id of each of the first n records.
void client_dump(const DataFile& f, int32_t n);

// Slot count, and the record read and write at a slot.
int32_t client_slots(const DataFile& f);
ClientRec client_read(const DataFile& f, int32_t slot);
void client_write(DataFile& f, int32_t slot, ClientRec r);
