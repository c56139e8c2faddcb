#include "capture/crossbar_router.h"

#include "capture/virtual_card.h"

namespace vesper::capture {

CrossbarRouter::CrossbarRouter(Pin* analogVideoIn) : m_start(analogVideoIn) {
    if (m_start) discover(m_start, &m_root, 0);
}

CrossbarRouter::~CrossbarRouter() = default; // the stored steps release their crossbars

bool CrossbarRouter::discover(Pin* input, RouteStep* current, int depth) {
    Pin* out = input->connectedTo();
    // Nothing drives this input: deeper than the first crossbar that means
    // the input is a physical connector.
    if (!out) return depth > 0;
    Filter* filter = out->filter();
    if (!filter) return false;
    auto* xbar = filter->as<Crossbar>(Interface::Crossbar);
    if (!xbar) return depth > 0;

    long outputs = 0, inputs = 0;
    if (!succeeded(xbar->getPinCounts(&outputs, &inputs))) return false;
    long position = 0;
    for (const auto& p : filter->pins()) {
        if (p.get() == out) break;
        ++position;
    }
    const long outIndex = position - inputs;
    long outRelated = -1, outType = 0;
    if (!succeeded(xbar->getCrossbarPinInfo(false, outIndex, &outRelated, &outType))) return false;

    for (long i = 0; i < inputs; ++i) {
        long inRelated = -1, inType = 0;
        if (!succeeded(xbar->getCrossbarPinInfo(true, i, &inRelated, &inType))) continue;
        if (isAudioConnector(inType)) continue; // sound follows its video through the related pins
        if (xbar->canRoute(outIndex, i) != kS_OK) continue;
        if (i >= static_cast<long>(filter->pins().size())) continue;
        Pin* inPin = filter->pins()[i].get();

        current->videoInput = i;
        current->videoOutput = outIndex;
        current->audioInput = inRelated;
        current->audioOutput = outRelated;
        current->crossbarFilter = filter->shared_from_this();
        current->crossbar = xbar;
        current->inputType = inType;
        current->outputType = outType;
        current->depth = depth;

        RouteStep next;
        next.downstream = current;
        current->upstream = &next;
        if (discover(inPin, &next, depth + 1)) {
            current->upstream = nullptr;
            store(current);
        }
        current->upstream = nullptr;
    }
    return false;
}

void CrossbarRouter::store(RouteStep* first) {
    Route route;
    for (RouteStep* s = first; s; s = s->downstream) {
        RouteStep copy = *s;
        copy.upstream = nullptr;
        copy.downstream = nullptr;
        route.push_back(std::move(copy));
        if (s->depth == 0) break;
    }
    m_routes.push_back(std::move(route));
}

long CrossbarRouter::inputType(long r) const {
    if (r < 0 || r >= routeCount() || m_routes[r].empty()) return 0;
    return m_routes[r].front().inputType;
}

HRESULT CrossbarRouter::routeName(long r, std::string* name, size_t size) const {
    if (!name) return kE_POINTER;
    name->clear();
    if (r < 0 || r >= routeCount()) return kE_FAIL;
    if (size == 0) return kS_OK;
    *name = connectorName(inputType(r));
    if (name->size() > size - 1) name->resize(size - 1);
    return kS_OK;
}

HRESULT CrossbarRouter::selectRoute(long r) {
    // A negative index would read before the list: refuse it like one past it.
    if (r < 0 || r >= routeCount()) return kE_FAIL;
    HRESULT hr = kS_OK;
    for (const RouteStep& step : m_routes[r]) {
        hr = step.crossbar->route(step.videoOutput, step.videoInput);
        if (step.audioOutput != -1 && step.audioInput != -1) step.crossbar->route(step.audioOutput, step.audioInput);
    }
    m_current = r;
    return hr;
}

} // namespace vesper::capture
