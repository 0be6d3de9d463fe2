// The client file, user.txt: one record per client, keyed on the client id.
// Every operation works as its template in store/hashfile.h describes
// (insert, rebuild, find — which can also hand back the record it found —,
// delete, format, dump, slots, read, write); the
// queries of this table alone carry their own comment.
#pragma once

#include "store/datafile.h"
#include "store/records.h"

#include <vector>

void client_insert(DataFile& f, ClientRec r);
DataFile client_rebuild(DataFile& f, ClientRec r);
int32_t client_find(const DataFile& f, int32_t id, ClientRec* found = nullptr);
// Deletes the client with r's id.
void client_delete(DataFile& f, ClientRec r);
void client_format(DataFile& f, int32_t n);
std::vector<int32_t> client_dump(const DataFile& f, int32_t n);
int32_t client_slots(const DataFile& f);
ClientRec client_read(const DataFile& f, int32_t slot);
void client_write(DataFile& f, int32_t slot, ClientRec r);
