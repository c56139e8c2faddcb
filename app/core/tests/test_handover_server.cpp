#include "app/core/handover_server.h"
#include "platform/handover/handover_protocol.h"
#include "platform/testing/event_loop.h"

#include "app/core/settings_store.h"
#include "components/msgpipe/msgpipe.h"
#include "platform/handover/handover_client.h"

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

using namespace vesper;
using handover::SendResult;

namespace {

class HandoverTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::coreApp();
        QObject::connect(&server, &HandoverServer::documentReceived,
                         [this](const QString& d) { received.push_back(d.toStdString()); });
    }
    void TearDown() override { RegSaveSetting2(settings::bAppLoadComplete, "False"); }

    std::string path() const { return server.serverPath().toStdString(); }

    // A raw client for what the real one never does.
    int rawConnect() {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path().c_str(), sizeof addr.sun_path - 1);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    // The answer byte, 0 when the server closed without one.
    char answerOf(int fd) {
        char answer = 0;
        bool closed = false;
        test::spinEventsUntil([&] {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 0) <= 0) return false;
            if (::recv(fd, &answer, 1, 0) != 1) answer = 0;
            closed = true;
            return true;
        });
        EXPECT_TRUE(closed);
        return answer;
    }

    HandoverServer server;
    std::vector<std::string> received;
};

TEST_F(HandoverTest, SocketIsTheUsersAloneAndDeliversDocuments) {
    ASSERT_TRUE(server.listen());
    EXPECT_EQ(path(), instanceRuntimePath("socket"));
    struct stat st {};
    ASSERT_EQ(::stat(path().c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    struct stat folder {};
    ASSERT_EQ(::stat(std::filesystem::path(path()).parent_path().c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 077, 0u);

    EXPECT_EQ(handover::sendToMainProgram(path(), "<a>caf\xC3\xA9</a>"), SendResult::Accepted);
    EXPECT_EQ(handover::sendToMainProgram(path(), ""), SendResult::Alive);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], "<a>caf\xC3\xA9</a>");

    // As another user: the folder and the socket keep them out.
    if (::getuid() == 0) {
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(3);
            _exit(handover::sendToMainProgram(path(), "<x/>", 2) == SendResult::NoAnswer ? 0 : 1);
        }
        int status = 0;
        test::spinEventsUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; });
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(received.size(), 1u);
    }
}

TEST_F(HandoverTest, SizeLimitAndBadText) {
    ASSERT_TRUE(server.listen());
    const std::string largest(handover::kHandOverMaxBytes, 'x');
    EXPECT_EQ(handover::sendToMainProgram(path(), largest), SendResult::Accepted);
    EXPECT_EQ(handover::sendToMainProgram(path(), largest + "x"), SendResult::Refused);

    // A client that announces 10 MB is refused at once, before it sends them.
    int fd = rawConnect();
    ASSERT_GE(fd, 0);
    unsigned char head[4];
    handover::encodeLength(10 * 1024 * 1024, head);
    ASSERT_EQ(::send(fd, head, 4, 0), 4);
    EXPECT_EQ(answerOf(fd), handover::kRefused);
    ::close(fd);

    EXPECT_EQ(handover::sendToMainProgram(path(), "bad \xFF\xFE bytes"), SendResult::Refused);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].size(), handover::kHandOverMaxBytes);
}

TEST_F(HandoverTest, SilentAndSlowClientsAreDroppedWithoutBlockingOthers) {
    server.setClientTimeoutMs(300);
    ASSERT_TRUE(server.listen());
    const int silent = rawConnect();
    ASSERT_GE(silent, 0);
    const int halfway = rawConnect();
    ASSERT_GE(halfway, 0);
    unsigned char head[4];
    handover::encodeLength(100, head);
    ASSERT_EQ(::send(halfway, head, 4, 0), 4);
    ASSERT_EQ(::send(halfway, "only part", 9, 0), 9);
    // Meanwhile another sender gets through.
    EXPECT_EQ(handover::sendToMainProgram(path(), "<ok/>"), SendResult::Accepted);
    EXPECT_EQ(answerOf(silent), 0);
    EXPECT_EQ(answerOf(halfway), 0);
    ::close(silent);
    ::close(halfway);
    EXPECT_EQ(received, std::vector<std::string>{"<ok/>"});
}

