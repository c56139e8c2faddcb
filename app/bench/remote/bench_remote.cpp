// bench-remote: the remote access server in a program of its own (the core
// over the real scheduler object, no window), loaded from client threads over
// loopback. Prints the median and 99th percentile of each round trip at 1 and
// 20 concurrent clients, the same operations through vesper-schedule (one
// process per command, as a user would script it), and the largest lateness
// of a 1 s tick on the server's thread during the load.
#include "app/core/remote_access.h"
#include "app/core/remote_api.h"
#include "app/core/remote_server.h"
#include "app/core/vesper_core.h"

#include "platform/clock.h"
#include "platform/dates.h"
#include "scheduler/events_obj.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

using namespace vesper;

namespace {

class NoView : public MainView {
public:
    void render() override {}
    bool isMinimized() override { return false; }
    void restoreNormal() override {}
    std::string mainWindowHandle() override { return "0"; }
    std::string tvWindowHandle() override { return "0"; }
    bool firstTabShown() override { return false; }
    void showTvWindow() override {}
    void unloadTvWindow() override {}
    void hideTvWindow() override {}
    void AdjustOverlayScreen() override {}
    bool modalOpen() override { return false; }
    void showNormalOnScheduleTab() override {}
    void showAddEventDialog() override {}
    void handOverDocument(const std::string&) override {}
    void closeWindow() override {}
};

// One request on its own connection; the milliseconds until the answer is
// read whole, negative when it was not a 2xx or 409 answer.
double roundTrip(quint16 port, const std::string& request) {
    const auto t0 = std::chrono::steady_clock::now();
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string got;
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
        char buf[65536];
        // Read until the answer is whole (its Content-Length), not until the
        // server closes.
        for (ssize_t n; (n = recv(fd, buf, sizeof buf, 0)) > 0;) {
            got.append(buf, size_t(n));
            const size_t end = got.find("\r\n\r\n");
            const size_t at = got.find("Content-Length: ");
            if (end != std::string::npos && at != std::string::npos && at < end &&
                got.size() >= end + 4 + std::stoul(got.substr(at + 16)))
                break;
        }
    }
    close(fd);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    const bool ok = got.size() > 12 && (got[9] == '2' || got.compare(9, 3, "409") == 0);
    return ok ? ms : -1;
}

std::string request(quint16 port, const std::string& token, const std::string& method, const std::string& path,
                    const std::string& body = {}) {
    return method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nConnection: close\r\nAuthorization: Bearer " + token + "\r\nContent-Type: application/json\r\n" +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct Figures {
    double median = 0, p99 = 0;
    int failed = 0;
};

Figures figures(std::vector<double> ms) {
    Figures f;
    f.failed = int(std::count_if(ms.begin(), ms.end(), [](double v) { return v < 0; }));
    ms.erase(std::remove_if(ms.begin(), ms.end(), [](double v) { return v < 0; }), ms.end());
    if (ms.empty()) return f;
    std::sort(ms.begin(), ms.end());
    f.median = ms[ms.size() / 2];
    f.p99 = ms[std::min(ms.size() - 1, size_t(double(ms.size()) * 0.99))];
    return f;
}

