// What the Command object's methods do, on a CaptureState: every answer is
// "OK" or "Not OK", numbers arrive as decimal text.
#pragma once

#include "capture/capture_state.h"

#include <cstdint>
#include <string>

namespace vesper::capture {

inline constexpr const char* kOK = "OK";
inline constexpr const char* kNotOK = "Not OK";

// Decimal text read like the C library's integer conversion: leading blanks,
// a sign, then digits up to the first non-digit; no digits read 0. Only the
// first 19 characters take part. Saturates instead of overflowing.
int64_t readNumber(const std::string& text);
// The same, kept within a 32-bit long.
long readLong(const std::string& text);

class CaptureCommands {
public:
    explicit CaptureCommands(CaptureState& state) : m_state(state) {}

    std::string Start(const std::string& video, const std::string& audio);
    std::string Init(const std::string& video, const std::string& audio);
    std::string Stop();
    std::string Release();
    std::string SetChannel(const std::string& channel);
    std::string SetTVTunerProperties(const std::string& countryCode, const std::string& inputType);
    std::string SetCountryCode(const std::string& countryCode);
    std::string SetInputType(const std::string& inputType);
    std::string SetVideoStandard(const std::string& videoStandard);
    std::string SetTest(const std::string& test);
    std::string InitPreview(const std::string& hwnd, const std::string& left, const std::string& top,
                            const std::string& width, const std::string& height);
    std::string SetPreview(const std::string& state);
    std::string SetVideoInput(const std::string& videoInput);
    std::string ResizePreview(const std::string& left, const std::string& top, const std::string& width,
                              const std::string& height);
    // Ours, for a check before a recording: whether the tuned channel carries
    // a signal, as the tuner's query answers it: "1" yes, "0" no, "-1" the
    // tuner cannot tell or there is no tuner.
    std::string SignalPresent();
    // Ours, for the same check: whether the named video and audio devices
    // can deliver now, without touching the devices chosen for the preview:
    // "OK", or why not (a device unknown, in use by another program). A
    // device this process already runs counts as open.
    std::string DevicesOpen(const std::string& video, const std::string& audio);

private:
    void place(intptr_t owner, const std::string& left, const std::string& top, const std::string& width,
               const std::string& height);

    CaptureState& m_state;
};

} // namespace vesper::capture
