// bench-encoder: what a recording costs, beside ffmpeg encoding the same
// pictures and sound with the same codecs and targets, both on one core.
//
//   bench-encoder [--seconds N]        the three quality profiles and the H.264
//                                      ones (default 20 s), with the size of an
//                                      hour of each
//   bench-encoder --live MINUTES [--profile NAME] [--output FILE]
//                                      a live recording from the default card
//                                      on the first processor: real time? drops?
//
// The figures are CPU seconds per second of media and their ratio; the goal
// is a ratio of at most 1.2 and a live recording with no dropped picture.
#include "bench/bench_support.h"
#include "capture/device_stream.h"
#include "components/wmenc/gst_media.h"
#include "components/wmenc/h264_encoder.h"
#include "components/wmenc/profiles.h"
#include "components/wmenc/recorder.h"
#include "components/wmenc/wmv_writer.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

using namespace vesper::wmenc;
namespace fs = std::filesystem;

using vesper::bench::cpuSeconds;

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr double kFps = 30000.0 / 1001;
constexpr int kRate = 48000, kChannels = 2;

// Runs a command line under `taskset -c 0`; returns the CPU seconds it used.
double cpuOf(const std::string& command) {
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", ("exec taskset -c 0 " + command).c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    if (pid < 0 || wait4(pid, &status, 0, &ru) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench-encoder: failed: %s\n", command.c_str());
        return NAN;
    }
    return cpuSeconds(ru);
}

std::string quote(const std::string& s) { return "'" + s + "'"; }

// The virtual card's picture and a tone, written once as raw files so that
// both encoders read exactly the same media.
bool makeMedia(const std::string& video, const std::string& audio, double seconds) {
    const int frames = int(seconds * kFps);
    SampleReader pictures(patternVideoPipeline(frames, kWidth, kHeight));
    if (!pictures.ok()) {
        std::fprintf(stderr, "bench-encoder: %s\n", pictures.error().c_str());
        return false;
    }
    std::ofstream v(video, std::ios::binary);
    while (GstSample* s = pictures.next()) {
        VideoInput in;
        if (videoInputFromSample(s, in)) {
            for (int y = 0; y < kHeight; ++y)
                v.write(reinterpret_cast<const char*>(in.planes[0] + y * in.strides[0]), kWidth);
            for (int p = 1; p < 3; ++p)
                for (int y = 0; y < kHeight / 2; ++y)
                    v.write(reinterpret_cast<const char*>(in.planes[p] + y * in.strides[p]), kWidth / 2);
        }
        gst_sample_unref(s);
    }
    std::ofstream a(audio, std::ios::binary);
    const size_t samples = size_t(seconds * kRate);
    for (size_t i = 0; i < samples; ++i) {
        const int16_t s = int16_t(6000 * std::sin(2 * M_PI * 440 * double(i) / kRate));
        for (int c = 0; c < kChannels; ++c)
            a.write(reinterpret_cast<const char*>(&s), 2);
    }
    return bool(v) && bool(a);
}

// The child that times our side: raw files in, a recording out.
int encodeRaw(const std::string& video, const std::string& audio, const std::string& profileName,
              const std::string& output) {
    const Profile* p = findProfile(profileName);
    if (!p) return 2;
    // x264 beside x264: a VA-API device of this machine stays out of it.
    struct NoDevice : H264Backend {
        std::string vaapiDevice(std::string* why) override {
            *why = "left out of the comparison";
            return {};
        }
    } noDevice;
    setH264BackendOverride(&noDevice);
    WmvWriter w;
    if (!w.open(output, *p)) {
        std::fprintf(stderr, "%s\n", w.error().text.c_str());
        return 1;
    }
    std::ifstream v(video, std::ios::binary), a(audio, std::ios::binary);
    std::vector<uint8_t> picture(size_t(kWidth * kHeight * 3 / 2));
    const int run = 1600;
    std::vector<uint8_t> sound(size_t(run * kChannels * 2));
    int64_t audioAt = 0;
    for (int n = 0; v.read(reinterpret_cast<char*>(picture.data()), std::streamsize(picture.size())); ++n) {
        const double t = n / kFps;
        while (double(audioAt) / kRate <= t &&
               a.read(reinterpret_cast<char*>(sound.data()), std::streamsize(sound.size()))) {
            AudioInput in;
            in.format = AV_SAMPLE_FMT_S16;
            in.sampleRate = kRate;
            in.channels = kChannels;
            in.data = sound.data();
            in.samples = run;
            in.seconds = double(audioAt) / kRate;
            if (!w.addAudio(in)) return 1;
            audioAt += run;
        }
        VideoInput in;
        in.format = AV_PIX_FMT_YUV420P;
        in.width = kWidth;
        in.height = kHeight;
        in.planes[0] = picture.data();
        in.planes[1] = picture.data() + kWidth * kHeight;
        in.planes[2] = in.planes[1] + kWidth * kHeight / 4;
        in.strides[0] = kWidth;
        in.strides[1] = in.strides[2] = kWidth / 2;
        in.seconds = t;
        if (!w.addVideo(in)) return 1;
    }
    return w.finish() ? 0 : 1;
}

