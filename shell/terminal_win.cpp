// The Windows console: key events read with ReadConsoleInputW, the screen
// written as UTF-8 text through WriteConsoleW (WriteFile where output is no
// console), the colours as the console attributes 12 and 15, the screen
// cleared through the console API, and Ctrl-C or a closed window answered
// at the program's next wait, so that they never cut an action short.
#include "shell/terminal.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <string>

namespace {

constexpr WORD kHighlight = FOREGROUND_RED | FOREGROUND_INTENSITY; // 12
constexpr WORD kNormal =
    FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE | FOREGROUND_INTENSITY; // 15

HANDLE in = INVALID_HANDLE_VALUE;
HANDLE out = INVALID_HANDLE_VALUE;
bool in_console = false;
bool out_console = false;
bool started = false;
bool no_color = false;
DWORD saved_in_mode = 0;
UINT saved_in_page = 0, saved_out_page = 0;
WORD saved_attributes = kNormal;
std::string held;       // written, not yet on the screen
bool line_start = true; // the last byte written ended a line, or the screen was cleared
bool colour_set = false;

// Set by the console's control handler, which runs on a thread of its own;
// the main thread ends the program at its next wait for input.
std::atomic<bool> stop_asked{false};
HANDLE stop_event = nullptr;

// Wine's console makes key events of a Unix terminal's escape sequences and
// leaves the gray cursor keys without the enhanced flag; a terminal has no
// keypad cursor keys of its own, so there every cursor key is a gray one.
bool keys_from_terminal = false;

KEY_EVENT_RECORD repeated{}; // a key event that stands for repeated presses
int repeats_left = 0;

void find_handles() {
    if (out != INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    out = GetStdHandle(STD_OUTPUT_HANDLE);
    in = GetStdHandle(STD_INPUT_HANDLE);
    out_console = GetConsoleMode(out, &mode);
    in_console = GetConsoleMode(in, &mode);
}

std::wstring wide(const std::string& text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), n);
    return result;
}

// Writes bytes to the console as UTF-16 text, in pieces the console takes
// whole, or to a file or pipe as they stand.
void write_out(const std::string& bytes) {
    DWORD done = 0;
    if (!out_console) {
        for (std::size_t at = 0; at < bytes.size(); at += done)
            if (!WriteFile(out, bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &done,
                           nullptr) ||
                done == 0)
                return;
        return;
    }
    const std::wstring text = wide(bytes);
    for (std::size_t at = 0; at < text.size(); at += done) {
        std::size_t piece = text.size() - at < 8192 ? text.size() - at : 8192;
        if (piece < text.size() - at && text[at + piece - 1] >= 0xD800 &&
            text[at + piece - 1] < 0xDC00)
            --piece; // never split a pair of UTF-16 halves
        if (!WriteConsoleW(out, text.data() + at, static_cast<DWORD>(piece), &done, nullptr) ||
            done == 0)
            return;
    }
}

BOOL WINAPI on_console_event(DWORD type) {
    stop_asked = true;
    if (stop_event)
        SetEvent(stop_event);
    // A read of the console waiting for a key returns with this event,
    // which stands for no key.
    INPUT_RECORD wake{};
    wake.EventType = FOCUS_EVENT;
    DWORD written = 0;
    if (in_console)
        WriteConsoleInputW(in, &wake, 1, &written);
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT)
        return TRUE;
    // The window closes (or the session ends) once this handler returns:
    // it waits, within the seconds Windows allows, for the main thread to
    // end the program, which ends this thread too.
    Sleep(INFINITE);
    return TRUE;
}

bool is_cursor_key(WORD key) {
    return (key >= VK_PRIOR && key <= VK_DOWN) || key == VK_INSERT || key == VK_DELETE;
}

} // namespace

