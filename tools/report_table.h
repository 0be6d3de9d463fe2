// A report of rentdesk-admin as rows of CSV fields under named columns, and
// its two printed forms: CSV (the exact contract), and an aligned table with
// a title and a totals line for a terminal of 80 columns.
#pragma once

#include "tools/csv.h"

#include <functional>
#include <string>
#include <vector>

// How a column's fields show in the table.
enum class Cell {
    number, // right-aligned, never shortened
    text,   // a name or title: shortened (ending in '~') when the table is too wide
    fixed,  // a word of the report's own: never shortened
    date,   // YYYY-MM-DD in the rows, day/month/year in the table
    extra,  // a number left out of the table when it does not fit otherwise
    phone,  // shown with the counter's leading 0, left out when the table cannot fit it whole
};

struct Column {
    const char* name;    // the CSV header
    const char* heading; // the table's
    Cell cell;
};

struct Report {
    std::string title; // the table's first line
    std::vector<Column> columns;
    std::vector<Fields> rows;
    std::string totals; // the table's last line; none when empty
    // Rows made only as they are printed, after those of rows: make(i,
    // fields) sets the fields of the i-th of them, for i below made_rows.
    // A long report makes its rows so, into the strings of the one before.
    std::size_t made_rows = 0;
    std::function<void(std::size_t, Fields&)> make = nullptr;
};

// A date as the counter shows it: day/month/year.
std::string plain_date(Date d);

// Prints the report as CSV: the header row, then the rows.
void print_csv(const Report& report);
// Prints the report as a table of at most 80 columns: the title, the
// headings, the rows and the totals. The phones are shown when every column
// fits whole with them; otherwise they are left out, texts are shortened,
// down to 4 characters each, then the extra columns left out. Control
// characters in stored texts show as '?'.
void print_plain(const Report& report);
