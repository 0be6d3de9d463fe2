// A copy's state in the catalogue, changed in one place: out on rent, back on
// the shelf, held for a client, released from a hold. Each change finds the
// copy by movie id and copy number, changes its record and writes it back; a
// copy no longer in the catalogue is left alone.
#pragma once

#include "store/datafile.h"
#include "store/movies.h"
#include "store/records.h"

#include <cstdint>
#include <cstring>
#include <optional>

// Rewrites the copy with change applied; answers the record as it now
// stands, or nothing (and writes nothing) when the catalogue lacks the copy.
// A change that leaves the record as it was writes nothing.
template <class Change>
std::optional<MovieRec> change_copy(DataFile& catalog, int32_t movie, int32_t copy, Change change) {
    int32_t slot = movie_find_copy(catalog, movie, copy);
    if (slot < 0)
        return std::nullopt;
    const MovieRec was = movie_read(catalog, slot);
    MovieRec rec = was;
    change(rec);
    if (std::memcmp(&rec, &was, sizeof rec) != 0)
        movie_write(catalog, slot, rec);
    return rec;
}

// Out on rent: rented 1, saved 0.
void mark_rented(DataFile& catalog, int32_t movie, int32_t copy);
// Back from a rental: rented 0, saved 1 when it was just handed to a waiting
// client, else 0; and the disk status when the clerk rated it already.
// Answers whether the catalogue holds the copy.
bool mark_back(DataFile& catalog, int32_t movie, int32_t copy, bool handed,
               std::optional<int32_t> diskstatus = std::nullopt);
// The condition the clerk gave a returned disk.
void rate_copy(DataFile& catalog, int32_t movie, int32_t copy, int32_t diskstatus);
// Held for a client: rented 0, saved 1. Answers the record as written.
std::optional<MovieRec> mark_held(DataFile& catalog, int32_t movie, int32_t copy);
// No longer held: saved 0.
void mark_released(DataFile& catalog, int32_t movie, int32_t copy);
