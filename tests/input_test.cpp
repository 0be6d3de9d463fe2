// Key decoding and the typed reads, fed from a script: each string is what one
// read of the console delivers, an empty string a read that waited in vain.
#include "shell/input.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct EndOfInput {};

struct Script {
    std::deque<std::string> chunks;
    ConsoleInput in{
        [this](char* buf, int cap, int timeout_ms, bool) { return deliver(buf, cap, timeout_ms); },
        [] { throw EndOfInput{}; }};

    int deliver(char* buf, int cap, int timeout_ms) {
        while (!chunks.empty() && chunks.front().empty()) {
            chunks.pop_front();
            if (timeout_ms >= 0)
                return 0; // a wait without a time limit never sees the pause
        }
        if (chunks.empty())
            return -1;
        const int n = chunks.front().copy(buf, cap);
        chunks.front().erase(0, n);
        if (chunks.front().empty())
            chunks.pop_front();
        return n;
    }
};

const int O = kKeyOther;

} // namespace

TEST(Keys, DecodeToTheConsoleCodes) {
    const std::pair<std::vector<std::string>, std::vector<int>> cases[] = {
        {{"\r\n"}, {13, 13}},
        {{"\x1b[A\x1b[B\x1b[C\x1b[D"}, {224, 72, 224, 80, 224, 77, 224, 75}},
        {{"\x1bOA\x1bOB\x1bOC\x1bOD"}, {224, 72, 224, 80, 224, 77, 224, 75}},
        {{"\x1b", "", "\x1bq"}, {27, 27, 'q'}}, // a lone Esc, Esc then a key
        {{"\x1b", "[", "A", "\x1bO", "B", "y"}, {224, 72, 224, 80, 'y'}}, // split across reads
        {{"\x1b[1;", "", "n"}, {O, 'n'}},                                 // cut off
        {{"\x1b[[Az\x1bOP\x1b[11~\x1b[1;2A\x1b[M !!x"}, {O, 'z', O, O, O, O, 'x'}},
        {{"\xe0\xa0\x80\xc3\xa9\r"}, {O, O, 13}}, // U+0800 starts with 224 yet is one key
    };
    for (const auto& [chunks, want] : cases) {
        Script s{{chunks.begin(), chunks.end()}};
        std::vector<int> got;
        for (std::size_t i = 0; i < want.size(); ++i)
            got.push_back(s.in.read_key());
        EXPECT_EQ(got, want) << testing::PrintToString(chunks);
    }
}

// Steps: 'i' read_int (its value, or "no" when refused with the value kept),
// 'w' read_word, 'l' read_line, 'k' read_key, 'd' discard_line.
TEST(TypedReads, TakeWhatTheyShouldAndLeaveTheRest) {
    const std::pair<std::vector<std::string>, std::vector<std::pair<char, std::string>>> cases[] = {
        {{"12 34\n", "  -42abc\n"}, {{'i', "12"}, {'i', "34"}, {'i', "-42"}, {'l', "abc"}}},
        {{"2147483647 2147483648\n", "-2147483648\n", "-2147483649\n", "99999999999999999999\n"},
         {{'i', "2147483647"}, {'i', "no"}, {'i', "-2147483648"}, {'i', "no"}, {'i', "no"}}},
        {{"\n", " \t\n", "+8\n"}, {{'i', "no"}, {'w', ""}, {'i', "8"}}},
        {{"abc 5\n", "9\n"}, {{'i', "no"}, {'i', "no"}, {'d', ""}, {'i', "9"}}},
        {{"12 rest\n", "\r"}, {{'i', "12"}, {'k', "13"}, {'w', "rest"}}},
        {{"  John Smith\n", "Zo\xc3\xa9\x01\xc3"
                            "e\x80\xff!\n"},
         {{'w', "John"},
          {'d', ""},
          {'w', "Zo\xc3\xa9"
                "e!"}}},
        {{"The  Matrix \r\n", "5\n", "Alien\n"},
         {{'l', "The  Matrix "}, {'i', "5"}, {'l', ""}, {'l', "Alien"}}},
        // keys pressed while typing are removed whole
        {{"\x1b[AT\x1bOAi\x1b[[Bt\x1b[11~l\x1b[1;2Ae\x1bx\x1b[[A\n", "4\x1b[D2\x1b[[A 7\n"},
         {{'l', "Titlex"}, {'i', "42"}, {'i', "7"}}},
    };
    for (const auto& [chunks, steps] : cases) {
        Script s{{chunks.begin(), chunks.end()}};
        int32_t v = 0;
        for (const auto& [op, want] : steps) {
            std::string got;
            if (const int32_t before = v; op == 'i')
                got = s.in.read_int(v) ? std::to_string(v) : v == before ? "no" : "changed";
            else if (op == 'w')
                got = s.in.read_word();
            else if (op == 'l')
                got = s.in.read_line();
            else if (op == 'k')
                got = std::to_string(s.in.read_key());
            else
                s.in.discard_line();
            EXPECT_EQ(got, want) << op << " in " << testing::PrintToString(chunks);
        }
    }
}
