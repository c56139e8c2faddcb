// The real main program from the outside: its start-up trace on a first and a
// later run, the ends of the fatal branches, the settings written at the end
// and read at the next start, the clean-exit marker, broken hives and files.
#include "app/core/settings_layout.h"
#include "app/forms/startup.h"
#include "app/forms/tests/recorded_file.h"
#include "app/forms/tests/test_startup_binary_support.h"

#include "platform/dates.h"
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>

using namespace vesper;
using vesper::test::allCheckpointsBut;
using vesper::test::checkpoints;
using vesper::test::VesperRun;

namespace {

const std::string kTitle = kAppTitle;
constexpr const char* kLs0038 = "LS0038:ERROR:F00:Form_Load():on error2:  err# ";

bool has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool hasPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const auto& l : lines)
        if (l.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

// A schedule file with one event, as the scheduler writes it.
std::string scheduleWith(DateTime dt, int channel, int minutes, const std::string& every, const std::string& file) {
    return "VER1.0\r\n" + generalDate(dt) + "," + std::to_string(channel) + "," + std::to_string(minutes) + ",True," +
           every + "," + file + "\r\n";
}

std::string writeCards(VesperRun& run, const std::string& json) {
    run.virtualCards = test::writeFile(run.file("cards.json"), json);
    return run.virtualCards;
}

// Values that only the unloading of a started program writes.
void expectNothingSaved(const VesperRun& run) {
    for (const auto* s :
         {&settings::CurrentVersion, &settings::bAppLoadFirstTime, &settings::VideoSource, &settings::ProfileName,
          &settings::OutputLocation, &settings::sPaneState, &settings::chkAppExitWarning, &settings::Top})
        EXPECT_EQ(run.get(*s), "<absent>") << s->name;
    EXPECT_FALSE(std::filesystem::exists(run.file("Schedule.txt")));
}

} // namespace

TEST(StartupBinary, FirstAndSecondRunTraceEveryCheckpointAndKeepTheSettings) {
    VesperRun run("first");
    run.traceOn();
    run.start();
    ASSERT_TRUE(run.reachedOk29()) << run.output();
    EXPECT_EQ(run.get(settings::bAppLoadComplete), "True");
    EXPECT_EQ(run.get(settings::key::Status, "bExitNormally.1.1.214h"), "False");
    EXPECT_EQ(run.terminate(), 0) << run.output();
    // A first run probes the device pairs (OK11 to OK13), never OK14.
    EXPECT_EQ(run.trace(), checkpoints(allCheckpointsBut({14})));
    // Nothing asked the user anything; the loading window came and went.
    const auto ui = run.ui();
    ASSERT_EQ(ui.size(), 1u);
    EXPECT_EQ(ui[0].value("form", ""), "frmLoading");
    EXPECT_EQ(ui[0].value("title", ""), "Vesper Home Loading ...  ");

    // Written at the end.
    EXPECT_EQ(run.get(settings::bAppLoadFirstTime), "False");
    EXPECT_EQ(run.get(settings::key::Status, "bAppLoadFirstTimeVersion1.1.214h"), "False");
    EXPECT_EQ(run.get(settings::CurrentVersion), "1.1.214h");
    EXPECT_EQ(run.get(settings::bAppLoadComplete), "False");
    EXPECT_EQ(run.get(settings::key::Status, "bExitNormally.1.1.214h"), "True");
    EXPECT_EQ(run.get(settings::VideoSource), "Vesper Virtual TV Card");
    EXPECT_EQ(run.get(settings::AudioSource), "Vesper Virtual TV Audio");
    EXPECT_EQ(run.get(settings::ProfileName), "Medium");
    EXPECT_EQ(run.get(settings::OutputLocation), run.file("MyTV"));
    EXPECT_TRUE(std::filesystem::is_directory(run.file("MyTV")));
    EXPECT_EQ(run.get(settings::sPaneState), "open");
    EXPECT_EQ(run.get(settings::Channel), "2");
    EXPECT_EQ(run.get(settings::optTunOffTvWindow), settings::optTunOffTvWindow.defaultValue);
    EXPECT_EQ(run.get(settings::ColorScheme), "default");
    EXPECT_EQ(run.get(settings::AppPath), std::filesystem::path(VESPER_PATH).parent_path().string());
    EXPECT_EQ(test::readFile(run.file("Schedule.txt")), "VER1.0\r\n");

    // The user's choices of the first run come back at the second.
    run.set(settings::ProfileName, "High");
    run.set(settings::key::TunerProperties, "Channel", "12");
    run.set(settings::key::TunerProperties, "ChannelPrevious", "7");
    run.set(settings::sPaneState, "close");
    run.set(settings::chkOverwriteFiles, "False");
    run.set(settings::optAttachTvWindow, "True");
    run.set(settings::chkAppExitWarning, "0");
    run.set(settings::ColorScheme, "green");
    std::filesystem::remove(run.file("LogStatusAppInit.txt"));
    run.start();
    ASSERT_TRUE(run.reachedOk29()) << run.output();
    EXPECT_EQ(run.terminate(), 0);
    // A later run brings the saved pair up (OK14) and probes nothing.
    EXPECT_EQ(run.trace(), checkpoints(allCheckpointsBut({11, 12, 13})));
    EXPECT_EQ(run.get(settings::ProfileName), "High");
    EXPECT_EQ(run.get(settings::key::TunerProperties, "Channel"), "12");
    EXPECT_EQ(run.get(settings::key::TunerProperties, "ChannelPrevious"), "7");
    EXPECT_EQ(run.get(settings::sPaneState), "close");
    EXPECT_EQ(run.get(settings::chkOverwriteFiles), "False");
    EXPECT_EQ(run.get(settings::optAttachTvWindow), "True");
    EXPECT_EQ(run.get(settings::optTunOffTvWindow), "False");
    EXPECT_EQ(run.get(settings::chkAppExitWarning), "0");
    EXPECT_EQ(run.get(settings::ColorScheme), "green");
}

