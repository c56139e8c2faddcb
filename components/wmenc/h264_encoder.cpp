#include "components/wmenc/h264_encoder.h"

extern "C" {
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <filesystem>
#include <vector>

namespace vesper::wmenc {

namespace {

H264Backend* g_override = nullptr;

std::string averrorText(int rc) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(rc, buf, sizeof buf);
    return buf;
}

// The rate control both encoders share: the profile's average, peaks of half
// as much again, within a buffer of the profile's length.
void setRates(AVCodecContext* c, const Profile& p, bool globalHeader) {
    c->width = p.width;
    c->height = p.height;
    c->time_base = AVRational{p.frameRateDen, p.frameRateNum};
    c->framerate = AVRational{p.frameRateNum, p.frameRateDen};
    c->sample_aspect_ratio = AVRational{1, 1};
    c->bit_rate = p.videoBitRate;
    c->rc_max_rate = int64_t(p.videoBitRate) * 3 / 2;
    c->rc_buffer_size = int(int64_t(p.videoBitRate) * p.bufferMilliseconds / 1000);
    c->gop_size = p.keyFrameInterval();
    // No B-frames: each picture leaves the encoder in the order it came, so a
    // cut-off file loses nothing it has not been shown, and times start at 0.
    c->max_b_frames = 0;
    if (globalHeader) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
}

} // namespace

void VideoEncoder::release() {
    avcodec_free_context(&context);
    av_buffer_unref(&hardwareFrames);
}

std::string H264Backend::vaapiDevice(std::string* why) {
    std::vector<std::string> nodes;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/dev/dri", ec))
        if (e.path().filename().string().starts_with("renderD")) nodes.push_back(e.path().string());
    if (nodes.empty()) {
        if (why) *why = "no VA-API device (no render node in /dev/dri)";
        return {};
    }
    std::sort(nodes.begin(), nodes.end());
    std::string last;
    for (const std::string& node : nodes) {
        AVBufferRef* device = nullptr;
        const int rc = av_hwdevice_ctx_create(&device, AV_HWDEVICE_TYPE_VAAPI, node.c_str(), nullptr, 0);
        av_buffer_unref(&device);
        if (rc >= 0) return node;
        last = node + ": " + averrorText(rc);
    }
    if (why) *why = "no VA-API device answers (" + last + ")";
    return {};
}

bool H264Backend::openVaapi(const std::string& node, const Profile& p, bool globalHeader, VideoEncoder& out,
                            std::string* why) {
    auto fail = [&](const std::string& text) {
        if (why) *why = text;
        out.release();
        return false;
    };
    const AVCodec* codec = avcodec_find_encoder_by_name("h264_vaapi");
    if (!codec) return fail("this FFmpeg has no h264_vaapi encoder");
    AVBufferRef* device = nullptr;
    int rc = av_hwdevice_ctx_create(&device, AV_HWDEVICE_TYPE_VAAPI, node.c_str(), nullptr, 0);
    if (rc < 0) return fail(node + ": " + averrorText(rc));
    out.hardwareFrames = av_hwframe_ctx_alloc(device);
    av_buffer_unref(&device);
    if (!out.hardwareFrames) return fail("out of memory");
    auto* frames = reinterpret_cast<AVHWFramesContext*>(out.hardwareFrames->data);
    frames->format = AV_PIX_FMT_VAAPI;
    frames->sw_format = AV_PIX_FMT_NV12;
    frames->width = p.width;
    frames->height = p.height;
    frames->initial_pool_size = 16;
    if ((rc = av_hwframe_ctx_init(out.hardwareFrames)) < 0)
        return fail(node + ": cannot make picture buffers: " + averrorText(rc));
    out.context = avcodec_alloc_context3(codec);
    if (!out.context) return fail("out of memory");
    setRates(out.context, p, globalHeader);
    out.context->pix_fmt = AV_PIX_FMT_VAAPI;
    out.context->hw_frames_ctx = av_buffer_ref(out.hardwareFrames);
    if ((rc = avcodec_open2(out.context, codec, nullptr)) < 0)
        return fail(node + ": h264_vaapi refuses " + std::to_string(p.width) + "x" + std::to_string(p.height) + ": " +
                    averrorText(rc));
    out.pictureFormat = AV_PIX_FMT_NV12;
    return true;
}

void setH264BackendOverride(H264Backend* backend) { g_override = backend; }

bool openX264(const Profile& p, bool globalHeader, VideoEncoder& out, std::string* why) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) {
        if (why) *why = "this FFmpeg has no x264 encoder (libx264)";
        return false;
    }
    out.context = avcodec_alloc_context3(codec);
    if (!out.context) {
        if (why) *why = "out of memory";
        return false;
    }
    setRates(out.context, p, globalHeader);
    out.context->pix_fmt = AV_PIX_FMT_YUV420P;
    // One thread, as the other profiles: a recording's cost stays on one core
    // beside the capture and the preview.
    out.context->thread_count = 1;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", "veryfast", 0);
    const int rc = avcodec_open2(out.context, codec, &options);
    av_dict_free(&options);
    if (rc < 0) {
        if (why) *why = "cannot set up x264 for \"" + p.name + "\": " + averrorText(rc);
        out.release();
        return false;
    }
    out.pictureFormat = AV_PIX_FMT_YUV420P;
    out.description = "x264 (software)";
    return true;
}

bool openH264Encoder(const Profile& p, bool globalHeader, VideoEncoder& out, std::string* why) {
    out.release();
    std::string passedOver;
    if (p.encoding == VideoEncoding::Auto) {
        H264Backend real;
        H264Backend& backend = g_override ? *g_override : real;
        std::string reason;
        const std::string node = backend.vaapiDevice(&reason);
        if (!node.empty() && backend.openVaapi(node, p, globalHeader, out, &reason)) {
            out.description = "VA-API (h264_vaapi on " + node + ")";
            return true;
        }
        out.release();
        passedOver = reason;
    }
    if (!openX264(p, globalHeader, out, why)) return false;
    if (!passedOver.empty()) out.description += ": " + passedOver;
    return true;
}

} // namespace vesper::wmenc
