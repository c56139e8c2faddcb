// A nearly full disk of its own (a small tmpfs) and twenty back-to-back
// recordings of events marked "keep until space is needed", through the real
// engine: the kept recordings make room, oldest first, and nothing else goes.
#include "app/core/kept_recordings.h"

#include "test_engine_support.h"

#include <sys/mount.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>
#include <set>

namespace vesper::test {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kBitRate = 2000000;              // bits a second
constexpr size_t kMinuteBytes = kBitRate / 8 * 60; // what a one-minute event records
constexpr size_t kFileBytes = 20000000;

// An encoder that writes the profile's bytes when it stops.
class WritingHost : public FakeHost {
public:
    void EncoderSetOutputFilename(const std::string& p) override {
        FakeHost::EncoderSetOutputFilename(p);
        path = p;
    }
    void EncoderStop() override {
        FakeHost::EncoderStop();
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << std::string(kMinuteBytes, 'r');
        out.close();
        written.push_back(path);
        if (!out) failures.push_back(path);
    }
    std::string path;
    std::vector<std::string> written, failures;
};

class Counter : public RecordingObserver {
public:
    void recordingStarted(const RecordingEngine&, const std::string&, bool ok, int32_t) override { started += ok; }
    void recordingStopped(const RecordingEngine&) override {}
    void cancelledForLowDisk(const RecordingEngine&) override { ++cancelled; }
    int started = 0, cancelled = 0;
};

class KeptFullDiskTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        disk = makeFolder("disk");
        if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1000m,mode=0755") != 0)
            GTEST_SKIP() << "a tmpfs cannot be mounted here (" << std::strerror(errno) << ")";
        mounted = true;
    }
    void TearDown() override {
        if (mounted) ::umount2(disk.c_str(), MNT_DETACH);
        EngineTest::TearDown();
    }
    static double freeOn(const std::string& path) {
        struct statvfs v {};
        return ::statvfs(path.c_str(), &v) == 0 ? double(v.f_bavail) * double(v.f_frsize) : -1;
    }
    static void fill(const std::string& path, size_t bytes) {
        std::ofstream(path, std::ios::binary) << std::string(bytes, 'o');
    }

    std::string disk;
    bool mounted = false;
    WritingHost writer;
    RecordingEngine real{program, writer};
};

TEST_F(KeptFullDiskTest, TwentyBackToBackKeptRecordingsOnANearlyFullDisk) {
    SpaceKeeper keeper(program, joinPath(testFolder(), "KeptRecordings.txt"));
    // Forty older kept recordings, then unmarked ones until 95 % is used.
    std::set<std::string> keptPaths;
    for (int i = 0; i < 40; ++i) {
        const std::string path = joinPath(disk, "Old " + std::to_string(i) + ".wmv");
        fill(path, kFileBytes);
        clock.set(makeDate(2004, 3, 1, 20, 0, 0) + i);
        keeper.recordingCompleted(path, "Old.wmv", true);
        keptPaths.insert(path);
    }
    struct statvfs v {};
    ASSERT_EQ(::statvfs(disk.c_str(), &v), 0);
    const double reserve = 0.05 * double(v.f_blocks) * double(v.f_frsize);
    std::map<std::string, size_t> unmarked;
    for (int i = 0; freeOn(disk) > reserve; ++i) {
        const std::string path = joinPath(disk, "Mine " + std::to_string(i) + ".wmv");
        const size_t bytes = std::min(kFileBytes, size_t(freeOn(disk) - reserve) + 4096);
        fill(path, bytes);
        unmarked[path] = bytes;
    }
    ASSERT_LT(freeOn(disk), kLowDiskBytes);

    // Twenty one-minute events back to back from 20:00, each marked.
    TimingSettings timing;
    timing.defaults.keepUntilSpaceNeeded = true;
    Counter counter;
    program.freeBytes = Program{}.freeBytes;
    program.profileBitRates[writer.profile] = kBitRate;
    real.setScheduler(scheduler);
    real.setTiming(nullptr, &timing);
    real.setSpaceMaker(&keeper);
    real.setObserver(&counter);
    real.OutputDirChanged(disk);
    const DateTime first = makeDate(2004, 4, 20, 20, 0, 0);
    for (int i = 0; i < 20; ++i)
        addEvent(*scheduler, first + i / 1440.0, 5, 1, "once", "Show " + std::to_string(i) + ".wmv");
    clock.set(first - 30 / 86400.0);
    real.SetNextEvent();
    for (DateTime t = first - 20 / 86400.0; t < first + 21 / 1440.0; t += 10 / 86400.0) {
        clock.set(t);
        real.Timer1Tick();
    }

    EXPECT_EQ(counter.started, 20);
    EXPECT_EQ(counter.cancelled, 0);
    EXPECT_TRUE(seam.messages.empty());
    EXPECT_EQ(writer.written.size(), 20u);
    EXPECT_TRUE(writer.failures.empty()) << writer.failures.size() << " recordings ran out of disk";
    for (const auto& [path, bytes] : unmarked)
        EXPECT_EQ(fs::exists(path) ? fs::file_size(path) : 0, bytes) << path;
    for (const std::string& path : writer.written)
        keptPaths.insert(path);
    const auto deletions = keeper.deletions();
    const auto logged = logLinesWith({"LS0166"});
    EXPECT_GE(deletions.size(), 20u);
    EXPECT_EQ(logged.size(), deletions.size());
    size_t gone = 0;
    for (const std::string& path : keptPaths)
        gone += !fs::exists(path);
    EXPECT_EQ(gone, deletions.size());
    for (size_t i = 0; i < deletions.size(); ++i) {
        EXPECT_TRUE(keptPaths.count(deletions[i].path)) << deletions[i].path;
        EXPECT_NE(logged[i].find("deleted " + deletions[i].path + " "), std::string::npos) << logged[i];
    }
    EXPECT_GE(freeOn(disk), kLowDiskBytes);
}

} // namespace
} // namespace vesper::test
