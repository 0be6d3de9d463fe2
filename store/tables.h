// What tells the five tables apart: record type, file name, key field, blank
// record and the message printed when the table is full. The shared logic in
// store/hashfile.h reads these descriptions.
#pragma once

#include "store/records.h"

#include <cstddef>

template <class Rec>
struct TableTraits;

// Every text "x", every date 1999-01-01, every integer 0.
namespace blank_parts {
inline Title title() {
    Title t{};
    t[0] = 'x';
    return t;
}
inline Word word() {
    Word w{};
    w[0] = 'x';
    return w;
}
} // namespace blank_parts

template <>
struct TableTraits<MovieRec> {
    static constexpr std::size_t key_offset = offsetof(MovieRec, id);
    static constexpr const char* file = "catalogmov.txt";
    static constexpr const char* full_message = "Resizing movie catalog table....";
    static int32_t key(const MovieRec& r) { return r.id; }
    static void set_key(MovieRec& r, int32_t k) { r.id = k; }
    static MovieRec blank() { return MovieRec{blank_parts::title(), 0, 0, 0, 0, 0, 0}; }
};

template <>
struct TableTraits<ClientRec> {
    static constexpr std::size_t key_offset = offsetof(ClientRec, id);
    static constexpr const char* file = "user.txt";
    static constexpr const char* full_message = "Resizing client table....";
    static int32_t key(const ClientRec& r) { return r.id; }
    static void set_key(ClientRec& r, int32_t k) { r.id = k; }
    static ClientRec blank() {
        return ClientRec{
            0, blank_parts::word(), blank_parts::word(), blank_parts::word(), kBlankDate, 0, 0, 0};
    }
};

template <>
struct TableTraits<RentRec> {
    static constexpr std::size_t key_offset = offsetof(RentRec, client);
    static constexpr const char* file = "rentmovies.txt";
    static constexpr const char* full_message = "Resizing rent table....";
    static int32_t key(const RentRec& r) { return r.client; }
    static void set_key(RentRec& r, int32_t k) { r.client = k; }
    static RentRec blank() { return RentRec{0, kBlankDate, 0, 0, 0}; }
};

template <>
struct TableTraits<ReserveRec> {
    static constexpr std::size_t key_offset = offsetof(ReserveRec, movie);
    static constexpr const char* file = "reservedmov.txt";
    static constexpr const char* full_message = "Resizing reserved table....";
    static int32_t key(const ReserveRec& r) { return r.movie; }
    static void set_key(ReserveRec& r, int32_t k) { r.movie = k; }
    static ReserveRec blank() { return ReserveRec{0, 0, 0, kBlankDate}; }
};

template <>
struct TableTraits<SavedRec> {
    static constexpr std::size_t key_offset = offsetof(SavedRec, client);
    static constexpr const char* file = "ressavmov.txt";
    static constexpr const char* full_message = "if u got to here u got problem....";
    static int32_t key(const SavedRec& r) { return r.client; }
    static void set_key(SavedRec& r, int32_t k) { r.client = k; }
    static SavedRec blank() { return SavedRec{0, 0, 0, kBlankDate}; }
};
