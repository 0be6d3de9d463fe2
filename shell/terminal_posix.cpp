// POSIX terminals: termios modes, ANSI colours and clearing, ppoll with the
// ending signals unblocked only while waiting for input, so a signal never
// lands in the middle of a record write.
#include "shell/terminal.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool is_tty = false;
bool have_saved = false;
termios saved_state{}; // the terminal as it was at start
termios key_state{};   // no echo, byte by byte
termios line_state{};  // echo and line editing
int current_mode = -1; // -1 unknown, 0 key mode, 1 line mode
sigset_t wait_mask;    // the mask while waiting: ending signals let through
volatile sig_atomic_t stop_signal = 0;
bool no_color = false;
bool colour_set = false; // an attribute was written, which restore resets
bool line_start = true;  // the last byte written ended a line, or the screen was cleared

const int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void apply_mode(int mode) {
    if (!is_tty || mode == current_mode)
        return;
    tcsetattr(STDIN_FILENO, TCSANOW, mode == 1 ? &line_state : &key_state);
    current_mode = mode;
}

void on_ending_signal(int signo) {
    stop_signal = signo;
}

// Ctrl-Z: give the shell its terminal back while stopped, take it again on
// resume.
void on_suspend(int) {
    int saved_errno = errno;
    if (is_tty)
        tcsetattr(STDIN_FILENO, TCSANOW, &saved_state);
    static const char reset[] = "\x1b[0m";
    ssize_t ignored = write(STDOUT_FILENO, reset, sizeof reset - 1);
    (void)ignored;
    signal(SIGTSTP, SIG_DFL);
    sigset_t just_stop;
    sigemptyset(&just_stop);
    sigaddset(&just_stop, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &just_stop, nullptr);
    raise(SIGTSTP);
    sigprocmask(SIG_BLOCK, &just_stop, nullptr);
    struct sigaction sa {};
    sa.sa_handler = on_suspend;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTSTP, &sa, nullptr);
    if (is_tty && current_mode >= 0)
        tcsetattr(STDIN_FILENO, TCSANOW, current_mode == 1 ? &line_state : &key_state);
    errno = saved_errno;
}

void install_signals() {
    sigset_t block;
    sigemptyset(&block);
    for (int s : kEndingSignals)
        sigaddset(&block, s);
    sigaddset(&block, SIGTSTP);
    sigprocmask(SIG_BLOCK, &block, &wait_mask);
    for (int s : kEndingSignals)
        sigdelset(&wait_mask, s);
    sigdelset(&wait_mask, SIGTSTP);

    struct sigaction sa {};
    sigemptyset(&sa.sa_mask);
    sa.sa_handler = on_ending_signal; // no SA_RESTART: the wait returns at once
    for (int s : kEndingSignals)
        sigaction(s, &sa, nullptr);
    sa.sa_handler = on_suspend;
    sigaction(SIGTSTP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

void prepare_modes() {
    is_tty = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved_state) == 0;
    have_saved = is_tty;
    if (!is_tty)
        return;
    key_state = saved_state;
    key_state.c_lflag &= ~(ICANON | ECHO);
    key_state.c_lflag |= ISIG;
    key_state.c_iflag &= ~(ICRNL | INLCR | IGNCR | IXON);
    key_state.c_cc[VMIN] = 1;
    key_state.c_cc[VTIME] = 0;
    line_state = saved_state;
    line_state.c_lflag |= ICANON | ECHO | ECHOE | ECHOK | ISIG;
    line_state.c_iflag |= ICRNL;
    line_state.c_iflag &= ~(INLCR | IGNCR | IXON);
    // Keys pressed while typing echo as ^[[A rather than moving the cursor,
    // and Backspace takes back a whole UTF-8 character, as the screens read
    // typed text as UTF-8.
#ifdef ECHOCTL
    line_state.c_lflag |= ECHOCTL;
#endif
#ifdef IUTF8
    line_state.c_iflag |= IUTF8;
#endif
}

int64_t now_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

} // namespace

namespace console {

void start() {
    static char out_buffer[1 << 16];
    std::setvbuf(stdout, out_buffer, _IOFBF, sizeof out_buffer);
    const char* nc = std::getenv("NO_COLOR");
    no_color = nc && *nc;
    prepare_modes();
    install_signals();
    std::atexit([] { restore(); });
}

void write(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (!text.empty())
        line_start = text.back() == '\n';
}

void flush() {
    std::fflush(stdout);
}

void set_attribute(Attribute attribute) {
    colour_set = true;
    if (attribute == Attribute::highlight)
        std::fputs(no_color ? "\x1b[7m" : "\x1b[91m", stdout);
    else
        std::fputs(no_color ? "\x1b[0m" : "\x1b[97m", stdout);
}

void clear() {
    std::fputs("\x1b[H\x1b[2J", stdout);
    line_start = true;
}

int read_bytes(char* buf, int cap, int timeout_ms, bool line_mode) {
    std::fflush(stdout);
    apply_mode(line_mode ? 1 : 0);
    int64_t deadline = timeout_ms < 0 ? -1 : now_ms() + timeout_ms;
    while (true) {
        if (stop_signal)
            return -1;
        timespec wait{}, *wait_ptr = nullptr;
        if (deadline >= 0) {
            int64_t left = deadline - now_ms();
            if (left < 0)
                left = 0;
            wait.tv_sec = left / 1000;
            wait.tv_nsec = (left % 1000) * 1000000;
            wait_ptr = &wait;
        }
        pollfd pfd{STDIN_FILENO, POLLIN, 0};
        int ready = ppoll(&pfd, 1, wait_ptr, &wait_mask);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return -1;
        if (ready == 0)
            return 0;
        ssize_t got = read(STDIN_FILENO, buf, cap);
        if (got > 0)
            return static_cast<int>(got);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        return -1; // end of input, or the terminal went away
    }
}

bool input_is_terminal() {
    return is_tty;
}

bool input_reports_keys() {
    return false; // a terminal sends bytes
}

int read_key_event(KeyEvent&) {
    return -1;
}

bool ending_signal_waiting() {
    if (stop_signal)
        return true;
    sigset_t waiting;
    if (sigpending(&waiting) != 0)
        return false;
    for (int s : kEndingSignals)
        if (sigismember(&waiting, s))
            return true;
    return false;
}

void restore() {
    static bool done = false;
    if (done)
        return;
    done = true;
    if (colour_set)
        std::fputs("\x1b[0m", stdout);
    // The shell's prompt starts on a line of its own: after a line the
    // program left open, or after what the terminal echoed of an answer
    // being typed (the ^C of an interrupt too).
    if (isatty(STDOUT_FILENO) && (!line_start || current_mode == 1))
        std::fputs("\n", stdout);
    std::fflush(stdout);
    if (have_saved && current_mode >= 0)
        tcsetattr(STDIN_FILENO, TCSANOW, &saved_state);
    current_mode = -1;
}

} // namespace console
