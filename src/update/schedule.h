// When the scheduled update check runs: a decision on the date parts of the previous start and today.
#pragma once

#include "core/settings.h"

#include <cstdint>

// Values of the CheckUpdates setting.
enum TCheckUpdates : std::uint8_t
{
    cuNever = 0,
    cuDaily = 1,
    cuWeekly = 2,
    cuMonthly = 3,
};

struct TDateParts
{
    int Year = 0;
    unsigned Month = 0;
    unsigned Day = 0;
};

TDateParts DatePartsOf(TDateTime value);

// Compares date parts only, never whole dates, as the Windows edition always has: daily when today's day
// of the month is later than the previous start's, weekly when the previous start's day is more than
// seven below today's, monthly when today's month number is greater. So a daily check skips the first
// start of a new month, and a monthly one skips January. Any other setting checks never.
bool ScheduledCheckDue(std::uint8_t checkUpdates, const TDateParts& lastRun, const TDateParts& today);
