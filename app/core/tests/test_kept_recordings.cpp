// The recordings kept until space is needed: which go, in what order, and
// which never do.
#include "app/core/kept_recordings.h"

#include "test_engine_support.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace vesper::test {
namespace {

namespace fs = std::filesystem;

class KeeperTest : public ::testing::Test {
protected:
    void SetUp() override {
        setClock(&clock);
        RegSaveSetting2(settings::bLogStatus, "True");
        clearLog();
        // A disk of `capacity` bytes that holds exactly the folder's files.
        program.freeBytes = [this](const std::string&) {
            long long used = 0;
            for (const auto& e : fs::directory_iterator(folder))
                if (e.is_regular_file() && !e.is_symlink()) used += (long long)e.file_size();
            return capacity - used;
        };
    }
    void TearDown() override { setClock(nullptr); }

    std::string file(const std::string& name, size_t bytes) {
        const std::string path = joinPath(folder, name);
        std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
        return path;
    }
    // A recording completed on day `day` of April, kept.
    std::string kept(const std::string& name, int day, size_t bytes = 100) {
        const std::string path = file(name, bytes);
        clock.set(makeDate(2004, 4, day, 20, 0, 0));
        keeper.recordingCompleted(path, name, true);
        return path;
    }
    std::vector<std::string> listed() {
        std::vector<std::string> names;
        for (const auto& r : keeper.list().read().recordings)
            names.push_back(fs::path(r.path).filename().string());
        return names;
    }

    TestClock clock{makeDate(2004, 4, 20, 19, 0, 0)};
    Program program;
    std::string folder = makeFolder("kept" + std::to_string(++s_serial));
    long long capacity = 1000;
    SpaceKeeper keeper{program, folder + ".txt"};
    static inline int s_serial = 0;
};

TEST_F(KeeperTest, DeletesTheOldestFirstUntilEnoughIsFreeAndLogsAndListsEach) {
    // Listed in another order than recorded: the completion time decides.
    const std::string c = kept("C.wmv", 12), a = kept("A.wmv", 10), b = kept("B.wmv", 11), d = kept("D.wmv", 13);
    const std::string mine = file("Mine.wmv", 500);
    // 900 used, 100 free; 300 asked: A and B go.
    EXPECT_DOUBLE_EQ(keeper.reclaimableBytes(folder), 400);
    ASSERT_EQ(describeKept(*keeper.nextToGo()), "A.wmv (Apr 10, 0 MB)");
    clock.set(makeDate(2004, 4, 20, 20, 0, 0));
    EXPECT_TRUE(keeper.makeRoom(folder, 300, "Film.wmv"));

    EXPECT_FALSE(fs::exists(a));
    EXPECT_FALSE(fs::exists(b));
    EXPECT_TRUE(fs::exists(c) && fs::exists(d) && fs::exists(mine));
    EXPECT_EQ(listed(), (std::vector<std::string>{"C.wmv", "D.wmv"}));
    const auto deletions = keeper.deletions();
    ASSERT_EQ(deletions.size(), 2u);
    EXPECT_EQ(deletions[0].path, a);
    EXPECT_EQ(deletions[0].bytes, 100);
    EXPECT_EQ(deletions[0].forEvent, "Film.wmv");
    EXPECT_EQ(describeDeletion(deletions[1]), "B.wmv (Apr 20, 0 MB)");
    EXPECT_EQ(explainDeletion(deletions[1]), "Deleted Apr 20 08:00 PM to make room for Film.wmv: " + b);
    const auto lines = logLinesWith({"LS0166"});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("deleted " + a + " (100 bytes, kept since 2004-04-10 20:00) to make room for Film.wmv"),
              std::string::npos);

    // Enough free already: nothing goes. Never enough: every listed one goes, and false.
    EXPECT_TRUE(keeper.makeRoom(folder, 300, "Film.wmv"));
    EXPECT_FALSE(keeper.makeRoom(folder, 900, "Film.wmv"));
    EXPECT_TRUE(fs::exists(mine));
    EXPECT_TRUE(listed().empty());
    EXPECT_FALSE(keeper.nextToGo());
    EXPECT_DOUBLE_EQ(keeper.reclaimableBytes(folder), 0);
}

