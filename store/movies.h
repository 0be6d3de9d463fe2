// The movie catalogue, catalogmov.txt: one record per disk, keyed on the
// movie id; the copies of a title share its id and differ by copy number.
#pragma once

#include "store/datafile.h"
#include "store/records.h"

// Stores a copy; on a full catalogue prints "Resizing movie catalog
// table...." and rebuilds it, after which f refers to the new file.
void movie_insert(DataFile& f, MovieRec r);
// Grows the catalogue with r added; answers the handle on the new file.
DataFile movie_rebuild(DataFile& f, MovieRec r);
// Slot of the first copy of the movie in its probe sequence, or -1.
int32_t movie_find(const DataFile& f, int32_t id);
// Slot of the given copy of the movie, or -1.
int32_t movie_find_copy(const DataFile& f, int32_t id, int32_t copy);
// Slot of a copy of the movie on its probe path other than the one at slot,
// or -1 when that one is the movie's only copy.
int32_t movie_find_other_copy(const DataFile& f, int32_t id, int32_t slot);
// Highest copy number of the movie on its probe path, or -1 if it has none.
int32_t movie_max_copy(const DataFile& f, int32_t id);
// Deletes the copy with r's id and copy number; nothing if there is none.
void movie_delete_copy(DataFile& f, MovieRec r);
// Writes n empty records from the start of the file.
void movie_format(DataFile& f, int32_t n);
// Prints " %d " with the id of each of the first n records.
void movie_dump(const DataFile& f, int32_t n);

// Slot count, and the record read and write at a slot.
int32_t movie_slots(const DataFile& f);
MovieRec movie_read(const DataFile& f, int32_t slot);
void movie_write(DataFile& f, int32_t slot, MovieRec r);
