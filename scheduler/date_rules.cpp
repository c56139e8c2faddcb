#include "scheduler/date_rules.h"

#include "platform/clock.h"
#include "platform/errors.h"

namespace slotbook::Dates {

namespace {

constexpr long long kDay = 86400;

long long floorDiv(long long a, long long b) {
    long long q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

long long afterSeconds(DateTime dtAfter) {
    long long s = vesper::toSeconds(dtAfter);
    if (s == 0) s = vesper::toSeconds(vesper::now());
    return s;
}

long long nextDailySeconds(long long event, long long after) {
    long long candidate = event + (dayNumber(after) - dayNumber(event)) * kDay;
    if (candidate < after) candidate += kDay;
    return candidate;
}

} // namespace

DateTime calendarDate(double d) {
    constexpr double kFirstDate = -657434.0; // 1 January 100
    constexpr double kLastDate = 2958466.0;  // the day after 31 December 9999
    if (!(d >= kFirstDate && d < kLastDate)) vesper::raiseError(vesper::err::Overflow);
    return vesper::roundToSecond(d);
}

long long dayNumber(long long seconds) { return floorDiv(seconds, kDay); }

// Day 1 of the automation calendar (31 December 1899) is a Sunday.
long long weekNumber(long long seconds) { return floorDiv(dayNumber(seconds) - 1, 7); }

int weekdayOf(long long seconds) {
    const long long d = dayNumber(seconds);
    return static_cast<int>(d - 1 - floorDiv(d - 1, 7) * 7) + 1;
}

DateTime NextDaily(DateTime dtEvent, DateTime dtAfter) {
    return vesper::fromSeconds(nextDailySeconds(vesper::toSeconds(dtEvent), afterSeconds(dtAfter)));
}

DateTime NextWeekday(DateTime dtEvent, DateTime dtAfter) {
    long long candidate = nextDailySeconds(vesper::toSeconds(dtEvent), afterSeconds(dtAfter));
    const int wd = weekdayOf(candidate);
    if (wd == 7)
        candidate += 2 * kDay;
    else if (wd == 1)
        candidate += kDay;
    return vesper::fromSeconds(candidate);
}

DateTime NextWeekly(DateTime dtEvent, DateTime dtAfter) {
    const long long event = vesper::toSeconds(dtEvent);
    const long long after = afterSeconds(dtAfter);
    long long candidate = event + (weekNumber(after) - weekNumber(event)) * 7 * kDay;
    if (candidate < after) candidate += 7 * kDay;
    return vesper::fromSeconds(candidate);
}

} // namespace slotbook::Dates
