// The threaded recorder on a stand-in device that runs in real time with a
// clock of its own.
#include "components/tests/media_check.h"
#include "components/wmenc/asf_file.h"
#include "components/wmenc/encoder_codes.h"
#include "components/wmenc/recorder.h"
#include "platform/automation.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace vesper;
using namespace vesper::wmenc;

namespace {

// A live device whose timestamps start at 1000 hours, as GStreamer's libav
// elements stamp theirs; "Broken Video" cannot be opened, "Fading Video" is
// unplugged after 20 pictures.
class FakeDevices : public MediaSource {
public:
    std::atomic<int> live{0};

    std::vector<std::string> devices(MediaKind kind) override {
        return kind == MediaKind::Video ? std::vector<std::string>{"Fake Video", "Broken Video", "Fading Video"}
                                        : std::vector<std::string>{"Fake Audio"};
    }
    std::unique_ptr<Subscription> subscribeVideo(const std::string& device, VideoHandler on, EndHandler onEnd,
                                                 std::string* why) override {
        if (device == "Broken Video") {
            if (why) *why = "the device does not answer";
            return nullptr;
        }
        const int frameCount = device == "Fading Video" ? 20 : 1000;
        return std::make_unique<Feed>(this, [on, onEnd, frameCount](int i, bool& more) {
            thread_local std::unique_ptr<test::PatternFrames> frames;
            if (!frames) frames = std::make_unique<test::PatternFrames>(frameCount);
            VideoInput v;
            more = frames->next(v);
            if (!more && frameCount < 1000) onEnd("unplugged");
            if (!more) return 0.0;
            v.seconds = 3600000.0 + i * 1001.0 / 30000;
            on(std::move(v));
            return 1001.0 / 30000;
        });
    }
    std::unique_ptr<Subscription> subscribeAudio(const std::string& device, AudioHandler on, EndHandler,
                                                 std::string* why) override {
        if (device != "Fake Audio") {
            if (why) *why = "no such device";
            return nullptr;
        }
        auto tone = std::make_shared<std::vector<int16_t>>(test::toneSamples(1));
        return std::make_unique<Feed>(this, [on, tone](int i, bool& more) {
            more = true;
            auto in = test::toneInput(*tone, (i % 30) * 1600, 1600, 3600000.0 + i * 1600.0 / 48000);
            in.keep = tone;
            on(std::move(in));
            return 1600.0 / 48000;
        });
    }

private:
    // Delivers on a thread of its own at the pace of a real device.
    class Feed : public Subscription {
    public:
        Feed(FakeDevices* owner, std::function<double(int, bool&)> step) : m_owner(owner) {
            ++m_owner->live;
            m_thread = std::thread([this, step] {
                auto due = std::chrono::steady_clock::now();
                for (int i = 0; !m_stop; ++i) {
                    bool more = true;
                    const double period = step(i, more);
                    if (!more) break;
                    due += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(period));
                    std::this_thread::sleep_until(due);
                }
            });
        }
        ~Feed() override {
            m_stop = true;
            m_thread.join();
            --m_owner->live;
        }

    private:
        FakeDevices* m_owner;
        std::atomic<bool> m_stop{false};
        std::thread m_thread;
    };
};

// A device driven by the test itself, on a clock that the test moves: what
// the file holds depends on the deliveries alone, never on how busy the
// machine is.
class HandDriven : public MediaSource {
public:
    std::atomic<double> now{500.0};
    VideoHandler video;
    AudioHandler audio;

    std::vector<std::string> devices(MediaKind kind) override {
        return {kind == MediaKind::Video ? "Hand Video" : "Hand Audio"};
    }
    std::unique_ptr<Subscription> subscribeVideo(const std::string&, VideoHandler on, EndHandler,
                                                 std::string*) override {
        video = std::move(on);
        return std::make_unique<Subscription>();
    }
    std::unique_ptr<Subscription> subscribeAudio(const std::string&, AudioHandler on, EndHandler,
                                                 std::string*) override {
        audio = std::move(on);
        return std::make_unique<Subscription>();
    }

