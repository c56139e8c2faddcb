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
#include <random>
#include <sys/wait.h>
#include <unistd.h>

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

namespace {

void putLe64(std::string& bytes, size_t at, uint64_t v) {
    if (at + 8 > bytes.size()) return;
    for (int i = 0; i < 8; ++i)
        bytes[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}

uint64_t getLe64(const std::string& bytes, size_t at) {
    uint64_t v = 0;
    for (int i = 7; i >= 0 && at + 8 <= bytes.size(); --i)
        v = (v << 8) | uint8_t(bytes[at + size_t(i)]);
    return v;
}

// Hostile variants of a real recording: every object size the readers walk
// set to the values that wrap or overrun, then random byte changes.
std::vector<std::string> hostileVariants(const std::string& original) {
    std::vector<std::string> out;
    const uint64_t headerSize = getLe64(original, 16);
    std::vector<size_t> sizeFields = {16, size_t(headerSize) + 16};
    for (uint64_t at = 30; at + 24 <= headerSize && at + 24 <= original.size();) {
        sizeFields.push_back(size_t(at) + 16);
        const uint64_t size = getLe64(original, size_t(at) + 16);
        if (size < 24) break;
        at += size;
    }
    const uint64_t fileSize = original.size();
    for (size_t field : sizeFields)
        for (uint64_t v : {~uint64_t(0), ~uint64_t(0) - 23, uint64_t(1) << 63, ~uint64_t(0) - field + 8, uint64_t(0),
                           uint64_t(23), fileSize, fileSize + 1}) {
            out.push_back(original);
            putLe64(out.back(), field, v);
        }
    std::mt19937 rng(20240601);
    for (int i = 0; i < 120; ++i) {
        std::string bytes = original;
        const int changes = 1 + int(rng() % 8);
        for (int c = 0; c < changes; ++c) {
            // Mostly in the header and the first packets, where the structure is.
            const size_t span = rng() % 4 ? std::min<size_t>(bytes.size(), 8192) : bytes.size();
            const size_t at = rng() % span;
            if (rng() % 3 == 0 && at + 8 <= bytes.size())
                putLe64(bytes, at, uint64_t(rng()) << 32 | rng());
            else
                bytes[at] = char(rng());
        }
        if (rng() % 4 == 0) bytes.resize(rng() % bytes.size());
        out.push_back(std::move(bytes));
    }
    return out;
}

} // namespace

TEST(RepairCutOff, EveryHostileFileGetsAnAnswer) {
    const std::string cut = bytesOf(cutOffRecording("fuzz-cut.wmv", 1.0));
    const std::string whole = test::testFolder() + "/fuzz-whole.wmv";
    fs::copy_file(test::testFolder() + "/fuzz-cut.wmv", whole);
    ASSERT_TRUE(repairRecording(whole).repaired);
    const std::string complete = bytesOf(whole);

    std::vector<std::string> inputs = hostileVariants(cut);
    for (auto& v : hostileVariants(complete))
        inputs.push_back(std::move(v));
    // Each input in a child with a deadline: a reader that loops is named,
    // not waited for.
    const std::string progress = test::testFolder() + "/fuzz-progress";
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        alarm(300);
        for (size_t i = 0; i < inputs.size(); ++i) {
            test::writeFile(progress, std::to_string(i));
            const std::string path = test::writeFile(test::testFolder() + "/fuzz.wmv", inputs[i]);
            const AsfFileInfo info = inspectAsf(path);
            if (info.complete && info.dataStart > info.fileSize) _exit(3);
            (void)wholePacketsEnd(info);
            const RepairResult r = repairRecording(path, true);
            if (!r.repaired && !r.error) _exit(4); // neither done nor refused
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "input " << bytesOf(progress) << " of " << inputs.size() << " got no answer (status " << status << ")";
}
