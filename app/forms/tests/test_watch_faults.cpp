// The watch in the main window against the virtual card's faults: each fault
// is notified through a notification service of the test's own (dbusmock on
// a private session bus), listed in the window's list of failed recordings
// (also after a restart) and logged. The suspend and resume path runs against
// a mocked logind on a private system bus.
#include "app/core/tests/test_engine_support.h"
#include "app/core/watch_service.h"
#include "app/forms/frm_vesper.h"
#include "platform/desktop/sleep_guard.h"
#include "platform/desktop/tests/private_bus.h"
#include "platform/testing/qt_application.h"

#include <QApplication>
#include <QDBusArgument>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include <cstdlib>
#include <filesystem>

namespace vesper::test {
namespace {

constexpr const char* kCards = "VESPER_VIRTUAL_CARDS";

void registerAll() {
    application();
    for (const char* path : {SLOTBOOK_PATH, CAPGRAPH_PATH, ENGINE_PATH, ENCWRAP_PATH})
        ASSERT_TRUE(registerComponent(path)) << path;
    setWaitHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
    RegSaveSetting2(settings::bLogStatus, "True");
    std::filesystem::remove(joinPath(testFolder(), watch::kFailedEventsFileName));
}

// A main window recording from the card the file describes, with the event
// given, on the program's clock from `clockAt`.
struct Recorder {
    Recorder(const std::string& card, DateTime start, int16_t minutes, DateTime clockAt) {
        writeFile(joinPath(testFolder(), "cards.json"),
                  R"({"realDevices": false, "cards": [{"video": "Card", "audio": "Card Audio", "tuner": true)" + card +
                      "}]}");
        setenv(kCards, joinPath(testFolder(), "cards.json").c_str(), 1);
        scheduler = CreateObject("Slotbook.EventsObj");
        scheduler->call("Initialize");
        addEvent(*scheduler, start, 5, minutes, "once", "Fault.wmv");
        window = std::make_unique<frmVesper>(program, scheduler, frmVesperOptions{true, true});
        window->core().engine().m_bHoldSchedule = true;
        window->txtOutputDir->setText(QString::fromStdString(makeFolder("out")));
        window->core().tuner().InitTunerFromForm();
        clock = std::make_unique<FixedDayClock>(clockAt);
        window->SetNextEvent();
        window->core().engine().m_bHoldSchedule = false;
    }
    ~Recorder() {
        window->releaseComponents();
        window.reset();
        unsetenv(kCards);
    }
    QListWidget* list() { return window->findChild<QListWidget*>("lstFailedEvents"); }

    Program program;
    ObjectPtr scheduler;
    std::unique_ptr<frmVesper> window;
    std::unique_ptr<FixedDayClock> clock;
};

TEST(WatchFaults, EachFaultOfTheCardIsNotifiedListedAndLogged) {
    registerAll();
    RecordingUiSeam seam;
    setUiSeam(&seam);
    PrivateBus session("session");
    ASSERT_TRUE(session.ok());
    const QString notices = QString::fromStdString(testFolder()) + "/notify.log";
    ASSERT_TRUE(session.startMock("notification_daemon", "org.freedesktop.Notifications", notices));
    setenv("DBUS_SESSION_BUS_ADDRESS", session.address.toUtf8().constData(), 1);

    struct Case {
        const char* card;
        const char* summary; // of the notice
        const char* reason;  // in the list and the log line
    } cases[] = {
        {R"(, "busy": true)", "Not recording: Fault.wmv", "the TV card is in use by another program"},
        {R"(, "vanishAfter": 2)", "Recording failed: Fault.wmv", "unplugged"},
        {R"(, "noSignal": 5)", "No signal: Fault.wmv", "there is no signal on channel 5"},
        {R"(, "writerDiesAfter": 2)", "Recording failed: Fault.wmv", "writer"},
    };
    const DateTime start = makeDate(2030, 4, 20, 20, 0, 0);
    size_t listed = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.card);
        clearLog();
        Recorder r(c.card, start, 1, start + 1.0 / 86400.0);
        ASSERT_TRUE(runEventsUntil([&] { return readText(notices).contains(c.summary); }, 60000))
            << readText(notices).toStdString();
        ++listed;
        ASSERT_TRUE(runEventsUntil([&] { return r.list()->count() == int(listed); }, 10000));
        const std::string top = r.list()->item(0)->text().toStdString();
        EXPECT_NE(top.find(c.reason), std::string::npos) << top;
        EXPECT_NE(top.find("Fault.wmv"), std::string::npos) << top;
        bool logged = false;
        for (const std::string& l : logLines())
            logged = logged || (l.rfind("LS015", 0) == 0 && l.find(c.reason) != std::string::npos);
        EXPECT_TRUE(logged);
    }
    // The list outlives the program.
    Recorder again("", start + 1, 1, start);
    EXPECT_EQ(again.list()->count(), int(listed));
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    setUiSeam(nullptr);
    setWaitHook({});
}