    // `seconds` of picture and sound, stamped from 1000 hours as libav does;
    // the sound device starts `audioLate` seconds after the picture. Waits
    // for the recorder between batches, so that its queue never overflows.
    void play(Recorder* r, double seconds, double audioLate) {
        test::PatternFrames frames(int(seconds * 30000 / 1001));
        const auto tone = test::toneSamples(1);
        const double start = now;
        int64_t audioRuns = 0;
        VideoInput v;
        for (int i = 0; frames.next(v); ++i) {
            now = start + i * 1001.0 / 30000;
            v.seconds = 3600000.0 + i * 1001.0 / 30000;
            video(std::move(v));
            // A run of sound is delivered when its last sample is in.
            while (start + audioLate + (audioRuns + 1) * 1600.0 / 48000 <= now) {
                auto in = test::toneInput(tone, (audioRuns % 30) * 1600, 1600, 7200000.0 + audioRuns * 1600.0 / 48000);
                audio(std::move(in));
                ++audioRuns;
            }
            if (r && i % 30 == 29) waitUntil([&] { return r->stats().videoFramesIn >= i + 1; }, 60);
        }
    }
};

Recorder::Settings settings(const std::string& path, const std::string& video = "Fake Video") {
    return {path, *findProfile(kLowProfile), video, "Fake Audio"};
}

bool recordedAtLeast(Recorder& r, double seconds) {
    return waitUntil([&] { return r.stats().videoSeconds >= seconds; }, 20);
}

} // namespace

TEST(RecordingThread, StartsTheFileAtZeroWithSoundAndPictureInStep) {
    // Two streams with unrelated timelines, the sound starting a quarter of a
    // second late: both begin at zero in the file and end together.
    HandDriven devices;
    const std::string path = test::testFolder() + "/rebased.wmv";
    {
        Recorder r(devices, [&] { return devices.now.load(); });
        StartFailure why;
        ASSERT_TRUE(r.start({path, *findProfile(kLowProfile), "Hand Video", "Hand Audio"}, &why)) << why.text;
        EXPECT_TRUE(r.busy());
        devices.play(&r, 2.0, 0.25);
        r.stop();
        ASSERT_TRUE(r.waitFinished(60));
        EXPECT_EQ(r.state(), Recorder::State::Done);
        EXPECT_FALSE(r.busy());
        EXPECT_EQ(r.queueDrops(), 0);
        EXPECT_EQ(r.stats().framesDropped, 0);
    }
    const auto packets = test::summarize(path);
    EXPECT_NEAR(packets.firstVideo, 0.0, 0.1);
    EXPECT_NEAR(packets.firstAudio, 0.0, 0.1); // silence stands in for the late start
    EXPECT_NEAR(packets.lastVideo, 2.0, 0.1);
    EXPECT_NEAR(packets.lastAudio, packets.lastVideo, 0.1);
    EXPECT_NEAR(test::probe(path).duration, std::max(packets.lastAudio, packets.lastVideo), 0.2);
    EXPECT_TRUE(inspectAsf(path).hasIndex);
}

TEST(RecordingThread, StoppingLetsTheDevicesGoAtOnce) {
    FakeDevices devices;
    Recorder r(devices);
    ASSERT_TRUE(r.start(settings(test::testFolder() + "/let-go.wmv"), nullptr));
    ASSERT_TRUE(recordedAtLeast(r, 0.2));
    r.stop();
    EXPECT_EQ(devices.live, 0);
    ASSERT_TRUE(r.waitFinished(60));
    EXPECT_EQ(r.state(), Recorder::State::Done);
}

TEST(RecordingThread, StartFailuresLeaveNoDeviceOpen) {
    FakeDevices devices;
    StartFailure why;
    {
        Recorder r(devices);
        EXPECT_FALSE(r.start(settings(test::testFolder() + "/a.wmv", "Broken Video"), &why));
        EXPECT_EQ(why.code, kStartDeviceFailed);
        EXPECT_NE(why.text.find("does not answer"), std::string::npos) << why.text;
    }
    {
        Recorder r(devices);
        EXPECT_FALSE(r.start(settings(test::testFolder() + "/missing/a.wmv"), &why));
        EXPECT_EQ(why.code, kStartCannotCreateFile);
        EXPECT_EQ(devices.live, 0);
        EXPECT_FALSE(r.busy());
        r.stop(); // harmless after a failed start
    }
    Recorder r(devices);
    ASSERT_TRUE(r.start(settings(test::testFolder() + "/b.wmv"), &why));
    EXPECT_FALSE(r.start(settings(test::testFolder() + "/c.wmv"), &why));
    EXPECT_EQ(why.code, kStartAlreadyStarted);
    EXPECT_FALSE(std::filesystem::exists(test::testFolder() + "/c.wmv"));
}

