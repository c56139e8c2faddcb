#include "components/wmenc/gst_media.h"

#include "capture/device_stream.h"

#include <gst/app/gstappsink.h>
#include <gst/audio/audio.h>
#include <gst/video/video.h>

#include <cstring>
#include <mutex>

namespace vesper::wmenc {

namespace {

AVPixelFormat pixelFormat(GstVideoFormat f) {
    switch (f) {
    case GST_VIDEO_FORMAT_I420: return AV_PIX_FMT_YUV420P;
    case GST_VIDEO_FORMAT_YV12: return AV_PIX_FMT_YUV420P; // planes swapped below
    case GST_VIDEO_FORMAT_NV12: return AV_PIX_FMT_NV12;
    case GST_VIDEO_FORMAT_NV21: return AV_PIX_FMT_NV21;
    case GST_VIDEO_FORMAT_YUY2: return AV_PIX_FMT_YUYV422;
    case GST_VIDEO_FORMAT_UYVY: return AV_PIX_FMT_UYVY422;
    case GST_VIDEO_FORMAT_YVYU: return AV_PIX_FMT_YVYU422;
    case GST_VIDEO_FORMAT_Y42B: return AV_PIX_FMT_YUV422P;
    case GST_VIDEO_FORMAT_Y444: return AV_PIX_FMT_YUV444P;
    case GST_VIDEO_FORMAT_RGB: return AV_PIX_FMT_RGB24;
    case GST_VIDEO_FORMAT_BGR: return AV_PIX_FMT_BGR24;
    case GST_VIDEO_FORMAT_RGBx: return AV_PIX_FMT_RGB0;
    case GST_VIDEO_FORMAT_BGRx: return AV_PIX_FMT_BGR0;
    case GST_VIDEO_FORMAT_xRGB: return AV_PIX_FMT_0RGB;
    case GST_VIDEO_FORMAT_xBGR: return AV_PIX_FMT_0BGR;
    case GST_VIDEO_FORMAT_RGBA: return AV_PIX_FMT_RGBA;
    case GST_VIDEO_FORMAT_BGRA: return AV_PIX_FMT_BGRA;
    case GST_VIDEO_FORMAT_ARGB: return AV_PIX_FMT_ARGB;
    case GST_VIDEO_FORMAT_ABGR: return AV_PIX_FMT_ABGR;
    case GST_VIDEO_FORMAT_GRAY8: return AV_PIX_FMT_GRAY8;
    case GST_VIDEO_FORMAT_RGB16: return AV_PIX_FMT_RGB565;
    default: return AV_PIX_FMT_NONE;
    }
}

AVSampleFormat sampleFormat(GstAudioFormat f) {
    switch (f) {
    case GST_AUDIO_FORMAT_U8: return AV_SAMPLE_FMT_U8;
    case GST_AUDIO_FORMAT_S16LE: return AV_SAMPLE_FMT_S16;
    case GST_AUDIO_FORMAT_S32LE: return AV_SAMPLE_FMT_S32;
    case GST_AUDIO_FORMAT_F32LE: return AV_SAMPLE_FMT_FLT;
    case GST_AUDIO_FORMAT_F64LE: return AV_SAMPLE_FMT_DBL;
    default: return AV_SAMPLE_FMT_NONE;
    }
}

// Seconds on the stream's running time, NaN when the buffer has no stamp.
double sampleSeconds(GstSample* sample, GstBuffer* buffer) {
    GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (!GST_CLOCK_TIME_IS_VALID(pts)) return NAN;
    if (const GstSegment* seg = gst_sample_get_segment(sample); seg && seg->format == GST_FORMAT_TIME) {
        const guint64 rt = gst_segment_to_running_time(seg, GST_FORMAT_TIME, pts);
        if (GST_CLOCK_TIME_IS_VALID(rt)) pts = rt;
    }
    return double(pts) / GST_SECOND;
}

struct MappedVideo {
    GstSample* sample;
    GstVideoFrame frame;
    ~MappedVideo() {
        gst_video_frame_unmap(&frame);
        gst_sample_unref(sample);
    }
};

struct MappedAudio {
    GstSample* sample;
    GstBuffer* buffer;
    GstMapInfo map;
    ~MappedAudio() {
        gst_buffer_unmap(buffer, &map);
        gst_sample_unref(sample);
    }
};

// Moves an input's memory into a block of its own.
void copyVideo(VideoInput& in) {
    size_t sizes[4] = {};
    size_t total = 0;
    const int chromaRows = (in.height + 1) / 2;
    for (int i = 0; i < 4 && in.planes[i]; ++i) {
        // Planar formats with subsampled chroma have half as many rows there.
        const bool half =
            i > 0 && (in.format == AV_PIX_FMT_YUV420P || in.format == AV_PIX_FMT_NV12 || in.format == AV_PIX_FMT_NV21);
        sizes[i] = size_t(std::abs(in.strides[i])) * size_t(half ? chromaRows : in.height);
        total += sizes[i];
    }
    auto block = std::make_shared<std::vector<uint8_t>>(total);
    size_t at = 0;
    for (int i = 0; i < 4 && in.planes[i]; ++i) {
        std::memcpy(block->data() + at, in.planes[i], sizes[i]);
        in.planes[i] = block->data() + at;
        at += sizes[i];
    }
    in.keep = block;
}

} // namespace

bool videoInputFromSample(GstSample* sample, VideoInput& out, bool copy) {
    GstBuffer* buffer = sample ? gst_sample_get_buffer(sample) : nullptr;
    GstCaps* caps = sample ? gst_sample_get_caps(sample) : nullptr;
    GstVideoInfo info;
    if (!buffer || !caps || !gst_video_info_from_caps(&info, caps)) return false;
    const AVPixelFormat fmt = pixelFormat(GST_VIDEO_INFO_FORMAT(&info));
    if (fmt == AV_PIX_FMT_NONE) return false;
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) return false;
    auto mapped = std::shared_ptr<MappedVideo>(new MappedVideo{gst_sample_ref(sample), frame});
    out = VideoInput{};
    out.format = fmt;
    out.width = GST_VIDEO_INFO_WIDTH(&info);
    out.height = GST_VIDEO_INFO_HEIGHT(&info);
    const unsigned planes = GST_VIDEO_FRAME_N_PLANES(&mapped->frame);
    for (unsigned i = 0; i < planes && i < 4; ++i) {
        out.planes[i] = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped->frame, i));
        out.strides[i] = GST_VIDEO_FRAME_PLANE_STRIDE(&mapped->frame, i);
    }
    if (GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_YV12) {
        std::swap(out.planes[1], out.planes[2]);
        std::swap(out.strides[1], out.strides[2]);
    }
    out.seconds = sampleSeconds(sample, buffer);
    out.keep = std::move(mapped);
    if (copy) copyVideo(out);
    return true;
}

