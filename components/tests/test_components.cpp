// The two components by name, as the main program and people's scripts meet
// them: the engine's lists, live recordings from the virtual card while a
// preview runs, every error path, a crash and its repair.
#include "capture/device_stream.h"
#include "components/encwrap/command.h"
#include "components/tests/media_check.h"
#include "components/wmenc/asf_file.h"
#include "components/wmenc/encoder_codes.h"
#include "components/wmenc/mp4_file.h"
#include "components/wmenc/profiles.h"
#include "platform/automation.h"
#include "platform/clock.h"
#include "platform/testing/test_env.h"
#include "tools/script_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <signal.h>
#include <sstream>

using namespace vesper;
using namespace vesper::wmenc;
namespace fs = std::filesystem;

namespace {

const char* kVideo = capture::kVirtualVideoName;
const char* kAudio = capture::kVirtualAudioName;

class EncoderComponents : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The default card and a card held by another program; no real devices.
        const std::string cards =
            test::writeFile(test::testFolder() + "/cards.json",
                            R"({"cards": [{"video": "Vesper Virtual TV Card", "audio": "Vesper Virtual TV Audio"},
                          {"video": "Busy Card", "audio": "Busy Card Audio", "busy": true}],
                "realDevices": false})");
        setenv(capture::kVirtualCardsVariable, cards.c_str(), 1);
        ASSERT_TRUE(test::registerComponent(ENGINE_PATH));
        ASSERT_TRUE(test::registerComponent(ENCWRAP_PATH));
    }

    static std::string tool(const std::string& name) { return std::string(TOOLS_DIR) + "/" + name; }

    // Steps 1 to 6 of a recording; returns the object, with the start result.
    static ObjectPtr startEncoder(const std::string& path, const std::string& video, const std::string& audio,
                                  const std::string& profile, int32_t& code, bool& started) {
        ObjectPtr enc = CreateObject("Encwrap.clsCommand");
        for (auto [member, value] : {std::pair{"ISetOutputFilename", path},
                                     {"ISetVideoSource", video},
                                     {"ISetAudioSource", audio},
                                     {"ISetProfileName", profile}}) {
            Args a{Variant(value)};
            enc->call(member, a);
        }
        Args a{Variant(int32_t(-1))};
        started = enc->call("IStart", a).toBool();
        code = a[0].toInt32();
        return enc;
    }

    // Steps 7 to 9: stop and wait for the file, at most 10 seconds.
    static bool stopEncoder(const ObjectPtr& enc) {
        Args yes{Variant(true)};
        enc->call("ISetAutoIndex", yes);
        enc->call("IStop");
        return waitUntil([&] { return !enc->call("IIndexerRunning").toBool(); }, 10);
    }

    // A script for vesper-script that sets up a recording of the default card
    // into `path` (in the high profile unless told); `rest` follows.
    static std::string recordingScript(const std::string& name, const std::string& path, const std::string& rest,
                                       const std::string& profile = kHighProfile) {
        std::string text = "Set e = CreateObject(\"Encwrap.clsCommand\")\n";
        for (auto [member, value] : {std::pair{"ISetOutputFilename", path},
                                     {"ISetVideoSource", std::string(kVideo)},
                                     {"ISetAudioSource", std::string(kAudio)},
                                     {"ISetProfileName", profile}})
            text += std::string("e.") + member + " \"" + value + "\"\n";
        return test::writeFile(test::testFolder() + "/" + name, text + "code = 0\n" + rest);
    }

    static std::string runScript(const std::string& source, int* rc = nullptr) {
        std::ostringstream out, err;
        ScriptHost host(out, err);
        const int r = host.run(source);
        if (rc) *rc = r;
        return out.str() + err.str();
    }
};

// The main program's walk over the engine's source plug-ins.
std::vector<std::string> getDeviceList(const std::string& typeName) {
    std::vector<std::string> list;
    ObjectPtr enc = CreateObject("WMEncEng.WMEncoder");
    ObjectPtr mgr = enc->get("SourcePluginInfoManager").toObject();
    for (int32_t i = 0; i < mgr->get("Count").toInt32(); ++i) {
        Args ai{Variant(i)};
        ObjectPtr item = mgr->call("Item", ai).toObject();
        if (item->get("SchemeType").toString() != "DEVICE" || !item->get("Resources").toBool()) continue;
        for (int32_t j = 0; j < item->get("Count").toInt32(); ++j) {
            Args aj{Variant(j)};
            const std::string name = item->call("Item", aj).toString();
            if (item->get("name").toString() == typeName && j < 24 && name != "Default_Video_Device" &&
                name != "Default_Audio_Device")
                list.push_back(name);
        }
    }
    return list;
}

} // namespace

