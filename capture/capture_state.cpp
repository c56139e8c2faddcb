#include "capture/capture_state.h"

#include "capture/device_filters.h"
#include "capture/video_renderer.h"

namespace vesper::capture {

RendererFactory defaultRendererFactory() {
    return [] { return std::make_shared<VideoRendererFilter>(); };
}

CaptureState::CaptureState(RendererFactory renderers) : m_renderers(std::move(renderers)) {}

CaptureState::~CaptureState() {
    haltPreview();
    dismantlePreview();
    closeCaptureDevices();
}

// ---- Devices ----

void CaptureState::fillTable(MediaKind kind, DeviceTable& table) {
    size_t index = 0;
    for (auto& entry : catalogDevices(kind)) {
        // The table has room for ten; later devices are not stored.
        if (index >= kDeviceTableSize) break;
        table[index].name = entry.info.friendlyName;
        table[index].moniker = std::make_shared<DeviceMoniker>(DeviceMoniker{std::move(entry)});
        ++index;
    }
}

void CaptureState::enumerateDevices() {
    for (auto* table : {&m_videoTable, &m_audioTable})
        for (auto& e : *table)
            e = DeviceTableEntry{};
    m_chosenVideo.reset();
    m_chosenAudio.reset();
    fillTable(MediaKind::Video, m_videoTable);
    fillTable(MediaKind::Audio, m_audioTable);
}

bool CaptureState::selectDevicesByName(const std::string& video, const std::string& audio) {
    auto lookup = [](const DeviceTable& table, const std::string& name) -> MonikerPtr {
        if (name.empty()) return nullptr;
        for (const auto& e : table)
            if (e.moniker && e.name == name) return e.moniker;
        return nullptr;
    };
    MonikerPtr v = lookup(m_videoTable, video);
    MonikerPtr a = lookup(m_audioTable, audio);
    if (!v || !a) return false;
    switchDevices(v, a);
    return true;
}

void CaptureState::switchDevices(const MonikerPtr& video, const MonikerPtr& audio) {
    if (video == m_chosenVideo && audio == m_chosenAudio) return;
    m_chosenVideo = video;
    m_chosenAudio = audio;
    if (m_previewRunning) haltPreview();
    closeCaptureDevices();
    openCaptureDevices();
    buildPreview();
    runPreview();
    routeInputKind(0);
}

bool CaptureState::openCaptureDevices() {
    m_builder = std::make_unique<CaptureGraphBuilder>(m_renderers);
    if (!m_chosenVideo) {
        closeCaptureDevices();
        return false;
    }
    m_videoFilter = bindDeviceFilter(m_chosenVideo->entry);
    if (!m_videoFilter) {
        closeCaptureDevices();
        return false;
    }
    m_graph = std::make_unique<FilterGraph>();
    if (!succeeded(m_builder->setFiltergraph(m_graph.get())) || !succeeded(m_graph->addFilter(m_videoFilter))) {
        closeCaptureDevices();
        return false;
    }
    // The first request brings the card's tuner and crossbars into the graph.
    void* unused = nullptr;
    if (m_builder->findInterface(PinCategory::Capture, MediaType::Interleaved, m_videoFilter.get(),
                                 Interface::VideoCompression, &unused) != kS_OK)
        m_builder->findInterface(PinCategory::Capture, MediaType::Video, m_videoFilter.get(),
                                 Interface::VideoCompression, &unused);
    if (m_builder->find(PinCategory::Capture, MediaType::Interleaved, m_videoFilter.get(), Interface::StreamConfig,
                        &m_videoConfig) != kS_OK)
        m_builder->find(PinCategory::Capture, MediaType::Video, m_videoFilter.get(), Interface::StreamConfig,
                        &m_videoConfig);

    // A stream that already carries more than video needs no audio device.
    m_audioRelevant = true;
    MediaType major = MediaType::Video;
    if (m_videoConfig && succeeded(m_videoConfig->getFormat(&major)) && major != MediaType::Video)
        m_audioRelevant = false;

    for (const auto& pin : m_videoFilter->pins()) {
        if (pin->direction() == PinDirection::Input && pin->category() == PinCategory::AnalogVideoIn) {
            m_router = std::make_unique<CrossbarRouter>(pin.get());
            break;
        }
    }

    if (m_audioRelevant && m_chosenAudio) {
        m_audioFilter = bindDeviceFilter(m_chosenAudio->entry);
        if (m_audioFilter) {
            if (!succeeded(m_graph->addFilter(m_audioFilter))) {
                closeCaptureDevices();
                return false;
            }
            m_builder->find(PinCategory::Capture, MediaType::Audio, m_audioFilter.get(), Interface::StreamConfig,
                            &m_audioConfig);
        }
    }
    return true;
}

void CaptureState::closeCaptureDevices() {
    // A graph closed while its preview was still built takes the preview
    // with it, so nothing is left pointing into released filters.
    if (m_videoWindow || m_previewBuilt) {
        if (m_graph) m_graph->stop();
        releaseVideoWindow();
        m_previewBuilt = false;
        m_previewRunning = false;
    }
    m_graph.reset();
    m_builder.reset();
    m_videoFilter.reset();
    m_audioFilter.reset();
    m_audioConfig = nullptr;
    m_videoConfig = nullptr;
    m_router.reset();
}

void CaptureState::releaseVideoWindow() {
    if (m_videoWindow) {
        m_videoWindow->putOwner(0);
        m_videoWindow->putVisible(false);
    }
    m_videoWindow = nullptr;
    m_videoWindowHolder.reset();
}

// ---- Preview graph ----

bool CaptureState::buildPreview() {
    if (m_previewBuilt) return true;
    if (m_previewRunning || !m_videoFilter || !m_builder || !m_graph) return false;
    const HRESULT hr = m_builder->renderStream(PinCategory::Preview, MediaType::Interleaved, m_videoFilter.get());
    if (hr != kS_OK && hr != kVFW_S_NOPREVIEWPIN)
        m_builder->renderStream(PinCategory::Preview, MediaType::Video, m_videoFilter.get());
    m_videoWindow = m_graph->videoWindow();
    if (m_videoWindow) {
        for (const auto& f : m_graph->filters())
            if (f->as<VideoWindow>(Interface::VideoWindow) == m_videoWindow) m_videoWindowHolder = f;
        m_videoWindow->putAutoShow(false);
        m_videoWindow->putVisible(false);
    }
    m_previewBuilt = true;
    return true;
}

bool CaptureState::runPreview() {
    if (m_previewRunning) return true;
    if (!m_graph) return false;
    if (!succeeded(m_graph->run())) {
        m_graph->stop();
        return false;
    }
    m_previewRunning = true;
    return true;
}

bool CaptureState::haltPreview() {
    if (!m_previewRunning) return false;
    if (!m_graph || !succeeded(m_graph->stop())) return false;
    m_previewRunning = false;
    return true;
}

void CaptureState::dismantlePreview() {
    releaseVideoWindow();
    pruneDownstream(m_videoFilter.get());
    pruneDownstream(m_audioFilter.get());
    m_previewBuilt = false;
}

void CaptureState::pruneDownstream(Filter* filter) {
    if (!filter || !m_graph) return;
    for (const auto& pin : filter->pins()) {
        Pin* other = pin->connectedTo();
        if (!other || other->direction() != PinDirection::Input) continue;
        Filter* downstream = other->filter();
        pruneDownstream(downstream);
        m_graph->disconnect(other); // both ends
        m_graph->removeFilter(downstream);
    }
}

// ---- Crossbar ----

void CaptureState::routeInputKind(long kind) {
    const long routes = routeCount();
    if (routes == 0) return;
    long choice = -1;
    for (long r = 0; r < routes; ++r) {
        const long type = m_router->inputType(r);
        if ((type == PhysConn_Video_Tuner && kind == 0) || (type == PhysConn_Video_Composite && kind == 2) ||
            (type == PhysConn_Video_SVideo && kind == 1))
            choice = r;
    }
    if (choice < 0 || choice > 15) choice = 1;
    m_router->selectRoute(choice);
}

// ---- Tuner and decoder ----

TvTuner* CaptureState::findTuner() {
    if (!m_builder || !m_videoFilter) return nullptr;
    TvTuner* tuner = nullptr;
    if (m_builder->find(PinCategory::Capture, MediaType::Interleaved, m_videoFilter.get(), Interface::TvTuner,
                        &tuner) != kS_OK)
        m_builder->find(PinCategory::Capture, MediaType::Video, m_videoFilter.get(), Interface::TvTuner, &tuner);
    return tuner;
}

AnalogVideoDecoder* CaptureState::findDecoder() {
    if (!m_builder || !m_videoFilter) return nullptr;
    AnalogVideoDecoder* decoder = nullptr;
    m_builder->find(PinCategory::None, MediaType::Video, m_videoFilter.get(), Interface::AnalogVideoDecoder, &decoder);
    return decoder;
}

} // namespace vesper::capture
