// Key decoding and the typed reads, fed from a script.
#include "shell/input.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <tuple>
#include <vector>

// A console whose reads deliver the chunks in turn; an empty chunk is a timed
// read (after an Esc) that waited in vain. Then input ends, which throws.
static ConsoleInput script(std::deque<std::string> chunks) {
    auto read = [chunks](char* buf, int cap, int, bool) mutable {
        if (chunks.empty())
            return -1;
        const int n = chunks.front().copy(buf, cap);
        chunks.pop_front();
        return n;
    };
    return ConsoleInput(read, [] { throw std::out_of_range("input ended"); });
}

TEST(Keys, DecodeToTheConsoleCodes) {
    const std::pair<std::deque<std::string>, std::vector<int>> cases[] = {
        {{"\r\n"}, {13, 13}},
        {{"\x1b[A\x1b[B\x1b[C\x1b[D"}, {224, 72, 224, 80, 224, 77, 224, 75}},
        {{"\x1bOA\x1bOB\x1bOC\x1bOD"}, {224, 72, 224, 80, 224, 77, 224, 75}},
        {{"\x1b", "", "\x1bq"}, {27, 27, 'q'}},      // a lone Esc; Esc, then a key
        {{std::string("\x1b\0q", 3)}, {27, 0, 'q'}}, // Esc, then Ctrl-Space's NUL
        {{"\x1b", "[", "A", "\x1bO", "B", "y"}, {224, 72, 224, 80, 'y'}}, // split across reads
        {{"\x1b[1;", "", "n"}, {kKeyOther, 'n'}},                         // cut off
        // the Linux console's F1, a mouse report, shift-Up
        {{"\x1b[[Az\x1b[M !!\x1b[1;2Ax"}, {kKeyOther, 'z', kKeyOther, kKeyOther, 'x'}},
        // U+0800 starts with byte 224 yet is one key
        {{"\xe0\xa0\x80\r"}, {kKeyOther, 13}}};
    for (const auto& [chunks, want] : cases) {
        ConsoleInput in = script(chunks);
        std::vector<int> got;
        for (std::size_t i = 0; i < want.size(); ++i)
            got.push_back(in.read_key());
        EXPECT_EQ(got, want) << testing::PrintToString(chunks);
    }
    ConsoleInput in = script({"x"}); // input ends at the read that meets it
    EXPECT_EQ(in.read_key(), 'x');
    EXPECT_THROW(in.read_key(), std::out_of_range);
}

// Each case types its lines and makes the reads its letters name (i read_int,
// w read_word, l read_line); the answers are joined by '|', "no" standing for
// a number refused, which leaves the value as it was.
TEST(TypedReads, TakeWhatTheyShouldAndLeaveTheRest) {
    const std::tuple<std::string, std::string, std::deque<std::string>> cases[] = {
        // C1 controls (here NEL) dropped, other characters of several bytes kept
        {"iiill", "1|2|-4|a|\xe2\x82\xac  x ", {"1 2\n", " -4a\n", "\xe2\x82\xac\xc2\x85  x \r\n"}},
        {"ii", "2147483647|no", {"2147483647 2147483648\n"}},
        {"iii", "-2147483648|no|no", {"-2147483648\n", "-2147483649\n", "99999999999999999999\n"}},
        {"iwi", "no||8", {"\n", " \t\n", "+8\n"}},
        {"wlw",
         "Jo| Smith|Zo\xc3\xa9\x65!",
         {" Jo Smith\n", "Zo\xc3\xa9\x01\xc3\x65\x80\xff\xe2\x82!\n"}},
        // keys pressed while typing are taken out whole
        {"l", "Titlex", {"\x1b[AT\x1bOAi\x1b[[Bt\x1b[11~l\x1b[1;2Ae\x1bx\x1b[[A\n"}},
        {"ii", "42|7", {"4\x1b[D2\x1b[[A 7\n"}}};
    for (const auto& [reads, want, chunks] : cases) {
        ConsoleInput in = script(chunks);
        int32_t v = 0;
        std::string got;
        for (char read : reads) {
            if (const int32_t before = v; read == 'i')
                got += in.read_int(v) ? std::to_string(v) : v == before ? "no" : "changed";
            else
                got += read == 'w' ? in.read_word() : in.read_line();
            got += '|';
        }
        EXPECT_EQ(got, want + '|') << testing::PrintToString(chunks);
    }
}

// A console that reports key events delivers these in turn, then its input
// ends, which throws; what the line editor echoes is kept in echo.
static console::KeyEvent press(uint16_t key, uint16_t unit = 0, uint32_t state = 0) {
    return {true, key, 0, unit, state};
}
static ConsoleInput events(std::deque<console::KeyEvent> script, std::string& echo) {
    auto read = [script](console::KeyEvent& e) mutable {
        if (script.empty())
            return -1;
        e = script.front();
        script.pop_front();
        return 1;
    };
    return ConsoleInput(
        read, [&echo](std::string_view text) { echo += text; },
        [] { throw std::out_of_range("input ended"); });
}

static std::deque<console::KeyEvent> fkeys(uint32_t state) { // F1 to F12 pressed with state
    std::deque<console::KeyEvent> keys;
    for (uint16_t key = 0x70; key <= 0x7B; ++key)
        keys.push_back(press(key, 0, state));
    return keys;
}

