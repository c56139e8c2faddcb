#include "components/chanplug/channel_command.h"

#include "platform/automation.h"
#include "platform/registry.h"
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace vesper;
using namespace vesper::chanplug;

namespace {

class Chanplug : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(test::registerComponent(CHANPLUG_PATH)); }
    void SetUp() override { registry::deleteValue(kPluginKey, kCommandValue); }
    static void setCommand(const std::string& line) {
        ASSERT_TRUE(registry::setString(kPluginKey, kCommandValue, line));
    }
    static ObjectPtr changeChannel(const std::string& channel) {
        ObjectPtr plugin = TryCreateObject("Chanplug.clsObject");
        if (plugin) {
            Args args{Variant(channel)};
            plugin->call("ChangeChannel", args);
        }
        return plugin;
    }
};

// Gone, or a zombie waiting for whoever adopted it.
bool processGone(pid_t pid) {
    if (::kill(pid, 0) != 0 && errno == ESRCH) return true;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

} // namespace

TEST_F(Chanplug, WithoutACommandTheObjectCannotBeCreated) {
    EXPECT_EQ(TryCreateObject("Chanplug.clsObject"), nullptr);
    setCommand("   ");
    EXPECT_EQ(TryCreateObject("Chanplug.clsObject"), nullptr);
    setCommand("/bin/true");
    EXPECT_NE(TryCreateObject("Chanplug.clsObject"), nullptr);
}

TEST_F(Chanplug, TheChannelIsPutIntoEachWordWithoutAShell) {
    EXPECT_EQ(channelCommand("irsend SEND_ONCE box KEY_%1", "12"),
              (std::vector<std::string>{"irsend", "SEND_ONCE", "box", "KEY_12"}));
    EXPECT_EQ(channelCommand("\"/opt/my tuner/tune\" --to=%1 --again=%1", "5"),
              (std::vector<std::string>{"/opt/my tuner/tune", "--to=5", "--again=5"}));
    // Without %1 the channel comes last.
    EXPECT_EQ(channelCommand("/usr/local/bin/tune-box", "7"),
              (std::vector<std::string>{"/usr/local/bin/tune-box", "7"}));
    // A channel text is never read by a shell.
    EXPECT_EQ(channelCommand("tune %1", "5; rm -rf ~"), (std::vector<std::string>{"tune", "5; rm -rf ~"}));

    const std::string dir = test::makeFolder("touch");
    setCommand("/usr/bin/touch \"" + dir + "/channel %1\"");
    EXPECT_NE(changeChannel("42"), nullptr);
    EXPECT_TRUE(std::filesystem::exists(dir + "/channel 42"));
    changeChannel("$(id)");
    EXPECT_TRUE(std::filesystem::exists(dir + "/channel $(id)"));
}

TEST_F(Chanplug, FailuresGoToStandardError) {
    testing::internal::CaptureStderr();
    const CommandOutcome missing = runCommand({"/nonexistent/irsend", "SEND_ONCE"});
    const CommandOutcome failing = runCommand({"/bin/false"});
    const CommandOutcome none = runCommand({});
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(missing.started);
    EXPECT_TRUE(failing.started);
    EXPECT_EQ(failing.exitCode, 1);
    EXPECT_FALSE(none.started);
    EXPECT_NE(errors.find("Chanplug: cannot start \"/nonexistent/irsend\""), std::string::npos) << errors;
    EXPECT_NE(errors.find("Chanplug: the command \"/bin/false\" failed with exit code 1"), std::string::npos) << errors;
    EXPECT_TRUE(runCommand({"/bin/true"}).succeeded());
}

// Costs the five seconds once: a command that hangs, with a child of its own,
// is ended with everything it started.
TEST_F(Chanplug, AHangingCommandIsEndedAfterFiveSeconds) {
    const std::string dir = test::makeFolder("hang");
    const std::string pids = dir + "/pids";
    setCommand("/bin/sh -c \"sleep 300 & echo $$ $! > '" + pids + "'; wait\" %1");
    testing::internal::CaptureStderr();
    changeChannel("9");
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("did not end within 5 seconds and was ended"), std::string::npos) << errors;

    std::istringstream in(test::readFile(pids));
    pid_t shell = 0, sleeper = 0;
    in >> shell >> sleeper;
    ASSERT_GT(shell, 0);
    ASSERT_GT(sleeper, 0);
    EXPECT_TRUE(processGone(shell));
    // The orphaned sleeper is reaped by whoever adopts it; give it a moment.
    for (int i = 0; i < 200 && !processGone(sleeper); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(processGone(sleeper));
}
