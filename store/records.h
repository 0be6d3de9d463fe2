// The records of the five data files, byte for byte as they lie on disk:
// 32-bit little-endian integers and fixed zero-terminated texts, no padding.
// Records are plain values; every module passes them by copy.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

static_assert(std::endian::native == std::endian::little,
              "the data files hold little-endian integers; this host would misread them");

// A calendar date; shown day first, stored year first.
struct Date {
    int32_t year;
    int32_t month; // 1 to 12
    int32_t day;   // 1 to 31
};

// The date every blank record carries.
inline constexpr Date kBlankDate{1999, 1, 1};

using Title = std::array<char, 20>; // movie title: up to 19 bytes and the terminator
using Word = std::array<char, 12>;  // name or address: up to 11 bytes and the terminator

// One disk of the catalogue (catalogmov.txt), keyed on the movie id.
struct MovieRec {
    Title name;
    int32_t id;
    int32_t copy;
    int32_t diskstatus; // 1 to 10
    int32_t rentdays;
    int32_t rented; // 1 while out on rent
    int32_t saved;  // 1 while held for a client
};

// One client (user.txt), keyed on the client id.
struct ClientRec {
    int32_t id;
    Word fname;
    Word lname;
    Word address;
    Date subdate; // first day of the paid subscription
    int32_t phone;
    int32_t months;
    int32_t fine;
};

// One open rental (rentmovies.txt), keyed on the renting client.
struct RentRec {
    int32_t client;
    Date rentdate;
    int32_t movie;
    int32_t copy;
    int32_t rentdays;
};

// One reservation of a title (reservedmov.txt), keyed on the movie id.
struct ReserveRec {
    int32_t client;
    int32_t movie;
    int32_t callnotice; // 1 when the client wants a phone call
    Date resdate;
};

// One copy held for a client (ressavmov.txt), keyed on the client.
struct SavedRec {
    int32_t client;
    int32_t movie;
    int32_t copy;
    Date savedate; // first day of the seven-day hold
};

static_assert(sizeof(Date) == 12);
static_assert(offsetof(Date, year) == 0 && offsetof(Date, month) == 4 && offsetof(Date, day) == 8);

static_assert(sizeof(MovieRec) == 44);
static_assert(offsetof(MovieRec, name) == 0);
static_assert(offsetof(MovieRec, id) == 20);
static_assert(offsetof(MovieRec, copy) == 24);
static_assert(offsetof(MovieRec, diskstatus) == 28);
static_assert(offsetof(MovieRec, rentdays) == 32);
static_assert(offsetof(MovieRec, rented) == 36);
static_assert(offsetof(MovieRec, saved) == 40);

static_assert(sizeof(ClientRec) == 64);
static_assert(offsetof(ClientRec, id) == 0);
static_assert(offsetof(ClientRec, fname) == 4);
static_assert(offsetof(ClientRec, lname) == 16);
static_assert(offsetof(ClientRec, address) == 28);
static_assert(offsetof(ClientRec, subdate) == 40);
static_assert(offsetof(ClientRec, phone) == 52);
static_assert(offsetof(ClientRec, months) == 56);
static_assert(offsetof(ClientRec, fine) == 60);

static_assert(sizeof(RentRec) == 28);
static_assert(offsetof(RentRec, client) == 0);
static_assert(offsetof(RentRec, rentdate) == 4);
static_assert(offsetof(RentRec, movie) == 16);
static_assert(offsetof(RentRec, copy) == 20);
static_assert(offsetof(RentRec, rentdays) == 24);

static_assert(sizeof(ReserveRec) == 24);
static_assert(offsetof(ReserveRec, client) == 0);
static_assert(offsetof(ReserveRec, movie) == 4);
static_assert(offsetof(ReserveRec, callnotice) == 8);
static_assert(offsetof(ReserveRec, resdate) == 12);

static_assert(sizeof(SavedRec) == 24);
static_assert(offsetof(SavedRec, client) == 0);
static_assert(offsetof(SavedRec, movie) == 4);
static_assert(offsetof(SavedRec, copy) == 8);
static_assert(offsetof(SavedRec, savedate) == 12);

// The text of a field up to its terminator (the whole field if a damaged
// record lacks one).
template <std::size_t N>
std::string_view text_of(const std::array<char, N>& field) {
    std::size_t len = 0;
    while (len < N && field[len] != '\0')
        ++len;
    return {field.data(), len};
}

// Stores text in a field: at most N-1 bytes, cut before a UTF-8 character
// that would not fit whole, then the terminator and zero bytes to the end.
template <std::size_t N>
void set_text(std::array<char, N>& field, std::string_view text) {
    std::size_t len = text.size() < N - 1 ? text.size() : N - 1;
    if (len < text.size()) {
        // Step back over continuation bytes (10xxxxxx) to the start of the
        // character that was cut, and drop that character too.
        std::size_t cut = len;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
        len = cut;
    }
    field.fill('\0');
    for (std::size_t i = 0; i < len; ++i)
        field[i] = text[i];
}

// Dates compare year first, then month, then day.
constexpr bool date_before(Date a, Date b) {
    if (a.year != b.year)
        return a.year < b.year;
    if (a.month != b.month)
        return a.month < b.month;
    return a.day < b.day;
}