bool audioInputFromSample(GstSample* sample, AudioInput& out, bool copy) {
    GstBuffer* buffer = sample ? gst_sample_get_buffer(sample) : nullptr;
    GstCaps* caps = sample ? gst_sample_get_caps(sample) : nullptr;
    GstAudioInfo info;
    if (!buffer || !caps || !gst_audio_info_from_caps(&info, caps)) return false;
    if (GST_AUDIO_INFO_LAYOUT(&info) != GST_AUDIO_LAYOUT_INTERLEAVED) return false;
    const AVSampleFormat fmt = sampleFormat(GST_AUDIO_INFO_FORMAT(&info));
    const int channels = GST_AUDIO_INFO_CHANNELS(&info);
    const int bpf = GST_AUDIO_INFO_BPF(&info);
    if (fmt == AV_SAMPLE_FMT_NONE || channels <= 0 || channels > 8 || bpf <= 0) return false;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return false;
    auto mapped = std::shared_ptr<MappedAudio>(new MappedAudio{gst_sample_ref(sample), buffer, map});
    out = AudioInput{};
    out.format = fmt;
    out.sampleRate = GST_AUDIO_INFO_RATE(&info);
    out.channels = channels;
    out.data = map.data;
    out.samples = int(map.size / size_t(bpf));
    out.seconds = sampleSeconds(sample, buffer);
    out.keep = std::move(mapped);
    if (copy) {
        auto block = std::make_shared<std::vector<uint8_t>>(out.data, out.data + map.size);
        out.data = block->data();
        out.keep = block;
    }
    return true;
}

