// Notifications, sleep locks and clock jumps against buses of the test's own:
// a private session bus and system bus, with python3-dbusmock standing in for
// the notification service and logind. The machine's buses are never used.
#include "platform/clock.h"
#include "platform/desktop/clock_jump.h"
#include "platform/desktop/desktop_notifier.h"
#include "platform/desktop/sleep_guard.h"
#include "platform/desktop/tests/private_bus.h"
#include "platform/testing/qt_application.h"
#include "platform/testing/test_env.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

using namespace vesper;
using namespace vesper::desktop;
using vesper::test::PrivateBus;
using vesper::test::readText;

namespace {

// A notification service that takes the call and never answers.
class SilentService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public slots:
    uint Notify(const QString&, uint, const QString&, const QString&, const QString&, const QStringList&,
                const QVariantMap&, int) {
        setDelayedReply(true);
        return 0;
    }
};

// logind's inhibitors as "what who why mode", one a line.
QStringList inhibitors(QDBusConnection& bus) {
    QStringList out;
    for (const test::Inhibitor& i : test::logindInhibitors(bus))
        out << QStringList{i.what, i.who, i.why, i.mode}.join(' ');
    return out;
}

} // namespace

TEST(DesktopNotifier, ShowsANoticeWithItsOpenActionAndReportsWhenItIsChosen) {
    PrivateBus session("session");
    ASSERT_TRUE(session.ok());
    const QString log = QString::fromStdString(test::testFolder()) + "/notify.log";
    ASSERT_TRUE(session.startMock("notification_daemon", "org.freedesktop.Notifications", log));

    DesktopNotifier notifier(session.bus());
    QSignalSpy shown(&notifier, &DesktopNotifier::shown);
    QSignalSpy notShown(&notifier, &DesktopNotifier::notShown);
    QSignalSpy open(&notifier, &DesktopNotifier::openRequested);
    QSignalSpy closed(&notifier, &DesktopNotifier::closed);
    const int ticket = notifier.notify("Not recorded: Evening News", "The TV card is in use by another program.");
    ASSERT_TRUE(test::runEventsUntil([&] { return shown.count() + notShown.count() > 0; }, 30000));
    ASSERT_EQ(shown.count(), 1) << notShown.value(0).value(1).toString().toStdString();
    EXPECT_EQ(shown.at(0).at(0).toInt(), ticket);
    const uint id = shown.at(0).at(1).toUInt();

    ASSERT_TRUE(test::runEventsUntil([&] { return readText(log).contains("Notify"); }, 10000));
    const QString call = readText(log);
    for (const char* part : {"Vesper", "Not recorded: Evening News", "The TV card is in use by another program.",
                             "default", "Open Vesper"})
        EXPECT_TRUE(call.contains(part)) << part << " not in " << call.toStdString();

    // Another program's notice is not ours; ours opens the window, then closes.
    const QString service = "org.freedesktop.Notifications", path = "/org/freedesktop/Notifications";
    session.emitSignal(service, path, service, "ActionInvoked", "us", {id + 100, QString("default")});
    session.emitSignal(service, path, service, "ActionInvoked", "us", {id, QString("default")});
    session.emitSignal(service, path, service, "NotificationClosed", "uu", {id, 2u});
    ASSERT_TRUE(test::runEventsUntil([&] { return closed.count() > 0; }, 10000));
    ASSERT_EQ(open.count(), 1);
    EXPECT_EQ(open.at(0).at(0).toUInt(), id);
    EXPECT_EQ(closed.at(0).at(0).toUInt(), id);
}

TEST(DesktopNotifier, SaysWhenNoNotificationServiceAnswers) {
    PrivateBus session("session");
    ASSERT_TRUE(session.ok());
    SilentService silent;
    QDBusConnection other = QDBusConnection::connectToBus(session.address, "test-silent");
    ASSERT_TRUE(other.registerObject("/org/freedesktop/Notifications", &silent, QDBusConnection::ExportAllSlots));
    const QDBusConnection nowhere = QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "test-nowhere");

    struct Case {
        const char* what;
        QDBusConnection bus;
        bool silentServiceRuns;
        const char* reason;
    } cases[] = {
        {"no service", session.bus(), false, "no notification service runs"},
        {"no bus", nowhere, false, "no desktop session bus"},
        {"a service that never answers", session.bus(), true, "did not answer"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.silentServiceRuns) {
            ASSERT_TRUE(other.registerService("org.freedesktop.Notifications"));
        }
        DesktopNotifier notifier(c.bus);
        notifier.setTimeout(500);
        QSignalSpy shown(&notifier, &DesktopNotifier::shown);
        QSignalSpy notShown(&notifier, &DesktopNotifier::notShown);
        const int ticket = notifier.notify("Not recorded", "why");
        ASSERT_TRUE(test::runEventsUntil([&] { return notShown.count() > 0; }, 30000));
        EXPECT_EQ(shown.count(), 0);
        EXPECT_EQ(notShown.at(0).at(0).toInt(), ticket);
        EXPECT_TRUE(notShown.at(0).at(1).toString().contains(c.reason))
            << notShown.at(0).at(1).toString().toStdString();
    }
    other.unregisterService("org.freedesktop.Notifications");
    QDBusConnection::disconnectFromBus("test-silent");
    QDBusConnection::disconnectFromBus("test-nowhere");
}

