// The console seam: terminal modes, colours, clearing the screen, raw input
// with timeouts, and putting the terminal back as it was on every way out.
// The POSIX version is terminal_posix.cpp, the Windows console's
// terminal_win.cpp; screens never touch the terminal themselves.
#pragma once

#include <cstdint>
#include <string_view>

namespace console {

enum class Attribute {
    highlight, // the chosen box of a menu or dialog
    normal,    // everything printed after a highlight
};

// Remembers the terminal's state, installs the signal handlers and the exit
// path that restore it, and buffers standard output. Call once, first.
void start();

// Writes text (UTF-8) to the screen as it stands. It is held until the next
// wait for input, change of colour, clear or flush.
void write(std::string_view text);
// Sends what write holds to the screen.
void flush();

// Sets the attribute of what is printed next.
void set_attribute(Attribute attribute);

// Clears the screen and puts the cursor top left.
void clear();

// Fills buf with up to cap bytes that arrive within timeout_ms (-1: no
// limit), with the terminal in line mode (echo and line editing) or key mode
// (no echo, byte by byte). Flushes standard output first. Answers the count,
// 0 on timeout, -1 at end of input or when a signal asks the program to end.
int read_bytes(char* buf, int cap, int timeout_ms, bool line_mode);

// Whether standard input is a terminal (and so echoes typed lines itself).
bool input_is_terminal();

// A key pressed or released, as a console that reports keys delivers it (the
// Windows console): its virtual-key code and scan code, the UTF-16 unit it
// types (0 for none), and the state of the modifier keys, with the console's
// own bit values.
struct KeyEvent {
    bool down = true;
    uint16_t key = 0;
    uint16_t scan = 0;
    uint16_t unit = 0;
    uint32_t state = 0;
};
inline constexpr uint32_t kRightAlt = 0x1, kLeftAlt = 0x2, kRightCtrl = 0x4, kLeftCtrl = 0x8,
                          kShift = 0x10, kEnhancedKey = 0x100;

// Whether standard input is a console that reports key events, read with
// read_key_event; other input (a terminal, a pipe, a file) is read as bytes.
bool input_reports_keys();
// Waits for the next key event, after flushing the screen: 1, or -1 when the
// program is asked to end (Ctrl-C, the window closed).
int read_key_event(KeyEvent& event);

// Whether a signal that ends the program (hangup, interrupt, quit, terminate)
// has arrived and waits; such signals are taken only while waiting for input
// otherwise.
bool ending_signal_waiting();

// Puts the terminal back as it was at start and resets the colours.
void restore();

} // namespace console
