// Changing a copy's state in the catalogue.
#include "clients/copies.h"

#include "store/daylog.h"

void mark_rented(DataFile& catalog, int32_t movie, int32_t copy) {
    change_copy(catalog, movie, copy, [](MovieRec& rec) {
        rec.rented = 1;
        rec.saved = 0;
    });
}

bool mark_back(DataFile& catalog, int32_t movie, int32_t copy, bool handed,
               std::optional<int32_t> diskstatus) {
    const bool there = change_copy(catalog, movie, copy, [&](MovieRec& rec) {
                           rec.rented = 0;
                           rec.saved = handed ? 1 : 0;
                           if (diskstatus)
                               rec.diskstatus = *diskstatus;
                       }).has_value();
    if (there && diskstatus)
        log_disk_rated(movie, copy, *diskstatus);
    return there;
}

void rate_copy(DataFile& catalog, int32_t movie, int32_t copy, int32_t diskstatus) {
    if (change_copy(catalog, movie, copy,
                    [diskstatus](MovieRec& rec) { rec.diskstatus = diskstatus; }))
        log_disk_rated(movie, copy, diskstatus);
}

std::optional<MovieRec> mark_held(DataFile& catalog, int32_t movie, int32_t copy) {
    return change_copy(catalog, movie, copy, [](MovieRec& rec) {
        rec.rented = 0;
        rec.saved = 1;
    });
}

void mark_released(DataFile& catalog, int32_t movie, int32_t copy) {
    change_copy(catalog, movie, copy, [](MovieRec& rec) { rec.saved = 0; });
}
