#include "app/core/preview_control.h"

#include "app/core/status_log.h"

namespace vesper {

PreviewControl::PreviewControl(Program& program, PreviewHost& host) : m_program(program), m_host(host) {}

void PreviewControl::paneOn(const std::string& state) {
    guarded("TunerInitPreview", [&] {
        m_host.TunerInitPreview(m_host.mainWindowHandle(), kPaneLeft, kPaneTop, kPaneWidth, kPaneHeight, state);
    });
}

void PreviewControl::tvOn() {
    guarded("TunerInitPreview",
            [&] { m_host.TunerInitPreview(m_host.tvWindowHandle(), "0", "0", kPaneWidth, kPaneHeight, "1"); });
    guarded("AdjustOverlayScreen", [&] { m_host.AdjustOverlayScreen(); });
}

void PreviewControl::cmdPreviewClick() {
    if (m_program.g_bPreview) {
        PreviewOff();
        return;
    }
    m_program.g_bPreview = true;
    display.channelControlsVisible = true;
    display.lblChannelToolTip = kChannelPreviewToolTip;
    display.lblDetachTVVisible = true;
    display.lblDetachTVToolTip = kDetachToolTip;
    m_host.displayChanged();
    if (!m_host.recording()) guarded("TunerStart", [&] { m_host.TunerStart(); });
    // A tuner brought up by that start clears the flag as part of its
    // bring-up; the preview is on all the same.
    m_program.g_bPreview = true;
    if (m_program.g_bTvPreviewDetach) {
        followResize = false;
        m_host.showTvWindow();
        tvOn();
        followResize = true;
    } else {
        paneOn("1");
    }
}

void PreviewControl::PreviewOff() {
    m_program.g_bPreview = false;
    guarded("TunerSetPreview", [&] { m_host.TunerSetPreview("0"); });
    display.channelControlsVisible = false;
    display.lblChannelToolTip.clear();
    display.lblDetachTVVisible = false;
    display.lblDetachTVToolTip.clear();
    m_host.displayChanged();
    if (!m_host.recording()) guarded("TunerStp", [&] { m_host.TunerStp(); });
    if (m_program.g_bTvPreviewDetach) {
        followResize = false;
        m_host.unloadTvWindow();
        guarded("TunerSetPreview", [&] { m_host.TunerSetPreview("0"); });
    }
}

void PreviewControl::lblDetachTVClick() {
    if (!m_program.g_bTvPreviewDetach) {
        m_program.g_bTvPreviewDetach = true;
        followResize = false;
        m_host.showTvWindow();
        tvOn();
        followResize = true;
        display.lblDetachTVCaption = kAttachCaption;
        display.lblDetachTVToolTip = kAttachToolTip;
    } else {
        m_program.g_bTvPreviewDetach = false;
        display.lblDetachTVCaption = kDetachCaption;
        display.lblDetachTVToolTip = kDetachToolTip;
        followResize = false;
        m_host.unloadTvWindow();
        guarded("TunerSetPreview", [&] { m_host.TunerSetPreview("1"); });
    }
    m_host.displayChanged();
}

void PreviewControl::AttachTVScreen() {
    if (!m_program.g_bTvPreviewDetach) return;
    m_program.g_bTvPreviewDetach = false;
    display.lblDetachTVCaption = kDetachCaption;
    display.lblDetachTVToolTip = kDetachToolTip;
    paneOn(m_host.firstTabShown() ? "1" : "0");
    followResize = false;
    m_host.hideTvWindow();
    m_host.displayChanged();
}

void PreviewControl::PreviewOn() {
    display.lblDetachTVEnabled = true;
    if (m_program.g_bPreview) {
        display.channelControlsVisible = true;
        display.lblChannelToolTip = kChannelPreviewToolTip;
        display.lblDetachTVVisible = true;
        display.lblDetachTVToolTip = kDetachToolTip;
        if (m_host.firstTabShown()) guarded("TunerSetPreview", [&] { m_host.TunerSetPreview("1"); });
    }
    if (m_program.g_bTvPreviewDetach) {
        m_program.g_bTvPreviewDetach = false;
        if (m_program.g_bPreview) {
            display.lblDetachTVCaption = kDetachCaption;
            display.lblDetachTVToolTip = kDetachToolTip;
        }
        paneOn(m_program.g_bPreview && m_host.firstTabShown() ? "1" : "0");
    }
    m_host.displayChanged();
}

void PreviewControl::SSTab1Click(int tabIndex) {
    display.cmdEpgPaneVisible = tabIndex == 1;
    m_host.displayChanged();
    if (!m_program.g_bPreview) return;
    if (tabIndex == 0)
        guarded("TunerSetPreview", [&] { m_host.TunerSetPreview("1"); });
    else if (!m_program.g_bTvPreviewDetach)
        guarded("TunerSetPreview", [&] { m_host.TunerSetPreview("0"); });
}

void PreviewControl::tvClosedByUser() {
    m_program.g_bPreview = false;
    guarded("TunerSetPreview", [&] { m_host.TunerSetPreview("0"); });
    display.channelControlsVisible = false;
    display.lblChannelToolTip.clear();
    display.lblDetachTVVisible = false;
    display.lblDetachTVToolTip.clear();
    if (!m_host.recording()) guarded("TunerStp", [&] { m_host.TunerStp(); });
    if (m_program.g_bTvPreviewDetach) {
        followResize = false;
        m_host.unloadTvWindow();
        guarded("TunerSetPreview", [&] { m_host.TunerSetPreview("0"); });
        display.lblDetachTVCaption = kDetachCaption;
        m_program.g_bTvPreviewDetach = false;
    }
    m_host.displayChanged();
}

} // namespace vesper
