// The process-wide capture state behind the Command object: the device
// tables, the chosen pair, the capture graph with its builder and filters,
// the crossbar router and the preview placement.
#pragma once

#include "capture/crossbar_router.h"
#include "capture/device_catalog.h"
#include "capture/graph_model.h"

#include <array>
#include <memory>
#include <string>

namespace vesper::capture {

// What enumeration hands out for a device: enough to bind it later.
struct DeviceMoniker {
    CatalogEntry entry;
};
using MonikerPtr = std::shared_ptr<DeviceMoniker>;

struct DeviceTableEntry {
    std::string name;
    MonikerPtr moniker;
};

inline constexpr size_t kDeviceTableSize = 10;
using DeviceTable = std::array<DeviceTableEntry, kDeviceTableSize>;

// The renderer the preview is drawn by, unless a test gives another.
RendererFactory defaultRendererFactory();

class CaptureState {
public:
    explicit CaptureState(RendererFactory renderers = defaultRendererFactory());
    ~CaptureState();
    CaptureState(const CaptureState&) = delete;
    CaptureState& operator=(const CaptureState&) = delete;

    // Set by a successful Init, cleared by Release.
    bool initialised = false;

    // Fills both tables (at most 10 devices each; the rest are not stored)
    // and forgets the chosen pair.
    void enumerateDevices();
    // Exact, case-sensitive lookup of both names; when both are found the
    // state switches to them and the answer is true whatever that achieves.
    bool selectDevicesByName(const std::string& video, const std::string& audio);
    void switchDevices(const MonikerPtr& video, const MonikerPtr& audio);

    bool openCaptureDevices();
    void closeCaptureDevices();
    bool buildPreview();
    bool runPreview();
    bool haltPreview();
    void dismantlePreview();
    void pruneDownstream(Filter* filter);
    // Switches the crossbars to the last route whose connector matches the
    // kind (0 tuner, 1 S-Video, 2 composite); route 1 when none matches.
    void routeInputKind(long kind);

    // Tuner and decoder of the open video device, looked up afresh.
    TvTuner* findTuner();
    AnalogVideoDecoder* findDecoder();

    const DeviceTable& videoTable() const { return m_videoTable; }
    const DeviceTable& audioTable() const { return m_audioTable; }
    const MonikerPtr& chosenVideo() const { return m_chosenVideo; }
    const MonikerPtr& chosenAudio() const { return m_chosenAudio; }
    FilterGraph* graph() const { return m_graph.get(); }
    CaptureGraphBuilder* builder() const { return m_builder.get(); }
    Filter* videoCaptureFilter() const { return m_videoFilter.get(); }
    Filter* audioCaptureFilter() const { return m_audioFilter.get(); }
    VideoWindow* videoWindow() const { return m_videoWindow; }
    CrossbarRouter* router() const { return m_router.get(); }
    long routeCount() const { return m_router ? m_router->routeCount() : 0; }
    bool audioRelevant() const { return m_audioRelevant; }
    bool previewBuilt() const { return m_previewBuilt; }
    bool previewRunning() const { return m_previewRunning; }

    // Preview placement: the last owner window and whether a preview was
    // ever placed.
    intptr_t ownerWindow = 0;
    bool placed = false;

private:
    void fillTable(MediaKind kind, DeviceTable& table);
    // Gives the preview window back (hidden, without owner) and lets its
    // renderer go.
    void releaseVideoWindow();

    RendererFactory m_renderers;
    DeviceTable m_videoTable;
    DeviceTable m_audioTable;
    MonikerPtr m_chosenVideo;
    MonikerPtr m_chosenAudio;
    std::unique_ptr<CaptureGraphBuilder> m_builder;
    std::unique_ptr<FilterGraph> m_graph;
    FilterPtr m_videoFilter;
    FilterPtr m_audioFilter;
    StreamConfig* m_videoConfig = nullptr;
    StreamConfig* m_audioConfig = nullptr;
    VideoWindow* m_videoWindow = nullptr;
    FilterPtr m_videoWindowHolder; // keeps the renderer alive while its window is held
    std::unique_ptr<CrossbarRouter> m_router;
    bool m_audioRelevant = true;
    bool m_previewBuilt = false;
    bool m_previewRunning = false;
};

} // namespace vesper::capture
