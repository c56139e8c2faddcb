// frmVesper: the main window, thin over the program's core (VesperCore). Its
// controls carry their names as object names; it shows what the core holds
// and passes the user's choices to it.
#pragma once

#include "app/core/guide_links.h"
#include "app/core/main_window_ops.h"
#include "app/core/program.h"
#include "app/core/vesper_core.h"
#include "app/forms/frm_tv.h"
#include "ui_frm_vesper.h"

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

struct frmVesperOptions {
    // Start Timer1 and Timer2 (tests drive the engine's tick themselves).
    bool startTimers = true;
    // Fill both device boxes from the encoder's device lists and apply the
    // profile choice, as start-up does (for tests and the provisional main).
    bool fillDevicesAndProfile = true;
};

class frmVesper : public QWidget, public Ui::frmVesper, public MainWindowOps, public MainView, public TvWindowHost {
    Q_OBJECT
public:
    frmVesper(Program& program, ObjectPtr scheduler, frmVesperOptions options = {}, QWidget* parent = nullptr);
    ~frmVesper() override;

    Program& program() { return m_program; }
    VesperCore& core() { return *m_core; }
    // Shows the remote access switch and the page's address as they stand.
    void showRemoteAccess();
    frmTV* tvWindow() { return m_tv; }

    // Window state that start-up and shut-down drive.
    bool m_bIgnoreGridEvents = false;
    std::string m_sCleanExitName;
    std::string m_sOutputFolderSaved;

    // The engine's procedures, shown at once.
    void SetNextEvent();
    void CancelCurrentEvent();
    void ShowFreeDiskSpace(const std::string& folder = {});
    void ValidateOutputFolder();
    void ApplyProfileChoice();
    void ResetGridSelection();
    // Shows the change-channel plug-in's state in lblExtChangeChnl.
    void ShowPluginDetected(bool detected);
    // Fills the device boxes from the encoder's lists (first entries selected).
    void FillDeviceBoxes();
    // Shows the options of the core in their controls.
    void showOptions();
    // Screen twips per pixel.
    double twipsPerPixel() const;
    // Places the grid, cmdEpgPane and the guide pane for the pane's state,
    // and again whenever the schedule page changes size.
    void layoutGuidePane(const GuidePaneLayout& pane);
    // Ends the program as a test's window ends: through the core's one way
    // out, saving the schedule.
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
    EventTiming eventTiming(const EventRecord* event) override { return core().eventTimingOf(event); }
    // The options of the event an update replaced leave with it.
    void setEventTiming(const EventRecord& event, const EventTiming& timing, const EventRecord*) override {
        core().setEventTiming(event, timing);
    }

    // MainView
    void render() override;
    bool isMinimized() override;
    void restoreNormal() override;
    std::string mainWindowHandle() override;
    std::string tvWindowHandle() override;
    bool firstTabShown() override;
    void showTvWindow() override;
    void unloadTvWindow() override;
    void hideTvWindow() override;
    void AdjustOverlayScreen() override;
    bool modalOpen() override;
    void showNormalOnScheduleTab() override;
    void showAddEventDialog() override;
    void handOverDocument(const std::string& document) override;
    void closeWindow() override { close(); }

    // TvWindowHost
    void SetChnl(int16_t channel) override { m_core->SetChnl(channel); }
    std::string videoInputName() override;
    bool rememberSizePosition() override;
    bool followResize() override;
    void tvClosedByUser() override;
    void TunerResizePreview(const std::string& width, const std::string& height) override;
    void TunerSetPreview(const std::string& state) override { m_core->TunerSetPreview(state); }
    void TunerInitPreview(const std::string& hwnd, const std::string& left, const std::string& top,
                          const std::string& width, const std::string& height, const std::string& state) override {
        m_core->TunerInitPreview(hwnd, left, top, width, height, state);
    }

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
    // The grid's selected row as an event index (1 and up).
    int selectedRow() const;

    // The controls are the form's (frm_vesper.ui), by their names; the
    // timers are the core's, and the link labels one array.
    QTimer* Timer1;
    QTimer* Timer2;
    QLabel* lblCustom[4];

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
    // Each control of a stored option shows its value and passes changes on.
    void bindOptions();
    // The remote access controls of the Options tab.
    void bindRemoteAccess();
    void showRemoteToken(const QByteArray& token);
    void placePreviewPane();
    void placeGuidePane();

    Program& m_program;
    frmVesperOptions m_options;
    std::unique_ptr<VesperCore> m_core;
    frmTV* m_tv = nullptr;
    int m_renderedGridVersion = -1;
    bool m_rendering = false;
    std::optional<GuidePaneLayout> m_guidePane;
};

} // namespace vesper
