// Device enumeration and the one-source-per-device stream hub.
#include "capture/capture_commands.h"
#include "capture/capture_state.h"
#include "capture/device_stream.h"
#include "capture/virtual_card.h"

#include "capture/tests/capture_test_util.h"
#include "platform/testing/test_env.h"

#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

using namespace vesper::capture;

namespace {

using vesper::capture::captest::CardsFile;
using vesper::capture::captest::eventually;

std::vector<std::string> names(MediaKind kind) {
    std::vector<std::string> out;
    for (const auto& d : enumerateDevices(kind))
        out.push_back(d.friendlyName);
    return out;
}

} // namespace

TEST(DeviceStream, DefaultVirtualCardIsListed) {
    unsetenv(kVirtualCardsVariable);
    const auto video = enumerateDevices(MediaKind::Video);
    ASSERT_FALSE(video.empty());
    EXPECT_EQ(video[0].friendlyName, kVirtualVideoName);
    EXPECT_TRUE(video[0].isVirtual);
    const auto audio = enumerateDevices(MediaKind::Audio);
    ASSERT_FALSE(audio.empty());
    EXPECT_EQ(audio[0].friendlyName, kVirtualAudioName);
}

TEST(DeviceStream, DescriptionReplacesTheVirtualCards) {
    CardsFile f(R"({"realDevices": false, "cards": [
        {"video": "Card A", "audio": "Card A Audio"},
        {"video": "Card B"},
        {"audio": "Mic Only"},
        {"video": "Card A", "crossbars": []}]})");
    EXPECT_EQ(names(MediaKind::Video), (std::vector<std::string>{"Card A", "Card B", "Card A"}));
    EXPECT_EQ(names(MediaKind::Audio), (std::vector<std::string>{"Card A Audio", "Mic Only"}));
}

TEST(DeviceStream, EmptyDescriptionMeansNoCard) {
    CardsFile f(R"({"realDevices": false, "cards": []})");
    EXPECT_TRUE(enumerateDevices(MediaKind::Video).empty());
    std::string why;
    EXPECT_EQ(subscribeDeviceStream(
                  kVirtualVideoName, MediaKind::Video, [](GstSample*) {}, &why),
              nullptr);
    EXPECT_NE(why.find("no capture device"), std::string::npos);
}

TEST(DeviceStream, BrokenDescriptionKeepsTheDefaultCard) {
    for (const char* bad : {"{not json", R"({"cards": [{"video": 5}]})", R"([{"video": "X", "crossbars": [
                                {"inputs": ["Video Nonsense"], "outputs": ["Video Decoder"]}]}])",
                            R"([{"video": "X", "crossbars": [{"inputs": [{"type": 1, "related": 9}],
                                "outputs": ["Video Decoder"]}]}])"}) {
        CardsFile f(bad);
        const VirtualCardSet set = loadVirtualCards();
        EXPECT_FALSE(set.problem.empty()) << bad;
        ASSERT_EQ(set.cards.size(), 1u);
        EXPECT_EQ(set.cards[0].video, kVirtualVideoName);
    }
    setenv(kVirtualCardsVariable, (vesper::test::testFolder() + "/missing.json").c_str(), 1);
    EXPECT_EQ(names(MediaKind::Video).at(0), kVirtualVideoName);
    unsetenv(kVirtualCardsVariable);
}

TEST(DeviceStream, TwoSubscribersOfOneDeviceBothReceiveFrames) {
    CardsFile f(R"({"realDevices": false, "cards": [{"video": "Shared Card", "width": 320, "height": 240}]})");
    std::atomic<int> first{0}, second{0};
    std::atomic<int> width{0};
    auto a = subscribeDeviceStream("Shared Card", MediaKind::Video, [&](GstSample* s) {
        GstVideoInfo info;
        if (gst_video_info_from_caps(&info, gst_sample_get_caps(s))) width = GST_VIDEO_INFO_WIDTH(&info);
        ++first;
    });
    ASSERT_NE(a, nullptr);
    auto b = subscribeDeviceStream("Shared Card", MediaKind::Video, [&](GstSample*) { ++second; });
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(runningDeviceSources(), 1);
    EXPECT_TRUE(eventually([&] { return first > 2 && second > 2; }));
    EXPECT_EQ(width.load(), 320);

    // The first one leaving does not stop the other's stream.
    a.reset();
    const int before = second;
    EXPECT_TRUE(eventually([&] { return second > before + 2; }));
    EXPECT_EQ(runningDeviceSources(), 1);
    b.reset();
    EXPECT_EQ(runningDeviceSources(), 0);
}

