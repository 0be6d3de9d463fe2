// The movie catalogue, catalogmov.txt: one record per disk, keyed on the
// movie id; the copies of a title share its id and differ by copy number.
// Every operation works as its template in store/hashfile.h describes
// (insert, rebuild, find — which can also hand back the record it found —,
// delete, format, dump, slots, read, write); the
// queries of this table alone carry their own comment.
#pragma once

#include "store/datafile.h"
#include "store/hashfile.h"
#include "store/records.h"

#include <vector>

void movie_insert(DataFile& f, MovieRec r);
DataFile movie_rebuild(DataFile& f, MovieRec r);
int32_t movie_find(const DataFile& f, int32_t id, MovieRec* found = nullptr);
// Slot of the given copy of the movie, or -1.
int32_t movie_find_copy(const DataFile& f, int32_t id, int32_t copy, MovieRec* found = nullptr);
// Highest copy number of the movie on its probe path, or -1 if it has none.
int32_t movie_max_copy(const DataFile& f, int32_t id);
// Deletes the copy with r's id and copy number.
void movie_delete_copy(DataFile& f, MovieRec r);
// A pass over the table from slot first in slot order (see hash_pass).
template <class Visit>
int32_t movie_pass(const DataFile& f, int32_t first, Visit visit) {
    return hash_pass<MovieRec>(f, first, visit);
}
void movie_format(DataFile& f, int32_t n);
std::vector<int32_t> movie_dump(const DataFile& f, int32_t n);
int32_t movie_slots(const DataFile& f);
MovieRec movie_read(const DataFile& f, int32_t slot);
void movie_write(DataFile& f, int32_t slot, MovieRec r);
