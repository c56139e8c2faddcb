// vesper-schedule driven as a user drives it: the built command, the
// component registered in this test's hive, "Schedule.txt" in its folder.
#include "listings/guide_store.h"
#include "platform/registry.h"
#include "platform/testing/test_env.h"
#include "tools/schedule/schedule_command.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::string schedulePath() { return vesper::test::testFolder() + "/Schedule.txt"; }

class VesperSchedule : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(vesper::test::registerComponent(SLOTBOOK_PATH));
        // The dates below lie ahead of this moment, whatever today is.
        setenv(vesper::schedule::kNowVariable, "2030-04-18 12:00", 1);
        std::filesystem::remove(schedulePath());
    }
    int run(const std::string& args) {
        out.clear();
        return vesper::test::runCommand(std::string(VESPER_SCHEDULE_PATH) + " " + args, &out);
    }
    std::string file() { return vesper::test::readFile(schedulePath()); }
    std::string out;
};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

} // namespace

TEST_F(VesperSchedule, AddsListsAndRefusesAConflict) {
    EXPECT_EQ(run("add \"4/20/2030 8:00 PM\" 3 60 weekly News.wmv"), 0) << out;
    EXPECT_EQ(run("add 2030-04-20T21:00 3 30"), 2) << out; // not a date
    EXPECT_EQ(run("add \"2030-04-20 21:00\" 5 1:30 once \"Late, Show & more?.wmv\""), 0) << out;
    EXPECT_EQ(file(), "VER1.0\r\n"
                      "4/20/2030 8:00:00 PM,3,60,True,weekly,News.wmv\r\n"
                      "4/20/2030 9:00:00 PM,5,90,True,once,Late_ Show And more_.wmv\r\n");

    const std::string before = file();
    EXPECT_EQ(run("add \"4/20/2030 8:30 PM\" 7 45 once Clash.wmv"), 1);
    EXPECT_EQ(out, "The event being added:\n"
                   "Filename: Clash.wmv\n"
                   "    When: Saturday,  April 20,  08:30:00 PM\n"
                   "Duration: 45\n"
                   "  Repeat: once\n"
                   "\n"
                   "CONFLICTS with this existing event:\n"
                   "Filename: News.wmv\n"
                   "    When: Saturday,  April 20,  08:00:00 PM\n"
                   "Duration: 60\n"
                   "  Repeat: weekly\n"
                   "\n"
                   "Event was not added!\n");
    EXPECT_EQ(file(), before);

    EXPECT_EQ(run("list"), 0);
    EXPECT_EQ(out, "When                     Chnl  Len   Repeat  Filename [Title]\n"
                   "Sat,  Apr 20,  08:00 PM  3     1:00  weekly  News.wmv\n"
                   "Sat,  Apr 20,  09:00 PM  5     1:30  once    Late_ Show And more_.wmv\n");
    EXPECT_EQ(run("list -l"), 0);
    EXPECT_TRUE(has(out, "2  Sat,  Apr 20,  09:00 PM  5     1:30  once    4/20/2030 9:00:00 PM  True")) << out;
    EXPECT_EQ(run("count"), 0);
    EXPECT_EQ(out, "2\n");
    EXPECT_EQ(run("next"), 0);
    EXPECT_EQ(out, "Filename: News.wmv\n    When: Saturday,  April 20,  08:00:00 PM\n Channel: 3\nDuration: 60\n"
                   "  Repeat: weekly\n");
}

