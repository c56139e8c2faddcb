// The capture graph's object model: filters with pins, a graph that holds
// them, and the interfaces a capture card's filters offer (crossbar, TV tuner,
// analog video decoder, stream configuration, video window). Shaped like the
// classic capture architecture so that routing and tuning run as designed;
// the filters themselves stand on GStreamer and V4L2.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vesper::capture {

using HRESULT = int32_t;
inline constexpr HRESULT kS_OK = 0;
inline constexpr HRESULT kS_FALSE = 1;
inline constexpr HRESULT kE_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT kE_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT kE_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT kE_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT kE_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
// The preview was made from the capture pin (the filter has no preview pin).
inline constexpr HRESULT kVFW_S_NOPREVIEWPIN = 0x0004027E;
inline bool succeeded(HRESULT hr) { return hr >= 0; }

enum class PinDirection { Input, Output };
enum class PinCategory { None, Capture, Preview, AnalogVideoIn };
enum class MediaType { Any, Video, Audio, Interleaved, AnalogVideo, AnalogAudio };

class Filter;
class FilterGraph;

class Pin {
public:
    Pin(Filter* owner, PinDirection dir, PinCategory category, MediaType type, std::string name)
        : m_owner(owner), m_dir(dir), m_category(category), m_type(type), m_name(std::move(name)) {}
    Filter* filter() const { return m_owner; }
    PinDirection direction() const { return m_dir; }
    PinCategory category() const { return m_category; }
    MediaType mediaType() const { return m_type; }
    const std::string& name() const { return m_name; }
    Pin* connectedTo() const { return m_peer; }

    // Connects an output pin to an input pin (both free); false otherwise.
    static bool connect(Pin* out, Pin* in);
    // Breaks this pin's connection (both ends).
    void disconnect();

private:
    Filter* m_owner;
    PinDirection m_dir;
    PinCategory m_category;
    MediaType m_type;
    std::string m_name;
    Pin* m_peer = nullptr;
};

// A crossbar switch: video and audio inputs routed to outputs.
class Crossbar {
public:
    virtual ~Crossbar() = default;
    virtual HRESULT getPinCounts(long* outputs, long* inputs) = 0;
    // S_OK when the output can be driven from the input, S_FALSE otherwise.
    virtual HRESULT canRoute(long output, long input) = 0;
    virtual HRESULT route(long output, long input) = 0;
    virtual HRESULT isRoutedTo(long output, long* input) = 0;
    virtual HRESULT getCrossbarPinInfo(bool isInput, long index, long* related, long* physicalType) = 0;
};

// Tuner input types.
inline constexpr long kTunerInputCable = 0;
inline constexpr long kTunerInputAntenna = 1;
// What a tuner's signal query answers.
inline constexpr long kTunerSignalPresent = 1;
inline constexpr long kTunerNoSignal = 0;
inline constexpr long kTunerHasNoSignalStrength = -1;

class TvTuner {
public:
    virtual ~TvTuner() = default;
    virtual HRESULT putChannel(long channel, long videoSubChannel, long audioSubChannel) = 0;
    virtual HRESULT getChannel(long* channel) = 0;
    virtual HRESULT putCountryCode(long code) = 0;
    virtual HRESULT getCountryCode(long* code) = 0;
    virtual HRESULT putInputType(long index, long type) = 0;
    virtual HRESULT getInputType(long index, long* type) = 0;
    virtual HRESULT getConnectInput(long* index) = 0;
    // Whether the tuned channel carries a signal: kTunerSignalPresent,
    // kTunerNoSignal, or kTunerHasNoSignalStrength when the tuner cannot tell.
    virtual HRESULT signalPresent(long* state) = 0;
};

class AnalogVideoDecoder {
public:
    virtual ~AnalogVideoDecoder() = default;
    virtual HRESULT getAvailableTVFormats(long* formats) = 0;
    virtual HRESULT putTVFormat(long format) = 0;
    virtual HRESULT getTVFormat(long* format) = 0;
};

class StreamConfig {
public:
    virtual ~StreamConfig() = default;
    // The major type of the pin's current format.
    virtual HRESULT getFormat(MediaType* major) = 0;
};

// Window styles and show states the preview uses.
inline constexpr long kWS_CHILD = 0x40000000;
inline constexpr long kSW_HIDE = 0;
inline constexpr long kSW_SHOW = 5;

struct Rect {
    long left = 0, top = 0, right = 0, bottom = 0;
};

