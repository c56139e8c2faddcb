// Vesper: the main program. The start-up runs on the main window; closing
// the window (or SIGTERM, or the end of the desktop session) saves and ends.
#include "app/recording/frm_vesper.h"
#include "app/recording/startup.h"
#include "app/support/ui_seam.h"

#include "platform/automation.h"
#include "platform/clock.h"
#include "platform/component_setup.h"
#include "platform/paths.h"
#include "platform/registry.h"

#include <QApplication>
#include <QEventLoop>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

namespace {

// Component libraries built beside the program are registered in the user's
// hive when their class is not known yet, so that a build tree runs as it is.
void registerBundledComponents() {
    // A hive that cannot be used is reported by the start-up; nothing waits
    // for it or writes into it before.
    if (!vesper::registry::checkHive().usable()) return;
    const struct {
        const char* progId;
        const char* library;
    } bundled[] = {{"Slotbook.EventsObj", "Slotbook.so"},
                   {"Capgraph.Command", "Capgraph.so"},
                   {"WMEncEng.WMEncoder", "wmenceng.so"},
                   {"Encwrap.clsCommand", "encwrap.so"},
                   {"Chanplug.clsObject", "chanplug.so"}};
    for (const auto& b : bundled) {
        if (vesper::resolveProgId(b.progId)) continue;
        const std::string path = vesper::joinPath(vesper::executableFolder(), b.library);
        if (!std::filesystem::exists(path)) continue;
        if (auto lib = vesper::loadComponentLibrary(path)) lib->registerServer(path.c_str());
    }
}

// SIGTERM asks the window to close, from the event loop.
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
    vesper::installUiSeamFromEnvironment();
    vesper::setWaitHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 50); });
    registerBundledComponents();
    vesper::ensureBundledComponentsRegistered();

    vesper::Program program;
    vesper::VesperStartup startup(program);

    // SIGTERM (and Ctrl+C) ask the window to close, from the event loop; a
    // request during the start-up is carried out when it has finished.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [&startup] {
            char c;
            (void)!::read(g_signalPipe[0], &c, 1);
            startup.requestClose();
        });
        struct sigaction sa {};
        sa.sa_handler = onTerminate;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
    }
    // The desktop session ending closes the window as the close box does.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app,
                     [&startup](QSessionManager&) { startup.requestClose(); });

    if (!startup.FormLoad()) return 1;
    // Any other way out of the event loop still saves, once.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [&startup] { startup.Unload(); });
    return app.exec();
}
