// Capture filters of the devices: what binding a device of the catalog gives.
#pragma once

#include "capture/channel_tables.h"
#include "capture/device_catalog.h"
#include "capture/graph_model.h"

#include <cstdint>
#include <cstdio>
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
        // A channel the plan does not have is refused, as a tuner refuses a
        // frequency it cannot reach. The answer of SetChannel stays "OK", so
        // say why on standard error: the component keeps no log of its own.
        const long country = countryCode();
        const bool cable = inputType() == kTunerInputCable;
        const auto plan = activeChannelPlan(country, cable);
        const auto hz = plan ? plan->frequency(channel) : std::nullopt;
        if (!hz) {
            refused(channel, plan ? "the channel plan \"" + printableText(plan->name, 512) + "\" has no such channel"
                                  : std::string("there is no channel plan"));
            return kE_INVALIDARG;
        }
        const HRESULT hr = tune(channel, *hz);
        if (!succeeded(hr)) {
            char mhz[32];
            std::snprintf(mhz, sizeof mhz, "%.2f MHz", static_cast<double>(*hz) / 1e6);
            refused(channel, std::string("the card cannot tune ") + mhz + " (channel plan \"" +
                                 printableText(plan->name, 512) + "\")");
        }
        return hr;
    }
    HRESULT getChannel(long* channel) override {
        if (!channel) return kE_POINTER;
        *channel = tunedChannel();
        return kS_OK;
    }
    HRESULT putCountryCode(long code) override {
        if (!isKnownCountryCode(code)) {
            std::fprintf(stderr, "Capgraph: country code %ld refused: no channel plan for it\n", code);
            return kE_INVALIDARG;
        }
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
    HRESULT signalPresent(long* state) override {
        if (!state) return kE_POINTER;
        *state = signalState();
        return kS_OK;
    }

protected:
    // Tunes to the channel's frequency (in Hz) and keeps the channel.
    virtual HRESULT tune(long channel, int64_t hz) = 0;
    virtual long tunedChannel() const = 0;
    virtual long countryCode() const = 0;
    virtual void setCountryCode(long code) = 0;
    // The input type in use: the one put, else the country's power-on type
    // (see effectiveInputType).
    virtual long inputType() const = 0;
    virtual void setInputType(long type) = 0;
    virtual long signalState() const { return kTunerHasNoSignalStrength; }

private:
    void refused(long channel, const std::string& why) const {
        std::fprintf(stderr, "Capgraph: channel %ld refused (country %ld, %s): %s\n", channel, countryCode(),
                     inputType() == kTunerInputCable ? "cable" : "antenna", why.c_str());
    }

    Pin* m_out;
};

// The capture filter of a device, with its card's upstream filters (tuner,
// crossbars) ready for a graph builder; nullptr and the reason when the
// device is gone or cannot be opened.
FilterPtr bindDeviceFilter(const CatalogEntry& entry, std::string* why = nullptr);

// For V4L2 cards (v4l2_card.cpp).
FilterPtr bindV4l2Filter(const CatalogEntry& entry, std::string* why);

} // namespace vesper::capture
