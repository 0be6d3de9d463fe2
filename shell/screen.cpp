// The screen kit over the console seam.
#include "shell/screen.h"

#include "shell/terminal.h"
#include "store/datafile.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

ConsoleInput* replaced_input = nullptr;
ExitHandler exit_handler = nullptr;

constexpr std::string_view kIndent = "                              "; // 30 blanks
constexpr std::string_view kBoxTop = " __________\n";
constexpr std::string_view kYesLabel = "|____yes___|\n\n";
constexpr std::string_view kNoLabel = "|____no____|\n\n";
constexpr std::string_view kQuestionLeadIn = "\n\n                 ";

void draw_dialog(std::string_view question, int choice) {
    clear_screen();
    print_plain(kDialogBanner);
    print_plain(kQuestionLeadIn);
    print_plain(question);
    print_plain("\n\n");
    print_box(kBoxTop, kYesLabel, choice == 1);
    print_box(kBoxTop, kNoLabel, choice == 2);
}

} // namespace

void print_plain(std::string_view text) {
    console::write(text);
}

void print_highlight(std::string_view text) {
    console::set_attribute(console::Attribute::highlight);
    print_plain(text);
    console::set_attribute(console::Attribute::normal);
}

void print_fmt(const char* format, ...) {
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    console::write(text);
}

void print_box(std::string_view top, std::string_view label, bool chosen) {
    print_plain(kIndent);
    chosen ? print_highlight(top) : print_plain(top);
    print_plain(kIndent);
    chosen ? print_highlight(label) : print_plain(label);
}

void clear_screen() {
    // A new screen starts after the clerk's action: its writes reach the
    // data files first, so a failure to write is shown in place of a screen
    // that would say all went well.
    end_action();
    console::clear();
}

void info_screen() {
    clear_screen();
    print_plain(kInfoBanner);
}

ConsoleInput& console_input() {
    if (replaced_input)
        return *replaced_input;
    static ConsoleInput input =
        console::input_reports_keys()
            ? ConsoleInput(console::read_key_event, console::write, [] { end_program(1); })
            : ConsoleInput(
                  console::read_bytes, [] { end_program(1); }, esc_delay_ms(),
                  console::input_is_terminal());
    return input;
}

void set_console_input(ConsoleInput* input) {
    replaced_input = input;
}

int read_key() {
    return console_input().read_key();
}

void discard_input() {
    console_input().discard_line();
}

void press_any_key() {
    print_plain(kPressAnyKey);
    read_key();
}

void info_message(std::string_view text) {
    info_screen();
    print_plain(text);
    press_any_key();
}

int choose_box(int count, const std::function<void(int)>& draw) {
    int chosen = 1;
    bool redraw = true;
    while (true) {
        if (redraw)
            draw(chosen);
        redraw = false;
        int key = read_key();
        if (key == kKeyExtended) {
            int code = read_key();
            if (code == kKeyUp && chosen > 1) {
                --chosen;
                redraw = true;
            } else if (code == kKeyDown && chosen < count) {
                ++chosen;
                redraw = true;
            }
        } else if (key == kKeyEnter) {
            clear_screen();
            return chosen;
        } else if (key == kKeyEsc) {
            clear_screen();
            return -1;
        }
    }
}

int yes_no_dialog(std::string_view question) {
    int chosen = choose_box(2, [question](int choice) { draw_dialog(question, choice); });
    return chosen == 1 ? kYes : chosen == 2 ? kNo : kCancel;
}

bool read_int(int32_t& value) {
    return console_input().read_int(value);
}

int32_t read_int_until(std::string_view prompt, bool (*accept)(int32_t)) {
    int32_t value = 0;
    while (!read_int(value) || !accept(value)) {
        discard_input();
        print_plain(prompt);
    }
    // One answer per line: what follows the number never answers a later prompt.
    discard_input();
    return value;
}

int32_t ask_number(std::string_view prompt, bool (*accept)(int32_t)) {
    print_plain(prompt);
    return read_int_until(prompt, accept);
}

std::string read_word() {
    return console_input().read_word();
}

std::string read_word_until(std::string_view prompt) {
    std::string word = read_word();
    while (word.empty()) {
        discard_input();
        print_plain(prompt);
        word = read_word();
    }
    discard_input();
    return word;
}

std::string read_line() {
    return console_input().read_line();
}

std::string read_line_until(std::string_view prompt) {
    std::string line = read_line();
    while (line.find_first_not_of(' ') == std::string::npos) {
        print_plain(prompt);
        line = read_line();
    }
    return line;
}

bool any_number(int32_t) {
    return true;
}
bool positive_number(int32_t value) {
    return value >= 1;
}
bool not_negative(int32_t value) {
    return value >= 0;
}

void set_exit_handler(ExitHandler handler) {
    exit_handler = handler;
}

void end_program(int status) {
    console::flush();
    DataFile::close_all();
    console::restore();
    if (exit_handler)
        exit_handler(status);
    std::exit(status);
}
