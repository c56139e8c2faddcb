// Remote access against the main window offscreen, on the real
// "Slotbook.EventsObj": the API's changes go through the window's schedule
// commands (the grid shows them, the file keeps them), its refusals carry the
// reason, and the web page in headless Chromium adds an event that the grid
// then shows.
#include "app/core/kept_recordings.h"
#include "app/core/remote_access.h"
#include "app/core/remote_server.h"
#include "app/core/tests/http_client.h"
#include "app/core/tests/test_engine_support.h"
#include "app/forms/frm_vesper.h"
#include "app/forms/tests/test_startup_binary_support.h"
#include "app/forms/tests/window_without_card.h"
#include "platform/testing/qt_application.h"
#include "platform/watch/failed_events.h"

#include "platform/registry.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTabWidget>
#include <QTableWidget>
#include <QTcpServer>

#include <filesystem>
#include <set>

namespace vesper::test {
namespace {

const QByteArray kToken = remote::newToken();

class RemoteApi : public ::testing::Test {
protected:
    void SetUp() override {
        vesper::test::application();
        setClock(&clock);
        setUiSeam(&seam);
        ASSERT_NO_FATAL_FAILURE(openWindowWithoutCard(program, scheduler, window, "remote-out"));
        window->SSTab1->setCurrentIndex(1);

        QTcpServer probe; // a free port for this test
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
        probe.close();
        RegSaveSetting2(remote::kKey, remote::kPort, std::to_string(port));
        RegSaveSetting2(remote::kKey, remote::kTokenHash, remote::hashToken(kToken).toStdString());
        remote::saveEnabled(true);
        ASSERT_TRUE(window->core().StartRemoteAccess());
        ASSERT_TRUE(window->core().remoteServer());
    }
    void TearDown() override {
        window.reset();
        std::filesystem::remove(schedulePath());
        setUiSeam(nullptr);
        setClock(nullptr);
    }
    static std::string schedulePath() { return joinPath(testFolder(), "Schedule.txt"); }

    HttpAnswer call(const QByteArray& method, const QByteArray& path, const QByteArray& body = {}) {
        const HttpAnswer a = http(port, httpText(port, method, path, body, kToken));
        settle();
        return a;
    }
    // The next event, set after the answer, has been set.
    void settle() {
        EXPECT_TRUE(spinEventsUntil([&] { return !window->core().nextEventPending(); }));
    }
    std::vector<std::string> grid() const { return gridTexts(*window); }

    TestClock clock{makeDate(2030, 4, 19, 12, 0, 0)};
    RecordingUiSeam seam;
    Program program;
    ObjectPtr scheduler;
    std::unique_ptr<frmVesper> window;
    quint16 port = 0;
};

TEST_F(RemoteApi, ChangesGoThroughTheWindowsCommandsAndAreSaved) {
    HttpAnswer a = call("POST", "/api/schedule",
                        R"({"start":"2030-04-20T20:00","channel":5,"duration":90,"repeat":"weekly",
                            "filename":"News & Weather/1"})");
    ASSERT_EQ(a.status, 201) << a.body.toStdString();
    EXPECT_EQ(a.json()["filename"].toString(), "News And Weather_1.wmv");
    EXPECT_EQ(grid(), (std::vector<std::string>{"Sat,  Apr 20,  08:00 PM|5|1:30|weekly|News And Weather_1.wmv"}));
    EXPECT_NE(readFile(schedulePath()).find("News And Weather_1.wmv"), std::string::npos);

    // The conflict test's reason, as the window's message says it.
    a = call("POST", "/api/schedule", R"({"start":"2030-04-20T19:30","channel":9,"duration":60})");
    ASSERT_EQ(a.status, 409) << a.body.toStdString();
    EXPECT_EQ(a.json()["error"].toString(), "conflict");
    EXPECT_TRUE(a.json()["reason"].toString().contains("CONFLICTS with this existing event:\nFilename: "
                                                       "News And Weather_1.wmv"));
    EXPECT_TRUE(a.json()["reason"].toString().endsWith("Event was not added!"));
    EXPECT_EQ(a.json()["conflict"].toObject()["start"].toString(), "2030-04-20T20:00:00");
    EXPECT_EQ(grid().size(), 1u);

