#include "components/wmenc/wmv_writer.h"

#include "components/wmenc/asf_file.h"
#include "components/wmenc/h264_encoder.h"
#include "components/wmenc/mp4_file.h"
#include "platform/errors.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/hwcontext.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesper::wmenc {

int32_t classicErrorFromAv(int averror) {
    if (averror == AVERROR(EFBIG)) return err::DiskFull;
    if (averror < 0 && averror > -4096) return fileErrorFromErrno(-averror);
    return err::PathFileAccessError;
}

std::string avErrorText(int averror) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(averror, buf, sizeof buf);
    return buf;
}

namespace {

// A gap longer than this is left open instead of repeating the last picture
// for all of it (a stalled device should not cost minutes of encoding).
constexpr double kMaxFillSeconds = 5.0;
// Sound may wander this far from the clock before it is corrected.
constexpr double kAudioSlackSeconds = 0.2;
// How often buffered bytes are pushed into the file, in media seconds.
constexpr double kFlushSeconds = 1.0;

struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

} // namespace

struct WmvWriter::State {
    Profile profile;
    std::string path;
    AVFormatContext* fmt = nullptr;
    VideoEncoder video; // owns venc
    AVCodecContext* venc = nullptr;
    AVPixelFormat pictureFormat = AV_PIX_FMT_YUV420P;
    AVCodecContext* aenc = nullptr;
    AVStream* vst = nullptr;
    AVStream* ast = nullptr;
    SwsContext* sws = nullptr;
    SwrContext* swr = nullptr;
    AVSampleFormat swrInFormat = AV_SAMPLE_FMT_NONE;
    int swrInRate = 0;
    int swrInChannels = 0;
    AVAudioFifo* fifo = nullptr;
    AVPacket* packet = nullptr;
    FramePtr lastPicture;
    int64_t nextSlot = 0;
    int64_t audioPts = 0;    // samples handed to the encoder
    int64_t audioQueued = 0; // samples put into the fifo
    bool audioStarted = false;
    double lastFlushSeconds = 0;
    int lockFd = -1;         // held while the file is being written
    std::string writingPath; // the file we created, until the header is in it
    WriteError error;
    WriterStats stats;

    ~State() { release(); }

    void release() {
        av_packet_free(&packet);
        video.release();
        venc = nullptr;
        avcodec_free_context(&aenc);
        sws_freeContext(sws);
        sws = nullptr;
        swr_free(&swr);
        if (fifo) av_audio_fifo_free(fifo);
        fifo = nullptr;
        lastPicture.reset();
        if (fmt) {
            if (fmt->pb) avio_closep(&fmt->pb);
            avformat_free_context(fmt);
            fmt = nullptr;
        }
        vst = ast = nullptr;
        if (lockFd >= 0) ::close(lockFd);
        lockFd = -1;
    }

    bool failAv(int averror, const std::string& what) {
        if (!error) error = {classicErrorFromAv(averror), what + ": " + avErrorText(averror)};
        return false;
    }
    bool fail(int32_t number, const std::string& text) {
        if (!error) error = {number, text};
        return false;
    }

    bool writePackets(AVCodecContext* enc, AVStream* st) {
        for (;;) {
            int rc = avcodec_receive_packet(enc, packet);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
            if (rc < 0) return failAv(rc, "encoding failed");
            (enc == venc ? stats.videoBytes : stats.audioBytes) += packet->size;
            av_packet_rescale_ts(packet, enc->time_base, st->time_base);
            packet->stream_index = st->index;
            const double at = packet->pts * av_q2d(st->time_base);
            rc = av_interleaved_write_frame(fmt, packet);
            if (rc < 0) return failAv(rc, "cannot write to \"" + path + "\"");
            if (at - lastFlushSeconds >= kFlushSeconds) {
                lastFlushSeconds = at;
                if (!flushFile()) return false;
            }
        }
    }

    bool flushFile() {
        if (!fmt || !fmt->pb) return true;
        avio_flush(fmt->pb);
        if (fmt->pb->error < 0) return failAv(fmt->pb->error, "cannot write to \"" + path + "\"");
        return true;
    }

