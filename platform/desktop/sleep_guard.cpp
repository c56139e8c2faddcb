#include "platform/desktop/sleep_guard.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace vesper::desktop {

namespace {

constexpr const char* kService = "org.freedesktop.login1";
constexpr const char* kPath = "/org/freedesktop/login1";
constexpr const char* kInterface = "org.freedesktop.login1.Manager";
constexpr int kCallTimeoutMs = 5000;

} // namespace

SleepGuard::SleepGuard(QObject* parent) : SleepGuard(QDBusConnection::systemBus(), parent) {}

SleepGuard::SleepGuard(const QDBusConnection& systemBus, QObject* parent) : QObject(parent), m_bus(systemBus) {
    if (!m_bus.isConnected()) {
        m_unavailableReason = "there is no system bus, so logind cannot be asked";
        return;
    }
    // logind is either running or started by the bus on the first call.
    QDBusConnectionInterface* bus = m_bus.interface();
    const bool running = bus && bus->isServiceRegistered(kService).value();
    const bool startable = bus && bus->activatableServiceNames().value().contains(kService);
    if (!running && !startable) {
        m_unavailableReason = "logind does not run on this system";
        return;
    }
    m_available = true;
    m_bus.connect(kService, kPath, kInterface, "PrepareForSleep", this, SLOT(onPrepareForSleep(bool)));
}

SleepGuard::~SleepGuard() { release(); }

bool SleepGuard::hold(Mode mode, const QString& why) {
    if (!m_available) {
        m_lastError = m_unavailableReason;
        return false;
    }
    if (holding() && m_mode == mode) return true;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Inhibit");
    call << QString("sleep") << QString("Vesper") << why << QString(mode == Mode::Block ? "block" : "delay");
    const QDBusReply<QDBusUnixFileDescriptor> reply = m_bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (!reply.isValid() || !reply.value().isValid()) {
        m_lastError = reply.isValid() ? "logind gave no lock" : "logind refused the lock: " + reply.error().message();
        return false;
    }
    // The lock lives as long as its descriptor is open: the old one closes
    // only now that the new one is held.
    m_lock = reply.value();
    m_mode = mode;
    m_lastError.clear();
    return true;
}

void SleepGuard::release() { m_lock = QDBusUnixFileDescriptor(); }

void SleepGuard::onPrepareForSleep(bool sleeping) {
    if (sleeping)
        emit aboutToSleep();
    else
        emit resumed();
}

} // namespace vesper::desktop
