// One real recording: the built-in virtual card through "Capgraph.Command"
// and "Encwrap.clsCommand", an event held by a "Slotbook.EventsObj" schedule
// whose window has begun, recorded by the main window's own timers. The real
// clock runs here; the file is judged from the outside with ffprobe.
#include "app/recording/frm_vesper.h"
#include "app/recording/tests/test_engine_support.h"
#include "platform/testing/qt_application.h"

#include <QApplication>
#include <QElapsedTimer>
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
    // A one-minute event whose window began 45 seconds ago.
    const DateTime start = fromSeconds(toSeconds(now()) - 45);
    addEvent(*scheduler, start, 5, 1, "once", "Real.wmv");

    const std::string folder = makeFolder("real");
    {
        frmVesper window(program, scheduler, frmVesperOptions{true, true});
        window.setHoldSchedule(true);
        window.txtOutputDir->setText(QString::fromStdString(folder));
        window.optAttachTvWindow->setChecked(true);
        window.show();
        ASSERT_TRUE(window.tuner().InitTunerFromForm());
        window.cmdPreview->click();
        window.SetNextEvent();
        window.setHoldSchedule(false);
        const double remaining = double(toSeconds(start) + 60 - toSeconds(now()));
        ASSERT_GT(remaining, 4);

        ASSERT_TRUE(vesper::test::runEventsUntil([&] { return window.recording(); }, 10000));
        EXPECT_EQ(window.lblReady->text(), "Recording ...");
        // The preview goes on in the pane while recording: the pane shows a
        // picture, not the black frame beneath it.
        EXPECT_TRUE(program.g_bPreview);
        vesper::test::runEventsUntil([] { return false; }, 1500);
        const QImage shot = window.grab().toImage();
        QSet<QRgb> colours;
        for (int y = 90; y < 220; y += 4)
            for (int x = 335; x < 520; x += 4)
                colours.insert(shot.pixel(x, y));
        EXPECT_GT(colours.size(), 8);
        if (const char* dir = std::getenv("VESPER_SCREENSHOT_DIR"))
            shot.save(QString::fromUtf8(dir) + "/frmVesper-recording.png");
        ASSERT_TRUE(vesper::test::runEventsUntil([&] { return !window.recording(); }, 30000));
        EXPECT_EQ(window.lblReady->text(), "Ready ...");
        EXPECT_EQ(eventCount(*scheduler), 0);
        window.releaseComponents();

        const std::string file = joinPath(folder, "Real.wmv");
        ASSERT_TRUE(std::filesystem::exists(file));
        std::string out;
        ASSERT_EQ(runCommand("ffprobe -v error -show_entries format=duration:stream=codec_type -of default=nw=1 '" +
                                 file + "'",
                             &out),
                  0)
            << out;
        EXPECT_NE(out.find("codec_type=video"), std::string::npos) << out;
        EXPECT_NE(out.find("codec_type=audio"), std::string::npos) << out;
        const auto at = out.find("duration=");
        ASSERT_NE(at, std::string::npos) << out;
        const double duration = std::stod(out.substr(at + 9));
        EXPECT_GE(duration, remaining - 3.5) << out;
        EXPECT_LE(duration, remaining + 1) << out;
    }
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
