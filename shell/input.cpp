// Key decoding and formatted reads over a source of raw bytes.
#include "shell/input.h"

#include <cstdio>

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool is_control(unsigned char c) {
    return c < 0x20 || c == 0x7f;
}

std::string without_controls(const std::string& text) {
    std::string out;
    for (char c : text)
        if (!is_control(static_cast<unsigned char>(c)))
            out += c;
    return out;
}

// Number of continuation bytes that follow a UTF-8 lead byte.
int utf8_tail(unsigned char lead) {
    if ((lead & 0xE0) == 0xC0)
        return 1;
    if ((lead & 0xF0) == 0xE0)
        return 2;
    if ((lead & 0xF8) == 0xF0)
        return 3;
    return 0;
}

} // namespace

ConsoleInput::ConsoleInput(ByteReader reader, std::function<void()> on_end, int esc_delay_ms,
                           bool echo_typeahead)
    : reader_(std::move(reader)), on_end_(std::move(on_end)), esc_delay_ms_(esc_delay_ms),
      echo_typeahead_(echo_typeahead) {}

// The next raw byte, or -1 when none came within timeout_ms. Ends the
// program (through on_end) when input has ended.
int ConsoleInput::next_byte(int timeout_ms, bool line_mode) {
    if (raw_.empty()) {
        char buf[256];
        int got = reader_(buf, sizeof buf, timeout_ms, line_mode);
        if (got < 0)
            on_end_();
        for (int i = 0; i < got; ++i)
            raw_.push_back(buf[i]);
        if (raw_.empty())
            return -1;
    }
    unsigned char b = static_cast<unsigned char>(raw_.front());
    raw_.pop_front();
    return b;
}

void ConsoleInput::push_front(int byte) {
    raw_.push_front(static_cast<char>(byte));
}

int ConsoleInput::read_key() {
    if (second_code_ >= 0) {
        int code = second_code_;
        second_code_ = -1;
        return code;
    }
    int b = next_byte(-1, false);
    if (b == '\r' || b == '\n')
        return kKeyEnter;
    if (b == 0x1b)
        return decode_escape();
    if (b >= 0x80) {
        // One typed character of several bytes is one key, never an arrow.
        for (int i = utf8_tail(static_cast<unsigned char>(b)); i > 0; --i) {
            int c = next_byte(esc_delay_ms_, false);
            if (c < 0)
                break;
            if ((c & 0xC0) != 0x80) {
                push_front(c);
                break;
            }
        }
        return kKeyOther;
    }
    return b;
}

// After an ESC byte: an arrow key becomes 224 and its code, a lone ESC is
// Esc, any other sequence is swallowed whole and reads as kKeyOther.
int ConsoleInput::decode_escape() {
    int c = next_byte(esc_delay_ms_, false);
    if (c < 0)
        return kKeyEsc;
    if (c != '[' && c != 'O') {
        push_front(c); // Esc, then whatever key came right after it
        return kKeyEsc;
    }
    std::string params;
    int final = -1;
    while (true) {
        int d = next_byte(esc_delay_ms_, false);
        if (d < 0)
            return kKeyOther; // a cut-off sequence: drop what came of it
        if (d >= 0x40 && d <= 0x7e) {
            final = d;
            break;
        }
        if (c == 'O' || d < 0x20 || d > 0x3f) {
            push_front(d); // not part of a sequence after all
            return kKeyOther;
        }
        params += static_cast<char>(d);
    }
    if (c == '[' && final == 'M' && params.empty()) {
        for (int i = 0; i < 3; ++i) // old-style mouse report: three more bytes
            next_byte(esc_delay_ms_, false);
        return kKeyOther;
    }
    if (!params.empty())
        return kKeyOther;
    int code = final == 'A'   ? kKeyUp
               : final == 'B' ? kKeyDown
               : final == 'C' ? kKeyRight
               : final == 'D' ? kKeyLeft
                              : -1;
    if (code < 0)
        return kKeyOther;
    second_code_ = code;
    return kKeyExtended;
}

// Reads one more typed line (with its newline) into the line buffer. Bytes
// typed ahead while keys were being read were not echoed by the terminal;
// they are shown now, as the line they belong to is taken.
void ConsoleInput::fill_line() {
    std::size_t typed_ahead = raw_.size();
    std::string echo;
    while (true) {
        int b = next_byte(-1, true);
        if (b < 0)
            continue;
        if (echo.size() < typed_ahead)
            echo += static_cast<char>(b);
        line_ += static_cast<char>(b);
        if (b == '\n')
            break;
    }
    if (echo_typeahead_ && !echo.empty()) {
        std::string shown = without_controls(echo);
        if (echo.back() == '\n')
            shown += '\n';
        std::fputs(shown.c_str(), stdout);
        std::fflush(stdout);
    }
}

void ConsoleInput::skip_blanks() {
    while (true) {
        std::size_t i = 0;
        while (i < line_.size() && is_blank(line_[i]))
            ++i;
        line_.erase(0, i);
        if (!line_.empty())
            return;
        fill_line();
    }
}

bool ConsoleInput::read_int(int32_t& value) {
    skip_blanks();
    std::size_t i = 0;
    bool negative = false;
    if (line_[i] == '+' || line_[i] == '-') {
        negative = line_[i] == '-';
        ++i;
    }
    std::size_t digits_start = i;
    int64_t v = 0;
    bool too_large = false;
    while (i < line_.size() && line_[i] >= '0' && line_[i] <= '9') {
        v = v * 10 + (line_[i] - '0');
        if (v > 2147483648LL)
            too_large = true, v = 2147483648LL;
        ++i;
    }
    if (i == digits_start)
        return false; // not a number: leave it for discard_line
    line_.erase(0, i);
    if (negative)
        v = -v;
    if (too_large || v > INT32_MAX || v < INT32_MIN)
        return false;
    value = static_cast<int32_t>(v);
    return true;
}

std::string ConsoleInput::read_word() {
    skip_blanks();
    std::size_t i = 0;
    while (i < line_.size() && !is_blank(line_[i]))
        ++i;
    std::string word = line_.substr(0, i);
    line_.erase(0, i);
    return without_controls(word);
}

std::string ConsoleInput::read_line() {
    if (line_.empty())
        fill_line();
    std::size_t end = line_.find('\n');
    std::string text = line_.substr(0, end);
    line_.erase(0, end == std::string::npos ? line_.size() : end + 1);
    return without_controls(text);
}
