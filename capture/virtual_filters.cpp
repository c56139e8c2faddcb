// The filters of a virtual TV card: capture filter (with its video decoder),
// crossbars and tuner, all switching the card's VirtualHardware.
#include "capture/device_filters.h"

namespace vesper::capture {

namespace {

MediaType analogType(long connector) {
    return isAudioConnector(connector) ? MediaType::AnalogAudio : MediaType::AnalogVideo;
}

class VirtualCrossbarFilter : public Filter, public Crossbar {
public:
    VirtualCrossbarFilter(size_t index, std::shared_ptr<VirtualHardware> hw)
        : Filter("Virtual Crossbar " + std::to_string(index)), m_index(index), m_hw(std::move(hw)) {
        const CrossbarDescription& x = description();
        for (size_t i = 0; i < x.inputs.size(); ++i)
            addPin(PinDirection::Input, PinCategory::None, analogType(x.inputs[i].type),
                   std::to_string(i) + ": " + connectorName(x.inputs[i].type));
        for (size_t o = 0; o < x.outputs.size(); ++o)
            addPin(PinDirection::Output, PinCategory::None, analogType(x.outputs[o].type),
                   std::to_string(o) + ": " + connectorName(x.outputs[o].type));
    }

    Pin* inputPin(long i) { return pins()[i].get(); }
    Pin* outputPin(long o) { return pins()[description().inputs.size() + o].get(); }

    void* query(Interface i, Pin*) override {
        return i == Interface::Crossbar ? static_cast<Crossbar*>(this) : nullptr;
    }

    HRESULT getPinCounts(long* outputs, long* inputs) override {
        if (!outputs || !inputs) return kE_POINTER;
        *outputs = static_cast<long>(description().outputs.size());
        *inputs = static_cast<long>(description().inputs.size());
        return kS_OK;
    }
    HRESULT canRoute(long output, long input) override {
        const CrossbarDescription& x = description();
        if (output < 0 || output >= static_cast<long>(x.outputs.size()) || input < -1 ||
            input >= static_cast<long>(x.inputs.size()))
            return kE_INVALIDARG;
        if (input == -1) return kS_OK; // switching an output off
        return isAudioConnector(x.inputs[input].type) == isAudioConnector(x.outputs[output].type) ? kS_OK : kS_FALSE;
    }
    HRESULT route(long output, long input) override {
        const HRESULT hr = canRoute(output, input);
        if (hr != kS_OK) return succeeded(hr) ? kE_INVALIDARG : hr;
        m_hw->route(m_index, output, input);
        return kS_OK;
    }
    HRESULT isRoutedTo(long output, long* input) override {
        if (!input) return kE_POINTER;
        if (output < 0 || output >= static_cast<long>(description().outputs.size())) return kE_INVALIDARG;
        *input = m_hw->routedInput(m_index, output);
        return kS_OK;
    }
    HRESULT getCrossbarPinInfo(bool isInput, long index, long* related, long* type) override {
        if (!related || !type) return kE_POINTER;
        const auto& side = isInput ? description().inputs : description().outputs;
        if (index < 0 || index >= static_cast<long>(side.size())) return kE_INVALIDARG;
        *related = side[index].related;
        *type = side[index].type;
        return kS_OK;
    }

private:
    const CrossbarDescription& description() const { return m_hw->description().crossbars[m_index]; }
    size_t m_index;
    std::shared_ptr<VirtualHardware> m_hw;
};

class VirtualTunerFilter : public TunerFilter {
public:
    explicit VirtualTunerFilter(std::shared_ptr<VirtualHardware> hw)
        : TunerFilter("Virtual TV Tuner"), m_hw(std::move(hw)) {}

protected:
    HRESULT tune(long channel, int64_t hz) override {
        m_hw->setChannel(channel, hz);
        return kS_OK;
    }
    long tunedChannel() const override { return m_hw->channel(); }
    long countryCode() const override { return m_hw->countryCode(); }
    void setCountryCode(long code) override { m_hw->setCountryCode(code); }
    long inputType() const override { return m_hw->inputType(); }
    void setInputType(long type) override { m_hw->setInputType(type); }
    long signalState() const override { return m_hw->signalPresent() ? kTunerSignalPresent : kTunerNoSignal; }

private:
    std::shared_ptr<VirtualHardware> m_hw;
};

class VirtualCaptureFilter : public Filter, public AnalogVideoDecoder, public StreamConfig {
public:
    VirtualCaptureFilter(const CatalogEntry& e, std::shared_ptr<VirtualHardware> hw)
        : Filter(e.info.friendlyName), m_hw(std::move(hw)), m_kind(e.info.kind) {
        const VirtualCardDescription& c = m_hw->description();
        if (m_kind == MediaKind::Audio) {
            m_capture = addPin(PinDirection::Output, PinCategory::Capture, MediaType::Audio, "Capture");
            return;
        }
        Pin* analogIn = nullptr;
        if (!c.crossbars.empty() || c.tuner)
            analogIn =
                addPin(PinDirection::Input, PinCategory::AnalogVideoIn, MediaType::AnalogVideo, "Analog Video In");
        m_capture = addPin(PinDirection::Output, PinCategory::Capture,
                           c.streamCarriesAudio ? MediaType::Interleaved : MediaType::Video, "Capture");
        addPin(PinDirection::Output, PinCategory::Preview,
               c.streamCarriesAudio ? MediaType::Interleaved : MediaType::Video, "Preview");

        // The card's upstream chain: crossbar 0 drives the capture filter's
        // analog input, crossbar k drives an input of crossbar k-1, and the
        // tuner drives the first tuner input that no crossbar drives.
        std::vector<std::shared_ptr<VirtualCrossbarFilter>> xbars;
        for (size_t k = 0; k < c.crossbars.size(); ++k) {
            auto x = std::make_shared<VirtualCrossbarFilter>(k, m_hw);
            if (k == 0) {
                long videoOut = 0;
                for (size_t o = 0; o < c.crossbars[0].outputs.size(); ++o)
                    if (!isAudioConnector(c.crossbars[0].outputs[o].type)) {
                        videoOut = static_cast<long>(o);
                        break;
                    }
                Pin::connect(x->outputPin(videoOut), analogIn);
            } else {
                Pin::connect(x->outputPin(c.crossbars[k].feedsOutput),
                             xbars[k - 1]->inputPin(c.crossbars[k].feedsInput));
            }
            xbars.push_back(x);
            m_upstream.push_back(x);
        }
        if (c.tuner) {
            auto tuner = std::make_shared<VirtualTunerFilter>(m_hw);
            bool connected = false;
            for (size_t k = xbars.size(); k-- > 0 && !connected;) {
                const auto& ins = c.crossbars[k].inputs;
                for (size_t i = 0; i < ins.size() && !connected; ++i)
                    if (ins[i].type == PhysConn_Video_Tuner && !xbars[k]->inputPin(static_cast<long>(i))->connectedTo())
                        connected = Pin::connect(tuner->output(), xbars[k]->inputPin(static_cast<long>(i)));
            }
            // A tuner without a crossbar drives the capture filter directly.
            if (xbars.empty()) Pin::connect(tuner->output(), analogIn);
            m_upstream.push_back(tuner);
        }
    }

