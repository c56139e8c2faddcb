// The guide's queries for a grid, a search and a mapping window, and series
// rules across imports, on the samples read in central European time.
#include "listings/guide_store.h"
#include "listings/tests/listings_test_support.h"
#include "listings/xmltv_time.h"
#include "platform/registry.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace vesper::listings;
using namespace vesper::listings::test;

namespace {

class Guide : public ::testing::Test {
protected:
    void SetUp() override {
        useCentralEuropeanTime();
        ASSERT_TRUE(store.open(freshDatabase())) << store.error().toStdString();
        ASSERT_TRUE(store.importXmltvFile(sample("sample.xml")).ok);
    }
    QStringList titles(const QList<Programme>& list) {
        QStringList out;
        for (const Programme& p : list)
            out << p.title;
        return out;
    }
    QStringList dayTitles(int month, int day) {
        return titles(store.dayProgrammes(vesper::makeDate(2030, month, day, 12)));
    }
    GuideStore store;
};

} // namespace

TEST_F(Guide, ChannelsTakeTheirNumbersFromTheNamesAndKeepTheUsersChoice) {
    const auto channels = store.channels();
    ASSERT_EQ(channels.size(), 4);
    EXPECT_EQ(channels[0].id, "kxyz.example.org");
    EXPECT_EQ(channels[0].displayNames, QStringList({"KXYZ", "12 KXYZ"}));
    EXPECT_EQ(channels[0].number, 12); // the first number of any name
    EXPECT_EQ(channels[1].number, 4);
    EXPECT_EQ(channels[2].number, 0); // 200: no tuner channel
    EXPECT_EQ(channels[3].name, "Arts & Opera");
    EXPECT_EQ(channels[3].number, 0);

    EXPECT_FALSE(store.setChannelNumber("arts.example.org", 1));
    EXPECT_FALSE(store.setChannelNumber("arts.example.org", 182));
    EXPECT_TRUE(store.setChannelNumber("arts.example.org", 181));
    EXPECT_TRUE(store.clearChannelNumber("kxyz.example.org"));
    EXPECT_EQ(dayTitles(3, 31), QStringList({"World Report", "Breakfast News", "Opera Tonight"}));

    // The choices outlive a new import of the same channels.
    ASSERT_TRUE(store.importXmltvFile(sample("sample.xml")).ok);
    const auto again = store.channels();
    EXPECT_EQ(again[0].number, 0);
    EXPECT_TRUE(again[0].userMapped);
    EXPECT_EQ(again[0].defaultNumber, 12);
    EXPECT_EQ(again[3].number, 181);
    EXPECT_TRUE(store.resetChannelNumber("kxyz.example.org"));
    EXPECT_EQ(store.channels()[0].number, 12);
    EXPECT_FALSE(store.channels()[0].userMapped);

    EXPECT_EQ(defaultChannelNumber({"BBC One", "Sky 1", "Channel 5"}), 0); // 1 comes first
    EXPECT_EQ(defaultChannelNumber({"ZDF", "ZDF2 HD"}), 2);
    EXPECT_EQ(defaultChannelNumber({"Cable 00000000000000000000000000007"}), 0);
}

TEST_F(Guide, ADayIsTheLocalDayAcrossTheClockChange) {
    // 31 March 2030 has 23 hours here.
    const UtcRange day = localDayRange(vesper::makeDate(2030, 3, 31, 20));
    EXPECT_EQ(day.begin, utc(2030, 3, 30, 23));
    EXPECT_EQ(day.end - day.begin, 23 * 3600);

    // Mapped channels by number, then by start; a programme over midnight
    // belongs to both days; unmapped channels stay out.
    EXPECT_EQ(dayTitles(3, 31), QStringList({"World Report", "Breakfast News", "Night Owls", "The News"}));
    EXPECT_EQ(dayTitles(3, 30), QStringList({"The News", "Late Film", "Night Owls"}));
    EXPECT_EQ(dayTitles(4, 1), QStringList({"NEWSNIGHT"}));
    EXPECT_TRUE(dayTitles(4, 2).isEmpty());

    // Night Owls: 23:00 CET to 03:30 CEST is three and a half hours.
    const Programme owls = store.search("owls", 1).value(0);
    EXPECT_EQ(vesper::generalDate(localTime(owls.startUtc)), "3/30/2030 11:00:00 PM");
    EXPECT_EQ(vesper::generalDate(localTime(owls.stopUtc)), "3/31/2030 3:30:00 AM");
    EXPECT_EQ(owls.lengthMinutes(), 210);
    // A UTC time without a zone, shown in summer time.
    EXPECT_EQ(vesper::generalDate(localTime(store.search("newsnight", 1).value(0).startUtc)), "4/1/2030 8:00:00 PM");
}

