// Helpers shared by tests of several programs: a time zone for one test, and a Qt
// application whose events the platform's waits keep processing.
#pragma once

#include "platform/clock.h"
#include "platform/testing/event_loop.h"
#include "platform/testing/qt_application.h"

#include <QApplication>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>

namespace vesper::test {

using ZoneScope = TimeZoneScope;

inline QApplication& qtApp() {
    static QApplication* app = [] {
        QApplication* a = &vesper::test::application();
        setWaitHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
        return a;
    }();
    return *app;
}

// Processes events until `done` or a generous safety limit (never a timing
// assertion: the limit only keeps a broken test from hanging).
inline bool spinUntil(const std::function<bool()>& done, int limitMs = 30000) {
    qtApp();
    return spinEventsUntil(done, limitMs);
}

} // namespace vesper::test