double videoKbps(const std::string& file) {
    // Video payload over the duration, as ffprobe counts it.
    std::string cmd =
        "ffprobe -v error -select_streams v:0 -show_entries packet=size,pts_time -of csv=p=0 " + quote(file);
    FILE* f = popen(cmd.c_str(), "r");
    if (!f) return NAN;
    double bytes = 0, last = 0, t = 0;
    long size = 0;
    char line[128];
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "%lf,%ld", &t, &size) == 2 || std::sscanf(line, "%ld,%lf", &size, &t) == 2) {
            bytes += double(size);
            last = std::max(last, t);
        }
    pclose(f);
    return last > 0 ? bytes * 8 / last / 1000 : NAN;
}

int compare(const std::string& self, double seconds) {
    const fs::path dir = fs::temp_directory_path() / ("bench-encoder-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string video = (dir / "pattern.yuv").string(), audio = (dir / "tone.pcm").string();
    std::printf("bench-encoder: %.0f s of the virtual card's picture (640x480, 29.97 fps) and a tone, on core 0\n",
                seconds);
    if (!makeMedia(video, audio, seconds)) return 1;
    std::printf("%-40s %12s %12s %7s %10s %11s %8s\n", "profile", "ours cpu/s", "ffmpeg cpu/s", "ratio", "ours kbps",
                "ffmpeg kbps", "MB/hour");
    bool allWithin = true;
    std::map<std::string, double> mbPerHour;
    for (const char* name : {kLowProfile, kMediumProfile, kHighProfile, kH264MediumProfile, kH264HighProfile}) {
        const Profile& p = *findProfile(name);
        const bool h264 = p.container == Container::Mp4;
        const std::string ours = (dir / ("ours" + p.extension())).string();
        const std::string peer = (dir / ("peer" + p.extension())).string();
        const double ourCpu = cpuOf(quote(self) + " --encode-raw " + quote(video) + " " + quote(audio) + " " +
                                    quote(name) + " " + quote(ours));
        // The same encoders with the same settings: x264's preset, the rate
        // control's peak and buffer, no B-frames, the same fragments.
        const std::string videoCodec = h264 ? "-c:v libx264 -preset veryfast -bf 0 -maxrate " +
                                                  std::to_string(int64_t(p.videoBitRate) * 3 / 2) + " -bufsize " +
                                                  std::to_string(int64_t(p.videoBitRate) * p.bufferMilliseconds / 1000)
                                            : std::string("-c:v wmv2");
        const std::string audioCodec = h264 ? "-c:a aac" : "-c:a wmav2";
        const std::string muxer =
            h264 ? " -movflags frag_keyframe+empty_moov+default_base_moof -frag_duration 1000000" : "";
        const double peerCpu =
            cpuOf("ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt yuv420p -s 640x480 -r 30000/1001 -i " +
                  quote(video) + " -f s16le -ar 48000 -ac 2 -i " + quote(audio) + " -threads 1 -s " +
                  std::to_string(p.width) + "x" + std::to_string(p.height) + " -r " + std::to_string(p.frameRateNum) +
                  "/" + std::to_string(p.frameRateDen) + " " + videoCodec + " -b:v " + std::to_string(p.videoBitRate) +
                  " -g " + std::to_string(p.keyFrameInterval()) + " " + audioCodec + " -b:a " +
                  std::to_string(p.audioBitRate) + " -ar " + std::to_string(p.audioSampleRate) + " -ac " +
                  std::to_string(p.audioChannels) + muxer + " " + quote(peer));
        const double ratio = ourCpu / peerCpu;
        allWithin = allWithin && ratio <= 1.2;
        std::error_code ec;
        mbPerHour[name] = double(fs::file_size(ours, ec)) / seconds * 3600 / 1e6;
        std::printf("%-40s %12.4f %12.4f %7.2f %10.0f %11.0f %8.0f\n", name, ourCpu / seconds, peerCpu / seconds, ratio,
                    videoKbps(ours), videoKbps(peer), mbPerHour[name]);
    }
    std::printf("target: ratio at most 1.20 -> %s\n", allWithin ? "met" : "NOT met");
    for (auto [h264, wmv] : {std::pair{kH264MediumProfile, kMediumProfile}, {kH264HighProfile, kHighProfile}})
        std::printf("an hour of \"%s\": %.0f MB, of \"%s\" (the same picture): %.0f MB (%.2f)\n", h264, mbPerHour[h264],
                    wmv, mbPerHour[wmv], mbPerHour[h264] / mbPerHour[wmv]);
    fs::remove_all(dir);
    return 0;
}

int live(double minutes, const std::string& profileName, std::string output) {
    const Profile* p = findProfile(profileName);
    if (!p) {
        std::fprintf(stderr, "bench-encoder: no profile \"%s\"\n", profileName.c_str());
        return 2;
    }
    // On the first processor, as the main program binds itself by default.
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(0, &set);
    sched_setaffinity(0, sizeof set, &set);
    if (output.empty()) output = (fs::temp_directory_path() / ("bench-encoder-live" + p->extension())).string();

    Recorder r(deviceSource());
    StartFailure why;
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    if (!r.start({output, *p, vesper::capture::kVirtualVideoName, vesper::capture::kVirtualAudioName}, &why)) {
        std::fprintf(stderr, "bench-encoder: cannot start: %s\n", why.text.c_str());
        return 1;
    }
    std::printf("bench-encoder: recording %.1f minutes of \"%s\" live into %s\n", minutes, profileName.c_str(),
                output.c_str());
    std::printf("video encoder: %s\n", r.videoEncoder().c_str());
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(minutes * 60);
    while (std::chrono::steady_clock::now() < end && r.busy()) {
        std::this_thread::sleep_for(std::chrono::seconds(10));
        const WriterStats s = r.stats();
        std::printf("  %6.0f s  in %lld  out %lld  repeated %lld  dropped %lld  queue drops %lld\n", s.videoSeconds,
                    (long long)s.videoFramesIn, (long long)s.videoFramesOut, (long long)s.framesDuplicated,
                    (long long)s.framesDropped, (long long)r.queueDrops());
        std::fflush(stdout);
    }
    r.stop();
    r.waitFinished(60);
    getrusage(RUSAGE_SELF, &after);
    const WriterStats s = r.stats();
    const double cpu = cpuSeconds(after) - cpuSeconds(before);
    const long long lost = (long long)(s.framesDuplicated + s.framesDropped + r.queueDrops());
    std::printf("media %.1f s, CPU %.1f s (%.3f CPU s per media s, the whole process with the card itself)\n",
                s.videoSeconds, cpu, cpu / std::max(1.0, s.videoSeconds));
    std::printf("video %.0f kbps for a target of %d (%.2f)\n", s.videoBytes * 8 / std::max(1.0, s.videoSeconds) / 1000,
                p->videoBitRate / 1000, s.videoBytes * 8 / std::max(1.0, s.videoSeconds) / p->videoBitRate);
    std::printf("pictures: %lld from the card, %lld written (%lld lead-in), %lld repeated, %lld dropped, %lld queue "
                "drops\n",
                (long long)s.videoFramesIn, (long long)s.videoFramesOut, (long long)s.leadInFrames,
                (long long)s.framesDuplicated, (long long)s.framesDropped, (long long)r.queueDrops());
    std::printf("real time with no dropped picture: %s\n",
                lost == 0 && r.state() == Recorder::State::Done ? "yes" : "NO");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 5 && args[0] == "--encode-raw") return encodeRaw(args[1], args[2], args[3], args[4]);
    double seconds = 20, minutes = 0;
    std::string profile = kMediumProfile, output;
    for (size_t i = 0; i < args.size(); ++i) {
        const bool more = i + 1 < args.size();
        if (args[i] == "--seconds" && more)
            seconds = std::atof(args[++i].c_str());
        else if (args[i] == "--live" && more)
            minutes = std::atof(args[++i].c_str());
        else if (args[i] == "--profile" && more)
            profile = args[++i];
        else if (args[i] == "--output" && more)
            output = args[++i];
        else {
            std::fprintf(stderr,
                         "usage: bench-encoder [--seconds N] | --live MINUTES [--profile NAME] [--output FILE]\n");
            return 2;
        }
    }
    if (minutes > 0) return live(minutes, profile, output);
    return compare(fs::canonical("/proc/self/exe").string(), std::max(2.0, seconds));
}
