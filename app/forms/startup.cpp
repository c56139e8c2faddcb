#include "app/forms/startup.h"

#include "app/core/color_scheme.h"
#include "app/core/device_list.h"
#include "app/core/diagnostics.h"
#include "app/core/encoder_profiles.h"
#include "app/core/guide_links.h"
#include "app/core/mod_encoder.h"
#include "app/core/mod_tuner.h"
#include "app/core/programme_guide.h"
#include "app/core/settings_store.h"
#include "app/core/single_instance.h"
#include "app/core/status_log.h"
#include "app/forms/frm_config_epg.h"
#include "app/forms/frm_tech_support.h"
#include "app/forms/frm_vesper.h"
#include "app/forms/grid_view.h"
#include "app/forms/notices.h"
#include "platform/ui/qt_ui_seam.h"

#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/sysinfo.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>

namespace vesper {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

// The device block on the real window.
class WindowDevices : public DeviceBlockHost {
public:
    WindowDevices(Program& program, frmVesper& w) : m_program(program), m_w(w) {}
    std::vector<std::string> deviceList(const std::string& typeName) override {
        std::vector<std::string> list = GetDeviceList(m_program, typeName);
        // Readers stop at the first empty name.
        if (auto empty = std::find(list.begin(), list.end(), std::string()); empty != list.end())
            list.erase(empty, list.end());
        return list;
    }
    void readProfiles() override { m_program.profileList = GetEncoderProfileList(m_program); }
    void restoreTuner() override {
        TunerSettings& t = m_w.core().tuner().settings;
        t.countryCode = RestoreTunerProperty(settings::CountryCode.name);
        t.inputType = RestoreTunerProperty(settings::InputType.name);
        t.videoStandard = RestoreTunerProperty(settings::VideoStandard.name);
        m_program.g_sChannel = RestoreChannel(settings::Channel.name);
        m_program.g_sChannelPrevious = RestoreChannel(settings::ChannelPrevious.name);
        m_w.updnChannel->setMaximum(kHighestChannel);
        m_w.updnChannel->setMinimum(kLowestChannel);

        Options& options = m_w.core().options();
        options.load({"optTuner", "optComposite1", "optSVideo", "chkExtChangeChnl"});
        const bool tuner = options.flag("optTuner");
        const bool composite = options.flag("optComposite1");
        const bool svideo = options.flag("optSVideo");
        m_w.showOptions();
        if (tuner) {
            t.videoInputIndex = 0;
            t.videoInputName = "TV Tuner";
            m_w.chkExtChangeChnl->setEnabled(false);
            m_w.lblExtChangeChnl->setEnabled(false);
            t.useExternalPlugin = false;
        } else if (svideo) {
            t.videoInputIndex = 1;
            t.videoInputName = "S-Video";
            t.useExternalPlugin = true;
        } else if (composite) {
            t.videoInputIndex = 2;
            t.videoInputName = "Composite1";
            t.useExternalPlugin = true;
        }
        m_w.lblVideoInput->setText(q(t.videoInputName));
        t.useExternalPlugin = options.flag("chkExtChangeChnl");
        m_w.ShowPluginDetected(ChangeChannelPluginDetected(m_program));
    }
    bool probePairs(const std::vector<std::string>& videos, const std::vector<std::string>& audios, std::string& video,
                    std::string& audio) override {
        return m_w.core().tuner().ProbeDevicePairs(videos, audios, video, audio);
    }
    bool bringUp(const std::string& video, const std::string& audio) override {
        return m_w.core().tuner().Default(video, audio);
    }
    void createDefaultOutputFolder() override {
        std::error_code ec;
        std::filesystem::create_directories(joinPath(programFolder(), settings::kOutputFolderName), ec);
    }
    void fillDeviceBoxes(const std::vector<std::string>& videos, const std::vector<std::string>& audios,
                         const std::string& video, const std::string& audio) override {
        FillCombo(m_w.cmbVideoSource, videos);
        if (const int i = m_w.cmbVideoSource->findText(q(video)); i >= 0) m_w.cmbVideoSource->setCurrentIndex(i);
        FillCombo(m_w.cmbAudioSource, audios);
        if (const int i = m_w.cmbAudioSource->findText(q(audio)); i >= 0) m_w.cmbAudioSource->setCurrentIndex(i);
    }

private:
    Program& m_program;
    frmVesper& m_w;
};

} // namespace

