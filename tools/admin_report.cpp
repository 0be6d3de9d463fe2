// rentdesk-admin report: one of the owner's reports, as a table for the
// terminal or as CSV, taken on today or on the day --date names.
#include "store/dates.h"
#include "tools/admin.h"
#include "tools/reports.h"

#include <algorithm>

namespace {

struct Choice {
    const ReportKind* kind = nullptr;
    ReportOptions options{get_today(), 7};
    bool csv = false;
    std::vector<std::string> given; // the options given, by name
    bool has(const char* name) const {
        return std::find(given.begin(), given.end(), name) != given.end();
    }
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
    static const std::vector<std::string> kValued = {"--date",   "--within", "--from", "--to",
                                                     "--client", "--movie",  "--copy"};
    if (std::find(kValued.begin(), kValued.end(), name) == kValued.end() || c.has(name.c_str()))
        return usage_error("report takes a report name, --date, --within, --from, --to, "
                           "--client, --movie, --copy and --csv, each once; not '" +
                           args[i] + "'");
    if (!joined && i + 1 == args.size())
        return usage_error(name + " needs a value");
    if (!joined)
        value = args[++i];
    c.given.push_back(name);
    ReportOptions& o = c.options;
    Date& day = name == "--from" ? o.from : name == "--to" ? o.to : o.day;
    if ((name == "--date" || name == "--from" || name == "--to") && !parse_iso_date(value, day))
        return usage_error(name + " must be a day of the calendar written YYYY-MM-DD");
    int32_t& number = name == "--within"   ? o.within
                      : name == "--client" ? o.client
                      : name == "--movie"  ? o.movie
                                           : o.copy;
    const int64_t least = name == "--within" ? 0 : 1;
    if (name != "--date" && name != "--from" && name != "--to" &&
        !parse_number(value, least, INT32_MAX, number))
        return usage_error(name + " must be a whole number, " + std::to_string(least) + " or more");
    return 0;
}

// The options that belong to the report chosen, and none of the others.
int check_options(const Choice& c) {
    const std::string name = c.kind->name;
    const std::vector<std::string> own =
        name == "day"             ? std::vector<std::string>{"--date", "--from", "--to"}
        : name == "history"       ? std::vector<std::string>{"--client", "--movie", "--copy"}
        : name == "subscriptions" ? std::vector<std::string>{"--date", "--within"}
                                  : std::vector<std::string>{"--date"};
    for (const std::string& option : c.given)
        if (std::find(own.begin(), own.end(), option) == own.end())
            return usage_error(option + " does not belong to the " + name + " report");
    if (name == "day" && (c.has("--from") != c.has("--to") || (c.has("--date") && c.has("--from"))))
        return usage_error("report day takes --date D, or --from D and --to D");
    if (name == "day" && c.has("--from") && date_before(c.options.to, c.options.from))
        return usage_error("--to must not come before --from");
    if (name == "history" && c.has("--client") == c.has("--movie"))
        return usage_error("report history takes --client N, or --movie M (and --copy C)");
    if (c.has("--copy") && !c.has("--movie"))
        return usage_error("--copy goes with --movie");
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
    if (int status = check_options(c))
        return status;
    if (!c.has("--from"))
        c.options.from = c.options.to = c.options.day;
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
