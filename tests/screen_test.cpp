// The bytes the screen kit writes through the console seam, with standard
// output a file, for the yes/no dialog drawn, moved to no and answered: the
// same on POSIX and Windows (where a console gets the same text between its
// colour changes). A blank too many fails here, though not on a screen read
// back without trailing blanks.
#include "shell/screen.h"
#include "shell/terminal.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

TEST(Screen, TheDialogByteForByte) {
    const std::string path = testing::TempDir() + "rentdesk-screen.out";
#ifdef _WIN32
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              0, nullptr);
    SetStdHandle(STD_OUTPUT_HANDLE, file);
#else
    std::fflush(stdout);
    const int saved = dup(1);
    FILE* file = std::fopen(path.c_str(), "wb");
    dup2(fileno(file), 1);
#endif
    ConsoleInput keys(
        [](char* buf, int cap, int, bool) { return int(std::string("\x1b[B\r").copy(buf, cap)); },
        [] {});
    set_console_input(&keys);
    EXPECT_EQ(yes_no_dialog(" Add?\n ESC for cancel."), kNo);
    console::restore();
#ifdef _WIN32
    CloseHandle(file);
#else
    dup2(saved, 1);
    std::fclose(file);
#endif
    std::ifstream in(path, std::ios::binary);
    const std::string indent(30, ' '), cls = "\x1b[H\x1b[2J";
    auto box = [&](std::string label, bool lit) {
        const std::string on = lit ? "\x1b[91m" : "", off = lit ? "\x1b[97m" : "";
        return indent + on + " __________\n" + off + indent + on + "|____" + label + "|\n\n" + off;
    };
    const std::string screen = cls + "\n               ******************Information Message"
                                     "****************** \n\n\n                  Add?\n ESC for "
                                     "cancel.\n\n";
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              screen + box("yes___", true) + box("no____", false) + screen + box("yes___", false) +
                  box("no____", true) + cls + "\x1b[0m");
}