TEST_F(HandoverTest, TwoSendersAtOnce) {
    ASSERT_TRUE(server.listen());
    setWaitHook({}); // the senders run on their own threads
    std::atomic<int> done{0};
    SendResult a{}, b{};
    const std::string p = path();
    std::thread ta([&] {
        a = handover::sendToMainProgram(p, std::string(40000, 'a'));
        ++done;
    });
    std::thread tb([&] {
        b = handover::sendToMainProgram(p, std::string(40000, 'b'));
        ++done;
    });
    EXPECT_TRUE(test::spinEventsUntil([&] { return done == 2; }));
    ta.join();
    tb.join();
    setWaitHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
    EXPECT_EQ(a, SendResult::Accepted);
    EXPECT_EQ(b, SendResult::Accepted);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_NE(received[0], received[1]);
    for (const auto& r : received)
        EXPECT_TRUE(r == std::string(40000, 'a') || r == std::string(40000, 'b'));
}

TEST_F(HandoverTest, StaleSocketIsReplacedALiveOneIsNot) {
    ASSERT_TRUE(server.listen());
    HandoverServer second;
    EXPECT_FALSE(second.listen()); // someone answers there
    server.close();

    // What a crashed program leaves: a socket file nobody listens on.
    const std::string p = instanceRuntimePath("socket");
    std::filesystem::remove(p);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, p.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    ASSERT_TRUE(std::filesystem::exists(p));
    ASSERT_TRUE(second.listen());
    EXPECT_EQ(handover::sendToMainProgram(p, ""), SendResult::Alive);
}

TEST_F(HandoverTest, MessageComponentTellsARunningProgramFromAStaleFlag) {
    ObjectPtr pipe(msgpipe::newMsgpipeObject());
    EXPECT_FALSE(pipe->call("IIsAppLoadComplete").toBool()); // never started
    RegSaveSetting2(settings::bAppLoadComplete, "True");
    EXPECT_FALSE(pipe->call("IIsAppLoadComplete").toBool()); // the flag a crash left
    ASSERT_TRUE(server.listen());
    EXPECT_TRUE(pipe->call("IIsAppLoadComplete").toBool());
    RegSaveSetting2(settings::bAppLoadComplete, "False");
    EXPECT_FALSE(pipe->call("IIsAppLoadComplete").toBool()); // still starting

    Args document{Variant(std::string("<TvProgramEvents/>"))};
    EXPECT_TRUE(pipe->call("ISendMessage", document).toBool());
    EXPECT_EQ(received, std::vector<std::string>{"<TvProgramEvents/>"});
    Args tooLong{Variant(std::string(handover::kHandOverMaxBytes + 1, 'x'))};
    EXPECT_FALSE(pipe->call("ISendMessage", tooLong).toBool());
    server.close();
    EXPECT_FALSE(pipe->call("ISendMessage", document).toBool());

    TestClock clock(makeDate(2024, 1, 1, 12, 0, 0));
    setClock(&clock);
    Args one{Variant(int16_t(1))};
    pipe->call("IWaitInSeconds", one);
    EXPECT_EQ(toSeconds(clock.now()), toSeconds(makeDate(2024, 1, 1, 12, 0, 1)));
    setClock(nullptr);
}

TEST_F(HandoverTest, MessageComponentStartsTheMainProgramFromAppPath) {
    const std::string folder = test::makeFolder("installed");
    const std::string marker = joinPath(folder, "started");
    const std::string stub = test::writeFile(joinPath(folder, "vesper"), "#!/bin/sh\necho \"$0\" > '" + marker + "'\n");
    std::filesystem::permissions(stub, std::filesystem::perms::owner_all);
    RegSaveSetting2(settings::AppPath, folder);
    EXPECT_EQ(msgpipe::mainProgramPath(), stub);
    ObjectPtr pipe(msgpipe::newMsgpipeObject());
    EXPECT_TRUE(pipe->call("IStartApp").toBool());
    EXPECT_TRUE(
        test::spinEventsUntil([&] { return std::filesystem::exists(marker) && !test::readFile(marker).empty(); }));

    RegSaveSetting2(settings::AppPath, test::makeFolder("empty"));
    EXPECT_FALSE(pipe->call("IStartApp").toBool());
    std::filesystem::permissions(stub, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    RegSaveSetting2(settings::AppPath, folder);
    EXPECT_FALSE(pipe->call("IStartApp").toBool()); // not executable
    RegSaveSetting2(settings::AppPath, "");
}

} // namespace