VesperStartup::VesperStartup(Program& program) : m_program(program) {}

VesperStartup::~VesperStartup() {
    endProgram(EndReason::Discard);
    // The window's widgets still send events while they are destroyed, when
    // the window is no frmVesper any more: the filter goes first.
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
    if (m_window)
        for (QObject* watched : m_window->findChildren<QObject*>())
            watched->removeEventFilter(this);
}

bool VesperStartup::FormLoad() {
    frmVesperOptions options;
    options.fillDevicesAndProfile = false;
    m_window = std::make_unique<frmVesper>(m_program, nullptr, options);
    frmVesper& w = *m_window;
    setMessageBoxOwner(&w);
    // Exit requests are answered by the rules of this class from the start:
    // the timers tick inside the start-up's waits.
    w.onQueryUnload = [this](QCloseEvent* event) { return queryUnload(event); };
    w.onExitClick = [this] { cmdExitClick(); };
    m_loading = true;
    std::unique_ptr<QWidget, void (*)(QWidget*)> loading(nullptr, [](QWidget* l) {
        if (l) l->close();
    });
    try {
        // A settings file that cannot be used is named as such before anything
        // reads it, rather than blamed on the components registered in it.
        if (!CheckSettingsFile(&w)) {
            failureExit("");
            return false;
        }
        // The channel range, the first-run flag, the version and the processor.
        w.core().m_bFormLoading = true;
        w.updnChannel->setMaximum(kHighestChannel);
        w.updnChannel->setMinimum(kLowestChannel);
        const bool firstRun = settingToBool(RegGetSetting2(settings::bAppLoadFirstTime));
        w.lblVersion->setText(q(std::string("v") + kVersionText));
        if (settingToBool(RegGetSetting2(settings::bSingleProcessorAffinity)) && processorCount() != 1)
            bindToFirstProcessor();

        // Our encoder engine must be registered (ProgIDs match in any case).
        if (!m_program.createObject("WMencEng.WMEncoder")) {
            LogStatus("LS0042:ERROR:F00:Form_Load():n1:Windows Media Encoder 7.1 does not exist.");
            ShowNoticeWME(&w);
            failureExit("");
            return false;
        }
        Checkpoint(1);
        RegGetSetting2(settings::key::Status, std::string("bAppLoadFirstTimeVersion") + kVersionText, "True");
        Checkpoint(2);
        WriteRequestedAppProfile([this] { return deviceQuery(); });
        Checkpoint(3);

        // One copy per hive.
        std::string lockError;
        switch (acquireSingleInstance(lockError)) {
        case SingleInstanceLock::Result::Acquired: break;
        case SingleInstanceLock::Result::HeldByAnother:
            // Also on the terminal: a copy started on a display nobody looks
            // at (a virtual one) must still say why it ends.
            std::fprintf(stderr, "vesper: Vesper is already running (settings %s).\n", registry::hivePath().c_str());
            MsgBox(&w, alreadyRunningMessage(), vbExclamation, w.windowTitle().toStdString());
            failureExit("");
            return false;
        case SingleInstanceLock::Result::Failed:
            std::fprintf(stderr, "vesper: cannot take the single-copy lock %s: %s\n", singleInstanceLockPath().c_str(),
                         lockError.c_str());
            MsgBox(&w, lockFailedMessage(singleInstanceLockPath(), lockError), vbCritical,
                   w.windowTitle().toStdString());
            failureExit("");
            return false;
        }

        // From here on the settings are ours: the clean-exit marker, where
        // other programs find us, and the periphery's icons.
        w.core().m_bSettingsValid = true;
        m_program.g_bCleanExit = ReadCleanExitMarker(w.m_sCleanExitName);
        Checkpoint(4);
        RegSaveSetting2(settings::AppTitle, w.windowTitle().toStdString());
        RegSaveSetting2(settings::AppPath, executableFolder());
        RegSaveSetting2(settings::bAppLoadComplete, "False");
        if (settingToBool(RegGetSetting2(settings::bHideWelcomeIcon))) w.picWelcome->setVisible(false);
        if (settingToBool(RegGetSetting2(settings::bHideDonateIcon))) w.picDonate->setVisible(false);
        Checkpoint(5);
        loading.reset(ShowLoading(nullptr));
        Checkpoint(6);
        CompleteInterruptedRecording(m_program);

        // The capture devices and the tuner.
        WindowDevices devices(m_program, w);
        const DeviceBlockResult d = RunDeviceBlock(devices, firstRun);
        if (const std::string code = noticeCode(d.outcome); !code.empty()) {
            loading.reset();
            ShowNoticeDevices(&w, code);
            failureExit("");
            return false;
        }
        if (d.outcome == DeviceOutcome::SavedPairFailed) ShowDeviceSettingsFailed(&w, d.video, d.audio);
        if (abandoned()) return false;
        w.txtChannel->setText(q(m_program.g_sChannel));
        if (auto c = wholeNumber(m_program.g_sChannel)) {
            // Showing the restored channel is no channel change: the previous
            // channel stays as stored.
            QSignalBlocker quiet(w.updnChannel);
            w.updnChannel->setValue(static_cast<int>(*c));
        }

        // The tick is held until the start-up is done; the guide links and pane.
        Checkpoint(17);
        w.core().engine().m_bHoldSchedule = true;
        w.m_bIgnoreGridEvents = false;
        w.core().m_bExitPending = false;
        w.core().m_bExternalPending = false;
        w.core().setScheduler(nullptr);
        w.cmdCancelRecording->setEnabled(false);
        for (int i = 0; i < kGuideLinkCount; ++i) {
            const GuideLink link = readGuideLink(i);
            w.lblCustom[i]->setText(q(link.caption));
            w.lblCustom[i]->setToolTip(q(link.toolTip));
        }
        Checkpoint(18);
        m_pane = std::make_unique<GuidePaneLayout>(static_cast<int>(w.MSFlexGrid1->width() * w.twipsPerPixel() + 0.5));
        m_pane->restore();
        layoutPane();

        // The scheduler and the grid.
        Checkpoint(19);
        ObjectPtr scheduler = m_program.createObject("Slotbook.EventsObj");
        if (!scheduler) LogStatus("LS0047:ERROR:F00:Form_Load():CreateObject() is nothing");
        w.core().setScheduler(scheduler);
        Checkpoint(20);
        if (scheduler) scheduler->call("Initialize");
        Checkpoint(21);
        if (scheduler) fillGrid(w.MSFlexGrid1, readScheduleRows(*scheduler));
        Checkpoint(22);

        // Profiles and the output folder.
        w.cmbEncodingProfileName->setCurrentIndex(1);
        Options& options = w.core().options();
        options.load({"txtOutputDir", "cmbEncodingProfileName", "chkOverwriteFiles"});
        std::string output = options.text("txtOutputDir");
        if (output.empty()) output = joinPath(programFolder(), settings::kOutputFolderName);
        w.txtOutputDir->setText(q(output));
        w.ValidateOutputFolder();
        w.ShowFreeDiskSpace();
        Checkpoint(23);
        Checkpoint(24);

        // The window's place, the profile choice and the overwrite option.
        restoreWindowPosition();
        Checkpoint(25);
        const QString profile = q(options.text("cmbEncodingProfileName"));
        if (const int i = w.cmbEncodingProfileName->findText(profile); i >= 0)
            w.cmbEncodingProfileName->setCurrentIndex(i);
        // A stored name the list does not hold is not kept: the choice shown is.
        options.setText("cmbEncodingProfileName", w.cmbEncodingProfileName->currentText().toStdString());
        m_program.g_sAdvanceProfile = RegGetSetting2(settings::Advance);
        w.ApplyProfileChoice();
        w.showOptions();
        Checkpoint(26);

        // No update check or advertisement; the next event.
        w.SetNextEvent();
        Checkpoint(27);
        if (abandoned()) return false;

        // The loading window goes; colours, options and the hand-over socket;
        // then the tick may record.
        loading.reset();
        w.ResetGridSelection();
        applyColorScheme();
        Checkpoint(28);
        restoreOptions();
        w.core().StartHandOver();
        // The listings import in the background, now and then daily.
        w.core().guide().start();
        w.core().StartRemoteAccess();
        w.showRemoteAccess();
        RegSaveSetting2(settings::bAppLoadComplete, "True");
        if (programFileExists("Vesper.chm")) m_helpFile = true;
        wireControls();
        if (abandoned()) return false;
        w.core().engine().m_bHoldSchedule = false;
        Checkpoint(29);

        // The window shows, with the preview pane attached and off.
        w.show();
        w.core().tuner().TunerInitPreview(w.mainWindowHandle(), "326", "79", "202", "152", "0");
        w.core().m_bFormLoading = false;
        m_loading = false;
        // An exit asked for from outside while the start-up ran.
        if (m_closeRequested) QTimer::singleShot(0, this, [this] { requestClose(); });
        return true;
    } catch (const AutomationError& e) {
        unexpectedError(loading, e.number(), e.description());
    } catch (const std::exception& e) {
        unexpectedError(loading, 5, e.what());
    }
    return false;
}

