// The console seam: terminal modes, colours, clearing the screen, raw input
// with timeouts, and putting the terminal back as it was on every way out.
// The POSIX version is terminal_posix.cpp; screens never touch the terminal
// themselves, so a Windows console version can sit behind the same calls.
#pragma once

namespace console {

enum class Attribute {
    highlight, // the chosen box of a menu or dialog
    normal,    // everything printed after a highlight
};

// Remembers the terminal's state, installs the signal handlers and the exit
// path that restore it, and buffers standard output. Call once, first.
void start();

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

// Milliseconds to wait after ESC for the rest of a key's sequence: ESCDELAY
// from the environment when set (1 to 1000), else 50.
int esc_delay_ms();

// Whether a signal that ends the program (hangup, interrupt, quit, terminate)
// has arrived and waits; such signals are taken only while waiting for input
// otherwise.
bool ending_signal_waiting();

// Puts the terminal back as it was at start and resets the colours.
void restore();

} // namespace console
