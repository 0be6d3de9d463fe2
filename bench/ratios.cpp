// The ratio table: the console reporter keeps each benchmark's time per
// iteration and its counters, and after the last one the rows registered
// with add_ratio_row are printed, section by section.
#include "bench.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <ostream>

namespace {

struct Measured {
    double seconds = 0; // wall time per iteration
    std::map<std::string, double> counters;
};

std::vector<RatioRow>& rows() {
    static std::vector<RatioRow> all;
    return all;
}

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(OO_None) {}
    std::map<std::string, Measured> measured;
    bool failed = false;

    // Keeps and prints the fastest repetition of a repeated benchmark, else
    // its one run.
    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> kept;
        for (const Run& r : runs) {
            failed = failed || r.error_occurred;
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "min")
                kept.push_back(r);
        }
        if (kept.empty())
            kept = runs;
        for (const Run& r : kept) {
            if (r.error_occurred || r.iterations == 0)
                continue;
            Measured& m = measured[r.run_name.function_name];
            m.seconds = r.real_accumulated_time / static_cast<double>(r.iterations);
            for (const auto& [name, counter] : r.counters)
                m.counters[name] = counter.value;
        }
        ConsoleReporter::ReportRuns(kept);
    }
};

std::string format(const char* pattern, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, pattern, v);
    return buf;
}

std::string time_text(double s) {
    return s < 1e-6   ? format("%.0f ns", s * 1e9)
           : s < 1e-3 ? format("%.2f us", s * 1e6)
           : s < 1    ? format("%.2f ms", s * 1e3)
                      : format("%.2f s", s);
}

// The text of one figure, "-" when a benchmark it needs did not run.
std::string figure(const std::map<std::string, Measured>& measured, const RatioRow& row,
                   const Column& col) {
    auto of = measured.find(row.of);
    if (of == measured.end())
        return "-";
    if (!col.counter.empty()) {
        auto c = of->second.counters.find(col.counter);
        if (c == of->second.counters.end())
            return "-";
        return format("%.1f", c->second) + (col.goal > 0 && c->second > col.goal ? " !" : "");
    }
    if (col.floors.empty())
        return time_text(of->second.seconds);
    double floor = 0;
    for (const std::string& name : col.floors) {
        auto f = measured.find(name);
        if (f == measured.end() || f->second.seconds <= 0)
            return "-";
        floor += f->second.seconds;
    }
    const double ratio = of->second.seconds / floor;
    return format(ratio < 10 ? "%.2f" : "%.0f", ratio) +
           (col.goal > 0 && ratio > col.goal ? " !" : "");
}

// Prints a section as a Markdown table, its columns padded to one width.
void print_section(std::ostream& out, const std::map<std::string, Measured>& measured,
                   const std::vector<const RatioRow*>& section) {
    std::vector<std::string> headers{""};
    for (const RatioRow* row : section)
        for (const Column& col : row->columns)
            if (std::find(headers.begin(), headers.end(), col.header) == headers.end())
                headers.push_back(col.header);
    std::vector<std::vector<std::string>> grid{headers};
    for (const RatioRow* row : section) {
        grid.push_back({row->label});
        for (std::size_t h = 1; h < headers.size(); ++h) {
            auto col = std::find_if(row->columns.begin(), row->columns.end(),
                                    [&](const Column& c) { return c.header == headers[h]; });
            grid.back().push_back(col == row->columns.end() ? "" : figure(measured, *row, *col));
        }
    }
    std::vector<std::size_t> width(headers.size(), 3);
    for (const auto& line : grid)
        for (std::size_t c = 0; c < line.size(); ++c)
            width[c] = std::max(width[c], line[c].size());
    out << "\n" << section.front()->section << "\n\n";
    for (std::size_t r = 0; r < grid.size(); ++r) {
        for (std::size_t c = 0; c < grid[r].size(); ++c)
            out << "| " << grid[r][c] << std::string(width[c] - grid[r][c].size(), ' ') << " ";
        out << "|\n";
        for (std::size_t c = 0; r == 0 && c < width.size(); ++c)
            out << "|" << std::string(width[c] + 2, '-') << (c + 1 == width.size() ? "|\n" : "");
    }
}

} // namespace

double fastest(const std::vector<double>& times) {
    return times.empty() ? 0 : *std::min_element(times.begin(), times.end());
}

void add_ratio_row(RatioRow row) {
    rows().push_back(std::move(row));
}

bool run_and_report() {
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::ostream& out = reporter.GetOutputStream();
    std::vector<std::string> order;
    for (const RatioRow& row : rows())
        if (std::find(order.begin(), order.end(), row.section) == order.end())
            order.push_back(row.section);
    for (const std::string& name : order) {
        std::vector<const RatioRow*> section;
        for (const RatioRow& row : rows())
            if (row.section == name && reporter.measured.count(row.of))
                section.push_back(&row);
        if (!section.empty())
            print_section(out, reporter.measured, section);
    }
    out << "\nA ratio is the row's time over the column's floor (or other store); \"!\" marks"
           " a figure above its goal.\n";
    return !reporter.failed;
}
