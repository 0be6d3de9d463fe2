// Key decoding and the typed reads, fed from a script.
#include "shell/input.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <tuple>
#include <vector>

// A console whose reads deliver the chunks in turn; an empty chunk is a timed
// read (after an Esc) that waited in vain. Then input ends, which throws.
static ConsoleInput console(std::deque<std::string> chunks) {
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
        {{"\x1b", "", "\x1bq"}, {27, 27, 'q'}}, // a lone Esc; Esc, then a key
        {{"\x1b", "[", "A", "\x1bO", "B", "y"}, {224, 72, 224, 80, 'y'}}, // split across reads
        {{"\x1b[1;", "", "n"}, {kKeyOther, 'n'}},                         // cut off
        // the Linux console's F1, a mouse report, shift-Up
        {{"\x1b[[Az\x1b[M !!\x1b[1;2Ax"}, {kKeyOther, 'z', kKeyOther, kKeyOther, 'x'}},
        // U+0800 starts with byte 224 yet is one key
        {{"\xe0\xa0\x80\r"}, {kKeyOther, 13}}};
    for (const auto& [chunks, want] : cases) {
        ConsoleInput in = console(chunks);
        std::vector<int> got;
        for (std::size_t i = 0; i < want.size(); ++i)
            got.push_back(in.read_key());
        EXPECT_EQ(got, want) << testing::PrintToString(chunks);
    }
    ConsoleInput in = console({"x"}); // input ends at the read that meets it
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
        {"wlw", "Jo| Smith|Zo\xc3\xa9\x65!", {" Jo Smith\n", "Zo\xc3\xa9\x01\xc3\x65\x80\xff!\n"}},
        // keys pressed while typing are taken out whole
        {"l", "Titlex", {"\x1b[AT\x1bOAi\x1b[[Bt\x1b[11~l\x1b[1;2Ae\x1bx\x1b[[A\n"}},
        {"ii", "42|7", {"4\x1b[D2\x1b[[A 7\n"}}};
    for (const auto& [reads, want, chunks] : cases) {
        ConsoleInput in = console(chunks);
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
