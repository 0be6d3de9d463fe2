// Calendar dates and the late fine.
#include "store/dates.h"

#include "store/datafile.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// Converts one strftime field of the local time to its number.
int32_t clock_field(const std::tm& local, const char* format) {
    char buffer[80];
    std::strftime(buffer, sizeof buffer, format, &local);
    return std::atoi(buffer);
}

bool is_thirty_day_month(int64_t m) {
    return m == 4 || m == 6 || m == 9 || m == 11;
}

bool is_long_month_before_december(int64_t m) {
    return m == 1 || m == 3 || m == 5 || m == 7 || m == 8 || m == 10;
}

struct WideDate {
    int64_t year, month, day;
};

int32_t clamp32(int64_t v) {
    return static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v);
}

Date narrow(WideDate d) {
    return Date{clamp32(d.year), clamp32(d.month), clamp32(d.day)};
}

// One carrying pass over month ends, the four checks in order, each at most
// once. Answers whether anything was carried.
bool carry_once(WideDate& d) {
    bool carried = false;
    if (d.month == 2 && d.day > 29) {
        d.month = 3;
        d.day -= 28;
        carried = true;
    }
    if (is_thirty_day_month(d.month) && d.day > 30) {
        d.month += 1;
        d.day -= 30;
        carried = true;
    }
    if (is_long_month_before_december(d.month) && d.day > 31) {
        d.month += 1;
        d.day -= 31;
        carried = true;
    }
    if (d.month == 12 && d.day > 31) {
        d.month = 1;
        d.year += 1;
        d.day -= 31;
        carried = true;
    }
    return carried;
}

WideDate due_wide(RentRec rental) {
    // A rent period below zero (a record written before such periods were
    // refused) counts as none: no disk is fined before the day it was rented.
    const int64_t days = rental.rentdays < 0 ? 0 : rental.rentdays;
    WideDate due{rental.rentdate.year, rental.rentdate.month,
                 static_cast<int64_t>(rental.rentdate.day) + days};
    // The first pass is the shop's rule; a rent period so long that the day
    // still exceeds its month is carried on until it fits, so the count of
    // late days can never come out below zero.
    while (carry_once(due)) {
    }
    return due;
}

// Sum of month lengths for the months first to last, both included.
int64_t months_between(int64_t first, int64_t last) {
    int64_t sum = 0;
    for (int64_t m = first < 1 ? 1 : first; m <= last && m <= 12; ++m)
        sum += month_length(static_cast<int>(m));
    return sum;
}

// The day's number on the shop's calendar: 365 days a year, the months
// before its month at their fixed lengths, then its day. Every count of days
// is a difference of two of these.
int64_t day_number(WideDate d) {
    return 365 * d.year + months_between(1, d.month - 1) + d.day;
}

bool wide_before(WideDate a, WideDate b) {
    if (a.year != b.year)
        return a.year < b.year;
    return a.month != b.month ? a.month < b.month : a.day < b.day;
}

WideDate wide(Date d) {
    return WideDate{d.year, d.month, d.day};
}

// Days today lies after the due day; 0 when it does not.
int64_t late_days(WideDate due, Date today) {
    return wide_before(due, wide(today)) ? day_number(wide(today)) - day_number(due) : 0;
}

bool is_leap_year(int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days of the month on the real calendar.
int64_t real_month_length(int64_t year, int64_t month) {
    return month == 2 && is_leap_year(year) ? 29 : month_length(static_cast<int>(month));
}

} // namespace

ClockTime clock_now() {
    std::tm local = local_now();
    return ClockTime{
        Date{clock_field(local, "%Y"), clock_field(local, "%m"), clock_field(local, "%d")},
        local.tm_hour, local.tm_min, local.tm_sec};
}

Date get_today() {
    return clock_now().date;
}

bool is_real_date(Date d) {
    return d.year >= 1 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
           d.day <= real_month_length(d.year, d.month);
}

std::string clock_stamp() {
    const ClockTime now = clock_now();
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02d-%02d%02d%02d", now.date.year % 10000,
                  now.date.month % 100, now.date.day % 100, now.hour % 100, now.minute % 100,
                  now.second % 100);
    return buffer;
}

int month_length(int month) {
    static constexpr int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month >= 1 && month <= 12 ? kLengths[month - 1] : 0;
}

Date due_date(RentRec rental) {
    return narrow(due_wide(rental));
}

int64_t late_days_on(RentRec rental, Date today) {
    return late_days(due_wide(rental), today);
}

int32_t late_fine_on(RentRec rental, int32_t rate, Date today) {
    int64_t days = late_days_on(rental, today);
    if (days <= 0)
        return 0;
    int64_t fine = days * rate;
    if (fine > INT32_MAX)
        return INT32_MAX;
    return fine < 0 ? 0 : static_cast<int32_t>(fine);
}

int32_t late_fine(RentRec rental, int32_t rate) {
    return late_fine_on(rental, rate, get_today());
}

Date hold_end(Date savedate) {
    WideDate d{savedate.year, savedate.month, static_cast<int64_t>(savedate.day) + 7};
    if (d.day > 28 && d.month == 2) {
        d.month = 3;
        d.day -= 28;
    }
    if (d.day > 30 && is_thirty_day_month(d.month)) {
        d.month += 1;
        d.day -= 30;
    }
    if (d.day > 31 && is_long_month_before_december(d.month)) {
        d.month += 1;
        d.day -= 31;
    }
    if (d.month == 12 && d.day > 31) {
        d.month = 1;
        d.day -= 31;
        d.year += 1;
    }
    return narrow(d);
}

Date subscription_end(ClientRec client) {
    const int64_t months =
        static_cast<int64_t>(client.subdate.year) * 12 + (client.subdate.month - 1) + client.months;
    const int64_t year = months >= 0 ? months / 12 : (months - 11) / 12;
    const int64_t month = months - year * 12 + 1;
    const int64_t last = real_month_length(year, month);
    return narrow(WideDate{year, month, client.subdate.day > last ? last : client.subdate.day});
}

int64_t days_between(Date from, Date to) {
    const int64_t days = day_number(wide(to)) - day_number(wide(from));
    if (days == 0 && date_before(from, to))
        return 1;
    return days == 0 && date_before(to, from) ? -1 : days;
}
