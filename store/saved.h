// The saved-copy file, ressavmov.txt: one record per copy held for a client
// who reserved its title, keyed on that client.
// Every operation works as its template in store/hashfile.h describes
// (insert, rebuild, find — which can also hand back the record it found —,
// delete, format, dump, slots, read); the
// queries of this table alone carry their own comment.
#pragma once

#include "store/datafile.h"
#include "store/hashfile.h"
#include "store/records.h"

#include <vector>

void saved_insert(DataFile& f, SavedRec r);
DataFile saved_rebuild(DataFile& f, SavedRec r);
int32_t saved_find(const DataFile& f, int32_t client, SavedRec* found = nullptr);
// Slot of the client's first hold in file order, or -1.
int32_t saved_scan_client(const DataFile& f, int32_t client);
// Deletes the hold saved_find answers for r's client.
void saved_delete(DataFile& f, SavedRec r);
// A pass over the holds (live records alone) from slot first in slot order
// (see hash_pass_live), visit(slot, hold) handed a copy of each.
template <class Visit>
int32_t saved_pass(const DataFile& f, int32_t first, Visit visit) {
    return hash_pass_live<SavedRec>(f, first, [&](int32_t slot, const char* bytes) {
        return visit(slot, record_in<SavedRec>(bytes));
    });
}
void saved_format(DataFile& f, int32_t n);
std::vector<int32_t> saved_dump(const DataFile& f, int32_t n);
int32_t saved_slots(const DataFile& f);
SavedRec saved_read(const DataFile& f, int32_t slot);