// An add's body: hourly half-hour slots from 2032 on, one per (client, n).
std::string addBody(int slot) {
    const DateParts p = splitDate(makeDate(2032, 1, 1, 0, 0, 0) + slot / 24.0);
    char start[32];
    std::snprintf(start, sizeof start, "%04d-%02d-%02dT%02d:00", p.year, p.month, p.day, p.hour);
    return std::string("{\"start\":\"") + start + "\",\"channel\":5,\"duration\":30,\"filename\":\"bench\"}";
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("VESPER_HOME", home.path().toUtf8());
    qputenv("VESPER_REGISTRY", (home.path() + "/registry.sqlite").toUtf8());
    QCoreApplication app(argc, argv);
    // As in the program: the scheduler's pauses keep the event loop going.
    setWaitHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 50); });

    // The schedule: 1,000 events, as the list's figure asks.
    const std::string schedule = (home.path() + "/Schedule.txt").toStdString();
    auto scheduler = std::make_shared<slotbook::EventsObj>(schedule);
    scheduler->call("Initialize");
    for (int i = 0; i < 1000; ++i) {
        Args a{Variant::date(makeDate(2031, 1, 1, 0, 0, 0) + i / 24.0),
               Variant(int16_t(4)),
               Variant(int16_t(30)),
               Variant(true),
               Variant(std::string("once")),
               Variant(std::string("event" + std::to_string(i)))};
        scheduler->call("IAddEvent", a);
    }
    scheduler->call("IPersistentSave");

    Program program;
    program.createObject = [](const std::string&) { return ObjectPtr(); };
    NoView view;
    VesperCore core(program, scheduler, view);
    const std::string token = remote::newToken().toStdString();
    remote::RemoteServer server([&core](const remote::Request& r) { return core.remoteApi().handle(r); },
                                remote::hashToken(QByteArray::fromStdString(token)));
    QString error;
    if (!server.start(QHostAddress::LocalHost, 0, {}, {}, &error)) {
        std::fprintf(stderr, "bench-remote: %s\n", qPrintable(error));
        return 1;
    }
    const quint16 port = server.port();

    // The tick: how late each 1 s timeout of the server's thread comes.
    std::atomic<double> worstLate{0};
    QElapsedTimer sinceTick;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double late = double(sinceTick.restart()) - 1000.0;
        if (late > worstLate) worstLate = late;
    });

    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("bench-remote: round trips over loopback, milliseconds (median / 99th percentile)\n");
    int slot = 0;
    auto load = [&](const char* what, int clients, int perClient, bool add) {
        std::vector<double> ms;
        std::mutex m;
        std::atomic<int> done{0};
        std::vector<std::thread> threads;
        const int base = slot;
        slot += clients * perClient;
        worstLate = 0;
        sinceTick.start();
        tick.start(1000);
        for (int c = 0; c < clients; ++c)
            threads.emplace_back([&, c] {
                for (int n = 0; n < perClient; ++n) {
                    const std::string req =
                        add ? request(port, token, "POST", "/api/schedule", addBody(base + c * perClient + n))
                            : request(port, token, "GET", "/api/schedule");
                    const double t = roundTrip(port, req);
                    std::lock_guard<std::mutex> lock(m);
                    ms.push_back(t);
                }
                ++done;
            });
        while (done < clients)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        for (auto& t : threads)
            t.join();
        tick.stop();
        const Figures f = figures(ms);
        std::printf("  %-28s %2d client(s) %4zu requests: %7.2f / %7.2f   tick late at most %5.0f ms%s\n", what,
                    clients, ms.size(), f.median, f.p99, double(worstLate),
                    f.failed ? (" (" + std::to_string(f.failed) + " failed)").c_str() : "");
    };
    load("list (1,000 events)", 1, 100, false);
    load("list (1,000 events)", 20, 10, false);
    load("add (conflict test, saved)", 1, 100, true);
    load("add (conflict test, saved)", 20, 10, true);

    // The peer: vesper-schedule on a copy of the same schedule, one process a
    // command.
    QTemporaryDir peer;
    QProcess::execute(QCoreApplication::applicationDirPath() + "/regsvr",
                      {QCoreApplication::applicationDirPath() + "/Slotbook.so"});
    QFile::copy(QString::fromStdString(schedule), peer.path() + "/Schedule.txt");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VESPER_HOME", peer.path());
    env.insert("VESPER_SCHEDULE_NOW", "2030-01-01 12:00");
    auto peerRun = [&](const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(env);
        QElapsedTimer t;
        t.start();
        p.start(VESPER_SCHEDULE_PATH, args);
        p.waitForFinished(60000);
        const bool ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        return ok ? double(t.nsecsElapsed()) / 1e6 : -1.0;
    };
    std::vector<double> lists, adds;
    for (int i = 0; i < 20; ++i)
        lists.push_back(peerRun({"list"}));
    for (int i = 0; i < 20; ++i) {
        const DateParts p = splitDate(makeDate(2033, 1, 1, 0, 0, 0) + i / 24.0);
        adds.push_back(peerRun({"add", QString::asprintf("%04d-%02d-%02d %02d:00", p.year, p.month, p.day, p.hour), "5",
                                "30", "once", "bench"}));
    }
    const Figures l = figures(lists), a = figures(adds);
    std::printf("  vesper-schedule list          1 process at a time: %7.2f / %7.2f%s\n", l.median, l.p99,
                l.failed ? " (some failed)" : "");
    std::printf("  vesper-schedule add           1 process at a time: %7.2f / %7.2f%s\n", a.median, a.p99,
                a.failed ? " (some failed)" : "");
    return 0;
}
