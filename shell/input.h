// Keyboard input as the screens read it: single keys (arrows decoded into the
// two-code form 224 then 72/80/77/75) and formatted reads of typed lines
// ("%d", "%s" and whole lines). Holds the two buffers of the console: raw
// bytes not yet taken, and the unread rest of the current typed line. Bytes
// come from a terminal, a pipe or a file; a console that reports key events
// (the Windows console) is read through its events, with a line editor of
// its own for typed lines.
#pragma once

#include "shell/terminal.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

inline constexpr int kKeyEnter = 13;
inline constexpr int kKeyEsc = 27;
inline constexpr int kKeyExtended = 224; // first code of an arrow key
inline constexpr int kKeyUp = 72;
inline constexpr int kKeyDown = 80;
inline constexpr int kKeyLeft = 75;
inline constexpr int kKeyRight = 77;
inline constexpr int kKeyOther = 256; // a key no screen acts on (F-keys, non-ASCII letters...)

// Fills buf with up to cap bytes that arrive within timeout_ms (-1: wait as
// long as it takes), reading in line mode (echoed, edited lines) or key mode
// (single unechoed bytes). Answers the count, 0 when nothing came in time,
// -1 at end of input.
using ByteReader = std::function<int(char* buf, int cap, int timeout_ms, bool line_mode)>;

// Fills event with the next key event of a console: 1, or -1 at the end of
// input. Echo shows what the line editor echoes.
using KeyEventReader = std::function<int(console::KeyEvent& event)>;
using Echo = std::function<void(std::string_view text)>;

// The codes a native unechoed key read of the Windows console gives for one
// key event, put in codes; answers their count. None for a release and for
// keys that type nothing (Shift, Ctrl...); one for a character: itself below
// 128 (Enter 13, Esc 27), kKeyOther beyond (a pair of UTF-16 halves is one
// key, taken with its second half); two for a function or cursor key: 224
// for a gray key (and F11, F12) or 0 (F1 to F10, the keypad with NumLock
// off, Alt with a gray key), then the key's code.
int key_codes(const console::KeyEvent& event, int codes[2]);

// Milliseconds to wait after ESC for the rest of a key's sequence: ESCDELAY
// from the environment when set (1 to 1000), else 50.
int esc_delay_ms();

// The end of a clerk's action, which the program installs (the counter: the
// writes its journal holds reach the data files). The kit calls it before
// every wait for input and every new screen; nothing is installed by default.
using ActionBoundary = void (*)();
void set_action_boundary(ActionBoundary boundary);
void end_action();

// Before it waits for input, a read ends the clerk's action (end_action).
class ConsoleInput {
  public:
    // on_end runs when input ends while a read needs more; it must not return.
    ConsoleInput(ByteReader reader, std::function<void()> on_end, int esc_delay_ms = 50,
                 bool echo_typeahead = false);
    // Over a console's key events: keys as key_codes gives them; typed lines
    // through a line editor that echoes characters, takes back a whole
    // character on Backspace, drops every other key and control character,
    // and ends at Enter; a line begun with Ctrl-Z is the end of input.
    ConsoleInput(KeyEventReader events, Echo echo, std::function<void()> on_end);

    // One key code: Enter (CR or LF) 13, Esc 27, an arrow as 224 and then its
    // code on the next call, printable ASCII as itself, anything else kKeyOther.
    // Never takes bytes from the rest of a typed line.
    int read_key();

    // Typed lines reach the reads below without the escape sequences of
    // arrow, function and editing keys pressed while typing them.

    // "%d": skips blanks and the end of the current line, then reads a
    // decimal integer and leaves the rest of the line. Answers false, value
    // unchanged, when no number (or one beyond 32 bits) stands there, what
    // is not a number staying unread, and also when the line typed for it
    // is empty or blank.
    bool read_int(int32_t& value);

    // "%s": skips blanks and the end of the current line, then takes one
    // word; "" when the line typed for it is empty or blank. Control
    // characters and bytes that are no UTF-8 character are dropped from it.
    std::string read_word();

    // The rest of the current line, or the next whole line when nothing is
    // left of it, without its newline; cleaned as a word is.
    std::string read_line();

    // Drops the unread rest of the current typed line, and nothing else.
    void discard_line() { line_.clear(); }

  private:
    int next_byte(int timeout_ms, bool line_mode);
    void push_front(int byte);
    void fill_line();
    int decode_escape();
    bool skip_blanks();
    console::KeyEvent next_event();
    void edit_line();

    ByteReader reader_;
    std::function<void()> on_end_;
    int esc_delay_ms_;
    bool echo_typeahead_;
    std::deque<char> raw_;  // bytes read but not taken
    std::string line_;      // unread rest of the current typed line, with its newline
    int second_code_ = -1;  // pending second code of an arrow key
    KeyEventReader events_; // set when the console reports key events
    Echo echo_;
    char16_t high_half_ = 0; // first half of a character typed as a UTF-16 pair
};
