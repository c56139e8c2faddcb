// The watch in the running program: the EventWatch on the core's tick, with
// the devices probed through the core's modules, notices through the
// desktop's notification service, the lock against sleep through logind and
// the wall clock's jumps. The window hooks its status line, its list and its
// raising through the std::function members.
#pragma once

#include "app/core/event_watch.h"

#include <QDBusConnection>
#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace vesper {

class VesperCore;

namespace desktop {
class ClockJumpDetector;
class DesktopNotifier;
class SleepGuard;
} // namespace desktop

// The desktop's session bus, or a connection that is not connected when the
// desktop has none (never one started for us on the side).
QDBusConnection desktopSessionBus();
// The machine's system bus ($DBUS_SYSTEM_BUS_ADDRESS when set).
QDBusConnection machineSystemBus();

class WatchService : public QObject, public WatchProbe {
    Q_OBJECT
public:
    WatchService(VesperCore& core, const QDBusConnection& sessionBus, const QDBusConnection& systemBus,
                 QObject* parent = nullptr);
    ~WatchService() override;

    EventWatch& watch() { return *m_watch; }
    desktop::SleepGuard* sleepGuard() { return m_sleep.get(); }

    // Around the engine's tick.
    void beforeTick();
    void afterTick();

    // A notice no notification service showed (or notices are switched
    // off): the window's status line. Standard error has it either way.
    std::function<void(const std::string&)> onStatusNotice;
    std::function<void()> onListChanged;
    // The user chose the notice's open action.
    std::function<void()> onOpenRequested;

    // WatchProbe
    std::string devicesOpen() override;
    std::string tunerTakes(int16_t channel) override;
    double freeBytes(const std::string& folder) override;
    double bitRate() override;
    RecordingFault recordingFault() override;
    int signalPresent() override;
    bool restartRecording() override;

private:
    void show(const WatchNotice& notice);
    void holdForSleep();

    VesperCore& m_core;
    std::unique_ptr<EventWatch> m_watch;
    std::unique_ptr<desktop::DesktopNotifier> m_notifier;
    std::unique_ptr<desktop::SleepGuard> m_sleep;
    std::unique_ptr<desktop::ClockJumpDetector> m_jumps;
    // Notices sent and not yet answered, by ticket.
    std::map<int, std::string> m_pending;
    DateTime m_asleepSince = 0;
    bool m_lockRefusalSaid = false;
};

} // namespace vesper
