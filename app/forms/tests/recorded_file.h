// A finished recording judged by what it holds, never by how long anything
// took, so that a busy machine or another date cannot fail it.
#pragma once

#include "components/tests/media_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace vesper::test {

// Expects both streams, a header completed with the length of what was
// written (a cut-off file has none), a picture in every frame slot, sound and
// picture ending together and a player's seek landing where it was sent.
// Returns the length in seconds.
inline double expectCompleteRecording(const std::string& file) {
    SCOPED_TRACE(file);
    const ProbeResult info = probe(file);
    const PacketSummary packets = summarize(file);
    EXPECT_FALSE(info.videoCodec.empty()) << info.raw;
    EXPECT_FALSE(info.audioCodec.empty()) << info.raw;
    if (packets.videoPackets < 2 || packets.audioPackets < 1) {
        ADD_FAILURE() << "no pictures or no sound\n" << info.raw;
        return 0;
    }
    EXPECT_NEAR(info.duration, std::max(packets.lastVideo, packets.lastAudio), 0.5) << info.raw;
    const auto slash = info.frameRate.find('/');
    const double fps = std::atof(info.frameRate.c_str()) / std::atof(info.frameRate.c_str() + slash + 1);
    EXPECT_NEAR(double(packets.videoPackets), (packets.lastVideo - packets.firstVideo) * fps + 1, 2) << info.raw;
    EXPECT_TRUE(packets.rising);
    EXPECT_NEAR(packets.lastAudio, packets.lastVideo, 1.0);
    const double middle = packets.lastVideo / 2;
    EXPECT_NEAR(gstreamerSeek(file, middle), middle, 0.1);
    return info.duration;
}

} // namespace vesper::test