void VesperStartup::unexpectedError(std::unique_ptr<QWidget, void (*)(QWidget*)>& loading, long number,
                                    const std::string& description) {
    ReportFormLoadError(number, description);
    loading.reset();
    // Both lines carry the error as number:description.
    const std::string errorText = std::to_string(number) + ":" + description;
    LogStatus("LS0037:ERROR:F00:Form_Load():on error1: err# " + errorText);
    failureExit(errorText);
}

void VesperStartup::failureExit(const std::string& errorText) {
    m_window->core().m_bSettingsValid = false;
    LogStatus("LS0038:ERROR:F00:Form_Load():on error2:  err# " + errorText);
    m_loading = false;
    endProgram(EndReason::FailureExit);
}

DeviceQuery VesperStartup::deviceQuery() {
    frmVesper& v = *m_window;
    DeviceQuery d;
    d.currentVideo = v.cmbVideoSource->currentText().toStdString();
    d.currentAudio = v.cmbAudioSource->currentText().toStdString();
    d.videoDevices = GetDeviceList(m_program, kVideoDeviceType);
    d.audioDevices = GetDeviceList(m_program, kAudioDeviceType);
    d.found = v.core().tuner().ProbeDevicePairs(d.videoDevices, d.audioDevices, d.pairVideo, d.pairAudio);
    return d;
}

