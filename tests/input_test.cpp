// Key decoding and the typed reads, fed from a script.
#include "shell/input.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// A console whose reads deliver the chunks in turn; an empty chunk is a timed
// read (after an Esc) that waited in vain.
static ConsoleInput console(const std::vector<std::string>& chunks) {
    auto left = std::make_shared<std::deque<std::string>>(chunks.begin(), chunks.end());
    auto read = [left](char* buf, int cap, int, bool) {
        if (left->empty())
            throw std::out_of_range("read past the end of the script");
        const int n = left->front().copy(buf, cap);
        left->pop_front();
        return n;
    };
    return ConsoleInput(read, [] {});
}

TEST(Keys, DecodeToTheConsoleCodes) {
    const int O = kKeyOther;
    const std::pair<std::vector<std::string>, std::vector<int>> cases[] = {
        {{"\r\n"}, {13, 13}},
        {{"\x1b[A\x1b[B\x1b[C\x1b[D"}, {224, 72, 224, 80, 224, 77, 224, 75}},
        {{"\x1bOA\x1bOB\x1bOC\x1bOD"}, {224, 72, 224, 80, 224, 77, 224, 75}},
        {{"\x1b", "", "\x1bq"}, {27, 27, 'q'}}, // a lone Esc; Esc, then a key
        {{"\x1b", "[", "A", "\x1bO", "B", "y"}, {224, 72, 224, 80, 'y'}}, // split across reads
        {{"\x1b[1;", "", "n"}, {O, 'n'}},                                 // cut off
        {{"\x1b[[Az\x1b[11~\x1b[1;2Ax"},
         {O, 'z', O, O, 'x'}},          // the Linux console's F1, F1, shift-Up
        {{"\xe0\xa0\x80\r"}, {O, 13}}}; // U+0800 starts with byte 224 yet is one key
    for (const auto& [chunks, want] : cases) {
        ConsoleInput in = console(chunks);
        std::vector<int> got;
        for (std::size_t i = 0; i < want.size(); ++i)
            got.push_back(in.read_key());
        EXPECT_EQ(got, want) << testing::PrintToString(chunks);
    }
}

// Steps: 'i' read_int (its value, or "no" when refused with the value kept),
// 'w' read_word, 'l' read_line, 'd' discard_line.
TEST(TypedReads, TakeWhatTheyShouldAndLeaveTheRest) {
    const std::pair<std::vector<std::string>, std::vector<std::pair<char, std::string>>> cases[] = {
        {{"12 34\n", "  -42abc\n", "The  Matrix \r\n"},
         {{'i', "12"}, {'i', "34"}, {'i', "-42"}, {'l', "abc"}, {'l', "The  Matrix "}}},
        {{"2147483647 2147483648\n", "-2147483648\n", "-2147483649\n", "99999999999999999999\n"},
         {{'i', "2147483647"}, {'i', "no"}, {'i', "-2147483648"}, {'i', "no"}, {'i', "no"}}},
        {{"\n", " \t\n", "+8\n"}, {{'i', "no"}, {'w', ""}, {'i', "8"}}},
        {{"  John Smith\n", "Zo\xc3\xa9\x01\xc3\x65\x80\xff!\n"},
         {{'w', "John"}, {'d', ""}, {'w', "Zo\xc3\xa9\x65!"}}}, // broken UTF-8 and controls dropped
        {{"\x1b[AT\x1bOAi\x1b[[Bt\x1b[11~l\x1b[1;2Ae\x1bx\x1b[[A\n", "4\x1b[D2\x1b[[A 7\n"},
         {{'l', "Titlex"}, {'i', "42"}, {'i', "7"}}}}; // keys pressed while typing go whole
    for (const auto& [chunks, steps] : cases) {
        ConsoleInput in = console(chunks);
        int32_t v = 0;
        for (const auto& [op, want] : steps) {
            std::string got;
            if (const int32_t before = v; op == 'i')
                got = in.read_int(v) ? std::to_string(v) : v == before ? "no" : "changed";
            else if (op == 'w')
                got = in.read_word();
            else if (op == 'l')
                got = in.read_line();
            else
                in.discard_line();
            EXPECT_EQ(got, want) << op << " in " << testing::PrintToString(chunks);
        }
    }
}
