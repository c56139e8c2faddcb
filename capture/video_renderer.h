// The preview's renderer: takes the capture device's stream and paints it
// into a child widget of the owner window (a Qt window id, as the window
// handle the caller passes), through the VideoWindow interface.
#pragma once

#include "capture/device_stream.h"
#include "capture/graph_model.h"

#include <memory>

class QWidget;

namespace vesper::capture {

class PreviewSurface;

class VideoRendererFilter : public Filter, public VideoWindow {
public:
    VideoRendererFilter();
    ~VideoRendererFilter() override;

    void* query(Interface i, Pin* pin) override;
    // Running means receiving the upstream capture filter's stream.
    HRESULT run() override;
    HRESULT stop() override;

    HRESULT putOwner(intptr_t owner) override;
    HRESULT getOwner(intptr_t* owner) override;
    HRESULT putWindowStyle(long style) override;
    HRESULT putWindowState(long showCommand) override;
    HRESULT setWindowPosition(long left, long top, long width, long height) override;
    HRESULT getWindowPosition(long* left, long* top, long* width, long* height) override;
    HRESULT putAutoShow(bool on) override;
    HRESULT getAutoShow(bool* on) override;
    HRESULT putVisible(bool visible) override;
    HRESULT getVisible(bool* visible) override;

    // Frames received from the device and frames painted, for checks.
    long framesReceived() const;
    long framesPainted() const;

private:
    void apply();

    std::shared_ptr<PreviewSurface> m_surface;
    std::unique_ptr<StreamSubscription> m_subscription;
    intptr_t m_owner = 0;
    bool m_autoShow = true;
    bool m_visible = false;
    long m_left = 0, m_top = 0, m_width = 320, m_height = 240;
};

// Frames of the preview that `widget` shows (the child widget a renderer
// paints into, object name "CapgraphPreview"), for checks and benchmarks.
struct PreviewFrames {
    long received = 0; // delivered by the device while the picture was wanted
    long shown = 0;    // painted
    long dropped = 0;  // wanted, but replaced or skipped before being painted
};
bool previewFrames(const QWidget* widget, PreviewFrames* frames);

// The client rectangle of a window given by its handle; false when the
// handle names no window of this process.
bool ownerClientRect(intptr_t owner, Rect* rect);

} // namespace vesper::capture
