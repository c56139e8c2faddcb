// Looking at recorded files from the outside, as a player would: ffprobe and
// ffmpeg for the facts, libavformat and GStreamer for seeking.
#pragma once

#include "components/wmenc/media.h"
#include "components/wmenc/wmv_writer.h"

#include <cstdint>
#include <map>
#include <string>

namespace vesper::test {

struct ProbeResult {
    std::string format;
    std::string videoCodec, audioCodec;
    int width = 0, height = 0;
    std::string frameRate;
    int audioRate = 0, audioChannels = 0;
    double duration = 0;
    int64_t bitRate = 0, videoBitRate = 0, audioBitRate = 0; // as ffprobe tells them; 0 when it does not
    std::string raw;
};
ProbeResult probe(const std::string& path);

// Decodes every frame with ffmpeg; true when it ran without an error line.
bool decodesCleanly(const std::string& path, std::string* log = nullptr);

struct PacketSummary {
    int64_t videoPackets = 0, audioPackets = 0;
    int64_t videoBytes = 0;
    double firstVideo = -1, lastVideo = -1, firstAudio = -1, lastAudio = -1;
    int64_t keyFrames = 0;
    bool rising = true; // video times strictly rise
};
PacketSummary summarize(const std::string& path);

// Seeks with libavformat (using the index when there is one) and returns
// the time of the first video packet read after it; -1 on failure.
double ffmpegSeek(const std::string& path, double seconds);
// Seeks a paused GStreamer playbin and returns the position; -1 on failure.
double gstreamerSeek(const std::string& path, double seconds);

// The virtual card's moving picture as pictures timed at the frame rate.
class PatternFrames {
public:
    explicit PatternFrames(int frames);
    ~PatternFrames();
    // False at the end.
    bool next(wmenc::VideoInput& picture);

private:
    struct Impl;
    Impl* d;
};

// Feeds `seconds` of the virtual card's picture and a tone to every writer.
void feedPattern(const std::vector<wmenc::WmvWriter*>& writers, double seconds);

// A tone as the virtual card's sound: 48 kHz stereo S16, `seconds` long.
std::vector<int16_t> toneSamples(double seconds);
wmenc::AudioInput toneInput(const std::vector<int16_t>& samples, int64_t firstSample, int count, double seconds);

} // namespace vesper::test
