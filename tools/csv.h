// The CSV form of rentdesk-admin's reports, exports and imports: fields
// quoted as RFC 4180 asks where needed, rows ending in LF, dates written
// YYYY-MM-DD, numbers in decimal; and the reading of such a file row by row.
#pragma once

#include "store/records.h"

#include <cstdint>
#include <initializer_list>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

using Fields = std::vector<std::string>;

// A row as CSV: the fields joined by commas, each in double quotes (inner
// quotes doubled) when it holds a comma, a quote, CR or LF; ended by LF. A
// field a spreadsheet would run as a formula (one that begins with =, +, -,
// @, a tab or CR, after any ' that begin it; a whole negative number is no
// formula) gets one ' more in front, inside quotes: the spreadsheet then
// shows it as text.
std::string csv_row(const Fields& fields);
// Appends one field of a row to out as csv_row writes it, after a comma
// unless it is the row's first; and a whole number and a date (as iso_date
// writes it) the same way.
void append_field(std::string& out, std::string_view text, bool first = false);
void append_number(std::string& out, int64_t v, bool first = false);
void append_date(std::string& out, Date d, bool first = false);
// Appends whole numbers, each after a comma, as append_number does.
void append_numbers(std::string& out, std::initializer_list<int32_t> values);
// Rows are made in one buffer and go to standard output a chunk at a time:
// writes out there once it holds 64 KiB or more (whatever it holds when
// done), and empties it.
void write_out(std::string& out, bool done = false);
// A text field as it was before csv_row guarded it: the ' csv_row put in
// front of a formula taken away again.
std::string unguarded(std::string_view field);

// A date as YYYY-MM-DD, whatever the numbers it holds.
std::string iso_date(Date d);
// Reads exactly YYYY-MM-DD naming a day of the real calendar; false for
// anything else (out is then left alone).
bool parse_iso_date(std::string_view text, Date& out);
// Reads a whole decimal number, with an optional sign, from min to max;
// false for anything else (out is then left alone).
bool parse_number(std::string_view text, int64_t min, int64_t max, int32_t& out);

// No field of a row to import is longer, nor any row: one that is, is
// refused as it is read, and never held whole.
inline constexpr std::size_t kLongestField = 256, kLongestRow = 4096;

// Reads CSV rows from a stream: LF or CRLF line ends, quoted fields that may
// hold commas, quotes and line ends, a UTF-8 byte order mark at the start
// dropped, empty lines passed over.
class CsvReader {
  public:
    explicit CsvReader(std::istream& in) : in_(in) {}
    // The next row into fields and the number of the line it starts on;
    // false at the end of the input. unclosed tells whether the row ended
    // inside a quoted field (the input ended first).
    bool next(Fields& fields, long& line, bool& unclosed);
    // Whether the row next read was longer than kLongestRow bytes, or one
    // of its fields longer than kLongestField: what is beyond was dropped.
    bool too_long() const { return too_long_; }

  private:
    std::istream& in_;
    long line_ = 1;
    bool started_ = false;
    bool too_long_ = false;
};