// ---- the capture devices ----

namespace {

class StreamHolder : public Subscription {
public:
    explicit StreamHolder(std::unique_ptr<capture::StreamSubscription> s) : m_stream(std::move(s)) {}

private:
    std::unique_ptr<capture::StreamSubscription> m_stream;
};

capture::MediaKind toCapture(MediaKind k) {
    return k == MediaKind::Video ? capture::MediaKind::Video : capture::MediaKind::Audio;
}

class CaptureSource : public MediaSource {
public:
    std::vector<std::string> devices(MediaKind kind) override {
        std::vector<std::string> names;
        for (const auto& d : capture::enumerateDevices(toCapture(kind)))
            names.push_back(d.friendlyName);
        return names;
    }
    std::unique_ptr<Subscription> subscribeVideo(const std::string& device, VideoHandler onVideo, EndHandler onEnd,
                                                 std::string* why) override {
        auto s = capture::subscribeDeviceStream(
            device, capture::MediaKind::Video,
            [onVideo](GstSample* sample) {
                VideoInput in;
                if (videoInputFromSample(sample, in, true)) onVideo(std::move(in));
            },
            std::move(onEnd), why);
        return s ? std::make_unique<StreamHolder>(std::move(s)) : nullptr;
    }
    std::unique_ptr<Subscription> subscribeAudio(const std::string& device, AudioHandler onAudio, EndHandler onEnd,
                                                 std::string* why) override {
        auto s = capture::subscribeDeviceStream(
            device, capture::MediaKind::Audio,
            [onAudio](GstSample* sample) {
                AudioInput in;
                if (audioInputFromSample(sample, in, true)) onAudio(std::move(in));
            },
            std::move(onEnd), why);
        return s ? std::make_unique<StreamHolder>(std::move(s)) : nullptr;
    }
    double writerDiesAfter(const std::string& device) override { return capture::writerDiesAfter(device); }
};

std::mutex g_sourceMutex;
MediaSource* g_override = nullptr;

} // namespace

MediaSource& deviceSource() {
    static CaptureSource source;
    return source;
}

void setMediaSourceOverride(MediaSource* source) {
    std::lock_guard lock(g_sourceMutex);
    g_override = source;
}

MediaSource& currentMediaSource() {
    std::lock_guard lock(g_sourceMutex);
    return g_override ? *g_override : deviceSource();
}

// ---- reading a pipeline as fast as it goes ----

SampleReader::SampleReader(const std::string& description) {
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
    GError* err = nullptr;
    m_pipeline = gst_parse_launch(description.c_str(), &err);
    if (err) {
        m_error = err->message;
        g_error_free(err);
        if (m_pipeline) gst_object_unref(m_pipeline);
        m_pipeline = nullptr;
        return;
    }
    m_sink = gst_bin_get_by_name(GST_BIN(m_pipeline), "sink");
    if (!m_sink) {
        m_error = "the pipeline has no appsink named \"sink\"";
        return;
    }
    if (gst_element_set_state(m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        m_error = "the pipeline does not start";
        gst_object_unref(m_sink);
        m_sink = nullptr;
    }
}

SampleReader::~SampleReader() {
    if (m_pipeline) {
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        gst_object_unref(m_pipeline);
    }
    if (m_sink) gst_object_unref(m_sink);
}

GstSample* SampleReader::next() {
    if (!m_sink) return nullptr;
    return gst_app_sink_pull_sample(GST_APP_SINK(m_sink));
}

std::string patternVideoPipeline(int frames, int width, int height) {
    return "videotestsrc num-buffers=" + std::to_string(frames) +
           " pattern=smpte horizontal-speed=2 ! video/x-raw,format=I420,width=" + std::to_string(width) +
           ",height=" + std::to_string(height) +
           ",framerate=30000/1001 ! textoverlay text=\"Channel 5  TV Tuner  NTSC_M\" font-desc=\"Sans Bold 20\" "
           "valignment=top halignment=left shaded-background=true ! appsink name=sink sync=false";
}

} // namespace vesper::wmenc