    bool encodePicture(const AVFrame* picture, int64_t pts) {
        FramePtr f;
        if (video.hardwareFrames) {
            // The device encodes from its own memory: upload the picture.
            f.reset(av_frame_alloc());
            if (!f || av_hwframe_get_buffer(video.hardwareFrames, f.get(), 0) < 0)
                return fail(7, "out of memory on the video device");
            const int rc = av_hwframe_transfer_data(f.get(), picture, 0);
            if (rc < 0) return failAv(rc, "cannot hand a picture to the video device");
        } else {
            f.reset(av_frame_clone(picture));
        }
        if (!f) return fail(7, "out of memory");
        f->pts = pts;
        f->pict_type = AV_PICTURE_TYPE_NONE;
        int rc = avcodec_send_frame(venc, f.get());
        if (rc < 0) return failAv(rc, "video encoding failed");
        ++stats.videoFramesOut;
        return writePackets(venc, vst);
    }

    bool encodeAudioFrame(int samples) {
        FramePtr f(av_frame_alloc());
        if (!f) return fail(7, "out of memory");
        f->nb_samples = aenc->frame_size;
        f->format = aenc->sample_fmt;
        f->sample_rate = aenc->sample_rate;
        av_channel_layout_copy(&f->ch_layout, &aenc->ch_layout);
        if (av_frame_get_buffer(f.get(), 0) < 0) return fail(7, "out of memory");
        av_samples_set_silence(f->data, 0, f->nb_samples, aenc->ch_layout.nb_channels, aenc->sample_fmt);
        av_audio_fifo_read(fifo, reinterpret_cast<void**>(f->data), samples);
        f->pts = audioPts;
        audioPts += f->nb_samples;
        int rc = avcodec_send_frame(aenc, f.get());
        if (rc < 0) return failAv(rc, "audio encoding failed");
        return writePackets(aenc, ast);
    }

    bool drainFifo(bool all) {
        const int n = aenc->frame_size;
        while (av_audio_fifo_size(fifo) >= n)
            if (!encodeAudioFrame(n)) return false;
        if (all && av_audio_fifo_size(fifo) > 0) return encodeAudioFrame(av_audio_fifo_size(fifo));
        return true;
    }

    bool queueSilence(int64_t samples) {
        if (samples <= 0) return true;
        const int channels = aenc->ch_layout.nb_channels;
        std::vector<float> zeros(size_t(std::min<int64_t>(samples, 8192)), 0.0f);
        std::vector<void*> planes(size_t(channels), zeros.data());
        while (samples > 0) {
            const int n = int(std::min<int64_t>(samples, int64_t(zeros.size())));
            if (av_audio_fifo_write(fifo, planes.data(), n) < n) return fail(7, "out of memory");
            audioQueued += n;
            stats.audioSamplesOut += n;
            samples -= n;
            if (!drainFifo(false)) return false;
        }
        return true;
    }
};

WmvWriter::WmvWriter() : d(std::make_unique<State>()) {}

WmvWriter::~WmvWriter() { abandon(); }

bool WmvWriter::isOpen() const { return d->fmt != nullptr; }
const WriteError& WmvWriter::error() const { return d->error; }
const WriterStats& WmvWriter::stats() const { return d->stats; }
const Profile& WmvWriter::profile() const { return d->profile; }

bool WmvWriter::open(const std::string& path, const Profile& profile, bool withAudio) {
    abandon();
    d = std::make_unique<State>();
    // A writer that could not open holds nothing.
    const bool ok = openFile(path, profile, withAudio);
    if (!ok) {
        d->release();
        // A failed start leaves no file of its own behind (an empty one would
        // pass for a recording later); a file that was there stays as it was.
        if (!d->writingPath.empty()) ::unlink(d->writingPath.c_str());
    }
    d->writingPath.clear();
    return ok;
}

