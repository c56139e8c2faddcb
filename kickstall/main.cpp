// kickstall: caches the product package and installs or repairs the product
// from it. On success it ends at once and shows nothing of its own; when setup
// cannot continue, its window shows why.
#include "kickstall/frm_kickstall.h"
#include "kickstall/kickstall.h"
#include "platform/ui/qt_ui_seam.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Qt ends the process when no platform of its list opens, so the list ends
// with one that always does; the window is left out there (see main).
std::string platformsToTry() {
    std::string platforms;
    if (isSet("WAYLAND_DISPLAY")) platforms += "wayland;";
    if (isSet("DISPLAY")) platforms += "xcb;";
    return platforms + "offscreen";
}

} // namespace

int main(int argc, char** argv) {
    const kickstall::Outcome outcome = kickstall::run(kickstall::realSystem());
    if (outcome.succeeded) return 0;

    // Also for a terminal, where no window may be possible.
    std::fprintf(stderr, "kickstall: %s\n", outcome.errorText.c_str());
    vesper::installQtUiSeam();
    vesper::installUiSeamFromEnvironment();
    if (!isSet("QT_QPA_PLATFORM")) {
        // Without any display the line above is all there is to tell.
        if (!vesper::uiSeamScripted() && !isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY")) return 1;
        qputenv("QT_QPA_PLATFORM", platformsToTry().c_str());
    }
    QApplication app(argc, argv);
    frmKickstall form;
    form.ShowErrorDisplay(outcome.errorText);
    // A window nobody can see would also never be closed.
    const QString platform = QGuiApplication::platformName();
    if (!vesper::uiSeamScripted() && (platform == "offscreen" || platform == "minimal")) return 1;
    if (form.ShowThroughSeam()) app.exec();
    return 1;
}
