// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <ctime>
#include <string>

namespace pingvard {

// The regional settings the timestamp is rendered with. The defaults are the
// fallbacks used for any setting the locale cannot supply.
//
// Short-date picture letters: d (day), dd (day, two digits), ddd / dddd
// (abbreviated / full day name), M or m (month), MM or mm (two digits), MMM /
// MMMM (abbreviated / full month name), y or yy (two-digit year), yyy or more
// (full year), g (era, empty for this calendar). "/" stands for DateSeparator.
// Text in single or double quotes is copied as it is; any other character too.
struct TRegionalSettings {
    std::string ShortDatePicture = "M/d/yy";
    char DateSeparator = '/';
    char TimeSeparator = ':';
    bool Clock24 = false;
    bool HourLeadingZero = false;
    bool MarkerBeforeTime = false; // 12-hour clock only
    std::string AmText = "am";
    std::string PmText = "pm";
    std::array<std::string, 7> ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::array<std::string, 7> LongDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                               "Thursday", "Friday", "Saturday"};
    std::array<std::string, 12> ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::array<std::string, 12> LongMonthNames = {"January",   "February", "March",    "April",
                                                  "May",       "June",     "July",     "August",
                                                  "September", "October",  "November", "December"};
};

// The settings of the user's LC_TIME locale (LC_ALL, LC_TIME, LANG), read with
// nl_langinfo_l without touching the process locale. D_FMT becomes the
// short-date picture and date separator when every conversion in it has a
// picture letter (%d %e %m %y %Y %b %h %B %a %A %D %F, glibc's %-d %-m),
// T_FMT gives the clock (%H %k: 24-hour, %I %l: 12-hour), the leading zero
// (%H %I: yes, %k %l %-H %-I: no), the separator (the character after the hour)
// and the marker position (%p before the hour); AM_STR / PM_STR the marker
// texts when not empty. Whatever does not map keeps its fallback.
TRegionalSettings ReadRegionalSettings();

// Maps strftime-style formats onto the settings; exposed for tests.
void ApplyDateFormat(TRegionalSettings& settings, const std::string& dFmt);
void ApplyTimeFormat(TRegionalSettings& settings, const std::string& tFmt);

// The timestamp rule: the date in the short-date picture, then, unless the time
// is exactly 00:00:00, a blank and the time (hour, separator, two-digit minutes,
// separator, two-digit seconds, with the am/pm marker on a 12-hour clock).
std::string FormatTimestamp(const std::tm& time, const TRegionalSettings& settings);

// The current local time rendered with the settings read at the first call.
std::string LocalTimestamp();
// Another moment (a refused restart's "until") by the same rule.
std::string LocalTimestampAt(std::time_t when);

} // namespace pingvard
