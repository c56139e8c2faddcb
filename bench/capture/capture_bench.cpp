// Capture preview benchmark: the time from Init to the first preview frame,
// and the processor time of a preview at 320x240 and 640x480 of the default
// virtual card, each beside a GStreamer pipeline doing the same work in the
// same run (the peer), printed as ratios.
//
//   capture-bench [--seconds N] [--repeat N]
//
// Both sides run bound to one processor, as the main program does.
#include "bench/bench_support.h"
#include "capture/capture_commands.h"
#include "capture/video_renderer.h"
#include "capture/virtual_card.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace vesper::capture;
using Clock = std::chrono::steady_clock;

using vesper::bench::cpuSelf;

namespace {

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The source the virtual card runs, as a gst-launch description.
std::string cardSource() {
    // The card's caption; the pipeline syntax takes it on one line.
    std::string text = virtualHardware(defaultVirtualCard(), 0)->overlayText();
    std::replace(text.begin(), text.end(), '\n', ' ');
    return virtualVideoSource(defaultVirtualCard()) + " text=\"" + text + "\"";
}

// The peer's preview: the same source, converted and scaled to the pane.
std::string peerPreview(int w, int h) {
    return cardSource() + " ! videoconvert ! videoscale ! video/x-raw,format=BGRx,width=" + std::to_string(w) +
           ",height=" + std::to_string(h) + " ! fakesink sync=false";
}

// Peer: time from building the pipeline to its first frame at the sink.
double peerFirstFrame() {
    const std::string desc = cardSource() + " ! videoconvert ! videoscale ! video/x-raw,format=BGRx,width=202,"
                                            "height=152 ! appsink name=sink sync=false";
    const auto t0 = Clock::now();
    GstElement* p = gst_parse_launch(desc.c_str(), nullptr);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(p), "sink");
    gst_element_set_state(p, GST_STATE_PLAYING);
    GstSample* s = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 10 * GST_SECOND);
    const double t = seconds(Clock::now() - t0);
    if (s) gst_sample_unref(s);
    gst_element_set_state(p, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(p);
    return t;
}

// Ours: Init, InitPreview, SetPreview "1", until the first frame is painted.
double oursFirstFrame(QWidget* window) {
    CaptureState state;
    CaptureCommands cmd(state);
    const auto t0 = Clock::now();
    cmd.Init(kVirtualVideoName, kVirtualAudioName);
    cmd.InitPreview(QString::number(window->winId()).toStdString(), "326", "79", "202", "152");
    cmd.SetPreview("1");
    auto* r = dynamic_cast<VideoRendererFilter*>(state.videoWindow());
    while (r && r->framesPainted() < 1 && seconds(Clock::now() - t0) < 10)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double t = seconds(Clock::now() - t0);
    cmd.Release();
    return t;
}

// Ours: CPU seconds of a preview of w x h for `secs` seconds.
double oursPreviewCpu(QWidget* window, int w, int h, double secs, long* painted) {
    CaptureState state;
    CaptureCommands cmd(state);
    cmd.Init(kVirtualVideoName, kVirtualAudioName);
    window->resize(w, h);
    cmd.InitPreview(QString::number(window->winId()).toStdString(), "0", "0", std::to_string(w), std::to_string(h));
    cmd.SetPreview("1");
    const double c0 = cpuSelf();
    auto* r = dynamic_cast<VideoRendererFilter*>(state.videoWindow());
    const long p0 = r ? r->framesPainted() : 0;
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(secs * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu = cpuSelf() - c0;
    *painted = (r ? r->framesPainted() : 0) - p0;
    cmd.Release();
    return cpu;
}

// Peer: CPU seconds of gst-launch-1.0 running the same preview for `secs`.
double peerPreviewCpu(int w, int h, double secs) {
    const double cpu = vesper::bench::gstLaunchCpuSeconds(peerPreview(w, h), static_cast<long>(secs * 30000 / 1001));
    if (cpu == 0) std::fprintf(stderr, "capture-bench: the peer pipeline failed (is gst-launch-1.0 installed?)\n");
    return cpu;
}

} // namespace

int main(int argc, char** argv) {
    double secs = 30;
    int repeat = 5;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            secs = std::max(1.0, std::atof(argv[++i]));
        else if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: capture-bench [--seconds N] [--repeat N]\n");
            return 2;
        }
    }
    // One processor for both sides, as the main program binds itself.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    sched_setaffinity(0, sizeof one, &one);
    unsetenv(kVirtualCardsVariable);
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QApplication app(argc, argv);
    ensureGstreamer();
    QWidget window;
    window.resize(640, 480);
    window.show();

    // Warm both sides up (plug-ins and fonts load once per process).
    peerFirstFrame();
    oursFirstFrame(&window);
    std::vector<double> ours, peer;
    for (int i = 0; i < repeat; ++i) {
        peer.push_back(peerFirstFrame());
        ours.push_back(oursFirstFrame(&window));
    }
    const double o = median(ours), p = median(peer);
    std::printf("Init to first preview frame: ours %.1f ms, peer %.1f ms, ratio %.2f\n", o * 1e3, p * 1e3,
                p > 0 ? o / p : 0);

    for (auto [w, h] : {std::pair{320, 240}, std::pair{640, 480}}) {
        long painted = 0;
        const double oc = oursPreviewCpu(&window, w, h, secs, &painted);
        const double pc = peerPreviewCpu(w, h, secs);
        std::printf("Preview %dx%d for %.0f s: ours %.2f CPU s (%ld frames painted), peer %.2f CPU s, ratio %.2f "
                    "(target <= 1.30)\n",
                    w, h, secs, oc, painted, pc, pc > 0 ? oc / pc : 0);
    }
    return 0;
}
