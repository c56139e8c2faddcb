// The real main program's ends from the outside: signals at every box of the
// start-up and while it runs, two copies on one hive whatever their
// environment, and a recording cut off by SIGKILL.
#include "app/core/settings_layout.h"
#include "app/forms/tests/test_startup_binary_support.h"
#include "components/tests/media_check.h"

#include "platform/dates.h"
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>

using namespace vesper;
using vesper::test::VesperRun;

namespace {

// The events of these tests take place on a fixed day: the program runs on a
// clock set to it.
constexpr const char* kEightPm = "4/20/2030 8:00:00 PM";

bool boxHeld(const VesperRun& run) {
    for (const auto& entry : run.ui())
        if (entry.value("answer", "") == "Hold") return true;
    return false;
}

} // namespace

// A termination request while a box of the start-up waits for its answer
// ends the program at once, saving nothing.
TEST(StartupBinaryExits, ASignalAtAStartUpBoxEndsTheStartAtOnce) {
    VesperRun first("holder");
    first.start();
    ASSERT_TRUE(first.waitFor([&] { return first.get(settings::bAppLoadComplete) == "True"; })) << first.output();

    struct Case {
        const char* name;
        int sig;
        const char* answers; // the loading window is an entry too
        std::function<void(VesperRun&)> prepare;
    };
    const Case cases[] = {
        {"already-running", SIGTERM, "Hold", [&](VesperRun& r) { r.hiveFile = first.hive(); }},
        {"no-encoder", SIGINT, "Hold", [](VesperRun& r) { r.breakComponent("WMEncEng.WMEncoder"); }},
        {"no-device", SIGHUP, ",Hold",
         [](VesperRun& r) {
             r.virtualCards = test::writeFile(r.file("cards.json"), R"({"realDevices": false, "cards": []})");
         }},
        {"saved-devices-failed", SIGTERM, ",Hold",
         [](VesperRun& r) {
             r.set(settings::bAppLoadFirstTime, "False");
             r.set(settings::VideoSource, "A Card That Was Unplugged");
         }},
        {"formload-error", SIGTERM, ",Hold",
         [](VesperRun& r) { test::writeFile(r.file("Schedule.txt"), "VER1.0\r\nnot,a,schedule\r\n"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VesperRun run(c.name);
        run.answers = c.answers;
        c.prepare(run);
        run.start();
        ASSERT_TRUE(run.waitFor([&] { return boxHeld(run); }, 60)) << run.output();
        EXPECT_EQ(run.signal(c.sig, 20), 1) << run.output();
        // Only the unloading of a started program writes these.
        if (run.hive() != first.hive()) {
            EXPECT_EQ(run.get(settings::CurrentVersion), "<absent>");
            EXPECT_EQ(run.get(settings::OutputLocation), "<absent>");
        }
    }
    EXPECT_TRUE(first.running());
    EXPECT_EQ(first.terminate(), 0);
}

// Closing the terminal ends Vesper as SIGTERM does: everything saved, the
// markers of a normal end written.
TEST(StartupBinaryExits, SighupEndsLikeSigterm) {
    VesperRun run("hangup");
    run.start();
    ASSERT_TRUE(run.waitFor([&] { return run.get(settings::bAppLoadComplete) == "True"; })) << run.output();
    EXPECT_EQ(run.signal(SIGHUP), 0) << run.output();
    EXPECT_EQ(run.get(settings::bAppLoadComplete), "False");
    EXPECT_EQ(run.get(settings::key::Status, "bExitNormally.1.1.214h"), "True");
    EXPECT_EQ(run.get(settings::CurrentVersion), "1.1.214h");
}

// Two copies on one hive never both run, even when they see different
// runtime folders (a desktop session and cron, ssh or su).
TEST(StartupBinaryExits, OneHiveOneCopyWhateverTheRuntimeFolder) {
    VesperRun first("desktop");
    first.env["XDG_RUNTIME_DIR"] = first.folder;
    first.start();
    ASSERT_TRUE(first.waitFor([&] { return first.get(settings::bAppLoadComplete) == "True"; })) << first.output();
    for (const std::string& runtime : {std::string(), test::makeFolder("other-runtime")}) {
        VesperRun second("cron");
        second.hiveFile = first.hive();
        second.env["XDG_RUNTIME_DIR"] = runtime;
        second.start();
        EXPECT_EQ(second.wait(), 1) << second.output();
        EXPECT_NE(second.output().find("Vesper is already running"), std::string::npos) << second.output();
    }
    EXPECT_EQ(first.terminate(), 0);
}

// A recording killed with SIGKILL is completed at the next start and never
// overwritten by the restart inside its event's window.
TEST(StartupBinaryExits, AKilledRecordingIsCompletedAndKept) {
    VesperRun run("killed-recording");
    run.traceOn();
    run.env["VESPER_TEST_NOW"] = "4/20/2030 8:00:05 PM";
    test::writeFile(run.file("Schedule.txt"), "VER1.0\r\n" + std::string(kEightPm) + ",5,10,True,once,crash.wmv\r\n");
    const std::string file = run.file("MyTV/crash.wmv");
    run.start();
    ASSERT_TRUE(run.waitFor([&] {
        std::error_code ec;
        return std::filesystem::file_size(file, ec) > 256 * 1024 && !ec;
    })) << run.output();
    run.kill();
    EXPECT_EQ(run.get(settings::sRecordingFile), file);
    EXPECT_LT(test::mediaSeconds(file), 0.5); // no duration in the cut-off header

    // Still inside the event's window: the start completes the file, then
    // records the rest of the event into a name of its own.
    run.start();
    const std::string rest = run.file("MyTV/crash-300420.wmv");
    ASSERT_TRUE(run.waitFor([&] { return std::filesystem::exists(rest); })) << run.output();
    ASSERT_TRUE(run.logged("LS0132:INFO:F00:Form_Load():interrupted recording completed: " + file)) << run.output();
    const auto size = std::filesystem::file_size(file);
    EXPECT_GT(test::mediaSeconds(file), 1.0);
    EXPECT_EQ(run.terminate(), 0) << run.output();
    EXPECT_EQ(std::filesystem::file_size(file), size);
    EXPECT_GT(test::mediaSeconds(rest), 0.0);
    EXPECT_EQ(run.get(settings::sRecordingFile), "");
}

// "H.264 High" chosen through the settings: the event "crash.wmv" records
// "crash.mp4"; killed mid-recording, the file plays and seeks as it is; the
// next start completes it and records the rest of the event beside it.
TEST(StartupBinaryExits, AKilledH264RecordingPlaysAsItIs) {
    VesperRun run("killed-h264");
    run.traceOn();
    run.set(settings::ProfileName, "Advance ...");
    run.set(settings::Advance, "H.264 High");
    run.env["VESPER_TEST_NOW"] = "4/20/2030 8:00:05 PM";
    test::writeFile(run.file("Schedule.txt"), "VER1.0\r\n" + std::string(kEightPm) + ",5,10,True,once,crash.wmv\r\n");
    const std::string file = run.file("MyTV/crash.mp4");
    run.start();
    ASSERT_TRUE(run.waitFor([&] {
        std::error_code ec;
        return std::filesystem::file_size(file, ec) > 512 * 1024 && !ec;
    })) << run.output();
    run.kill();
    EXPECT_FALSE(std::filesystem::exists(run.file("MyTV/crash.wmv")));
    EXPECT_TRUE(run.logged("LS0163:INFO:F00:Tmr1() video encoder: ")) << run.output();

    const test::ProbeResult info = test::probe(file);
    EXPECT_EQ(info.videoCodec, "h264") << info.raw;
    EXPECT_EQ(info.audioCodec, "aac");
    EXPECT_EQ(info.frameRate, "30000/1001");
    EXPECT_GT(info.duration, 2.0) << info.raw;
    const double middle = info.duration / 2;
    EXPECT_NEAR(test::gstreamerSeek(file, middle), middle, 1.0);
    EXPECT_NEAR(test::ffmpegSeek(file, middle), middle, 1.0);

    run.start();
    const std::string rest = run.file("MyTV/crash-300420.mp4");
    ASSERT_TRUE(run.waitFor([&] { return std::filesystem::exists(rest); })) << run.output();
    ASSERT_TRUE(run.logged("LS0132:INFO:F00:Form_Load():interrupted recording completed: " + file)) << run.output();
    EXPECT_EQ(run.terminate(), 0) << run.output();
    EXPECT_GE(test::probe(file).duration, info.duration - 2.0);
    EXPECT_EQ(run.get(settings::sRecordingFile), "");
}
