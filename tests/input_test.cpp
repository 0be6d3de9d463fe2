// Key decoding and the formatted reads of typed lines, fed from scripted
// input: each string is what one read of the console delivers, a pause is a
// read that times out.
#include "shell/input.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace {

struct EndOfInput {};

const std::string kPause = "<pause>";

// A console whose reads deliver the scripted chunks in turn; kPause stands
// for a read that waited and got nothing. After the script, input ends.
class ScriptedConsole {
  public:
    explicit ScriptedConsole(std::vector<std::string> chunks)
        : chunks_(chunks.begin(), chunks.end()),
          input_([this](char* buf, int cap, int timeout_ms,
                        bool line_mode) { return deliver(buf, cap, timeout_ms, line_mode); },
                 [] { throw EndOfInput{}; }) {}

    ConsoleInput& in() { return input_; }
    int reads() const { return reads_; }

  private:
    int deliver(char* buf, int cap, int timeout_ms, bool) {
        ++reads_;
        if (chunks_.empty())
            return -1;
        if (chunks_.front() == kPause) {
            chunks_.pop_front();
            // A read with no time limit never sees a pause: skip to the next.
            return timeout_ms < 0 ? deliver(buf, cap, timeout_ms, false) : 0;
        }
        std::string chunk = chunks_.front();
        chunks_.pop_front();
        int n = static_cast<int>(chunk.size()) < cap ? static_cast<int>(chunk.size()) : cap;
        chunk.copy(buf, n);
        if (n < static_cast<int>(chunk.size()))
            chunks_.push_front(chunk.substr(n));
        return n;
    }

    std::deque<std::string> chunks_;
    ConsoleInput input_;
    int reads_ = 0;
};

std::vector<int> keys(ConsoleInput& in, int count) {
    std::vector<int> out;
    for (int i = 0; i < count; ++i)
        out.push_back(in.read_key());
    return out;
}

} // namespace

TEST(Keys, EnterEscAndArrowsGiveTheConsoleCodesAndALoneEscIsEsc) {
    ScriptedConsole c(
        {"\r\n\x1b[A\x1b[B\x1b[C\x1b[D\x1bOA\x1bOB", kPause, "\x1b", kPause, "\x1bq"});
    EXPECT_EQ(keys(c.in(), 13),
              (std::vector<int>{13, 13, 224, 72, 224, 80, 224, 77, 224, 75, 224, 72, 224}));
    EXPECT_EQ(c.in().read_key(), 80);
    EXPECT_EQ(c.in().read_key(), 27);                        // a lone ESC, nothing after it in time
    EXPECT_EQ(keys(c.in(), 2), (std::vector<int>{27, 'q'})); // Esc, then the key after it
}

TEST(Keys, SequencesSplitAcrossReadsStillDecode) {
    ScriptedConsole c({"\x1b", "[", "A", "\x1b", "O", "B", "y"});
    EXPECT_EQ(keys(c.in(), 5), (std::vector<int>{224, 72, 224, 80, 'y'}));
}

TEST(Keys, OtherSequencesAreSwallowedWhole) {
    // F1 (SS3 form, CSI form and the Linux console's form), Home, Delete,
    // shift-Up, an old-style mouse report, then a plain letter: each sequence
    // is one key no screen acts on.
    ScriptedConsole c({"\x1bOP\x1b[11~\x1b[[A\x1b[H\x1b[3~\x1b[1;2A\x1b[M !!z"});
    EXPECT_EQ(keys(c.in(), 8), (std::vector<int>{kKeyOther, kKeyOther, kKeyOther, kKeyOther,
                                                 kKeyOther, kKeyOther, kKeyOther, 'z'}));
}

TEST(Keys, CutOffSequenceIsDroppedNotHung) {
    ScriptedConsole c({"\x1b[1;", kPause, "n"});
    EXPECT_EQ(keys(c.in(), 2), (std::vector<int>{kKeyOther, 'n'}));
}

TEST(Keys, Utf8LetterIsOneKeyNeverAnArrowPrefix) {
    // U+0800 starts with byte 224 (0xE0), the arrow prefix of the console.
    ScriptedConsole c({"\xe0\xa0\x80\xc3\xa9\r"});
    EXPECT_EQ(keys(c.in(), 3), (std::vector<int>{kKeyOther, kKeyOther, 13}));
}

TEST(Keys, KeysNeverComeFromTheRestOfATypedLine) {
    ScriptedConsole c({"12 rest\n", "\r"});
    int32_t v = 0;
    ASSERT_TRUE(c.in().read_int(v));
    EXPECT_EQ(v, 12);
    EXPECT_EQ(c.in().read_key(), 13);      // the Enter typed next, not " rest"
    EXPECT_EQ(c.in().read_word(), "rest"); // the rest of the line is still there
}

TEST(FormattedReads, NumberSkipsTheEndOfTheLastAnswerAndLeavesTheRest) {
    ScriptedConsole c({"5\n", "  -42abc\n"});
    int32_t v = 7;
    ASSERT_TRUE(c.in().read_int(v));
    ASSERT_TRUE(c.in().read_int(v)); // the newline after 5 is no answer of its own
    EXPECT_EQ(v, -42);
    EXPECT_EQ(c.in().read_line(), "abc");
}

