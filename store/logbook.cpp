// The day log's files: naming, appending whole lines and records once, and
// reading and checking them back.
#include "store/logbook.h"

#include "store/bytes.h"
#include "store/dates.h"
#include "store/fault.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t kMonthName = 7; // YYYY-MM
constexpr char kRedoHead[] = "RDR1";
constexpr char kRedoTail[] = "RDRT";
constexpr std::size_t kRedoHeadSize = 4 + 3 * 8;
constexpr std::size_t kRedoTailSize = 8 + 8 + 4;

template <class T>
T get(const std::string& in, std::size_t at) {
    T value;
    std::memcpy(&value, in.data() + at, sizeof value);
    return value;
}

bool digits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether name is daylog-YYYY-MM followed by ext.
bool is_log_name(const std::string& name, const std::string& ext) {
    const std::string prefix = kLogPrefix;
    if (name.size() != prefix.size() + kMonthName + ext.size() || name.rfind(prefix, 0) != 0 ||
        name.compare(name.size() - ext.size(), ext.size(), ext) != 0)
        return false;
    const std::string_view month = std::string_view(name).substr(prefix.size(), kMonthName);
    return digits(month.substr(0, 4)) && month[4] == '-' && digits(month.substr(5, 2));
}

std::string month_of_name(const std::string& name) {
    return name.substr(std::strlen(kLogPrefix), kMonthName);
}

// The redo record of an intent.
std::string redo_record(const std::string& intent, int64_t first, int64_t last) {
    std::string out = kRedoHead;
    put(out, first);
    put(out, last);
    put(out, static_cast<uint64_t>(intent.size()));
    out += intent;
    put(out, checksum(out.data(), out.size()));
    put(out, static_cast<uint64_t>(out.size() + 12));
    out += kRedoTail;
    return out;
}

// Reads the redo record at at in bytes; answers its end, or 0 when no whole,
// sound record starts there.
std::size_t parse_redo(const std::string& bytes, std::size_t at, RedoRecord* rec) {
    if (bytes.size() - at < kRedoHeadSize + kRedoTailSize || bytes.compare(at, 4, kRedoHead) != 0)
        return 0;
    const uint64_t len = get<uint64_t>(bytes, at + 20);
    if (len > bytes.size() - at - kRedoHeadSize - kRedoTailSize)
        return 0;
    const std::size_t body = at + kRedoHeadSize + len;
    if (get<uint64_t>(bytes, body) != checksum(bytes.data() + at, body - at) ||
        get<uint64_t>(bytes, body + 8) != body + kRedoTailSize - at ||
        bytes.compare(body + 16, 4, kRedoTail) != 0)
        return 0;
    rec->first = get<int64_t>(bytes, at + 4);
    rec->last = get<int64_t>(bytes, at + 12);
    rec->intent = bytes.substr(at + kRedoHeadSize, len);
    return body + kRedoTailSize;
}

std::string log_program = "rentdesk";

// The file a kind of the log is appended to, kept open between actions so
// that nothing is synced before logbook_sync.
struct Appender {
    const char* ext;
    std::optional<DataFile> file;
    std::string month; // of the file open
    int64_t last = 0;  // the number of the last line or action it holds
    bool opened = false;
    bool newline = false;           // the file ends inside a line: start the next on its own
    bool made = false;              // a file was made since the last sync
    std::vector<DataFile> finished; // files left for a later month, synced at logbook_sync
};
Appender log_out{kLogSuffix, {}, {}, 0, false, false, false, {}};
Appender redo_out{kRedoSuffix, {}, {}, 0, false, false, false, {}};

std::string read_all(const DataFile& f) {
    std::string bytes(static_cast<std::size_t>(f.size()), '\0');
    if (!bytes.empty())
        f.read_at(0, bytes.data(), bytes.size());
    return bytes;
}

// The last number of a log file, and whether it ends inside a line (torn:
// the length of its whole lines).
int64_t last_line_seq(const std::string& bytes, std::size_t* whole) {
    *whole = bytes.rfind('\n') == std::string::npos ? 0 : bytes.rfind('\n') + 1;
    if (*whole < 2)
        return 0;
    const std::size_t start = bytes.rfind('\n', *whole - 2);
    LogLine line;
    const std::size_t from = start == std::string::npos ? 0 : start + 1;
    return parse_log_line(std::string_view(bytes).substr(from, *whole - 1 - from), line) ? line.seq
                                                                                         : 0;
}