TEST_F(EncoderComponents, WMEncEngineListsTheCaptureDevicesAndProfilesAsTheyAreWalked) {
    EXPECT_NE(TryCreateObject("WMencEng.WMEncoder"), nullptr); // the start-up check's spelling
    EXPECT_EQ(getDeviceList("Video Capture Device"), (std::vector<std::string>{kVideo, "Busy Card"}));
    EXPECT_EQ(getDeviceList("Audio Capture Device"), (std::vector<std::string>{kAudio, "Busy Card Audio"}));

    // The profile walk: a source group with an audio and a video source first.
    ObjectPtr enc = CreateObject("WMEncEng.WMEncoder");
    Args g{Variant("SG_1")};
    ObjectPtr group = enc->get("SourceGroupCollection").toObject()->call("Add", g).toObject();
    Args audio{Variant(int16_t(1))}, video{Variant(int16_t(2))}, bad{Variant(int16_t(3))};
    group->call("AddSource", audio);
    group->call("AddSource", video);
    EXPECT_THROW(group->call("AddSource", bad), AutomationError);
    ObjectPtr list = enc->get("ProfileCollection").toObject();
    std::vector<std::string> names;
    for (int32_t i = 0; i < list->get("Count").toInt32(); ++i) {
        Args ai{Variant(i)};
        names.push_back(list->call("Item", ai).toObject()->get("name").toString());
    }
    EXPECT_EQ(names.size(), profiles().size());
    for (const char* want : {kLowProfile, kMediumProfile, kHighProfile})
        EXPECT_NE(std::find(names.begin(), names.end(), want), names.end()) << want;
    // Our own profiles come last, and each item tells its files' extension.
    for (auto [i, name, extension, encoding] :
         {std::tuple{int32_t(names.size()) - 1, kH264HighProfile, ".mp4", "auto"},
          {int32_t(names.size()) - 2, kH264MediumProfile, ".mp4", "auto"},
          {int32_t(0), "Video for dial-up modems (56 Kbps)", ".wmv", "software"}}) {
        Args ai{Variant(i)};
        ObjectPtr item = list->call("Item", ai).toObject();
        EXPECT_EQ(item->get("name").toString(), name);
        EXPECT_EQ(item->get("Extension").toString(), extension) << name;
        EXPECT_EQ(item->get("VideoEncoding").toString(), encoding) << name;
    }
    Args outside{Variant(int32_t(names.size()))};
    try {
        list->call("Item", outside);
        ADD_FAILURE() << "no error past the end";
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.number(), 9);
        EXPECT_EQ(e.source(), "WMEncEng.WMEncoder");
    }

    // People walk the same objects from a script, with chained calls.
    int rc = 0;
    const std::string out = runScript("Set e = CreateObject(\"WMEncEng.WMEncoder\")\n"
                                      "Print e.SourcePluginInfoManager.Item(0).name\n"
                                      "Print e.SourcePluginInfoManager.Item(0).Item(1)\n"
                                      "Print e.SourcePluginInfoManager.Item(1).Item(2)\n"
                                      "Print e.ProfileCollection.Item(3).name\n",
                                      &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(out, std::string("Video Capture Device\nBusy Card\nDefault_Audio_Device\n") + kLowProfile + "\n");
}

