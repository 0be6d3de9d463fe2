// The catalogue's named operations over the shared table logic.
#include "store/movies.h"

#include "store/hashfile.h"

void movie_insert(DataFile& f, MovieRec r) {
    hash_insert(f, r);
}

DataFile movie_rebuild(DataFile& f, MovieRec r) {
    return hash_rebuild(f, r);
}

int32_t movie_find(const DataFile& f, int32_t id, MovieRec* found) {
    return hash_find<MovieRec>(f, id, found);
}

int32_t movie_find_copy(const DataFile& f, int32_t id, int32_t copy, MovieRec* found) {
    return hash_find<MovieRec>(
        f, id, [copy](const MovieRec& r) { return r.copy == copy; }, found);
}

int32_t movie_max_copy(const DataFile& f, int32_t id) {
    int32_t best = -1;
    probe_walk<MovieRec>(f, id, [&best](int32_t, const MovieRec& r) {
        if (r.copy > best)
            best = r.copy;
        return false; // look at every copy on the path
    });
    return best;
}

void movie_delete_copy(DataFile& f, MovieRec r) {
    hash_erase<MovieRec>(f, movie_find_copy(f, r.id, r.copy));
}

TitleMatch::TitleMatch(std::string_view title) {
    // Longer than any field, or holding a terminator no text holds: no head
    // equals this one.
    if (title.size() > want_.size() || title.find('\0') != std::string_view::npos) {
        head_mask_ = 0;
        head_ = 1;
        return;
    }
    std::memcpy(want_.data(), title.data(), title.size());
    len_ = title.size() < want_.size() ? title.size() + 1 : want_.size();
    for (std::size_t i = 0; i < sizeof head_ && i < len_; ++i)
        head_mask_ |= uint64_t{0xFF} << (8 * i);
    std::memcpy(&head_, want_.data(), sizeof head_);
    head_ &= head_mask_;
}

void movie_format(DataFile& f, int32_t n) {
    hash_format<MovieRec>(f, n);
}

std::vector<int32_t> movie_dump(const DataFile& f, int32_t n) {
    return hash_dump<MovieRec>(f, n);
}

int32_t movie_slots(const DataFile& f) {
    return slot_count<MovieRec>(f);
}

MovieRec movie_read(const DataFile& f, int32_t slot) {
    return read_slot<MovieRec>(f, slot);
}

void movie_write(DataFile& f, int32_t slot, MovieRec r) {
    write_slot(f, slot, r);
}
