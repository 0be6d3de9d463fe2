// The client file's named operations over the shared table logic.
#include "store/clients.h"

#include "store/hashfile.h"

void client_insert(DataFile& f, ClientRec r) {
    hash_insert(f, r);
}

DataFile client_rebuild(DataFile& f, ClientRec r) {
    return hash_rebuild(f, r);
}

int32_t client_find(const DataFile& f, int32_t id, ClientRec* found) {
    return hash_find<ClientRec>(f, id, found);
}

void client_delete(DataFile& f, ClientRec r) {
    hash_erase<ClientRec>(f, client_find(f, r.id));
}

void client_format(DataFile& f, int32_t n) {
    hash_format<ClientRec>(f, n);
}

std::vector<int32_t> client_dump(const DataFile& f, int32_t n) {
    return hash_dump<ClientRec>(f, n);
}

int32_t client_slots(const DataFile& f) {
    return slot_count<ClientRec>(f);
}

ClientRec client_read(const DataFile& f, int32_t slot) {
    return read_slot<ClientRec>(f, slot);
}

void client_write(DataFile& f, int32_t slot, ClientRec r) {
    write_slot(f, slot, r);
}