TEST_F(VesperSchedule, UpdatesCancelsAndRemoves) {
    ASSERT_EQ(run("add \"4/19/2030 8:00 PM\" 3 60 weekdays Fri.wmv"), 0) << out;
    ASSERT_EQ(run("add \"4/19/2030 9:00 PM\" 4 30 once Once.wmv"), 0) << out;
    ASSERT_EQ(run("add \"4/19/2030 10:00 PM\" 5 30 weekly Weekly.wmv"), 0) << out;

    // Longer, into the next event: refused, nothing changed.
    const std::string before = file();
    EXPECT_EQ(run("update \"4/19/2030 8:00 PM\" --length 90"), 1);
    EXPECT_TRUE(has(out, "The event being updated:")) << out;
    EXPECT_TRUE(has(out, "Filename: Once.wmv")) << out;
    EXPECT_TRUE(has(out, "Event was not updated!")) << out;
    EXPECT_EQ(file(), before);
    // Only the name: the event does not conflict with itself.
    EXPECT_EQ(run("update 1 --file Friday.wmv --channel 6"), 0) << out;
    EXPECT_TRUE(has(file(), "4/19/2030 8:00:00 PM,6,60,True,weekdays,Friday.wmv\r\n")) << file();
    // Moved later: back in start order.
    EXPECT_EQ(run("update \"4/19/2030 9:00 PM\" --when \"4/19/2030 11:00 PM\""), 0) << out;
    EXPECT_EQ(run("list"), 0);
    EXPECT_TRUE(has(out, "Weekly.wmv\nFri,  Apr 19,  11:00 PM")) << out;

    EXPECT_EQ(run("cancel \"4/19/2030 8:00 PM\""), 0) << out;  // Friday weekdays -> Monday
    EXPECT_EQ(run("cancel \"4/19/2030 11:00 PM\""), 0) << out; // once -> gone
    EXPECT_EQ(run("remove '#1'"), 0) << out;                   // the weekly series
    EXPECT_EQ(file(), "VER1.0\r\n4/22/2030 8:00:00 PM,6,60,True,weekdays,Friday.wmv\r\n");

    const std::string after = file();
    EXPECT_EQ(run("cancel \"4/19/2030 8:00 PM\""), 1);
    EXPECT_TRUE(has(out, "no event starts at")) << out;
    EXPECT_EQ(run("remove 7"), 1);
    EXPECT_EQ(run("remove 0"), 2);
    EXPECT_EQ(run("update 1 --colour red"), 2);
    EXPECT_EQ(run("update 1"), 2);
    EXPECT_EQ(file(), after);
}

TEST_F(VesperSchedule, BadArgumentsChangeNothing) {
    ASSERT_EQ(run("add \"4/20/2030 8:00 PM\" 3 60"), 0) << out;
    const std::string before = file();
    EXPECT_TRUE(has(before, ",once,default.wmv\r\n")) << before; // the Add Event dialog's default name
    for (const char* args :
         {"add tomorrow 3 60", "add \"4/20/2030 9:00 PM\" 1 60", "add \"4/20/2030 9:00 PM\" 3x 60",
          "add \"4/20/2030 9:00 PM\" 182 60", "add \"4/20/2030 9:00 PM\" 3 0", "add \"4/20/2030 9:00 PM\" 3 1:75",
          "add \"4/20/2030 9:00 PM\" 3 40000", "add \"4/20/2030 9:00 PM\" 3 60 monthly",
          "add \"4/20/2030 9:00 PM\" 3 60 Weekly", "add \"9:00 PM\" 3 60", "add \"4/20/2030 9:00 PM\" 3", "list --all",
          "count 2", "frob", ""}) {
        EXPECT_EQ(run(args), 2) << args << "\n" << out;
        EXPECT_FALSE(out.empty());
    }
    EXPECT_EQ(file(), before);
    // An event that has already ended is refused as the Add Event dialog refuses it.
    EXPECT_EQ(run("add \"1/1/2020 8:00 PM\" 3 60"), 1);
    EXPECT_TRUE(has(out, "you're trying to add has EXPIRED.\nThe event cannot be added!")) << out;
    EXPECT_EQ(file(), before);
    EXPECT_EQ(run("--help"), 0);
    EXPECT_TRUE(has(out, "usage: vesper-schedule"));
}

