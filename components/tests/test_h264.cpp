// The H.264 profiles at the recording core: their place in the table and the
// file-name rule, the files they make and the bit rate they keep, the choice
// between VA-API and x264, and cut-off files.
#include "components/tests/media_check.h"
#include "components/wmenc/asf_file.h"
#include "components/wmenc/h264_encoder.h"
#include "components/wmenc/mp4_file.h"
#include "components/wmenc/profiles.h"
#include "components/wmenc/wmv_writer.h"
#include "platform/errors.h"
#include "platform/recording_files.h"
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vesper;
using namespace vesper::wmenc;
namespace fs = std::filesystem;

TEST(H264Profiles, FollowTheClassicOnesAtTheirPictureAndRateAndNameTheirFiles) {
    const auto& table = profiles();
    ASSERT_GE(table.size(), 2u);
    EXPECT_EQ(table[table.size() - 2].name, kH264MediumProfile);
    EXPECT_EQ(table.back().name, kH264HighProfile);
    bool mp4Seen = false;
    for (const Profile& p : table) {
        mp4Seen = mp4Seen || p.container == Container::Mp4;
        EXPECT_EQ(p.container == Container::Mp4, mp4Seen) << p.name << " comes after an MP4 profile";
        // One rule names the files, whoever asks: the engine or a program.
        EXPECT_EQ(p.extension(), recordingExtension(p.name)) << p.name;
        EXPECT_EQ(p.encoding == VideoEncoding::Auto, p.container == Container::Mp4) << p.name;
    }
    for (auto [h264, wmv] : {std::pair{kH264MediumProfile, kMediumProfile}, {kH264HighProfile, kHighProfile}}) {
        const Profile &a = *findProfile(h264), &b = *findProfile(wmv);
        EXPECT_EQ(a.width, b.width) << h264;
        EXPECT_EQ(a.height, b.height) << h264;
        EXPECT_EQ(a.frameRate(), b.frameRate()) << h264;
        EXPECT_EQ(a.totalBitRate(), b.totalBitRate()) << h264;
    }
}

