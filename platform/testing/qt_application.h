// The one QApplication of a test program, made by whichever test needs it
// first, and a way to let its events run until something has happened.
#pragma once

#include <QApplication>
#include <QElapsedTimer>

#include <functional>

namespace vesper::test {

inline QApplication& application() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
    static int argc = 1;
    static char name[] = "vesper_tests";
    static char* argv[] = {name, nullptr};
    return *new QApplication(argc, argv);
}

// Processes events until `done` answers true or `timeoutMs` have passed; what
// `done` answers last.
inline bool runEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

} // namespace vesper::test