TEST(StartupBinary, FatalBranchesEndWithTheirNoticeAndSaveNothing) {
    struct Case {
        const char* name;
        const char* cards;   // virtual cards, or null for the built-in one
        const char* broken;  // a component that cannot be created
        const char* form;    // the notice shown
        const char* code;    // its code, first in its contents
        const char* logLine; // the error logged
        int lastCheckpoint;  // the trace ends here
    };
    const Case cases[] = {
        {"n1", nullptr, "WMEncEng.WMEncoder", "frmNoticeWME", nullptr,
         "LS0042:ERROR:F00:Form_Load():n1:Windows Media Encoder 7.1 does not exist.", 0},
        {"n2", R"({"realDevices": false, "cards": []})", nullptr, "frmNoticeDevices", "n2",
         "LS0043:ERROR:F00:Form_Load():n2:No Video Capture Device detected.", 6},
        {"n3", R"({"realDevices": false, "cards": [{"video": "Card A", "tuner": true}]})", nullptr, "frmNoticeDevices",
         "n3", "LS0044:ERROR:F00:Form_Load():n3:No Audio Capture Device detected.", 7},
        // The capture component unregistered: no pair comes up.
        {"n4", nullptr, "Capgraph.Command", "frmNoticeDevices", "n4",
         "LS0045:ERROR:F00:Form_Load():n4:TV Tuner device(s) failed to initialize.", 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VesperRun run(c.name);
        run.traceOn();
        if (c.cards) writeCards(run, c.cards);
        if (c.broken) run.breakComponent(c.broken);
        run.start();
        EXPECT_EQ(run.wait(30), 1) << run.output();
        run.kill();
        const auto ui = run.ui();
        ASSERT_FALSE(ui.empty());
        EXPECT_EQ(ui.back().value("form", ""), c.form);
        if (c.code) {
            EXPECT_EQ(ui.back().value("text", "").substr(0, 3), std::string(c.code) + "\n");
        }
        std::vector<int> passed;
        for (int i = 1; i <= c.lastCheckpoint; ++i)
            passed.push_back(i);
        EXPECT_EQ(run.trace(), checkpoints(passed));
        // The error, then the failure exit, last.
        const auto log = run.log();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[log.size() - 2], c.logLine);
        EXPECT_EQ(log.back(), kLs0038);
        expectNothingSaved(run);
    }
}

TEST(StartupBinary, ASecondCopyShowsItsMessageAndLeavesTheFirstAlone) {
    VesperRun first("copy1");
    first.start();
    ASSERT_TRUE(first.waitFor([&] { return first.get(settings::bAppLoadComplete) == "True"; })) << first.output();
    VesperRun second("copy2");
    second.hiveFile = first.hive();
    second.start();
    EXPECT_EQ(second.wait(), 1) << second.output();
    const auto ui = second.ui();
    ASSERT_EQ(ui.size(), 1u);
    EXPECT_EQ(ui[0].value("kind", ""), "message");
    EXPECT_EQ(ui[0].value("text", ""), "Vesper is already running.\r\nCannot run multiple copies of Vesper\r\n");
    EXPECT_EQ(ui[0].value("icon", ""), "exclamation");
    EXPECT_EQ(ui[0].value("title", ""), kTitle);
    // The first copy still runs, ready, and ends as usual.
    EXPECT_TRUE(first.running());
    EXPECT_EQ(first.get(settings::bAppLoadComplete), "True");
    EXPECT_EQ(first.terminate(), 0);
    EXPECT_EQ(first.get(settings::bAppLoadComplete), "False");
    EXPECT_EQ(first.get(settings::key::Status, "bExitNormally.1.1.214h"), "True");
}