TEST_F(EncoderComponents, EncwrapRecordsTheVirtualCardWhileItsPreviewRuns) {
    std::atomic<int> previewFrames{0};
    auto preview =
        capture::subscribeDeviceStream(kVideo, capture::MediaKind::Video, [&](GstSample*) { ++previewFrames; });
    ASSERT_TRUE(preview);
    ASSERT_TRUE(waitUntil([&] { return previewFrames > 0; }, 10));

    const std::string path = test::makeFolder("MyTV") + "/News.wmv";
    int32_t code = 0;
    bool started = false;
    ObjectPtr enc = startEncoder(path, kVideo, kAudio, kHighProfile, code, started);
    ASSERT_TRUE(started);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(enc->call("IIndexerRunning").toBool()); // recording, not indexing
    waitSeconds(3.0);                                    // a live device runs in real time
    ASSERT_TRUE(stopEncoder(enc));
    enc.reset();

    // The preview runs on through the recording's end, on its one source.
    const int seen = previewFrames;
    EXPECT_TRUE(waitUntil([&] { return previewFrames > seen + 3; }, 10));
    EXPECT_EQ(capture::runningDeviceSources(), 1);
    preview.reset();

    const auto info = test::probe(path);
    EXPECT_EQ(info.format, "asf") << info.raw;
    EXPECT_EQ(info.videoCodec, "wmv2");
    EXPECT_EQ(info.audioCodec, "wmav2");
    EXPECT_EQ(info.width, findProfile(kHighProfile)->width);
    EXPECT_EQ(info.height, findProfile(kHighProfile)->height);
    EXPECT_EQ(info.frameRate, "30000/1001");
    EXPECT_TRUE(inspectAsf(path).hasIndex);
    // What the file holds, not how long the wait took on a busy machine: the
    // header's duration covers the packets, picture and sound both from zero.
    const auto packets = test::summarize(path);
    EXPECT_NEAR(info.duration, std::max(packets.lastVideo, packets.lastAudio), 0.2) << info.raw;
    EXPECT_NEAR(packets.firstVideo, 0.0, 0.1);
    EXPECT_NEAR(packets.firstAudio, 0.0, 0.2);
    EXPECT_GT(packets.lastVideo, 0.5);
    EXPECT_GT(packets.lastAudio, 0.5);
    const double middle = packets.lastVideo / 2;
    EXPECT_NEAR(test::gstreamerSeek(path, middle), middle, 0.1);
    EXPECT_GE(test::ffmpegSeek(path, middle), 0.0);
    EXPECT_TRUE(test::decodesCleanly(path));
}

TEST_F(EncoderComponents, EncwrapReportsBadSettingsThroughTheStartCode) {
    const std::string folder = test::makeFolder("out");
    struct Case {
        std::string path, video, audio, profile;
        int32_t code;
    } cases[] = {
        {folder + "/a.wmv", "No Such Card", kAudio, kLowProfile, kStartUnknownVideoDevice},
        {folder + "/a.wmv", kVideo, "No Such Audio", kLowProfile, kStartUnknownAudioDevice},
        {folder + "/a.wmv", kVideo, kAudio, "Video for nothing (1 Kbps)", kStartUnknownProfile},
        {folder + "/gone/a.wmv", kVideo, kAudio, kLowProfile, kStartCannotCreateFile},
        {folder + "/a.wmv", "Busy Card", "Busy Card Audio", kLowProfile, kStartDeviceFailed},
        {"", kVideo, kAudio, kLowProfile, kStartNoOutputFile},
        {folder + "/gone/a.mp4", kVideo, kAudio, kH264MediumProfile, kStartCannotCreateFile},
        {folder + "/a.mp4", "Busy Card", "Busy Card Audio", kH264HighProfile, kStartDeviceFailed},
        {folder + "/a.mp4", "No Such Card", kAudio, kH264HighProfile, kStartUnknownVideoDevice},
        {"", kVideo, kAudio, kH264MediumProfile, kStartNoOutputFile},
        {folder + "/a.mp4", kVideo, kAudio, "h.264 medium", kStartUnknownProfile},
    };
    for (const Case& c : cases) {
        int32_t code = 0;
        bool started = true;
        ObjectPtr enc = startEncoder(c.path, c.video, c.audio, c.profile, code, started);
        EXPECT_FALSE(started) << c.video << " " << c.profile;
        EXPECT_EQ(code, c.code) << std::hex << code;
        EXPECT_FALSE(enc->call("IIndexerRunning").toBool());
        try {
            enc->call("IStop");
            ADD_FAILURE() << "IStop after a failed start raised nothing";
        } catch (const AutomationError& e) {
            EXPECT_EQ(e.number(), kErrNotStarted);
            EXPECT_EQ(e.source(), "Encwrap.clsCommand");
            EXPECT_FALSE(e.description().empty());
        }
    }
    EXPECT_FALSE(fs::exists(folder + "/a.wmv"));
    EXPECT_FALSE(fs::exists(folder + "/a.mp4"));
    EXPECT_EQ(capture::runningDeviceSources(), 0);
}

