#include "capture/capture_commands.h"

#include "capture/device_stream.h"
#include "capture/video_renderer.h"

#include <limits>

namespace vesper::capture {

int64_t readNumber(const std::string& full) {
    const std::string text = full.substr(0, 19);
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (value > (kMax - digit) / 10) return negative ? std::numeric_limits<int64_t>::min() : kMax;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

long readLong(const std::string& text) {
    const int64_t v = readNumber(text);
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<long>(v);
}

namespace {
std::string answer(bool ok) { return ok ? kOK : kNotOK; }
} // namespace

std::string CaptureCommands::Init(const std::string& video, const std::string& audio) {
    if (m_state.initialised) return kOK;
    m_state.enumerateDevices();
    if (!m_state.selectDevicesByName(video, audio)) return kNotOK;
    m_state.initialised = true;
    return kOK;
}

std::string CaptureCommands::Start(const std::string&, const std::string&) {
    m_state.buildPreview();
    m_state.runPreview();
    return kOK;
}

std::string CaptureCommands::Stop() {
    m_state.haltPreview();
    return kOK;
}

std::string CaptureCommands::Release() {
    if (m_state.initialised) {
        m_state.haltPreview();
        m_state.dismantlePreview();
        m_state.closeCaptureDevices();
        m_state.initialised = false;
    }
    return kOK;
}

std::string CaptureCommands::SetChannel(const std::string& channel) {
    TvTuner* tuner = m_state.findTuner();
    if (!tuner) return kNotOK;
    tuner->putChannel(readLong(channel), -1, -1);
    return kOK;
}

std::string CaptureCommands::SignalPresent() {
    TvTuner* tuner = m_state.findTuner();
    long state = kTunerHasNoSignalStrength;
    if (!tuner || !succeeded(tuner->signalPresent(&state))) return std::to_string(kTunerHasNoSignalStrength);
    return std::to_string(state);
}

std::string CaptureCommands::DevicesOpen(const std::string& video, const std::string& audio) {
    for (const auto& [name, kind] : {std::pair{video, MediaKind::Video}, std::pair{audio, MediaKind::Audio}}) {
        std::string why;
        // Subscribed and dropped at once: the stream starts only when nobody
        // in this process runs it yet.
        if (!subscribeDeviceStream(
                name, kind, [](GstSample*) {}, &why))
            return why.empty() ? "the device \"" + name + "\" cannot be opened" : why;
    }
    return kOK;
}

std::string CaptureCommands::SetCountryCode(const std::string& countryCode) {
    const long code = readLong(countryCode);
    if (code < 1 || code > 999) return kOK;
    TvTuner* tuner = m_state.findTuner();
    if (!tuner) return kOK;
    return answer(succeeded(tuner->putCountryCode(code)));
}

std::string CaptureCommands::SetInputType(const std::string& inputType) {
    const long type = readLong(inputType);
    if (type == -1) return kOK;
    TvTuner* tuner = m_state.findTuner();
    if (!tuner) return kOK;
    long index = 0;
    if (!succeeded(tuner->getConnectInput(&index))) return kNotOK;
    return answer(succeeded(tuner->putInputType(index, type)));
}

std::string CaptureCommands::SetTVTunerProperties(const std::string& countryCode, const std::string& inputType) {
    TvTuner* tuner = m_state.findTuner();
    if (!tuner) return kOK;
    bool ok = true;
    const long code = readLong(countryCode);
    if (code != 0 && !succeeded(tuner->putCountryCode(code))) ok = false;
    long index = 0;
    if (!succeeded(tuner->getConnectInput(&index))) return kNotOK;
    const long input = readLong(inputType);
    if (input == 1 && !succeeded(tuner->putInputType(index, kTunerInputCable))) ok = false;
    if (input == 2 && !succeeded(tuner->putInputType(index, kTunerInputAntenna))) ok = false;
    return answer(ok);
}

std::string CaptureCommands::SetVideoStandard(const std::string& videoStandard) {
    const long standard = readLong(videoStandard);
    if (standard == -1) return kOK;
    AnalogVideoDecoder* decoder = m_state.findDecoder();
    if (!decoder) return kOK;
    return answer(succeeded(decoder->putTVFormat(standard)));
}

std::string CaptureCommands::SetTest(const std::string&) { return kOK; }

void CaptureCommands::place(intptr_t owner, const std::string& left, const std::string& top, const std::string& width,
                            const std::string& height) {
    long l = readLong(left), t = readLong(top), w = readLong(width), h = readLong(height);
    if (l < 0) l = 0;
    if (t < 0) t = 0;
    if (w < 0) w = 150;
    if (h < 0) h = 100;
    Rect client;
    ownerClientRect(owner, &client); // a window that is gone leaves the rectangle empty
    m_state.videoWindow()->setWindowPosition(client.left + l, client.top + t, w, h);
}

std::string CaptureCommands::InitPreview(const std::string& hwnd, const std::string& left, const std::string& top,
                                         const std::string& width, const std::string& height) {
    const int64_t owner = readNumber(hwnd);
    if (owner < 1) return kNotOK;
    VideoWindow* window = m_state.videoWindow();
    if (!window) return kNotOK;
    window->putOwner(static_cast<intptr_t>(owner));
    window->putWindowStyle(kWS_CHILD);
    window->putWindowState(kSW_HIDE);
    place(static_cast<intptr_t>(owner), left, top, width, height);
    m_state.ownerWindow = static_cast<intptr_t>(owner);
    m_state.placed = true;
    return kOK;
}

std::string CaptureCommands::ResizePreview(const std::string& left, const std::string& top, const std::string& width,
                                           const std::string& height) {
    if (!m_state.placed || m_state.ownerWindow <= 0 || !m_state.videoWindow()) return kNotOK;
    place(m_state.ownerWindow, left, top, width, height);
    return kOK;
}

std::string CaptureCommands::SetPreview(const std::string& state) {
    VideoWindow* window = m_state.videoWindow();
    if (!window) return kNotOK;
    if (state == "1") {
        window->putAutoShow(true);
        window->putVisible(true);
        return kOK;
    }
    if (state == "0") {
        window->putAutoShow(false);
        window->putVisible(false);
        return kOK;
    }
    return kNotOK;
}

std::string CaptureCommands::SetVideoInput(const std::string& videoInput) {
    long kind = readLong(videoInput);
    if (kind < 0 || kind > 3) kind = 0;
    m_state.routeInputKind(kind);
    return kOK;
}

} // namespace vesper::capture
