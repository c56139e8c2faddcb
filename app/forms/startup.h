// Start-up and shut-down of the main program: the checkpoints of the start-up
// trace, the device block, the clean-exit marker, the exit rules, and the
// driver that runs them on the main window.
#pragma once

#include "app/core/program.h"
#include "app/core/startup_rules.h"
#include "app/core/vesper_core.h"

#include <QObject>

class QCloseEvent;
class QWidget;

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vesper {

class frmVesper;
class GuidePaneLayout;
class ColorScheme;
struct DeviceQuery;

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
    void requestClose(EndReason reason = EndReason::Signal);
    // The exit button.
    void cmdExitClick();
    // The program ends, whatever the way out: the core's one way out, with
    // the clean-exit marker and the settings saved (when they are valid).
    // Once; a failure exit or a discarded start saves nothing else.
    void endProgram(EndReason reason);

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
    bool m_loading = false;                   // FormLoad is running
    bool m_closeRequested = false;            // the close box was used while loading
    bool m_abortLoad = false;                 // a termination request came while loading
    std::optional<EndReason> m_outsideReason; // the close comes from outside (signal, logout)
    bool m_helpFile = false;                  // Vesper.chm is there
};

} // namespace vesper
