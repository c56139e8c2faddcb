// For tests without windows: the one QCoreApplication of a test program, whose
// events the platform's waits keep processing, a bounded wait for something
// to happen, and a time zone for one test.
#pragma once

#include "platform/clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>

namespace vesper::test {

inline QCoreApplication& coreApp() {
    static QCoreApplication* app = [] {
        if (QCoreApplication* existing = QCoreApplication::instance()) return existing;
        static int argc = 1;
        static char name[] = "vesper_tests";
        static char* argv[] = {name, nullptr};
        auto* a = new QCoreApplication(argc, argv);
        setWaitHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
        return a;
    }();
    return *app;
}

// Processes events until `done` or a generous safety limit (never a timing
// assertion: the limit only keeps a broken test from hanging).
inline bool spinEventsUntil(const std::function<bool()>& done, int limitMs = 30000) {
    coreApp();
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// TZ set for the scope's life.
class TimeZoneScope {
public:
    explicit TimeZoneScope(const char* zone) {
        if (const char* old = std::getenv("TZ")) m_old = old, m_had = true;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZoneScope() {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string m_old;
    bool m_had = false;
};

} // namespace vesper::test