// The last bytes of a file, at most len of them, and where they start.
std::string tail_of(const DataFile& f, int64_t len, int64_t* from) {
    *from = std::max<int64_t>(0, f.size() - len);
    std::string bytes(static_cast<std::size_t>(f.size() - *from), '\0');
    if (!bytes.empty())
        f.read_at(*from, bytes.data(), bytes.size());
    return bytes;
}

// Learns the last number of a log file from its last line. A file ending
// inside a line is cut back to its whole lines when recovering (the append
// of an action the journal still holds); else the next line starts on a
// line of its own.
void open_log_file(Appender& a, DataFile& f, bool recovering) {
    int64_t from = 0;
    std::string bytes = tail_of(f, 1 << 16, &from);
    while (from > 0 && bytes.find('\n') == bytes.rfind('\n')) // a line longer than the tail
        bytes = tail_of(f, static_cast<int64_t>(bytes.size()) * 2, &from);
    std::size_t whole = 0;
    a.last = last_line_seq(bytes, &whole);
    if (whole < bytes.size() && recovering)
        f.truncate(from + static_cast<int64_t>(whole));
    a.newline = whole < bytes.size() && !recovering;
}

// Learns the last number of an after-images file from its last record; a
// record a crash cut short (only the journal holds it) is cut off.
void open_redo_file(Appender& a, DataFile& f) {
    int64_t from = 0;
    const std::string tail = tail_of(f, 12, &from);
    RedoRecord rec;
    if (tail.size() == 12 && tail.compare(8, 4, kRedoTail) == 0) {
        const uint64_t len = get<uint64_t>(tail, 0);
        if (len <= static_cast<uint64_t>(f.size())) {
            int64_t start = 0;
            const std::string last = tail_of(f, static_cast<int64_t>(len), &start);
            if (parse_redo(last, 0, &rec) == last.size()) {
                a.last = rec.last;
                return;
            }
        }
    }
    const std::string bytes = read_all(f);
    std::size_t at = 0, end;
    while ((end = parse_redo(bytes, at, &rec)) != 0) {
        a.last = rec.last;
        at = end;
    }
    if (at < bytes.size())
        f.truncate(static_cast<int64_t>(at));
}

// Opens the newest file of the appender's kind, learning its last number.
void open_appender(Appender& a, bool recovering) {
    a.opened = true;
    a.file.reset();
    a.last = 0;
    a.newline = false;
    const std::vector<std::string> names = log_files("", a.ext);
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        std::optional<DataFile> f = DataFile::open(*it, DataFile::Mode::Update);
        if (!f)
            report_fault(Fault::cannot_open, *it, "cannot be opened");
        if (f->size() == 0 && it + 1 != names.rend())
            continue; // an empty newest file: the number is in the one before
        if (a.ext == std::string(kLogSuffix))
            open_log_file(a, *f, recovering);
        else
            open_redo_file(a, *f);
        a.month = month_of_name(*it);
        a.file = std::move(f);
        return;
    }
}

// Appends bytes to the file of month (or the newest, when that is later).
void append_to(Appender& a, const std::string& month, std::string bytes, const DataFile* like) {
    if (!a.file || month > a.month) {
        if (a.file)
            a.finished.push_back(std::move(*a.file));
        const std::string name = kLogPrefix + month + a.ext;
        a.file = DataFile::open(name, DataFile::Mode::Create, like);
        if (!a.file)
            report_fault(Fault::cannot_open, name, "cannot be created");
        a.month = month;
        a.made = true;
        a.newline = false;
    }
    if (a.newline)
        bytes.insert(0, "\n");
    a.newline = false;
    a.file->write_at(a.file->size(), bytes.data(), bytes.size());
}

std::string month_of_line(const std::string& line) {
    const std::size_t tab = line.find('\t');
    return tab == std::string::npos ? std::string() : line.substr(tab + 1, kMonthName);
}

} // namespace

void set_log_program(const std::string& program) {
    log_program = program;
}

std::string event_text(const std::string& kind, const EventFields& fields) {
    const ClockTime now = clock_now();
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", now.date.year % 10000,
                  now.date.month % 100, now.date.day % 100, now.hour % 100, now.minute % 100,
                  now.second % 100);
    std::string text = std::string(stamp) + "\t" + escape_field(log_program) + "\t" + kind;
    for (const auto& [name, value] : fields)
        text += "\t" + name + "=" + escape_field(value);
    return text;
}

std::string LogLine::field(std::string_view name) const {
    for (const auto& [n, v] : fields)
        if (n == name)
            return v;
    return {};
}

bool LogLine::has(std::string_view name) const {
    return std::any_of(fields.begin(), fields.end(),
                       [&](const auto& f) { return f.first == name; });
}

