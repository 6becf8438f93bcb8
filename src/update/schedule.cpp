#include "update/schedule.h"

#include <chrono>
#include <cmath>

namespace {

constexpr int kDaysInWeek = 7;
// Day 0 of TDateTime, 30 December 1899.
constexpr std::chrono::sys_days kDateTimeEpoch = std::chrono::sys_days{std::chrono::year{1899} / 12 / 30};

} // namespace

TDateParts DatePartsOf(TDateTime value)
{
    using namespace std::chrono;
    // Before the epoch the fraction still counts forward from midnight, so the day is the truncated part.
    const auto dayCount = static_cast<long long>(std::trunc(value));
    const year_month_day ymd{kDateTimeEpoch + days{dayCount}};
    return {static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day())};
}

bool ScheduledCheckDue(std::uint8_t checkUpdates, const TDateParts& lastRun, const TDateParts& today)
{
    switch (checkUpdates) {
    case cuDaily:
        return today.Day > lastRun.Day;
    case cuWeekly:
        return static_cast<int>(lastRun.Day) < static_cast<int>(today.Day) - kDaysInWeek;
    case cuMonthly:
        return today.Month > lastRun.Month;
    default:
        return false;
    }
}