TEST(DeviceStream, AudioIsRawInterleavedAtItsNativeRate) {
    unsetenv(kVirtualCardsVariable);
    std::mutex m;
    std::string caps;
    auto s = subscribeDeviceStream(kVirtualAudioName, MediaKind::Audio, [&](GstSample* sample) {
        gchar* c = gst_caps_to_string(gst_sample_get_caps(sample));
        std::lock_guard lock(m);
        caps = c;
        g_free(c);
    });
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(eventually([&] {
        std::lock_guard lock(m);
        return !caps.empty();
    }));
    std::lock_guard lock(m);
    EXPECT_NE(caps.find("S16LE"), std::string::npos);
    EXPECT_NE(caps.find("interleaved"), std::string::npos);
}

TEST(DeviceStream, BusyDeviceCannotStartAndSaysWhy) {
    CardsFile f(R"({"realDevices": false, "cards": [{"video": "Held Card", "busy": true}]})");
    std::string why;
    EXPECT_EQ(subscribeDeviceStream(
                  "Held Card", MediaKind::Video, [](GstSample*) {}, &why),
              nullptr);
    EXPECT_NE(why.find("in use"), std::string::npos);
    EXPECT_EQ(runningDeviceSources(), 0);

    // The check before a recording says the same, and leaves nothing running.
    CaptureState state;
    CaptureCommands cmd(state);
    EXPECT_EQ(cmd.DevicesOpen("Held Card", "Held Card Audio"), why);
    EXPECT_EQ(cmd.DevicesOpen("Gone Card", "Held Card Audio"), "no capture device is named \"Gone Card\"");
    EXPECT_EQ(runningDeviceSources(), 0);
}

TEST(DeviceStream, SubscriptionMayEndInsideItsOwnHandler) {
    CardsFile f(R"({"realDevices": false, "cards": [{"video": "Short Card", "width": 160, "height": 120}]})");
    std::unique_ptr<StreamSubscription> sub;
    std::mutex m;
    std::atomic<bool> gone{false};
    std::atomic<int> calls{0};
    {
        std::lock_guard lock(m);
        sub = subscribeDeviceStream("Short Card", MediaKind::Video, [&](GstSample*) {
            ++calls;
            std::lock_guard lock2(m);
            sub.reset();
            gone = true;
        });
        ASSERT_NE(sub, nullptr);
    }
    EXPECT_TRUE(eventually([&] { return gone.load(); }));
    EXPECT_TRUE(eventually([&] { return runningDeviceSources() == 0; }));
    EXPECT_EQ(calls.load(), 1);
}

TEST(DeviceStream, CardWhoseVideoCarriesAudioAnswersAnAudioRequest) {
    CardsFile f(R"({"realDevices": false, "cards": [{"video": "DV Camera", "streamCarriesAudio": true}]})");
    EXPECT_TRUE(names(MediaKind::Audio).empty());
    ASSERT_TRUE(enumerateDevices(MediaKind::Video).at(0).streamCarriesAudio);
    std::atomic<int> n{0};
    auto s = subscribeDeviceStream("DV Camera", MediaKind::Audio, [&](GstSample*) { ++n; });
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(eventually([&] { return n > 0; }));
}

TEST(VirtualCardFaults, DescriptionsOfFaultsAreCheckedAndBadOnesRefused) {
    const auto parse = [](const std::string& faults) {
        return parseVirtualCards(R"([{"video": "A", )" + faults + "}]").cards.at(0);
    };
    EXPECT_EQ(parse(R"("noSignal": 5)").noSignalChannels, std::vector<long>{5});
    EXPECT_EQ(parse(R"("noSignal": [5, 7])").noSignalChannels, (std::vector<long>{5, 7}));
    EXPECT_TRUE(parse(R"("noSignal": true)").noSignalOn(81));
    EXPECT_FALSE(parse(R"("noSignal": [5])").noSignalOn(6));
    EXPECT_DOUBLE_EQ(parse(R"("vanishAfter": 0.5, "writerDiesAfter": 20)").vanishAfter, 0.5);
    for (const char* bad : {R"("vanishAfter": 0)", R"("vanishAfter": "5")", R"("writerDiesAfter": -1)",
                            R"("noSignal": "5")", R"("noSignal": [5, "x"])", R"("noSignal": {"channel": 5})"}) {
        try {
            parse(bad);
            ADD_FAILURE() << bad << " was taken";
        } catch (const std::runtime_error& e) {
            const std::string key = std::string(bad).substr(1, std::string(bad).find('"', 1) - 1);
            EXPECT_NE(std::string(e.what()).find(key), std::string::npos) << e.what();
        }
    }
}

