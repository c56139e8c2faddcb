// The recording core fed directly, faster than real time: file facts, bit
// rate, frame-rate holding, the profile table and file errors.
#include "components/tests/media_check.h"
#include "components/wmenc/asf_file.h"
#include "components/wmenc/gst_media.h"
#include "components/wmenc/profiles.h"
#include "components/wmenc/wmv_writer.h"
#include "platform/errors.h"
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vesper;
using namespace vesper::wmenc;

using test::feedPattern;

TEST(ProfileTable, HoldsTheQualityNamesWithSoundParameters) {
    for (const char* name : {kLowProfile, kMediumProfile, kHighProfile})
        ASSERT_NE(findProfile(name), nullptr) << name;
    EXPECT_EQ(findProfile("video for broadband NTSC (256 Kbps)"), nullptr); // exact names only
    std::set<std::string> names;
    bool pal = false;
    for (const Profile& p : profiles()) {
        EXPECT_TRUE(names.insert(p.name).second) << "twice: " << p.name;
        EXPECT_EQ(p.width % 16, 0) << p.name;
        EXPECT_EQ(p.height % 16, 0) << p.name;
        EXPECT_GT(p.videoBitRate, 0) << p.name;
        EXPECT_GE(p.keyFrameSeconds, 1) << p.name;
        pal = pal || p.name.find("PAL") != std::string::npos;
    }
    EXPECT_TRUE(pal);
    EXPECT_LT(findProfile(kLowProfile)->totalBitRate(), findProfile(kHighProfile)->totalBitRate());
}

TEST(WMEncWriter, EveryProfileWritesAPlayableFile) {
    for (const Profile& p : profiles()) {
        const std::string path = test::testFolder() + "/every" + p.extension();
        WmvWriter w;
        ASSERT_TRUE(w.open(path, p)) << p.name << ": " << w.error().text;
        feedPattern({&w}, 0.5);
        ASSERT_TRUE(w.finish()) << p.name << ": " << w.error().text;
        const auto info = test::probe(path);
        EXPECT_EQ(info.width, p.width) << p.name;
        EXPECT_EQ(info.height, p.height) << p.name;
        EXPECT_EQ(info.audioRate, p.audioSampleRate) << p.name;
        EXPECT_EQ(info.audioChannels, p.audioChannels) << p.name;
        EXPECT_TRUE(test::decodesCleanly(path)) << p.name;
    }
}

TEST(WMEncWriter, ShortRecordingIsCompleteIndexedAndSeekable) {
    const std::string path = test::testFolder() + "/short.wmv";
    WmvWriter w;
    ASSERT_TRUE(w.open(path, *findProfile(kMediumProfile)));
    feedPattern({&w}, 4.0);
    ASSERT_TRUE(w.finish());

    const auto info = test::probe(path);
    EXPECT_EQ(info.format, "asf") << info.raw;
    EXPECT_EQ(info.videoCodec, "wmv2");
    EXPECT_EQ(info.audioCodec, "wmav2");
    EXPECT_EQ(info.width, 320);
    EXPECT_EQ(info.height, 240);
    EXPECT_EQ(info.frameRate, "30000/1001");
    EXPECT_NEAR(info.duration, 4.0, 1.0) << info.raw;
    const AsfFileInfo asf = inspectAsf(path);
    EXPECT_TRUE(asf.complete) << asf.problem;
    EXPECT_TRUE(asf.hasIndex) << asf.problem;

    const auto packets = test::summarize(path);
    // The sound encoder's priming frame may shift both streams by one frame.
    EXPECT_NEAR(packets.firstVideo, 0.0, 0.1);
    EXPECT_NEAR(packets.firstAudio, 0.0, 0.1);
    EXPECT_NEAR(packets.lastAudio, packets.lastVideo, 0.25);
    EXPECT_TRUE(packets.rising);
    EXPECT_NEAR(double(packets.videoPackets), 4.0 * 30000 / 1001, 2);
    const double landed = test::ffmpegSeek(path, 2.0); // the key frame at or before
    EXPECT_GE(landed, 0.0);
    EXPECT_LE(landed, 2.0);
    EXPECT_NEAR(test::gstreamerSeek(path, 2.0), 2.0, 0.1);
}