TEST_F(EncoderComponents, EncwrapRefusesCallsOutOfOrderAndCompletesAReleasedRecording) {
    ObjectPtr idle = CreateObject("Encwrap.clsCommand");
    auto* members = dynamic_cast<DispatchObject*>(idle.get());
    ASSERT_NE(members, nullptr);
    EXPECT_EQ(members->memberNames(),
              (std::vector<std::string>{"ISetOutputFilename", "ISetVideoSource", "ISetAudioSource", "ISetProfileName",
                                        "IStart", "ISetAutoIndex", "IStop", "IIndexerRunning", "IRecording",
                                        "IVideoEncoder"}));
    EXPECT_EQ(idle->call("IVideoEncoder").toString(), "");
    EXPECT_THROW(idle->call("IStop"), AutomationError);
    EXPECT_FALSE(idle->call("IIndexerRunning").toBool());

    const std::string path = test::testFolder() + "/order.wmv";
    int32_t code = 0;
    bool started = false;
    ObjectPtr enc = startEncoder(path, kVideo, kAudio, kLowProfile, code, started);
    ASSERT_TRUE(started);
    Args other{Variant("other.wmv")};
    try {
        enc->call("ISetOutputFilename", other);
        ADD_FAILURE() << "a setter after IStart raised nothing";
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.number(), kErrAlreadyStarted);
    }
    Args again{Variant(int32_t(0))};
    EXPECT_FALSE(enc->call("IStart", again).toBool());
    EXPECT_EQ(again[0].toInt32(), kStartAlreadyStarted);
    waitSeconds(1.0);
    ASSERT_TRUE(stopEncoder(enc));
    try {
        enc->call("IStop");
        ADD_FAILURE() << "a second IStop raised nothing";
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.number(), kErrAlreadyStopped);
    }
    EXPECT_TRUE(inspectAsf(path).hasIndex);

    // Released while recording, without IStop: the file is completed anyway.
    // (The default resources stand for the first devices.)
    const std::string dropped = test::testFolder() + "/dropped.wmv";
    enc = startEncoder(dropped, "Default_Video_Device", "Default_Audio_Device", kLowProfile, code, started);
    ASSERT_TRUE(started);
    waitSeconds(1.0);
    enc.reset();
    const AsfFileInfo info = inspectAsf(dropped);
    EXPECT_TRUE(info.complete && info.hasIndex) << info.problem;
    EXPECT_TRUE(test::decodesCleanly(dropped));
    EXPECT_EQ(capture::runningDeviceSources(), 0);
}

TEST_F(EncoderComponents, EncwrapKeepsWhatWasWrittenWhenTheDiskFills) {
    // A child process whose files may not grow beyond a limit, as a full
    // disk: 96 KiB for Windows Media, a few fragments for MP4.
    for (auto [profile, name, limitKiB] :
         {std::tuple{std::string(kHighProfile), "full.wmv", 96}, {std::string(kH264MediumProfile), "full.mp4", 128}}) {
        SCOPED_TRACE(profile);
        const std::string path = test::testFolder() + "/" + name;
        const std::string script = recordingScript("full.vbs", path,
                                                   "Print e.IStart(code), code\n"
                                                   "Wait 4\n"
                                                   "On Error Resume Next\n"
                                                   "e.ISetAutoIndex True\n"
                                                   "e.IStop\n"
                                                   "Print Err\n"
                                                   "Err.Clear\n"
                                                   "Print e.IIndexerRunning\n"
                                                   "Set e = Nothing\n"
                                                   "Print \"released\"\n",
                                                   profile);
        std::string out;
        const int rc = test::runCommand("bash -c \"trap '' XFSZ; ulimit -f " + std::to_string(limitKiB) + "; exec '" +
                                            tool("vesper-script") + "' '" + script + "'\"",
                                        &out);
        EXPECT_EQ(rc, 0) << out;
        EXPECT_NE(out.find("True 0\n"), std::string::npos) << out;
        EXPECT_NE(out.find("Error 61 (Encwrap.clsCommand)"), std::string::npos) << out;
        EXPECT_NE(out.find("False\nreleased"), std::string::npos) << out;
        EXPECT_LE(fs::file_size(path), uint64_t(limitKiB) * 1024);
        EXPECT_GT(test::summarize(path).videoPackets, 10);
        std::string log;
        EXPECT_TRUE(test::decodesCleanly(path, &log)) << log;
    }
}

