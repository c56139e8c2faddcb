// The main program's guide without a window: the import at start and then
// daily in the background, a failed import keeping the guide, a programme
// handed to the Add Event dialog as a listing page's document, and series
// rules scheduling new showings through the scheduler's conflict check.
#include "app/core/programme_guide.h"
#include "app/core/schedule_commands.h"
#include "app/core/tests/real_schedule_test.h"
#include "app/core/xml_program_event.h"

#include "listings/guide_settings.h"
#include "listings/tests/listings_test_support.h"
#include "listings/xmltv_time.h"
#include "platform/testing/event_loop.h"

#include <QFile>

#include <gtest/gtest.h>

namespace vesper::test {
namespace {

using listings::Programme;
using listings::test::sample;

// Noon on the Saturday before the clocks go forward, central European time.
const DateTime kSatNoon = makeDate(2030, 3, 30, 12, 0, 0);

class GuideTest : public RealScheduleTest {
protected:
    GuideTest() : RealScheduleTest(kSatNoon) {}
    void SetUp() override {
        RealScheduleTest::SetUp();
        coreApp();
        commands = std::make_unique<ScheduleCommands>(
            program, [this] { return scheduler; }, [] {});
        guide = std::make_unique<ProgrammeGuide>(
            *commands, [this](const std::string& d) { handedOver.push_back(d); }, listings::test::freshDatabase());
        QObject::connect(guide.get(), &ProgrammeGuide::importFinished, [this](bool) { ++imports; });
    }
    void TearDown() override {
        guide.reset();
        RealScheduleTest::TearDown();
    }
    // Waits for the import that is running to end.
    void waitImport() {
        const int until = imports + 1;
        ASSERT_TRUE(spinEventsUntil([&] { return imports >= until; }));
    }
    Programme first(const QString& title) {
        const QList<Programme> found = guide->store()->search(title, 1);
        return found.isEmpty() ? Programme{} : found.first();
    }

    TimeZoneScope zone{"CET-1CEST,M3.5.0,M10.5.0/3"};
    std::unique_ptr<ScheduleCommands> commands;
    std::unique_ptr<ProgrammeGuide> guide;
    std::vector<std::string> handedOver;
    int imports = 0;
};

TEST_F(GuideTest, ImportsAtStartThenDailyAndAFailureKeepsTheGuide) {
    ASSERT_TRUE(listings::writeGuideSource(sample("sample.xml"), {}));
    guide->checkDaily();
    EXPECT_FALSE(guide->importing()) << "nothing before start";

    guide->start();
    EXPECT_TRUE(guide->importing());
    EXPECT_EQ(guide->status(), "Importing listings ...");
    waitImport();
    EXPECT_EQ(guide->status(), "3/30/2030 12:00:00 PM: Imported 9 programmes on 4 channels");
    const int count = guide->store()->programmeCount();
    EXPECT_EQ(count, 9);

    // A broken file a day later: said, and the guide stays.
    const QString broken = QString::fromStdString(testFolder()) + "/broken.xml";
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<tv><programme start=\"20300330190000\" channel=\"x\"><title>Open");
    f.close();
    ASSERT_TRUE(listings::writeGuideSource(broken, {}));
    clock.set(kSatNoon + 0.99);
    guide->checkDaily();
    EXPECT_FALSE(guide->importing()) << "not a day yet";
    clock.set(kSatNoon + 1.01);
    guide->checkDaily();
    ASSERT_TRUE(guide->importing());
    waitImport();
    EXPECT_NE(guide->status().indexOf("Import failed: "), -1) << guide->status().toStdString();
    EXPECT_NE(guide->status().indexOf("the previous guide is kept"), -1);
    EXPECT_EQ(guide->store()->programmeCount(), count);
    EXPECT_EQ(guide->nextImport(), kSatNoon + 2.01);

    // No source at all is no failure: nothing runs.
    ASSERT_TRUE(listings::writeGuideSource({}, {}));
    EXPECT_FALSE(guide->importNow());
    EXPECT_EQ(guide->status(), "No listings source is set (sXmltvFile or sGrabberCommand)");
}

TEST_F(GuideTest, RecordHandsTheProgrammeOverAsAListingPageWould) {
    ASSERT_TRUE(guide->store()->importXmltvFile(sample("sample.xml")).ok);
    Programme p = first("Night Owls"); // 23:00 CET to 03:30 CEST, across the change
    ASSERT_EQ(p.tunerChannel, 12);
    p.title = "Owls & <Friends>";
    ASSERT_TRUE(guide->record(p));
    ASSERT_EQ(handedOver.size(), 1u);
    ASSERT_TRUE(SetXML(program, handedOver[0]));
    EXPECT_EQ(program.currentEvent.dt, makeDate(2030, 3, 30, 23, 0, 0));
    EXPECT_EQ(program.currentEvent.channel, 12);
    EXPECT_EQ(program.currentEvent.duration, 210);
    EXPECT_EQ(program.currentEvent.filename, "Owls And _Friends_");

    // A channel without a tuner number cannot be recorded yet.
    const Programme cable = first("Cable Talk");
    ASSERT_EQ(cable.tunerChannel, 0);
    EXPECT_FALSE(guide->record(cable));
    EXPECT_EQ(handedOver.size(), 1u);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].prompt.find("\"Cable 200\" has no tuner channel yet."), std::string::npos);
}