// The video renderer's window.
class VideoWindow {
public:
    virtual ~VideoWindow() = default;
    // The owner window handle (0: none).
    virtual HRESULT putOwner(intptr_t owner) = 0;
    virtual HRESULT getOwner(intptr_t* owner) = 0;
    virtual HRESULT putWindowStyle(long style) = 0;
    virtual HRESULT putWindowState(long showCommand) = 0;
    virtual HRESULT setWindowPosition(long left, long top, long width, long height) = 0;
    virtual HRESULT getWindowPosition(long* left, long* top, long* width, long* height) = 0;
    virtual HRESULT putAutoShow(bool on) = 0;
    virtual HRESULT getAutoShow(bool* on) = 0;
    virtual HRESULT putVisible(bool visible) = 0;
    virtual HRESULT getVisible(bool* visible) = 0;
};

enum class Interface { Crossbar, TvTuner, AnalogVideoDecoder, StreamConfig, VideoCompression, VideoWindow };

class Filter : public std::enable_shared_from_this<Filter> {
public:
    explicit Filter(std::string name) : m_name(std::move(name)) {}
    virtual ~Filter();

    const std::string& name() const { return m_name; }
    // Pins in enumeration order.
    const std::vector<std::unique_ptr<Pin>>& pins() const { return m_pins; }
    FilterGraph* graph() const { return m_graph; }

    // The interface if the filter offers it; the pin narrows pin interfaces.
    virtual void* query(Interface, Pin* /*pin*/ = nullptr) { return nullptr; }
    template <class T> T* as(Interface i, Pin* pin = nullptr) { return static_cast<T*>(query(i, pin)); }

    // Filters a capture graph builder brings in upstream of this one (a
    // card's tuner and crossbars), already connected to it.
    virtual std::vector<std::shared_ptr<Filter>> upstreamFilters() { return {}; }
    // The capture device whose stream this filter delivers ("" when none).
    virtual std::string streamDevice() const { return {}; }

    virtual HRESULT run() { return kS_OK; }
    virtual HRESULT stop() { return kS_OK; }

protected:
    Pin* addPin(PinDirection dir, PinCategory category, MediaType type, std::string name);

private:
    friend class FilterGraph;
    std::string m_name;
    std::vector<std::unique_ptr<Pin>> m_pins;
    FilterGraph* m_graph = nullptr;
};

using FilterPtr = std::shared_ptr<Filter>;

class FilterGraph {
public:
    ~FilterGraph();
    HRESULT addFilter(const FilterPtr& f);
    HRESULT removeFilter(Filter* f);
    bool contains(const Filter* f) const;
    const std::vector<FilterPtr>& filters() const { return m_filters; }
    HRESULT disconnect(Pin* pin);

    // Runs every filter, downstream first; on a failure the filters already
    // running are stopped and the failure returned.
    HRESULT run();
    HRESULT stop();
    bool running() const { return m_running; }

    // The video window of the graph's renderer, if one is in the graph.
    VideoWindow* videoWindow();

private:
    std::vector<FilterPtr> m_filters;
    bool m_running = false;
};

// Makes the renderer the preview is drawn by (replaceable in tests).
using RendererFactory = std::function<FilterPtr()>;

class CaptureGraphBuilder {
public:
    explicit CaptureGraphBuilder(RendererFactory renderers) : m_renderers(std::move(renderers)) {}
    HRESULT setFiltergraph(FilterGraph* graph);

    // Looks an interface up on the filter's pin of that category and media
    // type, the filter itself and then upstream. The first request on a
    // filter adds its card's upstream filters to the graph.
    HRESULT findInterface(PinCategory category, MediaType type, Filter* filter, Interface iface, void** out);
    template <class T> HRESULT find(PinCategory category, MediaType type, Filter* filter, Interface iface, T** out) {
        void* p = nullptr;
        const HRESULT hr = findInterface(category, type, filter, iface, &p);
        *out = static_cast<T*>(p);
        return hr;
    }

    // Renders the pin of that category and type to a new renderer.
    // VFW_S_NOPREVIEWPIN when a preview was asked and made from the capture pin.
    HRESULT renderStream(PinCategory category, MediaType type, Filter* source);

private:
    Pin* findPin(Filter* f, PinCategory category, MediaType type) const;
    void addUpstream(Filter* f);

    FilterGraph* m_graph = nullptr;
    RendererFactory m_renderers;
};

} // namespace vesper::capture
