// rentdesk-admin report: one of the owner's reports, as a table for the
// terminal or as CSV, taken on today or on the day --date names.
#include "store/dates.h"
#include "tools/admin.h"
#include "tools/reports.h"

namespace {

struct Choice {
    const ReportKind* kind = nullptr;
    ReportOptions options{get_today(), 7};
    bool csv = false;
    bool within = false; // --within was given
};

// Takes one option, with its value from "--name=value" or the next argument;
// answers the usage error's status, or 0.
int take_option(const Args& args, std::size_t& i, Choice& c) {
    std::string name = args[i], value;
    const bool joined = name.find('=') != std::string::npos;
    if (joined) {
        value = name.substr(name.find('=') + 1);
        name.resize(name.find('='));
    }
    if (name == "--csv" && !joined) {
        c.csv = true;
        return 0;
    }
    if (name != "--date" && name != "--within")
        return usage_error("report takes a report name, --date, --within and --csv; not '" +
                           args[i] + "'");
    if (!joined && i + 1 == args.size())
        return usage_error(name + " needs a value");
    if (!joined)
        value = args[++i];
    if (name == "--date" && !parse_iso_date(value, c.options.day))
        return usage_error("--date must be a day of the calendar written YYYY-MM-DD");
    if (name == "--within" && !parse_number(value, 0, INT32_MAX, c.options.within))
        return usage_error("--within must be a whole number of days, 0 or more");
    c.within |= name == "--within";
    return 0;
}

} // namespace

int cmd_report(const Args& args) {
    Choice c;
    std::string names;
    for (const ReportKind& k : kReports)
        names += (names.empty() ? "" : ", ") + std::string(k.name);
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i].rfind("--", 0) == 0) {
            if (int status = take_option(args, i, c))
                return status;
            continue;
        }
        if (c.kind)
            return usage_error("report takes one report name");
        for (const ReportKind& k : kReports)
            if (args[i] == k.name)
                c.kind = &k;
        if (!c.kind)
            return usage_error("there is no report '" + args[i] + "'; the reports: " + names);
    }
    if (!c.kind)
        return usage_error("report needs the name of a report: " + names);
    if (c.within && c.kind->make != subscriptions_report)
        return usage_error("--within belongs to the subscriptions report");
    begin_reading_only();
    Report report = c.kind->make(c.options);
    if (c.csv) {
        binary_output();
        print_csv(report);
    } else {
        print_plain(report);
    }
    return finish_output();
}
