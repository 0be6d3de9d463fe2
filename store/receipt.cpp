// Receipts of the payments, and handing them to the shop's receipt command.
#include "store/receipt.h"

#include "store/datafile.h"
#include "store/fault.h"

namespace {

constexpr int kCommandSeconds = 10;

// A line of the receipt: label on the left, value on the right.
std::string row(const std::string& label, const std::string& value) {
    const std::size_t room = kReceiptWidth > label.size() + value.size() + 1
                                 ? kReceiptWidth - label.size() - value.size()
                                 : 1;
    return (label + std::string(room, ' ') + value).substr(0, kReceiptWidth) + "\n";
}

std::string rule(char c) {
    return std::string(kReceiptWidth, c) + "\n";
}

std::string centred(const std::string& text) {
    return std::string((kReceiptWidth - text.size()) / 2, ' ') + text + "\n";
}

} // namespace

bool is_payment(const LogLine& line) {
    return line.kind == "subscription" ||
           (line.kind == "client-removed" && line.number("fine") > 0);
}

std::string receipt_text(const LogLine& line) {
    std::string out = rule('=') + centred("RECEIPT") + rule('-');
    out += row("Receipt no.", std::to_string(line.seq));
    out += row("Date", line.time);
    out += row("Client", line.field("client"));
    out += row("Name", line.field("name"));
    out += rule('-');
    int64_t total = line.number("fine");
    if (line.kind == "subscription") {
        const int64_t months = line.number("months");
        total = line.number("total");
        out += row("Subscription, " + std::to_string(months) + (months == 1 ? " month" : " months"),
                   std::to_string(total - line.number("fine")));
        out += row("Fines", line.field("fine"));
    } else {
        out += row("Fines paid on leaving", line.field("fine"));
    }
    out += rule('-') + row("TOTAL", std::to_string(total)) + rule('=');
    return out;
}

void send_receipts(const std::string& command, const std::vector<std::string>& lines,
                   int64_t* after) {
    for (const std::string& text : lines) {
        LogLine line;
        std::string why;
        if (!parse_log_line(text, line) || line.seq <= *after)
            continue;
        *after = line.seq;
        if (!is_payment(line) ||
            run_command(command, receipt_text(line), kCommandSeconds * 1000, &why))
            continue;
        std::optional<DataFile> note = DataFile::open(kUnprintedFile, DataFile::Mode::Update);
        if (!note)
            note = DataFile::open(kUnprintedFile, DataFile::Mode::Create);
        if (!note)
            report_fault(Fault::cannot_open, kUnprintedFile, "cannot be created");
        const std::string entry = std::to_string(line.seq) + ": " + escape_field(why) + "\n";
        note->write_at(note->size(), entry.data(), entry.size());
        note->close();
    }
}

std::vector<std::string> take_unprinted_receipts() {
    std::vector<std::string> notes;
    std::string bytes, why;
    if (!entry_exists(kUnprintedFile) || !read_log_file(kUnprintedFile, &bytes, &why))
        return notes;
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t end = bytes.find('\n', at);
        if (end == std::string::npos)
            end = bytes.size();
        if (end > at)
            notes.push_back(bytes.substr(at, end - at));
        at = end + 1;
    }
    remove_entry(kUnprintedFile);
    sync_folder("");
    return notes;
}
