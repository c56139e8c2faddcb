#include "components/tests/media_check.h"

#include "components/wmenc/gst_media.h"
#include "platform/testing/test_env.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace vesper::test {

ProbeResult probe(const std::string& path) {
    ProbeResult r;
    runCommand("ffprobe -v error -of flat -show_entries "
               "format=format_name,duration,bit_rate:stream=codec_type,codec_name,width,height,r_frame_rate,"
               "sample_rate,channels,bit_rate '" +
                   path + "'",
               &r.raw);
    std::map<std::string, std::string> kv;
    std::istringstream in(r.raw);
    for (std::string line; std::getline(in, line);) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string v = line.substr(eq + 1);
        if (v.size() >= 2 && v.front() == '"') v = v.substr(1, v.size() - 2);
        kv[line.substr(0, eq)] = v;
    }
    r.format = kv["format.format_name"];
    r.duration = std::atof(kv["format.duration"].c_str());
    r.bitRate = std::atoll(kv["format.bit_rate"].c_str());
    for (int i = 0; i < 4; ++i) {
        const std::string p = "streams.stream." + std::to_string(i) + ".";
        if (kv[p + "codec_type"] == "video") {
            r.videoCodec = kv[p + "codec_name"];
            r.width = std::atoi(kv[p + "width"].c_str());
            r.height = std::atoi(kv[p + "height"].c_str());
            r.frameRate = kv[p + "r_frame_rate"];
            r.videoBitRate = std::atoll(kv[p + "bit_rate"].c_str());
        } else if (kv[p + "codec_type"] == "audio") {
            r.audioCodec = kv[p + "codec_name"];
            r.audioRate = std::atoi(kv[p + "sample_rate"].c_str());
            r.audioChannels = std::atoi(kv[p + "channels"].c_str());
            r.audioBitRate = std::atoll(kv[p + "bit_rate"].c_str());
        }
    }
    return r;
}

bool decodesCleanly(const std::string& path, std::string* log) {
    std::string out;
    const int rc = runCommand("ffmpeg -nostdin -v error -i '" + path + "' -f null - 2>&1", &out);
    if (log) *log = out;
    return rc == 0 && out.empty();
}

PacketSummary summarize(const std::string& path) {
    PacketSummary s;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return s;
    avformat_find_stream_info(fmt, nullptr);
    AVPacket* pkt = av_packet_alloc();
    double last = -1e9;
    while (av_read_frame(fmt, pkt) >= 0) {
        const AVStream* st = fmt->streams[pkt->stream_index];
        const double t = pkt->pts == AV_NOPTS_VALUE ? -1 : pkt->pts * av_q2d(st->time_base);
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            ++s.videoPackets;
            s.videoBytes += pkt->size;
            if (pkt->flags & AV_PKT_FLAG_KEY) ++s.keyFrames;
            if (s.firstVideo < 0) s.firstVideo = t;
            if (t <= last) s.rising = false;
            last = t;
            s.lastVideo = t;
        } else if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            ++s.audioPackets;
            if (s.firstAudio < 0) s.firstAudio = t;
            s.lastAudio = t;
        }
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&fmt);
    return s;
}

double ffmpegSeek(const std::string& path, double seconds) {
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return -1;
    avformat_find_stream_info(fmt, nullptr);
    const int v = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    double landed = -1;
    if (v >= 0) {
        const AVRational tb = fmt->streams[v]->time_base;
        const int64_t ts = int64_t(seconds / av_q2d(tb));
        if (av_seek_frame(fmt, v, ts, AVSEEK_FLAG_BACKWARD) >= 0) {
            AVPacket* pkt = av_packet_alloc();
            while (av_read_frame(fmt, pkt) >= 0) {
                const bool mine = pkt->stream_index == v;
                if (mine) landed = pkt->pts * av_q2d(tb);
                av_packet_unref(pkt);
                if (mine) break;
            }
            av_packet_free(&pkt);
        }
    }
    avformat_close_input(&fmt);
    return landed;
}

double gstreamerSeek(const std::string& path, double seconds) {
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
    GError* err = nullptr;
    GstElement* p =
        gst_parse_launch(("playbin uri=\"file://" + path + "\" video-sink=fakesink audio-sink=fakesink").c_str(), &err);
    if (err) {
        g_error_free(err);
        if (p) gst_object_unref(p);
        return -1;
    }
    double landed = -1;
    gst_element_set_state(p, GST_STATE_PAUSED);
    if (gst_element_get_state(p, nullptr, nullptr, 20 * GST_SECOND) == GST_STATE_CHANGE_SUCCESS &&
        gst_element_seek_simple(p, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                gint64(seconds * GST_SECOND)) &&
        gst_element_get_state(p, nullptr, nullptr, 20 * GST_SECOND) == GST_STATE_CHANGE_SUCCESS) {
        gint64 pos = -1;
        if (gst_element_query_position(p, GST_FORMAT_TIME, &pos)) landed = double(pos) / GST_SECOND;
    }
    gst_element_set_state(p, GST_STATE_NULL);
    gst_object_unref(p);
    return landed;
}

struct PatternFrames::Impl {
    wmenc::SampleReader reader;
    int index = 0;
    explicit Impl(int frames) : reader(wmenc::patternVideoPipeline(frames)) {}
};

PatternFrames::PatternFrames(int frames) : d(new Impl(frames)) {}
PatternFrames::~PatternFrames() { delete d; }

bool PatternFrames::next(wmenc::VideoInput& picture) {
    GstSample* s = d->reader.next();
    if (!s) return false;
    const bool ok = wmenc::videoInputFromSample(s, picture);
    gst_sample_unref(s);
    picture.seconds = d->index++ * 1001.0 / 30000.0;
    return ok;
}

void feedPattern(const std::vector<wmenc::WmvWriter*>& writers, double seconds) {
    const int frames = int(seconds * 30000 / 1001);
    PatternFrames pattern(frames);
    const auto tone = toneSamples(seconds + 1);
    int64_t audioAt = 0;
    wmenc::VideoInput picture;
    while (pattern.next(picture)) {
        // Sound in runs of 1600 samples, up to the picture's time.
        while (double(audioAt) / 48000 <= picture.seconds) {
            const auto sound = toneInput(tone, audioAt, 1600, double(audioAt) / 48000);
            for (auto* w : writers)
                ASSERT_TRUE(w->addAudio(sound)) << w->error().text;
            audioAt += 1600;
        }
        for (auto* w : writers)
            ASSERT_TRUE(w->addVideo(picture)) << w->error().text;
    }
}

std::vector<int16_t> toneSamples(double seconds) {
    const size_t n = size_t(seconds * 48000);
    std::vector<int16_t> out(n * 2);
    for (size_t i = 0; i < n; ++i)
        out[2 * i] = out[2 * i + 1] = int16_t(6000 * std::sin(2 * M_PI * 440 * double(i) / 48000));
    return out;
}

wmenc::AudioInput toneInput(const std::vector<int16_t>& samples, int64_t firstSample, int count, double seconds) {
    wmenc::AudioInput in;
    in.format = AV_SAMPLE_FMT_S16;
    in.sampleRate = 48000;
    in.channels = 2;
    in.data = reinterpret_cast<const uint8_t*>(samples.data() + 2 * firstSample);
    in.samples = count;
    in.seconds = seconds;
    return in;
}

} // namespace vesper::test