TEST(FormattedReads, AnEmptyOrBlankLineIsNoNumberAndNoWord) {
    ScriptedConsole c({"\n", "   \t\n", "\n", "8\n"});
    int32_t v = 7;
    EXPECT_FALSE(c.in().read_int(v));
    EXPECT_FALSE(c.in().read_int(v));
    EXPECT_EQ(v, 7);
    EXPECT_EQ(c.in().read_word(), "");
    ASSERT_TRUE(c.in().read_int(v)); // each empty line was taken once: no waiting left over
    EXPECT_EQ(v, 8);
}

TEST(FormattedReads, JunkIsNotANumberAndStaysUntilDiscarded) {
    ScriptedConsole c({"abc 5\n", "9\n"});
    int32_t v = 7;
    EXPECT_FALSE(c.in().read_int(v));
    EXPECT_EQ(v, 7);
    EXPECT_FALSE(c.in().read_int(v)); // still the same junk
    c.in().discard_line();
    ASSERT_TRUE(c.in().read_int(v));
    EXPECT_EQ(v, 9);
}

TEST(FormattedReads, NumbersBeyondThirtyTwoBitsAreRefused) {
    ScriptedConsole c({"2147483647\n", "2147483648\n", "-2147483648\n", "99999999999999999999\n"});
    int32_t v = 0;
    ASSERT_TRUE(c.in().read_int(v));
    EXPECT_EQ(v, 2147483647);
    EXPECT_FALSE(c.in().read_int(v));
    EXPECT_EQ(v, 2147483647);
    ASSERT_TRUE(c.in().read_int(v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_FALSE(c.in().read_int(v));
    EXPECT_EQ(v, INT32_MIN);
}

TEST(FormattedReads, WordTakesOneWordOfTwo) {
    ScriptedConsole c({"  John Smith\n", "Brown\n"});
    EXPECT_EQ(c.in().read_word(), "John");
    c.in().discard_line(); // what the desk does after a word
    EXPECT_EQ(c.in().read_word(), "Brown");
}

TEST(FormattedReads, LineIsTakenWholeWithoutNewlineAndControls) {
    ScriptedConsole c({"The  Matrix \r\n", "Ti\x01tle\tX\x7f\n"});
    EXPECT_EQ(c.in().read_line(), "The  Matrix ");
    EXPECT_EQ(c.in().read_line(), "TitleX");
}

TEST(FormattedReads, KeysPressedWhileTypingLeaveNothingInTheText) {
    // Arrows in both forms, F1 in its three forms, F5, shift-Up, Delete,
    // Alt-x, a lone Esc, and a sequence cut short by the end of the line.
    ScriptedConsole c({"\x1b[AT\x1bOAi\x1bOPt\x1b[11~l\x1b[[Ae\x1b[15~\x1b[1;2A\x1b[3~\x1bxZ\x1b\n",
                       "4\x1b[D2\x1b[C\n", "Bo\x1b[Db\x1b[1;\n"});
    EXPECT_EQ(c.in().read_line(), "TitlexZ");
    int32_t v = 0;
    ASSERT_TRUE(c.in().read_int(v)); // an arrow inside a number does not break it
    EXPECT_EQ(v, 42);
    c.in().discard_line();
    EXPECT_EQ(c.in().read_word(), "Bob");
}

TEST(FormattedReads, Utf8IsKeptWholeAndBrokenOrControlCharactersAreDropped) {
    ScriptedConsole c({"Zo\xc3\xa9 \xe2\x82\xac\xf0\x9f\x8e\xac\n",
                       // a lead byte left by Backspace, a stray continuation byte, C1
                       // controls (CSI, NEL), an overlong slash, a surrogate, a code
                       // beyond U+10FFFF, a byte no UTF-8 text holds
                       "Zo\xc3"
                       "e\x80\xc2\x9b\xc2\x85\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xff!\n"});
    EXPECT_EQ(c.in().read_word(), "Zo\xc3\xa9");
    EXPECT_EQ(c.in().read_line(), " \xe2\x82\xac\xf0\x9f\x8e\xac");
    EXPECT_EQ(c.in().read_line(), "Zoe!");
}

TEST(FormattedReads, LineAfterANumberIsTheRestOfThatLine) {
    ScriptedConsole c({"5\n", "Alien\n"});
    int32_t v = 0;
    ASSERT_TRUE(c.in().read_int(v));
    EXPECT_EQ(c.in().read_line(), "");
    EXPECT_EQ(c.in().read_line(), "Alien");
}

TEST(FormattedReads, TypeAheadReadAsKeysIsKeptForTheNextLine) {
    // Enter at a menu and the next answer arrive in one read.
    ScriptedConsole c({"\r42\n"});
    EXPECT_EQ(c.in().read_key(), 13);
    int32_t v = 0;
    ASSERT_TRUE(c.in().read_int(v));
    EXPECT_EQ(v, 42);
}

TEST(EndOfInput, EndsAtTheReadThatMeetsIt) {
    ScriptedConsole keys_then_end({"x"});
    EXPECT_EQ(keys_then_end.in().read_key(), 'x');
    EXPECT_THROW(keys_then_end.in().read_key(), EndOfInput);

    ScriptedConsole number_then_end({"12"});
    int32_t v = 0;
    EXPECT_THROW(number_then_end.in().read_int(v), EndOfInput); // the line never ended
    ScriptedConsole line_end({});
    EXPECT_THROW(line_end.in().read_line(), EndOfInput);
}
