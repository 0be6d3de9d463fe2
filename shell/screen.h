// The screen kit: printing plain and highlighted text, clearing the screen,
// single keys and typed input, the message screen and the yes/no dialog that
// every screen of the program is made of. It keeps no state between calls
// beyond the console's input buffers.
#pragma once

#include "shell/input.h"
#include "store/records.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Banners that head the screens.
inline constexpr std::string_view kInfoBanner =
    "\n         ******************Information Message****************** \n";
inline constexpr std::string_view kDialogBanner =
    "\n               ******************Information Message****************** \n";
inline constexpr std::string_view kClientLoginBanner =
    "\n         ******************Client Login****************** \n";
inline constexpr std::string_view kInsertClientBanner =
    "\n         ******************Insert New Client****************** \n";
inline constexpr std::string_view kRemoveLoginBanner =
    "\n         ******************Remove Login****************** \n";
inline constexpr std::string_view kOnlineSearchBanner =
    "\n         ******************Online Search In Catalog****************** \n";
inline constexpr std::string_view kOfflineSearchBanner =
    "\n         ******************Offline Search In Catalog****************** \n";
inline constexpr std::string_view kInsertMovieBanner =
    "\n         ******************Insert New Movie****************** \n";
inline constexpr std::string_view kRemoveMovieBanner =
    "\n         ******************Remove Existing Movie****************** \n";
inline constexpr std::string_view kCallNoticeBanner =
    "\n         ******************Client Saved Movie Call Notice****************** \n";

inline constexpr std::string_view kPressAnyKey = "\n\n Press any key to continue";

// Answers of yes_no_dialog.
inline constexpr int kYes = 1;
inline constexpr int kNo = 0;
inline constexpr int kCancel = -1;

// Writes text as it stands.
void print_plain(std::string_view text);
// Writes text in the highlight colour, then switches to the normal colour.
void print_highlight(std::string_view text);
// printf-style output to the screen.
void print_fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Ends the clerk's action (end_action), then clears the screen.
void clear_screen();
// Clears the screen and prints the "Information Message" banner.
void info_screen();

// Waits for one key, unechoed: 13 Enter, 27 Esc, 224 then 72/80/77/75 for
// the arrows (see shell/input.h).
int read_key();
// Drops the unread rest of the current typed line (type-ahead stays).
void discard_input();
// Prints "\n\n Press any key to continue" and waits for one key.
void press_any_key();
// The message screen: cleared screen, banner, text, any key.
void info_message(std::string_view text);
// The boxed choice between yes and no under question: Up and Down move, Enter
// chooses, Esc cancels; other keys do nothing. Starts on yes and clears the
// screen before it returns kYes, kNo or kCancel.
int yes_no_dialog(std::string_view question);

// One box of a menu or dialog: the top line and the label, each after an
// indent of 30 blanks; in the highlight colour when chosen.
void print_box(std::string_view top, std::string_view label, bool chosen);

// Lets the clerk choose one of count boxes, numbered from 1 top to bottom:
// draw(chosen) draws the screen with box chosen highlighted; Up and Down move
// without wrapping and redraw only when the choice changed; Enter answers the
// box, Esc -1. Other keys do nothing. Clears the screen before answering.
int choose_box(int count, const std::function<void(int)>& draw);

// "%d" read: false (value unchanged) when no number stands there, or when
// the line typed for it is empty.
bool read_int(int32_t& value);
// Reads a number; while the line is empty, or what was typed is no number,
// or accept refuses it, drops the rest of the line, prints prompt again and
// reads again. The rest of the line after the number taken is dropped too.
int32_t read_int_until(std::string_view prompt, bool (*accept)(int32_t));
// "%s" read: one word; "" when the line typed for it is empty.
std::string read_word();
// One word; while the line typed holds none, prints prompt again and reads
// again. The rest of the line after the word is dropped.
std::string read_word_until(std::string_view prompt);

// One typed line without its newline.
std::string read_line();
// One typed line that holds more than blanks; an empty or blank line brings
// prompt again.
std::string read_line_until(std::string_view prompt);

// Prints prompt and reads a number as read_int_until does.
int32_t ask_number(std::string_view prompt, bool (*accept)(int32_t));
// Prints prompt and stores one word in field as read_word_until reads it,
// cut to the field (see set_text).
template <std::size_t N>
void ask_word(std::string_view prompt, std::array<char, N>& field) {
    print_plain(prompt);
    set_text(field, read_word_until(prompt));
}
// Prints prompt and stores one typed line that holds more than blanks in
// field, cut to the field; the rest of an earlier line never answers it.
template <std::size_t N>
void ask_line(std::string_view prompt, std::array<char, N>& field) {
    print_plain(prompt);
    discard_input();
    set_text(field, read_line_until(prompt));
}
// Acceptors for read_int_until.
bool any_number(int32_t value);
bool positive_number(int32_t value);
bool not_negative(int32_t value);

// The console input the kit reads from (tests may replace it).
ConsoleInput& console_input();
void set_console_input(ConsoleInput* input);

// The program's one way out: flushes the screen, syncs and closes every open
// data file, puts the terminal back as it was, then ends the process with
// status, or hands status to the handler installed (which must not return).
[[noreturn]] void end_program(int status);
using ExitHandler = void (*)(int status);
void set_exit_handler(ExitHandler handler);
