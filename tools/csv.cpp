// Writing and reading the CSV form.
#include "tools/csv.h"

#include "store/dates.h"

#include <charconv>
#include <cstdio>

namespace {

// Whether a spreadsheet would run the field as a formula, the ' that may
// begin it passed over.
bool formula_like(std::string_view text) {
    std::size_t first = 0;
    while (first < text.size() && text[first] == '\'')
        ++first;
    if (first == text.size())
        return false;
    const char c = text[first];
    if (c != '=' && c != '+' && c != '-' && c != '@' && c != '\t' && c != '\r')
        return false;
    if (first != 0 || text.size() == 1 || c != '-')
        return true;
    for (std::size_t i = 1; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9')
            return true;
    return false; // a whole negative number
}

// Whether the field holds a character that makes it quoted.
bool needs_quotes(std::string_view text) {
    for (char c : text)
        if (c == ',' || c == '"' || c == '\r' || c == '\n')
            return true;
    return false;
}

void put_field(std::string& out, std::string_view text) {
    const bool guarded = formula_like(text);
    if (!guarded && !needs_quotes(text)) {
        out += text;
        return;
    }
    out += guarded ? "\"'" : "\"";
    for (char c : text) {
        out += c;
        if (c == '"')
            out += '"';
    }
    out += '"';
}

// Writes v in decimal, at least width digits (zeros in front), as "%0*d"
// does for a number from 0 up.
char* put_digits(char* at, int32_t v, int width) {
    char digits[12];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    for (; width > n; --width)
        *at++ = '0';
    while (n > 0)
        *at++ = digits[--n];
    return at;
}

// Reads a number of exactly width digits.
bool digits(std::string_view text, int32_t& out) {
    out = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

} // namespace

std::string csv_row(const Fields& fields) {
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i)
        append_field(out, fields[i], i == 0);
    return out + "\n";
}

void append_field(std::string& out, std::string_view text, bool first) {
    if (!first)
        out += ',';
    put_field(out, text);
}

void append_number(std::string& out, int64_t v, bool first) {
    // A number holds no character that quotes it, and a negative one is no
    // formula: its digits go out as they are.
    char digits[24];
    char* at = digits;
    if (!first)
        *at++ = ',';
    const auto [end, error] = std::to_chars(at, digits + sizeof digits, v);
    out.append(digits, static_cast<std::size_t>(end - digits));
}

void append_numbers(std::string& out, std::initializer_list<int32_t> values) {
    char text[12 * 16]; // a comma and at most 11 characters each
    char* at = text;
    for (auto v = values.begin(); v != values.end(); ++v) {
        if (at + 12 > text + sizeof text) {
            out.append(text, static_cast<std::size_t>(at - text));
            at = text;
        }
        *at++ = ',';
        if (*v >= 0 && *v < 10) // most of a record's numbers
            *at++ = static_cast<char>('0' + *v);
        else
            at = std::to_chars(at, at + 11, *v).ptr;
    }
    out.append(text, static_cast<std::size_t>(at - text));
}

void append_date(std::string& out, Date d, bool first) {
    if (d.year < 0 || d.year > 9999 || d.month < 0 || d.month > 99 || d.day < 0 || d.day > 99)
        return append_field(out, iso_date(d), first);
    char text[11] = {','};
    char* at = put_digits(text + 1, d.year, 4);
    *at++ = '-';
    at = put_digits(at, d.month, 2);
    *at++ = '-';
    at = put_digits(at, d.day, 2);
    out.append(text + first, static_cast<std::size_t>(at - text - first));
}

void write_out(std::string& out, bool done) {
    if (out.size() < (std::size_t(1) << 16) && !done)
        return;
    std::fwrite(out.data(), 1, out.size(), stdout);
    out.clear();
}

std::string unguarded(std::string_view field) {
    if (!field.empty() && field[0] == '\'' && formula_like(field.substr(1)))
        field.remove_prefix(1);
    return std::string(field);
}

std::string iso_date(Date d) {
    if (d.year < 0 || d.year > 9999 || d.month < 0 || d.month > 99 || d.day < 0 || d.day > 99) {
        char buf[48];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
        return buf;
    }
    std::string out;
    append_date(out, d, true);
    return out;
}

bool parse_iso_date(std::string_view text, Date& out) {
    Date d{};
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' ||
        !digits(text.substr(0, 4), d.year) || !digits(text.substr(5, 2), d.month) ||
        !digits(text.substr(8, 2), d.day) || !is_real_date(d))
        return false;
    out = d;
    return true;
}

bool parse_number(std::string_view text, int64_t min, int64_t max, int32_t& out) {
    if (!text.empty() && text[0] == '+')
        text.remove_prefix(1);
    int64_t v = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, v);
    if (text.empty() || error != std::errc() || stop != end || v < min || v > max)
        return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool CsvReader::next(Fields& fields, long& line, bool& unclosed) {
    fields.assign(1, "");
    line = line_;
    unclosed = false;
    too_long_ = false;
    bool quoted = false, any = false;
    std::size_t row = 0; // bytes of the row read so far
    auto keep = [&](char c) {
        if (fields.back().size() < kLongestField && !too_long_)
            fields.back() += c;
        else
            too_long_ = true;
    };
    if (!started_ && (started_ = true) && in_.peek() == 0xEF) // a byte order mark
        for (int mark : {0xEF, 0xBB, 0xBF})
            if (in_.peek() == mark)
                in_.get();
    for (int c; (c = in_.get()) != EOF;) {
        if (c == '\n')
            ++line_;
        too_long_ = too_long_ || ++row > kLongestRow;
        if (quoted && c == '"' && in_.peek() == '"') {
            keep(static_cast<char>(in_.get()));
        } else if (c == '"' && (quoted || fields.back().empty())) {
            quoted = !quoted;
        } else if (!quoted && c == ',') {
            if (!too_long_)
                fields.emplace_back();
        } else if (!quoted && (c == '\n' || (c == '\r' && in_.peek() == '\n'))) {
            if (c == '\r')
                continue;
            if (any)
                return true;
            line = line_;
            row = 0;
            fields.assign(1, "");
            continue; // an empty line
        } else {
            keep(static_cast<char>(c));
        }
        any = true;
    }
    unclosed = quoted;
    return any;
}
