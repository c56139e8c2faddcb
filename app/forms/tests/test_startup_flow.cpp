// The start-up and shut-down driven in this process on the test clock: exit
// requests while the next event is being set, the close rules while
// recording, the guide pane as the start-up lays it out, and where every
// control of the window stands.
#include "app/core/settings_store.h"
#include "app/forms/frm_vesper.h"
#include "app/forms/startup.h"
#include "platform/ui/qt_ui_seam.h"

#include "platform/clock.h"
#include "platform/dates.h"
#include "platform/registry.h"
#include "platform/testing/qt_application.h"
#include "platform/testing/test_env.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <filesystem>

using namespace vesper;

namespace {

class StartupFlow : public ::testing::Test {
protected:
    void SetUp() override {
        vesper::test::application();
        registry::deleteKey(settings::kRoot);
        for (const char* lib : {SLOTBOOK_PATH, CAPGRAPH_PATH, ENGINE_PATH, ENCWRAP_PATH})
            ASSERT_TRUE(test::registerComponent(lib)) << lib;
        std::filesystem::remove(schedulePath());
        setUiSeam(&seam);
        setClock(&clock);
        clock.set(makeDate(2004, 4, 20, 19, 0, 0));
        setWaitHook([this] {
            QCoreApplication::processEvents();
            if (duringWait) duringWait();
        });
    }
    void TearDown() override {
        startup.reset();
        setWaitHook({});
        setClock(nullptr);
        setUiSeam(nullptr);
    }
    static std::string schedulePath() { return test::testFolder() + "/Schedule.txt"; }
    // One "once" event at 20:00 for 30 minutes.
    void writeSchedule() {
        test::writeFile(schedulePath(),
                        "VER1.0\r\n" + generalDate(makeDate(2004, 4, 20, 20, 0, 0)) + ",5,30,True,once,News.wmv\r\n");
    }
    frmVesper& load() {
        startup = std::make_unique<VesperStartup>(program);
        EXPECT_TRUE(startup->FormLoad());
        // The tests decide when the clock is looked at.
        startup->window()->Timer1->stop();
        return *startup->window();
    }
    bool unloadedSoon() {
        return QTest::qWaitFor([&] { return program.g_bAppUnloading; }, 10000);
    }
    bool eventInSavedSchedule() { return test::readFile(schedulePath()).find("News.wmv") != std::string::npos; }

    Program program;
    std::unique_ptr<VesperStartup> startup;
    RecordingUiSeam seam;
    TestClock clock;
    std::function<void()> duringWait;
};

} // namespace

TEST_F(StartupFlow, AnExitConfirmedWhileTheNextEventIsSetUnloadsAfterwards) {
    writeSchedule();
    frmVesper& w = load();
    seam.answers = {vbYes};
    bool asked = false;
    duringWait = [&] {
        if (asked || !w.core().settingNextEvent()) return;
        asked = true;
        w.cmdExit->click();
        // Parked: the window is still there.
        EXPECT_TRUE(w.core().m_bExitPending);
        EXPECT_FALSE(program.g_bAppUnloading);
    };
    w.SetNextEvent();
    duringWait = nullptr;
    ASSERT_TRUE(asked);
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_EQ(seam.messages[0].prompt, "Are you sure you want to EXIT?  ");
    EXPECT_EQ(seam.messages[0].title, "Confirm!");
    // Timer2 carries it out, and the unloading saves.
    ASSERT_TRUE(unloadedSoon());
    EXPECT_FALSE(w.core().m_bExitPending);
    EXPECT_EQ(RegGetSetting2(settings::CurrentVersion), "1.1.214h");
    EXPECT_TRUE(eventInSavedSchedule());
}

TEST_F(StartupFlow, AClosePutOffDuringTheNextEventNeverCancelsTheRecording) {
    writeSchedule();
    frmVesper& w = load();
    w.core().engine().m_bRecording = true;
    bool asked = false;
    duringWait = [&] {
        if (asked || !w.core().settingNextEvent()) return;
        asked = true;
        startup->requestClose(); // as SIGTERM does
        EXPECT_TRUE(w.core().m_bExitPending);
    };
    w.SetNextEvent();
    duringWait = nullptr;
    ASSERT_TRUE(asked);
    ASSERT_TRUE(unloadedSoon());
    // The deferred exit is the program's own unloading: the event stays.
    EXPECT_TRUE(eventInSavedSchedule());
}

TEST_F(StartupFlow, ClosingFromOutsideWhileRecordingCancelsTheEvent) {
    writeSchedule();
    frmVesper& w = load();
    w.core().engine().m_bRecording = true;
    // The exit button refuses while recording.
    w.cmdExit->click();
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_EQ(seam.messages[0].prompt, "You must cancel current recording first before exiting");
    EXPECT_FALSE(program.g_bAppUnloading);
    startup->requestClose();
    EXPECT_TRUE(program.g_bAppUnloading);
    EXPECT_FALSE(eventInSavedSchedule());
    EXPECT_TRUE(std::filesystem::exists(schedulePath()));
}