TEST_F(Guide, SearchFindsPartsOfTitlesInAnyCase) {
    EXPECT_EQ(titles(store.search("NEWS", 10)), QStringList({"The News", "Breakfast News", "The News", "NEWSNIGHT"}));
    EXPECT_EQ(titles(store.search(" news ", 2)), QStringList({"The News", "Breakfast News"}));
    // Only what has not ended by then.
    EXPECT_EQ(titles(store.search("news", 10, utc(2030, 3, 31, 16, 30))), QStringList({"The News", "NEWSNIGHT"}));
    // Text is text: no wildcards.
    EXPECT_TRUE(store.search("%", 10).isEmpty());
    EXPECT_TRUE(store.search("_", 10).isEmpty());
    EXPECT_TRUE(store.search("news", 0).isEmpty());
}

TEST_F(Guide, SeriesRulesOfferEachNewShowingOnce) {
    const qint64 rule = store.addSeriesRule("the NEWS", "kxyz.example.org");
    ASSERT_NE(rule, 0);
    EXPECT_EQ(store.addSeriesRule("The News", "kxyz.example.org"), rule);
    EXPECT_EQ(store.addSeriesRule("", "kxyz.example.org"), 0);

    // From the evening of 30 March on: both showings on KXYZ, not Newsline's.
    const qint64 from = utc(2030, 3, 30, 12);
    auto showings = store.newSeriesShowings(from);
    ASSERT_EQ(showings.size(), 2);
    EXPECT_EQ(showings[0].programme.startUtc, utc(2030, 3, 30, 18));
    EXPECT_EQ(showings[1].programme.startUtc, utc(2030, 3, 31, 16));
    EXPECT_EQ(showings[1].programme.tunerChannel, 12);
    // One is on the schedule already: it counts as handled.
    showings = store.newSeriesShowings(from, [](const Programme& p) { return p.startUtc == utc(2030, 3, 30, 18); });
    ASSERT_EQ(showings.size(), 1);
    ASSERT_TRUE(store.markSeriesShowingsHandled(showings));
    EXPECT_TRUE(store.newSeriesShowings(from).isEmpty());

    // Newer listings repeat the 31 March showing and add one on 1 April.
    ASSERT_TRUE(store.importXmltvFile(sample("newer.xml")).ok);
    showings = store.newSeriesShowings(from);
    ASSERT_EQ(showings.size(), 1);
    EXPECT_EQ(showings[0].programme.title, "the news");
    EXPECT_EQ(showings[0].programme.startUtc, utc(2030, 4, 1, 16));
    EXPECT_EQ(showings[0].ruleId, rule);
    // Showings already begun are not offered.
    EXPECT_TRUE(store.newSeriesShowings(utc(2030, 4, 1, 17)).isEmpty());

    ASSERT_EQ(store.seriesRules().size(), 1);
    EXPECT_EQ(store.seriesRules()[0].title, "the NEWS");
    EXPECT_TRUE(store.removeSeriesRule(rule));
    EXPECT_TRUE(store.seriesRules().isEmpty());
    EXPECT_TRUE(store.newSeriesShowings(from).isEmpty());
}

TEST(GuideDatabase, RefusesWhatIsNotAGuideDatabase) {
    const QString path = freshDatabase();
    QFile junk(path);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    GuideStore store;
    EXPECT_FALSE(store.open(path));
    EXPECT_NE(store.error().indexOf("is not a guide database"), -1) << store.error().toStdString();
    EXPECT_FALSE(store.importXmltvFile(sample("sample.xml")).ok);
    EXPECT_TRUE(store.search("news", 10).isEmpty());
    QFile check(path);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), QByteArray(4096, 'x')); // left as it was

    // Another program's database (the registry hive) is left alone too.
    ASSERT_TRUE(vesper::registry::setString("Software\\Test", "sValue", "kept"));
    const QString hive = QString::fromStdString(vesper::registry::hivePath());
    EXPECT_FALSE(store.open(hive));
    EXPECT_NE(store.error().indexOf("holds tables of another kind"), -1) << store.error().toStdString();
    EXPECT_EQ(vesper::registry::queryValue("Software\\Test", "sValue")->text, "kept");

    const QString folder = QString::fromStdString(vesper::test::makeFolder("a-folder"));
    EXPECT_FALSE(store.open(folder));
    EXPECT_NE(store.error().indexOf("is a folder"), -1);
}
