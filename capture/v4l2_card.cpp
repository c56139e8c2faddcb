#include "capture/v4l2_card.h"

#include "capture/device_filters.h"
#include "capture/v4l2_io.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <mutex>

namespace vesper::capture {

long connectorForV4l2Input(const v4l2_input& input) {
    if (input.type == V4L2_INPUT_TYPE_TUNER) return PhysConn_Video_Tuner;
    std::string name = v4l2Text(input.name);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    name.erase(std::remove_if(name.begin(), name.end(), [](char c) { return c == '-' || c == ' ' || c == '_'; }),
               name.end());
    if (name.find("svideo") != std::string::npos || name.find("svhs") != std::string::npos)
        return PhysConn_Video_SVideo;
    if (name.find("composite") != std::string::npos || name.find("cvbs") != std::string::npos)
        return PhysConn_Video_Composite;
    return PhysConn_Video_AUX;
}

v4l2_std_id v4l2StandardFor(long s) {
    switch (s) {
    case AnalogVideo_NTSC_M: return V4L2_STD_NTSC_M;
    case AnalogVideo_NTSC_M_J: return V4L2_STD_NTSC_M_JP;
    case AnalogVideo_NTSC_433: return V4L2_STD_NTSC_443;
    case AnalogVideo_PAL_B: return V4L2_STD_PAL_B;
    case AnalogVideo_PAL_D: return V4L2_STD_PAL_D;
    case AnalogVideo_PAL_G: return V4L2_STD_PAL_G;
    case AnalogVideo_PAL_H: return V4L2_STD_PAL_H;
    case AnalogVideo_PAL_I: return V4L2_STD_PAL_I;
    case AnalogVideo_PAL_M: return V4L2_STD_PAL_M;
    case AnalogVideo_PAL_N: return V4L2_STD_PAL_N;
    case AnalogVideo_PAL_60: return V4L2_STD_PAL_60;
    case AnalogVideo_SECAM_B: return V4L2_STD_SECAM_B;
    case AnalogVideo_SECAM_D: return V4L2_STD_SECAM_D;
    case AnalogVideo_SECAM_G: return V4L2_STD_SECAM_G;
    case AnalogVideo_SECAM_H: return V4L2_STD_SECAM_H;
    case AnalogVideo_SECAM_K: return V4L2_STD_SECAM_K;
    case AnalogVideo_SECAM_K1: return V4L2_STD_SECAM_K1;
    case AnalogVideo_SECAM_L: return V4L2_STD_SECAM_L;
    case AnalogVideo_SECAM_L1: return V4L2_STD_SECAM_LC;
    case AnalogVideo_PAL_N_COMBO: return V4L2_STD_PAL_Nc;
    default: return 0;
    }
}

uint32_t v4l2FrequencyUnits(int64_t hz, bool lowUnits) {
    // Units of 62.5 kHz or 62.5 Hz, rounded to the nearest.
    const int64_t unit2 = lowUnits ? 125 : 125000; // twice the unit, in Hz
    return static_cast<uint32_t>((hz * 2 + unit2 / 2) / unit2);
}

namespace {

// One open descriptor per bound card, shared by its filters.
class V4l2Handle {
public:
    V4l2Handle(std::string node, int fd) : m_node(std::move(node)), m_fd(fd) {}
    ~V4l2Handle() {
        if (m_fd >= 0) v4l2Io().close(m_fd);
    }
    int ioctl(unsigned long request, void* arg) { return v4l2Io().ioctl(m_fd, request, arg); }
    const std::string& node() const { return m_node; }

private:
    std::string m_node;
    int m_fd;
};
using HandlePtr = std::shared_ptr<V4l2Handle>;

// What a tuner keeps between openings (country and input type), by node. It
// powers on as the virtual card does: country 1, and no input type put, so
// the country's own (cable in the Americas) applies.
struct TunerSettings {
    long country = 1;
    long inputType = -1;
};
TunerSettings& tunerSettings(const std::string& node) {
    static std::map<std::string, TunerSettings> settings;
    return settings[node];
}
std::mutex g_settingsMutex;

class V4l2CrossbarFilter : public Filter, public Crossbar {
public:
    V4l2CrossbarFilter(HandlePtr h, std::vector<v4l2_input> inputs)
        : Filter("V4L2 Crossbar"), m_h(std::move(h)), m_inputs(std::move(inputs)) {
        for (const auto& in : m_inputs)
            addPin(PinDirection::Input, PinCategory::None, MediaType::AnalogVideo, v4l2Text(in.name));
        m_out = addPin(PinDirection::Output, PinCategory::None, MediaType::AnalogVideo, "Video Decoder Out");
    }
    Pin* output() { return m_out; }
    Pin* input(size_t i) { return pins()[i].get(); }
    const std::vector<v4l2_input>& inputs() const { return m_inputs; }