    a = call("POST", "/api/schedule",
             R"({"start":"2030-04-21T08:00","channel":3,"duration":30,"startMargin":60,"keep":true})");
    ASSERT_EQ(a.status, 201);
    EXPECT_EQ(a.json()["filename"].toString(), "default.wmv");
    EXPECT_EQ(a.json()["startMargin"].toInt(), 60);
    EXPECT_EQ(a.json()["endMargin"].toInt(), 0);
    // Moving the second onto the first is refused with the update's wording.
    a = call("PUT", "/api/schedule/2030-04-21T08:00", R"({"start":"2030-04-20T19:45"})");
    ASSERT_EQ(a.status, 409);
    EXPECT_TRUE(a.json()["reason"].toString().endsWith("Event was not updated!"));
    a = call("PUT", "/api/schedule/2030-04-21T08:00", R"({"channel":12,"filename":"Morning"})");
    ASSERT_EQ(a.status, 200) << a.body.toStdString();
    EXPECT_EQ(grid()[1], "Sun,  Apr 21,  08:00 AM|12|0:30|once|Morning.wmv");
    EXPECT_TRUE(a.json()["keep"].toBool()); // the margins and mark follow the edited event
    EXPECT_EQ(a.json()["startMargin"].toInt(), 60);

    a = call("GET", "/api/schedule/next");
    EXPECT_EQ(a.json()["next"].toObject()["filename"].toString(), "News And Weather_1.wmv");
    a = call("GET", "/api/schedule");
    EXPECT_EQ(a.json()["events"].toArray().size(), 2);
    a = call("GET", "/api/state");
    EXPECT_FALSE(a.json()["recording"].toBool());
    EXPECT_EQ(a.json()["events"].toInt(), 2);

    // Cancelling a weekly event moves it on a week; deleting removes it.
    ASSERT_EQ(call("POST", "/api/schedule/2030-04-20T20:00/cancel").status, 200);
    EXPECT_EQ(grid()[1], "Sat,  Apr 27,  08:00 PM|5|1:30|weekly|News And Weather_1.wmv");
    ASSERT_EQ(call("DELETE", "/api/schedule/2030-04-27T20:00:00").status, 200);
    EXPECT_EQ(grid(), (std::vector<std::string>{"Sun,  Apr 21,  08:00 AM|12|0:30|once|Morning.wmv"}));
    EXPECT_EQ(readFile(schedulePath()).find("News"), std::string::npos);
    EXPECT_EQ(call("DELETE", "/api/schedule/2030-04-27T20:00").status, 404);
    EXPECT_EQ(call("POST", "/api/schedule/2030-04-27T20:00/cancel").status, 404);

