// Key decoding and formatted reads over a source of raw bytes.
#include "shell/input.h"

#include <cstdlib>
#include <string_view>

namespace {

ActionBoundary action_boundary = nullptr;

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool is_control(unsigned char c) {
    return c < 0x20 || c == 0x7f;
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

// Length of the well-formed UTF-8 character that starts at text[i] (2 to 4
// bytes), or 0 when the bytes there form none: a stray continuation byte, a
// character cut short (as Backspace can leave it), an overlong form, a
// surrogate or a code beyond U+10FFFF.
std::size_t utf8_length(std::string_view text, std::size_t i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    std::size_t tail = utf8_tail(lead);
    if (tail == 0 || lead < 0xC2 || lead > 0xF4 || i + tail >= text.size())
        return 0;
    unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (std::size_t k = 2; k <= tail; ++k)
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
    return tail + 1;
}

// Typed text as it may be stored and shown: control characters (C0, DEL and
// the C1 range U+0080 to U+009F) and bytes that are no UTF-8 character are
// dropped; every other character is kept whole.
std::string clean_text(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (!is_control(c))
                out += static_cast<char>(c);
            ++i;
            continue;
        }
        std::size_t len = utf8_length(text, i);
        if (len == 0) {
            ++i;
            continue;
        }
        bool c1_control = c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (!c1_control)
            out.append(text.substr(i, len));
        i += len;
    }
    return out;
}

bool is_csi_parameter(int c) {
    return c >= 0x20 && c <= 0x3f; // parameter and intermediate bytes
}

bool is_sequence_final(int c) {
    return c >= 0x40 && c <= 0x7e;
}

// A typed line without the keys that are no text: the escape sequences of
// arrows, function and editing keys (ESC [ ... final, ESC O x, and the
// Linux console's ESC [ [ x) are removed whole, and an ESC before anything
// else (the Esc key, or Alt with a letter) is removed alone.
std::string without_key_sequences(std::string_view line) {
    std::string out;
    std::size_t i = 0;
    auto at = [&](std::size_t k) {
        return k < line.size() ? static_cast<unsigned char>(line[k]) : -1;
    };
    while (i < line.size()) {
        if (line[i] != '\x1b') {
            out += line[i++];
            continue;
        }
        ++i;
        if (at(i) == 'O' && is_sequence_final(at(i + 1))) {
            i += 2;
        } else if (at(i) == '[') {
            ++i;
            if (at(i) == '[' && is_sequence_final(at(i + 1)))
                ++i; // ESC [ [ x: the final byte is the x
            while (is_csi_parameter(at(i)))
                ++i;
            if (is_sequence_final(at(i)))
                ++i; // a sequence cut short ends where its bytes stop
        }
    }
    return out;
}

// Virtual-key codes of the console's key events.
constexpr uint16_t kVkReturn = 0x0D, kVkMenu = 0x12, kVkEscape = 0x1B;

// A key that types nothing but gives two codes: its virtual-key code, then
// its second code alone and with Shift, Ctrl and Alt (0: no code). Cursor
// keys lead with 224 when gray (enhanced) and with 0 on the keypad, where
// only the plain and Ctrl forms give codes; Alt with a gray key leads with 0.
struct SpecialKey {
    uint16_t key;
    uint8_t lead, code, shift, ctrl, alt;
    bool cursor;
};

constexpr SpecialKey kSpecialKeys[] = {
    {0x24, 0, 71, 71, 119, 151, true},      {0x26, 0, 72, 72, 141, 152, true}, // Home, Up
    {0x21, 0, 73, 73, 132, 153, true},      {0x25, 0, 75, 75, 115, 155, true}, // PgUp, Left
    {0x27, 0, 77, 77, 116, 157, true},      {0x23, 0, 79, 79, 117, 159, true}, // Right, End
    {0x28, 0, 80, 80, 145, 160, true},      {0x22, 0, 81, 81, 118, 161, true}, // Down, PgDn
    {0x2D, 0, 82, 82, 146, 162, true},      {0x2E, 0, 83, 83, 147, 163, true}, // Ins, Del
    {0x70, 0, 59, 84, 94, 104, false},      {0x71, 0, 60, 85, 95, 105, false}, // F1, F2
    {0x72, 0, 61, 86, 96, 106, false},      {0x73, 0, 62, 87, 97, 107, false},
    {0x74, 0, 63, 88, 98, 108, false},      {0x75, 0, 64, 89, 99, 109, false},
    {0x76, 0, 65, 90, 100, 110, false},     {0x77, 0, 66, 91, 101, 111, false},
    {0x78, 0, 67, 92, 102, 112, false},     {0x79, 0, 68, 93, 103, 113, false},     // F9, F10
    {0x7A, 224, 133, 135, 137, 139, false}, {0x7B, 224, 134, 136, 138, 140, false}, // F11, F12
};