void VesperStartup::restoreWindowPosition() {
    frmVesper& w = *m_window;
    const double tpp = w.twipsPerPixel();
    QRect screen(0, 0, 1024, 768);
    if (QScreen* s = QApplication::primaryScreen()) screen = s->geometry();
    const int top = windowCoordinate(RegGetSetting2(settings::Top), static_cast<int>(screen.height() * tpp));
    const int left = windowCoordinate(RegGetSetting2(settings::Left), static_cast<int>(screen.width() * tpp));
    w.move(static_cast<int>(left / tpp), static_cast<int>(top / tpp));
}

void VesperStartup::restoreOptions() {
    frmVesper& w = *m_window;
    w.core().options().load({"chkAppExitWarning", "chkTVSizePosition", "optAttachTvWindow", "optTunOffTvWindow"});
    w.showOptions();
}

void VesperStartup::applyColorScheme() {
    m_scheme = std::make_unique<ColorScheme>(ColorScheme::restore());
    const SummaryColours c = m_scheme->colours();
    m_window->fraNextEvent->setStyleSheet(QString("QGroupBox#fraNextEvent { background: #%1; } QLabel { color: #%2; }")
                                              .arg(c.background, 6, 16, QChar('0'))
                                              .arg(c.text, 6, 16, QChar('0')));
    m_window->lblNextRecording->setStyleSheet(QString("color: #%1;").arg(c.heading, 6, 16, QChar('0')));
}