TEST(VirtualCardFaults, VanishingCardEndsItsStreamsWithAnErrorAndMayBeOpenedAgain) {
    CardsFile f(R"({"realDevices": false, "cards": [{"video": "Loose", "audio": "Loose Audio", "vanishAfter": 0.3,
                    "width": 160, "height": 120}]})");
    for (MediaKind kind : {MediaKind::Video, MediaKind::Audio}) {
        for (int plugged = 0; plugged < 2; ++plugged) { // and once more, plugged in again
            std::mutex m;
            std::string reason;
            std::atomic<int> samples{0};
            auto s = subscribeDeviceStream(
                kind == MediaKind::Video ? "Loose" : "Loose Audio", kind, [&](GstSample*) { ++samples; },
                [&](const std::string& why) {
                    std::lock_guard lock(m);
                    reason = why;
                });
            ASSERT_NE(s, nullptr);
            EXPECT_TRUE(eventually([&] {
                std::lock_guard lock(m);
                return !reason.empty();
            }));
            EXPECT_GT(samples.load(), 0);
            std::lock_guard lock(m);
            EXPECT_NE(reason.find("unplugged"), std::string::npos) << reason;
        }
        EXPECT_EQ(runningDeviceSources(), 0);
    }
}

TEST(VirtualCardFaults, ChannelWithoutSignalGivesSilenceAndTheTunerSaysSo) {
    CardsFile f(R"({"realDevices": false, "cards": [{"video": "Aerial", "audio": "Aerial Audio", "noSignal": [5]}]})");
    CaptureState state;
    CaptureCommands cmd{state};
    ASSERT_EQ(cmd.Init("Aerial", "Aerial Audio"), "OK");
    std::atomic<bool> silent{false};
    auto sound = subscribeDeviceStream("Aerial Audio", MediaKind::Audio, [&](GstSample* sample) {
        GstMapInfo map;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return;
        bool zero = true;
        for (gsize i = 0; i < map.size && zero; ++i)
            zero = map.data[i] == 0;
        gst_buffer_unmap(buffer, &map);
        silent = zero;
    });
    ASSERT_NE(sound, nullptr);
    // Snow: neighbouring pixels of a row below the caption mostly differ,
    // where the bars' pixels mostly match.
    std::atomic<bool> snow{false};
    auto picture = subscribeDeviceStream("Aerial", MediaKind::Video, [&](GstSample* sample) {
        GstVideoInfo info;
        GstVideoFrame frame;
        if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) ||
            !gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ))
            return;
        const auto* row = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)) +
                          GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0) * (GST_VIDEO_INFO_HEIGHT(&info) * 3 / 4);
        int changes = 0;
        for (int x = 1; x < GST_VIDEO_INFO_WIDTH(&info); ++x)
            changes += std::abs(row[x] - row[x - 1]) > 8;
        gst_video_frame_unmap(&frame);
        snow = changes > GST_VIDEO_INFO_WIDTH(&info) / 4;
    });
    ASSERT_NE(picture, nullptr);
    const VirtualCardSet set = loadVirtualCards();
    auto hw = virtualHardware(set.cards.at(0), 0);
    struct Case {
        const char* channel;
        const char* signal;
        bool none; // no signal: snow and silence
    } cases[] = {{"5", "0", true}, {"4", "1", false}, {"5", "0", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channel);
        EXPECT_EQ(cmd.SetChannel(c.channel), "OK");
        EXPECT_EQ(cmd.SignalPresent(), c.signal);
        EXPECT_EQ(hw->overlayText().find("No signal") != std::string::npos, c.none) << hw->overlayText();
        EXPECT_TRUE(eventually([&] { return silent.load() == c.none && snow.load() == c.none; }));
    }
    // The composite input has no tuner behind it: its picture is untouched.
    EXPECT_EQ(cmd.SetVideoInput("2"), "OK");
    EXPECT_EQ(hw->overlayText().find("No signal"), std::string::npos);
}