TEST_F(VesperSchedule, ABrokenScheduleOrAMissingComponentIsReportedNotOverwritten) {
    const std::string broken = "VER1.0\r\n4/20/2030 8:00:00 PM,3,60,True,once,ok.wmv\r\n4/20/2030 9:00:00 PM,3\r\n";
    vesper::test::writeFile(schedulePath(), broken);
    EXPECT_EQ(run("add \"4/21/2030 8:00 PM\" 3 60"), 3);
    EXPECT_TRUE(has(out, "Slotbook.EventsObj:5:Invalid procedure call or argument (Schedule.txt line 3")) << out;
    EXPECT_EQ(run("list"), 3);
    EXPECT_EQ(file(), broken);

    std::string regOut;
    ASSERT_EQ(vesper::test::runCommand(std::string(VESPER_SCHEDULE_PATH) + " count", &regOut), 3);
    // Unregistered: the command cannot create the scheduler.
    const std::string hive = vesper::test::testFolder() + "/empty-hive.sqlite";
    EXPECT_EQ(vesper::test::runCommand("VESPER_REGISTRY=" + hive + " " + VESPER_SCHEDULE_PATH + " count", &regOut), 3);
    EXPECT_TRUE(has(regOut, "cannot create \"Slotbook.EventsObj\"")) << regOut;
}

TEST(VesperScheduleArguments, LengthsAndFileNames) {
    using namespace vesper::schedule;
    EXPECT_EQ(parseLength("90"), 90);
    EXPECT_EQ(parseLength("1:30"), 90);
    EXPECT_EQ(parseLength("0:05"), 5);
    EXPECT_EQ(parseLength("1:5"), -1);
    EXPECT_EQ(parseLength("-5"), -1);
    EXPECT_EQ(parseLength("32768"), -1);
    EXPECT_EQ(parseLength(""), -1);
    EXPECT_EQ(MakeValidFilename("Tom & Jerry: [1] a\\b/c.wmv"), "Tom And Jerry_ _1_ a_b_c.wmv");
    EXPECT_EQ(MakeValidFilename("ok-$!@#%. 9"), "ok-$!@#%. 9");
}

TEST_F(VesperSchedule, NamesGetTheDialogsExtensionAndLongLengthsStayAccepted) {
    // The dialog's ".wmv" rule and default name; a daily event of six hours,
    // which the dialog's lists do not offer, is still accepted.
    EXPECT_EQ(run("add \"4/20/2030 8:00 AM\" 3 360 day Morning"), 0) << out;
    EXPECT_EQ(run("add \"4/21/2030 8:00 PM\" 3 30 once \" . \""), 0) << out;
    EXPECT_EQ(run("update \"4/21/2030 8:00 PM\" --file Show.WMV"), 0) << out;
    EXPECT_EQ(file(), "VER1.0\r\n"
                      "4/20/2030 8:00:00 AM,3,360,True,day,Morning.wmv\r\n"
                      "4/21/2030 8:00:00 PM,3,30,True,once,Show.WMV\r\n");
}

// With an H.264 profile chosen in Vesper the schedule keeps its names and the
// command tells the file each event records.
TEST_F(VesperSchedule, TellsTheFileAnH264ProfileRecords) {
    const std::string key = "Software\\Orvane\\Vesper\\1.0\\Encoder\\CurrentSettings";
    ASSERT_TRUE(vesper::registry::setString(key, "ProfileName", "Advance ..."));
    ASSERT_TRUE(vesper::registry::setString(key, "Advance", "H.264 Medium"));
    EXPECT_EQ(run("add \"4/20/2030 8:00 PM\" 3 60 once Concert.mp4"), 0) << out;
    EXPECT_TRUE(has(out, ", Concert.mp4.wmv (records Concert.mp4)\n")) << out;
    EXPECT_EQ(run("next"), 0);
    EXPECT_TRUE(has(out, "  Repeat: once\n Records: Concert.mp4 (H.264 Medium)\n")) << out;

    // A quality word stands for a Windows Media profile, whatever Advance holds.
    ASSERT_TRUE(vesper::registry::setString(key, "ProfileName", "High"));
    EXPECT_EQ(run("next"), 0);
    EXPECT_FALSE(has(out, "Records")) << out;
}

