// Printing a report as CSV or as an aligned table.
#include "tools/report_table.h"

#include <cstdio>

namespace {

constexpr std::size_t kScreenWidth = 80;
constexpr std::size_t kShortestText = 4;

bool continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Characters (not bytes) of a UTF-8 text.
std::size_t width_of(const std::string& text) {
    std::size_t n = 0;
    for (char c : text)
        n += !continuation(c);
    return n;
}

// Stored text made safe for a terminal: C0 and C1 controls become '?'.
std::string printable(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) < 0xA0;
        out += c < 0x20 || c == 0x7F || c1 ? '?' : text[i];
        i += c1;
    }
    return out;
}

// A field as the table shows it (before fitting). A date is shown day first
// whatever it holds: a due day can be 29 February of any year.
std::string shown(const std::string& field, Cell cell) {
    Date d{};
    int end = 0;
    if (cell == Cell::date &&
        std::sscanf(field.c_str(), "%d-%d-%d%n", &d.year, &d.month, &d.day, &end) == 3 &&
        end == static_cast<int>(field.size()))
        return plain_date(d);
    if (cell == Cell::phone && !field.empty())
        return "0" + field; // as the counter shows a phone number
    return cell == Cell::text ? printable(field) : field;
}

// The text cut to width characters, the last of them '~' when it was cut,
// then padded; numbers are padded on the left.
std::string fitted(const std::string& text, std::size_t width, Cell cell) {
    std::size_t w = width_of(text);
    if (w > width) {
        std::size_t keep = 0, chars = 0;
        while (keep < text.size() && (continuation(text[keep]) || chars < width - 1))
            chars += !continuation(text[keep++]);
        return text.substr(0, keep) + "~";
    }
    std::string pad(width - w, ' ');
    return cell == Cell::number || cell == Cell::extra ? pad + text : text + pad;
}

struct Layout {
    std::vector<std::size_t> shown; // indexes of the columns in the table
    std::vector<std::size_t> width; // by column index
};

std::size_t total_width(const Layout& l) {
    std::size_t sum = l.shown.empty() ? 0 : l.shown.size() - 1;
    for (std::size_t c : l.shown)
        sum += l.width[c];
    return sum;
}

// Narrows the widest text column by one; false when all are at their least.
bool narrow_a_text(const Report& r, Layout& l) {
    std::size_t widest = r.columns.size();
    for (std::size_t c : l.shown)
        if (r.columns[c].cell == Cell::text && l.width[c] > kShortestText &&
            (widest == r.columns.size() || l.width[c] > l.width[widest]))
            widest = c;
    if (widest == r.columns.size())
        return false;
    --l.width[widest];
    return true;
}

// The columns' widths: every column, phones included, when they fit whole;
// otherwise without the phones, the texts narrowed until the table fits, and
// without the extra columns when it cannot fit with them.
Layout lay_out(const Report& r, const std::vector<Fields>& cells, bool phones = true,
               bool extras = true) {
    Layout l{{}, std::vector<std::size_t>(r.columns.size())};
    for (std::size_t c = 0; c < r.columns.size(); ++c) {
        const Cell cell = r.columns[c].cell;
        if ((phones || cell != Cell::phone) && (extras || cell != Cell::extra))
            l.shown.push_back(c);
        l.width[c] = width_of(r.columns[c].heading);
        for (const Fields& row : cells)
            l.width[c] = std::max(l.width[c], width_of(row[c]));
    }
    if (phones)
        return total_width(l) <= kScreenWidth ? l : lay_out(r, cells, false);
    while (total_width(l) > kScreenWidth && narrow_a_text(r, l)) {
    }
    return total_width(l) > kScreenWidth && extras ? lay_out(r, cells, false, false) : l;
}

void print_line(const Report& r, const Layout& l, const Fields& cells) {
    std::string line;
    for (std::size_t c : l.shown)
        line += (line.empty() ? "" : " ") + fitted(cells[c], l.width[c], r.columns[c].cell);
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    std::printf("%s\n", line.c_str());
}

// Calls visit(fields) for every row of the report, in order.
template <class Visit>
void each_row(const Report& r, Visit visit) {
    for (const Fields& row : r.rows)
        visit(row);
    Fields made;
    for (std::size_t i = 0; i < r.made_rows; ++i) {
        r.make(i, made);
        visit(made);
    }
}

} // namespace

std::string plain_date(Date d) {
    return std::to_string(d.day) + "/" + std::to_string(d.month) + "/" + std::to_string(d.year);
}

void print_csv(const Report& report) {
    std::string out;
    for (std::size_t i = 0; i < report.columns.size(); ++i)
        append_field(out, report.columns[i].name, i == 0);
    out += '\n';
    each_row(report, [&](const Fields& row) {
        for (std::size_t i = 0; i < row.size(); ++i)
            append_field(out, row[i], i == 0);
        out += '\n';
        write_out(out);
    });
    write_out(out, true);
}

void print_plain(const Report& report) {
    Fields headings;
    std::vector<Fields> cells;
    for (const Column& c : report.columns)
        headings.push_back(c.heading);
    each_row(report, [&](const Fields& row) {
        cells.emplace_back();
        for (std::size_t c = 0; c < row.size(); ++c)
            cells.back().push_back(shown(row[c], report.columns[c].cell));
    });
    const Layout layout = lay_out(report, cells);
    std::printf("%s\n", report.title.c_str());
    print_line(report, layout, headings);
    for (const Fields& row : cells)
        print_line(report, layout, row);
    if (!report.totals.empty())
        std::printf("%s\n", report.totals.c_str());
}