// The UTF-16 unit an event types: a key pressed with one, or the Alt release
// that ends a character entered as its number on the keypad; 0 for none.
uint16_t typed_unit(const console::KeyEvent& e) {
    return e.down || e.key == kVkMenu ? e.unit : 0;
}

bool is_high_half(char32_t unit) {
    return unit >= 0xD800 && unit < 0xDC00;
}

bool is_low_half(char32_t unit) {
    return unit >= 0xDC00 && unit < 0xE000;
}

std::string utf8(char32_t c) {
    std::string out;
    if (c < 0x80)
        return out += static_cast<char>(c), out;
    static constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
    int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    out += static_cast<char>(kLead[tail] | (c >> (6 * tail)));
    for (int k = tail - 1; k >= 0; --k)
        out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
    return out;
}

} // namespace

int key_codes(const console::KeyEvent& event, int codes[2]) {
    uint16_t unit = typed_unit(event);
    if (unit == 0 && event.down && (event.key == kVkEscape || event.key == kVkReturn))
        unit = event.key == kVkEscape ? kKeyEsc : kKeyEnter; // consoles that leave them blank
    if (unit != 0) {
        if (is_high_half(unit))
            return 0; // the second half is the key
        codes[0] = unit < 0x80 ? unit : kKeyOther;
        return 1;
    }
    if (!event.down)
        return 0;
    const bool alt = event.state & (console::kLeftAlt | console::kRightAlt);
    const bool ctrl = event.state & (console::kLeftCtrl | console::kRightCtrl);
    const bool shift = event.state & console::kShift;
    const bool gray = event.state & console::kEnhancedKey;
    for (const SpecialKey& k : kSpecialKeys) {
        if (k.key != event.key)
            continue;
        int second = alt ? k.alt : ctrl ? k.ctrl : shift ? k.shift : k.code;
        if (k.cursor && !gray && (alt || shift))
            second = 0;
        if (second == 0)
            return 0;
        codes[0] = k.cursor ? (gray && !alt ? kKeyExtended : 0) : k.lead;
        codes[1] = second;
        return 2;
    }
    return 0;
}

void set_action_boundary(ActionBoundary boundary) {
    action_boundary = boundary;
}

void end_action() {
    if (action_boundary)
        action_boundary();
}

int esc_delay_ms() {
    const char* text = std::getenv("ESCDELAY");
    if (text && *text) {
        int v = std::atoi(text);
        if (v >= 1 && v <= 1000)
            return v;
    }
    return 50;
}

ConsoleInput::ConsoleInput(ByteReader reader, std::function<void()> on_end, int esc_delay_ms,
                           bool echo_typeahead)
    : reader_(std::move(reader)), on_end_(std::move(on_end)), esc_delay_ms_(esc_delay_ms),
      echo_typeahead_(echo_typeahead) {}

ConsoleInput::ConsoleInput(KeyEventReader events, Echo echo, std::function<void()> on_end)
    : on_end_(std::move(on_end)), esc_delay_ms_(0), echo_typeahead_(false),
      events_(std::move(events)), echo_(std::move(echo)) {}

// The next key event; the clerk's action ends before the wait for it. Ends
// the program (through on_end) when input has ended.
console::KeyEvent ConsoleInput::next_event() {
    end_action();
    console::KeyEvent event;
    if (events_(event) < 0)
        on_end_();
    return event;
}

