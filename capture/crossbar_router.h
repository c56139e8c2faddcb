// Finds every way a card's crossbars can bring a physical connector to the
// capture filter's analog video input, and switches them to one of those.
#pragma once

#include "capture/graph_model.h"

#include <string>
#include <vector>

namespace vesper::capture {

struct RouteStep {
    RouteStep* upstream = nullptr;   // during discovery only
    RouteStep* downstream = nullptr; // during discovery only
    long videoInput = -1;
    long videoOutput = -1;
    long audioInput = -1;     // the input related to the video input (-1: none)
    long audioOutput = -1;    // the output related to the video output (-1: none)
    FilterPtr crossbarFilter; // keeps the crossbar alive while the route is stored
    Crossbar* crossbar = nullptr;
    long inputType = 0;
    long outputType = 0;
    int depth = 0;
};

// Element 0 is the most upstream crossbar (its input type is the route's
// physical connector); the last element is the crossbar next to the capture
// filter.
using Route = std::vector<RouteStep>;

class CrossbarRouter {
public:
    // Discovers the routes that reach `analogVideoIn` (an input pin of the
    // capture filter), depth first, inputs in ascending order at every level.
    explicit CrossbarRouter(Pin* analogVideoIn);
    ~CrossbarRouter();
    CrossbarRouter(const CrossbarRouter&) = delete;
    CrossbarRouter& operator=(const CrossbarRouter&) = delete;

    long routeCount() const { return static_cast<long>(m_routes.size()); }
    const std::vector<Route>& routingList() const { return m_routes; }
    // The physical connector of route r (0 when there is no such route).
    long inputType(long r) const;
    // The connector's name of route r, cut to fit a buffer of `size`
    // characters with its terminator; E_FAIL for no such route.
    HRESULT routeName(long r, std::string* name, size_t size) const;
    // Switches every crossbar of route r; the answer is that of the last
    // video switch. E_FAIL (and nothing changes) when there is no route r.
    HRESULT selectRoute(long r);
    long currentRoute() const { return m_current; }

private:
    // True when the step's input is a physical connector (ends a route).
    bool discover(Pin* input, RouteStep* current, int depth);
    void store(RouteStep* last);

    Pin* m_start;
    RouteStep m_root;
    std::vector<Route> m_routes;
    long m_current = 0;
};

} // namespace vesper::capture