int64_t LogLine::number(std::string_view name) const {
    const std::string v = field(name);
    const bool negative = !v.empty() && v[0] == '-';
    if (!digits(std::string_view(v).substr(negative ? 1 : 0)) || v.size() > 19)
        return 0;
    return std::stoll(v);
}

std::string escape_field(std::string_view value) {
    std::string out;
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\' || c == '\t' || c == '\n')
            out += c == '\\' ? "\\\\" : c == '\t' ? "\\t" : "\\n";
        else if (u < 0x20 || u == 0x7F) {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else
            out += c;
    }
    return out;
}

namespace {

bool unescape(std::string_view in, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out += in[i];
            continue;
        }
        if (++i == in.size())
            return false;
        if (in[i] == 'x' && i + 2 < in.size()) {
            const std::string hex(in.substr(i + 1, 2));
            if (hex.size() != 2 || hex.find_first_not_of("0123456789abcdef") != std::string::npos)
                return false;
            out += static_cast<char>(std::stoi(hex, nullptr, 16));
            i += 2;
        } else if (in[i] == 't' || in[i] == 'n' || in[i] == '\\') {
            out += in[i] == 't' ? '\t' : in[i] == 'n' ? '\n' : '\\';
        } else {
            return false;
        }
    }
    return true;
}

// Whether t is YYYY-MM-DD HH:MM:SS.
bool is_time(std::string_view t) {
    static constexpr std::string_view kShape = "####-##-## ##:##:##";
    if (t.size() != kShape.size())
        return false;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (kShape[i] == '#' ? !(t[i] >= '0' && t[i] <= '9') : t[i] != kShape[i])
            return false;
    return true;
}

} // namespace

bool parse_log_line(std::string_view text, LogLine& out) {
    std::vector<std::string_view> parts;
    for (std::size_t at = 0;;) {
        const std::size_t tab = text.find('\t', at);
        parts.push_back(text.substr(at, tab == std::string_view::npos ? tab : tab - at));
        if (tab == std::string_view::npos)
            break;
        at = tab + 1;
    }
    if (parts.size() < 4 || !digits(parts[0]) || parts[0].size() > 18 || parts[0][0] == '0' ||
        !is_time(parts[1]) || parts[2].empty() || parts[3].empty())
        return false;
    out = LogLine{};
    out.seq = std::stoll(std::string(parts[0]));
    out.time = parts[1];
    out.program = parts[2];
    out.kind = parts[3];
    for (std::size_t i = 4; i < parts.size(); ++i) {
        const std::size_t eq = parts[i].find('=');
        std::string value;
        if (eq == std::string_view::npos || eq == 0 || !unescape(parts[i].substr(eq + 1), value))
            return false;
        out.fields.emplace_back(std::string(parts[i].substr(0, eq)), std::move(value));
    }
    return true;
}

std::vector<std::string> log_files(const std::string& folder, const char* ext) {
    std::vector<std::string> names, found;
    std::string why;
    if (!folder_entries(folder.empty() ? "." : folder, &names, &why))
        return found;
    for (const std::string& name : names)
        if (is_log_name(name, ext))
            found.push_back(name);
    std::sort(found.begin(), found.end());
    return found;
}

void logbook_append(const std::vector<std::string>& lines, const std::string& intent, int64_t first,
                    int64_t last, bool recovering, const DataFile* like) {
    for (Appender* a : {&log_out, &redo_out})
        if (!a->opened || (a->file && !a->file->is_open())) // closed on the way out of a run
            open_appender(*a, recovering);
    std::string text, month;
    for (const std::string& line : lines) {
        LogLine parsed;
        if (!parse_log_line(line, parsed) || parsed.seq <= log_out.last)
            continue;
        if (month_of_line(line) != month && !text.empty()) {
            append_to(log_out, month, text, like);
            text.clear();
        }
        month = month_of_line(line);
        text += line + "\n";
        log_out.last = parsed.seq;
    }
    if (!text.empty())
        append_to(log_out, month, text, like);
    if (last > redo_out.last && !lines.empty()) {
        append_to(redo_out, month_of_line(lines.front()), redo_record(intent, first, last), like);
        redo_out.last = last;
    }
}

void logbook_sync() {
    bool made = false;
    for (Appender* a : {&log_out, &redo_out}) {
        for (DataFile& f : a->finished)
            f.close();
        a->finished.clear();
        if (a->file)
            a->file->sync();
        made = made || a->made;
        a->made = false;
    }
    if (made)
        sync_folder("");
}

int64_t logbook_last_seq() {
    if (!log_out.opened || (log_out.file && !log_out.file->is_open()))
        open_appender(log_out, false);
    return log_out.last;
}

