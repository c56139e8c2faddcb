// guidelink: the listings enabler.
//
//   guidelink              the window that switches the link menu entry
//   guidelink --sch LINK   sends the listing LINK to Vesper (LINK may also be
//                          a "vesper-add:" address, as the URL handler gets it)
//
// --sch exits 0 when the program was sent, 1 when the link held no channel,
// 2 on an error or when nothing could be sent, with the reason on standard
// error.
#include "guidelink/cls_vesper.h"
#include "guidelink/enabler_settings.h"
#include "guidelink/frm_guidelink.h"

#include "platform/ui/qt_ui_seam.h"

#include "platform/clock.h"
#include "platform/component_setup.h"
#include "platform/registry.h"

#include <QApplication>
#include <QByteArray>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <strings.h>

using namespace vesper;

namespace {

// Without a display the messages go to standard error only.
class QuietUiSeam : public UiSeam {
public:
    MsgBoxResult message(const MessageRequest& request) override { return request.defaultButton(); }
    std::optional<std::string> modal(const ModalRequest& request) override { return request.defaultAnswer; }
};

bool hasDisplay() {
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char* x = std::getenv(v); x && *x) return true;
    return false;
}

// "vesper-add:" + the percent-encoded listing link.
std::string linkFromArgument(const std::string& argument) {
    constexpr const char* scheme = "vesper-add:";
    if (strncasecmp(argument.c_str(), scheme, std::strlen(scheme)) != 0) return argument;
    std::string rest = argument.substr(std::strlen(scheme));
    // A browser that decoded the address already hands it over readable;
    // decoding it again would turn an escaped "&" of the title into a pair.
    if (rest.find("://") != std::string::npos) return rest;
    return QByteArray::fromPercentEncoding(QByteArray::fromStdString(rest)).toStdString();
}

void printLines(const std::string& text) {
    std::string s;
    for (char c : text)
        if (c != '\r') s += c;
    std::fprintf(stderr, "guidelink: %s\n", s.c_str());
}

int runSch(int argc, char** argv, const std::string& argument, const registry::HiveHealth& hive) {
    // The hand-over reads Vesper's state and its path from the hive.
    if (!hive.usable()) {
        printLines(registry::hiveProblemText(hive));
        return 2;
    }
    std::unique_ptr<QApplication> app;
    static QuietUiSeam quiet;
    if (hasDisplay()) {
        int qargc = 1;
        app = std::make_unique<QApplication>(qargc, argv);
        setWaitHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 50); });
        installQtUiSeam();
    } else {
        setProgramUiSeam(&quiet);
    }
    installUiSeamFromEnvironment();
    (void)argc;
    try {
        const auto outcome =
            guidelink::sch(linkFromArgument(argument), [](const std::string& id) { return TryCreateObject(id); });
        switch (outcome.result) {
        case guidelink::SchResult::Sent: return 0;
        case guidelink::SchResult::NoChannel: printLines(outcome.reason); return 1;
        case guidelink::SchResult::NotSent: printLines(outcome.reason); return 2;
        }
    } catch (const AutomationError& e) {
        printLines(e.logText());
    } catch (const std::exception& e) {
        printLines(e.what());
    }
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    // Before anything reads the hive: a damaged or busy one is said as such.
    const registry::HiveHealth hive = registry::checkHive();
    vesper::registerBundledComponents();
    if (argc >= 2 && std::strcmp(argv[1], "--sch") == 0) {
        if (argc != 3) {
            std::fprintf(stderr, "usage: guidelink --sch LINK\n");
            return 2;
        }
        return runSch(argc, argv, argv[2], hive);
    }
    if (argc >= 2 && strncasecmp(argv[1], "vesper-add:", 11) == 0) return runSch(argc, argv, argv[1], hive);
    if (argc >= 2) {
        std::fprintf(stderr, "usage: guidelink [--sch LINK]\n");
        return 2;
    }
    QApplication app(argc, argv);
    installQtUiSeam();
    installUiSeamFromEnvironment();
    if (!hive.usable()) {
        MsgBox(nullptr, registry::hiveProblemText(hive), vbCritical, "Guidelink");
        return 2;
    }
    guidelink::frmGuidelink window(guidelink::installationFolder());
    window.exec();
    return 0;
}