bool WmvWriter::openFile(const std::string& path, const Profile& profile, bool withAudio) {
    // The encoders' running commentary (rate-control notes) is not ours to print.
    if (av_log_get_level() == AV_LOG_INFO) av_log_set_level(AV_LOG_ERROR);
    d->profile = profile;
    d->path = path;
    State& s = *d;

    const bool mp4 = profile.container == Container::Mp4;
    int rc = avformat_alloc_output_context2(&s.fmt, nullptr, mp4 ? "mp4" : "asf", path.c_str());
    if (rc < 0 || !s.fmt) return s.failAv(rc, "cannot prepare the file");
    s.packet = av_packet_alloc();
    if (!s.packet) return s.fail(7, "out of memory");
    const bool globalHeader = s.fmt->oformat->flags & AVFMT_GLOBALHEADER;

    if (mp4) {
        std::string why;
        if (!openH264Encoder(profile, globalHeader, s.video, &why)) return s.fail(err::CannotCreateObject, why);
    } else {
        const AVCodec* vcodec = avcodec_find_encoder(AV_CODEC_ID_WMV2);
        if (!vcodec) return s.fail(err::CannotCreateObject, "the WMV2 encoder is not available");
        s.video.context = avcodec_alloc_context3(vcodec);
        if (!s.video.context) return s.fail(7, "out of memory");
        AVCodecContext* c = s.video.context;
        c->width = profile.width;
        c->height = profile.height;
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        c->time_base = AVRational{profile.frameRateDen, profile.frameRateNum};
        c->framerate = AVRational{profile.frameRateNum, profile.frameRateDen};
        c->bit_rate = profile.videoBitRate;
        // The buffer the rate control keeps within: the player's preroll.
        c->rc_buffer_size = int(int64_t(profile.videoBitRate) * profile.bufferMilliseconds / 1000);
        c->rc_max_rate = int64_t(profile.videoBitRate) * 3 / 2;
        c->gop_size = profile.keyFrameInterval();
        c->max_b_frames = 0;
        c->thread_count = 1;
        c->sample_aspect_ratio = AVRational{1, 1};
        if (globalHeader) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        rc = avcodec_open2(c, vcodec, nullptr);
        if (rc < 0) return s.failAv(rc, "cannot set up the WMV2 encoder for \"" + profile.name + "\"");
        s.video.description = "WMV2 (software)";
    }
    s.venc = s.video.context;
    s.pictureFormat = s.video.pictureFormat;
    s.vst = avformat_new_stream(s.fmt, nullptr);
    if (!s.vst) return s.fail(7, "out of memory");
    rc = avcodec_parameters_from_context(s.vst->codecpar, s.venc);
    if (rc < 0) return s.failAv(rc, "cannot describe the video stream");
    s.vst->time_base = s.venc->time_base;
    s.vst->avg_frame_rate = s.venc->framerate;
    s.vst->r_frame_rate = s.venc->framerate;

    if (withAudio) {
        const AVCodec* acodec = avcodec_find_encoder(mp4 ? AV_CODEC_ID_AAC : AV_CODEC_ID_WMAV2);
        if (!acodec)
            return s.fail(err::CannotCreateObject,
                          mp4 ? "the AAC encoder is not available" : "the WMA2 encoder is not available");
        s.aenc = avcodec_alloc_context3(acodec);
        if (!s.aenc) return s.fail(7, "out of memory");
        s.aenc->sample_fmt = AV_SAMPLE_FMT_FLTP;
        s.aenc->sample_rate = profile.audioSampleRate;
        av_channel_layout_default(&s.aenc->ch_layout, profile.audioChannels);
        s.aenc->bit_rate = profile.audioBitRate;
        s.aenc->time_base = AVRational{1, profile.audioSampleRate};
        s.aenc->thread_count = 1;
        if (mp4) s.aenc->profile = FF_PROFILE_AAC_LOW;
        if (globalHeader) s.aenc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        rc = avcodec_open2(s.aenc, acodec, nullptr);
        if (rc < 0)
            return s.failAv(rc, std::string("cannot set up the ") + (mp4 ? "AAC" : "WMA2") + " encoder for \"" +
                                    profile.name + "\"");
        s.ast = avformat_new_stream(s.fmt, nullptr);
        if (!s.ast) return s.fail(7, "out of memory");
        rc = avcodec_parameters_from_context(s.ast->codecpar, s.aenc);
        if (rc < 0) return s.failAv(rc, "cannot describe the audio stream");
        s.ast->time_base = s.aenc->time_base;
        s.fifo = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, profile.audioChannels, s.aenc->frame_size * 4);
        if (!s.fifo) return s.fail(7, "out of memory");
    }

    // One recording per file, across processes: a second encoder (or a repair)
    // aimed at a file being written is turned away before anything is cut.
    // A file that is there already is only replaced once the new header is
    // written (into a file of our own beside it): a start that fails on a
    // full disk leaves it as it was.
    struct stat old {};
    const bool replacing = ::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    std::string writePath = path;
    if (replacing) {
        const int oldFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (oldFd < 0) return s.failAv(AVERROR(errno), "cannot open \"" + path + "\"");
        const bool busy = ::flock(oldFd, LOCK_SH | LOCK_NB) != 0;
        ::close(oldFd);
        if (busy) return s.fail(err::PathFileAccessError, "\"" + path + "\" is being written by another recording");
        if (::access(path.c_str(), W_OK) != 0) return s.failAv(AVERROR(errno), "cannot write \"" + path + "\"");
        const size_t slash = path.rfind('/');
        writePath = path.substr(0, slash == std::string::npos ? 0 : slash + 1) + "." +
                    path.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
        s.lockFd = ::mkstemp(writePath.data());
        if (s.lockFd < 0) return s.failAv(AVERROR(errno), "cannot create a file beside \"" + path + "\"");
        s.writingPath = writePath;
        if (::fchmod(s.lockFd, old.st_mode & 07777) != 0)
            return s.failAv(AVERROR(errno), "cannot set the rights of \"" + path + "\"");
    } else {
        // New files get the rights the umask leaves.
        s.lockFd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (s.lockFd < 0) return s.failAv(AVERROR(errno), "cannot create \"" + path + "\"");
        s.writingPath = path;
    }
    if (::flock(s.lockFd, LOCK_EX | LOCK_NB) != 0)
        return s.fail(err::PathFileAccessError, "\"" + path + "\" is being written by another recording");
    rc = avio_open(&s.fmt->pb, writePath.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0) return s.failAv(rc, "cannot create \"" + path + "\"");
    if (!mp4) av_dict_set(&s.fmt->metadata, "title", "", 0);
    // Keep the interleaving short so that a crash loses at most a second or so.
    s.fmt->max_interleave_delta = 1000000;
    // Hand each finished data packet to the file at once: a process killed
    // mid-recording then leaves whole packets behind, not a torn one.
    s.fmt->flush_packets = 1;
    AVDictionary* muxerOptions = nullptr;
    // A file cut off at any moment plays and seeks up to its last whole fragment.
    if (mp4) setFragmentedMp4Options(&muxerOptions);
    rc = avformat_write_header(s.fmt, &muxerOptions);
    av_dict_free(&muxerOptions);
    if (rc < 0) return s.failAv(rc, "cannot write to \"" + path + "\"");
    if (!s.flushFile()) return false;
    if (replacing && ::rename(writePath.c_str(), path.c_str()) != 0)
        return s.failAv(AVERROR(errno), "cannot replace \"" + path + "\"");
    return true;
}