void logbook_close() {
    for (Appender* a : {&log_out, &redo_out}) {
        for (DataFile& f : a->finished)
            f.close();
        a->finished.clear();
        if (a->file)
            a->file->close();
        a->file.reset();
        a->opened = false;
        a->last = 0;
        a->newline = false;
    }
}

bool read_log_file(const std::string& path, std::string* bytes, std::string* why) {
    try {
        std::optional<DataFile> f = DataFile::open(path, DataFile::Mode::Read);
        if (!f) {
            *why = path + ": cannot be opened";
            return false;
        }
        *bytes = read_all(*f);
        return true;
    } catch (const StoreFault& fault) {
        *why = fault.path + ": " + fault.what;
        return false;
    }
}

bool read_redo(const std::string& folder, std::vector<RedoRecord>* records, std::string* why) {
    for (const std::string& name : log_files(folder, kRedoSuffix)) {
        std::string bytes;
        if (!read_log_file(folder + name, &bytes, why))
            return false;
        RedoRecord rec;
        for (std::size_t at = 0, end; at < bytes.size(); at = end) {
            if ((end = parse_redo(bytes, at, &rec)) == 0) {
                *why = name + ": the action recorded at byte " + std::to_string(at) +
                       " is damaged or cut short";
                return false;
            }
            records->push_back(std::move(rec));
        }
    }
    return true;
}

namespace {

// The problems of one log file; next is the number its first line must carry
// (0: any), updated to the one after its last line.
void check_log_file(const std::string& folder, const std::string& name, int64_t& next,
                    std::string& previous, std::vector<std::string>& problems) {
    std::string bytes, why;
    if (!read_log_file(folder + name, &bytes, &why)) {
        problems.push_back(why);
        return;
    }
    if (!bytes.empty() && bytes.back() != '\n')
        problems.push_back(name + ": ends in the middle of a line");
    long number = 0, unreadable = 0, first_bad = 0;
    for (std::size_t at = 0; at < bytes.size(); ++number) {
        std::size_t end = bytes.find('\n', at);
        if (end == std::string::npos)
            end = bytes.size();
        LogLine line;
        if (!parse_log_line(std::string_view(bytes).substr(at, end - at), line)) {
            first_bad = unreadable++ ? first_bad : number + 1;
        } else {
            if (next > 0 && line.seq != next)
                problems.push_back(
                    name + ": line " + std::to_string(number + 1) + " holds event " +
                    std::to_string(line.seq) + " where " + std::to_string(next) + " was due" +
                    (line.seq > next ? " (events " + std::to_string(next) + " to " +
                                           std::to_string(line.seq - 1) + " are missing" +
                                           (number == 0 && !previous.empty()
                                                ? ", after the end of " + previous + ")"
                                                : ")")
                                     : ""));
            next = line.seq + 1;
        }
        at = end + 1;
    }
    if (unreadable)
        problems.push_back(
            name + ": line " + std::to_string(first_bad) + " is not a readable event" +
            (unreadable > 1 ? " (nor are " + std::to_string(unreadable - 1) + " more lines)" : ""));
    previous = name;
}

} // namespace

std::vector<std::string> log_problems(const std::string& folder,
                                      std::optional<int64_t> tables_seq) {
    std::vector<std::string> problems;
    int64_t next = 0;
    std::string previous;
    for (const std::string& name : log_files(folder, kLogSuffix))
        check_log_file(folder, name, next, previous, problems);
    const int64_t last = next > 0 ? next - 1 : 0;
    std::vector<RedoRecord> records;
    std::string why;
    if (!read_redo(folder, &records, &why))
        problems.push_back(why);
    for (std::size_t i = 1; i < records.size(); ++i)
        if (records[i].first != records[i - 1].last + 1)
            problems.push_back("the after-images (" + std::string(kLogPrefix) + "*" + kRedoSuffix +
                               ") miss events " + std::to_string(records[i - 1].last + 1) + " to " +
                               std::to_string(records[i].first - 1) +
                               ": restore --until cannot pass them");
    if (!records.empty() && records.back().last != last)
        problems.push_back("the after-images end at event " + std::to_string(records.back().last) +
                           " but the log at event " + std::to_string(last));
    if (tables_seq && *tables_seq != last)
        problems.push_back(*tables_seq > last
                               ? "the tables hold the actions up to event " +
                                     std::to_string(*tables_seq) + " but the log ends at event " +
                                     std::to_string(last) +
                                     ": its newest lines are missing (put them back from a backup)"
                               : "the log holds events up to " + std::to_string(last) +
                                     " but the tables only the actions up to event " +
                                     std::to_string(*tables_seq));
    return problems;
}