TEST_F(EncoderComponents, EncwrapReportsEachFaultTheVirtualCardInjects) {
    // Cards of their own for this test; the suite's cards come back after it.
    const std::string suiteCards = std::getenv(capture::kVirtualCardsVariable);
    setenv(capture::kVirtualCardsVariable,
           test::writeFile(test::testFolder() + "/faults.json",
                           R"({"realDevices": false, "cards": [
                  {"video": "Unplugged", "audio": "Unplugged Audio", "vanishAfter": 1},
                  {"video": "Dying", "audio": "Dying Audio", "writerDiesAfter": 1},
                  {"video": "Quiet", "audio": "Quiet Audio", "noSignal": true},
                  {"video": "Held", "audio": "Held Audio", "busy": true}]})")
               .c_str(),
           1);
    struct Case {
        std::string card;
        int32_t startCode;
        int32_t error; // raised by IRecording while recording and by IStop
        bool indexed;  // the file was completed
    } cases[] = {
        {"Unplugged", kStartOk, 68, true},
        {"Dying", kStartOk, kErrWriterDied, false},
        {"Quiet", kStartOk, 0, true},
        {"Held", kStartDeviceFailed, 0, false},
    };
    const auto errorOf = [](const ObjectPtr& enc, const char* member) {
        try {
            enc->call(member);
        } catch (const AutomationError& e) {
            EXPECT_EQ(e.source(), "Encwrap.clsCommand");
            return e.number();
        }
        return 0;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.card);
        const std::string path = test::testFolder() + "/" + c.card + ".wmv";
        int32_t code = -1;
        bool started = false;
        ObjectPtr enc = startEncoder(path, c.card, c.card + " Audio", kLowProfile, code, started);
        EXPECT_EQ(code, c.startCode);
        if (!started) {
            EXPECT_FALSE(fs::exists(path));
            continue;
        }
        if (c.error) {
            // A live device runs in real time: the fault comes when it comes.
            EXPECT_TRUE(waitUntil([&] { return errorOf(enc, "IRecording") == c.error; }, 20));
        } else {
            waitSeconds(2.0);
            EXPECT_TRUE(enc->call("IRecording").toBool());
        }
        EXPECT_EQ(errorOf(enc, "IStop"), c.error);
        EXPECT_TRUE(waitUntil([&] { return !enc->call("IIndexerRunning").toBool(); }, 10));
        EXPECT_FALSE(enc->call("IRecording").toBool());
        enc.reset();
        // What was written before the fault stays readable.
        EXPECT_EQ(inspectAsf(path).hasIndex, c.indexed);
        EXPECT_GT(test::summarize(path).videoPackets, 5);
        EXPECT_TRUE(test::decodesCleanly(path));
    }
    EXPECT_EQ(capture::runningDeviceSources(), 0);
    setenv(capture::kVirtualCardsVariable, suiteCards.c_str(), 1);
}