TEST_F(GuideTest, SeriesAddsNewShowingsAndListsTheConflictingOne) {
    ASSERT_TRUE(guide->store()->importXmltvFile(sample("sample.xml")).ok);
    // Sunday 17:30 to 18:30 on another channel: Sunday's news conflicts.
    commands->AddEvent(makeDate(2030, 3, 31, 17, 30, 0), 5, 60, true, "once", "Other.wmv");
    ASSERT_EQ(rows().size(), 1u);

    const Programme news = first("The News"); // Saturday 19:00 on 12
    ASSERT_EQ(news.startUtc, listings::test::utc(2030, 3, 30, 18));
    EXPECT_TRUE(guide->scheduledProgrammes({news}).isEmpty());
    EXPECT_GT(guide->recordSeries(news), 0);
    std::vector<GridRow> r = rows();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].when, "Sat,  Mar 30,  07:00 PM");
    EXPECT_EQ(r[0].chnl, "12");
    EXPECT_EQ(r[0].len, "1:00");
    EXPECT_EQ(r[0].filename, "The News.wmv");
    EXPECT_EQ(guide->scheduledProgrammes({news}), QSet<qint64>{news.id});
    QStringList problems = guide->seriesProblems();
    ASSERT_EQ(problems.size(), 1);
    EXPECT_EQ(problems[0].toStdString(),
              "Sun Mar 31, 06:00 PM  KXYZ  The News: conflicts with Other.wmv at Sun Mar 31, 05:30 PM");
    EXPECT_TRUE(ui.messages.empty()) << "listed, not asked";

    // Newer listings through the import: the new showing is added, the
    // conflicting one is not offered again.
    ASSERT_TRUE(listings::writeGuideSource(sample("newer.xml"), {}));
    ASSERT_TRUE(guide->importNow());
    waitImport();
    r = rows();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[2].when, "Mon,  Apr 1,  06:00 PM");
    EXPECT_EQ(r[2].chnl, "12");
    EXPECT_EQ(r[2].filename, "the news.wmv"); // named as that showing is titled
    EXPECT_EQ(guide->seriesProblems(), problems);
    guide->clearSeriesProblems();
    EXPECT_TRUE(guide->seriesProblems().isEmpty());
}

TEST(EventCoversProgramme, RepeatsChannelAndOverlap) {
    TimeZoneScope zone("UTC0");
    Programme p; // Wednesday 1 May 2030, 20:00 to 21:00
    p.tunerChannel = 7;
    p.startUtc = listings::utcFromLocal(makeDate(2030, 5, 1, 20, 0, 0));
    p.stopUtc = p.startUtc + 3600;
    struct Case {
        DateTime dt;
        int16_t channel;
        int16_t minutes;
        bool active;
        const char* every;
        bool covers;
    } cases[] = {
        {makeDate(2030, 5, 1, 19, 58, 0), 7, 70, true, "once", true},
        {makeDate(2030, 5, 1, 20, 0, 0), 8, 60, true, "once", false},   // another channel
        {makeDate(2030, 5, 1, 20, 0, 0), 7, 60, false, "once", false},  // cancelled
        {makeDate(2030, 5, 1, 20, 35, 0), 7, 60, true, "once", false},  // less than half
        {makeDate(2030, 4, 24, 20, 0, 0), 7, 60, true, "weekly", true}, // a Wednesday before
        {makeDate(2030, 4, 25, 20, 0, 0), 7, 60, true, "weekly", false},
        {makeDate(2030, 4, 29, 20, 0, 0), 7, 60, true, "weekdays", true},
        {makeDate(2030, 4, 20, 19, 30, 0), 7, 60, true, "day", true},
        {makeDate(2030, 5, 2, 20, 0, 0), 7, 60, true, "day", false}, // starts the day after
        {makeDate(2030, 4, 30, 23, 0, 0), 7, 60, true, "once", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(eventCoversProgramme({c.dt, c.channel, c.minutes, c.active, c.every, "x.wmv"}, p), c.covers)
            << formatDate(c.dt, "yyyy-mm-dd hh:nn") << " " << c.every;
}

} // namespace
} // namespace vesper::test