namespace console {

void start() {
    find_handles();
    const char* nc = std::getenv("NO_COLOR");
    no_color = nc && *nc;
    stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (out_console) {
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (GetConsoleScreenBufferInfo(out, &info))
            saved_attributes = info.wAttributes;
        saved_out_page = GetConsoleOutputCP();
        SetConsoleOutputCP(CP_UTF8);
    }
    if (in_console) {
        // Keys one by one, unechoed; Ctrl-C goes to the control handler.
        GetConsoleMode(in, &saved_in_mode);
        saved_in_page = GetConsoleCP();
        SetConsoleCP(CP_UTF8);
        SetConsoleMode(in, ENABLE_PROCESSED_INPUT);
    }
    SetConsoleCtrlHandler(on_console_event, TRUE);
    keys_from_terminal =
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    started = true;
    std::atexit([] { restore(); });
}

void write(std::string_view text) {
    held.append(text);
    if (!text.empty())
        line_start = text.back() == '\n';
    if (held.size() >= (1 << 16))
        flush();
}

void flush() {
    if (held.empty())
        return;
    find_handles();
    write_out(held);
    held.clear();
}

void set_attribute(Attribute attribute) {
    find_handles();
    const bool highlight = attribute == Attribute::highlight;
    colour_set = true;
    if (!out_console) {
        held.append(no_color ? (highlight ? "\x1b[7m" : "\x1b[0m")
                             : (highlight ? "\x1b[91m" : "\x1b[97m"));
        return;
    }
    flush();
    if (no_color)
        SetConsoleTextAttribute(out, highlight ? saved_attributes | COMMON_LVB_REVERSE_VIDEO
                                               : saved_attributes);
    else
        SetConsoleTextAttribute(out, highlight ? kHighlight : kNormal);
}

void clear() {
    find_handles();
    line_start = true;
    if (!out_console) {
        held.append("\x1b[H\x1b[2J");
        return;
    }
    // As "cls" does: every cell of the buffer, the lines scrolled back
    // included, blank in the current colours, and the cursor home.
    flush();
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(out, &info))
        return;
    const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
    const COORD home{0, 0};
    DWORD done = 0;
    FillConsoleOutputCharacterW(out, L' ', cells, home, &done);
    FillConsoleOutputAttribute(out, info.wAttributes, cells, home, &done);
    SetConsoleCursorPosition(out, home);
}

int read_bytes(char* buf, int cap, int timeout_ms, bool) {
    flush();
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
    const bool pipe = GetFileType(in) == FILE_TYPE_PIPE;
    while (!stop_asked) {
        DWORD ready = static_cast<DWORD>(cap), got = 0;
        if (pipe) { // a pipe is polled, so that a wait can time out and Ctrl-C end it
            DWORD waiting = 0;
            if (!PeekNamedPipe(in, nullptr, 0, nullptr, &waiting, nullptr))
                return -1; // the writer has gone: the end of input
            if (waiting == 0) {
                if (timeout_ms >= 0 && GetTickCount64() >= deadline)
                    return 0;
                if (stop_event)
                    WaitForSingleObject(stop_event, 5);
                else
                    Sleep(5);
                continue;
            }
            ready = waiting < ready ? waiting : ready;
        }
        if (!ReadFile(in, buf, ready, &got, nullptr) || got == 0)
            return -1;
        return static_cast<int>(got);
    }
    return -1;
}

bool input_is_terminal() {
    find_handles();
    return in_console;
}

bool input_reports_keys() {
    find_handles();
    return in_console;
}

int read_key_event(KeyEvent& event) {
    flush();
    while (repeats_left == 0) {
        if (stop_asked)
            return -1;
        INPUT_RECORD record;
        DWORD got = 0;
        if (!ReadConsoleInputW(in, &record, 1, &got) || stop_asked)
            return -1;
        if (got == 1 && record.EventType == KEY_EVENT) {
            repeated = record.Event.KeyEvent;
            repeats_left = repeated.wRepeatCount > 0 ? repeated.wRepeatCount : 1;
        }
    }
    --repeats_left;
    event.down = repeated.bKeyDown;
    event.key = repeated.wVirtualKeyCode;
    event.scan = repeated.wVirtualScanCode;
    event.unit = repeated.uChar.UnicodeChar;
    event.state = repeated.dwControlKeyState;
    if (keys_from_terminal && is_cursor_key(event.key))
        event.state |= kEnhancedKey;
    return 1;
}

bool ending_signal_waiting() {
    return stop_asked;
}

void restore() {
    static bool done = false;
    if (done)
        return;
    done = true;
    find_handles();
    if (out_console && !line_start) // the shell's prompt starts on a line of its own
        write("\n");
    if (!out_console && colour_set)
        held.append("\x1b[0m");
    flush();
    if (!started)
        return;
    if (out_console) {
        SetConsoleTextAttribute(out, saved_attributes);
        SetConsoleOutputCP(saved_out_page);
    }
    if (in_console) {
        SetConsoleMode(in, saved_in_mode);
        SetConsoleCP(saved_in_page);
    }
}

} // namespace console
