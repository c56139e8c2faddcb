// Record Now for real: the main window's own timers, the virtual card through
// "Capgraph.Command" and "Encwrap.clsCommand", a "Slotbook.EventsObj"
// schedule; the recording cancelled once it has written pictures, and the file
// judged by what it holds. The clock runs at the real pace on a fixed day.
#include "app/core/tests/test_engine_support.h"
#include "app/forms/frm_vesper.h"
#include "app/forms/tests/recorded_file.h"
#include "platform/testing/qt_application.h"

#include "app/core/encoder_profiles.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

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

// "H.264 Medium" picked in the real profile dialog: Record Now writes an MP4
// file of H.264 and AAC, its name following the profile, and the log says
// which video encoder made it.
TEST(RecordNow, AnH264ProfileChosenThroughAdvanceRecordsMp4) {
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
    program.profileList = GetEncoderProfileList(program);
    ObjectPtr scheduler = CreateObject("Slotbook.EventsObj");
    scheduler->call("Initialize");
    const std::string folder = makeFolder("record-now-h264");
    const std::string file = joinPath(folder, "RecordNow-300420-2000.mp4");
    {
        frmVesper window(program, scheduler, frmVesperOptions{true, true});
        window.core().engine().m_bHoldSchedule = true;
        window.txtOutputDir->setText(QString::fromStdString(folder));
        window.show();
        ASSERT_TRUE(window.core().tuner().InitTunerFromForm());
        window.SetNextEvent();
        EXPECT_EQ(window.lblOutput->text(), "Windows Media Video");

        // The dialog shows for real; its user picks the profile and selects.
        seam.showModals = true;
        QTimer::singleShot(0, [] {
            auto* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            auto* list = dialog->findChild<QListWidget*>("lstProfiles");
            const auto found = list->findItems("H.264 Medium", Qt::MatchExactly);
            ASSERT_EQ(found.size(), 1);
            list->setCurrentItem(found[0]);
            dialog->findChild<QPushButton*>("cmdSelect")->click();
        });
        window.cmdAdvance->click();
        seam.showModals = false;
        EXPECT_EQ(window.cmbEncodingProfileName->currentText(), "Advance ...");
        EXPECT_EQ(window.lblProfileName->text(), "H.264 Medium");
        EXPECT_EQ(window.lblOutput->text(), "H.264 MP4 Video");
        window.core().engine().m_bHoldSchedule = false;

        FixedDayClock clock(makeDate(2030, 4, 20, 20, 0, 0));
        seam.modalAnswers = {"OK"};
        window.cmdRecordNow->click();
        ASSERT_EQ(eventCount(*scheduler), 1);
        EXPECT_EQ(window.lblOutput->toolTip(), "  RecordNow-300420-2000.mp4  ");
        ASSERT_TRUE(vesper::test::runEventsUntil([&] { return window.core().recording(); }, 30000));
        std::error_code ec;
        ASSERT_TRUE(vesper::test::runEventsUntil(
            [&] { return std::filesystem::file_size(file, ec) > 64 * 1024 && !ec; }, 60000));
        seam.answers = {vbYes};
        window.cmdCancelRecording->click();
        ASSERT_TRUE(vesper::test::runEventsUntil([&] { return !window.core().recording(); }, 30000));
        window.releaseComponents();
    }
    EXPECT_FALSE(std::filesystem::exists(joinPath(folder, "RecordNow-300420-2000.wmv")));
    const ProbeResult info = probe(file);
    EXPECT_NE(info.format.find("mp4"), std::string::npos) << info.raw;
    EXPECT_EQ(info.videoCodec, "h264");
    EXPECT_EQ(info.audioCodec, "aac");
    EXPECT_EQ(info.width, 320);
    EXPECT_EQ(info.height, 240);
    EXPECT_GT(expectCompleteRecording(file), 0);
    const auto encoder = logLinesWith({"LS0163"});
    ASSERT_EQ(encoder.size(), 1u);
    EXPECT_GT(encoder[0].size(), std::string("LS0163:INFO:F00:Tmr1() video encoder: ").size()) << encoder[0];
    setUiSeam(nullptr);
    setWaitHook({});
}

} // namespace
} // namespace vesper::test