// Reads one typed line (with its newline) into the line buffer, key by key.
void ConsoleInput::edit_line() {
    std::string typed;
    while (true) {
        const console::KeyEvent event = next_event();
        char32_t c = typed_unit(event);
        if (is_high_half(c)) {
            high_half_ = static_cast<char16_t>(c);
            continue;
        }
        if (is_low_half(c))
            c = high_half_ ? 0x10000 + ((high_half_ - 0xD800) << 10) + (c - 0xDC00) : 0;
        high_half_ = 0;
        if (c == '\r' || c == '\n' || (c == 0 && event.down && event.key == kVkReturn))
            break;
        if (c == '\b') {
            std::size_t at = typed.size();
            while (at > 0 && (static_cast<unsigned char>(typed[at - 1]) & 0xC0) == 0x80)
                --at;
            if (at > 0)
                echo_(typed[at - 1] == '\x1a' ? "\b\b  \b\b" : "\b \b");
            typed.erase(at > 0 ? at - 1 : 0);
        } else if (c == 0x1A && typed.empty()) { // Ctrl-Z
            typed += '\x1a';
            echo_("^Z");
        } else if (c >= 0x20 && c != 0x7f && (c < 0x80 || c >= 0xA0)) {
            typed += utf8(c);
            echo_(utf8(c));
        } // other keys and control characters pressed while typing are dropped
    }
    echo_("\n");
    if (!typed.empty() && typed[0] == '\x1a')
        on_end_(); // Ctrl-Z then Enter: the end of input
    line_ += typed + '\n';
}

// The next raw byte, or -1 when none came within timeout_ms. Ends the
// program (through on_end) when input has ended.
int ConsoleInput::next_byte(int timeout_ms, bool line_mode) {
    if (raw_.empty()) {
        end_action(); // the clerk's action ends where the program waits for him
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
    if (events_) {
        int codes[2], n;
        while ((n = key_codes(next_event(), codes)) == 0) {
        }
        second_code_ = n == 2 ? codes[1] : -1;
        return codes[0];
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
    if (c == '[' && final == '[' && params.empty()) {
        next_byte(esc_delay_ms_, false); // Linux console F1 to F5: ESC [ [ A to E
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

// Reads one more typed line (with its newline) into the line buffer, without
// the escape sequences of keys pressed while typing it. Bytes typed ahead
// while keys were being read were not echoed by the terminal; they are shown
// now, as the line they belong to is taken.
void ConsoleInput::fill_line() {
    if (events_)
        return edit_line();
    const std::size_t typed_ahead = raw_.size();
    std::string typed;
    while (true) {
        int b = next_byte(-1, true);
        if (b < 0)
            continue;
        // Enter pressed while keys were read came as a carriage return, which
        // the terminal turns into a newline for a typed line.
        if (b == '\r' && typed.size() < typed_ahead)
            b = '\n';
        typed += static_cast<char>(b);
        if (b == '\n')
            break;
    }
    line_ += without_key_sequences(typed);
    if (echo_typeahead_ && typed_ahead > 0) {
        std::string echo = typed.substr(0, typed_ahead);
        std::string shown = clean_text(without_key_sequences(echo));
        if (echo.back() == '\n')
            shown += '\n';
        console::write(shown);
        console::flush();
    }
}

// Drops blanks and newlines ahead of the next answer, reading one more line
// when the current one is used up. Answers false when that line held nothing
// but blanks: an empty answer, which the caller refuses rather than waiting on.
bool ConsoleInput::skip_blanks() {
    bool read_one = false;
    while (true) {
        std::size_t i = 0;
        while (i < line_.size() && is_blank(line_[i]))
            ++i;
        line_.erase(0, i);
        if (!line_.empty())
            return true;
        if (read_one)
            return false;
        fill_line();
        read_one = true;
    }
}

bool ConsoleInput::read_int(int32_t& value) {
    if (!skip_blanks())
        return false;
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
    if (!skip_blanks())
        return "";
    std::size_t i = 0;
    while (i < line_.size() && !is_blank(line_[i]))
        ++i;
    std::string word = line_.substr(0, i);
    line_.erase(0, i);
    return clean_text(word);
}

std::string ConsoleInput::read_line() {
    if (line_.empty())
        fill_line();
    std::size_t end = line_.find('\n');
    std::string text = line_.substr(0, end);
    line_.erase(0, end == std::string::npos ? line_.size() : end + 1);
    return clean_text(text);
}
