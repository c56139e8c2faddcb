// Recordings cut off by a crash: still decodable, and rebuilt whole.
#include "components/tests/media_check.h"
#include "components/wmenc/asf_file.h"
#include "components/wmenc/profiles.h"
#include "components/wmenc/wmv_writer.h"
#include "platform/errors.h"
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace vesper;
using namespace vesper::wmenc;
namespace fs = std::filesystem;

namespace {

// The file as a process killed after `seconds` of recording leaves it: what
// the writer had pushed to disk, without the trailer.
std::string cutOffRecording(const std::string& name, double seconds) {
    const std::string live = test::testFolder() + "/live-" + name;
    const std::string cut = test::testFolder() + "/" + name;
    WmvWriter w;
    EXPECT_TRUE(w.open(live, *findProfile(kMediumProfile)));
    test::PatternFrames pattern(int(seconds * 30000 / 1001));
    const auto tone = test::toneSamples(seconds + 1);
    VideoInput picture;
    int64_t audioAt = 0;
    while (pattern.next(picture)) {
        while (double(audioAt) / 48000 <= picture.seconds) {
            EXPECT_TRUE(w.addAudio(test::toneInput(tone, audioAt, 1600, double(audioAt) / 48000)));
            audioAt += 1600;
        }
        EXPECT_TRUE(w.addVideo(picture));
    }
    EXPECT_TRUE(w.flush());
    fs::copy_file(live, cut, fs::copy_options::overwrite_existing);
    w.abandon();
    return cut;
}

std::string bytesOf(const std::string& path) { return test::readFile(path); }

} // namespace

TEST(RepairCutOff, StaysDecodableAndIsRebuiltWithAnIndexKeepingEveryPacket) {
    const std::string path = cutOffRecording("cut.wmv", 5.0);
    const AsfFileInfo before = inspectAsf(path);
    EXPECT_TRUE(before.isAsf);
    EXPECT_FALSE(before.complete);
    EXPECT_FALSE(before.hasIndex);
    EXPECT_TRUE(test::decodesCleanly(path));
    const auto packetsBefore = test::summarize(path);
    ASSERT_GT(packetsBefore.videoPackets, 90);

    const RepairResult r = repairRecording(path);
    ASSERT_TRUE(r.repaired) << r.error.text;
    EXPECT_EQ(r.packetsCopied, packetsBefore.videoPackets + packetsBefore.audioPackets);
    const AsfFileInfo after = inspectAsf(path);
    EXPECT_TRUE(after.complete) << after.problem;
    EXPECT_TRUE(after.hasIndex) << after.problem;
    const auto packetsAfter = test::summarize(path);
    EXPECT_EQ(packetsAfter.videoPackets, packetsBefore.videoPackets);
    EXPECT_EQ(packetsAfter.audioPackets, packetsBefore.audioPackets);
    EXPECT_NEAR(packetsAfter.lastVideo, packetsBefore.lastVideo, 0.01);
    const auto info = test::probe(path);
    EXPECT_NEAR(info.duration, packetsBefore.lastVideo, 1.0) << info.raw;
    EXPECT_NEAR(test::gstreamerSeek(path, 2.5), 2.5, 0.1);
    EXPECT_GE(test::ffmpegSeek(path, 2.5), 0.0);
    // No temporary file is left beside it.
    int files = 0;
    for (const auto& e : fs::directory_iterator(fs::path(path).parent_path()))
        files += e.path().string().find(".tmp") != std::string::npos;
    EXPECT_EQ(files, 0);

    // Once whole, a second repair leaves it alone.
    const std::string whole = bytesOf(path);
    const RepairResult again = repairRecording(path);
    EXPECT_TRUE(again.wasComplete);
    EXPECT_FALSE(again.repaired);
    EXPECT_EQ(bytesOf(path), whole);
}

TEST(RepairCutOff, KeepsTheWholePacketsOfAFileCutInMidPacket) {
    const std::string path = cutOffRecording("torn.wmv", 3.0);
    const auto size = fs::file_size(path);
    fs::resize_file(path, size - 1234);
    const auto before = test::summarize(path);
    const RepairResult r = repairRecording(path);
    ASSERT_TRUE(r.repaired) << r.error.text;
    EXPECT_TRUE(inspectAsf(path).hasIndex);
    // Only the pictures that reached into the torn packet are lost.
    EXPECT_GE(test::summarize(path).videoPackets, before.videoPackets - 2);
    EXPECT_TRUE(test::decodesCleanly(path));
}

TEST(RepairCutOff, RefusesWhatIsNotARecordingAndChangesNothing) {
    const RepairResult missing = repairRecording(test::testFolder() + "/none.wmv");
    EXPECT_EQ(missing.error.number, err::FileNotFound);

    const std::string text = test::writeFile(test::testFolder() + "/notes.wmv", "not a video at all");
    const RepairResult foreign = repairRecording(text);
    EXPECT_NE(foreign.error.number, 0);
    EXPECT_FALSE(foreign.repaired);
    EXPECT_EQ(bytesOf(text), "not a video at all");

    // Only the header survived: nothing to keep, and the file stays as it was.
    const std::string cut = cutOffRecording("header.wmv", 1.0);
    const std::string head = bytesOf(cut).substr(0, 600);
    const std::string headOnly = test::writeFile(test::testFolder() + "/headonly.wmv", head);
    const RepairResult empty = repairRecording(headOnly);
    EXPECT_NE(empty.error.number, 0);
    EXPECT_EQ(bytesOf(headOnly), head);
    EXPECT_FALSE(inspectAsf(headOnly).complete);
}