    void* query(Interface i, Pin*) override {
        return i == Interface::Crossbar ? static_cast<Crossbar*>(this) : nullptr;
    }

    HRESULT getPinCounts(long* outputs, long* inputs) override {
        if (!outputs || !inputs) return kE_POINTER;
        *outputs = 1;
        *inputs = static_cast<long>(m_inputs.size());
        return kS_OK;
    }
    HRESULT canRoute(long output, long input) override {
        if (output != 0 || input < -1 || input >= static_cast<long>(m_inputs.size())) return kE_INVALIDARG;
        return input == -1 ? kS_FALSE : kS_OK;
    }
    HRESULT route(long output, long input) override {
        if (canRoute(output, input) != kS_OK) return kE_INVALIDARG;
        int index = static_cast<int>(m_inputs[input].index);
        return m_h->ioctl(VIDIOC_S_INPUT, &index) == 0 ? kS_OK : kE_FAIL;
    }
    HRESULT isRoutedTo(long output, long* input) override {
        if (!input) return kE_POINTER;
        if (output != 0) return kE_INVALIDARG;
        int index = -1;
        if (m_h->ioctl(VIDIOC_G_INPUT, &index) != 0) return kE_FAIL;
        *input = -1;
        for (size_t i = 0; i < m_inputs.size(); ++i)
            if (static_cast<int>(m_inputs[i].index) == index) *input = static_cast<long>(i);
        return kS_OK;
    }
    HRESULT getCrossbarPinInfo(bool isInput, long index, long* related, long* type) override {
        if (!related || !type) return kE_POINTER;
        *related = -1;
        if (!isInput) {
            if (index != 0) return kE_INVALIDARG;
            *type = PhysConn_Video_VideoDecoder;
            return kS_OK;
        }
        if (index < 0 || index >= static_cast<long>(m_inputs.size())) return kE_INVALIDARG;
        *type = connectorForV4l2Input(m_inputs[index]);
        return kS_OK;
    }

private:
    HandlePtr m_h;
    std::vector<v4l2_input> m_inputs;
    Pin* m_out;
};

class V4l2TunerFilter : public TunerFilter {
public:
    V4l2TunerFilter(HandlePtr h, uint32_t tuner) : TunerFilter("V4L2 TV Tuner"), m_h(std::move(h)), m_tuner(tuner) {}

protected:
    HRESULT tune(long channel, int64_t hz) override {
        v4l2_tuner t{};
        t.index = m_tuner;
        if (m_h->ioctl(VIDIOC_G_TUNER, &t) != 0) return kE_FAIL;
        const uint32_t f = v4l2FrequencyUnits(hz, t.capability & V4L2_TUNER_CAP_LOW);
        if (t.rangehigh > t.rangelow && (f < t.rangelow || f > t.rangehigh)) return kE_INVALIDARG;
        v4l2_frequency freq{};
        freq.tuner = m_tuner;
        freq.type = V4L2_TUNER_ANALOG_TV;
        freq.frequency = f;
        if (m_h->ioctl(VIDIOC_S_FREQUENCY, &freq) != 0) return kE_FAIL;
        m_channel = channel;
        return kS_OK;
    }
    long tunedChannel() const override { return m_channel; }
    long countryCode() const override { return settings().country; }
    void setCountryCode(long code) override {
        std::lock_guard lock(g_settingsMutex);
        tunerSettings(m_h->node()).country = code;
    }
    long inputType() const override {
        const TunerSettings s = settings();
        return effectiveInputType(s.country, s.inputType);
    }
    void setInputType(long type) override {
        std::lock_guard lock(g_settingsMutex);
        tunerSettings(m_h->node()).inputType = type;
    }
    long signalState() const override {
        v4l2_tuner t{};
        t.index = m_tuner;
        if (m_h->ioctl(VIDIOC_G_TUNER, &t) != 0) return kTunerHasNoSignalStrength;
        return t.signal > 0 ? kTunerSignalPresent : kTunerNoSignal;
    }

private:
    TunerSettings settings() const {
        std::lock_guard lock(g_settingsMutex);
        return tunerSettings(m_h->node());
    }
    HandlePtr m_h;
    uint32_t m_tuner;
    long m_channel = 0;
};

class V4l2CaptureFilter : public Filter, public AnalogVideoDecoder, public StreamConfig {
public:
    V4l2CaptureFilter(const CatalogEntry& e, HandlePtr h, std::vector<v4l2_input> inputs)
        : Filter(e.info.friendlyName), m_h(std::move(h)) {
        Pin* analogIn = nullptr;
        if (!inputs.empty())
            analogIn =
                addPin(PinDirection::Input, PinCategory::AnalogVideoIn, MediaType::AnalogVideo, "Analog Video In");
        // No preview pin: the preview is made from the capture pin.
        addPin(PinDirection::Output, PinCategory::Capture, MediaType::Video, "Capture");
        if (inputs.empty()) return;
        auto xbar = std::make_shared<V4l2CrossbarFilter>(m_h, inputs);
        Pin::connect(xbar->output(), analogIn);
        m_upstream.push_back(xbar);
        for (size_t i = 0; i < inputs.size(); ++i) {
            if (inputs[i].type != V4L2_INPUT_TYPE_TUNER) continue;
            auto tuner = std::make_shared<V4l2TunerFilter>(m_h, inputs[i].tuner);
            Pin::connect(tuner->output(), xbar->input(i));
            m_upstream.push_back(tuner);
            break;
        }
    }