TEST(KeyEvents, GiveTheCodesOfTheWindowsConsole) {
    using namespace console;
    const uint32_t gray = kEnhancedKey;
    const console::KeyEvent enter_up{false, 0x0D, 0, 13, 0},
        alt_up_typing_e{false, 0x12, 0, 0xE9, 0};
    const std::pair<std::deque<KeyEvent>, std::vector<int>> cases[] = {
        // Enter, its release; Esc, also from a console that leaves its character blank
        {{press(0x0D, 13), enter_up, press(0x1B, 27), press(0x1B)}, {13, 27, 27}},
        {{press(0x26, 0, gray), press(0x28, 0, gray), press(0x25, 0, gray), press(0x27, 0, gray)},
         {224, 72, 224, 80, 224, 75, 224, 77}},
        {{press(0x26), press(0x28)}, {0, 72, 0, 80}}, // the keypad's, NumLock off
        // the gray Ins, Del, Home, End, PgUp, PgDn
        {{press(0x2D, 0, gray), press(0x2E, 0, gray), press(0x24, 0, gray), press(0x23, 0, gray),
          press(0x21, 0, gray), press(0x22, 0, gray)},
         {224, 82, 224, 83, 224, 71, 224, 79, 224, 73, 224, 81}},
        // F1, Shift-F10, F11, Ctrl-F12; F1 to F12; Ctrl-Up, Alt-Up, Alt with the keypad's Up
        {{press(0x70), press(0x79, 0, kShift), press(0x7A), press(0x7B, 0, kLeftCtrl)},
         {0, 59, 0, 93, 224, 133, 224, 138}},
        {{press(0x70), press(0x71), press(0x72), press(0x73), press(0x74), press(0x75), press(0x76),
          press(0x77), press(0x78), press(0x79), press(0x7A), press(0x7B)},
         {0, 59, 0, 60, 0, 61, 0, 62, 0,   63,  0,   64,
          0, 65, 0, 66, 0, 67, 0, 68, 224, 133, 224, 134}},
        // F1 to F12 with Shift, with Ctrl, with Alt
        {fkeys(kShift), {0, 84, 0, 85, 0, 86, 0, 87, 0,   88,  0,   89,
                         0, 90, 0, 91, 0, 92, 0, 93, 224, 135, 224, 136}},
        {fkeys(kLeftCtrl), {0, 94,  0, 95,  0, 96,  0, 97,  0,   98,  0,   99,
                            0, 100, 0, 101, 0, 102, 0, 103, 224, 137, 224, 138}},
        {fkeys(kLeftAlt), {0, 104, 0, 105, 0, 106, 0, 107, 0,   108, 0,   109,
                           0, 110, 0, 111, 0, 112, 0, 113, 224, 139, 224, 140}},
        {{press(0x26, 0, gray | kLeftCtrl), press(0x26, 0, gray | kLeftAlt),
          press(0x26, 0, kLeftAlt)},
         {224, 141, 0, 152}},
        // Shift alone; a letter; é; two UTF-16 halves; é typed as Alt and its number
        {{press(0x10, 0, kShift), press(0x41, 'A', kShift), press(0, 0xE9), press(0, 0xD83D),
          press(0, 0xDE00), alt_up_typing_e, press(0x31, '1')},
         {'A', kKeyOther, kKeyOther, kKeyOther, '1'}}};
    for (const auto& [script, want] : cases) {
        std::string echo;
        ConsoleInput in = events(script, echo);
        std::vector<int> got;
        for (std::size_t i = 0; i < want.size(); ++i)
            got.push_back(in.read_key());
        EXPECT_EQ(got, want) << got.size();
        EXPECT_THROW(in.read_key(), std::out_of_range);
        EXPECT_EQ(echo, "");
    }
}

// Typed lines: the line read and the echo. Keys and control characters are
// dropped, Backspace takes back a whole character, Ctrl-Z then Enter ends
// the input.
TEST(LineEditor, EchoesAndTakesBackWholeCharacters) {
    auto typed = [](std::u16string text) {
        std::deque<console::KeyEvent> keys;
        for (char16_t c : text) // \1 stands for the Left key, \2 for F1, \b for Backspace
            keys.push_back(c == 1   ? press(0x25, 0, console::kEnhancedKey)
                           : c == 2 ? press(0x70)
                                    : press(0, c));
        return keys;
    };
    const std::pair<std::u16string, std::string> cases[] = {
        {u"Zo\1\u00e9x\b\r", "Zo\u00e9|Zo\u00e9x\b \b\n"},
        {u"\b\x1b\2a\U0001F600\x01\b\b\tb\r", "b|a\U0001F600\b \b\b \bb\n"},
        {u"\x1a\b7\r", "7|^Z\b\b  \b\b7\n"},
        {u"\x1a\r", "ended|^Z\n"}};
    for (const auto& [keys, want] : cases) {
        std::string echo, line;
        ConsoleInput in = events(typed(keys), echo);
        try {
            line = in.read_line();
        } catch (const std::out_of_range&) {
            line = "ended";
        }
        EXPECT_EQ(line + "|" + echo, want);
    }
}