TEST(StartupBinary, AKilledRunLeavesTheMarkerFalseAndNeverBlocksTheNext) {
    VesperRun run("killed");
    run.traceOn();
    run.start();
    ASSERT_TRUE(run.reachedOk29()) << run.output();
    run.kill();
    EXPECT_EQ(run.get(settings::key::Status, "bExitNormally.1.1.214h"), "False");
    EXPECT_EQ(run.get(settings::bAppLoadComplete), "True");
    EXPECT_EQ(run.get(settings::CurrentVersion), "<absent>");

    // The next start is not blocked; a run that started with the marker
    // "False" leaves it so, but saves everything else.
    std::filesystem::remove(run.file("LogStatusAppInit.txt"));
    run.start();
    ASSERT_TRUE(run.reachedOk29()) << run.output();
    EXPECT_EQ(run.terminate(), 0);
    EXPECT_EQ(run.get(settings::key::Status, "bExitNormally.1.1.214h"), "False");
    EXPECT_EQ(run.get(settings::CurrentVersion), "1.1.214h");
    EXPECT_EQ(run.get(settings::bAppLoadComplete), "False");
}

TEST(StartupBinary, AHostileHiveIsMendedValueByValue) {
    VesperRun run("hostile");
    run.traceOn();
    const std::string huge(100 * 1024, 'x');
    run.set(settings::bAppLoadFirstTime, "False");
    run.set(settings::VideoSource, "A Card That Was Unplugged");
    run.set(settings::AudioSource, huge);
    run.set(settings::key::TunerProperties, "Channel", "abc");
    run.set(settings::key::TunerProperties, "ChannelPrevious", "99999999999999999999");
    run.set(settings::key::TunerProperties, "CountryCode", "<NOT_EXIST>");
    run.set(settings::Top, "-200");
    run.set(settings::Left, "1e308");
    run.set(settings::ProfileName, "No Such Profile");
    run.set(settings::Advance, huge);
    run.set(settings::OutputLocation, "/" + huge);
    run.set(settings::sPaneState, huge);
    run.set(settings::ColorScheme, "purple");
    run.set(settings::chkOverwriteFiles, "False");
    run.set(settings::optAttachTvWindow, "True");
    run.set(std::string(settings::key::EPGCustom) + "1", "sCaption", huge);
    const DateTime future = makeDate(2099, 1, 5, 20, 0, 0);
    const std::string schedule = scheduleWith(future, 7, 30, "weekly", "News.wmv");
    test::writeFile(run.file("Schedule.txt"), schedule);
    run.start();
    ASSERT_TRUE(run.reachedOk29()) << run.output();
    EXPECT_EQ(run.terminate(), 0);
    EXPECT_EQ(run.trace(), checkpoints(allCheckpointsBut({11, 12, 13})));
    EXPECT_TRUE(has(run.log(), "LS0046:ERROR:F00:Form_Load():Current device settings failed to initialize. :("));
    const auto ui = run.ui();
    ASSERT_EQ(ui.size(), 2u);
    EXPECT_EQ(ui[1].value("icon", ""), "critical");
    EXPECT_EQ(ui[1].value("title", ""), kTitle);
    EXPECT_NE(ui[1].value("text", "").find("Current Video Source Setting: A Card That Was Unplugged"),
              std::string::npos);

    // The corrections the program makes, and nothing else lost.
    EXPECT_EQ(run.get(settings::key::TunerProperties, "Channel"), "2");
    EXPECT_EQ(run.get(settings::key::TunerProperties, "ChannelPrevious"), "2");
    EXPECT_EQ(run.get(settings::key::TunerProperties, "CountryCode"), "Default");
    EXPECT_EQ(run.get(settings::VideoSource), "Vesper Virtual TV Card"); // the box's text
    EXPECT_EQ(run.get(settings::ProfileName), "Medium");
    EXPECT_EQ(run.get(settings::Advance), huge);
    EXPECT_EQ(run.get(settings::Top), "-200");
    EXPECT_EQ(run.get(settings::chkOverwriteFiles), "False");
    EXPECT_EQ(run.get(settings::optAttachTvWindow), "True");
    EXPECT_EQ(run.get(std::string(settings::key::EPGCustom) + "1", "sCaption"), huge);
    EXPECT_EQ(test::readFile(run.file("Schedule.txt")), schedule);
}