    void* query(Interface i, Pin* pin) override {
        if (i == Interface::AnalogVideoDecoder) return static_cast<AnalogVideoDecoder*>(this);
        if (i == Interface::StreamConfig && (!pin || pin->filter() == this)) return static_cast<StreamConfig*>(this);
        return nullptr;
    }
    std::vector<FilterPtr> upstreamFilters() override { return m_upstream; }
    std::string streamDevice() const override { return name(); }

    HRESULT getAvailableTVFormats(long* formats) override {
        if (!formats) return kE_POINTER;
        long bits = 0;
        for (uint32_t i = 0; i < 64; ++i) {
            v4l2_standard s{};
            s.index = i;
            if (m_h->ioctl(VIDIOC_ENUMSTD, &s) != 0) break;
            for (long b = 1; b <= AnalogVideo_PAL_N_COMBO; b <<= 1)
                if (v4l2StandardFor(b) & s.id) bits |= b;
        }
        *formats = bits;
        return kS_OK;
    }
    HRESULT putTVFormat(long format) override {
        v4l2_std_id id = v4l2StandardFor(format);
        if (!id) return kE_INVALIDARG;
        return m_h->ioctl(VIDIOC_S_STD, &id) == 0 ? kS_OK : kE_FAIL;
    }
    HRESULT getTVFormat(long* format) override {
        if (!format) return kE_POINTER;
        v4l2_std_id id = 0;
        if (m_h->ioctl(VIDIOC_G_STD, &id) != 0) return kE_FAIL;
        *format = 0;
        for (long b = 1; b <= AnalogVideo_PAL_N_COMBO; b <<= 1)
            if (v4l2StandardFor(b) && (v4l2StandardFor(b) & id) == v4l2StandardFor(b)) {
                *format = b;
                break;
            }
        return kS_OK;
    }
    HRESULT getFormat(MediaType* major) override {
        if (!major) return kE_POINTER;
        *major = MediaType::Video;
        return kS_OK;
    }

private:
    HandlePtr m_h;
    std::vector<FilterPtr> m_upstream;
};

} // namespace

FilterPtr bindV4l2Filter(const CatalogEntry& e, std::string* why) {
    const int fd = v4l2Io().open(e.node);
    if (fd < 0) {
        if (why) *why = "the device " + e.node + " cannot be opened";
        return nullptr;
    }
    auto handle = std::make_shared<V4l2Handle>(e.node, fd);
    // The node must still be the card that was listed.
    v4l2_capability cap{};
    if (handle->ioctl(VIDIOC_QUERYCAP, &cap) != 0 || v4l2Text(cap.card) != e.info.friendlyName) {
        if (why) *why = "the device " + e.node + " is no longer \"" + e.info.friendlyName + "\"";
        return nullptr;
    }
    std::vector<v4l2_input> inputs;
    for (uint32_t i = 0; i < 64; ++i) {
        v4l2_input in{};
        in.index = i;
        if (handle->ioctl(VIDIOC_ENUMINPUT, &in) != 0) break;
        inputs.push_back(in);
    }
    return std::make_shared<V4l2CaptureFilter>(e, handle, std::move(inputs));
}

} // namespace vesper::capture