void VesperStartup::layoutPane() { m_window->layoutGuidePane(*m_pane); }

void VesperStartup::wireControls() {
    frmVesper& w = *m_window;
    connect(w.cmdTechSupport, &QPushButton::clicked, this,
            [this] { ShowTechSupport(m_window.get(), [this] { return deviceQuery(); }); });
    connect(w.cmdConfigureEPG, &QPushButton::clicked, this, [this] {
        ShowConfigEPG(m_window.get(),
                      [this](int i, const std::string& caption) { m_window->lblCustom[i]->setText(q(caption)); });
    });
    connect(w.cmdRecordingSummaryColorScheme, &QPushButton::clicked, this, [this] {
        m_scheme->next();
        m_scheme->save();
        applyColorScheme();
    });
    for (QLabel* l : w.lblCustom)
        l->installEventFilter(this);
    w.picAbout->installEventFilter(this);
    w.picHelp->installEventFilter(this);
    w.fraElectronicProgrammingGuide->installEventFilter(this);
    if (m_helpFile) {
        auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), &w);
        connect(f1, &QShortcut::activated, this, [this] { OpenHelpFile(m_window.get()); });
    }
    w.cmdEpgPane->setVisible(true);
    layoutPane();
    connect(w.cmdEpgPane, &QPushButton::clicked, this, [this] {
        m_pane->toggle();
        layoutPane();
    });
}

void VesperStartup::bindToFirstProcessor() {
    if (setProcessAffinityMask(1)) return;
    // A machine or container that does not let us use processor 0: the first
    // processor we may use.
    const uint64_t allowed = processAffinityMask();
    if (allowed) setProcessAffinityMask(allowed & (~allowed + 1));
}

void VesperStartup::cmdExitClick() {
    frmVesper& w = *m_window;
    const auto refused = [&] {
        if (!w.core().recording() || w.core().settingNextEvent()) return false;
        MsgBox(&w, "You must cancel current recording first before exiting", vbCritical, "Oops");
        return true;
    };
    switch (cmdExitDecision(w.core().recording(), w.core().settingNextEvent(),
                            w.core().options().flag("chkAppExitWarning"))) {
    case ExitDecision::Refuse: refused(); return;
    case ExitDecision::Ask:
        if (MsgBox(&w, "Are you sure you want to EXIT?  ", vbYesNo | vbQuestion | vbDefaultButton2, "Confirm!") !=
            vbYes)
            return;
        // The ticks went on while the question was open: a recording that
        // began meanwhile was not what the user agreed to end.
        if (refused()) return;
        break;
    default: break;
    }
    // The answer may come while the next event is being set, or while a
    // recording is being started or stopped.
    if (w.core().settingNextEvent() || w.core().engine().busy())
        w.core().m_bExitPending = true;
    else
        w.close();
}

void VesperStartup::requestClose(EndReason reason) {
    if (!m_window || m_unloaded) return;
    if (m_loading) {
        // The start-up is abandoned: a box it shows closes at once and the
        // start ends by its failure exit, saving nothing.
        m_abortLoad = true;
        uiSeam().closeAll();
        return;
    }
    // A box or dialog that is open closes as if cancelled; the window closes
    // once their waits have returned.
    if (uiSeam().closeAll()) {
        QTimer::singleShot(0, this, [this, reason] { requestClose(reason); });
        return;
    }
    m_closeRequested = false;
    m_outsideReason = reason;
    m_window->close();
    m_outsideReason.reset();
}

