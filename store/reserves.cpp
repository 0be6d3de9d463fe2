// The reservation file's named operations over the shared table logic.
#include "store/reserves.h"

#include "store/hashfile.h"

void reserve_insert(DataFile& f, ReserveRec r) {
    hash_insert(f, r);
}

DataFile reserve_rebuild(DataFile& f, ReserveRec r) {
    return hash_rebuild(f, r);
}

int32_t reserve_find(const DataFile& f, int32_t movie, ReserveRec* found) {
    return hash_find<ReserveRec>(f, movie, found);
}

int32_t reserve_find_client(const DataFile& f, int32_t movie, int32_t client) {
    return hash_find<ReserveRec>(f, movie,
                                 [client](const ReserveRec& r) { return r.client == client; });
}

int32_t reserve_scan_client(const DataFile& f, int32_t client) {
    if (client < 1)
        return -1;
    return hash_scan<ReserveRec>(f, [client](const ReserveRec& r) { return r.client == client; });
}

int32_t reserve_earliest(const DataFile& f, int32_t movie, Date today) {
    int32_t answer = -1;
    Date mindate = today;
    probe_walk<ReserveRec>(f, movie, [&](int32_t slot, const ReserveRec& r) {
        if (reserve_served_first(r.resdate, mindate)) {
            answer = slot;
            mindate = r.resdate;
        }
        return false;
    });
    return answer;
}

bool reserve_served_first(Date met_later, Date met_earlier) {
    return !date_before(met_earlier, met_later);
}

void reserve_delete(DataFile& f, ReserveRec r) {
    hash_erase<ReserveRec>(f, reserve_find(f, r.movie));
}

void reserve_delete_client(DataFile& f, ReserveRec r) {
    hash_erase<ReserveRec>(f, reserve_find_client(f, r.movie, r.client));
}

void reserve_format(DataFile& f, int32_t n) {
    hash_format<ReserveRec>(f, n);
}

std::vector<int32_t> reserve_dump(const DataFile& f, int32_t n) {
    return hash_dump<ReserveRec>(f, n);
}

int32_t reserve_slots(const DataFile& f) {
    return slot_count<ReserveRec>(f);
}

ReserveRec reserve_read(const DataFile& f, int32_t slot) {
    return read_slot<ReserveRec>(f, slot);
}
