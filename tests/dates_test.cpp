// The due date, the late fine and the seven-day hold on the shop's calendar:
// February 28 days (leap years too), whole years 365 days.
#include "shell/dates.h"

#include <gtest/gtest.h>

#include <tuple>

static auto fields(Date d) {
    return std::tuple(d.year, d.month, d.day);
}

// The rent days are carried over month ends, a due day of 29 staying in
// February, to the due day; 5 a day is owed for each day after it.
TEST(LateFine, WorkedCases) {
    const struct {
        Date rented;
        int32_t days;
        Date today;
        int32_t fine;
    } cases[] = {{{2009, 3, 10}, 3, {2009, 3, 13}, 0},
                 {{2009, 3, 10}, 3, {2009, 3, 14}, 5},
                 {{2009, 3, 10}, 3, {2009, 3, 20}, 35},
                 {{2009, 3, 10}, 3, {2009, 3, 11}, 0},    // before the due day
                 {{2009, 3, 10}, 3, {2008, 4, 20}, 0},    // a year before
                 {{2009, 1, 30}, 3, {2009, 2, 5}, 15},    // into February
                 {{2009, 2, 27}, 2, {2009, 3, 1}, 0},     // 29 February is not carried
                 {{2009, 2, 27}, 2, {2009, 3, 2}, 5},     //
                 {{2009, 2, 27}, 3, {2009, 3, 3}, 5},     // out of February
                 {{2009, 4, 29}, 3, {2009, 5, 3}, 5},     // out of a 30-day month
                 {{2008, 12, 30}, 5, {2009, 1, 10}, 30},  // into the next year
                 {{2009, 1, 28}, 3, {2009, 3, 1}, 145},   // 0 + 28 + 1 days
                 {{2008, 11, 17}, 3, {2009, 1, 5}, 230},  // 10 + 31 + 5 days
                 {{2007, 6, 12}, 3, {2009, 6, 15}, 3650}, // two 365-day years
                 {{2008, 2, 17}, 3, {2008, 2, 29}, 45},   // today the leap day
                 {{2008, 2, 25}, 3, {2008, 3, 1}, 5},     // the leap day not counted
                 {{2009, 1, 31}, 31, {2009, 3, 1}, 0}};   // carried on until it fits
    for (const auto& c : cases) {
        const RentRec r{1, c.rented, 1, 1, c.days};
        EXPECT_EQ(late_fine_on(r, 5, c.today), c.fine) << c.days << " days from " << c.rented.day;
    }
}

// A hold stands through its seventh day, carried over one month end.
TEST(Hold, LastDayOnTheShopsCalendar) {
    const std::pair<Date, Date> cases[] = {
        {{2009, 1, 25}, {2009, 2, 1}}, {{2009, 2, 22}, {2009, 3, 1}},
        {{2008, 2, 22}, {2008, 3, 1}}, {{2009, 2, 28}, {2009, 3, 7}},
        {{2008, 2, 28}, {2008, 3, 7}}, {{2009, 4, 23}, {2009, 4, 30}},
        {{2009, 4, 24}, {2009, 5, 1}}, {{2008, 12, 25}, {2009, 1, 1}},
        {{2009, 3, 3}, {2009, 3, 10}}};
    for (auto [saved, last] : cases)
        EXPECT_EQ(fields(hold_end(saved)), fields(last)) << saved.month << "-" << saved.day;
}