TEST(StartupBinary, AGarbageScheduleEndsTheStartWithItsErrorAndKeepsTheFile) {
    VesperRun run("garbage");
    run.traceOn();
    const std::string garbage = "VER1.0\r\nthis is,not,a schedule\r\n\x01\x02\xff\r\n";
    test::writeFile(run.file("Schedule.txt"), garbage);
    run.start();
    EXPECT_EQ(run.wait(), 1) << run.output();
    const auto ui = run.ui();
    ASSERT_FALSE(ui.empty());
    EXPECT_EQ(ui.back().value("icon", ""), "critical");
    EXPECT_EQ(ui.back().value("text", "").substr(0, 17), "FormLoad Error:\r\n");
    EXPECT_EQ(run.trace(), checkpoints(allCheckpointsBut({14, 21, 22, 23, 24, 25, 26, 27, 28, 29})));
    EXPECT_TRUE(hasPrefix(run.log(), "LS0037:ERROR:F00:Form_Load():on error1: err# "));
    EXPECT_TRUE(hasPrefix(run.log(), kLs0038));
    // Both carry the same number:description.
    std::string error1, error2;
    for (const auto& l : run.log()) {
        const std::string p1 = "LS0037:ERROR:F00:Form_Load():on error1: err# ";
        if (l.compare(0, p1.size(), p1) == 0) error1 = l.substr(p1.size());
        if (l.compare(0, std::string(kLs0038).size(), kLs0038) == 0) error2 = l.substr(std::string(kLs0038).size());
    }
    EXPECT_FALSE(error1.empty());
    EXPECT_EQ(error2, error1);
    // The next start writes the trace and a profile.
    EXPECT_EQ(run.get(settings::bLogStatusAppProfile), "True");
    EXPECT_EQ(test::readFile(run.file("Schedule.txt")), garbage);
    EXPECT_EQ(run.get(settings::CurrentVersion), "<absent>");
    EXPECT_EQ(run.get(settings::bAppLoadFirstTime), "<absent>");
}

