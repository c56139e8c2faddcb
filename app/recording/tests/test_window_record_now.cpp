// Record Now for real: the main window's own timers, the virtual card through
// "Capgraph.Command" and "Encwrap.clsCommand", a "Slotbook.EventsObj"
// schedule; the recording cancelled after a few seconds and the file judged
// from the outside with ffprobe. The real clock runs here.
#include "app/recording/frm_vesper.h"
#include "app/recording/tests/test_engine_support.h"
#include "platform/testing/qt_application.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <filesystem>

namespace vesper::test {
namespace {

TEST(RecordNow, ConfirmedItRecordsOnTheNextTickUntilCancelled) {
    vesper::test::application();
    for (const char* path : {SLOTBOOK_PATH, CAPGRAPH_PATH, ENGINE_PATH, ENCWRAP_PATH})
        ASSERT_TRUE(registerComponent(path)) << path;
    setWaitHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
    RecordingUiSeam seam;
    setUiSeam(&seam);
    RegSaveSetting2(settings::bLogStatus, "True");
    clearLog();

    std::filesystem::remove(joinPath(testFolder(), "Schedule.txt"));
    Program program;
    ObjectPtr scheduler = CreateObject("Slotbook.EventsObj");
    scheduler->call("Initialize");
    const std::string folder = makeFolder("record-now");
    std::string file;
    double recordedSeconds = 0;
    {
        frmVesper window(program, scheduler, frmVesperOptions{true, true});
        window.setHoldSchedule(true);
        window.txtOutputDir->setText(QString::fromStdString(folder));
        window.show();
        ASSERT_TRUE(window.tuner().InitTunerFromForm());
        window.SetNextEvent();
        window.setHoldSchedule(false);

        seam.modalAnswers = {"OK"};
        window.cmdRecordNow->click();
        ASSERT_EQ(seam.modals.size(), 1u);
        EXPECT_EQ(seam.modals[0].caption, "Add Event [Record Now!]");
        EXPECT_EQ(window.SSTab1->currentIndex(), 1);
        EXPECT_TRUE(seam.messages.empty());
        ASSERT_EQ(eventCount(*scheduler), 1);
        file = joinPath(folder, program.currentEvent.filename + ".wmv");
        EXPECT_EQ(program.currentEvent.filename.rfind("RecordNow-", 0), 0u);

        ASSERT_TRUE(vesper::test::runEventsUntil([&] { return window.recording(); }, 10000));
        QElapsedTimer recording;
        recording.start();
        EXPECT_EQ(window.lblReady->text(), "Recording ...");
        EXPECT_EQ(window.lblChannel->text(), "2");
        EXPECT_TRUE(window.cmdCancelRecording->isEnabled());
        EXPECT_FALSE(window.cmdRecordNow->isEnabled());
        vesper::test::runEventsUntil([] { return false; }, 3000);

        seam.answers = {vbYes};
        window.cmdCancelRecording->click();
        ASSERT_EQ(seam.messages.size(), 1u);
        EXPECT_EQ(seam.messages[0].prompt,
                  "Are you sure you want to CANCEL current recording?\r\n\r\nYou cannot resume!");
        EXPECT_EQ(seam.messages[0].title, "Confirm!");
        EXPECT_EQ(seam.messages[0].style, vbYesNo | vbQuestion | vbDefaultButton2);
        ASSERT_TRUE(vesper::test::runEventsUntil([&] { return !window.recording(); }, 30000));
        recordedSeconds = double(recording.elapsed()) / 1000.0;
        EXPECT_EQ(window.lblReady->text(), "Ready ...");
        EXPECT_EQ(window.lblWhen->text(), "Empty");
        EXPECT_EQ(eventCount(*scheduler), 0);
        EXPECT_TRUE(window.cmdRecordNow->isEnabled());
        window.releaseComponents();
    }

    ASSERT_TRUE(std::filesystem::exists(file)) << file;
    std::string out;
    ASSERT_EQ(
        runCommand("ffprobe -v error -show_entries format=duration:stream=codec_type -of default=nw=1 '" + file + "'",
                   &out),
        0)
        << out;
    EXPECT_NE(out.find("codec_type=video"), std::string::npos) << out;
    EXPECT_NE(out.find("codec_type=audio"), std::string::npos) << out;
    const auto at = out.find("duration=");
    ASSERT_NE(at, std::string::npos) << out;
    // The part recorded before the cancel stays on disk, and no more.
    const double duration = std::stod(out.substr(at + 9));
    EXPECT_GE(duration, 1.0) << out;
    EXPECT_LE(duration, recordedSeconds + 2) << out;

    const auto lines = logLinesWith({"LS0061", "LS0062", "LS0060", "LS0049", "LS0050"});
    EXPECT_EQ(lines,
              (std::vector<std::string>{"LS0061:INFO:F00:Tmr1() BeforeEncStr", "LS0062:INFO:F00:Tmr1() AfterEncStr",
                                        "LS0060:INFO:F00:Tmr1() BeforeEncStp", "LS0049:INFO:F00:Tmr1() AfterEncStp",
                                        "LS0050:INFO:F00:Tmr1() AfterSetNxtEvnt"}));
    setUiSeam(nullptr);
    setWaitHook({});
}

} // namespace
} // namespace vesper::test
