// Writing and reading the CSV form.
#include "tools/csv.h"

#include "store/dates.h"

#include <charconv>
#include <cstdio>

namespace {

// Whether a spreadsheet would run the field as a formula, the ' that may
// begin it passed over.
bool formula_like(std::string_view text) {
    const std::size_t first = text.find_first_not_of('\'');
    if (first == std::string_view::npos ||
        std::string_view("=+-@\t\r").find(text[first]) == std::string_view::npos)
        return false;
    const bool negative_number = first == 0 && text.size() > 1 && text[0] == '-' &&
                                 text.find_first_not_of("0123456789", 1) == std::string_view::npos;
    return !negative_number;
}

void put_field(std::string& out, std::string_view text) {
    const bool guarded = formula_like(text);
    if (!guarded && text.find_first_of(",\"\r\n") == std::string_view::npos) {
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
    char digits[24];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, v);
    append_field(out, std::string_view(digits, static_cast<std::size_t>(end - digits)), first);
}

std::string unguarded(std::string_view field) {
    if (!field.empty() && field[0] == '\'' && formula_like(field.substr(1)))
        field.remove_prefix(1);
    return std::string(field);
}

std::string iso_date(Date d) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buf;
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
