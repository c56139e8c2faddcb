// Vesper: the main program. The start-up runs on the main window; closing
// the window (or SIGTERM, or the end of the desktop session) saves and ends.
#include "app/forms/frm_vesper.h"
#include "app/forms/startup.h"
#include "platform/ui/qt_ui_seam.h"

#include "platform/automation.h"
#include "platform/clock.h"
#include "platform/component_setup.h"
#include "platform/dates.h"
#include "platform/paths.h"
#include "platform/registry.h"

#include <QApplication>
#include <QEventLoop>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

// SIGTERM, SIGINT and SIGHUP ask the window to close, from the event loop.
int g_signalPipe[2] = {-1, -1};

void onTerminate(int) {
    const char c = 1;
    (void)!::write(g_signalPipe[1], &c, 1);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vesper");
    QApplication::setDesktopFileName("vesper");
    vesper::installQtUiSeam();
    vesper::installUiSeamFromEnvironment();
    // Tests of the real program place it at a moment of their own.
    static std::unique_ptr<vesper::ShiftedClock> shifted;
    if (const char* at = std::getenv("VESPER_TEST_NOW"); at && *at) {
        if (const auto start = vesper::parseDate(at)) {
            shifted = std::make_unique<vesper::ShiftedClock>(*start);
            vesper::setClock(shifted.get());
        } else {
            std::fprintf(stderr, "vesper: VESPER_TEST_NOW is not a date and time: %s\n", at);
        }
    }
    vesper::setWaitHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 50); });
    vesper::registerBundledComponents(vesper::BundledComponents::InstalledAndBesideProgram);

    vesper::Program program;
    vesper::VesperStartup startup(program);

    // SIGTERM, Ctrl+C and the terminal closing (SIGHUP) ask the window to
    // close, from the event loop, whatever box is open; a request during the
    // start-up abandons it.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [&startup] {
            char c;
            (void)!::read(g_signalPipe[0], &c, 1);
            startup.requestClose(vesper::EndReason::Signal);
        });
        struct sigaction sa {};
        sa.sa_handler = onTerminate;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
            // A signal the caller chose to ignore (nohup, a background job)
            // stays ignored.
            struct sigaction old {};
            if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
            sigaction(sig, &sa, nullptr);
        }
    }
    // The desktop session ending closes the window as the close box does.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app,
                     [&startup](QSessionManager&) { startup.requestClose(vesper::EndReason::Logout); });

    if (!startup.FormLoad()) return 1;
    // Any other way out of the event loop still saves, once.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app,
                     [&startup] { startup.endProgram(vesper::EndReason::Exit); });
    return app.exec();
}
