// The rental file, rentmovies.txt: one record per copy out on rent, keyed on
// the renting client.
#pragma once

#include "store/datafile.h"
#include "store/records.h"

// Stores a rental; on a full table prints "Resizing rent table...." and
// rebuilds it, after which f refers to the new file.
void rent_insert(DataFile& f, RentRec r);
// Grows the table with r added; answers the handle on the new file.
DataFile rent_rebuild(DataFile& f, RentRec r);
// Slot of the client's rental (the first in the probe sequence), or -1.
int32_t rent_find(const DataFile& f, int32_t client);
// Deletes the rental rent_find answers for r's client; nothing if none.
void rent_delete(DataFile& f, RentRec r);
// Writes n empty records from the start of the file.
void rent_format(DataFile& f, int32_t n);
// Prints " %d " with the client of each of the first n records.
void rent_dump(const DataFile& f, int32_t n);

// Slot count, and the record read and write at a slot.
int32_t rent_slots(const DataFile& f);
RentRec rent_read(const DataFile& f, int32_t slot);
void rent_write(DataFile& f, int32_t slot, RentRec r);