TEST_F(EncoderComponents, RepairRebuildsARecordingWhoseProcessWasKilled) {
    const std::string path = test::testFolder() + "/killed.wmv";
    const std::string script = recordingScript("kill.vbs", path,
                                               "e.IStart code\n"
                                               "Wait 60\n");
    std::string pidText;
    ASSERT_EQ(test::runCommand("'" + tool("vesper-script") + "' '" + script + "' >/dev/null 2>&1 & echo $!", &pidText),
              0);
    const pid_t pid = std::stoi(pidText);
    // Killed once a good part of a second is on disk.
    const bool grew = waitUntil(
        [&] {
            std::error_code ec;
            return fs::file_size(path, ec) > 80 * 1024 && !ec;
        },
        30);
    ::kill(pid, SIGKILL);
    ASSERT_TRUE(grew);
    waitUntil([&] { return ::kill(pid, 0) != 0; }, 10);

    EXPECT_FALSE(inspectAsf(path).complete);
    EXPECT_TRUE(test::decodesCleanly(path));
    const auto before = test::summarize(path);
    const std::string copy = test::testFolder() + "/killed-copy.wmv";
    fs::copy_file(path, copy);

    std::string out;
    EXPECT_EQ(test::runCommand("'" + tool("vesper-repair") + "' '" + path + "'", &out), 0) << out;
    EXPECT_NE(out.find("repaired"), std::string::npos) << out;
    EXPECT_TRUE(inspectAsf(path).hasIndex);
    EXPECT_EQ(test::summarize(path).videoPackets, before.videoPackets);
    EXPECT_NEAR(test::gstreamerSeek(path, before.lastVideo / 2), before.lastVideo / 2, 0.1);
    EXPECT_EQ(test::runCommand("'" + tool("vesper-repair") + "' --check '" + path + "'", &out), 0) << out;
    EXPECT_EQ(test::runCommand("'" + tool("vesper-repair") + "' '" + test::testFolder() + "/none.wmv'", &out), 1);
    EXPECT_EQ(test::runCommand("'" + tool("vesper-repair") + "' --frobnicate '" + path + "'", &out), 2) << out;
    EXPECT_NE(out.find("unknown option --frobnicate"), std::string::npos) << out;

    // A rewrite keeps the header's values: the maximum bit rate of both
    // streams, the title, the picture's aspect.
    const std::string before2 = test::readFile(path);
    EXPECT_EQ(test::runCommand("'" + tool("vesper-repair") + "' --force '" + path + "'", &out), 0) << out;
    const std::string after2 = test::readFile(path);
    const auto maxBitRate = [](const std::string& bytes) {
        const size_t at = bytes.find(std::string("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11", 8));
        return at == std::string::npos || at + 104 > bytes.size()
                   ? 0u
                   : uint32_t(uint8_t(bytes[at + 100])) | uint32_t(uint8_t(bytes[at + 101])) << 8 |
                         uint32_t(uint8_t(bytes[at + 102])) << 16 | uint32_t(uint8_t(bytes[at + 103])) << 24;
    };
    EXPECT_NE(maxBitRate(before2), 0u);
    EXPECT_EQ(maxBitRate(after2), maxBitRate(before2));
    const std::string contentDescription("\x33\x26\xB2\x75\x8E\x66\xCF\x11", 8);
    std::string aspectRatio;
    for (char c : std::string("AspectRatioX"))
        aspectRatio += std::string{c, '\0'};
    EXPECT_NE(before2.find(contentDescription), std::string::npos);
    EXPECT_NE(after2.find(contentDescription), std::string::npos);
    EXPECT_NE(before2.find(aspectRatio), std::string::npos);
    EXPECT_NE(after2.find(aspectRatio), std::string::npos);

    // The engine does the same on request.
    ObjectPtr engine = CreateObject("WMEncEng.WMEncoder");
    Args a{Variant(copy)};
    EXPECT_TRUE(engine->call("RepairFile", a).toBool());
    EXPECT_TRUE(inspectAsf(copy).hasIndex);
    EXPECT_FALSE(engine->call("RepairFile", a).toBool()); // already whole
    Args none{Variant(test::testFolder() + "/none.wmv")};
    EXPECT_THROW(engine->call("RepairFile", none), AutomationError);
}

