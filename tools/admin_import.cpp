// rentdesk-admin import: clients or movie copies from CSV in the form export
// writes. Every row is checked first, and a file with any bad row is refused
// whole; otherwise the records are inserted as the desks insert them, in the
// file's order, all in one action through the journal.
#include "store/clients.h"
#include "store/datafiles.h"
#include "store/daylog.h"
#include "store/journal.h"
#include "store/movies.h"
#include "tools/admin.h"
#include "tools/record_csv.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>

namespace {

using Why = std::vector<std::string>;

template <class Rec>
struct Entry {
    long line;
    Rec rec;
    Why why; // what is wrong with the row; empty when it is good
};

// Whether text is a whole number above max: digits only, too many for max.
bool above(const std::string& text, int64_t max) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const std::size_t first = text.find_first_not_of('0');
    return first != std::string::npos &&
           (text.size() - first > 18 || std::stoll(text.substr(first)) > max);
}

int32_t number(const std::string& text, const char* field, int64_t min, int64_t max, Why& why) {
    int32_t v = 0;
    if (parse_number(text, min, max, v))
        return v;
    if (max == INT32_MAX && above(text, max))
        why.push_back(std::string(field) + " " + text +
                      " is above 2147483647, the largest number the file can hold");
    else
        why.push_back(std::string(field) + " must be a whole number " +
                      (max == INT32_MAX
                           ? std::to_string(min) + " or more"
                           : "from " + std::to_string(min) + " to " + std::to_string(max)));
    return v;
}

Date date(const std::string& text, const char* field, Why& why) {
    Date d = kBlankDate;
    if (!parse_iso_date(text, d))
        why.push_back(std::string(field) + " must be a day of the calendar written YYYY-MM-DD");
    return d;
}

// Whether the text is UTF-8 without control characters (C0, DEL, C1): no
// overlong form, no surrogate, nothing above U+10FFFF.
bool clean_utf8(const std::string& t) {
    for (std::size_t i = 0; i < t.size();) {
        const auto c = static_cast<unsigned char>(t[i]);
        const std::size_t len = c < 0x80                ? 1
                                : c >= 0xC2 && c < 0xE0 ? 2
                                : c >= 0xE0 && c < 0xF0 ? 3
                                : c >= 0xF0 && c < 0xF5 ? 4
                                                        : 0;
        if (len == 0 || i + len > t.size() || c < 0x20 || c == 0x7F)
            return false;
        // The second byte's range, narrower after the leads of the forms
        // excluded above and after C2 (the C1 controls).
        const auto second = len > 1 ? static_cast<unsigned char>(t[i + 1]) : 0x80;
        const unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : c == 0xC2 ? 0xA0 : 0x80;
        const unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
        if (second < low || second > high)
            return false;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(t[i + k]) & 0xC0) != 0x80)
                return false;
        i += len;
    }
    return true;
}

// Stores a text whole; one longer than its field is a bad row, never cut.
template <std::size_t N>
void text(std::array<char, N>& to, const std::string& field_text, const char* field, Why& why) {
    const std::string t = unguarded(field_text); // as export wrote it, formulas guarded
    if (t.find_first_not_of(' ') == std::string::npos)
        why.push_back(std::string(field) + " is empty");
    else if (!clean_utf8(t))
        why.push_back(std::string(field) +
                      " holds a control character or bytes that are not UTF-8");
    else if (t.size() > N - 1)
        why.push_back(std::string(field) + " is " + std::to_string(t.size()) +
                      " bytes, longer than the " + std::to_string(N - 1) + " its field holds");
    else
        set_text(to, t);
}

ClientRec client_from(const Fields& f, Why& why) {
    ClientRec c = TableTraits<ClientRec>::blank();
    c.id = number(f[0], "id", 1, INT32_MAX, why);
    text(c.fname, f[1], "fname", why);
    text(c.lname, f[2], "lname", why);
    text(c.address, f[3], "address", why);
    c.subdate = date(f[4], "subdate", why);
    c.phone = number(f[5], "phone", 0, INT32_MAX, why);
    c.months = number(f[6], "months", 0, INT32_MAX, why);
    c.fine = number(f[7], "fine", 0, INT32_MAX, why);
    return c;
}

MovieRec movie_from(const Fields& f, Why& why) {
    MovieRec m = TableTraits<MovieRec>::blank();
    text(m.name, f[0], "name", why);
    m.id = number(f[1], "id", 1, INT32_MAX, why);
    m.copy = number(f[2], "copy", 1, INT32_MAX, why);
    m.diskstatus = number(f[3], "diskstatus", 1, 10, why);
    m.rentdays = number(f[4], "rentdays", 0, INT32_MAX, why);
    for (int k : {5, 6})
        if (f[k] != "0")
            why.push_back(std::string(k == 5 ? "rented" : "saved") +
                          " must be 0: a copy comes in on the shelf");
    return m;
}

// A hint for a row that is one field holding semicolons: a spreadsheet that
// saved its CSV with semicolons between the fields.
std::string by_semicolons(const Fields& fields) {
    return fields.size() == 1 && fields[0].find(';') != std::string::npos
               ? "; this file seems to separate its fields by semicolons, where import takes "
                 "commas"
               : "";
}

