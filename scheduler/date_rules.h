// The date rules that find the next occurrence of a repeating event. Each
// returns the first occurrence at or after `dtAfter` that keeps the time of
// day of `dtEvent`; a zero `dtAfter` means now. The result may lie before
// `dtEvent` when `dtAfter` does: the conflict test relies on that.
#pragma once

#include "platform/dates.h"

namespace slotbook::Dates {

using vesper::DateTime;

DateTime NextDaily(DateTime dtEvent, DateTime dtAfter);
// Monday to Friday.
DateTime NextWeekday(DateTime dtEvent, DateTime dtAfter);
// Weeks begin on Sunday.
DateTime NextWeekly(DateTime dtEvent, DateTime dtAfter);

// A date of the automation calendar (1 January 100 to 31 December 9999)
// taken to the whole second; error 6 outside it.
DateTime calendarDate(double d);

// Helpers on whole seconds shared with the conflict test.
long long dayNumber(long long seconds);  // calendar day, floor
long long weekNumber(long long seconds); // Sunday-based calendar week
int weekdayOf(long long seconds);        // Sunday = 1 ... Saturday = 7

} // namespace slotbook::Dates
