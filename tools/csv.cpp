// Writing and reading the CSV form.
#include "tools/csv.h"

#include "store/dates.h"

#include <charconv>
#include <cstdio>

namespace {

std::string csv_field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + "\"";
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
        out += (i ? "," : "") + csv_field(fields[i]);
    return out + "\n";
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
    bool quoted = false, any = false;
    if (!started_ && (started_ = true) && in_.peek() == 0xEF) // a byte order mark
        for (int mark : {0xEF, 0xBB, 0xBF})
            if (in_.peek() == mark)
                in_.get();
    for (int c; (c = in_.get()) != EOF;) {
        if (c == '\n')
            ++line_;
        if (quoted && c == '"' && in_.peek() == '"') {
            fields.back() += static_cast<char>(in_.get());
        } else if (c == '"' && (quoted || fields.back().empty())) {
            quoted = !quoted;
        } else if (!quoted && c == ',') {
            fields.emplace_back();
        } else if (!quoted && (c == '\n' || (c == '\r' && in_.peek() == '\n'))) {
            if (c == '\r')
                continue;
            if (any)
                return true;
            line = line_;
            fields.assign(1, "");
            continue; // an empty line
        } else {
            fields.back() += static_cast<char>(c);
        }
        any = true;
    }
    unclosed = quoted;
    return any;
}
