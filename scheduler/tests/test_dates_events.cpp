#include "platform/clock.h"
#include "scheduler/date_rules.h"
#include "scheduler/event_class.h"

#include <gtest/gtest.h>

using namespace slotbook;
using vesper::makeDate;

namespace {

std::string text(DateTime dt) { return vesper::generalDate(dt); }

} // namespace

TEST(SlotbookDates, NextDailyKeepsEqualInstantAndMovesPastIt) {
    const DateTime ev = makeDate(2025, 1, 1, 20, 0, 0);
    EXPECT_EQ(text(Dates::NextDaily(ev, makeDate(2025, 1, 1, 20, 0, 0))), "1/1/2025 8:00:00 PM");
    EXPECT_EQ(text(Dates::NextDaily(ev, makeDate(2025, 1, 1, 20, 0, 1))), "1/2/2025 8:00:00 PM");
    EXPECT_EQ(text(Dates::NextDaily(ev, makeDate(2025, 3, 1, 8, 0, 0))), "3/1/2025 8:00:00 PM");
    // Earlier reference: the rule goes back to that day.
    EXPECT_EQ(text(Dates::NextDaily(ev, makeDate(2024, 12, 25, 21, 0, 0))), "12/26/2024 8:00:00 PM");
}

TEST(SlotbookDates, NextWeekdaySkipsTheWeekend) {
    const DateTime friday = makeDate(2025, 1, 3, 20, 0, 0);
    EXPECT_EQ(text(Dates::NextWeekday(friday, makeDate(2025, 1, 3, 21, 0, 0))), "1/6/2025 8:00:00 PM");
    EXPECT_EQ(text(Dates::NextWeekday(friday, makeDate(2025, 1, 4, 8, 0, 0))), "1/6/2025 8:00:00 PM");
    EXPECT_EQ(text(Dates::NextWeekday(friday, makeDate(2025, 1, 5, 22, 0, 0))), "1/6/2025 8:00:00 PM");
    EXPECT_EQ(text(Dates::NextWeekday(friday, makeDate(2025, 1, 7, 19, 0, 0))), "1/7/2025 8:00:00 PM");
}

TEST(SlotbookDates, NextWeeklyCountsSundayWeeksBothWays) {
    const DateTime wed = makeDate(2025, 1, 1, 20, 0, 0);
    EXPECT_EQ(text(Dates::NextWeekly(wed, makeDate(2025, 1, 13))), "1/15/2025 8:00:00 PM");
    EXPECT_EQ(text(Dates::NextWeekly(wed, makeDate(2025, 1, 16))), "1/22/2025 8:00:00 PM");
    EXPECT_EQ(text(Dates::NextWeekly(wed, makeDate(2025, 1, 19))), "1/22/2025 8:00:00 PM");
    EXPECT_EQ(text(Dates::NextWeekly(makeDate(2025, 1, 15, 20, 0, 0), makeDate(2025, 1, 6))), "1/8/2025 8:00:00 PM");
    // Across a year end, and the instant itself.
    EXPECT_EQ(text(Dates::NextWeekly(makeDate(2024, 12, 28, 23, 30, 0), makeDate(2025, 1, 4, 23, 30, 0))),
              "1/4/2025 11:30:00 PM");
}

TEST(SlotbookDates, ZeroReferenceMeansNow) {
    vesper::TestClock clock(makeDate(2025, 1, 8, 21, 0, 0)); // a Wednesday
    vesper::setClock(&clock);
    const DateTime ev = makeDate(2025, 1, 1, 20, 0, 0);
    EXPECT_EQ(text(Dates::NextDaily(ev, 0)), "1/9/2025 8:00:00 PM");
    EXPECT_EQ(text(Dates::NextWeekday(ev, 0)), "1/9/2025 8:00:00 PM");
    EXPECT_EQ(text(Dates::NextWeekly(ev, 0)), "1/15/2025 8:00:00 PM");
    vesper::setClock(nullptr);
}

TEST(SlotbookDates, WeekdayAndWeekNumbersBeforeTheEpoch) {
    // 30 December 1899 was a Saturday, 24 December 1899 a Sunday.
    EXPECT_EQ(Dates::weekdayOf(0), 7);
    EXPECT_EQ(Dates::weekdayOf(86400), 1);
    EXPECT_EQ(Dates::weekdayOf(-6 * 86400), 1);
    EXPECT_EQ(Dates::weekNumber(-6 * 86400), Dates::weekNumber(0));
    EXPECT_NE(Dates::weekNumber(86400), Dates::weekNumber(0));
    EXPECT_EQ(text(Dates::NextWeekly(makeDate(1899, 12, 1, 6, 0, 0), makeDate(1899, 12, 20))), "12/22/1899 6:00:00 AM");
}

TEST(EventsObjRecord, NewRecordAndSetToCopyWithoutSharing) {
    EventClass blank;
    EXPECT_TRUE(blank.oRepeat.isEmpty());
    EXPECT_EQ(blank.dt, 0);
    EXPECT_EQ(blank.channel, 0);
    EXPECT_FALSE(blank.bActive);

    EventClass named;
    named.oRepeat.every = "";
    EXPECT_FALSE(named.oRepeat.isEmpty()); // the empty string is a value

    EventClass src;
    src.dt = makeDate(2002, 4, 20, 20, 0, 0);
    src.channel = 3;
    src.duration = 60;
    src.bActive = true;
    src.filename = "News.wmv";
    src.oRepeat.every = "weekly";
    EventClass copy;
    copy.SetTo(src);
    copy.oRepeat.every = "once";
    EXPECT_EQ(*src.oRepeat.every, "weekly");
    EXPECT_EQ(copy.dt, src.dt);
    EXPECT_EQ(copy.channel, 3);
    EXPECT_EQ(copy.duration, 60);
    EXPECT_TRUE(copy.bActive);
    EXPECT_EQ(copy.filename, "News.wmv");
}
