// Capture filters of the devices: what binding a device of the catalog gives.
#pragma once

#include "capture/channel_tables.h"
#include "capture/device_catalog.h"
#include "capture/graph_model.h"

#include <cstdint>
#include <string>

namespace vesper::capture {

// A card's tuner filter: the argument checks and answers every tuner gives
// alike. The card keeps the state and tunes the frequency.
class TunerFilter : public Filter, public TvTuner {
public:
    explicit TunerFilter(std::string name) : Filter(std::move(name)) {
        m_out = addPin(PinDirection::Output, PinCategory::None, MediaType::AnalogVideo, "Analog Video");
    }
    Pin* output() { return m_out; }

    void* query(Interface i, Pin*) override { return i == Interface::TvTuner ? static_cast<TvTuner*>(this) : nullptr; }

    HRESULT putChannel(long channel, long, long) override {
        // A channel the current table does not have is refused, as a tuner
        // refuses a frequency it cannot reach.
        const auto hz = channelFrequency(countryCode(), inputType() == kTunerInputCable, channel);
        if (!hz) return kE_INVALIDARG;
        return tune(channel, *hz);
    }
    HRESULT getChannel(long* channel) override {
        if (!channel) return kE_POINTER;
        *channel = tunedChannel();
        return kS_OK;
    }
    HRESULT putCountryCode(long code) override {
        if (!isKnownCountryCode(code)) return kE_INVALIDARG;
        setCountryCode(code);
        return kS_OK;
    }
    HRESULT getCountryCode(long* code) override {
        if (!code) return kE_POINTER;
        *code = countryCode();
        return kS_OK;
    }
    HRESULT putInputType(long index, long type) override {
        if (index != 0 || (type != kTunerInputCable && type != kTunerInputAntenna)) return kE_INVALIDARG;
        setInputType(type);
        return kS_OK;
    }
    HRESULT getInputType(long index, long* type) override {
        if (!type) return kE_POINTER;
        if (index != 0) return kE_INVALIDARG;
        *type = inputType();
        return kS_OK;
    }
    HRESULT getConnectInput(long* index) override {
        if (!index) return kE_POINTER;
        *index = 0;
        return kS_OK;
    }

protected:
    // Tunes to the channel's frequency (in Hz) and keeps the channel.
    virtual HRESULT tune(long channel, int64_t hz) = 0;
    virtual long tunedChannel() const = 0;
    virtual long countryCode() const = 0;
    virtual void setCountryCode(long code) = 0;
    virtual long inputType() const = 0;
    virtual void setInputType(long type) = 0;

private:
    Pin* m_out;
};

// The capture filter of a device, with its card's upstream filters (tuner,
// crossbars) ready for a graph builder; nullptr and the reason when the
// device is gone or cannot be opened.
FilterPtr bindDeviceFilter(const CatalogEntry& entry, std::string* why = nullptr);

// For V4L2 cards (v4l2_card.cpp).
FilterPtr bindV4l2Filter(const CatalogEntry& entry, std::string* why);

} // namespace vesper::capture
