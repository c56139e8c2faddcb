// Live TV's states and transitions: preview off, on in the main window's pane,
// on in the detached TV window. A plain class; the main window renders its
// display and carries out the window operations it asks for.
#pragma once

#include "app/core/program.h"

#include <string>

namespace vesper {

// The pane's rectangle in the main window's client area (pixels, as text for
// the tuner client).
inline constexpr const char* kPaneLeft = "326";
inline constexpr const char* kPaneTop = "79";
inline constexpr const char* kPaneWidth = "202";
inline constexpr const char* kPaneHeight = "152";

inline constexpr const char* kDetachCaption = "Detach TV";
inline constexpr const char* kAttachCaption = "Attach TV";
inline constexpr const char* kDetachToolTip = " Click to detach into a resizable TV screen! ";
inline constexpr const char* kAttachToolTip = " Click to attach into a small non-resizable TV screen! ";
inline constexpr const char* kChannelPreviewToolTip = " DblClk for Preview to this Channel ";

class PreviewHost {
public:
    virtual ~PreviewHost() = default;
    // The tuner client (their errors are caught by the caller).
    virtual void TunerStart() = 0;
    virtual void TunerStp() = 0;
    virtual void TunerSetPreview(const std::string& state) = 0;
    virtual void TunerInitPreview(const std::string& hwnd, const std::string& left, const std::string& top,
                                  const std::string& width, const std::string& height, const std::string& state) = 0;

    virtual std::string mainWindowHandle() = 0;
    virtual std::string tvWindowHandle() = 0;
    virtual bool recording() = 0;
    virtual bool firstTabShown() = 0;

    // frmTV: shown modeless in its normal state (loaded first when needed),
    // unloaded, hidden, and its picture fitted to it.
    virtual void showTvWindow() = 0;
    virtual void unloadTvWindow() = 0;
    virtual void hideTvWindow() = 0;
    virtual void AdjustOverlayScreen() = 0;

    virtual void displayChanged() = 0;
};

// What the main window shows of the preview's controls.
struct PreviewDisplay {
    bool channelControlsVisible = false; // txtChannel and updnChannel
    std::string lblChannelToolTip;
    bool lblDetachTVVisible = false;
    bool lblDetachTVEnabled = true;
    std::string lblDetachTVCaption = kDetachCaption;
    std::string lblDetachTVToolTip = " Detach or Attach TV Window ";
    bool cmdEpgPaneVisible = false;
};

class PreviewControl {
public:
    PreviewControl(Program& program, PreviewHost& host);

    void cmdPreviewClick();
    void lblDetachTVClick();
    // The preview switched off (cmdPreview's on-to-off branch).
    void PreviewOff();
    // The preview restored after a recording has started.
    void PreviewOn();
    // Moves the picture from the TV window back into the pane.
    void AttachTVScreen();
    void SSTab1Click(int tabIndex);
    // frmTV closed with its close box: the preview goes off entirely.
    void tvClosedByUser();

    // frmTV resizes the picture on its resize events only when set.
    bool followResize = false;
    PreviewDisplay display;

private:
    void paneOn(const std::string& state);
    void tvOn();
    Program& m_program;
    PreviewHost& m_host;
};

} // namespace vesper
