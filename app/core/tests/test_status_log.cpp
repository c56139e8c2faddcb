#include "app/core/settings_store.h"
#include "app/core/status_log.h"

#include "platform/clock.h"
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace vesper;
namespace fs = std::filesystem;

namespace {

class StatusLog : public ::testing::Test {
protected:
    void SetUp() override {
        clock.set(makeDate(2002, 4, 20, 20, 5, 9));
        setClock(&clock);
    }
    void TearDown() override { setClock(nullptr); }
    static std::string file(const char* name) { return test::testFolder() + "/" + name; }
    static void on(const char* sw) { RegSaveSetting2(settings::key::Status, sw, "True"); }
    TestClock clock;
};

} // namespace

TEST_F(StatusLog, EntryLayoutByteForByte) {
    EXPECT_EQ(statusLogEntry("LS0071:INFO:M06:EncoderStop() Stop", makeDate(2002, 4, 20, 20, 5, 9)),
              "~*~======================\r\n04/20/2002 08:05:09 PM\r\n\r\n"
              "LS0071:INFO:M06:EncoderStop() Stop\r\n\r\n--------------------~~*~~\r\n");
    EXPECT_NE(statusLogEntry("x", makeDate(2002, 4, 20, 12)).find("04/20/2002 12:00:00 PM"), std::string::npos);
    EXPECT_NE(statusLogEntry("x", makeDate(2002, 4, 20, 0)).find("04/20/2002 12:00:00 AM"), std::string::npos);
    EXPECT_NE(statusLogEntry("a\r\nb", 0).find("\r\n\r\na\r\nb\r\n\r\n"), std::string::npos);
}

TEST_F(StatusLog, FreshInstallationWritesNothing) {
    EXPECT_FALSE(LogStatus("LS0071:INFO:M06:EncoderStop() Stop", ""));
    EXPECT_FALSE(LogStatus("LS0008:INFO:F00:Form_Load():OK01", "bLogStatusAppInit"));
    EXPECT_FALSE(fs::exists(file("LogStatus.txt")));
    EXPECT_FALSE(fs::exists(file("LogStatusLast.txt")));
    EXPECT_FALSE(fs::exists(file("LogStatusAppInit.txt")));
}

TEST_F(StatusLog, NormalChannelKeepsHistoryAndLastEntry) {
    on("bLogStatus");
    EXPECT_TRUE(LogStatus("first", ""));
    clock.advance(3600 * 5);
    EXPECT_TRUE(LogStatus("second"));
    const std::string all = test::readFile(file("LogStatus.txt"));
    EXPECT_EQ(all, statusLogEntry("first", makeDate(2002, 4, 20, 20, 5, 9)) +
                       statusLogEntry("second", makeDate(2002, 4, 21, 1, 5, 9)));
    EXPECT_EQ(test::readFile(file("LogStatusLast.txt")), statusLogEntry("second", makeDate(2002, 4, 21, 1, 5, 9)));
    // The switch is read afresh on every call.
    RegSaveSetting2(settings::key::Status, "bLogStatus", "false");
    EXPECT_FALSE(LogStatus("third"));
    RegSaveSetting2(settings::key::Status, "bLogStatus", "1");
    EXPECT_TRUE(LogStatus("fourth"));
    RegSaveSetting2(settings::key::Status, "bLogStatus", "maybe");
    EXPECT_FALSE(LogStatus("fifth"));
}

TEST_F(StatusLog, StartupTraceAndProfileChannels) {
    on("bLogStatusAppInit");
    EXPECT_TRUE(LogStatus("LS0008:INFO:F00:Form_Load():OK01", "bLogStatusAppInit"));
    EXPECT_FALSE(LogStatus("LS0071:INFO:M06:EncoderStop() Stop"));
    EXPECT_TRUE(fs::exists(file("LogStatusAppInit.txt")));
    EXPECT_FALSE(fs::exists(file("LogStatus.txt")));
    EXPECT_FALSE(fs::exists(file("LogStatusLast.txt")));

    on("bLogStatusAppProfile");
    EXPECT_TRUE(LogStatus("profile", "bLogStatusAppProfile"));
    EXPECT_EQ(test::readFile(file("LogStatusAppProfile.txt")), statusLogEntry("profile", clock.now()));
}

TEST_F(StatusLog, PrimaryAndCompanionNames) {
    EXPECT_TRUE(LogS("only primary", "Mine.txt", ""));
    EXPECT_FALSE(fs::exists(file("LogStatusLast.txt")));
    EXPECT_TRUE(LogS("profile one", "", "LogStatusAppProfile.txt"));
    EXPECT_TRUE(LogS("profile two", "", "LogStatusAppProfile.txt"));
    EXPECT_EQ(test::readFile(file("LogStatusAppProfile.txt")), statusLogEntry("profile two", clock.now()));
    EXPECT_EQ(test::readFile(file("LogStatus.txt")),
              statusLogEntry("profile one", clock.now()) + statusLogEntry("profile two", clock.now()));
    EXPECT_FALSE(fs::exists(file("LogStatusLast.txt")));
}

TEST_F(StatusLog, UnwritableFolderReturnsFalseQuietly) {
    const std::string ro = test::makeFolder("readonly");
    setenv("VESPER_HOME", ro.c_str(), 1);
    // A folder in the way of the file makes every open fail, even for root.
    fs::create_directories(ro + "/LogStatus.txt");
    EXPECT_FALSE(LogS("x"));
    fs::remove(ro + "/LogStatus.txt");
    fs::create_directories(ro + "/LogStatusLast.txt");
    EXPECT_FALSE(LogS("x"));
    setenv("VESPER_HOME", "/proc/no-such-folder", 1);
    on("bLogStatus");
    EXPECT_FALSE(LogStatus("x"));
    setenv("VESPER_HOME", test::testFolder().c_str(), 1);
}

TEST_F(StatusLog, WriteFailureIsReportedOnceAsLS0059) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    on("bLogStatus");
    const std::string dir = test::makeFolder("full");
    setenv("VESPER_HOME", dir.c_str(), 1);
    fs::create_symlink("/dev/full", dir + "/Full.txt");
    // The entry cannot be written; LS0059 goes to the normal channel, and its
    // own failure (none here) would be dropped.
    EXPECT_TRUE(LogS("x", "Full.txt", ""));
    const std::string last = test::readFile(dir + "/LogStatusLast.txt");
    EXPECT_NE(last.find("LS0059:ERROR:M14:LogS() Exit - 61:Disk full"), std::string::npos) << last;
    // Both files on a full disk: the report fails too and is dropped silently.
    fs::remove(dir + "/LogStatus.txt");
    fs::remove(dir + "/LogStatusLast.txt");
    fs::create_symlink("/dev/full", dir + "/LogStatus.txt");
    fs::create_symlink("/dev/full", dir + "/LogStatusLast.txt");
    EXPECT_TRUE(LogStatus("y"));
    setenv("VESPER_HOME", test::testFolder().c_str(), 1);
}