TEST_F(VesperSchedule, RunsAtTheMomentATestGivesIt) {
    setenv(vesper::schedule::kNowVariable, "2030-04-25 12:00", 1);
    EXPECT_EQ(run("add \"4/20/2030 8:00 PM\" 3 60"), 1) << out; // over by then
    setenv(vesper::schedule::kNowVariable, "2030-04-20 12:00", 1);
    EXPECT_EQ(run("add \"4/20/2030 8:00 PM\" 3 60"), 0) << out;
    setenv(vesper::schedule::kNowVariable, "soon", 1);
    EXPECT_EQ(run("count"), 2) << out;
    EXPECT_TRUE(has(out, "VESPER_SCHEDULE_NOW")) << out;
}

TEST_F(VesperSchedule, ADamagedHiveIsNamedAndLeavesHiveAndScheduleAlone) {
    ASSERT_EQ(run("add \"4/20/2030 8:00 PM\" 3 60 weekly News.wmv"), 0) << out;
    const std::string hive = vesper::test::testFolder() + "/registry.sqlite";
    const std::string whole = vesper::test::readFile(hive);
    vesper::test::writeFile(hive, whole.substr(0, whole.size() / 2));
    const std::string cut = vesper::test::readFile(hive), schedule = file();
    EXPECT_EQ(run("count"), 3);
    EXPECT_TRUE(has(out, "vesper-schedule: The settings file (registry hive)\n  " + hive + "\nis damaged")) << out;
    EXPECT_FALSE(has(out, "regsvr")) << out;
    EXPECT_EQ(vesper::test::readFile(hive), cut);
    EXPECT_EQ(file(), schedule);
    vesper::test::writeFile(hive, whole);
}

TEST_F(VesperSchedule, SearchesTheGuide) {
    // The command shows central European time, summer time included.
    struct Zone {
        Zone() { setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1); }
        ~Zone() { unsetenv("TZ"); }
    } zone;
    EXPECT_EQ(run("guide News"), 3);
    EXPECT_TRUE(has(out, "there is no guide yet")) << out;

    vesper::listings::GuideStore store;
    ASSERT_TRUE(store.open()); // the program folder's, where the command looks
    ASSERT_TRUE(store.importXmltvFile(LISTINGS_TEST_DATA "/sample.xml").ok);
    ASSERT_TRUE(store.clearChannelNumber("newsline.example.org"));
    setenv(vesper::schedule::kNowVariable, "2030-03-31 00:00", 1);
    EXPECT_EQ(run("guide news"), 0) << out;
    EXPECT_EQ(out, "When                     Chnl  Station     Len   Title\n"
                   "Sun,  Mar 31,  08:00 AM  -     Newsline 4  1:00  Breakfast News\n"
                   "Sun,  Mar 31,  06:00 PM  12    KXYZ        1:00  The News\n"
                   "Mon,  Apr 1,  08:00 PM   12    KXYZ        0:30  NEWSNIGHT\n");
    EXPECT_EQ(run("guide 'THE NEWS' --limit 1"), 0) << out;
    EXPECT_TRUE(has(out, "Sun,  Mar 31,  06:00 PM  12    KXYZ     1:00  The News\n")) << out;
    EXPECT_EQ(run("guide Weather"), 1);
    EXPECT_TRUE(has(out, "no programme in the guide matches \"Weather\"")) << out;
    EXPECT_EQ(run("guide"), 2);
    EXPECT_EQ(run("guide ' '"), 2);
    EXPECT_EQ(run("guide News --limit 0"), 2);
    EXPECT_EQ(run("guide News --limit"), 2);
}
