// Record Now for real: the main window's own timers, the virtual card through
// "Capgraph.Command" and "Encwrap.clsCommand", a "Slotbook.EventsObj"
// schedule; the recording cancelled once it has written pictures, and the file
// judged by what it holds. The clock runs at the real pace on a fixed day.
#include "app/core/tests/test_engine_support.h"
#include "app/forms/frm_vesper.h"
#include "app/forms/tests/recorded_file.h"
#include "platform/testing/qt_application.h"

#include <QApplication>
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
    std::uintmax_t writtenBeforeCancel = 0;
    {
        frmVesper window(program, scheduler, frmVesperOptions{true, true});
        window.core().engine().m_bHoldSchedule = true;
        window.txtOutputDir->setText(QString::fromStdString(folder));
        window.show();
        ASSERT_TRUE(window.core().tuner().InitTunerFromForm());
        window.SetNextEvent();
        window.core().engine().m_bHoldSchedule = false;

        FixedDayClock clock(makeDate(2030, 4, 20, 20, 0, 0));
        seam.modalAnswers = {"OK"};
        window.cmdRecordNow->click();
        ASSERT_EQ(seam.modals.size(), 1u);
        EXPECT_EQ(seam.modals[0].caption, "Add Event [Record Now!]");
        EXPECT_EQ(window.SSTab1->currentIndex(), 1);
        EXPECT_TRUE(seam.messages.empty());
        ASSERT_EQ(eventCount(*scheduler), 1);
        EXPECT_EQ(program.currentEvent.filename, "RecordNow-300420-2000");
        file = joinPath(folder, program.currentEvent.filename + ".wmv");

        ASSERT_TRUE(vesper::test::runEventsUntil([&] { return window.core().recording(); }, 30000));
        EXPECT_EQ(window.lblReady->text(), "Recording ...");
        EXPECT_EQ(window.lblChannel->text(), "2");
        EXPECT_TRUE(window.cmdCancelRecording->isEnabled());
        EXPECT_FALSE(window.cmdRecordNow->isEnabled());
        // Cancelled once some pictures are in the file.
        std::error_code ec;
        ASSERT_TRUE(vesper::test::runEventsUntil(
            [&] { return (writtenBeforeCancel = std::filesystem::file_size(file, ec)) > 64 * 1024 && !ec; }, 60000));

        seam.answers = {vbYes};
        window.cmdCancelRecording->click();
        ASSERT_EQ(seam.messages.size(), 1u);
        EXPECT_EQ(seam.messages[0].prompt,
                  "Are you sure you want to CANCEL current recording?\r\n\r\nYou cannot resume!");
        EXPECT_EQ(seam.messages[0].title, "Confirm!");
        EXPECT_EQ(seam.messages[0].style, vbYesNo | vbQuestion | vbDefaultButton2);
        ASSERT_TRUE(vesper::test::runEventsUntil([&] { return !window.core().recording(); }, 30000));
        EXPECT_EQ(window.lblReady->text(), "Ready ...");
        EXPECT_EQ(window.lblWhen->text(), "Empty");
        EXPECT_EQ(eventCount(*scheduler), 0);
        EXPECT_TRUE(window.cmdRecordNow->isEnabled());
        window.releaseComponents();
    }

    // The part recorded before the cancel stays on disk, completed.
    EXPECT_GE(std::filesystem::file_size(file), writtenBeforeCancel);
    EXPECT_GT(expectCompleteRecording(file), 0);

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
