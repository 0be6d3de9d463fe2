// Rating a returned disk, and adding a late fine to what a client owes.
#include "clients/returned_disk.h"
#include "shell/screen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

// Feeds the typed lines to the screen kit and takes the kit's output, so a
// test sees what the clerk would see.
class TypedLines {
  public:
    explicit TypedLines(std::string typed)
        : typed_(std::move(typed)),
          input_([this](char* buf, int cap, int, bool) { return feed(buf, cap); },
                 [] { throw std::runtime_error("the question asked for more input"); }) {
        set_console_input(&input_);
        testing::internal::CaptureStdout();
    }
    ~TypedLines() { set_console_input(nullptr); }
    std::string shown() {
        std::fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }

  private:
    int feed(char* buf, int cap) {
        if (pos_ >= typed_.size())
            return -1;
        int n = static_cast<int>(std::min<std::size_t>(cap, typed_.size() - pos_));
        std::memcpy(buf, typed_.data() + pos_, n);
        pos_ += n;
        return n;
    }
    std::string typed_;
    std::size_t pos_ = 0;
    ConsoleInput input_;
};

int count(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(DiskStatus, TakesOneToTenAndAsksAgainForEverythingElse) {
    for (const char* typed : {"1\n", "10\n", "  7 and more\n"}) {
        TypedLines keys(typed);
        EXPECT_EQ(ask_disk_status(kDiskStatusQuestion), std::atoi(typed));
        EXPECT_EQ(count(keys.shown(), "Insert again a number from 1 to 10"), 0) << typed;
    }
    TypedLines keys("0\n11\n-3\nbad\n99999999999\n4\n");
    EXPECT_EQ(ask_disk_status(kDiskStatusQuestion), 4);
    std::string screen = keys.shown();
    EXPECT_EQ(count(screen, "\n\n\n Insert again a number from 1 to 10\n"), 5);
    EXPECT_EQ(count(screen, kDiskStatusQuestion.data()), 6);
}

TEST(DiskStatus, DropsTheRestOfTheLineBeforeAsking) {
    // What is left of an earlier answer must not answer the question.
    TypedLines keys("12 rest\n3\n");
    int32_t first;
    ASSERT_TRUE(read_int(first));
    EXPECT_EQ(ask_disk_status(kDiskStatusQuestion), 3);
    keys.shown();
}

TEST(AddFine, AddsAndStopsAtTheLimits) {
    EXPECT_EQ(add_fine(20, 15), 35);
    EXPECT_EQ(add_fine(INT32_MAX - 10, 35), INT32_MAX);
    EXPECT_EQ(add_fine(INT32_MAX, INT32_MAX), INT32_MAX);
    EXPECT_EQ(add_fine(INT32_MIN, -1), INT32_MIN);
}
