#include "capture/virtual_card.h"

#include "capture/channel_tables.h"
#include "capture/device_stream.h"
#include "platform/errors.h"
#include "platform/files.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>

namespace vesper::capture {

namespace {

struct NamedConnector {
    long type;
    const char* name;
};

constexpr NamedConnector kConnectors[] = {
    {1, "Video Tuner"},
    {2, "Video Composite"},
    {3, "Video SVideo"},
    {4, "Video RGB"},
    {5, "Video YRYBY"},
    {6, "Video SerialDigital"},
    {7, "Video ParallelDigital"},
    {8, "Video SCSI"},
    {9, "Video AUX"},
    {10, "Video 1394"},
    {11, "Video USB"},
    {12, "Video Decoder"},
    {13, "Video Encoder"},
    {4096, "Audio Tuner"},
    {4097, "Audio Line"},
    {4098, "Audio Mic"},
    {4099, "Audio AESDigital"},
    {4100, "Audio SPDIFDigital"},
    {4101, "Audio SCSI"},
    {4102, "Audio AUX"},
    {4103, "Audio 1394"},
    {4104, "Audio USB"},
    {4105, "Audio Decoder"},
};

struct NamedStandard {
    long bit;
    const char* name;
};

constexpr NamedStandard kStandards[] = {
    {0x1, "NTSC M"},      {0x2, "NTSC M J"},     {0x4, "NTSC 4.43"},   {0x10, "PAL B"},       {0x20, "PAL D"},
    {0x40, "PAL G"},      {0x80, "PAL H"},       {0x100, "PAL I"},     {0x200, "PAL M"},      {0x400, "PAL N"},
    {0x800, "PAL 60"},    {0x1000, "SECAM B"},   {0x2000, "SECAM D"},  {0x4000, "SECAM G"},   {0x8000, "SECAM H"},
    {0x10000, "SECAM K"}, {0x20000, "SECAM K1"}, {0x40000, "SECAM L"}, {0x80000, "SECAM L1"}, {0x100000, "PAL N COMBO"},
};

using json = nlohmann::json;

CrossbarPinDescription parsePin(const json& j, const std::string& where) {
    CrossbarPinDescription p;
    const json* type = &j;
    if (j.is_object()) {
        if (!j.contains("type")) throw std::runtime_error(where + ": a pin needs a \"type\"");
        type = &j.at("type");
        if (j.contains("related")) {
            if (!j.at("related").is_number_integer())
                throw std::runtime_error(where + ": \"related\" must be a number");
            p.related = j.at("related").get<long>();
        }
    }
    if (type->is_number_integer()) {
        p.type = type->get<long>();
    } else if (type->is_string()) {
        p.type = connectorType(type->get<std::string>());
        if (p.type == 0) throw std::runtime_error(where + ": unknown connector \"" + type->get<std::string>() + "\"");
    } else {
        throw std::runtime_error(where + ": a pin is a connector name, a number or an object");
    }
    return p;
}

std::vector<CrossbarPinDescription> parsePins(const json& j, const std::string& where) {
    if (!j.is_array()) throw std::runtime_error(where + " must be an array");
    std::vector<CrossbarPinDescription> pins;
    for (size_t i = 0; i < j.size(); ++i)
        pins.push_back(parsePin(j[i], where + "[" + std::to_string(i) + "]"));
    for (const auto& p : pins)
        if (p.related < -1 || p.related >= static_cast<long>(pins.size()))
            throw std::runtime_error(where + ": a related pin index is out of range");
    return pins;
}

bool flag(const json& card, const char* name, bool fallback, const std::string& where) {
    if (!card.contains(name)) return fallback;
    if (!card.at(name).is_boolean()) throw std::runtime_error(where + ": \"" + name + "\" must be true or false");
    return card.at(name).get<bool>();
}

double seconds(const json& card, const char* name, const std::string& where) {
    if (!card.contains(name)) return 0;
    const json& v = card.at(name);
    if (!v.is_number() || !(v.get<double>() > 0) || v.get<double>() > 1e7)
        throw std::runtime_error(where + ": \"" + name + "\" must be a number of seconds above 0");
    return v.get<double>();
}

// "noSignal": a channel, a list of channels, or true for every channel.
void parseNoSignal(const json& card, VirtualCardDescription& c, const std::string& where) {
    if (!card.contains("noSignal")) return;
    const json& v = card.at("noSignal");
    const std::string bad = where + ": \"noSignal\" must be a channel number, a list of them, or true";
    if (v.is_boolean()) {
        c.noSignalAnywhere = v.get<bool>();
        return;
    }
    if (v.is_number_integer()) {
        c.noSignalChannels.push_back(v.get<long>());
        return;
    }
    if (!v.is_array()) throw std::runtime_error(bad);
    for (const json& ch : v) {
        if (!ch.is_number_integer()) throw std::runtime_error(bad);
        c.noSignalChannels.push_back(ch.get<long>());
    }
}

int positive(const json& card, const char* name, int fallback, const std::string& where) {
    if (!card.contains(name)) return fallback;
    const json& v = card.at(name);
    if (!v.is_number_integer() || v.get<long>() < 16 || v.get<long>() > 4096)
        throw std::runtime_error(where + ": \"" + name + "\" must be a size from 16 to 4096");
    return v.get<int>();
}

VirtualCardDescription parseCard(const json& card, const std::string& where) {
    if (!card.is_object()) throw std::runtime_error(where + " must be an object");
    VirtualCardDescription c;
    c.crossbars.clear();
    auto name = [&](const char* key, std::string& out, bool& has) {
        if (!card.contains(key) || card.at(key).is_null()) return;
        if (!card.at(key).is_string()) throw std::runtime_error(where + ": \"" + key + "\" must be a text");
        out = card.at(key).get<std::string>();
        has = true;
    };
    name("video", c.video, c.hasVideo);
    name("audio", c.audio, c.hasAudio);
    if (!c.hasVideo && !c.hasAudio) throw std::runtime_error(where + ": a card needs a \"video\" or \"audio\" name");
    c.tuner = flag(card, "tuner", true, where);
    c.decoder = flag(card, "decoder", true, where);
    c.streamCarriesAudio = flag(card, "streamCarriesAudio", false, where);
    c.busy = flag(card, "busy", false, where);
    c.moving = flag(card, "moving", true, where);
    c.vanishAfter = seconds(card, "vanishAfter", where);
    c.writerDiesAfter = seconds(card, "writerDiesAfter", where);
    parseNoSignal(card, c, where);
    c.width = positive(card, "width", 640, where) & ~1;
    c.height = positive(card, "height", 480, where) & ~1;
    if (card.contains("framerate")) {
        const json& f = card.at("framerate");
        int num = 0, den = 1;
        if (f.is_number_integer()) {
            num = f.get<int>();
        } else if (f.is_string()) {
            if (std::sscanf(f.get<std::string>().c_str(), "%d/%d", &num, &den) < 1) num = 0;
        }
        if (num <= 0 || den <= 0 || num / den > 120)
            throw std::runtime_error(where + ": \"framerate\" must look like \"30000/1001\" or 25");
        c.fpsNum = num;
        c.fpsDen = den;
    }
    if (!card.contains("crossbars")) {
        c.crossbars.push_back(defaultCrossbar());
    } else {
        const json& xs = card.at("crossbars");
        if (!xs.is_array()) throw std::runtime_error(where + ": \"crossbars\" must be an array");
        for (size_t k = 0; k < xs.size(); ++k) {
            const std::string w = where + ".crossbars[" + std::to_string(k) + "]";
            if (!xs[k].is_object()) throw std::runtime_error(w + " must be an object");
            CrossbarDescription x;
            x.inputs = parsePins(xs[k].value("inputs", json::array()), w + ".inputs");
            x.outputs = parsePins(xs[k].value("outputs", json::array()), w + ".outputs");
            if (x.outputs.empty()) throw std::runtime_error(w + ": a crossbar needs an output");
            if (xs[k].contains("feeds")) {
                const json& f = xs[k].at("feeds");
                if (!f.is_object()) throw std::runtime_error(w + ": \"feeds\" must be an object");
                x.feedsInput = f.value("input", 0);
                x.feedsOutput = f.value("output", 0);
            }
            if (x.feedsOutput < 0 || x.feedsOutput >= static_cast<int>(x.outputs.size()))
                throw std::runtime_error(w + ": \"feeds\" names an output it does not have");
            if (k > 0 && (x.feedsInput < 0 || x.feedsInput >= static_cast<int>(c.crossbars[k - 1].inputs.size())))
                throw std::runtime_error(w + ": \"feeds\" names an input the crossbar downstream does not have");
            c.crossbars.push_back(std::move(x));
        }
    }
    return c;
}

} // namespace

bool VirtualCardDescription::noSignalOn(long channel) const {
    return noSignalAnywhere ||
           std::find(noSignalChannels.begin(), noSignalChannels.end(), channel) != noSignalChannels.end();
}

const char* connectorName(long type) {
    for (const auto& c : kConnectors)
        if (c.type == type) return c.name;
    return "Unknown";
}

long connectorType(const std::string& name) {
    for (const auto& c : kConnectors)
        if (name == c.name) return c.type;
    return 0;
}

std::string videoStandardName(long standard) {
    for (const auto& s : kStandards)
        if (s.bit == standard) return s.name;
    return {};
}

CrossbarDescription defaultCrossbar() {
    CrossbarDescription x;
    x.inputs = {{PhysConn_Video_Tuner, 3},
                {PhysConn_Video_Composite, 4},
                {PhysConn_Video_SVideo, 4},
                {PhysConn_Audio_Tuner, 0},
                {PhysConn_Audio_Line, 1}};
    x.outputs = {{PhysConn_Video_VideoDecoder, 1}, {PhysConn_Audio_AudioDecoder, 0}};
    return x;
}

VirtualCardDescription defaultVirtualCard() {
    VirtualCardDescription c;
    c.video = kVirtualVideoName;
    c.audio = kVirtualAudioName;
    c.hasVideo = c.hasAudio = true;
    c.crossbars.push_back(defaultCrossbar());
    return c;
}

VirtualCardSet parseVirtualCards(const std::string& text) {
    json doc;
    try {
        doc = json::parse(text);
    } catch (const json::exception& e) {
        throw std::runtime_error(std::string("not valid JSON: ") + e.what());
    }
    VirtualCardSet set;
    const json* cards = &doc;
    if (doc.is_object()) {
        if (!doc.contains("cards")) throw std::runtime_error("the description needs a \"cards\" array");
        cards = &doc.at("cards");
        set.realDevices = flag(doc, "realDevices", true, "the description");
    }
    if (!cards->is_array()) throw std::runtime_error("\"cards\" must be an array");
    try {
        for (size_t i = 0; i < cards->size(); ++i)
            set.cards.push_back(parseCard((*cards)[i], "cards[" + std::to_string(i) + "]"));
    } catch (const json::exception& e) {
        throw std::runtime_error(std::string("bad value: ") + e.what());
    }
    return set;
}

std::string virtualVideoSource(const VirtualCardDescription& card) {
    return "videotestsrc name=pattern is-live=true pattern=smpte horizontal-speed=" +
           std::string(card.moving ? "2" : "0") + " ! video/x-raw,format=I420,width=" + std::to_string(card.width) +
           ",height=" + std::to_string(card.height) + ",framerate=" + std::to_string(card.fpsNum) + "/" +
           std::to_string(card.fpsDen) +
           " ! textoverlay name=overlay font-desc=\"Sans Bold 20\" valignment=top halignment=left "
           "shaded-background=true";
}

VirtualCardSet loadVirtualCards() {
    VirtualCardSet set;
    set.cards.push_back(defaultVirtualCard());
    const char* file = std::getenv(kVirtualCardsVariable);
    if (!file || !*file) return set;
    std::string problem;
    try {
        return parseVirtualCards(readFile(file));
    } catch (const AutomationError&) {
        problem = std::string(file) + ": cannot be read";
    } catch (const std::exception& e) {
        problem = std::string(file) + ": " + e.what();
    }
    // A broken description must not take the cards away: keep the default
    // card and say once why the file was not used.
    static std::mutex mutex;
    static std::string lastProblem;
    std::lock_guard lock(mutex);
    if (problem != lastProblem) {
        std::fprintf(stderr, "Capgraph: virtual card description not used: %s\n", problem.c_str());
        lastProblem = problem;
    }
    set.problem = problem;
    return set;
}

// ---- VirtualHardware ----

VirtualHardware::VirtualHardware(VirtualCardDescription description) : m_description(std::move(description)) {
    for (const auto& x : m_description.crossbars) {
        std::vector<long> outs;
        for (const auto& o : x.outputs) {
            // Switched on: each output driven by the first input of its kind.
            long first = -1;
            for (size_t i = 0; i < x.inputs.size() && first < 0; ++i)
                if (isAudioConnector(x.inputs[i].type) == isAudioConnector(o.type)) first = static_cast<long>(i);
            outs.push_back(first);
        }
        m_routing.push_back(std::move(outs));
    }
}

long VirtualHardware::routedInput(size_t crossbar, long out) const {
    std::lock_guard lock(m_mutex);
    if (crossbar >= m_routing.size() || out < 0 || out >= static_cast<long>(m_routing[crossbar].size())) return -1;
    return m_routing[crossbar][out];
}

void VirtualHardware::route(size_t crossbar, long out, long in) {
    {
        std::lock_guard lock(m_mutex);
        if (crossbar >= m_routing.size() || out < 0 || out >= static_cast<long>(m_routing[crossbar].size())) return;
        m_routing[crossbar][out] = in;
    }
    changed();
}

void VirtualHardware::setChannel(long channel, int64_t hz) {
    {
        std::lock_guard lock(m_mutex);
        m_channel = channel;
        m_frequency = hz;
    }
    changed();
}

int64_t VirtualHardware::frequency() const {
    std::lock_guard lock(m_mutex);
    return m_frequency;
}

long VirtualHardware::inputType() const {
    std::lock_guard lock(m_mutex);
    return effectiveInputType(m_country, m_inputType);
}

long VirtualHardware::routedConnector() const {
    std::lock_guard lock(m_mutex);
    if (m_description.crossbars.empty()) return PhysConn_Video_Composite; // a plain video input
    // Start at the first video output of the crossbar next to the capture pin
    // and walk upstream through the switches.
    size_t k = 0;
    long out = -1;
    const auto& first = m_description.crossbars[0];
    for (size_t o = 0; o < first.outputs.size() && out < 0; ++o)
        if (!isAudioConnector(first.outputs[o].type)) out = static_cast<long>(o);
    for (int guard = 0; out >= 0 && guard < 64; ++guard) {
        const long in = m_routing[k][out];
        if (in < 0 || in >= static_cast<long>(m_description.crossbars[k].inputs.size())) return 0;
        if (k + 1 < m_description.crossbars.size() && m_description.crossbars[k + 1].feedsInput == in) {
            out = m_description.crossbars[k + 1].feedsOutput;
            ++k;
            continue;
        }
        return m_description.crossbars[k].inputs[in].type;
    }
    return 0;
}

bool VirtualHardware::signalPresent() const { return !m_description.noSignalOn(channel()); }

bool VirtualHardware::showsNoSignal() const { return !signalPresent() && routedConnector() == PhysConn_Video_Tuner; }

std::string VirtualHardware::overlayText() const {
    const long conn = routedConnector();
    const long ch = channel();
    std::string text = m_description.hasVideo ? m_description.video : m_description.audio;
    text += "\n";
    if (conn == PhysConn_Video_Tuner) {
        text += "Channel " + std::to_string(ch);
        char mhz[32];
        std::snprintf(mhz, sizeof mhz, "  %.2f MHz", static_cast<double>(frequency()) / 1e6);
        text += mhz;
        text += "\n";
    }
    text += connectorName(conn);
    const std::string std = videoStandardName(videoStandard());
    if (!std.empty()) text += "  |  " + std;
    if (conn == PhysConn_Video_Tuner && !signalPresent()) text += "\nNo signal";
    return text;
}

double VirtualHardware::toneFrequency() const {
    // One semitone per channel from 220 Hz, folded into two octaves so every
    // channel stays audible and distinct from its neighbours.
    const long ch = channel();
    const long step = ((ch % 24) + 24) % 24;
    double f = 220.0;
    for (long i = 0; i < step; ++i)
        f *= 1.0594630943592953;
    return f;
}

std::shared_ptr<VirtualHardware> virtualHardware(const VirtualCardDescription& description, size_t index) {
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<VirtualHardware>> cards;
    std::lock_guard lock(mutex);
    // Same card, same hardware: the key holds everything the description says.
    std::string key = std::to_string(index) + "\n" + description.video + "\n" + description.audio + "\n" +
                      (description.tuner ? "t" : "-") + (description.decoder ? "d" : "-") +
                      (description.streamCarriesAudio ? "a" : "-") + (description.busy ? "b" : "-");
    // The faults too: a description that changes them is another card.
    key += "|" + std::to_string(description.vanishAfter) + "," + std::to_string(description.writerDiesAfter) +
           (description.noSignalAnywhere ? ",*" : ",");
    for (long ch : description.noSignalChannels)
        key += std::to_string(ch) + " ";
    for (const auto& x : description.crossbars) {
        key += "|" + std::to_string(x.feedsInput) + "," + std::to_string(x.feedsOutput) + ":";
        for (const auto& p : x.inputs)
            key += std::to_string(p.type) + "/" + std::to_string(p.related) + " ";
        key += ">";
        for (const auto& p : x.outputs)
            key += std::to_string(p.type) + "/" + std::to_string(p.related) + " ";
    }
    auto& slot = cards[key];
    if (!slot) slot = std::make_shared<VirtualHardware>(description);
    return slot;
}

} // namespace vesper::capture
