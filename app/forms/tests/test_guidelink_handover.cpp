// guidelink --sch as a browser runs it, against a hand-over server in this
// process standing in for the running main program.
#include "app/core/handover_server.h"
#include "app/core/settings_store.h"
#include "app/core/xml_program_event.h"

#include "platform/paths.h"
#include "platform/testing/qt_test_support.h"
#include "platform/testing/test_env.h"
#include "platform/ui/qt_ui_seam.h"

#include <QProcess>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace vesper;

namespace {

struct Outcome {
    int exitCode = -1;
    std::string err;
    std::string uiLog;
};

class GuidelinkHandover : public ::testing::Test {
protected:
    void SetUp() override {
        test::qtApp();
        static bool registered = test::registerComponent(MSGPIPE_PATH);
        ASSERT_TRUE(registered);
        QObject::connect(&server, &HandoverServer::documentReceived,
                         [this](const QString& d) { received.push_back(d.toStdString()); });
        uiLog = joinPath(test::testFolder(), "ui.log");
        std::filesystem::remove(uiLog);
    }
    void TearDown() override {
        RegSaveSetting2(settings::bAppLoadComplete, "False");
        RegSaveSetting2(settings::AppPath, "");
    }

    // Runs guidelink while this process keeps serving; `meanwhile` is polled.
    Outcome run(const std::string& argument, const std::function<void()>& meanwhile = {}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VESPER_TEST_UI_LOG", QString::fromStdString(uiLog));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(GUIDELINK_PATH, {"--sch", QString::fromStdString(argument)});
        EXPECT_TRUE(p.waitForStarted());
        EXPECT_TRUE(test::spinUntil(
            [&] {
                if (meanwhile) meanwhile();
                return p.state() == QProcess::NotRunning;
            },
            120000));
        Outcome r;
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.err = p.readAllStandardError().toStdString();
        r.uiLog = std::filesystem::exists(uiLog) ? test::readFile(uiLog) : std::string();
        return r;
    }

    HandoverServer server;
    std::vector<std::string> received;
    std::string uiLog;
};

const std::string kLink =
    "http://tv.example.com/tvpdb?d=tvi&TITLE=Law+%26+Order+(Repeat)+(WNBC+4)&ST=20040707T200000Z&DUR=0100";
const std::string kDocument = "<?xml version=\"1.0\"?><TvProgramEvents><TvProgramEvent><channel>4</channel>"
                              "<duration>01:00</duration><filename>WNBC - Law &amp; Order (Repeat)</filename>"
                              "<start>2004-07-07T20:00:00Z</start></TvProgramEvent></TvProgramEvents>";

TEST_F(GuidelinkHandover, SendsToTheRunningProgram) {
    ASSERT_TRUE(server.listen());
    RegSaveSetting2(settings::bAppLoadComplete, "True");
    Outcome r = run(kLink);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(received, std::vector<std::string>{kDocument});

    // What the main program makes of it.
    test::ZoneScope zone("America/New_York");
    RecordingUiSeam ui;
    setUiSeam(&ui);
    Program program;
    ASSERT_TRUE(SetXML(program, received[0]));
    setUiSeam(nullptr);
    EXPECT_EQ(program.currentEvent.channel, 4);
    EXPECT_EQ(program.currentEvent.duration, 60);
    EXPECT_EQ(program.currentEvent.filename, "WNBC - Law And Order _Repeat_");
    EXPECT_EQ(toSeconds(program.currentEvent.dt), toSeconds(makeDate(2004, 7, 7, 16, 0, 0)));

    // The same through the vesper-add: address a browser hands over.
    const std::string url =
        "vesper-add:" + QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(kLink))).toStdString();
    r = run(url);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1], kDocument);
}

TEST_F(GuidelinkHandover, ExitCodesAndReasons) {
    ASSERT_TRUE(server.listen());
    RegSaveSetting2(settings::bAppLoadComplete, "True");
    Outcome r = run("http://tv.example.com/?TITLE=No+channel&ST=20040707T200000Z");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no channel"), std::string::npos) << r.err;
    r = run("http://tv.example.com/?TITLE=A+(K+5)&ST=2004-99");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("Start not understood"), std::string::npos) << r.err;
    // A title too long for the socket: refused, and said so.
    r = run("http://tv.example.com/?TITLE=" + std::string(70000, 'x') + "+(K+5)&ST=20040707T200000Z");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("did not take"), std::string::npos) << r.err;
    // A hive that cannot be read: the file is named, nothing is sent.
    const std::string hive = std::getenv("VESPER_REGISTRY");
    const std::string folderHive = test::makeFolder("hive-folder");
    setenv("VESPER_REGISTRY", folderHive.c_str(), 1);
    r = run(kLink);
    setenv("VESPER_REGISTRY", hive.c_str(), 1);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("guidelink: The settings file (registry hive)\n  " + folderHive + "\nis a folder"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(received.empty());
}

TEST_F(GuidelinkHandover, StartsTheProgramFromAppPathAndWaitsForIt) {
    const std::string folder = test::makeFolder("installed");
    const std::string marker = joinPath(folder, "started");
    const std::string stub = test::writeFile(joinPath(folder, "vesper"), "#!/bin/sh\ntouch '" + marker + "'\n");
    std::filesystem::permissions(stub, std::filesystem::perms::owner_all);
    RegSaveSetting2(settings::AppPath, folder);
    RegSaveSetting2(settings::bAppLoadComplete, "True"); // left by a crash: nobody answers
    bool up = false;
    Outcome r = run(kLink, [&] {
        // The "program" comes up once it has been started.
        if (!up && std::filesystem::exists(marker)) up = server.listen();
    });
    EXPECT_TRUE(up);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(received, std::vector<std::string>{kDocument});
}

TEST_F(GuidelinkHandover, ProgramThatCannotBeStarted) {
    RegSaveSetting2(settings::AppPath, test::makeFolder("nothing-here"));
    Outcome r = run(kLink);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("Application could not be started!"), std::string::npos) << r.err;
    EXPECT_NE(r.uiLog.find("\"title\":\"Notice\""), std::string::npos) << r.uiLog;
    EXPECT_NE(r.uiLog.find("\"icon\":\"critical\""), std::string::npos) << r.uiLog;
    EXPECT_TRUE(received.empty());
}

} // namespace