TEST_F(EncoderComponents, EncwrapRecordsEachH264ProfileFromTheVirtualCard) {
    for (const char* profile : {kH264MediumProfile, kH264HighProfile}) {
        SCOPED_TRACE(profile);
        const Profile& p = *findProfile(profile);
        const std::string path = test::makeFolder("MyTV") + "/News" + p.extension();
        int32_t code = -1;
        bool started = false;
        ObjectPtr enc = startEncoder(path, kVideo, kAudio, profile, code, started);
        ASSERT_TRUE(started) << std::hex << code;
        EXPECT_EQ(code, 0);
        // Software here; a machine with a VA-API device that answers uses it.
        const std::string encoder = enc->call("IVideoEncoder").toString();
        EXPECT_TRUE(encoder.starts_with("x264 (software)") || encoder.starts_with("VA-API")) << encoder;
        waitSeconds(3.0);
        ASSERT_TRUE(stopEncoder(enc));
        EXPECT_EQ(enc->call("IVideoEncoder").toString(), encoder);
        enc.reset();

        const auto info = test::probe(path);
        EXPECT_NE(info.format.find("mp4"), std::string::npos) << info.raw;
        EXPECT_EQ(info.videoCodec, "h264");
        EXPECT_EQ(info.audioCodec, "aac");
        EXPECT_EQ(info.width, p.width);
        EXPECT_EQ(info.height, p.height);
        EXPECT_EQ(info.frameRate, "30000/1001");
        EXPECT_TRUE(inspectMp4(path).complete);
        const auto packets = test::summarize(path);
        EXPECT_NEAR(info.duration, std::max(packets.lastVideo, packets.lastAudio), 0.2) << info.raw;
        EXPECT_NEAR(packets.firstVideo, 0.0, 0.1);
        EXPECT_GT(packets.lastVideo, 1.0);
        const double middle = packets.lastVideo / 2;
        EXPECT_NEAR(test::gstreamerSeek(path, middle), middle, 0.1);
        EXPECT_TRUE(test::decodesCleanly(path));
    }
    EXPECT_EQ(capture::runningDeviceSources(), 0);
}

TEST_F(EncoderComponents, AnH264RecordingKilledMidwayPlaysAndSeeksWithoutRepair) {
    const std::string path = test::testFolder() + "/killed.mp4";
    const std::string script = recordingScript("kill.vbs", path, "e.IStart code\nWait 60\n", kH264HighProfile);
    std::string pidText;
    ASSERT_EQ(test::runCommand("'" + tool("vesper-script") + "' '" + script + "' >/dev/null 2>&1 & echo $!", &pidText),
              0);
    const pid_t pid = std::stoi(pidText);
    const bool grew = waitUntil([&] { return inspectMp4(path).fragments >= 4; }, 60);
    ::kill(pid, SIGKILL);
    ASSERT_TRUE(grew);
    waitUntil([&] { return ::kill(pid, 0) != 0; }, 10);

    // As it is: its streams, its length up to the last fragment, and seeking
    // to the last seconds, in FFmpeg and GStreamer.
    const auto info = test::probe(path);
    EXPECT_EQ(info.videoCodec, "h264") << info.raw;
    EXPECT_EQ(info.audioCodec, "aac");
    const auto before = test::summarize(path);
    EXPECT_GT(before.lastVideo, 3.0);
    EXPECT_NEAR(info.duration, std::max(before.lastVideo, before.lastAudio), 0.2) << info.raw;
    EXPECT_TRUE(test::decodesCleanly(path));
    const double late = before.lastVideo - 0.5;
    EXPECT_NEAR(test::gstreamerSeek(path, late), late, 0.1);
    const double landed = test::ffmpegSeek(path, late);
    EXPECT_LE(landed, late);
    EXPECT_GE(landed, late - 2.1); // the key frame before, at most 2 seconds back

    // The repair tool tells it plays, and adds the index when asked.
    const std::string copy = test::testFolder() + "/killed-copy.mp4";
    fs::copy_file(path, copy);
    std::string out;
    EXPECT_EQ(test::runCommand("'" + tool("vesper-repair") + "' --check '" + path + "'", &out), 1) << out;
    EXPECT_NE(out.find("play and seek as they are"), std::string::npos) << out;
    EXPECT_EQ(test::runCommand("'" + tool("vesper-repair") + "' '" + path + "'", &out), 0) << out;
    EXPECT_NE(out.find("repaired"), std::string::npos) << out;
    EXPECT_EQ(test::runCommand("'" + tool("vesper-repair") + "' --check '" + path + "'", &out), 0) << out;
    EXPECT_NE(out.find("complete"), std::string::npos) << out;
    EXPECT_EQ(test::summarize(path).videoPackets, before.videoPackets);
    EXPECT_TRUE(test::decodesCleanly(path));

    ObjectPtr engine = CreateObject("WMEncEng.WMEncoder");
    Args a{Variant(copy)};
    EXPECT_TRUE(engine->call("RepairFile", a).toBool());
    EXPECT_TRUE(inspectMp4(copy).complete);
    EXPECT_FALSE(engine->call("RepairFile", a).toBool()); // already whole
}
