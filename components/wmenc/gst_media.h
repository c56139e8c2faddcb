// GStreamer samples as recording inputs, and the capture devices as a
// MediaSource.
#pragma once

#include "components/wmenc/media.h"

#include <gst/gst.h>

namespace vesper::wmenc {

// Wraps a raw video sample (taking a reference, mapping it for reading);
// false for a format the encoder cannot take. With `copy` the picture is
// copied out instead, so that the device's buffer goes back to it at once (a
// capture card has only a few).
bool videoInputFromSample(GstSample* sample, VideoInput& out, bool copy = false);
// The same for raw interleaved audio.
bool audioInputFromSample(GstSample* sample, AudioInput& out, bool copy = false);

// Reads the frames of a GStreamer pipeline description ending in an appsink
// named "sink", as fast as the pipeline makes them. For tests and
// benchmarks that need a device's pictures without waiting for real time.
class SampleReader {
public:
    explicit SampleReader(const std::string& description);
    ~SampleReader();
    SampleReader(const SampleReader&) = delete;
    SampleReader& operator=(const SampleReader&) = delete;

    bool ok() const { return m_sink != nullptr; }
    const std::string& error() const { return m_error; }
    // The next sample (owned by the caller), or nullptr at the end.
    GstSample* next();

private:
    GstElement* m_pipeline = nullptr;
    GstElement* m_sink = nullptr;
    std::string m_error;
};

// The pipeline description of the virtual card's picture, made as fast as
// possible and ending after the given number of frames.
std::string patternVideoPipeline(int frames, int width = 640, int height = 480);

} // namespace vesper::wmenc
