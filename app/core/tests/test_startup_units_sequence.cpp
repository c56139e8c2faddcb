#include "app/core/diagnostics.h"
#include "app/core/settings_store.h"
#include "app/core/startup_rules.h"

#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vesper;

namespace {

// Devices and tuner as a test describes them; records what was asked.
class FakeDevices : public DeviceBlockHost {
public:
    std::vector<std::string> videos{"Card A", "Card B"}, audios{"Card A Audio"};
    std::vector<std::pair<std::string, std::string>> working{{"Card B", "Card A Audio"}};
    std::vector<std::string> calls;

    std::vector<std::string> deviceList(const std::string& type) override {
        calls.push_back("list " + type);
        return type == "Video Capture Device" ? videos : audios;
    }
    void readProfiles() override { calls.push_back("profiles"); }
    void restoreTuner() override { calls.push_back("tuner"); }
    bool probePairs(const std::vector<std::string>& v, const std::vector<std::string>& a, std::string& video,
                    std::string& audio) override {
        for (const auto& x : v)
            for (const auto& y : a) {
                calls.push_back("try " + x + "+" + y);
                if (works(x, y)) {
                    video = x;
                    audio = y;
                    return true;
                }
            }
        return false;
    }
    bool bringUp(const std::string& v, const std::string& a) override {
        calls.push_back("up " + v + "+" + a);
        return works(v, a);
    }
    void createDefaultOutputFolder() override { calls.push_back("folder"); }
    void fillDeviceBoxes(const std::vector<std::string>&, const std::vector<std::string>&, const std::string& v,
                         const std::string& a) override {
        calls.push_back("fill " + v + "+" + a);
    }

private:
    bool works(const std::string& v, const std::string& a) const {
        for (const auto& p : working)
            if (p.first == v && p.second == a) return true;
        return false;
    }
};

class StartupSequence : public ::testing::Test {
protected:
    void SetUp() override {
        registry::deleteKey(settings::kRoot);
        std::error_code ec;
        for (const char* f : {"LogStatus.txt", "LogStatusLast.txt", "LogStatusAppInit.txt"})
            std::filesystem::remove(programFile(f), ec);
        RegSaveSetting2(settings::bLogStatusAppInit, "True");
        RegSaveSetting2(settings::bLogStatus, "True");
    }
    std::string trace() {
        return programFileExists("LogStatusAppInit.txt") ? test::readFile(programFile("LogStatusAppInit.txt")) : "";
    }
    std::string log() { return programFileExists("LogStatus.txt") ? test::readFile(programFile("LogStatus.txt")) : ""; }
};

} // namespace

TEST(StartupRules, CheckpointCodes) {
    EXPECT_EQ(checkpointMessage(1), "LS0008:INFO:F00:Form_Load():OK01");
    EXPECT_EQ(checkpointMessage(16), "LS0023:INFO:F00:Form_Load():OK16");
    EXPECT_EQ(checkpointMessage(28), "LS0035:INFO:F00:Form_Load():OK28");
    EXPECT_EQ(checkpointMessage(29), "LS0036:INFO:F00:Form_Load():OK29 - All Ok");
}

TEST(StartupRules, WindowCoordinatesOffScreenFallBackTo5) {
    EXPECT_EQ(windowCoordinate("1200", 11520), 1200);
    EXPECT_EQ(windowCoordinate("-200", 11520), 5);
    EXPECT_EQ(windowCoordinate("99999999999999999999", 11520), 5);
    EXPECT_EQ(windowCoordinate("20000", 11520), 5);
    EXPECT_EQ(windowCoordinate("abc", 11520), 5);
    EXPECT_EQ(windowCoordinate("", 11520), 5);
}

TEST(StartupRules, ExitButton) {
    EXPECT_EQ(cmdExitDecision(true, false, true), ExitDecision::Refuse);
    EXPECT_EQ(cmdExitDecision(true, true, false), ExitDecision::Defer);
    EXPECT_EQ(cmdExitDecision(false, false, true), ExitDecision::Ask);
    EXPECT_EQ(cmdExitDecision(false, false, false), ExitDecision::Unload);
}

TEST_F(StartupSequence, CleanExitMarkerStaysFalseAfterACrash) {
    const std::string name = "bExitNormally.1.1.214h";
    EXPECT_TRUE(ReadCleanExitMarker(name)); // missing: a normal end
    EXPECT_EQ(RegGetSetting2(settings::key::Status, name, ""), "False");
    // No normal end in between (a crash): the next start sees it.
    EXPECT_FALSE(ReadCleanExitMarker(name));
    EXPECT_EQ(RegGetSetting2(settings::key::Status, name, ""), "False");
    RegSaveSetting2(settings::key::Status, name, "True");
    EXPECT_TRUE(ReadCleanExitMarker(name));
}

