// The late fine and the seven-day hold on the shop's fixed calendar.
#include "shell/dates.h"

#include <ctime>
#include <gtest/gtest.h>

namespace {

RentRec rental(Date rented, int32_t days) {
    return RentRec{1, rented, 1, 1, days};
}

} // namespace

static bool operator==(Date a, Date b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

static std::ostream& operator<<(std::ostream& os, Date d) {
    return os << d.year << '-' << d.month << '-' << d.day;
}

// The rent days are added to the day and carried over month ends, the 29th
// of February staying in February; 5 a day is owed for each day after the
// due day, months counted at their lengths (February 28 days, leap years
// too) and whole years at 365 days.
TEST(LateFine, WorkedExamples) {
    struct Case {
        Date rented;
        int32_t days;
        Date due, today;
        int32_t fine;
    };
    const Case cases[] = {
        {{2009, 3, 10}, 3, {2009, 3, 13}, {2009, 3, 13}, 0},    // on the due day
        {{2009, 3, 10}, 3, {2009, 3, 13}, {2009, 3, 14}, 5},    // a day late
        {{2009, 3, 10}, 3, {2009, 3, 13}, {2009, 3, 20}, 35},   // a week late
        {{2009, 3, 10}, 3, {2009, 3, 13}, {2009, 3, 11}, 0},    // before the due day
        {{2009, 3, 10}, 3, {2009, 3, 13}, {2009, 2, 28}, 0},    // a month before
        {{2009, 3, 10}, 3, {2009, 3, 13}, {2008, 4, 20}, 0},    // a year before
        {{2009, 1, 30}, 3, {2009, 2, 2}, {2009, 2, 5}, 15},     // into February
        {{2009, 2, 27}, 3, {2009, 3, 2}, {2009, 3, 2}, 0},      // out of February
        {{2009, 2, 27}, 3, {2009, 3, 2}, {2009, 3, 3}, 5},      //
        {{2009, 4, 29}, 3, {2009, 5, 2}, {2009, 5, 2}, 0},      // out of a 30-day month
        {{2009, 4, 29}, 3, {2009, 5, 2}, {2009, 5, 3}, 5},      //
        {{2009, 2, 27}, 2, {2009, 2, 29}, {2009, 3, 1}, 0},     // due on 29 February
        {{2009, 2, 27}, 2, {2009, 2, 29}, {2009, 3, 2}, 5},     //
        {{2008, 12, 30}, 5, {2009, 1, 4}, {2009, 1, 4}, 0},     // into the next year
        {{2008, 12, 30}, 5, {2009, 1, 4}, {2009, 1, 10}, 30},   //
        {{2009, 1, 28}, 3, {2009, 1, 31}, {2009, 3, 1}, 145},   // 0 + 28 + 1 days
        {{2008, 11, 17}, 3, {2008, 11, 20}, {2009, 1, 5}, 230}, // 10 + 31 + 5 days
        {{2007, 6, 12}, 3, {2007, 6, 15}, {2009, 6, 15}, 3650}, // two 365-day years
        {{2008, 2, 17}, 3, {2008, 2, 20}, {2008, 2, 29}, 45},   // today the leap day itself
        {{2008, 2, 25}, 3, {2008, 2, 28}, {2008, 3, 1}, 5},     // the leap day is not counted
        // So long a rent that one carry leaves 31 February: carried on until
        // the day fits, so a return before it never owes less than 0.
        {{2009, 1, 31}, 31, {2009, 3, 3}, {2009, 3, 1}, 0},
        {{2009, 1, 31}, 31, {2009, 3, 3}, {2009, 3, 5}, 10},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(due_date(rental(c.rented, c.days)), c.due) << c.rented << " + " << c.days;
        EXPECT_EQ(late_fine_on(rental(c.rented, c.days), 5, c.today), c.fine)
            << c.rented << " + " << c.days << " returned " << c.today;
    }
}

TEST(LateFine, ReadsTodayFromTheLocalClock) {
    std::time_t raw = std::time(nullptr);
    std::tm local{};
    localtime_r(&raw, &local);
    Date now = get_today();
    if (now.day != local.tm_mday) { // the clock passed midnight in between
        raw = std::time(nullptr);
        localtime_r(&raw, &local);
    }
    EXPECT_EQ(now, (Date{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday}));
    EXPECT_EQ(late_fine(rental(now, 0), 5), 0);
    EXPECT_EQ(late_fine(rental({now.year - 1, now.month, now.day}, 0), 5), 365 * 5);
}

// A hold stands through its seventh day and is released by the first update
// after it; February counts 28 days, in leap years too.
TEST(Hold, LastDayOnTheShopsCalendar) {
    const std::pair<Date, Date> cases[] = {
        {{2009, 1, 25}, {2009, 2, 1}}, {{2009, 2, 22}, {2009, 3, 1}},
        {{2008, 2, 22}, {2008, 3, 1}}, {{2009, 2, 28}, {2009, 3, 7}},
        {{2008, 2, 28}, {2008, 3, 7}}, {{2009, 4, 23}, {2009, 4, 30}},
        {{2009, 4, 24}, {2009, 5, 1}}, {{2008, 12, 25}, {2009, 1, 1}},
        {{2009, 3, 3}, {2009, 3, 10}},
    };
    for (auto [saved, last] : cases)
        EXPECT_EQ(hold_end(saved), last) << "saved " << saved;
    for (int day = 3; day <= 10; ++day)
        EXPECT_FALSE(date_before(hold_end({2009, 3, day}), {2009, 3, 10})) << "dated day " << day;
    EXPECT_TRUE(date_before(hold_end({2009, 3, 2}), {2009, 3, 10}));
}
