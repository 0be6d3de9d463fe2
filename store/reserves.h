// The reservation file, reservedmov.txt: one record per reservation of a
// title, keyed on the movie id (the record's second field).
#pragma once

#include "store/datafile.h"
#include "store/records.h"

// Stores a reservation; on a full table prints "Resizing reserved table...."
// and rebuilds it, after which f refers to the new file.
void reserve_insert(DataFile& f, ReserveRec r);
// Grows the table with r added; answers the handle on the new file.
DataFile reserve_rebuild(DataFile& f, ReserveRec r);
// Slot of the first reservation of the title in its probe sequence, or -1.
int32_t reserve_find(const DataFile& f, int32_t movie);
// Slot of the reservation of this title by this client, or -1.
int32_t reserve_find_client(const DataFile& f, int32_t movie, int32_t client);
// Slot of the client's first reservation in file order, or -1.
int32_t reserve_scan_client(const DataFile& f, int32_t client);
// Slot of the earliest reservation of the title dated today or before; of
// equal dates the last met in the probe sequence wins. -1 when none.
int32_t reserve_earliest(const DataFile& f, int32_t movie);
// The same, with today given.
int32_t reserve_earliest_on(const DataFile& f, int32_t movie, Date today);
// Deletes the first reservation of r's title, whatever its client.
void reserve_delete(DataFile& f, ReserveRec r);
// Deletes the reservation of r's title by r's client.
void reserve_delete_client(DataFile& f, ReserveRec r);
// Writes n empty records from the start of the file.
void reserve_format(DataFile& f, int32_t n);
// Prints " %d " with the movie of each of the first n records.
void reserve_dump(const DataFile& f, int32_t n);

// Slot count, and the record read and write at a slot.
int32_t reserve_slots(const DataFile& f);
ReserveRec reserve_read(const DataFile& f, int32_t slot);
void reserve_write(DataFile& f, int32_t slot, ReserveRec r);