TEST_F(StartupFlow, TheGuidePaneFollowsItsSettings) {
    RegSaveSetting2(settings::sPaneState, "close");
    RegSaveSetting2(std::string(settings::key::EPGCustom) + "2", "sCaption", "My Guide");
    RegSaveSetting2(std::string(settings::key::EPGCustom) + "2", "sToolTipText", " Mine ");
    frmVesper& w = load();
    EXPECT_EQ(w.lblCustom[0]->text().toStdString(), "TV Guide\u00ae");
    EXPECT_EQ(w.lblCustom[1]->text().toStdString(), "Yahoo! TV");
    EXPECT_EQ(w.lblCustom[2]->text().toStdString(), "My Guide");
    EXPECT_EQ(w.lblCustom[2]->toolTip().toStdString(), " Mine ");
    EXPECT_EQ(w.lblCustom[3]->toolTip().toStdString(), " Click to goto the site ");
    EXPECT_TRUE(w.fraElectronicProgrammingGuide->isHidden());
    EXPECT_EQ(w.cmdEpgPane->toolTip().toStdString(), "Click to open EPG pane");
    const int closedGrid = w.MSFlexGrid1->width();
    w.cmdEpgPane->click();
    EXPECT_FALSE(w.fraElectronicProgrammingGuide->isHidden());
    EXPECT_EQ(w.cmdEpgPane->toolTip().toStdString(), "Click to close EPG pane");
    EXPECT_LT(w.MSFlexGrid1->width(), closedGrid);
    // No exit warning: the exit button unloads at once and stores the state.
    w.chkAppExitWarning->setChecked(false);
    w.cmdExit->click();
    EXPECT_TRUE(program.g_bAppUnloading);
    EXPECT_TRUE(seam.messages.empty());
    EXPECT_EQ(RegGetSetting2(settings::sPaneState), "open");
}

TEST_F(StartupFlow, EveryVisibleControlLiesInsideItsParent) {
    writeSchedule();
    RegSaveSetting2(settings::sPaneState, "close");
    frmVesper& w = load();
    ASSERT_FALSE(w.minimumSize().isEmpty());
    w.resize(w.minimumSize());
    w.show();
    std::vector<std::string> outside;
    auto walk = [&](const std::string& state) {
        for (int tab = 0; tab < w.SSTab1->count(); ++tab) {
            w.SSTab1->setCurrentIndex(tab);
            QCoreApplication::processEvents();
            for (QWidget* c : w.findChildren<QWidget*>()) {
                const QString name = c->objectName();
                if (!c->isVisible() || name.isEmpty() || name.startsWith("qt_")) continue;
                const QRect r = c->geometry();
                if (!c->parentWidget()->rect().contains(r))
                    outside.push_back(state + ", tab " + std::to_string(tab) + ": " + name.toStdString() + " at " +
                                      std::to_string(r.x()) + "," + std::to_string(r.y()) + " " +
                                      std::to_string(r.width()) + "x" + std::to_string(r.height()) + " in " +
                                      std::to_string(c->parentWidget()->width()) + "x" +
                                      std::to_string(c->parentWidget()->height()));
            }
        }
    };
    auto bothPaneStates = [&](const std::string& state) {
        for (int i = 0; i < 2; ++i) {
            walk(state + (w.fraElectronicProgrammingGuide->isHidden() ? ", pane closed" : ", pane open"));
            w.cmdEpgPane->click();
        }
    };
    bothPaneStates("idle");
    w.cmdPreview->click();
    bothPaneStates("idle, live TV");
    w.optAttachTvWindow->setChecked(true);
    clock.set(makeDate(2004, 4, 20, 20, 0, 1));
    w.core().engine().Timer1Tick();
    w.render();
    ASSERT_TRUE(w.core().recording());
    bothPaneStates("recording");
    w.cmdCancelRecording->click();
    EXPECT_TRUE(outside.empty()) << ::testing::PrintToString(outside);
}

TEST_F(StartupFlow, TheTvWindowSizeChoiceIsKeptWhenClicked) {
    frmVesper& w = load();
    ASSERT_TRUE(w.chkTVSizePosition->isChecked());
    w.chkTVSizePosition->click();
    EXPECT_EQ(RegGetSetting2(settings::chkTVSizePosition), "0");
    w.chkTVSizePosition->click();
    EXPECT_EQ(RegGetSetting2(settings::chkTVSizePosition), "1");
}

