// Desktop notifications through the freedesktop notification service on the
// session bus: a summary, a body and one action that opens the program.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <QString>

class QDBusError;

namespace vesper::desktop {

// The action every notice offers: the service's default action (a click on
// the notice) with this label.
inline constexpr const char* kOpenActionKey = "default";
inline constexpr const char* kOpenActionLabel = "Open Vesper";

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    // On the desktop's session bus.
    explicit DesktopNotifier(QObject* parent = nullptr);
    explicit DesktopNotifier(const QDBusConnection& bus, QObject* parent = nullptr);

    // Sends a notice without waiting for the service; what became of it comes
    // as shown() or notShown() with the ticket returned here. An urgent notice
    // stays on the screen until the user closes it, where the service can.
    int notify(const QString& summary, const QString& body, bool urgent = false);
    // How long the service may take to answer (5 s by default).
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

signals:
    void shown(int ticket, uint id);
    // No notification service answered (none runs, no session bus, it failed
    // or timed out): the caller shows the notice another way.
    void notShown(int ticket, const QString& reason);
    // The user chose the open action of one of our notices.
    void openRequested(uint id);
    void closed(uint id);

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onClosed(uint id, uint reason);

private:
    static QString plainReason(const QDBusError& error);

    QDBusConnection m_bus;
    QSet<uint> m_ours;
    int m_nextTicket = 1;
    int m_timeoutMs = 5000;
};

} // namespace vesper::desktop
