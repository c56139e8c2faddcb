#include "platform/dates.h"

#include <gtest/gtest.h>

using namespace vesper;

namespace {
const DateTime kEvening = makeDate(2002, 4, 20, 20, 5, 9); // a Saturday
const DateTime kNoon = makeDate(2002, 4, 20, 12, 0, 0);
const DateTime kMidnight = makeDate(2002, 4, 20, 0, 0, 0);
} // namespace

TEST(Dates, SerialNumbersAndParts) {
    EXPECT_DOUBLE_EQ(makeDate(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(makeDate(1900, 1, 1), 2.0);
    EXPECT_DOUBLE_EQ(makeDate(2002, 4, 20), 37366.0);
    EXPECT_DOUBLE_EQ(makeDate(2002, 4, 20, 18), 37366.75);
    EXPECT_DOUBLE_EQ(makeDate(2002, 13, 1), makeDate(2003, 1, 1));
    EXPECT_DOUBLE_EQ(makeDate(2002, 3, 0), makeDate(2002, 2, 28));
    const DateParts p = splitDate(kEvening);
    EXPECT_EQ(p.year, 2002);
    EXPECT_EQ(p.month, 4);
    EXPECT_EQ(p.day, 20);
    EXPECT_EQ(p.hour, 20);
    EXPECT_EQ(p.minute, 5);
    EXPECT_EQ(p.second, 9);
    // Negative serials keep a positive time of day: -1.25 is 29 Dec 1899 06:00.
    const DateParts n = splitDate(-1.25);
    EXPECT_EQ(n.day, 29);
    EXPECT_EQ(n.hour, 6);
    EXPECT_DOUBLE_EQ(makeDate(1899, 12, 29, 6), -1.25);
}

TEST(Dates, WeekdaysAndBoundaries) {
    EXPECT_EQ(weekday(kEvening), 7);              // Saturday
    EXPECT_EQ(weekday(makeDate(2002, 4, 21)), 1); // Sunday
    EXPECT_DOUBLE_EQ(dayStart(kEvening), makeDate(2002, 4, 20));
    EXPECT_DOUBLE_EQ(weekStart(kEvening), makeDate(2002, 4, 14));
    EXPECT_DOUBLE_EQ(weekStart(makeDate(2002, 4, 21, 1)), makeDate(2002, 4, 21));
    EXPECT_NEAR(timeOfDay(kNoon), 0.5, 1e-12);
}

TEST(Dates, EveryFormatOfTheProgram) {
    EXPECT_EQ(formatDate(kEvening, "mm/dd/yyyy hh:mm:ss ampm"), "04/20/2002 08:05:09 PM");
    EXPECT_EQ(formatDate(kNoon, "mm/dd/yyyy hh:mm:ss ampm"), "04/20/2002 12:00:00 PM");
    EXPECT_EQ(formatDate(kMidnight, "mm/dd/yyyy hh:mm:ss ampm"), "04/20/2002 12:00:00 AM");
    EXPECT_EQ(formatDate(kEvening, "dddd  |  mmmm d, yyyy  |  hh:mm:ss AMPM"),
              "Saturday  |  April 20, 2002  |  08:05:09 PM");
    EXPECT_EQ(formatDate(kEvening, "mmm d"), "Apr 20");
    EXPECT_EQ(formatDate(kEvening, "dddd"), "Saturday");
    EXPECT_EQ(formatDate(kEvening, "hh:mm AMPM"), "08:05 PM");
    EXPECT_EQ(formatDate(kMidnight, "hh:mm AMPM"), "12:00 AM");
    EXPECT_EQ(formatDate(kNoon, "hh:mm AMPM"), "12:00 PM");
    EXPECT_EQ(formatDate(makeDate(1899, 12, 30, 1, 30), "h:mm"), "1:30");
    EXPECT_EQ(formatDate(0, "h:mm"), "0:00");
    EXPECT_EQ(formatDate(kEvening, "ddd,  mmm d,  "), "Sat,  Apr 20,  ");
    EXPECT_EQ(formatDate(kEvening, "dddd,  mmmm d,  hh:mm:ss AMPM"), "Saturday,  April 20,  08:05:09 PM");
    EXPECT_EQ(formatDate(kEvening, "DDDD,  MMM D"), "Saturday,  Apr 20");
    EXPECT_EQ(formatDate(kEvening, "YYMMDD"), "020420");
    EXPECT_EQ(formatDate(kEvening, "YYMMDD-hhnn"), "020420-2005");
    EXPECT_EQ(formatDate(kMidnight, "YYMMDD-hhnn"), "020420-0000");
    EXPECT_EQ(formatDate(kEvening, "YYYY-MM-DD"), "2002-04-20");
}

TEST(Dates, NumberFormats) {
    EXPECT_EQ(formatNumber(7, "000"), "007");
    EXPECT_EQ(formatNumber(1234, "000"), "1234");
    EXPECT_EQ(formatNumber(1234567, "##,###"), "1,234,567");
    EXPECT_EQ(formatNumber(999, "##,###"), "999");
    EXPECT_EQ(formatNumber(0, "##,###"), "");
    EXPECT_EQ(formatNumber(1234.56, "##,###.0"), "1,234.6");
    EXPECT_EQ(formatNumber(0.25, "##,###.0"), ".3");
    EXPECT_EQ(formatNumber(250000000.0 / 1048576, "##,###.0"), "238.4");
}

TEST(Dates, GeneralDateFormAndItsMidnightRule) {
    EXPECT_EQ(generalDate(makeDate(2002, 4, 20, 20)), "4/20/2002 8:00:00 PM");
    EXPECT_EQ(generalDate(kMidnight), "4/20/2002");
    EXPECT_EQ(generalDate(makeDate(2002, 4, 20, 0, 0, 1)), "4/20/2002 12:00:01 AM");
    EXPECT_EQ(generalDate(makeDate(2002, 4, 20, 12, 30)), "4/20/2002 12:30:00 PM");
    EXPECT_EQ(generalDate(makeDate(1899, 12, 30, 8)), "8:00:00 AM");
    for (DateTime dt : {kEvening, kNoon, kMidnight, makeDate(1999, 12, 31, 23, 59, 59)})
        EXPECT_DOUBLE_EQ(*parseDate(generalDate(dt)), dt) << generalDate(dt);
}

TEST(Dates, ParsingTheTextsTheProgramBuilds) {
    EXPECT_DOUBLE_EQ(*parseDate("4/20/2002 8:00:00 PM"), makeDate(2002, 4, 20, 20));
    EXPECT_DOUBLE_EQ(*parseDate("4/20/2002"), makeDate(2002, 4, 20));
    EXPECT_DOUBLE_EQ(*parseDate("4/20/2002 12:15 AM"), makeDate(2002, 4, 20, 0, 15));
    EXPECT_DOUBLE_EQ(*parseDate("4/20/2002 12:15 PM"), makeDate(2002, 4, 20, 12, 15));
    EXPECT_DOUBLE_EQ(*parseDate("04/20/2002 20:00:00"), makeDate(2002, 4, 20, 20));
    EXPECT_DOUBLE_EQ(*parseDate("2002-04-20"), makeDate(2002, 4, 20));
    EXPECT_DOUBLE_EQ(*parseDate("4/20/02"), makeDate(2002, 4, 20));
    EXPECT_DOUBLE_EQ(*parseDate("8:00:00 PM"), makeDate(1899, 12, 30, 20));
    for (const char* bad : {"", "hello", "2/30/2002", "13/1/2002", "4/20/2002 13:00 PM", "4/20/2002 8:00 PMX",
                            "4/20/2002,", "4/20/2002 25:00", "99999/1/1", "4/20/2002 8:60"})
        EXPECT_FALSE(parseDate(bad).has_value()) << bad;
}