TEST(WMEncWriter, VideoBitRateStaysWithinAQuarterOfTheTarget) {
    // A minute of the moving picture for the three quality profiles at once.
    std::vector<std::unique_ptr<WmvWriter>> writers;
    std::vector<WmvWriter*> raw;
    for (const char* name : {kLowProfile, kMediumProfile, kHighProfile}) {
        writers.push_back(std::make_unique<WmvWriter>());
        ASSERT_TRUE(writers.back()->open(test::testFolder() + "/rate" + std::to_string(writers.size()) + ".wmv",
                                         *findProfile(name)));
        raw.push_back(writers.back().get());
    }
    feedPattern(raw, 60.0);
    for (auto& w : writers) {
        ASSERT_TRUE(w->finish());
        const double seconds = w->stats().videoSeconds;
        ASSERT_NEAR(seconds, 60.0, 0.5);
        const double rate = w->stats().videoBytes * 8 / seconds;
        const double target = w->profile().videoBitRate;
        std::printf("%s: %.0f bit/s for %.0f (%.2f)\n", w->profile().name.c_str(), rate, target, rate / target);
        EXPECT_NEAR(rate / target, 1.0, 0.25) << w->profile().name << ": " << rate << " bit/s";
    }
}

TEST(WMEncWriter, HoldsTheFrameRateAndTheSoundOnAnIrregularClock) {
    const std::string path = test::testFolder() + "/irregular.wmv";
    WmvWriter w;
    ASSERT_TRUE(w.open(path, *findProfile(kLowProfile)));
    test::PatternFrames pattern(120);
    const auto tone = test::toneSamples(6);
    VideoInput picture;
    int n = 0;
    double t = 0.35; // the first picture comes late, after the sound
    ASSERT_TRUE(w.addAudio(test::toneInput(tone, 0, 4800, 0.0)));
    while (pattern.next(picture)) {
        ++n;
        // Bursts of pictures arriving together, a stall of one second, and
        // a device running at 20 frames a second.
        picture.seconds = t;
        t += (n % 10 == 0) ? 0.0 : (n == 60 ? 1.0 : 0.05);
        ASSERT_TRUE(w.addVideo(picture));
    }
    // The sound arrives with a one-second gap, then runs on.
    ASSERT_TRUE(w.addAudio(test::toneInput(tone, 4800, 48000, 1.1)));
    ASSERT_TRUE(w.addAudio(test::toneInput(tone, 52800, 4 * 48000, 3.1)));
    ASSERT_TRUE(w.finish());

    const auto s = w.stats();
    EXPECT_GT(s.framesDuplicated, 0);
    EXPECT_GT(s.framesDropped, 0);
    const auto packets = test::summarize(path);
    EXPECT_TRUE(packets.rising);
    EXPECT_NEAR(packets.firstVideo, 0.0, 0.1);
    // Every slot of the constant rate is filled up to the last picture.
    EXPECT_NEAR(double(packets.videoPackets), (packets.lastVideo - packets.firstVideo) * 30000 / 1001 + 1, 1.5);
    EXPECT_NEAR(double(s.audioSamplesOut) / findProfile(kLowProfile)->audioSampleRate, 7.1, 0.1);
    EXPECT_TRUE(test::decodesCleanly(path));
}

TEST(WMEncWriter, FilesThatCannotBeCreatedGiveTheClassicErrors) {
    const Profile& p = *findProfile(kLowProfile);
    WmvWriter w;
    EXPECT_FALSE(w.open(test::testFolder() + "/no/such/folder/x.wmv", p));
    EXPECT_EQ(w.error().number, err::PathNotFound) << w.error().text;
    EXPECT_FALSE(w.isOpen());

    const std::string file = test::writeFile(test::testFolder() + "/plain.txt", "x");
    EXPECT_FALSE(w.open(file + "/x.wmv", p));
    EXPECT_NE(w.error().number, 0);

    const std::string locked = test::makeFolder("locked");
    ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
    EXPECT_TRUE(test::runUnprivileged([&] {
        WmvWriter unprivileged;
        EXPECT_FALSE(unprivileged.open(locked + "/x.wmv", p));
        EXPECT_EQ(unprivileged.error().number, err::PermissionDenied) << unprivileged.error().text;
    }));
    // Inputs after a failure are refused, not crashed on.
    VideoInput none;
    EXPECT_FALSE(w.addVideo(none));
    EXPECT_FALSE(w.finish() && w.isOpen());
}

