// Capture devices of this machine and their live streams, shared by every
// component of the process (the Capgraph preview and the recordings).
//
// Devices come in two kinds behind one list:
//
//  - virtual TV cards, built in so that the program runs on any machine. By
//    default there is one: the video device kVirtualVideoName and the audio
//    device kVirtualAudioName. Its picture is a moving test pattern at 640x480,
//    30000/1001 frames per second, showing the tuned channel, the routed input
//    and the video standard; its sound is a tone whose pitch follows the
//    channel. The environment variable VESPER_VIRTUAL_CARDS may name a JSON
//    description file that replaces the set of virtual cards (format below).
//  - real cards: V4L2 video capture devices (/dev/video*, friendly name = the
//    card name the driver reports) and audio capture devices from GStreamer's
//    device monitor (friendly name = the device's display name).
//
// Virtual cards are listed first, in description order, then real devices.
//
// Description file (VESPER_VIRTUAL_CARDS), either an array of cards or
// { "cards": [...], "realDevices": true|false }  ("realDevices": false hides
// the real devices, for tests that must see exactly their own cards):
//
//   {
//     "video": "My Card",            video device name (omit: no video device)
//     "audio": "My Card Audio",      audio device name (omit: no audio device)
//     "tuner": true,                 a TV tuner feeds the crossbar's tuner input
//     "decoder": true,               an analog video decoder (video standards)
//     "streamCarriesAudio": false,   the video stream is interleaved audio+video
//     "busy": false,                 the device cannot be started (held elsewhere)
//     "moving": true,                the test pattern moves (false: a still picture)
//     "width": 640, "height": 480, "framerate": "30000/1001",
//     "vanishAfter": 30,             seconds: each stream of the card then ends
//                                    with an error, as an unplugged card's does
//     "noSignal": [5, 7],            channels without a carrier (a number, a list,
//                                    or true for all): snow, silence, and the
//                                    tuner's signal query answers "no signal"
//     "writerDiesAfter": 20,         seconds into a recording from the card: the
//                                    recording's writer dies (the encoder's part)
//     "crossbars": [                 [0] feeds the capture pin, [1] feeds [0], ...
//       { "inputs":  ["Video Tuner", {"type": "Video Composite", "related": 3}, 2, ...],
//         "outputs": [{"type": "Video Decoder", "related": 1}, "Audio Decoder"],
//         "feeds": {"input": 0, "output": 0} }   (for [k>0]: which input of [k-1]
//     ]                                             its output drives; default 0/0)
//   }
//
// A pin is a connector name of the crossbar name table ("Video Tuner",
// "Video Composite", "Video SVideo", "Audio Tuner", "Audio Line", ...), its
// number, or an object with "type" and "related" (the index of the related pin
// on the same side, -1 when none). Without "crossbars" a card has one
// crossbar: inputs Video Tuner, Video Composite, Video SVideo, Audio Tuner,
// Audio Line; outputs Video Decoder, Audio Decoder, with the video inputs
// related to their audio inputs. "crossbars": [] means no crossbar.
#pragma once

#include <gst/gst.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vesper::capture {

// The names of the default virtual card.
inline constexpr const char* kVirtualVideoName = "Vesper Virtual TV Card";
inline constexpr const char* kVirtualAudioName = "Vesper Virtual TV Audio";
// The environment variable naming the virtual card description file.
inline constexpr const char* kVirtualCardsVariable = "VESPER_VIRTUAL_CARDS";

enum class MediaKind { Video, Audio };

struct DeviceInfo {
    std::string friendlyName;
    MediaKind kind = MediaKind::Video;
    bool isVirtual = false;
    // Video only: the device's stream already carries its sound; subscribing
    // to this name with MediaKind::Audio gives that sound.
    bool streamCarriesAudio = false;
    // Where the device lives: "virtual:<n>" (n-th card of the description),
    // "/dev/videoN", or the GStreamer device's name.
    std::string location;
};

// The capture devices of one kind, in enumeration order (virtual cards first).
// Names may repeat; callers that look names up take the first match.
std::vector<DeviceInfo> enumerateDevices(MediaKind kind);

// A live subscription to a device's stream. Destroying it unsubscribes: once
// the destructor returns, its handlers are never called again (it may be
// destroyed from inside its own handler).
class StreamSubscription {
public:
    virtual ~StreamSubscription() = default;
};

// Called on a streaming thread with each raw sample; the sample (buffer and
// caps) is valid for the duration of the call (take a reference to keep it).
// Video: raw I420 (or another raw format a real card delivers) at the
// device's native size and rate. Audio: raw interleaved S16LE (or F32LE) at
// the device's native rate. Handlers must return quickly.
using SampleHandler = std::function<void(GstSample*)>;
// Called once, on a streaming or bus thread, when the source ends for good:
// the device vanished or reported an error. The text says why.
using EndHandler = std::function<void(const std::string& reason)>;

// One running source per device, fanned out to every subscriber: the first
// subscriber starts the source, the last one leaving stops it; a subscriber
// that comes after the stream ended starts a new one. Returns
// nullptr (and the reason in *why) when the device is unknown or cannot be
// started. A video device whose stream carries its sound may be subscribed
// to with MediaKind::Audio as well.
std::unique_ptr<StreamSubscription> subscribeDeviceStream(const std::string& friendlyName, MediaKind kind,
                                                          SampleHandler onSample, std::string* why = nullptr);
std::unique_ptr<StreamSubscription> subscribeDeviceStream(const std::string& friendlyName, MediaKind kind,
                                                          SampleHandler onSample, EndHandler onEnd,
                                                          std::string* why = nullptr);

// Seconds into a recording from the named device after which the recording's
// writer dies: the virtual card's "writerDiesAfter" fault; 0 when it has none.
double writerDiesAfter(const std::string& friendlyName);

// Number of device sources running in this process (for tests and checks).
int runningDeviceSources();

} // namespace vesper::capture
