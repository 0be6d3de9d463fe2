// The reservation file, reservedmov.txt: one record per reservation of a
// title, keyed on the movie id (the record's second field).
// Every operation works as its template in store/hashfile.h describes
// (insert, rebuild, find — which can also hand back the record it found —,
// delete, format, dump, slots, read); the
// queries of this table alone carry their own comment.
#pragma once

#include "store/datafile.h"
#include "store/records.h"

#include <vector>

void reserve_insert(DataFile& f, ReserveRec r);
DataFile reserve_rebuild(DataFile& f, ReserveRec r);
int32_t reserve_find(const DataFile& f, int32_t movie, ReserveRec* found = nullptr);
// Slot of the reservation of this title by this client, or -1.
int32_t reserve_find_client(const DataFile& f, int32_t movie, int32_t client);
// Slot of the client's first reservation in file order, or -1.
int32_t reserve_scan_client(const DataFile& f, int32_t client);
// Slot of the earliest reservation of the title dated today or before; of
// equal dates the last met in the probe sequence wins. -1 when none.
int32_t reserve_earliest(const DataFile& f, int32_t movie, Date today);
// The hand-over's rule between two reservations of one title, both dated
// today or before: the one met later in the title's probe sequence is served
// before the one met earlier when its date is on or before the other's.
bool reserve_served_first(Date met_later, Date met_earlier);
// Deletes the first reservation of r's title, whatever its client.
void reserve_delete(DataFile& f, ReserveRec r);
// Deletes the reservation of r's title by r's client.
void reserve_delete_client(DataFile& f, ReserveRec r);
void reserve_format(DataFile& f, int32_t n);
std::vector<int32_t> reserve_dump(const DataFile& f, int32_t n);
int32_t reserve_slots(const DataFile& f);
ReserveRec reserve_read(const DataFile& f, int32_t slot);
