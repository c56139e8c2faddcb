// Real analog TV cards through V4L2: the card's video inputs become one
// crossbar, its tuner is tuned through the channel tables, the decoder's video
// standard becomes a V4L2 standard.
#pragma once

#include <cstdint>
#include <cstring>
#include <linux/videodev2.h>
#include <string>

namespace vesper::capture {

// A fixed-size text field of a V4L2 structure, which a driver need not
// terminate.
template <size_t N> std::string v4l2Text(const __u8 (&field)[N]) {
    const char* text = reinterpret_cast<const char*>(field);
    return std::string(text, strnlen(text, N));
}

// The physical connector an input stands for: the tuner input is
// "Video Tuner", S-Video and composite inputs are known by their names.
long connectorForV4l2Input(const v4l2_input& input);
// The V4L2 standard of an analog video standard bit (0 when none).
v4l2_std_id v4l2StandardFor(long analogVideoStandard);
// A carrier frequency in Hz in the tuner's units: 62.5 kHz, or 62.5 Hz when
// the tuner reports V4L2_TUNER_CAP_LOW.
uint32_t v4l2FrequencyUnits(int64_t hz, bool lowUnits);

} // namespace vesper::capture
