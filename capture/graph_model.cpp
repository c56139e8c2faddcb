#include "capture/graph_model.h"

#include <algorithm>
#include <deque>
#include <set>

namespace vesper::capture {

bool Pin::connect(Pin* out, Pin* in) {
    if (!out || !in || out->m_dir != PinDirection::Output || in->m_dir != PinDirection::Input) return false;
    if (out->m_peer || in->m_peer) return false;
    out->m_peer = in;
    in->m_peer = out;
    return true;
}

void Pin::disconnect() {
    if (m_peer) m_peer->m_peer = nullptr;
    m_peer = nullptr;
}

Filter::~Filter() {
    for (auto& p : m_pins)
        p->disconnect();
}

Pin* Filter::addPin(PinDirection dir, PinCategory category, MediaType type, std::string name) {
    m_pins.push_back(std::make_unique<Pin>(this, dir, category, type, std::move(name)));
    return m_pins.back().get();
}

// ---- FilterGraph ----

FilterGraph::~FilterGraph() {
    stop();
    for (auto& f : m_filters)
        f->m_graph = nullptr;
}

HRESULT FilterGraph::addFilter(const FilterPtr& f) {
    if (!f) return kE_POINTER;
    if (contains(f.get())) return kS_OK;
    if (f->m_graph) return kE_FAIL; // in another graph
    f->m_graph = this;
    m_filters.push_back(f);
    return kS_OK;
}

HRESULT FilterGraph::removeFilter(Filter* f) {
    auto it = std::find_if(m_filters.begin(), m_filters.end(), [f](const FilterPtr& p) { return p.get() == f; });
    if (it == m_filters.end()) return kE_INVALIDARG;
    if (m_running) f->stop();
    for (auto& p : f->pins())
        p->disconnect();
    f->m_graph = nullptr;
    m_filters.erase(it);
    return kS_OK;
}

bool FilterGraph::contains(const Filter* f) const {
    return std::any_of(m_filters.begin(), m_filters.end(), [f](const FilterPtr& p) { return p.get() == f; });
}

HRESULT FilterGraph::disconnect(Pin* pin) {
    if (!pin) return kE_POINTER;
    if (!pin->connectedTo()) return kS_FALSE;
    pin->disconnect();
    return kS_OK;
}

HRESULT FilterGraph::run() {
    if (m_running) return kS_OK;
    // Renderers last in the list are started first: the sinks are ready
    // before the sources flow.
    std::vector<Filter*> started;
    for (auto it = m_filters.rbegin(); it != m_filters.rend(); ++it) {
        const HRESULT hr = (*it)->run();
        if (!succeeded(hr)) {
            for (Filter* f : started)
                f->stop();
            return hr;
        }
        started.push_back(it->get());
    }
    m_running = true;
    return kS_OK;
}

HRESULT FilterGraph::stop() {
    if (!m_running) return kS_OK;
    for (auto& f : m_filters)
        f->stop();
    m_running = false;
    return kS_OK;
}

VideoWindow* FilterGraph::videoWindow() {
    for (auto& f : m_filters)
        if (auto* w = f->as<VideoWindow>(Interface::VideoWindow)) return w;
    return nullptr;
}

// ---- CaptureGraphBuilder ----

HRESULT CaptureGraphBuilder::setFiltergraph(FilterGraph* graph) {
    if (!graph) return kE_POINTER;
    if (m_graph) return kE_UNEXPECTED;
    m_graph = graph;
    return kS_OK;
}

namespace {
bool typeMatches(MediaType pin, MediaType wanted) { return wanted == MediaType::Any || pin == wanted; }
} // namespace

Pin* CaptureGraphBuilder::findPin(Filter* f, PinCategory category, MediaType type) const {
    for (auto& p : f->pins())
        if (p->direction() == PinDirection::Output && p->category() == category && typeMatches(p->mediaType(), type))
            return p.get();
    return nullptr;
}

void CaptureGraphBuilder::addUpstream(Filter* f) {
    if (!m_graph) return;
    for (auto& up : f->upstreamFilters())
        if (!m_graph->contains(up.get())) m_graph->addFilter(up);
}

HRESULT CaptureGraphBuilder::findInterface(PinCategory category, MediaType type, Filter* filter, Interface iface,
                                           void** out) {
    if (!out) return kE_POINTER;
    *out = nullptr;
    if (!filter) return kE_POINTER;
    addUpstream(filter);
    Pin* pin = nullptr;
    if (category != PinCategory::None) {
        pin = findPin(filter, category, type);
        if (!pin) return kE_FAIL;
    }
    if (void* p = filter->query(iface, pin)) {
        *out = p;
        return kS_OK;
    }
    // Upstream, nearest first.
    std::deque<Filter*> queue{filter};
    std::set<Filter*> seen{filter};
    while (!queue.empty()) {
        Filter* f = queue.front();
        queue.pop_front();
        for (auto& p : f->pins()) {
            if (p->direction() != PinDirection::Input || !p->connectedTo()) continue;
            Filter* up = p->connectedTo()->filter();
            if (!seen.insert(up).second) continue;
            if (void* q = up->query(iface, nullptr)) {
                *out = q;
                return kS_OK;
            }
            queue.push_back(up);
        }
    }
    return kE_NOINTERFACE;
}

HRESULT CaptureGraphBuilder::renderStream(PinCategory category, MediaType type, Filter* source) {
    if (!m_graph || !source) return kE_POINTER;
    Pin* pin = findPin(source, category, type);
    HRESULT result = kS_OK;
    if (!pin && category == PinCategory::Preview) {
        // No preview pin: preview from the capture pin.
        pin = findPin(source, PinCategory::Capture, type);
        if (pin) result = kVFW_S_NOPREVIEWPIN;
    }
    if (!pin) return kE_FAIL;
    if (pin->connectedTo()) return kE_FAIL;
    FilterPtr renderer = m_renderers ? m_renderers() : nullptr;
    if (!renderer) return kE_FAIL;
    Pin* in = nullptr;
    for (auto& p : renderer->pins())
        if (p->direction() == PinDirection::Input && !p->connectedTo()) in = p.get();
    if (!in || !succeeded(m_graph->addFilter(renderer))) return kE_FAIL;
    if (!Pin::connect(pin, in)) {
        m_graph->removeFilter(renderer.get());
        return kE_FAIL;
    }
    return result;
}

} // namespace vesper::capture
