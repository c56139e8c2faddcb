// A bus daemon of the test's own, with python3-dbusmock templates standing
// in for the desktop's services: the machine's buses are never used.
#pragma once

#include "platform/testing/qt_application.h"
#include "platform/testing/test_env.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace vesper::test {

// logind's inhibitors as the mock lists them.
struct Inhibitor {
    QString what, who, why, mode;
};
inline QList<Inhibitor> logindInhibitors(QDBusConnection& bus) {
    const QDBusMessage reply = bus.call(QDBusMessage::createMethodCall(
        "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "ListInhibitors"));
    QList<Inhibitor> out;
    if (reply.arguments().isEmpty()) return out;
    const QDBusArgument list = reply.arguments().at(0).value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        Inhibitor i;
        uint uid = 0, pid = 0;
        list.beginStructure();
        list >> i.what >> i.who >> i.why >> i.mode >> uid >> pid;
        list.endStructure();
        out << i;
    }
    list.endArray();
    return out;
}

// The mock's own interface, through which a test makes it send signals.
inline constexpr const char* kMockInterface = "org.freedesktop.DBus.Mock";

// A process of the test's, ended with the test.
class Child {
public:
    Child(const QString& program, const QStringList& args, const QProcessEnvironment& env = {}) {
        if (!env.isEmpty()) m_process.setProcessEnvironment(env);
        m_process.start(program, args);
        started = m_process.waitForStarted(30000);
    }
    ~Child() {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) m_process.kill();
        m_process.waitForFinished(10000);
    }
    QProcess& process() { return m_process; }
    bool started = false;

private:
    QProcess m_process;
};

// A bus daemon of the test's, listening in the test's folder.
class PrivateBus {
public:
    explicit PrivateBus(const QString& name) : m_name(name) {
        test::application();
        const QString folder = QString::fromStdString(test::testFolder());
        const QString config = folder + "/" + name + ".conf";
        QFile f(config);
        f.open(QIODevice::WriteOnly);
        f.write(("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                 " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                 "<busconfig><type>" +
                 name + "</type><listen>unix:path=" + folder + "/" + name +
                 ".socket</listen><auth>EXTERNAL</auth>"
                 "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                 "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                    .toUtf8());
        f.close();
        m_daemon = std::make_unique<Child>("dbus-daemon",
                                           QStringList{"--config-file=" + config, "--nofork", "--print-address=1"});
        if (!m_daemon->started || !m_daemon->process().waitForReadyRead(30000)) return;
        address = QString::fromUtf8(m_daemon->process().readLine()).trimmed();
        connection = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "test-" + name));
    }
    ~PrivateBus() {
        m_mocks.clear();
        connection.reset();
        QDBusConnection::disconnectFromBus("test-" + m_name);
    }
    bool ok() const { return connection && connection->isConnected(); }
    QDBusConnection& bus() { return *connection; }

    // Starts a dbusmock template on this bus and waits for its name; its
    // method calls go to `log`.
    bool startMock(const QString& templateName, const QString& service, const QString& log) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(m_name == "system" ? "DBUS_SYSTEM_BUS_ADDRESS" : "DBUS_SESSION_BUS_ADDRESS", address);
        // Debian's python3 holds Debian's dbusmock, whatever else is first on the path.
        m_mocks.push_back(std::make_unique<Child>(
            "/usr/bin/python3", QStringList{"-m", "dbusmock", "--template", templateName, "-l", log}, env));
        return test::runEventsUntil([&] { return bus().interface()->isServiceRegistered(service).value(); }, 60000);
    }

    // Makes a mock send a signal of its interface.
    void emitSignal(const QString& service, const QString& path, const QString& interface, const QString& name,
                    const QString& signature, const QVariantList& args) {
        QDBusMessage call = QDBusMessage::createMethodCall(service, path, kMockInterface, "EmitSignal");
        call << interface << name << signature << args;
        const QDBusMessage reply = bus().call(call);
        EXPECT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
    }

    QString address;
    std::unique_ptr<QDBusConnection> connection;

private:
    QString m_name;
    std::unique_ptr<Child> m_daemon;
    std::vector<std::unique_ptr<Child>> m_mocks;
};

inline QString readText(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

} // namespace vesper::test
