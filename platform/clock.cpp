#include "platform/clock.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <thread>

namespace vesper {

namespace {
SystemClock g_systemClock;
Clock* g_clock = &g_systemClock;
WaitHook g_waitHook;
} // namespace

DateTime SystemClock::now() { return fromUnixLocal(static_cast<long long>(std::time(nullptr))); }

long long SystemClock::unixNow() { return static_cast<long long>(std::time(nullptr)); }

double SystemClock::monotonic() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::sleep(double seconds) {
    if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

DateTime ShiftedClock::now() {
    const long long elapsed = static_cast<long long>(monotonic() - m_origin);
    return fromSeconds(toSeconds(m_start) + elapsed);
}

long long ShiftedClock::unixNow() { return toUnixLocal(m_start) + static_cast<long long>(monotonic() - m_origin); }

void TestClock::set(DateTime dt) {
    m_now = dt;
    m_unix = toUnixLocal(dt);
    m_unixFraction = 0;
    m_byInstant = false;
}

void TestClock::setInstant(long long unixSeconds) {
    m_unix = unixSeconds;
    m_unixFraction = 0;
    m_now = fromUnixLocal(unixSeconds);
    m_byInstant = true;
}

void TestClock::advance(double seconds) {
    m_mono += seconds;
    m_unixFraction += seconds;
    const double whole = std::floor(m_unixFraction);
    m_unix += static_cast<long long>(whole);
    m_unixFraction -= whole;
    if (m_byInstant)
        m_now = fromUnixLocal(m_unix);
    else
        m_now += seconds / 86400.0;
}

Clock& clock() { return *g_clock; }

void setClock(Clock* c) { g_clock = c ? c : &g_systemClock; }

DateTime now() { return g_clock->now(); }

void setWaitHook(WaitHook hook) { g_waitHook = std::move(hook); }

void processHostEvents() {
    if (g_waitHook) {
        g_waitHook();
    } else if (QCoreApplication::instance()) {
        // A Qt host without a hook of its own still gets its events processed.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

bool waitUntil(const std::function<bool()>& done, double timeoutSeconds) {
    Clock& c = clock();
    const double deadline = c.monotonic() + timeoutSeconds;
    for (;;) {
        processHostEvents();
        if (done && done()) return true;
        const double left = deadline - c.monotonic();
        if (left <= 0) return false;
        c.sleep(std::min(left, 0.01));
    }
}

void waitSeconds(double seconds) { waitUntil({}, seconds); }

} // namespace vesper
