// Cutting a run of two events apart by stream copy: each file gets its own
// stretch (the overlap of their margins in both), and a run that cannot be
// cut stays whole.
#include "app/core/run_cutter.h"

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/testing/test_env.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>

namespace vesper::test {
namespace {

double probeDuration(const std::string& path) {
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of", "default=noprint_wrappers=1:nokey=1",
                        QString::fromStdString(path)});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed().toDouble();
}

// A minute of moving picture and tone, as a recording of the profile's kind.
void makeRecording(const std::string& path, const QStringList& codecs) {
    QProcess p;
    p.start("ffmpeg", QStringList{"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=30",
                                  "-f", "lavfi", "-i", "sine=frequency=440", "-t", "60"} +
                          codecs + QStringList{QString::fromStdString(path)});
    ASSERT_TRUE(p.waitForFinished(120000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

RecordedRun twoEvents(const std::string& folder, const std::string& extension) {
    // The run stopped at 1,000,060 after a minute: A is its first 35 s, B its
    // last 35 s, the 10 s between their margins in both.
    RecordedRun run;
    run.file = joinPath(folder, "A" + extension);
    run.stopped = 1000060;
    run.parts = {{run.file, "A" + extension, 1000000, 1000035, false},
                 {joinPath(folder, "B" + extension), "B" + extension, 1000025, 1000060, true}};
    return run;
}

TEST(RunCutter, CutsARunIntoItsEventsFilesByStreamCopy) {
    const struct {
        const char* extension;
        QStringList codecs;
    } kinds[] = {{".wmv", {"-c:v", "wmv2", "-g", "30", "-c:a", "wmav2"}},
                 {".mp4", {"-c:v", "libx264", "-preset", "ultrafast", "-g", "30", "-c:a", "aac"}}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.extension);
        const std::string folder = makeFolder(std::string("cut") + kind.extension);
        const RecordedRun run = twoEvents(folder, kind.extension);
        makeRecording(run.file, kind.codecs);
        const CutOutcome outcome = cutRun(run);
        EXPECT_EQ(outcome.error, "");
        EXPECT_EQ(outcome.made, (std::vector<bool>{true, true}));
        // A keyframe each second: a part may begin up to a second early.
        EXPECT_NEAR(probeDuration(run.parts[0].path), 35.0, 1.1);
        EXPECT_NEAR(probeDuration(run.parts[1].path), 35.0, 1.1);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2) << "no temporary file left";
    }
}

TEST(RunCutter, ARunThatCannotBeCutStaysWhole) {
    const std::string folder = makeFolder("damaged");
    const RecordedRun run = twoEvents(folder, ".wmv");
    writeFileAtomically(run.file, std::string(4096, 'x'));
    const CutOutcome outcome = cutRun(run);
    EXPECT_NE(outcome.error, "");
    EXPECT_EQ(outcome.made, (std::vector<bool>{true, false}));
    EXPECT_EQ(readFile(run.file), std::string(4096, 'x'));
    EXPECT_FALSE(std::filesystem::exists(run.parts[1].path));
}

} // namespace
} // namespace vesper::test