TEST_F(StartupSequence, StoredChannelsAndPropertiesAreMended) {
    RegSaveSetting2(settings::Channel, "abc");
    RegSaveSetting2(settings::ChannelPrevious, "181");
    EXPECT_EQ(RestoreChannel("Channel"), "2");
    EXPECT_EQ(RegGetSetting2(settings::Channel), "2");
    EXPECT_EQ(RestoreChannel("ChannelPrevious"), "181");
    RegSaveSetting2(settings::Channel, "182");
    EXPECT_EQ(RestoreChannel("Channel"), "2");
    RegSaveSetting2(settings::CountryCode, "<NOT_EXIST>");
    EXPECT_EQ(RestoreTunerProperty("CountryCode"), "Default");
    registry::deleteValue(std::string(settings::kRoot) + settings::key::TunerProperties, "CountryCode");
    EXPECT_EQ(RestoreTunerProperty("CountryCode"), "Default");
    RegSaveSetting2(settings::VideoStandard, "PAL_B");
    EXPECT_EQ(RestoreTunerProperty("VideoStandard"), "PAL_B");
}

TEST_F(StartupSequence, FirstRunProbesVideoMajorAndTracesEveryCheckpoint) {
    FakeDevices d;
    const DeviceBlockResult r = RunDeviceBlock(d, true);
    EXPECT_EQ(r.outcome, DeviceOutcome::Ok);
    EXPECT_EQ(r.video, "Card B");
    const std::vector<std::string> expected = {"list Video Capture Device",
                                               "list Audio Capture Device",
                                               "profiles",
                                               "tuner",
                                               "folder",
                                               "try Card A+Card A Audio",
                                               "try Card B+Card A Audio",
                                               "up Card B+Card A Audio",
                                               "fill Card B+Card A Audio"};
    EXPECT_EQ(d.calls, expected);
    std::string lines;
    for (int n : {7, 8, 9, 10, 11, 12, 13, 15, 16})
        lines += checkpointMessage(n) + "\r\n";
    std::string got;
    const std::string t = trace();
    for (size_t p = t.find("LS00"); p != std::string::npos; p = t.find("LS00", p + 1))
        got += t.substr(p, t.find("\r\n", p) - p) + "\r\n";
    EXPECT_EQ(got, lines);
}

TEST_F(StartupSequence, FatalAndNonFatalDeviceOutcomes) {
    FakeDevices none;
    none.videos.clear();
    EXPECT_EQ(RunDeviceBlock(none, false).outcome, DeviceOutcome::NoVideo);
    EXPECT_EQ(noticeCode(DeviceOutcome::NoVideo), "n2");
    EXPECT_NE(log().find("LS0043:ERROR:F00:Form_Load():n2:No Video Capture Device detected."), std::string::npos);

    FakeDevices noAudio;
    noAudio.audios.clear();
    EXPECT_EQ(RunDeviceBlock(noAudio, false).outcome, DeviceOutcome::NoAudio);
    EXPECT_EQ(noticeCode(DeviceOutcome::NoAudio), "n3");

    FakeDevices broken;
    broken.working.clear();
    EXPECT_EQ(RunDeviceBlock(broken, true).outcome, DeviceOutcome::TunerFailed);
    EXPECT_EQ(noticeCode(DeviceOutcome::TunerFailed), "n4");
    EXPECT_EQ(broken.calls.back(), "try Card B+Card A Audio"); // no box filled

    // A later run brings up the saved pair; when it fails, start-up goes on.
    RegSaveSetting2(settings::VideoSource, "Gone Card");
    RegSaveSetting2(settings::AudioSource, "Card A Audio");
    FakeDevices saved;
    const DeviceBlockResult r = RunDeviceBlock(saved, false);
    EXPECT_EQ(r.outcome, DeviceOutcome::SavedPairFailed);
    EXPECT_EQ(noticeCode(r.outcome), "");
    EXPECT_EQ(r.video, "Gone Card");
    EXPECT_EQ(saved.calls.back(), "fill Gone Card+Card A Audio");
    EXPECT_NE(log().find("LS0046:ERROR:F00:Form_Load():Current device settings failed to initialize. :("),
              std::string::npos);
    EXPECT_NE(trace().find(checkpointMessage(14)), std::string::npos);
}
