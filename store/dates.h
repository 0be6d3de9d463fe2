// Calendar dates: today's date from the clock, and the counter's arithmetic
// of days on the shop's fixed calendar (February 28 days, 365-day years): the
// due day and late fine of a rental, the last day of a hold and of a
// subscription. The desks and the owner's reports use these alone.
#pragma once

#include "store/records.h"

#include <string>

// The fine booked for each day a disk comes back late.
inline constexpr int32_t kDayFine = 5;

// The local date and time now: the one reading of the clock, from which
// every date and time of the program comes.
struct ClockTime {
    Date date;
    int32_t hour, minute, second;
};
ClockTime clock_now();
// Today's date in local time (clock_now's date).
Date get_today();
// The local date and time now as YYYYMMDD-HHMMSS, which sorts as time does:
// the names of the folders of backups and of replaced files.
std::string clock_stamp();

// Whether d is a day of the real calendar (leap years included): year 1 or
// later, month 1 to 12, a day its month has.
bool is_real_date(Date d);

// Days of each month on the shop's calendar; month 1 to 12.
int month_length(int month);

// The due day of a rental: its rent days added to the rental date, carried
// over month ends (a due day of 29 February stays in February).
Date due_date(RentRec rental);
// The days a rental is late on today, counted from its due day; 0 when it
// is not late.
int64_t late_days_on(RentRec rental, Date today);

// The fine for a rental: late days past its due date times rate, 0 when it
// is not late. Reads today's date itself.
int32_t late_fine(RentRec rental, int32_t rate);
// The same, with today given.
int32_t late_fine_on(RentRec rental, int32_t rate, Date today);

// The last day a hold made on savedate stands (seven days on, carried over
// one month end; February counts 28 days, in leap years too).
Date hold_end(Date savedate);

// The last day a client's subscription lets him in without paying: its
// months added to the subscription date, the day cut to the last day of a
// shorter month (29 February in a leap year).
Date subscription_end(ClientRec client);

// Days from one date to another on the shop's calendar (to - from; below 0
// when to comes first). A 29 February and the 1 March after it count as one
// day apart, in the order of the dates.
int64_t days_between(Date from, Date to);