// logind's inhibitors as "what mode", one a line.
QStringList inhibitors(QDBusConnection& bus) {
    QStringList out;
    for (const Inhibitor& i : logindInhibitors(bus))
        out << i.what + " " + i.mode;
    return out;
}

TEST(WatchSleep, AStartPassedAsleepIsListedNotifiedAndTheRestRecorded) {
    registerAll();
    RecordingUiSeam seam;
    setUiSeam(&seam);
    PrivateBus system("system");
    ASSERT_TRUE(system.ok());
    ASSERT_TRUE(system.startMock("logind", "org.freedesktop.login1", QString::fromStdString(testFolder()) + "/l.log"));
    setenv("DBUS_SYSTEM_BUS_ADDRESS", system.address.toUtf8().constData(), 1);

    const DateTime start = makeDate(2030, 4, 20, 20, 0, 0);
    TestClock testClock(start - 120.0 / 86400.0);
    {
        Recorder r("", start, 30, start - 120.0 / 86400.0);
        setClock(&testClock); // a clock the test moves: the sleep skips time
        // Two minutes before the start the machine may sleep only after a delay.
        ASSERT_TRUE(runEventsUntil([&] { return inhibitors(system.bus()) == QStringList{"sleep delay"}; }, 20000))
            << inhibitors(system.bus()).join(" | ").toStdString();

        const QString service = "org.freedesktop.login1", path = "/org/freedesktop/login1";
        system.emitSignal(service, path, "org.freedesktop.login1.Manager", "PrepareForSleep", "b", {true});
        // The delay lock goes at once, so that the sleep need not wait.
        ASSERT_TRUE(runEventsUntil([&] { return inhibitors(system.bus()).isEmpty(); }, 20000));
        testClock.set(start + 300.0 / 86400.0); // woke five minutes after the start
        system.emitSignal(service, path, "org.freedesktop.login1.Manager", "PrepareForSleep", "b", {false});

        ASSERT_TRUE(runEventsUntil([&] { return r.list()->count() == 1; }, 20000));
        EXPECT_NE(r.list()->item(0)->text().toStdString().find("missed: the computer was asleep at the start"),
                  std::string::npos)
            << r.list()->item(0)->text().toStdString();
        // No notification service: the notice is on the window's status line.
        QLabel* notice = r.window->findChild<QLabel*>("lblWatchNotice");
        EXPECT_TRUE(runEventsUntil([&] { return notice->text().startsWith("Missed the start: Fault.wmv: "); }, 20000))
            << notice->text().toStdString();
        // The rest of the event is recorded, with sleep blocked meanwhile.
        ASSERT_TRUE(runEventsUntil([&] { return r.window->core().recording(); }, 30000));
        EXPECT_TRUE(runEventsUntil([&] { return inhibitors(system.bus()) == QStringList{"sleep block"}; }, 20000))
            << inhibitors(system.bus()).join(" | ").toStdString();
        r.window->releaseComponents();
        setClock(nullptr);
    }
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    setUiSeam(nullptr);
    setWaitHook({});
}

} // namespace
} // namespace vesper::test
