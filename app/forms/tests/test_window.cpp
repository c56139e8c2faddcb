// The main window offscreen, with the components handed in as factories by
// ProgID: its controls, its recording through the encoder and tuner clients,
// the channel entry, the output folder rules and live TV at recording start.
#include "app/core/settings_store.h"
#include "app/core/tests/test_engine_support.h"
#include "app/forms/frm_vesper.h"
#include "platform/testing/qt_application.h"

#include "platform/shell.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

namespace vesper::test {
namespace {

// A component double: answers "OK" (or nothing) to every member it knows,
// records each call with its text arguments, and fails the member named.
class Double : public DispatchObject {
public:
    Double(std::string source, std::vector<std::string> members, std::vector<std::string>& log, Variant answer)
        : DispatchObject(std::move(source)) {
        for (const auto& m : members)
            method(m, [this, m, &log, answer](Args& a) -> Variant {
                std::string line = m;
                for (const auto& v : a)
                    if (v.isString()) line += " " + v.toString();
                log.push_back(line);
                if (m == failing) fail(-2147221503, "failed on purpose");
                if (m == "IStart") return Variant(true);
                if (m == "IIndexerRunning") return Variant(false);
                return answer;
            });
    }
    std::string failing;
};

class Window : public EngineTest {
protected:
    void SetUp() override {
        vesper::test::application();
        EngineTest::SetUp();
        ASSERT_TRUE(registerComponent(ENGINE_PATH));
        setWaitHook([] { QCoreApplication::processEvents(); });
        setShell(&shellDouble);
        program.createObject = [this](const std::string& progId) -> ObjectPtr {
            if (progId == "Capgraph.Command") {
                if (captureMissing) return nullptr;
                if (!capture) {
                    capture = std::make_shared<Double>(
                        "Capgraph",
                        std::vector<std::string>{"Init", "Start", "Stop", "Release", "SetChannel", "SetCountryCode",
                                                 "SetInputType", "SetVideoStandard", "InitPreview", "SetPreview",
                                                 "SetVideoInput", "ResizePreview"},
                        captureCalls, Variant("OK"));
                }
                return capture;
            }
            if (progId == "Encwrap.clsCommand") {
                if (encoderMissing) return nullptr;
                ++encodersCreated;
                auto e = std::make_shared<Double>(
                    "Encwrap",
                    std::vector<std::string>{"ISetOutputFilename", "ISetVideoSource", "ISetAudioSource",
                                             "ISetProfileName", "IStart", "ISetAutoIndex", "IStop", "IIndexerRunning"},
                    encoderCalls, Variant());
                e->failing = encoderFailing;
                return e;
            }
            if (progId == "Chanplug.clsObject") return nullptr;
            return TryCreateObject(progId);
        };
        window = std::make_unique<frmVesper>(program, scheduler, frmVesperOptions{false, true});
        window->txtOutputDir->setText(QString::fromStdString(folder));
        // As start-up does: the tuner is up before anything else happens.
        ASSERT_TRUE(window->core().tuner().InitTunerFromForm());
        captureCalls.clear();
    }
    void TearDown() override {
        window.reset();
        setShell(nullptr);
        setWaitHook({});
        EngineTest::TearDown();
    }
    void windowTick(DateTime t) {
        clock.set(t);
        window->core().engine().Timer1Tick();
        window->render();
    }
    bool captureCalled(const std::string& line) const {
        return std::find(captureCalls.begin(), captureCalls.end(), line) != captureCalls.end();
    }
    void key(QWidget* w, int k) {
        QKeyEvent e(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }

    std::unique_ptr<frmVesper> window;
    std::shared_ptr<Double> capture;
    std::vector<std::string> captureCalls, encoderCalls;
    bool captureMissing = false, encoderMissing = false;
    std::string encoderFailing;
    int encodersCreated = 0;
    RecordingShell shellDouble;
};

const DateTime kEight = makeDate(2004, 4, 20, 20, 0, 0);
DateTime at(int h, int m, int s) { return makeDate(2004, 4, 20, h, m, s); }

template <typename W> W* find(QWidget* root, const char* name) {
    W* w = root->findChild<W*>(QString::fromUtf8(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

TEST_F(Window, ControlsCarryTheirNamesCaptionsAndToolTips) {
    frmVesper& w = *window;
    EXPECT_EQ(w.objectName(), "frmVesper");
    EXPECT_EQ(w.windowTitle(), "Vesper Home - Digital Video Recorder");
    EXPECT_EQ(find<QTimer>(&w, "Timer1")->interval(), 1000);
    EXPECT_EQ(find<QTimer>(&w, "Timer2")->interval(), 250);
    auto* hidden = find<QLineEdit>(&w, "txtHiddenTextBox80916654");
    EXPECT_EQ(hidden->text(), "{80916654-B856-494e-A0B1-C4BCC8B0492A}");
    EXPECT_TRUE(hidden->isHidden());

    auto* tabs = find<QTabWidget>(&w, "SSTab1");
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(0), "  &Recording Summary  ");
    EXPECT_EQ(tabs->tabText(1), "        &Schedule        ");
    EXPECT_EQ(tabs->tabText(2), "  &Tuner/Encoder   ");
    EXPECT_EQ(tabs->tabText(3), "          &Options          ");

    struct Row {
        const char* name;
        const char* caption; // nullptr: not checked
        const char* tip;     // nullptr: not checked
        int tab;             // -1: window level
    };
    const Row rows[] = {
        {"cmdExit", "E&xit", nullptr, -1},
        {"lblReady", "Ready ...", nullptr, -1},
        {"lblNowToday", " Today is:", nullptr, -1},
        {"picInfo", nullptr, " Click here for more info ", -1},
        {"picDonate", nullptr, " Go to Donate Site ", -1},
        {"picHelp", nullptr, " F1 = Help! ", -1},
        {"picAbout", nullptr, " About Vesper Home ", -1},
        {"picDigitalVCR", nullptr, " Double Click for Homepage ", -1},
        {"lblFrontMessage", nullptr, " Double Click for Homepage ", -1},
        {"lblVersion", nullptr, nullptr, -1},
        {"fraNextEvent", nullptr, nullptr, 0},
        {"lblStation", nullptr, nullptr, 0},
        {"lblChannel", nullptr, nullptr, 0},
        {"lblDay", nullptr, nullptr, 0},
        {"lblStart", nullptr, nullptr, 0},
        {"lblStop", nullptr, nullptr, 0},
        {"lblLength", nullptr, nullptr, 0},
        {"lblOutput", nullptr, nullptr, 0},
        {"lblDir", nullptr, nullptr, 0},
        {"lblFreeDiskSpace", nullptr, " Stops Recording if under 250MB free space ", 0},
        {"picWebBrowser1", nullptr, nullptr, 0},
        {"WebBrowser1", nullptr, nullptr, 0},
        {"lblEventCount", nullptr, nullptr, 1},
        {"cmbEncodingProfileName", nullptr, nullptr, 2},
        {"lblProfileName", nullptr, nullptr, 2},
        {"txtOutputDir", nullptr, nullptr, 2},
        {"lblVideoInput", nullptr, nullptr, 3},
        {"lblExtChangeChnl", nullptr, nullptr, 3},
        {"lblNextRecording", "Next Recording Event", nullptr, 0},
        {"fraChannel", " Channel ", nullptr, 0},
        {"lblWhenLabel", "When:", nullptr, 0},
        {"lblWhen", "Empty", nullptr, 0},
        {"lblDayLabel", "Day:", nullptr, 0},
        {"lblStartLabel", "Start:", nullptr, 0},
        {"lblStopLabel", "Stop:", nullptr, 0},
        {"lblLengthLabel", "Length:", nullptr, 0},
        {"lblFilenameLabel", "Filename:", nullptr, 0},
        {"lblLocationLabel", "Location:", " DblClk to Open Folder  ", 0},
        {"lblSpaceLabel", "Space:", " Stops Recording if under 250MB free space ", 0},
        {"cmdRecordNow", "Record &Now!", nullptr, 0},
        {"cmdCancelRecording", "&Cancel", " Cancel Current Recording ", 0},
        {"cmdPreview", "TV On/Off", " Toggles TV Window ", 0},
        {"lblDetachTV", "Detach TV", " Detach or Attach TV Window ", 0},
        {"txtChannel", nullptr, " Channel ", 0},
        {"updnChannel", nullptr, " Change Channel ", 0},
        {"picPreview", nullptr, nullptr, 0},
        {"cmdRecordingSummaryColorScheme", nullptr, " Color Scheme ", 0},
        {"picWelcome", nullptr, " DblClk for the Welcome Notice - if you want to see it again :) ", 0},
        {"MSFlexGrid1", nullptr, "  Double click to edit an event  ", 1},
        {"Label2", "Events:", nullptr, 1},
        {"cmdAddEvent", "&Add", " Add a recording event(s) ", 1},
        {"cmdEditEvent", "&Edit", " Edit selected event ", 1},
        {"cmdCancelSelectedEvent", "Cance&L", " Cancel selected event ", 1},
        {"cmdDeleteEvent", "&Delete", " Delete selected event ", 1},
        {"cmdEpgPane", nullptr, "Click to close EPG pane", 1},
        {"fraElectronicProgrammingGuide", " EPG ", " Double Click to CLOSE EPG pane ", 1},
        {"cmdConfigureEPG", nullptr, " Click to configure EPG ", 1},
        {"Frame2", " Encoder ", nullptr, 2},
        {"Label7", "Quality:", nullptr, 2},
        {"cmdAdvance", "Ad&vance...", nullptr, 2},
        {"Label8", "Recorded file folder location:", nullptr, 2},
        {"cmdDirPick", "...", " Click to change folder location ", 2},
        {"cmdOpenFolder", "Open &Folder", " Alt-F ", 2},
        {"chkOverwriteFiles", "Overwrite duplicate files", nullptr, 2},
        {"lblFreeDiskSpace2", nullptr, " Stops Recording if under 250MB free space ", 2},
        {"Frame1", " Tuner ", nullptr, 2},
        {"Label4", "Video Source:", nullptr, 2},
        {"cmbVideoSource", nullptr, " Application re-start is required for any changes here. ", 2},
        {"Label6", "Audio Source:", nullptr, 2},
        {"cmbAudioSource", nullptr, " Application re-start is required for any changes here ", 2},
        {"optTuner", "Tuner", nullptr, 2},
        {"optComposite1", "Composite1", nullptr, 2},
        {"optSVideo", "S-Video", nullptr, 2},
        {"chkExtChangeChnl", "Use External Change Channel If Available", nullptr, 2},
        {"Frame3", " General ", nullptr, 3},
        {"Frame5", " Video Input Info ", nullptr, 3},
        {"lblVideoInput1", "Current Input:", nullptr, 3},
        {"chkAppExitWarning", "Application Exit Warning", nullptr, 3},
        {"Frame4", " TV Window ", nullptr, 3},
        {"optAttachTvWindow", "Attach when recording starts", nullptr, 3},
        {"optTunOffTvWindow", "Turn Off when recording starts", nullptr, 3},
        {"chkTVSizePosition", "Remember Size and Position", nullptr, 3},
        {"cmdTechSupport", "Tech Support Helper", nullptr, 3},
    };
    for (const Row& r : rows) {
        QWidget* c = find<QWidget>(&w, r.name);
        if (!c) continue;
        if (r.caption) {
            QString text;
            if (auto* l = qobject_cast<QLabel*>(c)) text = l->text();
            if (auto* b = qobject_cast<QAbstractButton*>(c)) text = b->text();
            if (auto* g = qobject_cast<QGroupBox*>(c)) text = g->title();
            EXPECT_EQ(text.toStdString(), r.caption) << r.name;
        }
        if (r.tip) {
            EXPECT_EQ(c->toolTip().toStdString(), r.tip) << r.name;
        }
        if (r.tab >= 0) {
            EXPECT_TRUE(tabs->widget(r.tab)->isAncestorOf(c)) << r.name;
        } else {
            EXPECT_FALSE(tabs->isAncestorOf(c)) << r.name;
        }
    }
    const auto customs = w.findChildren<QLabel*>("lblCustom");
    ASSERT_EQ(customs.size(), 4);
    for (QLabel* custom : customs) {
        EXPECT_TRUE(find<QWidget>(&w, "fraElectronicProgrammingGuide")->isAncestorOf(custom));
        EXPECT_EQ(custom->text(), QString("Custom%1").arg(custom->property("Index").toInt()));
    }
    // The explanation inside the TV window frame.
    const auto notes = find<QWidget>(&w, "Frame4")->findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(notes.begin(), notes.end(), [](QLabel* l) {
        return l->text() == " To optimize recording quality, TV window will be attached when recording starts ";
    }));
    EXPECT_EQ(w.updnChannel->minimum(), 2);
    EXPECT_EQ(w.updnChannel->maximum(), 181);
    if (const char* dir = std::getenv("VESPER_SCREENSHOT_DIR")) {
        addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
        addEvent(*scheduler, at(21, 0, 0), 7, 90, "weekly", "Movie.wmv");
        w.SetNextEvent();
        for (int i = 0; i < 4; ++i) {
            tabs->setCurrentIndex(i);
            w.grab().save(QString::fromUtf8(dir) + QString("/frmVesper-tab%1.png").arg(i));
        }
        tabs->setCurrentIndex(0);
    }
    const QStringList items{"Low", "Medium", "High", "Advance ..."};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(w.cmbEncodingProfileName->itemText(i), items[i]);
}

TEST_F(Window, BuiltForTestsItListsTheDevicesAndAppliesTheProfile) {
    EXPECT_GT(window->cmbVideoSource->count(), 0);
    EXPECT_GT(window->cmbAudioSource->count(), 0);
    EXPECT_EQ(window->cmbEncodingProfileName->currentText(), "Medium");
    EXPECT_EQ(window->lblProfileName->text(), "Video for broadband NTSC (384 Kbps)");
    window->cmbEncodingProfileName->setCurrentIndex(2);
    window->ApplyProfileChoice();
    EXPECT_EQ(window->core().profileName(), "Video for broadband NTSC (768 Kbps)");
    program.g_sAdvanceProfile = "A profile name that is longer than forty characters";
    window->cmbEncodingProfileName->setCurrentIndex(3);
    window->ApplyProfileChoice();
    EXPECT_EQ(window->lblProfileName->text(), "A profile name that is longer than forty ...");
    EXPECT_EQ(window->lblProfileName->toolTip(), "A profile name that is longer than forty characters");
}

TEST_F(Window, AdvanceChoosesAProfileFromTheList) {
    program.profileList = {"Video for broadband NTSC (256 Kbps)", "Windows Media Video 8 for Local Area Network"};
    program.g_sAdvanceProfile = "Windows Media Video 8 for Local Area Network";
    seam.modalAnswers = {"Cancel"};
    window->cmdAdvanceClick();
    EXPECT_EQ(window->SSTab1->currentIndex(), 2);
    EXPECT_EQ(window->cmbEncodingProfileName->currentText(), "Medium");
    seam.modalAnswers = {"OK"};
    window->cmdAdvanceClick();
    ASSERT_EQ(seam.modals.size(), 2u);
    EXPECT_EQ(seam.modals[1].form, "frmSelectProfile");
    EXPECT_EQ(window->cmbEncodingProfileName->currentText(), "Advance ...");
    EXPECT_EQ(window->core().profileName(), "Windows Media Video 8 for Local Area Network");
    EXPECT_EQ(window->lblProfileName->text(), "Windows Media Video 8 for Local Area Net ...");
}

TEST_F(Window, RecordsThroughTheEncoderWithAFreshObjectEachTime) {
    addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
    addEvent(*scheduler, at(21, 0, 0), 6, 10, "once", "Late.wmv");
    window->SetNextEvent();
    EXPECT_EQ(window->MSFlexGrid1->rowCount(), 2);
    EXPECT_EQ(window->MSFlexGrid1->item(1, 4)->text(), "Late.wmv");
    EXPECT_EQ(window->lblEventCount->text(), "2");

    windowTick(at(20, 0, 1));
    EXPECT_TRUE(window->core().recording());
    EXPECT_TRUE(captureCalled("SetChannel 5"));
    const std::string video = window->cmbVideoSource->currentText().toStdString();
    ASSERT_GE(encoderCalls.size(), 5u);
    EXPECT_EQ(encoderCalls[0], "ISetOutputFilename " + outputPath("News.wmv"));
    EXPECT_EQ(encoderCalls[1], "ISetVideoSource " + video);
    EXPECT_EQ(encoderCalls[3], "ISetProfileName Video for broadband NTSC (384 Kbps)");
    EXPECT_EQ(encoderCalls[4], "IStart");
    EXPECT_EQ(window->lblReady->text(), "Recording ...");
    EXPECT_TRUE(window->lblReady->styleSheet().contains("rgb(255, 0, 0)"));
    EXPECT_EQ(window->lblNextRecording->width(), int(3000 / window->twipsPerPixel()));
    EXPECT_EQ(window->lblNextRecording->x(), int(120 / window->twipsPerPixel()));
    EXPECT_TRUE(window->cmdCancelRecording->isEnabled());
    EXPECT_FALSE(window->cmdRecordNow->isEnabled());
    EXPECT_EQ(window->txtChannel->text(), "5");

    windowTick(at(20, 30, 0));
    EXPECT_FALSE(window->core().recording());
    EXPECT_EQ(window->lblReady->text(), "Ready ...");
    EXPECT_TRUE(window->lblReady->styleSheet().contains("rgb(0, 128, 0)"));
    EXPECT_EQ(window->MSFlexGrid1->rowCount(), 1);
    windowTick(at(21, 0, 1));
    EXPECT_TRUE(window->core().recording());
    EXPECT_EQ(encodersCreated, 2);
    EXPECT_TRUE(captureCalled("SetChannel 6"));
}

TEST_F(Window, MissingOrFailingComponentsNeverStopTheTick) {
    captureMissing = true;
    encoderMissing = true;
    window->core().tuner().TunerRelease();
    addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
    window->SetNextEvent();
    clearLog();
    windowTick(at(20, 0, 1));
    EXPECT_TRUE(window->core().recording());
    const auto lines = logLines();
    auto has = [&](const std::string& prefix) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    };
    EXPECT_TRUE(has("LS0075:ERROR:M21:InitTuner() obj is null"));
    EXPECT_TRUE(has("LS0100:ERROR:F00:Tmr1() Encoder Failed to Initialize1"));
    EXPECT_TRUE(has("LS0063:ERROR:F00:Tmr1() NotEncStr"));
    windowTick(at(20, 30, 0));
    EXPECT_FALSE(window->core().recording());

    // An encoder whose start fails.
    captureMissing = false;
    encoderMissing = false;
    encoderFailing = "IStart";
    addEvent(*scheduler, at(21, 0, 0), 5, 30, "once", "Late.wmv");
    window->SetNextEvent();
    clearLog();
    windowTick(at(21, 0, 1));
    EXPECT_TRUE(window->core().recording());
    EXPECT_EQ(window->lblReady->text(), "Recording ...");
    EXPECT_FALSE(logLinesWith({"LS0063"}).empty());
    encoderFailing = "IStop";
    windowTick(at(21, 30, 0));
    EXPECT_FALSE(window->core().recording());
}

// Each member of the encoder failing in turn: the window still shows the
// recording, stops it at the event's end, and the next event gets a fresh
// encoder object.
TEST_F(Window, AnEncoderFailingAtAnyMemberNeverStopsTheTick) {
    const char* members[] = {"ISetOutputFilename", "ISetVideoSource", "ISetAudioSource", "ISetProfileName", "IStart",
                             "ISetAutoIndex",      "IStop",           "IIndexerRunning"};
    int hour = 1;
    for (const char* member : members) {
        SCOPED_TRACE(member);
        encoderFailing = member;
        const DateTime start = makeDate(2004, 4, 21, hour++, 0, 0);
        clock.set(start - 60.0 / 86400);
        addEvent(*scheduler, start, 5, 30, "once", std::string(member) + ".wmv");
        window->SetNextEvent();
        clearLog();
        windowTick(start + 1.0 / 86400);
        EXPECT_TRUE(window->core().recording());
        EXPECT_EQ(window->lblReady->text(), "Recording ...");
        EXPECT_FALSE(logLinesWith({"LS0062"}).empty());
        windowTick(start + 30.0 / 1440);
        EXPECT_FALSE(window->core().recording());
        EXPECT_EQ(window->lblReady->text(), "Ready ...");
        EXPECT_EQ(logLinesWith({"LS0050"}).size(), 1u);
        EXPECT_EQ(eventCount(*scheduler), 0);
    }
    EXPECT_EQ(encodersCreated, 8);
}

TEST_F(Window, RecordingStartTurnsTheTvOffOrAttachesIt) {
    addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
    addEvent(*scheduler, at(21, 0, 0), 5, 30, "once", "Late.wmv");
    window->SetNextEvent();
    window->cmdPreview->click();
    EXPECT_TRUE(program.g_bPreview);
    EXPECT_FALSE(window->txtChannel->isHidden());
    windowTick(at(20, 0, 1)); // optTunOffTvWindow is the default
    EXPECT_FALSE(program.g_bPreview);
    EXPECT_TRUE(window->txtChannel->isHidden());
    windowTick(at(20, 30, 0));

    window->optAttachTvWindow->setChecked(true);
    window->cmdPreview->click();
    window->lblDetachTV->setEnabled(true);
    window->core().preview().lblDetachTVClick();
    ASSERT_NE(window->tvWindow(), nullptr);
    EXPECT_TRUE(window->tvWindow()->isVisible());
    EXPECT_TRUE(program.g_bTvPreviewDetach);
    captureCalls.clear();
    windowTick(at(21, 0, 1));
    EXPECT_TRUE(program.g_bPreview);
    EXPECT_FALSE(program.g_bTvPreviewDetach);
    EXPECT_FALSE(window->tvWindow()->isVisible());
    EXPECT_TRUE(captureCalled("InitPreview " + window->mainWindowHandle() + " 326 79 202 152"));
    EXPECT_EQ(window->lblDetachTV->text(), "Detach TV");
}

TEST_F(Window, ChannelEntryRules) {
    window->cmdPreview->click();
    captureCalls.clear();
    window->txtChannel->setText("abc");
    key(window->txtChannel, Qt::Key_Return);
    EXPECT_EQ(window->txtChannel->text(), "2");
    EXPECT_FALSE(captureCalled("SetChannel 0"));

    window->txtChannel->setText("7");
    key(window->txtChannel, Qt::Key_Return);
    EXPECT_TRUE(captureCalled("SetChannel 7"));
    EXPECT_EQ(window->updnChannel->value(), 7);
    EXPECT_EQ(program.g_sChannel, "7");
    EXPECT_EQ(program.g_sChannelPrevious, "2");
    captureCalls.clear();
    key(window->txtChannel, Qt::Key_Return); // the same channel again: no tuning
    window->txtChannel->setText("99999");
    key(window->txtChannel, Qt::Key_Return);
    EXPECT_EQ(window->txtChannel->text(), "7");
    window->txtChannel->setText("12");
    key(window->txtChannel, Qt::Key_Escape);
    EXPECT_EQ(window->txtChannel->text(), "7");
    EXPECT_TRUE(captureCalls.empty());

    window->updnChannel->setValue(8);
    EXPECT_TRUE(captureCalled("SetChannel 8"));
    EXPECT_EQ(window->txtChannel->text(), "8");

    // The next event's channel, double-clicked, tunes only with the preview on.
    window->lblChannel->setText("44");
    window->lblChannelDoubleClick();
    EXPECT_EQ(program.g_sChannel, "44");
    EXPECT_EQ(window->txtChannel->text(), "44");
    window->cmdPreview->click();
    window->lblChannel->setText("45");
    window->lblChannelDoubleClick();
    EXPECT_EQ(program.g_sChannel, "44");
}

TEST_F(Window, OutputFolderRules) {
    window->OpenOutputFolder();
    ASSERT_EQ(shellDouble.requests.size(), 1u);
    EXPECT_EQ(shellDouble.requests[0].kind, "folder");
    EXPECT_EQ(shellDouble.requests[0].target, folder);
    EXPECT_EQ(window->lblDir->toolTip().toStdString(), "  " + folder + "  ");

    // Leaving the box with a folder that does not exist restores the old one.
    QFocusEvent in(QEvent::FocusIn);
    QApplication::sendEvent(window->txtOutputDir, &in);
    window->txtOutputDir->setText("/no/such/folder");
    EXPECT_EQ(window->core().engine().m_sOutputFolder, "/no/such/folder");
    window->OpenOutputFolder();
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_EQ(seam.messages[0].prompt, "/no/such/folder does not exist!");
    EXPECT_EQ(seam.messages[0].title, "Error!");
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(window->txtOutputDir, &out);
    EXPECT_EQ(window->txtOutputDir->text().toStdString(), folder);
    EXPECT_EQ(window->core().engine().m_sOutputFolder, folder);

    window->txtOutputDir->setText("/no/such/folder");
    window->ValidateOutputFolder();
    EXPECT_EQ(window->txtOutputDir->text().toStdString(), programFolder() + "/");
}

TEST_F(Window, VideoInputAndPlugInControls) {
    window->optComposite1->click();
    EXPECT_TRUE(captureCalled("SetVideoInput 2"));
    EXPECT_TRUE(window->chkExtChangeChnl->isEnabled());
    EXPECT_EQ(window->lblVideoInput->text(), "Composite1");
    EXPECT_TRUE(window->core().tuner().settings.useExternalPlugin);
    window->chkExtChangeChnl->click();
    EXPECT_EQ(window->core().tuner().settings.useExternalPlugin, window->chkExtChangeChnl->isChecked());
    window->optTuner->click();
    EXPECT_FALSE(window->chkExtChangeChnl->isEnabled());
    EXPECT_FALSE(window->core().tuner().settings.useExternalPlugin);
    EXPECT_EQ(window->videoInputName(), "TV Tuner");

    window->ShowPluginDetected(false);
    EXPECT_EQ(window->lblExtChangeChnl->text(), "External Change Channel Plug-In is NOT detected");
    EXPECT_TRUE(window->lblExtChangeChnl->styleSheet().contains("rgb(192, 0, 0)"));
    window->ShowPluginDetected(true);
    EXPECT_EQ(window->lblExtChangeChnl->text(), "External Change Channel Plug-In is detected");
}

TEST_F(Window, OptionBoxesAreStoredWhenClicked) {
    window->chkAppExitWarning->click();
    window->chkTVSizePosition->click();
    EXPECT_EQ(RegGetSetting2(settings::chkAppExitWarning), "0");
    EXPECT_EQ(RegGetSetting2(settings::chkTVSizePosition), "0");
    window->chkAppExitWarning->click();
    EXPECT_EQ(RegGetSetting2(settings::chkAppExitWarning), "1");
    // Start-up restores the boxes without storing them.
    window->core().m_bFormLoading = true;
    window->chkTVSizePosition->click();
    EXPECT_EQ(RegGetSetting2(settings::chkTVSizePosition), "0");
}

TEST_F(Window, ScheduleButtonsOpenTheDialogAndKeepTheGridInStep) {
    addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
    window->SetNextEvent();
    clock.set(at(19, 0, 0));
    window->cmdAddEvent->click();
    ASSERT_EQ(seam.modals.size(), 1u);
    EXPECT_EQ(seam.modals[0].form, "frmAddEvent");
    EXPECT_EQ(program.modeWord, "AddEvent");

    window->SSTab1->setCurrentIndex(1);
    window->MSFlexGrid1->setCurrentCell(0, 0);
    window->cmdEditEvent->click();
    EXPECT_EQ(program.modeWord, "UpdateEvent");
    EXPECT_EQ(program.currentEvent.filename, "News.wmv");

    seam.answers = {vbYes};
    window->cmdDeleteEvent->click();
    EXPECT_EQ(eventCount(*scheduler), 0);
    EXPECT_EQ(window->MSFlexGrid1->rowCount(), 0);
    EXPECT_EQ(window->lblWhen->text(), "Empty");
    EXPECT_FALSE(window->cmdEditEvent->isEnabled());

    window->cmdRecordNow->click();
    EXPECT_EQ(program.modeWord, "AddEventRecordNow");
    EXPECT_EQ(window->SSTab1->currentIndex(), 1);
}

// Each stored option is declared once: its control starts at the declared
// default, and what the user sets is saved through the same table.
TEST_F(Window, EachOptionControlStartsAtItsDeclaredDefaultAndIsSavedThroughTheTable) {
    const Options defaults;
    for (const OptionSetting& row : kOptionSettings) {
        auto* button = window->findChild<QAbstractButton*>(row.control);
        if (!button) continue; // a box or a text field
        EXPECT_EQ(button->isChecked(), defaults.flag(row.control)) << row.control;
    }
    window->chkOverwriteFiles->click();
    window->optAttachTvWindow->click();
    window->core().options().save();
    EXPECT_EQ(RegGetSetting2(settings::chkOverwriteFiles), "False");
    EXPECT_EQ(RegGetSetting2(settings::optAttachTvWindow), "True");
    EXPECT_EQ(RegGetSetting2(settings::optTunOffTvWindow), "False");
    EXPECT_FALSE(window->core().overwriteFiles());
    EXPECT_TRUE(window->core().attachTvWindowOption());
}

} // namespace
} // namespace vesper::test