TEST(RecordingThread, DestroyedWhileRecordingLeavesACompleteFile) {
    FakeDevices devices;
    const std::string path = test::testFolder() + "/dropped.wmv";
    {
        Recorder r(devices);
        ASSERT_TRUE(r.start(settings(path), nullptr));
        ASSERT_TRUE(recordedAtLeast(r, 0.5));
    }
    EXPECT_EQ(devices.live, 0);
    const AsfFileInfo info = inspectAsf(path);
    EXPECT_TRUE(info.complete) << info.problem;
    EXPECT_TRUE(info.hasIndex);
    EXPECT_TRUE(test::decodesCleanly(path));
}

TEST(RecordingThread, KeepsRecordingWhenADeviceIsUnplugged) {
    FakeDevices devices;
    const std::string path = test::testFolder() + "/fading.wmv";
    Recorder r(devices);
    ASSERT_TRUE(r.start(settings(path, "Fading Video"), nullptr));
    ASSERT_TRUE(waitUntil([&] { return !r.deviceLost().empty(); }, 20));
    EXPECT_NE(r.deviceLost().find("\"Fading Video\" stopped: unplugged"), std::string::npos) << r.deviceLost();
    EXPECT_TRUE(r.busy()); // the sound goes on until the caller stops
    r.stop();
    ASSERT_TRUE(r.waitFinished(20));
    EXPECT_EQ(r.state(), Recorder::State::Done);
    EXPECT_EQ(r.stats().videoFramesIn, 20);
    EXPECT_TRUE(inspectAsf(path).hasIndex);
    EXPECT_TRUE(test::decodesCleanly(path));
}

TEST(RecordingThread, TheEncoderReportsADiskThatFillsAsItStops) {
    // The disk fills after the last picture, while the file is completed: the
    // caller hears of it once, from IStop or from the indexing state it polls.
    ASSERT_TRUE(test::registerComponent(ENCWRAP_PATH));
    const std::string path = test::testFolder() + "/stopped-on-full.wmv";
    std::fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        HandDriven devices;
        setMediaSourceOverride(&devices);
        ObjectPtr enc = CreateObject("Encwrap.clsCommand");
        for (auto [member, value] : {std::pair{"ISetOutputFilename", path},
                                     {"ISetVideoSource", std::string("Hand Video")},
                                     {"ISetAudioSource", std::string("Hand Audio")},
                                     {"ISetProfileName", std::string(kLowProfile)}}) {
            Args a{Variant(value)};
            enc->call(member, a);
        }
        Args code{Variant(int32_t(-1))};
        if (!enc->call("IStart", code).toBool()) _exit(20);
        if (enc->call("IIndexerRunning").toBool()) _exit(21); // recording, not indexing
        devices.play(nullptr, 0.9, 0);
        const rlimit full{std::filesystem::file_size(path), std::filesystem::file_size(path)};
        setrlimit(RLIMIT_FSIZE, &full);
        int told = 0;
        try {
            enc->call("IStop");
        } catch (const AutomationError& e) {
            told += e.number() == err::DiskFull ? 1 : 100;
        }
        for (bool running = true; running;) {
            try {
                running = enc->call("IIndexerRunning").toBool();
            } catch (const AutomationError& e) {
                told += e.number() == err::DiskFull ? 1 : 100;
                running = false;
            }
        }
        if (enc->call("IIndexerRunning").toBool()) _exit(22);
        enc.reset();
        setMediaSourceOverride(nullptr);
        _exit(told == 1 ? 0 : 30 + std::min(told, 9));
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const AsfFileInfo info = inspectAsf(path);
    EXPECT_TRUE(info.complete) << info.problem;
    EXPECT_TRUE(test::decodesCleanly(path));
}
