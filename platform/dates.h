// Automation dates: days since 30 December 1899 00:00 as a double, the fraction
// being the time of day, one-second resolution. Formatting and parsing follow
// English (United States) conventions with a 12-hour clock.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vesper {

using DateTime = double;

struct DateParts {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Builds a date; month and day out of range roll over as in DateSerial, the
// time parts likewise as in TimeSerial.
DateTime makeDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
DateTime makeDate(const DateParts& parts);
// Splits a date into its calendar parts, rounded to the nearest second.
DateParts splitDate(DateTime dt);

// Rounds to the nearest whole second.
DateTime roundToSecond(DateTime dt);
// Weekday with Sunday = 1 ... Saturday = 7.
int weekday(DateTime dt);
// Midnight at the start of the date's day.
DateTime dayStart(DateTime dt);
// Midnight of the Sunday that begins the date's week.
DateTime weekStart(DateTime dt);
// The time of day alone, as a fraction of a day in [0, 1).
DateTime timeOfDay(DateTime dt);

// Whole seconds since the epoch of the automation date, for exact comparison.
long long toSeconds(DateTime dt);
DateTime fromSeconds(long long seconds);

// Local wall-clock conversion of a Unix time and back.
DateTime fromUnixLocal(long long unixSeconds);
long long toUnixLocal(DateTime dt);
// The instant a wall-clock time of the local zone first shows: in the hour a
// daylight-saving change repeats, its first pass; in the hour a change skips,
// the change itself (the first valid instant after it).
long long firstInstantOf(DateTime dt);

// Formats a date with a classic format string: d dd ddd dddd, m mm mmm mmmm,
// yy yyyy, h hh, n nn, s ss, AMPM / AM/PM / am/pm / A/P, literal text and
// separators; letters are not case-sensitive and "m" right after an hour means
// minutes.
std::string formatDate(DateTime dt, std::string_view format);
// The general date form: "4/20/2002 8:00:00 PM"; a date at midnight is the date
// alone, and a time with no date part is the time alone.
std::string generalDate(DateTime dt);
std::string shortDate(DateTime dt); // "4/20/2002"
std::string longTime(DateTime dt);  // "8:00:00 PM"

// Parses the general date form and its parts: "4/20/2002 8:00:00 PM",
// "4/20/2002", "4/20/2002 8:00 PM", "8:00:00 PM", "2002-04-20", with the
// 12-hour clock (12 AM is just after midnight, 12 PM just after noon).
std::optional<DateTime> parseDate(std::string_view text);

// Formats a number with a classic numeric format: "0", "000", "##,###",
// "##,###.0", "#,##0.00" and the like (digit placeholders 0 and #, one
// decimal point, thousands grouping by a comma in the integer part).
std::string formatNumber(double value, std::string_view format);

} // namespace vesper