TEST(SleepGuard, TakesChangesAndReleasesTheLockAndReportsSleepAndResume) {
    PrivateBus system("system");
    ASSERT_TRUE(system.ok());
    const QString log = QString::fromStdString(test::testFolder()) + "/logind.log";
    ASSERT_TRUE(system.startMock("logind", "org.freedesktop.login1", log));

    SleepGuard guard(system.bus());
    ASSERT_TRUE(guard.available()) << guard.unavailableReason().toStdString();
    QSignalSpy sleeping(&guard, &SleepGuard::aboutToSleep);
    QSignalSpy resumed(&guard, &SleepGuard::resumed);
    struct Step {
        SleepGuard::Mode mode;
        const char* why;
        const char* held;
    } steps[] = {
        {SleepGuard::Mode::Delay, "Evening News starts at 20:00", "sleep Vesper Evening News starts at 20:00 delay"},
        {SleepGuard::Mode::Block, "Recording Evening News", "sleep Vesper Recording Evening News block"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.held);
        ASSERT_TRUE(guard.hold(s.mode, s.why)) << guard.lastError().toStdString();
        EXPECT_TRUE(guard.holding());
        EXPECT_EQ(guard.mode(), s.mode);
        // The lock of the step before goes once the new one is held.
        EXPECT_TRUE(test::runEventsUntil([&] { return inhibitors(system.bus()) == QStringList{s.held}; }, 10000))
            << inhibitors(system.bus()).join(" | ").toStdString();
    }
    guard.release();
    EXPECT_FALSE(guard.holding());
    EXPECT_TRUE(test::runEventsUntil([&] { return inhibitors(system.bus()).isEmpty(); }, 10000));

    const QString service = "org.freedesktop.login1", path = "/org/freedesktop/login1";
    system.emitSignal(service, path, "org.freedesktop.login1.Manager", "PrepareForSleep", "b", {true});
    ASSERT_TRUE(test::runEventsUntil([&] { return sleeping.count() == 1; }, 10000));
    EXPECT_EQ(resumed.count(), 0);
    system.emitSignal(service, path, "org.freedesktop.login1.Manager", "PrepareForSleep", "b", {false});
    ASSERT_TRUE(test::runEventsUntil([&] { return resumed.count() == 1; }, 10000));
    EXPECT_EQ(sleeping.count(), 1);
}

TEST(SleepGuard, WithoutLogindSaysSoAndHoldsNothing) {
    PrivateBus system("system");
    ASSERT_TRUE(system.ok());
    const QDBusConnection nowhere = QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "test-nowhere");
    struct Case {
        QDBusConnection bus;
        const char* reason;
    } cases[] = {{system.bus(), "logind does not run"}, {nowhere, "no system bus"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        SleepGuard guard(c.bus);
        EXPECT_FALSE(guard.available());
        EXPECT_TRUE(guard.unavailableReason().contains(c.reason)) << guard.unavailableReason().toStdString();
        EXPECT_FALSE(guard.hold(SleepGuard::Mode::Block, "Recording"));
        EXPECT_FALSE(guard.holding());
        guard.release();
    }
    QDBusConnection::disconnectFromBus("test-nowhere");
}

TEST(ClockJumpDetector, TellsAJumpOfTheWallClockFromOrdinaryTime) {
    TestClock testClock(makeDate(2026, 3, 14, 19, 50));
    setClock(&testClock);
    ClockJumpDetector detector;
    const DateTime start = makeDate(2026, 3, 14, 20, 0);
    struct Step {
        const char* what;
        double steadySeconds; // time that passed for both clocks
        double wallSeconds;   // the wall clock's move on its own
        double jump;          // 0: none reported
        bool passesStart;
    } steps[] = {
        {"a minute of ordinary time", 60, 0, 0, false},
        {"a second of drift", 30, 1, 0, false},
        {"asleep for a quarter of an hour", 5, 900, 900, true},
        {"set back by an hour", 10, -3600, -3600, false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        testClock.advance(s.steadySeconds);
        testClock.set(testClock.now() + s.wallSeconds / 86400.0);
        const auto jump = detector.check();
        ASSERT_EQ(jump.has_value(), s.jump != 0);
        if (!jump) continue;
        EXPECT_NEAR(jump->seconds, s.jump, 0.01);
        EXPECT_EQ(jump->passes(start), s.passesStart);
    }
    setClock(nullptr);
}

#include "test_desktop.moc"
