// The late fine and the seven-day hold on the shop's fixed calendar.
#include "shell/dates.h"

#include <gtest/gtest.h>

namespace {

RentRec rental(Date rented, int32_t days) {
    return RentRec{1, rented, 1, 1, days};
}

int32_t fine(Date rented, int32_t days, Date today) {
    return late_fine_on(rental(rented, days), 5, today);
}

} // namespace

TEST(LateFine, OnTimeAndLateInTheSameMonth) {
    EXPECT_EQ(fine({2009, 3, 10}, 3, {2009, 3, 13}), 0);
    EXPECT_EQ(fine({2009, 3, 10}, 3, {2009, 3, 14}), 5);
    EXPECT_EQ(fine({2009, 3, 10}, 3, {2009, 3, 20}), 35);
}