TEST(StartupBinary, ADamagedOrBusyHiveIsNamedAndLeftAlone) {
    for (const bool busy : {false, true}) {
        SCOPED_TRACE(busy ? "busy" : "damaged");
        VesperRun run(busy ? "busyhive" : "damagedhive");
        run.set(settings::ProfileName, "High");
        for (int i = 0; i < 40; ++i)
            run.set(settings::key::Status, "filler" + std::to_string(i), std::string(200, 'x'));
        const std::string schedule = scheduleWith(makeDate(2099, 1, 5, 20, 0, 0), 7, 30, "weekly", "News.wmv");
        test::writeFile(run.file("Schedule.txt"), schedule);
        if (!busy) {
            const std::string whole = test::readFile(run.hive());
            test::writeFile(run.hive(), whole.substr(0, whole.size() / 2));
        }
        // Read before the hive is held: closing any handle of the file would
        // drop this process's locks on it.
        const std::string before = test::readFile(run.hive());
        sqlite3* holder = nullptr;
        if (busy) {
            // A write transaction of another program, left open.
            ASSERT_EQ(sqlite3_open(run.hive().c_str(), &holder), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
            setenv("VESPER_REGISTRY_BUSY_MS", "300", 1);
        }
        run.start();
        EXPECT_EQ(run.wait(60), 1) << run.output();
        unsetenv("VESPER_REGISTRY_BUSY_MS");
        if (holder) sqlite3_close(holder);
        // One message, about the file: no encoder notice, no other box.
        const auto ui = run.ui();
        ASSERT_EQ(ui.size(), 1u) << run.output();
        EXPECT_EQ(ui[0].value("title", ""), "Vesper Home - Settings File");
        EXPECT_EQ(ui[0].value("icon", ""), "critical");
        const std::string text = ui[0].value("text", "");
        EXPECT_NE(text.find("\n  " + run.hive() + "\n" + (busy ? "is held by another program" : "is damaged")),
                  std::string::npos)
            << text;
        EXPECT_NE(run.output().find("vesper: The settings file (registry hive)"), std::string::npos);
        EXPECT_TRUE(test::readFile(run.hive()) == before);
        EXPECT_EQ(test::readFile(run.file("Schedule.txt")), schedule);
        if (busy) {
            EXPECT_EQ(run.get(settings::ProfileName), "High");
        }
    }
}

TEST(StartupBinary, WithoutTheSchedulerItRunsAndWritesNoSchedule) {
    VesperRun run("noscheduler");
    run.traceOn();
    run.breakComponent("Slotbook.EventsObj");
    run.start();
    ASSERT_TRUE(run.reachedOk29()) << run.output();
    EXPECT_EQ(run.terminate(), 0);
    EXPECT_TRUE(has(run.log(), "LS0047:ERROR:F00:Form_Load():CreateObject() is nothing"));
    EXPECT_FALSE(std::filesystem::exists(run.file("Schedule.txt")));
    EXPECT_EQ(run.get(settings::CurrentVersion), "1.1.214h");
}

TEST(StartupBinary, ARequestedProfileIsWrittenOnceAtStartUp) {
    VesperRun run("profile");
    run.set(settings::bLogStatusAppProfile, "True");
    run.start();
    ASSERT_TRUE(run.waitFor([&] { return run.get(settings::bAppLoadComplete) == "True"; })) << run.output();
    EXPECT_EQ(run.terminate(), 0);
    EXPECT_EQ(run.get(settings::bLogStatusAppProfile), "False");
    const std::string profile = test::readFile(run.file("LogStatusAppProfile.txt"));
    for (const char* line : {"LogStatusAppProfile.txt", "Vesper Home v1.1.214h", "Detected Video Device List:",
                             "Vesper Virtual TV Card", "Detected Audio Device List:", "Vesper Virtual TV Audio",
                             "Results: True", "Video: Vesper Virtual TV Card", "Audio: Vesper Virtual TV Audio"})
        EXPECT_NE(profile.find(line), std::string::npos) << line;
    EXPECT_NE(profile.find("App Location: " + run.folder), std::string::npos);
}

// A first run on a fixed day, a quarter of a minute before an event, records
// it from the virtual card; SIGTERM afterwards saves the schedule and the
// settings. The recording is judged by what it holds and by the times the
// program logged on its own clock, never by how long anything took.
TEST(StartupBinaryEndToEnd, RecordsAScheduledEventAndEndsOnSigterm) {
    VesperRun run("e2e");
    run.traceOn();
    run.env["VESPER_TEST_NOW"] = "4/20/2030 7:59:45 PM";
    const DateTime start = makeDate(2030, 4, 20, 20, 0, 0), end = makeDate(2030, 4, 20, 20, 1, 0);
    test::writeFile(run.file("Schedule.txt"), scheduleWith(start, 5, 1, "once", "e2e.wmv"));
    run.start();
    ASSERT_TRUE(run.reachedOk29()) << run.output();
    // The stop sequence has run and the next event has been set.
    ASSERT_TRUE(run.waitFor([&] { return has(run.log(), "LS0050:INFO:F00:Tmr1() AfterSetNxtEvnt"); }, 180))
        << run.output();
    EXPECT_EQ(run.terminate(), 0) << run.output();

    // Started inside the event's window and stopped at its end; the file
    // holds the time between, and never more than the event.
    const DateTime started = run.loggedAt("LS0062:INFO:F00:Tmr1() AfterEncStr");
    EXPECT_GT(toSeconds(run.loggedAt("LS0061:INFO:F00:Tmr1() BeforeEncStr")), toSeconds(start));
    EXPECT_GE(toSeconds(run.loggedAt("LS0060:INFO:F00:Tmr1() BeforeEncStp")), toSeconds(end));
    const double seconds = test::expectCompleteRecording(run.file("MyTV/e2e.wmv"));
    EXPECT_LE(seconds, 60.0);
    EXPECT_GE(seconds, double(toSeconds(end) - toSeconds(started)) - 3);

    // The finished one-time event is gone from the saved schedule.
    EXPECT_EQ(test::readFile(run.file("Schedule.txt")), "VER1.0\r\n");
    EXPECT_EQ(run.get(settings::bAppLoadFirstTime), "False");
    EXPECT_EQ(run.get(settings::key::TunerProperties, "Channel"), "5");
    EXPECT_EQ(run.get(settings::key::TunerProperties, "ChannelPrevious"), "2");
    EXPECT_EQ(run.get(settings::key::Status, "bExitNormally.1.1.214h"), "True");
}
