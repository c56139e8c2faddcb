// Keeps the machine awake through logind's inhibitor locks on the system bus,
// and tells when it goes to sleep and wakes up again.
#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

namespace vesper::desktop {

class SleepGuard : public QObject {
    Q_OBJECT
public:
    // "delay" lets the machine sleep after a short wait (logind's delay, a few
    // seconds) in which aboutToSleep() can be acted on; "block" keeps it awake
    // until released.
    enum class Mode { Delay, Block };

    // On the machine's system bus.
    explicit SleepGuard(QObject* parent = nullptr);
    explicit SleepGuard(const QDBusConnection& systemBus, QObject* parent = nullptr);
    ~SleepGuard() override;

    // Without logind (a container, no system bus) nothing is held or watched:
    // available() is false and unavailableReason() says why, for one line in
    // the caller's log. Every other member then does nothing.
    bool available() const { return m_available; }
    const QString& unavailableReason() const { return m_unavailableReason; }

    // Takes a lock against sleep in that mode, or changes the one held (the
    // new one is taken before the old goes, so there is no gap). `why` is
    // what the system shows beside the program's name. False when logind
    // refused or is not there; lastError() says why.
    bool hold(Mode mode, const QString& why);
    // Lets the machine sleep again.
    void release();
    bool holding() const { return m_lock.isValid(); }
    Mode mode() const { return m_mode; }
    const QString& lastError() const { return m_lastError; }

signals:
    // logind's PrepareForSleep(true): the machine is about to sleep. With a
    // delay lock, release it once ready, or the sleep waits for logind's limit.
    void aboutToSleep();
    // PrepareForSleep(false): the machine woke up.
    void resumed();

private slots:
    void onPrepareForSleep(bool sleeping);

private:
    QDBusConnection m_bus;
    bool m_available = false;
    QString m_unavailableReason;
    QDBusUnixFileDescriptor m_lock;
    Mode m_mode = Mode::Delay;
    QString m_lastError;
};

} // namespace vesper::desktop