TEST(H264Profiles, TheFileNameFollowsTheProfile) {
    const struct {
        const char *name, *profile, *expected;
    } cases[] = {
        {"News.wmv", kMediumProfile, "News.wmv"},
        {"News.WMV", kHighProfile, "News.WMV"},
        {"News", kLowProfile, "News.wmv"},
        {"News.mp4", kLowProfile, "News.mp4.wmv"}, // the classic rule, unchanged
        {"News.wmv", kH264MediumProfile, "News.mp4"},
        {"News.WMV", kH264HighProfile, "News.mp4"},
        {"News.MP4", kH264HighProfile, "News.MP4"},
        {"News.mp4.wmv", kH264HighProfile, "News.mp4"}, // as the Add Event dialog schedules "News.mp4"
        {"News", kH264HighProfile, "News.mp4"},
        {"a.b", kH264HighProfile, "a.b.mp4"},
        {"wmv", kH264HighProfile, "wmv.mp4"},
        {"", kH264HighProfile, ".mp4"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(recordingFileName(c.name, c.profile), c.expected) << c.name << " / " << c.profile;
}

TEST(H264Writer, BothProfilesMakeFragmentedMp4AtTheirBitRate) {
    // A minute of the moving picture for both profiles at once; x264's rate
    // control settles within seconds, so the minute stands for the hour.
    std::vector<std::unique_ptr<WmvWriter>> writers;
    std::vector<WmvWriter*> raw;
    std::vector<std::string> paths;
    for (const char* name : {kH264MediumProfile, kH264HighProfile}) {
        writers.push_back(std::make_unique<WmvWriter>());
        paths.push_back(test::testFolder() + "/rate" + std::to_string(writers.size()) + ".mp4");
        ASSERT_TRUE(writers.back()->open(paths.back(), *findProfile(name))) << writers.back()->error().text;
        raw.push_back(writers.back().get());
    }
    test::feedPattern(raw, 60.0);
    for (size_t i = 0; i < writers.size(); ++i) {
        WmvWriter& w = *writers[i];
        const Profile& p = w.profile();
        ASSERT_TRUE(w.finish()) << w.error().text;
        const auto info = test::probe(paths[i]);
        EXPECT_NE(info.format.find("mp4"), std::string::npos) << info.raw;
        EXPECT_EQ(info.videoCodec, "h264");
        EXPECT_EQ(info.audioCodec, "aac");
        EXPECT_EQ(info.width, p.width);
        EXPECT_EQ(info.height, p.height);
        EXPECT_EQ(info.frameRate, "30000/1001");
        EXPECT_EQ(info.audioRate, p.audioSampleRate);
        EXPECT_EQ(info.audioChannels, p.audioChannels);
        EXPECT_NEAR(info.duration, 60.0, 0.2) << info.raw;
        std::printf("%s: video %lld, audio %lld, file %lld bit/s\n", p.name.c_str(), (long long)info.videoBitRate,
                    (long long)info.audioBitRate, (long long)info.bitRate);
        EXPECT_NEAR(double(info.videoBitRate) / p.videoBitRate, 1.0, 0.05) << p.name << "\n" << info.raw;
        EXPECT_NEAR(double(info.bitRate) / p.totalBitRate(), 1.0, 0.05) << p.name << "\n" << info.raw;

        const Mp4FileInfo mp4 = inspectMp4(paths[i]);
        EXPECT_TRUE(mp4.complete) << mp4.problem;
        EXPECT_NEAR(double(mp4.fragments), 60.0, 6.0); // about a second each
        const auto packets = test::summarize(paths[i]);
        EXPECT_NEAR(packets.firstVideo, 0.0, 0.05);
        EXPECT_NEAR(packets.firstAudio, 0.0, 0.05);
        EXPECT_TRUE(packets.rising);
        EXPECT_GE(packets.keyFrames, 30); // at least every 2 seconds
        EXPECT_NEAR(test::gstreamerSeek(paths[i], 41.0), 41.0, 0.1);
        const double landed = test::ffmpegSeek(paths[i], 41.0);
        EXPECT_LE(landed, 41.0);
        EXPECT_GE(landed, 39.0);
        EXPECT_TRUE(test::decodesCleanly(paths[i]));
    }
}

namespace {

// A VA-API device as the test says: absent, answering with an encoder (x264
// stands in for the device's), or answering but refusing the encoder.
class FakeVaapi : public H264Backend {
public:
    std::string node;
    bool opens = true;
    int asked = 0;
    std::string vaapiDevice(std::string* why) override {
        ++asked;
        if (node.empty()) *why = "no VA-API device (none here)";
        return node;
    }
    bool openVaapi(const std::string&, const Profile& p, bool globalHeader, VideoEncoder& out,
                   std::string* why) override {
        if (!opens) {
            *why = "the device refuses H.264";
            return false;
        }
        return openX264(p, globalHeader, out, why);
    }
};

} // namespace

TEST(H264Writer, UsesVaapiWhenADeviceAnswersElseX264AndSaysWhich) {
    const struct {
        const char* profile;
        const char* node;
        bool opens;
        const char* expected;
        int asked;
    } cases[] = {
        {kH264MediumProfile, "", true, "x264 (software): no VA-API device (none here)", 1},
        {kH264MediumProfile, "/dev/dri/renderD128", true, "VA-API (h264_vaapi on /dev/dri/renderD128)", 1},
        {kH264HighProfile, "/dev/dri/renderD128", false, "x264 (software): the device refuses H.264", 1},
        {kMediumProfile, "/dev/dri/renderD128", true, "WMV2 (software)", 0},
    };
    for (const auto& c : cases) {
        FakeVaapi fake;
        fake.node = c.node;
        fake.opens = c.opens;
        setH264BackendOverride(&fake);
        const Profile& p = *findProfile(c.profile);
        const std::string path = test::testFolder() + "/choice" + p.extension();
        WmvWriter w;
        const bool opened = w.open(path, p);
        setH264BackendOverride(nullptr);
        ASSERT_TRUE(opened) << w.error().text;
        EXPECT_EQ(w.encoderDescription(), c.expected);
        EXPECT_EQ(fake.asked, c.asked) << c.expected;
        test::feedPattern({&w}, 0.5);
        ASSERT_TRUE(w.finish()) << w.error().text;
        EXPECT_TRUE(test::decodesCleanly(path)) << c.expected;
    }
}

namespace {

// The file as a process killed after `seconds` of recording leaves it: what
// the writer had pushed to disk, without the index.
std::string cutOffMp4(const std::string& name, double seconds) {
    const std::string live = test::testFolder() + "/live-" + name;
    const std::string cut = test::testFolder() + "/" + name;
    WmvWriter w;
    EXPECT_TRUE(w.open(live, *findProfile(kH264MediumProfile)));
    test::feedPattern({&w}, seconds);
    EXPECT_TRUE(w.flush());
    fs::copy_file(live, cut, fs::copy_options::overwrite_existing);
    w.abandon();
    return cut;
}

} // namespace

TEST(H264Repair, ACutOffFilePlaysAsItIsAndARepairAddsTheIndexKeepingEveryPacket) {
    const std::string path = cutOffMp4("cut.mp4", 5.0);
    // Torn inside the last fragment, as a write cut short leaves it.
    fs::resize_file(path, fs::file_size(path) - 2000);
    const Mp4FileInfo before = inspectMp4(path);
    EXPECT_FALSE(before.complete);
    EXPECT_LT(before.playableEnd, before.fileSize);
    EXPECT_GE(before.fragments, 3);
    EXPECT_GT(test::probe(path).duration, 3.0);
    EXPECT_GT(test::gstreamerSeek(path, 3.0), 2.9);

    const RepairResult r = repairRecording(path);
    ASSERT_TRUE(r.repaired) << r.error.text;
    const Mp4FileInfo after = inspectMp4(path);
    EXPECT_TRUE(after.complete) << after.problem;
    EXPECT_EQ(after.fragments, before.fragments);
    EXPECT_TRUE(test::decodesCleanly(path));
    EXPECT_NEAR(test::gstreamerSeek(path, 3.0), 3.0, 0.1);
    const RepairResult again = repairRecording(path);
    EXPECT_TRUE(again.wasComplete && !again.repaired && !again.error);
    // An ordinary MP4 file of another program is whole as it is.
    const std::string other = test::testFolder() + "/camera.mp4";
    ASSERT_EQ(test::runCommand("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=64x48:rate=10 -t 1 '" + other + "'"),
              0);
    const std::string otherBytes = test::readFile(other);
    EXPECT_TRUE(repairRecording(other).wasComplete);
    EXPECT_EQ(test::readFile(other), otherBytes);

    // The same cut with no room for a rebuilt file: the torn fragment goes,
    // the rest plays.
    const std::string full = cutOffMp4("full.mp4", 4.0);
    fs::resize_file(full, fs::file_size(full) - 1000);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        // Room for half of what the rebuilt file needs.
        const rlimit limit{inspectMp4(full).playableEnd / 2, inspectMp4(full).playableEnd / 2};
        setrlimit(RLIMIT_FSIZE, &limit);
        const RepairResult inPlace = repairRecording(full);
        _exit(inPlace.completedInPlace && inPlace.error.number == err::DiskFull ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const Mp4FileInfo trimmed = inspectMp4(full);
    EXPECT_EQ(trimmed.playableEnd, trimmed.fileSize);
    EXPECT_TRUE(test::decodesCleanly(full));
}

TEST(H264Repair, EveryHostileMp4GetsAnAnswer) {
    const std::string original = test::readFile(cutOffMp4("fuzz.mp4", 1.5));
    std::mt19937 rng(20261209);
    std::vector<std::string> inputs;
    // Every box size of the first boxes set to values that wrap or overrun.
    for (size_t at = 0, n = 0; at + 8 <= original.size() && n < 8; ++n) {
        const uint32_t size = uint32_t(uint8_t(original[at])) << 24 | uint32_t(uint8_t(original[at + 1])) << 16 |
                              uint32_t(uint8_t(original[at + 2])) << 8 | uint8_t(original[at + 3]);
        for (uint32_t v : {0u, 1u, 7u, 0xFFFFFFFFu, uint32_t(original.size() - at + 1)}) {
            std::string bytes = original;
            for (int i = 0; i < 4; ++i)
                bytes[at + size_t(i)] = char(v >> (24 - 8 * i));
            inputs.push_back(std::move(bytes));
        }
        if (size < 8) break;
        at += size;
    }
    for (int i = 0; i < 40; ++i) {
        std::string bytes = original;
        for (int c = 1 + int(rng() % 6); c > 0; --c)
            bytes[rng() % std::min<size_t>(bytes.size(), 4096)] = char(rng());
        if (rng() % 3 == 0) bytes.resize(rng() % bytes.size());
        inputs.push_back(std::move(bytes));
    }
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        alarm(300);
        for (const std::string& bytes : inputs) {
            const std::string path = test::writeFile(test::testFolder() + "/hostile.mp4", bytes);
            const Mp4FileInfo info = inspectMp4(path);
            if (info.playableEnd > info.fileSize) _exit(3);
            const RepairResult r = repairRecording(path, true);
            if (!r.repaired && !r.error) _exit(4); // neither done nor refused
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}