// The exit question answered Yes after a recording began meanwhile: that
// recording was not what the user agreed to end.
TEST_F(StartupFlow, AnExitAnsweredAfterARecordingBeganIsRefused) {
    writeSchedule();
    frmVesper& w = load();
    struct AskingSeam : RecordingUiSeam {
        std::function<void()> inside;
        MsgBoxResult message(const MessageRequest& r) override {
            if (inside) std::exchange(inside, nullptr)();
            return RecordingUiSeam::message(r);
        }
    } asking;
    setUiSeam(&asking);
    asking.answers = {vbYes};
    asking.inside = [&] {
        clock.set(makeDate(2004, 4, 20, 20, 0, 1));
        w.core().engine().Timer1Tick();
    };
    w.cmdExit->click();
    EXPECT_TRUE(w.core().recording());
    ASSERT_EQ(asking.messages.size(), 2u);
    EXPECT_EQ(asking.messages[1].prompt, "You must cancel current recording first before exiting");
    EXPECT_FALSE(program.g_bAppUnloading);
    setUiSeam(&seam);
}

// A close while the stop sequence waits for the index is carried out after
// it: the recording is stopped once.
TEST_F(StartupFlow, ACloseDuringTheIndexWaitWaitsForIt) {
    writeSchedule();
    RegSaveSetting2(settings::bLogStatus, "True");
    frmVesper& w = load();
    clock.set(makeDate(2004, 4, 20, 20, 0, 1));
    w.core().engine().Timer1Tick();
    ASSERT_TRUE(w.core().recording());
    bool asked = false;
    duringWait = [&] {
        if (asked || w.core().engine().display.lblReady != "Indexing ...") return;
        asked = true;
        startup->requestClose();
        EXPECT_FALSE(program.g_bAppUnloading);
    };
    clock.set(makeDate(2004, 4, 20, 20, 30, 0));
    w.core().engine().Timer1Tick();
    duringWait = nullptr;
    ASSERT_TRUE(asked);
    ASSERT_TRUE(unloadedSoon());
    const std::string log = test::readFile(test::testFolder() + "/LogStatus.txt");
    size_t stops = 0;
    for (size_t at = log.find("LS0071:"); at != std::string::npos; at = log.find("LS0071:", at + 1))
        ++stops;
    EXPECT_EQ(stops, 1u);
}

// A termination request while a box waits for its answer closes the box,
// then the program unloads as usual.
TEST_F(StartupFlow, ATerminationRequestClosesAnOpenBoxAndUnloads) {
    frmVesper& w = load();
    ScriptedUiSeam away(test::testFolder() + "/ui.jsonl", "Hold");
    setUiSeam(&away);
    QTimer::singleShot(50, [&] { startup->requestClose(); });
    w.cmdExit->click(); // the exit question, left open
    EXPECT_TRUE(unloadedSoon());
    EXPECT_EQ(RegGetSetting2(settings::CurrentVersion), "1.1.214h");
    setUiSeam(&seam);
}

// Every way out ends the program through the core's one way out, once, with
// its reason, and saves what the program saves.
TEST_F(StartupFlow, EveryWayOutEndsTheProgramOnceWithItsReason) {
    const std::vector<std::pair<EndReason, std::function<void(VesperStartup&, frmVesper&)>>> ways = {
        {EndReason::Exit, [](VesperStartup&, frmVesper& w) { w.cmdExit->click(); }},
        // The window closed by the window system (a close box the
        // offscreen platform cannot click) goes the same way.
        {EndReason::Exit, [](VesperStartup&, frmVesper& w) { w.windowHandle()->close(); }},
        {EndReason::Signal, [](VesperStartup& s, frmVesper&) { s.requestClose(EndReason::Signal); }},
        {EndReason::Logout, [](VesperStartup& s, frmVesper&) { s.requestClose(EndReason::Logout); }},
    };
    RegSaveSetting2(settings::chkAppExitWarning, "0"); // the exit button asks nothing
    for (const auto& [reason, leave] : ways) {
        SCOPED_TRACE(endReasonText(reason));
        program.g_bAppUnloading = false;
        writeSchedule();
        frmVesper& w = load();
        w.show();
        RegSaveSetting2(settings::CurrentVersion, "");
        leave(*startup, w);
        ASSERT_TRUE(unloadedSoon());
        EXPECT_TRUE(w.core().ended());
        EXPECT_EQ(w.core().endReason(), reason);
        EXPECT_EQ(RegGetSetting2(settings::CurrentVersion), kVersionText); // the settings were saved
        EXPECT_FALSE(w.Timer1->isActive() || w.Timer2->isActive());
        startup->endProgram(EndReason::Exit); // once: a second end changes nothing
        EXPECT_EQ(w.core().endReason(), reason);
        startup.reset();
    }
}
