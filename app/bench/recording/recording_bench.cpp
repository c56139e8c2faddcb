// Recording benchmark: the main window against peers run in the same process
// and the same run, printed as figures and ratios.
//
//   recording-bench [--events N] [--seconds S] [--live-seconds S] [--only PARTS]
//
// - event start to first frame in the file, over N events (default 20),
//   beside the bare encoder's own start (create, set, IStart, first frame);
// - CPU of the idle main window (preview off, no event) beside an empty Qt
//   window with a one-second timer;
// - CPU of live TV in the pane and in a 640x480 TV window beside a bare
//   GStreamer pipeline showing the same picture (gst-launch-1.0), with the
//   frames the card delivered, showed and dropped;
// - peak resident memory while recording.
//
// It runs in a temporary program folder and hive of its own, with the
// component libraries of the build registered there.
#include "app/forms/frm_vesper.h"
#include "app/core/program.h"

#include "bench/bench_support.h"
#include "capture/device_stream.h"
#include "capture/video_renderer.h"
#include "capture/virtual_card.h"
#include "platform/automation.h"
#include "platform/clock.h"
#include "platform/paths.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace vesper;

using vesper::bench::cpuSelf;

namespace {

double wallNow() { return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count(); }
void runFor(double secs) {
    QEventLoop loop;
    QTimer::singleShot(int(secs * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}
// Runs the event loop until `done` (polled every 5 ms) or the time is up.
bool runUntil(const std::function<bool()>& done, double secs) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < secs * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}
struct Stats {
    double min, median, max;
};
Stats stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    if (v.empty()) return {0, 0, 0};
    return {v.front(), v[v.size() / 2], v.back()};
}
// A file has its first frame once it grows past the header it starts with.
bool grownPastHeader(const std::string& path, uintmax_t& header) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    if (ec) return false;
    if (header == 0) {
        header = size;
        return false;
    }
    return size > header;
}

void registerComponents() {
    for (const char* name : {"Slotbook.so", "Capgraph.so", "wmenceng.so", "encwrap.so"}) {
        const std::string path = joinPath(COMPONENT_DIR, name);
        auto lib = loadComponentLibrary(path);
        if (!lib || !lib->registerServer(path.c_str()))
            std::fprintf(stderr, "recording-bench: cannot register %s\n", name);
    }
}

// The bare encoder: from creating it to the first frame in its file.
double bareEncoderStart(const std::string& file) {
    const double t0 = wallNow();
    ObjectPtr e = CreateObject("Encwrap.clsCommand");
    for (auto [member, text] : {std::pair{"ISetOutputFilename", file},
                                {"ISetVideoSource", std::string(capture::kVirtualVideoName)},
                                {"ISetAudioSource", std::string(capture::kVirtualAudioName)},
                                {"ISetProfileName", std::string("Video for broadband NTSC (384 Kbps)")}}) {
        Args a{Variant(text)};
        e->call(member, a);
    }
    Args s{Variant(int32_t(0))};
    e->call("IStart", s);
    uintmax_t header = 0;
    runUntil([&] { return grownPastHeader(file, header); }, 15);
    const double t = wallNow() - t0;
    Args on{Variant(true)};
    e->call("ISetAutoIndex", on);
    e->call("IStop");
    runUntil([&] { return !e->call("IIndexerRunning").toBool(); }, 10);
    return t;
}

// Peer of live TV: CPU seconds of gst-launch-1.0 showing the card's picture
// scaled to w x h for `secs`.
double peerPreviewCpu(int w, int h, double secs) {
    const auto card = capture::defaultVirtualCard();
    // The same caption, line breaks included: the overlay reads markup, and a
    // character reference keeps the break inside one word of the description.
    gchar* escaped = g_markup_escape_text(capture::virtualHardware(card, 0)->overlayText().c_str(), -1);
    std::string text;
    for (const char* c = escaped; *c; ++c)
        text += *c == '\n' ? std::string("&#10;") : std::string(1, *c);
    g_free(escaped);
    std::string desc = capture::virtualVideoSource(card) + " text=\"" + text + "\"" +
                       " ! videoconvert ! videoscale ! video/x-raw,format=BGRx,width=" + std::to_string(w) +
                       ",height=" + std::to_string(h) + " ! fakesink sync=false";
    return bench::gstLaunchCpuSeconds(desc, long(secs * 30000 / 1001));
}

double ratio(double a, double b) { return b > 0 ? a / b : 0; }

// The preview's frame counts; zero when no preview is shown.
capture::PreviewFrames previewFrames() {
    capture::PreviewFrames f;
    for (QWidget* w : QApplication::allWidgets())
        if (w->objectName() == "CapgraphPreview" && w->isVisible() && capture::previewFrames(w, &f)) break;
    return f;
}

struct LiveRun {
    double cpu = 0;
    capture::PreviewFrames frames;
    QSize size;
};

// CPU seconds and frames of the preview as it stands, for `secs`.
LiveRun measureLive(double secs) {
    runFor(1); // the picture settles in its place
    LiveRun run;
    const capture::PreviewFrames f0 = previewFrames();
    const double c0 = cpuSelf();
    runFor(secs);
    run.cpu = cpuSelf() - c0;
    const capture::PreviewFrames f1 = previewFrames();
    run.frames = {f1.received - f0.received, f1.shown - f0.shown, f1.dropped - f0.dropped};
    for (QWidget* w : QApplication::allWidgets())
        if (w->objectName() == "CapgraphPreview" && w->isVisible()) run.size = w->size();
    return run;
}