bool WmvWriter::addVideo(const VideoInput& in) {
    State& s = *d;
    if (!s.fmt || s.error) return false;
    if (in.width <= 0 || in.height <= 0 || in.format == AV_PIX_FMT_NONE) return true;
    ++s.stats.videoFramesIn;
    const double fps = s.profile.frameRate();
    int64_t slot = std::isnan(in.seconds) ? s.nextSlot : int64_t(std::llround(in.seconds * fps));
    if (slot < s.nextSlot) {
        ++s.stats.framesDropped;
        return true;
    }

    FramePtr picture(av_frame_alloc());
    if (!picture) return s.fail(7, "out of memory");
    picture->format = s.pictureFormat;
    picture->width = s.profile.width;
    picture->height = s.profile.height;
    if (av_frame_get_buffer(picture.get(), 0) < 0) return s.fail(7, "out of memory");
    s.sws = sws_getCachedContext(s.sws, in.width, in.height, in.format, s.profile.width, s.profile.height,
                                 s.pictureFormat, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!s.sws) return true; // a picture format we cannot convert: skip it
    sws_scale(s.sws, in.planes, in.strides, 0, in.height, picture->data, picture->linesize);

    if (slot - s.nextSlot > int64_t(kMaxFillSeconds * fps)) {
        s.nextSlot = slot; // leave the gap open
    } else {
        // Hold the last picture until this one is due; at the start the first
        // picture stands in from time zero.
        const AVFrame* fill = s.lastPicture ? s.lastPicture.get() : picture.get();
        for (; s.nextSlot < slot; ++s.nextSlot) {
            if (!s.encodePicture(fill, s.nextSlot)) return false;
            ++(s.lastPicture ? s.stats.framesDuplicated : s.stats.leadInFrames);
        }
    }
    if (!s.encodePicture(picture.get(), slot)) return false;
    s.nextSlot = slot + 1;
    s.lastPicture = std::move(picture);
    s.stats.videoSeconds = s.nextSlot / fps;
    return true;
}

