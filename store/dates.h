// Calendar dates: today's date from the clock, and the fine for a late
// rental on the shop's fixed calendar (February 28 days, 365-day years).
#pragma once

#include "store/records.h"

#include <string>

// Today's date in local time.
Date get_today();
// The local date and time now as YYYYMMDD-HHMMSS, which sorts as time does:
// the names of the folders of backups and of replaced files.
std::string clock_stamp();

// Days of each month on the shop's calendar; month 1 to 12.
int month_length(int month);

// The fine for a rental: late days past its due date times rate, 0 when it
// is not late. Reads today's date itself.
int32_t late_fine(RentRec rental, int32_t rate);
// The same, with today given.
int32_t late_fine_on(RentRec rental, int32_t rate, Date today);

// The last day a hold made on savedate stands (seven days on, carried over
// one month end; February counts 28 days, in leap years too).
Date hold_end(Date savedate);