    void* query(Interface i, Pin* pin) override {
        if (i == Interface::AnalogVideoDecoder && m_kind == MediaKind::Video && m_hw->description().decoder)
            return static_cast<AnalogVideoDecoder*>(this);
        if (i == Interface::StreamConfig && (!pin || pin->filter() == this)) return static_cast<StreamConfig*>(this);
        return nullptr;
    }
    std::vector<FilterPtr> upstreamFilters() override { return m_upstream; }
    std::string streamDevice() const override { return name(); }

    HRESULT getAvailableTVFormats(long* formats) override {
        if (!formats) return kE_POINTER;
        *formats = kAllVideoStandards;
        return kS_OK;
    }
    HRESULT putTVFormat(long format) override {
        // One standard at a time, and one the decoder knows.
        if (format <= 0 || (format & (format - 1)) != 0 || (format & kAllVideoStandards) == 0) return kE_INVALIDARG;
        m_hw->setVideoStandard(format);
        return kS_OK;
    }
    HRESULT getTVFormat(long* format) override {
        if (!format) return kE_POINTER;
        *format = m_hw->videoStandard();
        return kS_OK;
    }
    HRESULT getFormat(MediaType* major) override {
        if (!major) return kE_POINTER;
        *major = m_capture->mediaType();
        return kS_OK;
    }

private:
    std::shared_ptr<VirtualHardware> m_hw;
    MediaKind m_kind;
    Pin* m_capture = nullptr;
    std::vector<FilterPtr> m_upstream;
};

FilterPtr bindVirtualFilter(const CatalogEntry& e, std::string* why) {
    // The card must still be there: the description may have changed since
    // the devices were listed.
    const VirtualCardSet set = loadVirtualCards();
    const bool video = e.info.kind == MediaKind::Video;
    if (e.cardIndex >= set.cards.size() ||
        (video ? !set.cards[e.cardIndex].hasVideo || set.cards[e.cardIndex].video != e.info.friendlyName
               : !set.cards[e.cardIndex].hasAudio || set.cards[e.cardIndex].audio != e.info.friendlyName)) {
        if (why) *why = "the device \"" + e.info.friendlyName + "\" is no longer present";
        return nullptr;
    }
    return std::make_shared<VirtualCaptureFilter>(e, virtualHardware(set.cards[e.cardIndex], e.cardIndex));
}

} // namespace

FilterPtr bindDeviceFilter(const CatalogEntry& entry, std::string* why) {
    switch (entry.source) {
    case CatalogEntry::Source::Virtual: return bindVirtualFilter(entry, why);
    case CatalogEntry::Source::V4l2: return bindV4l2Filter(entry, why);
    case CatalogEntry::Source::GstDevice: {
        // A real audio device: a capture pin and nothing upstream.
        class AudioDeviceFilter : public Filter {
        public:
            explicit AudioDeviceFilter(std::string name) : Filter(std::move(name)) {
                addPin(PinDirection::Output, PinCategory::Capture, MediaType::Audio, "Capture");
            }
            std::string streamDevice() const override { return name(); }
        };
        return std::make_shared<AudioDeviceFilter>(entry.info.friendlyName);
    }
    }
    return nullptr;
}

} // namespace vesper::capture
