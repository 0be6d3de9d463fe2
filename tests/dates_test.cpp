// The late fine and the seven-day hold on the shop's fixed calendar.
#include "shell/dates.h"

#include <ctime>
#include <gtest/gtest.h>

namespace {

RentRec rental(Date rented, int32_t days) {
    return RentRec{1, rented, 1, 1, days};
}

int32_t fine(Date rented, int32_t days, Date today) {
    return late_fine_on(rental(rented, days), 5, today);
}

// A hold made on savedate is released by the first update after its last day.
bool released(Date savedate, Date today) {
    return date_before(hold_end(savedate), today);
}

} // namespace

static bool operator==(Date a, Date b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

static std::ostream& operator<<(std::ostream& os, Date d) {
    return os << d.year << '-' << d.month << '-' << d.day;
}

// ---- Due dates: the rent days added to the day, carried over month ends.

TEST(DueDate, IsCarriedOverAMonthEnd) {
    EXPECT_EQ(due_date(rental({2009, 3, 10}, 3)), (Date{2009, 3, 13}));
    EXPECT_EQ(due_date(rental({2009, 1, 30}, 3)), (Date{2009, 2, 2}));
    EXPECT_EQ(due_date(rental({2009, 4, 29}, 3)), (Date{2009, 5, 2}));
    EXPECT_EQ(due_date(rental({2009, 2, 27}, 3)), (Date{2009, 3, 2}));
    EXPECT_EQ(due_date(rental({2008, 12, 30}, 5)), (Date{2009, 1, 4}));
}

TEST(DueDate, Day29OfFebruaryStaysInFebruary) {
    EXPECT_EQ(due_date(rental({2009, 2, 27}, 2)), (Date{2009, 2, 29}));
}

// ---- The late fine, 5 a day.

TEST(LateFine, OnTimeAndLateInTheSameMonth) {
    EXPECT_EQ(fine({2009, 3, 10}, 3, {2009, 3, 13}), 0);
    EXPECT_EQ(fine({2009, 3, 10}, 3, {2009, 3, 14}), 5);
    EXPECT_EQ(fine({2009, 3, 10}, 3, {2009, 3, 20}), 35);
}

TEST(LateFine, DueDayCarriedIntoTheNextMonth) {
    EXPECT_EQ(fine({2009, 1, 30}, 3, {2009, 2, 5}), 15);
    EXPECT_EQ(fine({2009, 2, 27}, 3, {2009, 3, 2}), 0);
    EXPECT_EQ(fine({2009, 2, 27}, 3, {2009, 3, 3}), 5);
    EXPECT_EQ(fine({2009, 4, 29}, 3, {2009, 5, 2}), 0);
    EXPECT_EQ(fine({2009, 4, 29}, 3, {2009, 5, 3}), 5);
}

TEST(LateFine, DueOnFebruary29CountsOneDayPastFebruary28) {
    EXPECT_EQ(fine({2009, 2, 27}, 2, {2009, 3, 1}), 0);
    EXPECT_EQ(fine({2009, 2, 27}, 2, {2009, 3, 2}), 5);
}

TEST(LateFine, DueDayCarriedIntoTheNextYear) {
    EXPECT_EQ(fine({2008, 12, 30}, 5, {2009, 1, 4}), 0);
    EXPECT_EQ(fine({2008, 12, 30}, 5, {2009, 1, 10}), 30);
}

TEST(LateFine, CountsWholeMonthsBetween) {
    // Due 2009-01-31, today 2009-03-01: 0 left of January, 28 of February, 1.
    EXPECT_EQ(fine({2009, 1, 28}, 3, {2009, 3, 1}), 145);
    // Due 2008-11-20, today 2009-01-05: 10 + 31 + 5 days.
    EXPECT_EQ(fine({2008, 11, 17}, 3, {2009, 1, 5}), 230);
    // Due 2007-06-15, today 2009-06-15: two 365-day years.
    EXPECT_EQ(fine({2007, 6, 12}, 3, {2009, 6, 15}), 3650);
}

TEST(LateFine, LeapDaysAreNotCounted) {
    EXPECT_EQ(fine({2008, 2, 17}, 3, {2008, 2, 29}), 45); // today the leap day itself
    EXPECT_EQ(fine({2008, 2, 25}, 3, {2008, 3, 1}), 5);   // due February 28
}

TEST(LateFine, NothingBeforeTheDueDate) {
    EXPECT_EQ(fine({2009, 3, 10}, 3, {2009, 3, 11}), 0);
    EXPECT_EQ(fine({2009, 3, 10}, 3, {2009, 2, 28}), 0);
    EXPECT_EQ(fine({2009, 3, 10}, 3, {2008, 12, 31}), 0);
    EXPECT_EQ(fine({2009, 3, 10}, 3, {2008, 4, 20}), 0);
}

// 31 days from 31 January leave day 31 of February after one carry; the due
// date is carried on to 3 March so a return before it never owes less than 0.
TEST(LateFine, AVeryLongRentIsCarriedUntilTheDayFits) {
    EXPECT_EQ(due_date(rental({2009, 1, 31}, 31)), (Date{2009, 3, 3}));
    EXPECT_EQ(fine({2009, 1, 31}, 31, {2009, 3, 1}), 0);
    EXPECT_EQ(fine({2009, 1, 31}, 31, {2009, 3, 3}), 0);
    EXPECT_EQ(fine({2009, 1, 31}, 31, {2009, 3, 5}), 10);
}

TEST(LateFine, ReadsTodayFromTheClock) {
    Date now = get_today();
    EXPECT_EQ(late_fine(rental(now, 0), 5), 0);
    EXPECT_EQ(late_fine(rental({now.year - 1, now.month, now.day}, 0), 5), 365 * 5);
}

// ---- Today's date.

TEST(Today, IsTheLocalDateYearFirst) {
    std::time_t raw = std::time(nullptr);
    std::tm local{};
    localtime_r(&raw, &local);
    Date today = get_today();
    if (today.day != local.tm_mday) { // the clock passed midnight in between
        raw = std::time(nullptr);
        localtime_r(&raw, &local);
    }
    EXPECT_EQ(today, (Date{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday}));
}

// ---- The seven-day hold: stands through its last day, released the day after.

TEST(Hold, DatedLateJanuaryRunsIntoFebruary) {
    EXPECT_EQ(hold_end({2009, 1, 25}), (Date{2009, 2, 1}));
    EXPECT_FALSE(released({2009, 1, 25}, {2009, 2, 1}));
    EXPECT_TRUE(released({2009, 1, 25}, {2009, 2, 2}));
}

TEST(Hold, FebruaryCounts28DaysInLeapYearsToo) {
    EXPECT_EQ(hold_end({2009, 2, 22}), (Date{2009, 3, 1}));
    EXPECT_EQ(hold_end({2008, 2, 22}), (Date{2008, 3, 1}));
    EXPECT_EQ(hold_end({2009, 2, 28}), (Date{2009, 3, 7}));
    EXPECT_EQ(hold_end({2008, 2, 28}), (Date{2008, 3, 7}));
    EXPECT_FALSE(released({2008, 2, 22}, {2008, 3, 1}));
    EXPECT_TRUE(released({2008, 2, 22}, {2008, 3, 2}));
}

TEST(Hold, ThirtyDayMonths) {
    EXPECT_EQ(hold_end({2009, 4, 24}), (Date{2009, 5, 1}));
    EXPECT_EQ(hold_end({2009, 4, 23}), (Date{2009, 4, 30}));
    EXPECT_TRUE(released({2009, 4, 23}, {2009, 5, 1}));
}

TEST(Hold, DatedLateDecemberRunsIntoTheNextYear) {
    EXPECT_EQ(hold_end({2008, 12, 25}), (Date{2009, 1, 1}));
    EXPECT_FALSE(released({2008, 12, 25}, {2009, 1, 1}));
    EXPECT_TRUE(released({2008, 12, 25}, {2009, 1, 2}));
}

TEST(Hold, UpToSevenDaysOldIsLeftAlone) {
    for (int day = 3; day <= 10; ++day)
        EXPECT_FALSE(released({2009, 3, day}, {2009, 3, 10})) << "dated day " << day;
    EXPECT_TRUE(released({2009, 3, 2}, {2009, 3, 10}));
}
