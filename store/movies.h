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

#include <cstdint>
#include <cstring>
#include <string_view>
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

// Whether the title field whose bytes start at name holds exactly title: its
// text up to the terminator (the whole field when a damaged record lacks
// one) equals title. Compares the field's bytes where they lie, the first
// eight at once.
class TitleMatch {
  public:
    explicit TitleMatch(std::string_view title);
    bool operator()(const char* name) const {
        uint64_t head;
        std::memcpy(&head, name, sizeof head);
        if ((head & head_mask_) != head_)
            return false;
        return len_ <= sizeof head ||
               std::memcmp(name + sizeof head, want_.data() + sizeof head, len_ - sizeof head) == 0;
    }

  private:
    Title want_{};        // the title, then zeros
    std::size_t len_ = 0; // bytes compared: the title and its terminator, at most the field
    uint64_t head_mask_ = 0, head_ = 0; // the first eight of them
};

// A pass over the live copies titled title (TitleMatch), from slot first in
// slot order: visit(slot, copy) for each, as movie_pass; every slot's key is
// checked on the way.
template <class Visit>
int32_t movie_title_pass(const DataFile& f, int32_t first, std::string_view title, Visit visit) {
    const TitleMatch match(title);
    return hash_pass_live<MovieRec>(f, first, [&](int32_t slot, const char* bytes) {
        return match(bytes) && visit(slot, record_in<MovieRec>(bytes));
    });
}

void movie_format(DataFile& f, int32_t n);
std::vector<int32_t> movie_dump(const DataFile& f, int32_t n);
int32_t movie_slots(const DataFile& f);
MovieRec movie_read(const DataFile& f, int32_t slot);
void movie_write(DataFile& f, int32_t slot, MovieRec r);