TEST(WMEncWriter, OneRecordingPerFileAndNoRepairWhileItRuns) {
    const std::string path = test::testFolder() + "/once.wmv";
    WmvWriter first, second;
    ASSERT_TRUE(first.open(path, *findProfile(kLowProfile)));
    feedPattern({&first}, 0.5);
    ASSERT_TRUE(first.flush());
    EXPECT_FALSE(second.open(path, *findProfile(kLowProfile)));
    EXPECT_EQ(second.error().number, err::PathFileAccessError);
    const RepairResult busy = repairRecording(path);
    EXPECT_EQ(busy.error.number, err::PathFileAccessError) << busy.error.text;
    feedPattern({&first}, 0.5);
    ASSERT_TRUE(first.finish()); // the first went on undisturbed
    EXPECT_TRUE(inspectAsf(path).hasIndex);
    EXPECT_TRUE(test::decodesCleanly(path));
}

TEST(WMEncWriter, TakesThePictureAndSoundFormatsCardsDeliver) {
    // Real cards deliver packed YUV, NV12 or RGB pictures and float or 16-bit
    // sound at their own rates; each is converted to the profile.
    const std::string formats[] = {"YUY2", "UYVY", "NV12", "YV12", "RGB", "BGRx", "GRAY8"};
    for (const std::string& f : formats) {
        SampleReader pictures("videotestsrc num-buffers=15 pattern=ball ! video/x-raw,format=" + f +
                              ",width=352,height=288,framerate=25/1 ! appsink name=sink sync=false");
        SampleReader sound("audiotestsrc num-buffers=10 samplesperbuffer=1024 ! "
                           "audio/x-raw,format=F32LE,rate=22050,channels=1 ! appsink name=sink sync=false");
        ASSERT_TRUE(pictures.ok()) << pictures.error();
        const std::string path = test::testFolder() + "/format.wmv";
        WmvWriter w;
        ASSERT_TRUE(w.open(path, *findProfile(kMediumProfile)));
        int n = 0;
        while (GstSample* s = pictures.next()) {
            VideoInput in;
            EXPECT_TRUE(videoInputFromSample(s, in, n % 2 == 0)) << f; // copied and mapped alike
            gst_sample_unref(s);
            in.seconds = n++ / 25.0;
            ASSERT_TRUE(w.addVideo(in)) << f;
        }
        while (GstSample* s = sound.next()) {
            AudioInput in;
            EXPECT_TRUE(audioInputFromSample(s, in, true));
            gst_sample_unref(s);
            ASSERT_TRUE(w.addAudio(in));
        }
        ASSERT_TRUE(w.finish()) << f;
        EXPECT_EQ(w.stats().videoFramesIn, 15) << f;
        std::string log;
        EXPECT_TRUE(test::decodesCleanly(path, &log)) << f << ": " << log;
        EXPECT_NEAR(test::probe(path).duration, 0.6, 0.3) << f;
    }
    // A picture format nobody can convert is refused at the door.
    SampleReader odd("videotestsrc num-buffers=1 ! video/x-raw,format=v210,width=64,height=64 ! appsink name=sink");
    GstSample* s = odd.next();
    ASSERT_NE(s, nullptr);
    VideoInput in;
    EXPECT_FALSE(videoInputFromSample(s, in));
    gst_sample_unref(s);
}

