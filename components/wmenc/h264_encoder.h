// The video encoder of an H.264 recording: VA-API on the first device that
// answers when the profile allows it, else x264 in software. The choice goes
// through a replaceable backend, so that it can be tried without a device.
#pragma once

#include "components/wmenc/profiles.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <string>

namespace vesper::wmenc {

// An opened encoder and how pictures reach it.
struct VideoEncoder {
    AVCodecContext* context = nullptr;
    // Set when pictures go to a device: they are uploaded into its frames.
    AVBufferRef* hardwareFrames = nullptr;
    // The format the writer prepares pictures in.
    AVPixelFormat pictureFormat = AV_PIX_FMT_YUV420P;
    // Which encoder it is, for the log: "x264 (software)", "VA-API (...)".
    std::string description;

    void release();
};

class H264Backend {
public:
    virtual ~H264Backend() = default;
    // The render node of a VA-API device that answers, or empty (with why).
    virtual std::string vaapiDevice(std::string* why);
    // Opens h264_vaapi on that device; false (with why) when it will not.
    virtual bool openVaapi(const std::string& device, const Profile& profile, bool globalHeader, VideoEncoder& out,
                           std::string* why);
};

// Replaces the backend (nullptr restores the real one). For tests; the
// caller keeps ownership.
void setH264BackendOverride(H264Backend* backend);

// x264 in software, one thread, the profile's bit rate, key frames and buffer.
bool openX264(const Profile& profile, bool globalHeader, VideoEncoder& out, std::string* why);

// The choice: VA-API when the profile says "auto", a device answers and its
// encoder opens; otherwise x264. `out.description` tells which, and why the
// device was passed over.
bool openH264Encoder(const Profile& profile, bool globalHeader, VideoEncoder& out, std::string* why);

} // namespace vesper::wmenc