    // Nothing to cancel while nothing records; the failed list as the watch
    // keeps it; no guide imported, no programmes.
    EXPECT_EQ(call("DELETE", "/api/recording").status, 409);
    watch::FailedEvent failed;
    failed.when = failed.start = makeDate(2030, 4, 19, 20, 0, 0);
    failed.name = "Quiz.wmv";
    failed.reason = "the card is busy";
    ASSERT_NE(watch::FailedEventList().add(failed), 0);
    a = call("GET", "/api/failed");
    ASSERT_EQ(a.json()["failed"].toArray().size(), 1);
    EXPECT_EQ(a.json()["failed"].toArray()[0].toObject()["reason"].toString(), "the card is busy");
    std::filesystem::remove(window->core().keeper().list().path());
    const std::string quiz = writeFile(joinPath(testFolder(), "Quiz.wmv"), "recorded");
    window->core().keeper().recordingCompleted(quiz, "Quiz.wmv", true);
    a = call("GET", "/api/kept");
    EXPECT_EQ(a.json()["kept"].toArray().size(), 1);
    EXPECT_EQ(a.json()["next"].toObject()["event"].toString(), "Quiz.wmv");
    EXPECT_EQ(a.json()["deleted"].toArray().size(), 0);
    EXPECT_EQ(call("GET", "/api/guide?title=News").json()["programmes"].toArray().size(), 0);
    a = call("GET", "/api/openapi.json");
    EXPECT_EQ(a.json()["openapi"].toString(), "3.0.3");
    EXPECT_TRUE(a.json()["paths"].toObject().contains("/api/schedule/{start}/cancel"));
}

TEST_F(RemoteApi, BadInputIsRefusedWithItsReasonAndChangesNothing) {
    struct Case {
        const char* body;
        const char* reason;
    } cases[] = {
        {"{\"start\":\"2030-04-20T20:00\",\"channel\":5", "not JSON"},
        {"[1,2]", "must be a JSON object"},
        {"", "not JSON"},
        {R"({"start":"2030-04-20T20:00","channel":1,"duration":30})",
         "\"channel\" must be a whole number from 2 to 181"},
        {R"({"start":"2030-04-20T20:00","channel":182,"duration":30})", "from 2 to 181"},
        {R"({"start":"2030-04-20T20:00","channel":"5","duration":30})", "\"channel\""},
        {R"({"start":"2030-04-20T20:00","channel":5.5,"duration":30})", "\"channel\""},
        {R"({"start":"2030-04-20T20:00","channel":5,"duration":0})", "\"duration\""},
        {R"({"start":"2030-04-20T20:00","channel":5,"duration":40000})", "\"duration\""},
        {R"({"start":"2030-04-20T20:00","channel":5,"duration":30,"repeat":"daily"})", "\"repeat\""},
        {R"({"start":"2030-04-20T20:00","channel":5,"duration":30,"filename":7})", "\"filename\""},
        {R"({"start":"2030-04-20T20:00","channel":5,"duration":30,"active":false})", "unknown field"},
        {R"({"start":"20/04/2030","channel":5,"duration":30})", "\"start\""},
        {R"({"start":"2030-04-20T20:00","channel":5,"duration":30,"endMargin":3601})", "\"endMargin\""},
        {R"({"start":"2030-04-20T20:00","channel":5,"duration":30,"keep":"yes"})", "\"keep\""},
        {R"({"start":"2030-04-20T20:00Z","channel":5,"duration":30})", "\"start\""},
        {R"({"channel":5,"duration":30})", "\"start\""},
        {R"({"start":"2030-04-19T10:00","channel":5,"duration":30})", "has EXPIRED"},
    };
    for (const Case& c : cases) {
        const HttpAnswer a = call("POST", "/api/schedule", c.body);
        EXPECT_EQ(a.status, 400) << c.body;
        EXPECT_TRUE(a.json()["error"].toString().contains(c.reason))
            << c.body << " -> " << a.json()["error"].toString().toStdString();
    }
    EXPECT_EQ(call("PUT", "/api/schedule/tomorrow", "{}").status, 400);
    EXPECT_EQ(call("PUT", "/api/schedule/2030-04-20T20:00", R"({"channel":5})").status, 404);
    EXPECT_EQ(call("PATCH", "/api/schedule").status, 404);
    EXPECT_EQ(eventCount(*scheduler), 0);
}

// The page in a real browser adds an event through its form; the window's
// grid shows it, and the page shows the conflict a second one would make.
TEST_F(RemoteApi, ThePageInHeadlessChromiumAddsAnEventThatTheGridShows) {
    const std::string profile = makeFolder("chromium-profile");
    QProcess browser;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", QString::fromStdString(profile));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(profile + "/config"));
    env.insert("XDG_CACHE_HOME", QString::fromStdString(profile + "/cache"));
    browser.setProcessEnvironment(env);
    browser.setProcessChannelMode(QProcess::MergedChannels);
    browser.start("/usr/bin/python3",
                  {REMOTE_PAGE_SCRIPT, "http://127.0.0.1:" + QString::number(port) + "/", QString::fromLatin1(kToken),
                   "2030-04-20T20:00", "Nature & Co", QString::fromStdString(profile + "/user-data")});
    ASSERT_TRUE(spinEventsUntil([&] { return browser.state() == QProcess::NotRunning; }, 240000));
    const std::string output = browser.readAll().toStdString();
    ASSERT_EQ(browser.exitStatus(), QProcess::NormalExit) << output;
    ASSERT_EQ(browser.exitCode(), 0) << output;
    settle();
    EXPECT_NE(output.find("Nature And Co.wmv"), std::string::npos) << output;
    EXPECT_NE(output.find("Event was not added!"), std::string::npos) << output;
    EXPECT_EQ(grid(), (std::vector<std::string>{"Sat,  Apr 20,  08:00 PM|7|0:45|weekly|Nature And Co.wmv"}));
}

// The TCP ports a process listens on, from its sockets and the kernel's table.
std::set<int> listeningPorts(pid_t pid) {
    std::set<QByteArray> inodes;
    const QString fds = QString("/proc/%1/fd").arg(pid);
    for (const QString& fd : QDir(fds).entryList(QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(fds + "/" + fd);
        if (target.contains("socket:[")) inodes.insert(target.section('[', 1).section(']', 0, 0).toLatin1());
    }
    std::set<int> ports;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile f(table);
        if (!f.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& line : f.readAll().split('\n')) {
            const QList<QByteArray> c = line.simplified().split(' ');
            if (c.size() > 9 && c[3] == "0A" && inodes.count(c[9]))
                ports.insert(c[1].mid(c[1].lastIndexOf(':') + 1).toInt(nullptr, 16));
        }
    }
    return ports;
}

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The real program offscreen: switched off (the default) it opens no port;
// switched on, its API adds and refuses, and Record Now records from the
// virtual card until Cancel Recording stops it.
TEST(RemoteBinary, OffOpensNoPortAndOnRecordsNowUntilCancelled) {
    vesper::test::application();
    {
        VesperRun off("remote-off");
        off.traceOn();
        off.start();
        ASSERT_TRUE(off.reachedOk29()) << off.output();
        EXPECT_TRUE(listeningPorts(off.pidOfRun()).empty());
        EXPECT_EQ(off.terminate(), 0) << off.output();
    }
    VesperRun run("remote-on");
    run.traceOn();
    run.env["VESPER_TEST_NOW"] = "4/20/2030 7:00:00 PM";
    const quint16 port = freePort();
    run.set(remote::kKey, remote::kEnabled, "1");
    run.set(remote::kKey, remote::kPort, std::to_string(port));
    run.set(remote::kKey, remote::kTokenHash, remote::hashToken(kToken).toStdString());
    run.start();
    ASSERT_TRUE(run.reachedOk29()) << run.output();
    EXPECT_EQ(listeningPorts(run.pidOfRun()), std::set<int>{port});
    const auto call = [&](const QByteArray& method, const QByteArray& path, const QByteArray& body = {}) {
        return http(port, httpText(port, method, path, body, kToken));
    };
    EXPECT_EQ(http(port, httpText(port, "GET", "/api/state")).status, 401);
    ASSERT_EQ(call("POST", "/api/schedule", R"({"start":"2030-04-20T21:00","channel":6,"duration":60})").status, 201);
    EXPECT_EQ(call("POST", "/api/schedule", R"({"start":"2030-04-20T21:30","channel":6,"duration":60})").status, 409);

    HttpAnswer a = call("POST", "/api/recording", R"({"channel":4,"duration":5})");
    ASSERT_EQ(a.status, 201) << a.body.toStdString();
    const std::string file = a.json()["filename"].toString().toStdString();
    EXPECT_EQ(file.rfind("RecordNow-300420-", 0), 0u) << file;
    ASSERT_TRUE(run.waitFor([&] { return call("GET", "/api/state").json()["recording"].toBool(); }, 120))
        << run.output();
    a = call("GET", "/api/state");
    EXPECT_EQ(a.json()["current"].toObject()["filename"].toString().toStdString(), file);
    EXPECT_EQ(a.json()["current"].toObject()["channel"].toInt(), 4);
    EXPECT_EQ(call("POST", "/api/recording").status, 409);
    ASSERT_EQ(call("DELETE", "/api/recording").status, 200);
    ASSERT_TRUE(run.waitFor([&] { return !call("GET", "/api/state").json()["recording"].toBool(); }, 120))
        << run.output();
    EXPECT_EQ(run.terminate(), 0) << run.output();
    EXPECT_TRUE(std::filesystem::exists(run.file("MyTV/" + file)));
    const std::string saved = readFile(run.file("Schedule.txt"));
    EXPECT_EQ(saved.find("RecordNow"), std::string::npos) << saved;
    EXPECT_NE(saved.find("default.wmv"), std::string::npos) << saved;
    for (const std::string& line : run.log())
        EXPECT_EQ(line.find(kToken.toStdString()), std::string::npos);
}

} // namespace
} // namespace vesper::test
