// The late fine and the seven-day hold on the shop's calendar: February 28
// days (leap years too), whole years 365 days. Dates are written yyyymmdd.
#include "store/dates.h"

#include <gtest/gtest.h>

#include <tuple>

static Date date(int ymd) {
    return {ymd / 10000, ymd / 100 % 100, ymd % 100};
}

// The rent days are carried over month ends to the due day, a due day of 29
// staying in February; 5 a day is owed for each day after it.
TEST(LateFine, WorkedCases) {
    // Rented, rent days, returned, fine. By lines: on the due day, a day and a
    // week after it, before it; into February, due on 29 February, out of
    // February; out of a 30-day month, into the next year, 0 + 28 + 1 days; 10 +
    // 31 + 5 days, two 365-day years, today the leap day; the leap day not
    // counted, and a rent so long that the day is carried on until it fits.
    const std::tuple<int, int32_t, int, int32_t> cases[] = {
        {20090310, 3, 20090313, 0},   {20090310, 3, 20090314, 5},   {20090310, 3, 20090320, 35},
        {20090310, 3, 20090311, 0},   {20090130, 3, 20090205, 15},  {20090227, 2, 20090302, 5},
        {20090227, 3, 20090303, 5},   {20090429, 3, 20090503, 5},   {20081230, 5, 20090110, 30},
        {20090128, 3, 20090301, 145}, {20081117, 3, 20090105, 230}, {20070612, 3, 20090615, 3650},
        {20080217, 3, 20080229, 45},  {20080225, 3, 20080301, 5},   {20090131, 31, 20090301, 0}};
    for (const auto& [rented, days, today, fine] : cases)
        EXPECT_EQ(late_fine_on(RentRec{1, date(rented), 1, 1, days}, 5, date(today)), fine)
            << days << " days from " << rented << " to " << today;
}

// The due day the owner's overdue report shows and the day log keeps: New
// Year's Eve is a day of December, 29 February one of any February, 30
// April one of April; a day past January's 31st is in February.
TEST(DueDay, AsTheReportsShowIt) {
    const std::tuple<int, int32_t, int> cases[] = {{20081226, 5, 20081231},
                                                   {20081227, 5, 20090101},
                                                   {20090227, 2, 20090229},
                                                   {20090427, 3, 20090430},
                                                   {20090130, 2, 20090201}};
    for (const auto& [rented, days, due] : cases) {
        const Date d = due_date(RentRec{1, date(rented), 1, 1, days});
        EXPECT_EQ(d.year * 10000 + d.month * 100 + d.day, due) << days << " days from " << rented;
    }
}

// A hold stands through its seventh day, carried over one month end.
TEST(Hold, LastDayOnTheShopsCalendar) {
    const std::pair<int, int> cases[] = {
        {20090125, 20090201}, {20090222, 20090301}, {20080222, 20080301},
        {20090228, 20090307}, {20080228, 20080307}, {20090423, 20090430},
        {20090424, 20090501}, {20081225, 20090101}, {20090303, 20090310}};
    for (auto [saved, last] : cases) {
        const Date end = hold_end(date(saved));
        EXPECT_EQ(end.year * 10000 + end.month * 100 + end.day, last) << "saved " << saved;
    }
}

// A subscription ends its months after it began, the day cut to a shorter
// month's last (29 February in a leap year, its March whole); the days left to its end count
// 0 on it and -1 the day after, a 29 February one day before 1 March.
TEST(Subscription, LastDayAndDaysLeft) {
    const std::tuple<int, int32_t, int, int, int64_t> cases[] = {
        {20260115, 1, 20260215, 20260215, 0},   {20251120, 3, 20260220, 20260221, -1},
        {20260131, 1, 20260228, 20260226, 2},   {20280131, 1, 20280229, 20280301, -1},
        {20260505, 0, 20260505, 20250505, 365}, {20261031, 14, 20271231, 20280101, -1},
        {20271231, 3, 20280331, 20280331, 0}};
    for (const auto& [start, months, end, today, left] : cases) {
        const Date e = subscription_end(ClientRec{1, {}, {}, {}, date(start), 0, months, 0});
        EXPECT_EQ(e.year * 10000 + e.month * 100 + e.day, end) << start << " + " << months;
        EXPECT_EQ(days_between(date(today), e), left) << start << " on " << today;
    }
}
