// The rental file, rentmovies.txt: one record per copy out on rent, keyed on
// the renting client.
// Every operation works as its template in store/hashfile.h describes
// (insert, rebuild, find — which can also hand back the record it found —,
// delete, format, dump, slots, read); the
// queries of this table alone carry their own comment.
#pragma once

#include "store/datafile.h"
#include "store/records.h"

#include <vector>

void rent_insert(DataFile& f, RentRec r);
DataFile rent_rebuild(DataFile& f, RentRec r);
int32_t rent_find(const DataFile& f, int32_t client, RentRec* found = nullptr);
// Deletes the rental rent_find answers for r's client.
void rent_delete(DataFile& f, RentRec r);
void rent_format(DataFile& f, int32_t n);
std::vector<int32_t> rent_dump(const DataFile& f, int32_t n);
int32_t rent_slots(const DataFile& f);
RentRec rent_read(const DataFile& f, int32_t slot);
