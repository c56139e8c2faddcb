// Raw media on its way into a recording: pictures and sound as a device
// delivers them, and the source that delivers them.
#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
#include <libavutil/samplefmt.h>
}

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vesper::wmenc {

// One picture. The planes point into memory that `keep` holds alive, so a
// device's buffer can travel to the encoding thread without a copy.
struct VideoInput {
    AVPixelFormat format = AV_PIX_FMT_NONE;
    int width = 0;
    int height = 0;
    const uint8_t* planes[4] = {};
    int strides[4] = {};
    // Seconds on the source's own timeline; NaN when the source has none. A
    // recorder turns this into seconds since the recording began.
    double seconds = NAN;
    std::shared_ptr<const void> keep;
};

// A run of interleaved (packed) sound samples.
struct AudioInput {
    AVSampleFormat format = AV_SAMPLE_FMT_NONE; // a packed format
    int sampleRate = 0;
    int channels = 0;
    const uint8_t* data = nullptr;
    int samples = 0; // per channel
    double seconds = NAN;
    std::shared_ptr<const void> keep;
};

enum class MediaKind { Video, Audio };

// The engine's plug-ins for capture devices and their default resources,
// which stand for the first device of their kind.
inline constexpr const char* kVideoPluginName = "Video Capture Device";
inline constexpr const char* kAudioPluginName = "Audio Capture Device";
inline constexpr const char* kDefaultVideoResource = "Default_Video_Device";
inline constexpr const char* kDefaultAudioResource = "Default_Audio_Device";

// A live subscription; destroying it ends the deliveries.
class Subscription {
public:
    virtual ~Subscription() = default;
};

// Where recordings take their pictures and sound from: the capture devices of
// the machine, or a stand-in in tests and benchmarks. Handlers run on the
// source's own threads and must return quickly.
class MediaSource {
public:
    using VideoHandler = std::function<void(VideoInput&&)>;
    using AudioHandler = std::function<void(AudioInput&&)>;
    // Called once when a device stops for good (vanished, failed), with why.
    using EndHandler = std::function<void(const std::string& reason)>;

    virtual ~MediaSource() = default;
    // Friendly names of the devices of one kind.
    virtual std::vector<std::string> devices(MediaKind kind) = 0;
    // nullptr (and `why`) when the device is unknown or cannot stream.
    virtual std::unique_ptr<Subscription> subscribeVideo(const std::string& device, VideoHandler onVideo,
                                                         EndHandler onEnd, std::string* why) = 0;
    virtual std::unique_ptr<Subscription> subscribeAudio(const std::string& device, AudioHandler onAudio,
                                                         EndHandler onEnd, std::string* why) = 0;
    // Seconds into a recording from the device after which the recording's
    // writer dies (a fault a virtual card injects); 0: it never does.
    virtual double writerDiesAfter(const std::string& /*device*/) { return 0; }
};

// The capture devices of the machine, through the capture layer's shared
// device streams (one source per device, shared with the preview).
MediaSource& deviceSource();

// Replaces the source that components record from (nullptr restores the
// devices). For tests and benchmarks; the caller keeps ownership.
void setMediaSourceOverride(MediaSource* source);
MediaSource& currentMediaSource();

} // namespace vesper::wmenc
