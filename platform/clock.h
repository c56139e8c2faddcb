// The program's one clock, replaceable in tests, and the waits that keep the
// host's user interface alive.
#pragma once

#include "platform/dates.h"

#include <functional>
#include <memory>

namespace vesper {

class Clock {
public:
    virtual ~Clock() = default;
    // Local wall-clock time as an automation date.
    virtual DateTime now() = 0;
    // Seconds on a steady clock, for measuring elapsed time.
    virtual double monotonic() = 0;
    // Lets time pass: the real clock sleeps, a test clock moves forward.
    virtual void sleep(double seconds) = 0;
};

class SystemClock : public Clock {
public:
    DateTime now() override;
    double monotonic() override;
    void sleep(double seconds) override;
};

// The system's clock set to another moment: it starts at `start` and runs at
// the real pace, so a test of the real program can place its events at a
// fixed date, whatever today is.
class ShiftedClock : public SystemClock {
public:
    explicit ShiftedClock(DateTime start) : m_start(start), m_origin(SystemClock::monotonic()) {}
    DateTime now() override;

private:
    DateTime m_start;
    double m_origin;
};

// A clock that stands still until a test moves it; sleeping moves it, so a
// wait of any length costs no real time.
class TestClock : public Clock {
public:
    explicit TestClock(DateTime start = 0) : m_now(start) {}
    DateTime now() override { return m_now; }
    double monotonic() override { return m_mono; }
    void sleep(double seconds) override { advance(seconds); }
    void set(DateTime dt) { m_now = dt; }
    void advance(double seconds);

private:
    DateTime m_now;
    double m_mono = 1000.0;
};

Clock& clock();
// Replaces the clock (nullptr restores the system clock). The caller keeps
// ownership and must keep it alive while installed.
void setClock(Clock* c);

// Shorthand for clock().now().
DateTime now();

// Called repeatedly while a wait runs, to process the host's events. A Qt host
// installs one that processes its event queue; without one, waits sleep.
using WaitHook = std::function<void()>;
void setWaitHook(WaitHook hook);
// Runs the hook once (if any): lets the host process pending events.
void processHostEvents();

// Waits the given elapsed time while processing the host's events.
void waitSeconds(double seconds);
// Waits until `done` answers true or the time is up; true when done.
bool waitUntil(const std::function<bool()>& done, double timeoutSeconds);

} // namespace vesper
