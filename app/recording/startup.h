// Start-up and shut-down of the main program: the checkpoints of the start-up
// trace, the device block, the clean-exit marker, the exit rules, and the
// driver that runs them on the main window.
#pragma once

#include "app/support/program.h"

#include <QObject>

class QCloseEvent;
class QWidget;

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vesper {

class frmVesper;
class GuidePaneLayout;
class ColorScheme;
struct DeviceQuery;

// "LS0008:INFO:F00:Form_Load():OK01" ... "LS0036:INFO:F00:Form_Load():OK29 - All Ok".
std::string checkpointMessage(int n);
// Logs a checkpoint on the start-up trace.
void Checkpoint(int n);

// Reads the clean-exit marker of this version: missing or "True" means the
// last run ended normally, and "False" is stored until this run ends so.
bool ReadCleanExitMarker(const std::string& markerName);

// A stored window coordinate (twips): negative, beyond the screen or not a
// number falls back to 5.
int windowCoordinate(const std::string& stored, int screenExtentTwips);

// A stored channel outside 2..181 (or not a number) becomes "2", and the
// stored text with it.
std::string RestoreChannel(const char* valueName);
// A tuner property read as "<not_exist>" (in any case) reads again as "Default".
std::string RestoreTunerProperty(const char* valueName);

// What the device block needs from the rest of the program.
class DeviceBlockHost {
public:
    virtual ~DeviceBlockHost() = default;
    virtual std::vector<std::string> deviceList(const std::string& typeName) = 0;
    virtual void readProfiles() = 0;
    virtual void restoreTuner() = 0; // tuner properties, channel, video input, plug-in
    virtual bool probePairs(const std::vector<std::string>& videos, const std::vector<std::string>& audios,
                            std::string& video, std::string& audio) = 0;
    virtual bool bringUp(const std::string& video, const std::string& audio) = 0; // modTuner Default
    virtual void createDefaultOutputFolder() = 0;
    virtual void fillDeviceBoxes(const std::vector<std::string>& videos, const std::vector<std::string>& audios,
                                 const std::string& video, const std::string& audio) = 0;
};

// The devices and tuner part of the start-up, checkpoints OK07 to OK16.
enum class DeviceOutcome { Ok, SavedPairFailed, NoVideo, NoAudio, TunerFailed };
struct DeviceBlockResult {
    DeviceOutcome outcome = DeviceOutcome::Ok;
    std::string video, audio; // the pair in use
    std::vector<std::string> videos, audios;
};
DeviceBlockResult RunDeviceBlock(DeviceBlockHost& host, bool firstRun);
// "n2", "n3", "n4" for the fatal outcomes, else empty.
std::string noticeCode(DeviceOutcome outcome);

// Completes the file that a run cut off by a crash or a kill was recording
// (rebuilt by the encoder engine as vesper-repair does), logs it and forgets
// it. Nothing when no recording was cut off.
void CompleteInterruptedRecording(Program& program);

// The exit button's rule.
enum class ExitDecision { Refuse, Ask, Unload, Defer };
ExitDecision cmdExitDecision(bool recording, bool settingNextEvent, bool exitWarning);

// Runs the start-up on the main window and its shut-down when it closes.
class VesperStartup : public QObject {
    Q_OBJECT
public:
    explicit VesperStartup(Program& program);
    ~VesperStartup() override;

    // The whole start-up. False when it ended by the failure exit (the
    // program ends; nothing was saved).
    bool FormLoad();
    frmVesper* window() { return m_window.get(); }
    // Asks the window to close as an exit request from outside (SIGTERM,
    // SIGINT, SIGHUP, the desktop's logout). During the start-up it abandons
    // the start.
    void requestClose();
    // The exit button.
    void cmdExitClick();
    // Saves and releases, in order; once. Failure exits save nothing.
    void Unload();
    // What the window's end releases: the scheduler (not saved), the tuner
    // and the encoder.
    void Terminate();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Asked before the window closes; false keeps it open.
    bool queryUnload(QCloseEvent* event);
    void unexpectedError(std::unique_ptr<QWidget, void (*)(QWidget*)>& loading, long number,
                         const std::string& description);
    void failureExit(const std::string& errorText);
    // True (after the failure exit) when a termination request came during
    // the start-up.
    bool abandoned();
    DeviceQuery deviceQuery();
    void bindToFirstProcessor();
    void layoutPane();
    void wireControls();
    void restoreWindowPosition();
    void restoreOptions();
    void applyColorScheme();
    void saveSettings();

    Program& m_program;
    std::unique_ptr<frmVesper> m_window;
    std::unique_ptr<GuidePaneLayout> m_pane;
    std::unique_ptr<ColorScheme> m_scheme;
    bool m_unloaded = false;
    bool m_terminated = false;
    bool m_loading = false;        // FormLoad is running
    bool m_closeRequested = false; // the close box was used while loading
    bool m_abortLoad = false;      // a termination request came while loading
    bool m_outsideClose = false;   // the close comes from outside (signal, logout)
    bool m_helpFile = false;       // Vesper.chm is there
};

} // namespace vesper
