// One real recording: the built-in virtual card through "Capgraph.Command"
// and "Encwrap.clsCommand", an event held by a "Slotbook.EventsObj" schedule
// whose window has begun, recorded by the main window's own timers. The clock
// runs at the real pace on a fixed day; the file is judged by what it holds.
#include "app/core/tests/test_engine_support.h"
#include "app/forms/frm_vesper.h"
#include "app/forms/tests/recorded_file.h"
#include "platform/testing/qt_application.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>

#include <filesystem>

namespace vesper::test {
namespace {

TEST(RealRecording, EventAlreadyBegunIsRecordedFromTheVirtualCard) {
    vesper::test::application();
    for (const char* path : {SLOTBOOK_PATH, CAPGRAPH_PATH, ENGINE_PATH, ENCWRAP_PATH})
        ASSERT_TRUE(registerComponent(path)) << path;
    setWaitHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
    RecordingUiSeam seam;
    setUiSeam(&seam);
    RegSaveSetting2(settings::bLogStatus, "True");

    Program program;
    ObjectPtr scheduler = CreateObject("Slotbook.EventsObj");
    scheduler->call("Initialize");
    const DateTime start = makeDate(2030, 4, 20, 20, 0, 0);
    addEvent(*scheduler, start, 5, 1, "once", "Real.wmv");

    const std::string folder = makeFolder("real");
    {
        frmVesper window(program, scheduler, frmVesperOptions{true, true});
        window.core().engine().m_bHoldSchedule = true;
        window.txtOutputDir->setText(QString::fromStdString(folder));
        window.optAttachTvWindow->setChecked(true);
        window.show();
        ASSERT_TRUE(window.core().tuner().InitTunerFromForm());
        window.cmdPreview->click();
        window.SetNextEvent();
        // The one-minute event began 50 seconds ago.
        FixedDayClock clock(start + 50.0 / 86400.0);
        window.core().engine().m_bHoldSchedule = false;

        ASSERT_TRUE(vesper::test::runEventsUntil([&] { return window.core().recording(); }, 30000));
        EXPECT_EQ(window.lblReady->text(), "Recording ...");
        // The preview goes on in the pane while recording: the pane shows a
        // picture, not the black frame beneath it.
        EXPECT_TRUE(program.g_bPreview);
        QImage shot;
        const auto picture = [&] {
            shot = window.grab().toImage();
            QSet<QRgb> colours;
            for (int y = 90; y < 220; y += 4)
                for (int x = 335; x < 520; x += 4)
                    colours.insert(shot.pixel(x, y));
            return colours.size() > 8;
        };
        EXPECT_TRUE(vesper::test::runEventsUntil(picture, 30000));
        if (const char* dir = std::getenv("VESPER_SCREENSHOT_DIR"))
            shot.save(QString::fromUtf8(dir) + "/frmVesper-recording.png");
        ASSERT_TRUE(vesper::test::runEventsUntil([&] { return !window.core().recording(); }, 60000));
        // It ran until the event's end by the program's clock.
        EXPECT_GE(toSeconds(now()), toSeconds(start) + 60);
        EXPECT_EQ(window.lblReady->text(), "Ready ...");
        EXPECT_EQ(eventCount(*scheduler), 0);
        window.releaseComponents();
    }
    EXPECT_GT(expectCompleteRecording(joinPath(folder, "Real.wmv")), 0);
    const auto lines = logLinesWith({"LS0061", "LS0101", "LS0062", "LS0060", "LS0049", "LS0050"});
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "LS0061:INFO:F00:Tmr1() BeforeEncStr", "LS0101:INFO:F00:Tmr1() e = 0",
                         "LS0062:INFO:F00:Tmr1() AfterEncStr", "LS0060:INFO:F00:Tmr1() BeforeEncStp",
                         "LS0049:INFO:F00:Tmr1() AfterEncStp", "LS0050:INFO:F00:Tmr1() AfterSetNxtEvnt"}));
    setUiSeam(nullptr);
    setWaitHook({});
}

} // namespace
} // namespace vesper::test