namespace {

// Runs `body` in a child process whose files may not grow past `limitBytes`
// (a full disk, as far as the writer can tell); its exit code comes back.
int withFileSizeLimit(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

void limitFileSize(uint64_t bytes) {
    const rlimit r{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &r);
}

} // namespace

TEST(WMEncWriter, ADiskThatFillsAtTheEndLeavesACompletedFile) {
    // The disk fills while the index is written: the file is completed in the
    // space it has, its header covering every packet in it.
    const std::string path = test::testFolder() + "/fills.wmv";
    const int rc = withFileSizeLimit([&] {
        WmvWriter w;
        if (!w.open(path, *findProfile(kMediumProfile))) return 10;
        feedPattern({&w}, 3.0);
        if (!w.flush()) return 11;
        limitFileSize(std::filesystem::file_size(path) + 3000);
        if (w.finish()) return 12;
        return w.error().number == err::DiskFull ? 0 : 13;
    });
    ASSERT_EQ(rc, 0);
    const AsfFileInfo info = inspectAsf(path);
    EXPECT_TRUE(info.complete) << info.problem;
    EXPECT_FALSE(info.hasIndex);
    EXPECT_EQ(info.dataPackets, (info.fileSize - info.dataStart) / info.packetSize);
    const auto packets = test::summarize(path);
    EXPECT_GT(packets.lastVideo, 2.5);
    EXPECT_NEAR(test::probe(path).duration, std::max(packets.lastVideo, packets.lastAudio), 0.2);
    EXPECT_TRUE(test::decodesCleanly(path));

    // Repair finds no room for a rebuilt file, and says what it did instead.
    const std::string cut = test::testFolder() + "/cut-on-full.wmv";
    {
        WmvWriter w;
        ASSERT_TRUE(w.open(cut + ".live", *findProfile(kLowProfile)));
        feedPattern({&w}, 2.0);
        ASSERT_TRUE(w.flush());
        std::filesystem::copy_file(cut + ".live", cut);
        std::filesystem::resize_file(cut, std::filesystem::file_size(cut) - 100); // torn
        w.abandon();
    }
    EXPECT_FALSE(inspectAsf(cut).complete);
    const int repaired = withFileSizeLimit([&] {
        limitFileSize(std::filesystem::file_size(cut) / 2);
        const RepairResult r = repairRecording(cut);
        return r.completedInPlace && r.error.number == err::DiskFull && !r.repaired ? 0 : 20;
    });
    EXPECT_EQ(repaired, 0);
    const AsfFileInfo mended = inspectAsf(cut);
    EXPECT_TRUE(mended.complete) << mended.problem;
    EXPECT_EQ((mended.fileSize - mended.dataStart) % mended.packetSize, 0u);
    const auto kept = test::summarize(cut);
    EXPECT_NEAR(test::probe(cut).duration, std::max(kept.lastVideo, kept.lastAudio), 0.2);
    EXPECT_TRUE(test::decodesCleanly(cut));
}

TEST(WMEncWriter, AStartThatFailsLeavesNoFileAndKeepsAnOldOne) {
    const std::string fresh = test::testFolder() + "/never.wmv";
    const std::string old = test::writeFile(test::testFolder() + "/old.wmv", "an earlier recording");
    const int rc = withFileSizeLimit([&] {
        limitFileSize(100);
        WmvWriter a, b;
        if (a.open(fresh, *findProfile(kLowProfile)) || a.error().number != err::DiskFull) return 10;
        if (b.open(old, *findProfile(kLowProfile)) || b.error().number != err::DiskFull) return 11;
        return 0;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_FALSE(std::filesystem::exists(fresh));
    EXPECT_EQ(test::readFile(old), "an earlier recording");
    for (const auto& e : std::filesystem::directory_iterator(test::testFolder()))
        EXPECT_EQ(e.path().filename().string().rfind(".old.wmv", 0), std::string::npos) << e.path();

    // Started for real, an old file is replaced; a new one gets the umask's rights.
    const mode_t mask = ::umask(027);
    WmvWriter w;
    ASSERT_TRUE(w.open(fresh, *findProfile(kLowProfile)));
    ::umask(mask);
    ASSERT_TRUE(w.finish());
    struct stat st {};
    ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ASSERT_TRUE(w.open(old, *findProfile(kLowProfile)));
    feedPattern({&w}, 0.5);
    ASSERT_TRUE(w.finish());
    EXPECT_TRUE(inspectAsf(old).complete);
}