void printLive(const char* where, double secs, const LiveRun& ours, double peer) {
    const bool met = peer > 0 && ratio(ours.cpu, peer) <= 1.3 && ours.frames.dropped == 0 && ours.frames.shown > 0;
    std::printf("Live TV %s (picture %dx%d) for %.0f s: ours %.2f CPU s, bare pipeline %.2f CPU s, ratio %.2f; "
                "frames: %ld delivered, %ld shown, %ld dropped (%.0f at 29.97/s); target ratio at most 1.3, "
                "none dropped: %s\n",
                where, ours.size.width(), ours.size.height(), secs, ours.cpu, peer, ratio(ours.cpu, peer),
                ours.frames.received, ours.frames.shown, ours.frames.dropped, secs * 30000 / 1001,
                met ? "met" : "NOT met");
}

} // namespace

int main(int argc, char** argv) {
    int events = 20;
    double secs = 20, liveSecs = 60;
    std::string only = "idle,live,start";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--events") && i + 1 < argc)
            events = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            secs = std::max(2.0, std::atof(argv[++i]));
        else if (!std::strcmp(argv[i], "--live-seconds") && i + 1 < argc)
            liveSecs = std::max(2.0, std::atof(argv[++i]));
        else if (!std::strcmp(argv[i], "--only") && i + 1 < argc)
            only = argv[++i];
        else {
            std::fprintf(stderr, "usage: recording-bench [--events N] [--seconds S] [--live-seconds S] "
                                 "[--only idle,live,start]\n");
            return 2;
        }
    }
    const auto part = [&](const char* name) {
        return ("," + only + ",").find("," + std::string(name) + ",") != std::string::npos;
    };
    char folderTemplate[] = "/tmp/recording-bench-XXXXXX";
    const std::string folder = mkdtemp(folderTemplate);
    setenv("VESPER_HOME", folder.c_str(), 1);
    setenv("VESPER_REGISTRY", (folder + "/registry.sqlite").c_str(), 1);
    unsetenv(capture::kVirtualCardsVariable);
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QApplication app(argc, argv);
    setWaitHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); });
    registerComponents();
    const std::string out = joinPath(folder, "MyTV");
    fs::create_directories(out);

    // Idle: the empty peer first, then the main window with an empty schedule.
    double peerIdle = 0, oursIdle = 0;
    if (part("idle")) {
        QWidget empty;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [] {});
        timer.start(1000);
        empty.show();
        const double c0 = cpuSelf();
        runFor(secs);
        peerIdle = cpuSelf() - c0;
    }
    Program program;
    ObjectPtr scheduler = CreateObject("Slotbook.EventsObj");
    scheduler->call("Initialize");
    frmVesper window(program, scheduler);
    window.txtOutputDir->setText(QString::fromStdString(out));
    window.show();
    window.core().tuner().Default(window.core().videoSourceText(), window.core().audioSourceText());
    window.SetNextEvent();
    if (part("idle")) {
        const double c0 = cpuSelf();
        runFor(secs);
        oursIdle = cpuSelf() - c0;
        std::printf(
            "Idle for %.0f s: main window %.2f%% of a core, empty Qt window with a 1 s timer %.2f%%, ratio %.2f\n",
            secs, 100 * oursIdle / secs, 100 * peerIdle / secs, ratio(oursIdle, peerIdle));
    }

    // Live TV: pane, then a 640x480 TV window, each beside the bare pipeline.
    if (part("live")) {
        window.cmdPreview->click();
        const LiveRun pane = measureLive(liveSecs);
        printLive("in the pane", liveSecs, pane, peerPreviewCpu(pane.size.width(), pane.size.height(), liveSecs));
        window.core().preview().lblDetachTVClick();
        if (window.tvWindow()) window.tvWindow()->resize(640, 480);
        const LiveRun tv = measureLive(liveSecs);
        printLive("in a 640x480 TV window", liveSecs, tv, peerPreviewCpu(tv.size.width(), tv.size.height(), liveSecs));
        window.cmdPreview->click();
    }

    // Event start to first frame, over `events` events, and the bare encoder.
    std::vector<double> ours, bare;
    for (int i = 0; part("start") && i < events; ++i) {
        bare.push_back(bareEncoderStart(joinPath(out, "bare" + std::to_string(i) + ".wmv")));

        const std::string name = "event" + std::to_string(i) + ".wmv";
        const long long startSecs = toSeconds(vesper::now()) + 2;
        Args a{Variant::date(fromSeconds(startSecs)), Variant(int16_t(5)), Variant(int16_t(1)), Variant(true),
               Variant(std::string("once")),          Variant(name)};
        scheduler->call("IAddEvent", a);
        window.SetNextEvent();
        const double startWall = double(toUnixLocal(fromSeconds(startSecs)));
        const std::string file = joinPath(out, name);
        uintmax_t header = 0;
        if (runUntil([&] { return grownPastHeader(file, header); }, 20)) ours.push_back(wallNow() - startWall);
        // Cancel it: the next tick stops the encoder.
        window.CancelCurrentEvent();
        runUntil([&] { return !window.core().recording(); }, 30);
    }
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    const Stats o = stats(ours), b = stats(bare);
    if (part("start")) {
        std::printf("Event start to first frame over %zu events: min %.2f s, median %.2f s, max %.2f s\n", ours.size(),
                    o.min, o.median, o.max);
        std::printf("Bare encoder start to first frame over %zu starts: min %.2f s, median %.2f s, max %.2f s (median "
                    "ratio %.2f)\n",
                    bare.size(), b.min, b.median, b.max, ratio(o.median, b.median));
    }
    std::printf("Peak resident memory: %.1f MiB\n", r.ru_maxrss / 1024.0);

    window.releaseComponents();
    std::error_code ec;
    fs::remove_all(folder, ec);
    return 0;
}
