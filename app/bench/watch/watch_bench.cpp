// Watch benchmark: six faults of the virtual card, each notified through a
// private notification service and listed, the empty files left unreported,
// and the CPU of the watch's tick while recording.
#include "app/core/settings_store.h"
#include "app/core/watch_service.h"
#include "app/forms/frm_vesper.h"

#include "capture/device_stream.h"
#include "platform/automation.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/watch/failed_events.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/mount.h>
#include <vector>

namespace fs = std::filesystem;
using namespace vesper;

namespace {

double wallNow() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

bool runUntil(const std::function<bool()>& done, double secs) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < secs * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

// The system's clock, which the bench may move forward.
class JumpClock : public SystemClock {
public:
    DateTime now() override { return SystemClock::now() + offset / 86400.0; }
    double offset = 0;
};

void registerComponents() {
    for (const char* name : {"Slotbook.so", "Capgraph.so", "wmenceng.so", "encwrap.so"}) {
        const std::string path = joinPath(COMPONENT_DIR, name);
        auto lib = loadComponentLibrary(path);
        if (!lib || !lib->registerServer(path.c_str())) std::fprintf(stderr, "watch-bench: cannot register %s\n", name);
    }
}

QString readText(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

struct Fault {
    const char* name;    // the event's file name, without ".wmv"
    const char* card;    // the card's faults in its JSON
    const char* summary; // the notice's summary begins so
    double at;           // seconds after the start the fault happens
};

} // namespace

int main(int argc, char** argv) {
    int cpuTicks = 1000;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--cpu-ticks") && i + 1 < argc) {
            cpuTicks = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: watch-bench [--cpu-ticks N]\n");
            return 2;
        }
    }
    char folderTemplate[] = "/tmp/watch-bench-XXXXXX";
    const std::string folder = mkdtemp(folderTemplate);
    setenv("VESPER_HOME", folder.c_str(), 1);
    setenv("VESPER_REGISTRY", (folder + "/registry.sqlite").c_str(), 1);
    // Never the machine's logind: sleep is not part of this bench.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + folder + "/no-system-bus").c_str(), 1);
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    setWaitHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); });
    registerComponents();

    // A session bus of our own with the mocked notification service.
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!daemon.waitForStarted(10000) || !daemon.waitForReadyRead(10000)) {
        std::fprintf(stderr, "watch-bench: dbus-daemon did not start\n");
        return 1;
    }
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    setenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8().constData(), 1);
    const QString noticeLog = QString::fromStdString(folder) + "/notify.log";
    QProcess mock;
    mock.start("/usr/bin/python3", {"-m", "dbusmock", "--template", "notification_daemon", "-l", noticeLog});
    QDBusConnection probeBus = QDBusConnection::connectToBus(address, "watch-bench");
    if (!runUntil([&] { return probeBus.interface()->isServiceRegistered("org.freedesktop.Notifications").value(); },
                  60)) {
        std::fprintf(stderr, "watch-bench: the mocked notification service did not start (python3-dbusmock)\n");
        return 1;
    }

    JumpClock clock;
    setClock(&clock);
    const Fault faults[] = {
        {"Busy", R"(, "busy": true)", "Not recording: Busy.wmv", 0},
        {"Vanish", R"(, "vanishAfter": 5)", "Recording failed: Vanish.wmv", 5},
        {"NoSignal", R"(, "noSignal": 5)", "No signal: NoSignal.wmv", 0},
        {"Disk", "", "Recording cancelled: Disk.wmv", 5},
        {"Writer", R"(, "writerDiesAfter": 5)", "Recording failed: Writer.wmv", 5},
        {"Clock", "", "Missed the start: Clock.wmv", 5},
    };
    std::vector<std::string> outFolders;
    int inTime = 0, listedCount = 0;
    std::printf("%-10s %-12s %-8s %s\n", "Fault", "Notified in", "Listed", "Notice");
    for (const Fault& f : faults) {
        const std::string cards = folder + "/cards.json";
        std::ofstream(cards) << R"({"realDevices": false, "cards": [{"video": "Card", "audio": "Card Audio", )"
                             << R"("tuner": true)" << f.card << "}]}";
        setenv(capture::kVirtualCardsVariable, cards.c_str(), 1);
        const std::string out = joinPath(folder, f.name);
        fs::create_directories(out);
        outFolders.push_back(out);
        const bool disk = std::string(f.name) == "Disk";
        bool tmpfs = false;
        if (disk) tmpfs = ::mount("tmpfs", out.c_str(), "tmpfs", 0, "size=300m") == 0;

        // Each fault's event alone: the window before saved its schedule.
        fs::remove(joinPath(folder, "Schedule.txt"));
        Program program;
        double pretendFree = 2e9;
        if (disk && !tmpfs) program.freeBytes = [&](const std::string&) { return (long long)pretendFree; };
        ObjectPtr scheduler = CreateObject("Slotbook.EventsObj");
        scheduler->call("Initialize");
        const bool jump = std::string(f.name) == "Clock";
        const DateTime start = roundToSecond(now() + (jump ? 60.0 : 3.0) / 86400.0);
        Args a{Variant::date(start), Variant(int16_t(5)), Variant(int16_t(1)),
               Variant(true),        Variant("once"),     Variant(std::string(f.name) + ".wmv")};
        scheduler->call("IAddEvent", a);
        int before = readText(noticeLog).count(f.summary);
        {
            frmVesper window(program, scheduler, frmVesperOptions{true, true});
            window.txtOutputDir->setText(QString::fromStdString(out));
            window.core().tuner().InitTunerFromForm();
            window.SetNextEvent();
            const double startWall = wallNow() + (toSeconds(start) - toSeconds(now()));
            const double faultWall = jump ? wallNow() + f.at : startWall + f.at;
            runUntil([&] { return wallNow() >= faultWall; }, 120);
            if (jump) clock.offset += 120;
            if (disk && tmpfs) std::ofstream(out + "/filler.bin") << std::string(80'000'000, 'x');
            if (disk && !tmpfs) pretendFree = 200e6;
            const double t0 = wallNow();
            const bool shown = runUntil([&] { return readText(noticeLog).count(f.summary) > before; }, 60);
            const double delay = wallNow() - t0;
            bool listed = false;
            for (const auto& e : watch::FailedEventList().entries())
                listed = listed || e.name == std::string(f.name) + ".wmv";
            inTime += shown;
            listedCount += listed;
            char delayText[32];
            std::snprintf(delayText, sizeof delayText, shown ? "%.1f s" : "not in 60 s", delay);
            std::printf("%-10s %-12s %-8s %s%s\n", f.name, delayText, listed ? "yes" : "no", f.summary,
                        disk ? (tmpfs ? " (300 MiB tmpfs)" : " (free space told, no tmpfs)") : "");
            std::fflush(stdout);
            window.releaseComponents();
        }
        if (jump) clock.offset = 0;
        fs::remove(out + "/filler.bin");
        if (tmpfs) {
            // What the event left is copied out before the tmpfs goes.
            const std::string kept = out + "-kept";
            fs::create_directories(kept);
            for (const auto& file : fs::directory_iterator(out))
                fs::copy(file.path(), kept / file.path().filename());
            ::umount(out.c_str());
            outFolders.back() = kept;
        }
    }
    unsetenv(capture::kVirtualCardsVariable);

    // Empty files: recordings without a byte that no list entry names.
    const auto entries = watch::FailedEventList().entries();
    int empty = 0, unreported = 0;
    for (const std::string& out : outFolders)
        for (const auto& file : fs::directory_iterator(out)) {
            if (!file.is_regular_file() || file.file_size() > 0) continue;
            ++empty;
            bool named = false;
            for (const auto& e : entries)
                named = named || e.action.find(file.path().filename().string()) != std::string::npos;
            unreported += !named;
        }
    std::printf("\nNotified within 60 s: %d of 6 (target 6); listed: %d of 6\n", inTime, listedCount);
    std::printf("Empty files: %d, unreported: %d (target 0)\n", empty, unreported);

    // The watch's own CPU: its tick while a recording runs on the default card.
    {
        fs::remove(joinPath(folder, "Schedule.txt"));
        Program program;
        ObjectPtr scheduler = CreateObject("Slotbook.EventsObj");
        scheduler->call("Initialize");
        const DateTime start = roundToSecond(now() + 2.0 / 86400.0);
        Args a{Variant::date(start), Variant(int16_t(5)), Variant(int16_t(5)),
               Variant(true),        Variant("once"),     Variant(std::string("Cpu.wmv"))};
        scheduler->call("IAddEvent", a);
        frmVesper window(program, scheduler, frmVesperOptions{true, true});
        const std::string out = joinPath(folder, "Cpu");
        fs::create_directories(out);
        window.txtOutputDir->setText(QString::fromStdString(out));
        window.core().tuner().InitTunerFromForm();
        window.SetNextEvent();
        runUntil([&] { return window.core().recording(); }, 30);
        runUntil([] { return false; }, 3);
        timespec t1{}, t2{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t1);
        for (int i = 0; i < cpuTicks; ++i)
            window.core().watch().watch().tick(window.core().engine());
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t2);
        const double perTick = (double(t2.tv_sec - t1.tv_sec) + double(t2.tv_nsec - t1.tv_nsec) / 1e9) / cpuTicks;
        std::printf("Watch CPU while recording: %.1f us a tick, %.4f %% of a core at one tick a second "
                    "(target under 0.5 %%)\n",
                    perTick * 1e6, perTick * 100);
        window.releaseComponents();
    }
    setClock(nullptr);
    mock.terminate();
    mock.waitForFinished(5000);
    daemon.terminate();
    daemon.waitForFinished(5000);
    fs::remove_all(folder);
    return 0;
}
