// The saved-copy file's named operations over the shared table logic.
#include "store/saved.h"

#include "store/hashfile.h"

void saved_insert(DataFile& f, SavedRec r) {
    hash_insert(f, r);
}

DataFile saved_rebuild(DataFile& f, SavedRec r) {
    return hash_rebuild(f, r);
}

int32_t saved_find(const DataFile& f, int32_t client, SavedRec* found) {
    return hash_find<SavedRec>(f, client, found);
}

int32_t saved_scan_client(const DataFile& f, int32_t client) {
    if (client < 1)
        return -1;
    return hash_scan<SavedRec>(f, [client](const SavedRec& r) { return r.client == client; });
}

void saved_delete(DataFile& f, SavedRec r) {
    hash_erase<SavedRec>(f, saved_find(f, r.client));
}

void saved_format(DataFile& f, int32_t n) {
    hash_format<SavedRec>(f, n);
}

std::vector<int32_t> saved_dump(const DataFile& f, int32_t n) {
    return hash_dump<SavedRec>(f, n);
}

int32_t saved_slots(const DataFile& f) {
    return slot_count<SavedRec>(f);
}

SavedRec saved_read(const DataFile& f, int32_t slot) {
    return read_slot<SavedRec>(f, slot);
}