bool VesperStartup::abandoned() {
    if (!m_abortLoad) return false;
    failureExit("");
    return true;
}

bool VesperStartup::queryUnload(QCloseEvent* event) {
    frmVesper& w = *m_window;
    if (m_unloaded) return true;
    if (m_loading) {
        // The close box during the start-up: the window goes when it is done.
        m_closeRequested = true;
        return false;
    }
    // One start or stop at a time: a close while the next event is being set,
    // or while a recording is being started or waits for its index, is
    // carried out by Timer2 once that is over.
    if (w.core().settingNextEvent() || w.core().engine().busy()) {
        w.core().m_bExitPending = true;
        return false;
    }
    // The close box, the desktop's logout or a termination request end a
    // recording by cancelling its event; the program's own unloading (the
    // exit button, the deferred exit) does not.
    const bool fromOutside = event->spontaneous() || m_outsideReason;
    // In its end margin the event is over already: the end completes the file.
    if (fromOutside && w.core().recording() && !w.core().engine().inEndMargin()) w.CancelCurrentEvent();
    endProgram(m_outsideReason ? *m_outsideReason : event->spontaneous() ? EndReason::CloseBox : EndReason::Exit);
    // Other windows (a dialog left open, the TV window) do not keep the
    // program running.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
    return true;
}

bool VesperStartup::eventFilter(QObject* watched, QEvent* event) {
    frmVesper* w = m_window.get();
    if (w && event->type() == QEvent::MouseButtonRelease) {
        for (int i = 0; i < kGuideLinkCount; ++i)
            if (watched == w->lblCustom[i]) {
                OpenGuideLink(i);
                return true;
            }
        if (watched == w->picAbout) {
            ShowAbout(w);
            return true;
        }
        if (watched == w->picHelp && m_helpFile) {
            OpenHelpFile(w);
            return true;
        }
    }
    if (w && watched == w->fraElectronicProgrammingGuide && event->type() == QEvent::MouseButtonDblClick) {
        w->cmdEpgPane->click();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void VesperStartup::saveSettings() {
    frmVesper& w = *m_window;
    RegSaveSetting2(settings::bAppLoadFirstTime, "False");
    RegSaveSetting2(settings::key::Status, std::string("bAppLoadFirstTimeVersion") + kVersionText, "False");
    RegSaveSetting2(settings::CurrentVersion, kVersionText);
    const double tpp = w.twipsPerPixel();
    const int top = static_cast<int>(w.y() * tpp), left = static_cast<int>(w.x() * tpp);
    if (top > 0) RegSaveSetting2(settings::Top, std::to_string(top));
    if (left > 0) RegSaveSetting2(settings::Left, std::to_string(left));
    RegSaveSetting2(settings::Advance, m_program.g_sAdvanceProfile);
    w.core().options().save();
    if (m_scheme) m_scheme->save();
    const std::string props = std::string(settings::key::TunerProperties) + "\\";
    const TunerSettings& t = w.core().tuner().settings;
    RegSaveSetting2(props, settings::ChannelPrevious.name, m_program.g_sChannelPrevious);
    RegSaveSetting2(props, settings::Channel.name, m_program.g_sChannel);
    RegSaveSetting2(props, settings::CountryCode.name, t.countryCode);
    RegSaveSetting2(props, settings::InputType.name, t.inputType);
    RegSaveSetting2(props, settings::VideoStandard.name, t.videoStandard);
    RegSaveSetting2(settings::bAppLoadComplete, "False");
    if (m_pane) m_pane->save();
}

void VesperStartup::endProgram(EndReason reason) {
    if (!m_window || m_window->core().ended()) return;
    m_unloaded = true;
    frmVesper& w = *m_window;
    w.core().endProgram(reason, [this, &w] {
        if (m_program.g_bCleanExit) RegSaveSetting2(settings::key::Status, w.m_sCleanExitName, "True");
        if (w.core().m_bSettingsValid) saveSettings();
    });
}

} // namespace vesper
