// Calendar dates and the late fine.
#include "store/dates.h"

#include <climits>
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

int64_t late_days(WideDate due, Date today) {
    if (today.year == due.year && today.month == due.month && today.day > due.day)
        return today.day - due.day;
    if (today.year == due.year && today.month > due.month)
        return today.day + (month_length(static_cast<int>(due.month)) - due.day) +
               months_between(due.month + 1, today.month - 1);
    if (today.year > due.year)
        return 365 * (today.year - due.year - 1) +
               (month_length(static_cast<int>(due.month)) - due.day) +
               months_between(due.month + 1, 12) + months_between(1, today.month - 1) + today.day;
    return 0;
}

} // namespace

Date get_today() {
    std::time_t rawtime = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &rawtime); // the Windows C runtime's reentrant form
#else
    localtime_r(&rawtime, &local);
#endif
    return Date{clock_field(local, "%Y"), clock_field(local, "%m"), clock_field(local, "%d")};
}

int month_length(int month) {
    static constexpr int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month >= 1 && month <= 12 ? kLengths[month - 1] : 0;
}

int32_t late_fine_on(RentRec rental, int32_t rate, Date today) {
    int64_t days = late_days(due_wide(rental), today);
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
