// frmVesper: the main window. Its controls carry their names as object names;
// the recording tick, the next event and live TV run in plain classes
// (RecordingEngine, PreviewControl) that this window drives and renders.
#pragma once

#include "app/core/external_event_inbox.h"
#include "app/core/guide_links.h"
#include "app/core/main_window_ops.h"
#include "app/core/mod_tuner.h"
#include "app/core/preview_control.h"
#include "app/core/program.h"
#include "app/core/recording_engine.h"
#include "app/forms/frm_tv.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;
class QTimer;
class QFrame;
class QCloseEvent;

namespace vesper {

class HandoverServer;
class ModEncoder;
class ScheduleCommands;

struct frmVesperOptions {
    // Start Timer1 and Timer2 (tests drive the engine's tick themselves).
    bool startTimers = true;
    // Fill both device boxes from the encoder's device lists and apply the
    // profile choice, as start-up does (for tests and the provisional main).
    bool fillDevicesAndProfile = true;
};

class frmVesper : public QWidget,
                  public MainWindowOps,
                  public TunerForm,
                  public RecordingHost,
                  public PreviewHost,
                  public TvWindowHost {
    Q_OBJECT
public:
    frmVesper(Program& program, ObjectPtr scheduler, frmVesperOptions options = {}, QWidget* parent = nullptr);
    ~frmVesper() override;

    Program& program() { return m_program; }
    RecordingEngine& engine() { return *m_engine; }
    PreviewControl& preview() { return *m_preview; }
    ModTuner& tuner() { return *m_tuner; }
    ModEncoder& encoder() { return *m_encoder; }
    frmTV* tvWindow() { return m_tv; }

    // Window state that start-up and shut-down drive.
    bool m_bFormLoading = false;
    bool m_bSettingsValid = false;
    bool m_bExitPending = false;
    bool m_bExternalPending = false;
    bool m_bIgnoreGridEvents = false;
    std::string m_sCleanExitName;
    std::string m_sOutputFolderSaved;
    bool recording() override;
    bool holdSchedule() const;
    void setHoldSchedule(bool hold);
    bool settingNextEvent() const;
    void setScheduler(ObjectPtr scheduler);

    // The engine's procedures, as the window's own.
    void SetNextEvent();
    void CancelCurrentEvent();
    void ShowFreeDiskSpace(const std::string& folder = {});
    void ValidateOutputFolder();
    void ApplyProfileChoice();
    void ApplyVideoInput() override;
    void ResetGridSelection();
    // Shows the change-channel plug-in's state in lblExtChangeChnl.
    void ShowPluginDetected(bool detected);
    // Fills the device boxes from the encoder's lists (first entries selected).
    void FillDeviceBoxes();
    // Shows `display` of the engine and the preview in the controls.
    void render();
    // Screen twips per pixel.
    double twipsPerPixel() const;
    // Places the grid, cmdEpgPane and the guide pane for the pane's state,
    // and again whenever the schedule page changes size.
    void layoutGuidePane(const GuidePaneLayout& pane);
    // Ends a running recording properly and releases the components (the
    // provisional shut-down).
    void releaseComponents();

    // MainWindowOps
    void AddEvent(DateTime dt, int16_t channel, int16_t duration, bool active, const std::string& every,
                  const std::string& filename) override;
    void AddEventExternal(DateTime dt, int16_t channel, int16_t duration, bool active, const std::string& every,
                          const std::string& filename) override;
    void UpdateEvent(DateTime dtReturn, DateTime dt, int16_t channel, int16_t duration, bool active,
                     const std::string& every, const std::string& filename) override;
    void UpdateEvent_temp(DateTime dtKey, DateTime dt, int16_t channel, int16_t duration, bool active,
                          const std::string& every, const std::string& filename) override;
    void SaveScheduleToDisk() override;
    ObjectPtr SchedulerObject() override;
    void SetIgnorEvents(bool ignore) override;
    void SetEncoderProfileLabelToolTip() override;
    void AttachTVScreen() override;
    void SetChannelForFormVesper(const std::string& channel) override;

    // TunerForm
    std::string videoSourceText() override;
    std::string audioSourceText() override;
    std::string mainWindowHandle() override;

    // RecordingHost
    void PreviewOff() override;
    void PreviewOn() override;
    void SetChnl(int16_t channel) override;
    void enableDetachTV() override;
    bool EncoderInit() override;
    void EncoderSetOutputFilename(const std::string& path) override;
    void EncoderSetVideoSource(const std::string& name) override;
    void EncoderSetAudioSource(const std::string& name) override;
    void EncoderSetProfileName(const std::string& name) override;
    bool EncoderStart(int32_t& e) override;
    void EncoderStop() override;
    bool attachTvWindowOption() override;
    bool overwriteFiles() override;
    std::string profileName() override;
    bool isMinimized() override;
    void restoreNormal() override;
    void displayChanged() override;

    // PreviewHost
    void TunerStart() override;
    void TunerStp() override;
    void TunerSetPreview(const std::string& state) override;
    void TunerInitPreview(const std::string& hwnd, const std::string& left, const std::string& top,
                          const std::string& width, const std::string& height, const std::string& state) override;
    std::string tvWindowHandle() override;
    bool firstTabShown() override;
    void showTvWindow() override;
    void unloadTvWindow() override;
    void hideTvWindow() override;
    void AdjustOverlayScreen() override;

    // TvWindowHost
    std::string videoInputName() override;
    bool rememberSizePosition() override;
    bool followResize() override;
    void tvClosedByUser() override;
    void TunerResizePreview(const std::string& width, const std::string& height) override;

    // Channel entry of the main window.
    void txtChannelEnter(bool selectAll = true);
    void txtChannelEscape();
    void updnChannelChanged(int value);
    void lblChannelDoubleClick();
    // Opens the output folder, or says it does not exist.
    void OpenOutputFolder();
    void cmdAdvanceClick();
    void cmdDirPickClick();
    void videoInputChosen(int16_t index);
    // The schedule's commands.
    void cmdAddEventClick();
    void cmdEditEventClick();
    void cmdRecordNowClick();
    ScheduleCommands& commands();
    // The grid's selected row as an event index (1 and up).
    int selectedRow() const;

    // The controls, by their names.
    QTimer* Timer1;
    QTimer* Timer2;
    QLineEdit* txtHiddenTextBox80916654;
    QTabWidget* SSTab1;
    QPushButton* cmdExit;
    QLabel* lblReady;
    QLabel* lblNowToday;
    QLabel* lblVersion;
    QLabel *picInfo, *picDonate, *picHelp, *picAbout, *picDigitalVCR, *lblFrontMessage;
    // Tab 0
    QGroupBox* fraNextEvent;
    QLabel* lblNextRecording;
    QGroupBox* fraChannel;
    QLabel *lblStation, *lblChannel;
    QLabel *lblWhenLabel, *lblWhen, *lblDayLabel, *lblDay, *lblStartLabel, *lblStart, *lblStopLabel, *lblStop;
    QLabel *lblLengthLabel, *lblLength, *lblFilenameLabel, *lblOutput, *lblLocationLabel, *lblDir;
    QLabel *lblSpaceLabel, *lblFreeDiskSpace;
    QPushButton *cmdRecordNow, *cmdCancelRecording, *cmdPreview;
    QLabel* lblDetachTV;
    QLineEdit* txtChannel;
    QSpinBox* updnChannel;
    QFrame* picPreview;
    QPushButton* cmdRecordingSummaryColorScheme;
    QLabel* picWelcome;
    QFrame* picWebBrowser1;
    QLabel* WebBrowser1;
    // Tab 1
    QTableWidget* MSFlexGrid1;
    QLabel *Label2, *lblEventCount;
    QPushButton *cmdAddEvent, *cmdEditEvent, *cmdCancelSelectedEvent, *cmdDeleteEvent, *cmdEpgPane;
    QGroupBox* fraElectronicProgrammingGuide;
    QPushButton* cmdConfigureEPG;
    QLabel* lblCustom[4];
    // Tab 2
    QGroupBox* Frame2;
    QLabel* Label7;
    QComboBox* cmbEncodingProfileName;
    QLabel* lblProfileName;
    QPushButton* cmdAdvance;
    QLabel* Label8;
    QLineEdit* txtOutputDir;
    QPushButton *cmdDirPick, *cmdOpenFolder;
    QCheckBox* chkOverwriteFiles;
    QLabel* lblFreeDiskSpace2;
    QGroupBox* Frame1;
    QLabel* Label4;
    QComboBox* cmbVideoSource;
    QLabel* Label6;
    QComboBox* cmbAudioSource;
    QRadioButton *optTuner, *optComposite1, *optSVideo;
    QCheckBox* chkExtChangeChnl;
    // Tab 3
    QGroupBox *Frame3, *Frame5, *Frame4;
    QLabel *lblVideoInput1, *lblVideoInput, *lblExtChangeChnl, *lblTvWindowNote;
    QCheckBox* chkAppExitWarning;
    QRadioButton *optAttachTvWindow, *optTunOffTvWindow;
    QCheckBox* chkTVSizePosition;
    QPushButton* cmdTechSupport;

    // Opens the hand-over socket through which other programs send program
    // events to txtHiddenTextBox80916654. Start-up calls it as it completes,
    // so that the socket answers from when bAppLoadComplete says "True".
    // False (logged) when the socket could not be opened.
    bool StartHandOver();
    HandoverServer* handOverServer() { return m_handOver; }

    // Hooks for later start-up and shut-down work: called by Timer2 and by
    // the hidden box's change handler when set.
    std::function<void()> onTimer2;
    std::function<void(const std::string&)> onHandOverText;
    // Start-up and shut-down hooks: the exit button's handler (without one
    // the button closes the window), and the question asked before the
    // window closes in any way (false keeps it open).
    std::function<void()> onExitClick;
    std::function<bool(QCloseEvent*)> onQueryUnload;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildLayout();
    void connectControls();
    void placePreviewPane();
    void placeGuidePane();
    void Timer1Tick();
    void Timer2Tick();
    void ProcessHandOver();

    Program& m_program;
    frmVesperOptions m_options;
    std::unique_ptr<ModTuner> m_tuner;
    std::unique_ptr<ModEncoder> m_encoder;
    std::unique_ptr<RecordingEngine> m_engine;
    std::unique_ptr<PreviewControl> m_preview;
    std::shared_ptr<ScheduleCommands> m_commands;
    frmTV* m_tv = nullptr;
    int m_renderedGridVersion = -1;
    bool m_rendering = false;
    ExternalEventInbox m_inbox;
    HandoverServer* m_handOver = nullptr;
    std::optional<GuidePaneLayout> m_guidePane;
};

} // namespace vesper