// Reads and checks every row of the file; the first must be the header.
template <class Rec>
std::vector<Entry<Rec>> read_entries(std::istream& in, const std::string& header,
                                     Rec (*parse)(const Fields&, Why&)) {
    std::vector<Entry<Rec>> entries;
    const std::size_t count = std::count(header.begin(), header.end(), ',') + 1;
    CsvReader reader(in);
    Fields fields;
    long line = 1;
    bool unclosed = false, first = true;
    for (; reader.next(fields, line, unclosed); first = false) {
        Entry<Rec> e{line, TableTraits<Rec>::blank(), {}};
        if (first && csv_row(fields) == header + "\n")
            continue;
        if (first)
            e.why.push_back("the first line must be the header " + header + by_semicolons(fields));
        else if (reader.too_long())
            e.why.push_back("a field is longer than " + std::to_string(kLongestField) +
                            " bytes, or the row than " + std::to_string(kLongestRow) +
                            ", which no row to import can be");
        else if (unclosed)
            e.why.push_back("a quoted field is not closed before the end of the file");
        else if (fields.size() != count)
            e.why.push_back("there are " + std::to_string(fields.size()) + " fields where " +
                            header + " needs " + std::to_string(count) + by_semicolons(fields));
        else
            e.rec = parse(fields, e.why);
        entries.push_back(std::move(e));
    }
    if (in.bad())
        entries.push_back(
            {line, TableTraits<Rec>::blank(), {"the file cannot be read to its end"}});
    else if (first)
        entries.push_back({1,
                           TableTraits<Rec>::blank(),
                           {"the file is empty: its first line "
                            "must be the header " +
                            header}});
    return entries;
}

// Names every bad row on standard error; answers whether there was one.
template <class Rec>
bool refused(const std::vector<Entry<Rec>>& entries, const std::string& file) {
    std::size_t bad = 0;
    for (const Entry<Rec>& e : entries) {
        if (e.why.empty())
            continue;
        std::string reasons;
        for (const std::string& w : e.why)
            reasons += (reasons.empty() ? "" : "; ") + w;
        std::fprintf(stderr, "%s line %ld: %s\n", file.c_str(), e.line, reasons.c_str());
        ++bad;
    }
    if (bad)
        std::fprintf(stderr, "rentdesk-admin: %zu bad line%s; nothing was imported.\n", bad,
                     bad == 1 ? "" : "s");
    return bad > 0;
}

int import_clients(std::istream& in, const std::string& file) {
    DataFile users = open_table<ClientRec>();
    auto entries = read_entries<ClientRec>(in, kClientHeader, client_from);
    std::map<int32_t, long> seen;
    for (auto& [line, c, why] : entries) {
        if (!why.empty())
            continue;
        if (client_find(users, c.id) >= 0)
            why.push_back("client " + std::to_string(c.id) + " is already in user.txt");
        else if (auto [at, fresh] = seen.emplace(c.id, line); !fresh)
            why.push_back("client " + std::to_string(c.id) + " is on line " +
                          std::to_string(at->second) + " already");
    }
    if (refused(entries, file))
        return 2;
    for (const auto& e : entries)
        client_insert(users, e.rec);
    users.close();
    log_event("import", {{"table", "clients"}, {"rows", std::to_string(entries.size())}});
    journal_commit();
    std::printf("Added %zu client%s to user.txt.\n", entries.size(),
                entries.size() == 1 ? "" : "s");
    return 0;
}

// The checks of a copy against the catalogue and the rows before it: its
// copy number is free for its title, and it carries the name and rent days
// of the title's other copies (the first met of them is kept in titles).
void check_copy(const DataFile& catalog, const MovieRec& m, long line,
                std::map<std::pair<int32_t, int32_t>, long>& seen,
                std::map<int32_t, MovieRec>& titles, Why& why) {
    const std::string copy = "copy " + std::to_string(m.copy) + " of movie " + std::to_string(m.id);
    if (movie_find_copy(catalog, m.id, m.copy) >= 0)
        why.push_back(copy + " is already in catalogmov.txt");
    else if (auto [at, fresh] = seen.emplace(std::pair{m.id, m.copy}, line); !fresh)
        why.push_back(copy + " is on line " + std::to_string(at->second) + " already");
    auto known = titles.find(m.id);
    if (known == titles.end()) {
        const int32_t slot = movie_find(catalog, m.id);
        known = titles.emplace(m.id, slot >= 0 ? movie_read(catalog, slot) : m).first;
    }
    const MovieRec& title = known->second;
    if (text_of(title.name) != text_of(m.name) || title.rentdays != m.rentdays)
        why.push_back("the copies of movie " + std::to_string(m.id) + " are named \"" +
                      std::string(text_of(title.name)) + "\" with " +
                      std::to_string(title.rentdays) + " rent days");
}

int import_movies(std::istream& in, const std::string& file) {
    DataFile catalog = open_table<MovieRec>();
    auto entries = read_entries<MovieRec>(in, kMovieHeader, movie_from);
    std::map<std::pair<int32_t, int32_t>, long> seen;
    std::map<int32_t, MovieRec> titles;
    for (auto& [line, m, why] : entries)
        if (why.empty())
            check_copy(catalog, m, line, seen, titles, why);
    if (refused(entries, file))
        return 2;
    for (const auto& e : entries)
        movie_insert(catalog, e.rec);
    catalog.close();
    log_event("import", {{"table", "movies"}, {"rows", std::to_string(entries.size())}});
    journal_commit();
    std::printf("Added %zu cop%s to catalogmov.txt.\n", entries.size(),
                entries.size() == 1 ? "y" : "ies");
    return 0;
}

} // namespace

int cmd_import(const Args& args) {
    if (args.size() != 2 || (args[0] != "clients" && args[0] != "movies"))
        return usage_error("import takes a table, clients or movies, and a CSV file");
    const std::string& name = args[1];
    std::ifstream file;
    if (name != "-") {
        file.open(user_path(name), std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "rentdesk-admin: %s cannot be read.\n", name.c_str());
            return 2;
        }
    }
    std::istream& in = name == "-" ? std::cin : file;
    lock_for_writing();
    journal_open();
    return args[0] == "clients" ? import_clients(in, name) : import_movies(in, name);
}
