#include "platform/desktop/desktop_notifier.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace vesper::desktop {

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";

} // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : DesktopNotifier(QDBusConnection::sessionBus(), parent) {}

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, QObject* parent) : QObject(parent), m_bus(bus) {
    if (!m_bus.isConnected()) return;
    m_bus.connect(kService, kPath, kInterface, "ActionInvoked", this, SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(kService, kPath, kInterface, "NotificationClosed", this, SLOT(onClosed(uint, uint)));
}

int DesktopNotifier::notify(const QString& summary, const QString& body, bool urgent) {
    const int ticket = m_nextTicket++;
    if (!m_bus.isConnected()) {
        // Told through the event loop, as every answer is, so that the caller
        // may connect after this call.
        QMetaObject::invokeMethod(
            this, [this, ticket] { emit notShown(ticket, "there is no desktop session bus"); }, Qt::QueuedConnection);
        return ticket;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
    QVariantMap hints;
    hints.insert("desktop-entry", QString("vesper"));
    hints.insert("urgency", QVariant::fromValue(uchar(urgent ? 2 : 1)));
    call << QString("Vesper") << uint(0) << QString("vesper") << summary << body
         << QStringList{kOpenActionKey, kOpenActionLabel} << hints << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, m_timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, ticket](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<uint> reply = *w;
        w->deleteLater();
        if (reply.isError()) {
            emit notShown(ticket, plainReason(reply.error()));
            return;
        }
        m_ours.insert(reply.value());
        emit shown(ticket, reply.value());
    });
    return ticket;
}

void DesktopNotifier::onActionInvoked(uint id, const QString& action) {
    // The service tells every client of every notice: only ours count.
    if (m_ours.contains(id) && action == kOpenActionKey) emit openRequested(id);
}

void DesktopNotifier::onClosed(uint id, uint) {
    if (m_ours.remove(id)) emit closed(id);
}

QString DesktopNotifier::plainReason(const QDBusError& error) {
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod: return "no notification service runs on this desktop";
    case QDBusError::Disconnected: return "there is no desktop session bus";
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut: return "the notification service did not answer";
    default: return "the notification service refused the notice: " + error.message();
    }
}

} // namespace vesper::desktop
