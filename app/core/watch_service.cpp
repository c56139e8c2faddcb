#include "app/core/watch_service.h"

#include "app/core/kept_recordings.h"
#include "app/core/mod_encoder.h"
#include "app/core/status_log.h"
#include "app/core/vesper_core.h"

#include "platform/clock.h"
#include "platform/desktop/clock_jump.h"
#include "platform/desktop/desktop_notifier.h"
#include "platform/desktop/sleep_guard.h"

#include <QFile>

#include <cstdio>

namespace vesper {

namespace {

std::string callText(Object& object, const char* member, std::vector<std::string> texts) {
    Args args;
    for (auto& t : texts)
        args.push_back(Variant(std::move(t)));
    return object.call(member, args).toString();
}

} // namespace

QDBusConnection desktopSessionBus() {
    // By its address, never through libdbus's own look-up, which would start
    // a bus of its own for a display without one.
    QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (address.isEmpty() && !runtime.isEmpty() && QFile::exists(runtime + "/bus"))
        address = "unix:path=" + runtime + "/bus";
    if (address.isEmpty()) address = "unix:path=/nonexistent/vesper-no-session-bus";
    return QDBusConnection::connectToBus(address, "vesper-session " + address);
}

QDBusConnection machineSystemBus() {
    QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    if (address.isEmpty()) address = "unix:path=/run/dbus/system_bus_socket";
    return QDBusConnection::connectToBus(address, "vesper-system " + address);
}

WatchService::WatchService(VesperCore& core, const QDBusConnection& sessionBus, const QDBusConnection& systemBus,
                           QObject* parent)
    : QObject(parent), m_core(core), m_watch(std::make_unique<EventWatch>(*this)),
      m_jumps(std::make_unique<desktop::ClockJumpDetector>()) {
    m_watch->onNotice = [this](const WatchNotice& n) { show(n); };
    m_watch->onListChanged = [this] {
        if (onListChanged) onListChanged();
    };
    core.engine().setObserver(m_watch.get());
    if (m_watch->settings().notify) {
        m_notifier = std::make_unique<desktop::DesktopNotifier>(sessionBus);
        connect(m_notifier.get(), &desktop::DesktopNotifier::shown, this,
                [this](int ticket, uint) { m_pending.erase(ticket); });
        connect(m_notifier.get(), &desktop::DesktopNotifier::notShown, this, [this](int ticket, const QString& why) {
            const auto it = m_pending.find(ticket);
            if (it == m_pending.end()) return;
            const std::string line = it->second;
            m_pending.erase(it);
            std::fprintf(stderr, "vesper: the notice was not shown (%s): %s\n", why.toLocal8Bit().constData(),
                         line.c_str());
            if (onStatusNotice) onStatusNotice(line);
        });
        connect(m_notifier.get(), &desktop::DesktopNotifier::openRequested, this, [this](uint) {
            if (onOpenRequested) onOpenRequested();
        });
    }
    if (m_watch->settings().sleepWatch) {
        m_sleep = std::make_unique<desktop::SleepGuard>(systemBus);
        if (!m_sleep->available()) {
            const std::string why = m_sleep->unavailableReason().toStdString();
            LogStatus("LS0149:INFO:W00:Watch() sleep is not watched: " + why);
            std::fprintf(stderr, "vesper: sleep is not watched: %s\n", why.c_str());
            m_sleep.reset();
        } else {
            connect(m_sleep.get(), &desktop::SleepGuard::aboutToSleep, this, [this] {
                m_asleepSince = now();
                // A delay lock only gives the moment to note the time.
                if (m_sleep->mode() == desktop::SleepGuard::Mode::Delay) m_sleep->release();
            });
            connect(m_sleep.get(), &desktop::SleepGuard::resumed, this, [this] {
                if (m_asleepSince != 0) m_watch->clockMoved(m_core.engine(), m_asleepSince, now(), true);
                m_asleepSince = 0;
            });
        }
    }
}

WatchService::~WatchService() { m_core.engine().setObserver(nullptr); }

void WatchService::show(const WatchNotice& n) {
    const std::string line = n.summary + ": " + n.body;
    // Standard error has the log line already; the notice goes to the desktop
    // or, when none shows it, to the window's status line.
    if (m_notifier) {
        m_pending[m_notifier->notify(QString::fromStdString(n.summary), QString::fromStdString(n.body), true)] = line;
        return;
    }
    if (onStatusNotice) onStatusNotice(line);
}

void WatchService::beforeTick() {
    if (!m_watch->settings().sleepWatch) return;
    if (const auto jump = m_jumps->check())
        m_watch->clockMoved(m_core.engine(), jump->from, jump->to, m_asleepSince != 0);
}

void WatchService::afterTick() {
    m_watch->tick(m_core.engine());
    holdForSleep();
}

void WatchService::holdForSleep() {
    // Going to sleep: no new lock until the machine wakes up.
    if (!m_sleep || m_asleepSince != 0) return;
    RecordingEngine& e = m_core.engine();
    bool held = true;
    if (e.m_bRecording) {
        held = m_sleep->hold(desktop::SleepGuard::Mode::Block,
                             QString::fromStdString("Recording " + e.recordingFileName()));
    } else if (m_watch->beforeAnEvent(e)) {
        held = m_sleep->hold(
            desktop::SleepGuard::Mode::Delay,
            QString::fromStdString(e.nextFileName() + " starts at " + formatDate(e.m_dtNextStart, "hh:mm AMPM")));
    } else {
        m_sleep->release();
    }
    if (!held && !m_lockRefusalSaid) {
        m_lockRefusalSaid = true;
        const std::string why = m_sleep->lastError().toStdString();
        LogStatus("LS0149:ERROR:W00:Watch() no lock against sleep: " + why);
        std::fprintf(stderr, "vesper: no lock against sleep: %s\n", why.c_str());
    }
}

// --- the probe ------------------------------------------------------------------------

std::string WatchService::devicesOpen() {
    Program& p = m_core.program();
    // Devices the preview or a recording holds are ours and open.
    if (m_core.engine().m_bRecording || p.g_bPreview) return {};
    try {
        ObjectPtr capture = p.createObject("Capgraph.Command");
        if (!capture) return {};
        const std::string answer =
            callText(*capture, "DevicesOpen", {m_core.videoSourceText(), m_core.audioSourceText(), ""});
        return answer == "OK" ? std::string() : answer;
    } catch (const std::exception&) {
        return {}; // a capture component that cannot tell
    }
}

std::string WatchService::tunerTakes(int16_t channel) {
    Program& p = m_core.program();
    ModTuner& tuner = m_core.tuner();
    // Tuning now would change what the user watches or records, or send the
    // set-top box a channel: only an idle tuner input is tried.
    if (m_core.engine().m_bRecording || p.g_bPreview || tuner.settings.useExternalPlugin ||
        tuner.settings.videoInputIndex != 0 || !tuner.m_oTuner)
        return {};
    std::string signal;
    try {
        callText(*tuner.m_oTuner, "SetChannel", {std::to_string(channel)});
        signal = callText(*tuner.m_oTuner, "SignalPresent", {""});
        callText(*tuner.m_oTuner, "SetChannel", {p.g_sChannel});
    } catch (const std::exception&) {
        return {};
    }
    if (signal == "0") return "there is no signal on channel " + std::to_string(channel);
    return {};
}

// What recordings kept until space is needed would free counts as free: they
// go before the recording starts.
double WatchService::freeBytes(const std::string& folder) {
    const double free = double(m_core.program().freeBytes(folder));
    return free < 0 ? free : free + m_core.keeper().reclaimableBytes(folder);
}

double WatchService::bitRate() { return profileBitRate(m_core.profileName()); }

RecordingFault WatchService::recordingFault() {
    ObjectPtr encoder = m_core.encoder().m_oEncoder;
    if (!encoder) return {};
    try {
        encoder->call("IRecording");
    } catch (const AutomationError& e) {
        return {e.number(), e.description()};
    } catch (const std::exception& e) {
        return {0, e.what()};
    }
    return {};
}

int WatchService::signalPresent() {
    ObjectPtr t = m_core.tuner().m_oTuner;
    if (!t) return -1;
    try {
        const std::string answer = callText(*t, "SignalPresent", {""});
        return answer == "0" ? 0 : answer == "1" ? 1 : -1;
    } catch (const std::exception&) {
        return -1;
    }
}

bool WatchService::restartRecording() { return m_core.engine().restartRecording(); }

} // namespace vesper
