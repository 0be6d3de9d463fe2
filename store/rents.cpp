// The rental file's named operations over the shared table logic.
#include "store/rents.h"

#include "store/hashfile.h"

void rent_insert(DataFile& f, RentRec r) {
    hash_insert(f, r);
}

DataFile rent_rebuild(DataFile& f, RentRec r) {
    return hash_rebuild(f, r);
}

int32_t rent_find(const DataFile& f, int32_t client, RentRec* found) {
    return hash_find<RentRec>(f, client, found);
}

void rent_delete(DataFile& f, RentRec r) {
    hash_erase<RentRec>(f, rent_find(f, r.client));
}

void rent_format(DataFile& f, int32_t n) {
    hash_format<RentRec>(f, n);
}

std::vector<int32_t> rent_dump(const DataFile& f, int32_t n) {
    return hash_dump<RentRec>(f, n);
}

int32_t rent_slots(const DataFile& f) {
    return slot_count<RentRec>(f);
}

RentRec rent_read(const DataFile& f, int32_t slot) {
    return read_slot<RentRec>(f, slot);
}