bool WmvWriter::addAudio(const AudioInput& in) {
    State& s = *d;
    if (!s.fmt || s.error) return false;
    if (!s.aenc || in.samples <= 0 || in.channels <= 0 || in.sampleRate <= 0) return true;
    if (!s.swr || in.format != s.swrInFormat || in.sampleRate != s.swrInRate || in.channels != s.swrInChannels) {
        swr_free(&s.swr);
        AVChannelLayout inLayout;
        av_channel_layout_default(&inLayout, in.channels);
        if (swr_alloc_set_opts2(&s.swr, &s.aenc->ch_layout, AV_SAMPLE_FMT_FLTP, s.aenc->sample_rate, &inLayout,
                                in.format, in.sampleRate, 0, nullptr) < 0 ||
            swr_init(s.swr) < 0) {
            swr_free(&s.swr);
            return true; // a sound format we cannot convert: skip it
        }
        s.swrInFormat = in.format;
        s.swrInRate = in.sampleRate;
        s.swrInChannels = in.channels;
    }
    const int rate = s.aenc->sample_rate;
    if (!std::isnan(in.seconds)) {
        const int64_t expected = std::llround(in.seconds * rate);
        const int64_t have = s.audioQueued + swr_get_delay(s.swr, rate);
        const int64_t slack = int64_t(kAudioSlackSeconds * rate);
        if (!s.audioStarted || expected - have > slack) {
            if (!s.queueSilence(expected - have)) return false;
        } else if (have - expected > slack) {
            return true; // running ahead of the clock: let the clock catch up
        }
    }
    s.audioStarted = true;

    const int capacity = swr_get_out_samples(s.swr, in.samples);
    uint8_t** out = nullptr;
    if (av_samples_alloc_array_and_samples(&out, nullptr, s.aenc->ch_layout.nb_channels, capacity, AV_SAMPLE_FMT_FLTP,
                                           0) < 0)
        return s.fail(7, "out of memory");
    const uint8_t* inData[1] = {in.data};
    const int n = swr_convert(s.swr, out, capacity, inData, in.samples);
    bool ok = true;
    if (n > 0) {
        if (av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(out), n) < n) ok = s.fail(7, "out of memory");
        s.audioQueued += n;
        s.stats.audioSamplesOut += n;
    }
    av_freep(&out[0]);
    av_freep(&out);
    return ok && s.drainFifo(false);
}

bool WmvWriter::flush() {
    if (!d->fmt || d->error) return false;
    return d->flushFile();
}

bool WmvWriter::finish() {
    State& s = *d;
    if (!s.fmt) return !s.error;
    bool ok = !s.error;
    if (ok && s.aenc) {
        ok = s.drainFifo(true);
        if (ok && avcodec_send_frame(s.aenc, nullptr) >= 0) ok = s.writePackets(s.aenc, s.ast);
    }
    if (ok && avcodec_send_frame(s.venc, nullptr) >= 0) ok = s.writePackets(s.venc, s.vst);
    if (ok) {
        // The trailer carries the index and the final header (duration, sizes).
        const int rc = av_write_trailer(s.fmt);
        if (rc < 0) ok = s.failAv(rc, "cannot finish \"" + s.path + "\"");
    }
    if (ok) {
        const int rc = avio_closep(&s.fmt->pb);
        if (rc < 0) ok = s.failAv(rc, "cannot finish \"" + s.path + "\"");
    }
    s.release();
    // A full disk: the file is completed as far as the space it has allows.
    if (!ok) completeCutOff(s.path, s.profile);
    return ok;
}

void WmvWriter::abandon() {
    if (!d || !d->fmt) return;
    // Whatever reached the file stays there: push out the buffered rest, and
    // leave the header as it is (readers cope with the missing totals).
    if (d->fmt->pb && !d->error) avio_flush(d->fmt->pb);
    const bool torn = bool(d->error);
    d->release();
    if (torn) completeCutOff(d->path, d->profile);
}

std::string WmvWriter::encoderDescription() const { return d->video.description; }

void completeCutOff(const std::string& path, const Profile& profile) {
    if (profile.container == Container::Mp4)
        trimTornFragment(path);
    else if (!completeInPlace(path))
        trimTornPacket(path);
}

} // namespace vesper::wmenc