TEST_F(KeeperTest, NeverDeletesAFileThatIsNotTheKeptRecording) {
    struct Case {
        const char* what;
        std::function<void(const std::string&)> change;
    };
    const std::vector<Case> cases = {
        {"changed", [](const std::string& p) { std::ofstream(p, std::ios::app) << 'y'; }},
        {"replaced with the same size and time",
         [](const std::string& p) {
             struct stat st {};
             ::stat(p.c_str(), &st);
             const std::string copy = p + ".new";
             std::ofstream(copy, std::ios::binary) << std::string(100, 'z');
             const struct timespec times[2] = {st.st_atim, st.st_mtim};
             ::utimensat(AT_FDCWD, copy.c_str(), times, 0);
             fs::rename(copy, p);
         }},
        {"a link put in its place",
         [this](const std::string& p) {
             const std::string other = file("Other.wmv", 100);
             fs::remove(p);
             fs::create_symlink(other, p);
         }},
        {"being recorded again", [this](const std::string& p) { keeper.recordingStarting(p); }},
        {"completed unmarked", [this](const std::string& p) { keeper.recordingCompleted(p, "N", false); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(folder);
        fs::create_directory(folder);
        const std::string path = kept("Old.wmv", 10);
        file("Unlisted.wmv", 850);
        c.change(path);
        EXPECT_FALSE(keeper.makeRoom(folder, 500, "Film.wmv"));
        EXPECT_TRUE(fs::exists(fs::symlink_status(path)));
        EXPECT_TRUE(fs::exists(joinPath(folder, "Unlisted.wmv")));
        EXPECT_TRUE(listed().empty());
        keeper.recordingCompleted(path, "Old.wmv", false);
    }
    EXPECT_TRUE(keeper.deletions().empty());
    EXPECT_TRUE(logLinesWith({"LS0166"}).empty());
}

TEST_F(KeeperTest, NeverDeletesTheFileBeingRecorded) {
    const std::string old = kept("Old.wmv", 10);
    // Recorded again under a name of its own into the very same file (a hard link).
    const std::string now = joinPath(folder, "Now.wmv");
    fs::create_hard_link(old, now);
    keeper.recordingStarting(now);
    EXPECT_FALSE(keeper.makeRoom(folder, 950, "Now.wmv"));
    EXPECT_TRUE(fs::exists(old));
    EXPECT_FALSE(keeper.nextToGo());
    keeper.recordingCompleted(now, "Now.wmv", false);
    EXPECT_EQ(describeKept(*keeper.nextToGo()), "Old.wmv (Apr 10, 0 MB)");
}

TEST_F(KeeperTest, ADeletionThatFailsIsLoggedOnceAndTheNextOneTried) {
    const std::string a = kept("A.wmv", 10), b = kept("B.wmv", 11);
    file("Mine.wmv", 750);
    keeper.removeFile = [&](const std::string& path, std::string& why) {
        if (path == a) {
            why = "Device or resource busy";
            return false;
        }
        return fs::remove(path);
    };
    EXPECT_TRUE(keeper.makeRoom(folder, 150, "Film.wmv"));
    EXPECT_FALSE(keeper.makeRoom(folder, 250, "Film.wmv"));
    EXPECT_TRUE(fs::exists(a));
    EXPECT_FALSE(fs::exists(b));
    EXPECT_EQ(listed(), std::vector<std::string>{"A.wmv"});
    const auto failed = logLinesWith({"LS0167"});
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_NE(failed[0].find("cannot delete " + a + " to make room for Film.wmv: Device or resource busy"),
              std::string::npos);
}

TEST_F(KeeperTest, ADamagedOrUnreadableListReadsAsWhatItCanAndNeverRaises) {
    const std::string odd = kept("Tab\there\nand line.wmv", 10);
    const std::string path = keeper.list().path();
    std::string text = readFile(path);
    text += "kept\t1\t2\n"
            "kept\tx\t100\t1\t1\t1\tE\t/a\n"
            "deleted\t5\t100\tE\n"
            "deleted\t5\t100\tFor\\tme\t/gone.wmv\n"
            "\x01\x02\xff garbage\n";
    writeFile(path, text);
    EXPECT_EQ(listed(), std::vector<std::string>{"Tab\there\nand line.wmv"});
    ASSERT_EQ(keeper.deletions().size(), 1u);
    EXPECT_EQ(keeper.deletions()[0].forEvent, "For\tme");
    EXPECT_DOUBLE_EQ(keeper.reclaimableBytes(folder), 100);

    // A folder where the list should be: nothing kept, and a write says why.
    SpaceKeeper other(program, makeFolder("not a file"));
    EXPECT_TRUE(other.list().read().recordings.empty());
    other.recordingCompleted(odd, "E", true);
    EXPECT_EQ(logLinesWith({"LS0169"}).size(), 1u);
    EXPECT_FALSE(other.makeRoom(folder, 10000, "Film.wmv"));
    EXPECT_TRUE(fs::exists(odd));
}

} // namespace
} // namespace vesper::test
