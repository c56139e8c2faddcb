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
    // The present instant in seconds since 1970 (UTC): what a daylight-saving
    // change does not move.
    virtual long long unixNow() { return toUnixLocal(now()); }
    // Seconds on a steady clock, for measuring elapsed time.
    virtual double monotonic() = 0;
    // Lets time pass: the real clock sleeps, a test clock moves forward.
    virtual void sleep(double seconds) = 0;
};

class SystemClock : public Clock {
public:
    DateTime now() override;
    long long unixNow() override;
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
    long long unixNow() override;

private:
    DateTime m_start;
    double m_origin;
};

// A clock that stands still until a test moves it; sleeping moves it, so a
// wait of any length costs no real time. Set to a wall-clock time, it moves
// on the calendar; set to an instant, it moves on instants and shows the
// time zone's wall clock, daylight-saving changes included.
class TestClock : public Clock {
public:
    explicit TestClock(DateTime start = 0) { set(start); }
    DateTime now() override { return m_now; }
    long long unixNow() override { return m_unix; }
    double monotonic() override { return m_mono; }
    void sleep(double seconds) override { advance(seconds); }
    void set(DateTime dt);
    void setInstant(long long unixSeconds);
    void advance(double seconds);

private:
    DateTime m_now = 0;
    long long m_unix = 0;
    double m_unixFraction = 0;
    bool m_byInstant = false;
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
