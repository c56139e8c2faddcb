// The watch over events and recordings on the engine with a host of its own
// and a probe the test sets: what is notified, logged and listed for each
// failure, the retries, the missed starts, and nothing at all when every
// check passes.
#include "app/core/event_watch.h"
#include "app/core/tests/test_engine_support.h"

#include <filesystem>
#include <fstream>

namespace vesper::test {
namespace {

DateTime at(int hour, int minute, int second) { return makeDate(2004, 4, 20, hour, minute, second); }

class FakeProbe : public WatchProbe {
public:
    std::string devices, tuner;
    double free = 2e9;
    RecordingFault fault;
    int signal = 1;
    int checks = 0;
    RecordingEngine* engine = nullptr;

    std::string devicesOpen() override {
        ++checks;
        return devices;
    }
    std::string tunerTakes(int16_t) override { return tuner; }
    double freeBytes(const std::string&) override { return free; }
    double bitRate() override { return 384000; }
    RecordingFault recordingFault() override { return fault; }
    int signalPresent() override { return signal; }
    bool restartRecording() override { return engine->restartRecording(); }
};

class Watch : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        probe.engine = &engine;
        watch = std::make_unique<EventWatch>(probe, WatchSettings{}, joinPath(folder, "failed.txt"));
        watch->onNotice = [this](const WatchNotice& n) { notices.push_back(n.summary + " | " + n.body); };
        engine.setObserver(watch.get());
        addEvent(*scheduler, at(20, 0, 0), 5, 30, "once", "News.wmv");
        engine.SetNextEvent();
    }
    // One tick of the core: the engine's, then the watch's; the recording's
    // file grows unless told otherwise.
    void tick(DateTime t, bool grow = true) {
        clock.set(t);
        engine.Timer1Tick();
        watch->tick(engine);
        // A start that failed leaves no file.
        if (grow && engine.m_bRecording && host.startResult)
            std::ofstream(engine.m_sOutputFile, std::ios::app) << "data";
    }
    std::vector<watch::FailedEvent> entries() { return watch->list().entries(); }
    std::string lastNotice() { return notices.empty() ? "" : notices.back(); }

    FakeProbe probe;
    std::unique_ptr<EventWatch> watch;
    std::vector<std::string> notices;
};

TEST_F(Watch, ACheckBeforeTheEventNotifiesEachNewFailureAndChecksAgainEachMinute) {
    struct Case {
        const char* what;
        std::function<void(FakeProbe&, bool)> fault;
        const char* reason;
    } cases[] = {
        {"device busy", [](FakeProbe& p, bool on) { p.devices = on ? "the device \"Card A\" is in use" : ""; },
         "the device \"Card A\" is in use"},
        {"no signal", [](FakeProbe& p, bool on) { p.tuner = on ? "there is no signal on channel 5" : ""; },
         "there is no signal on channel 5"},
        // 30 minutes at 384 Kbps and the reserve: 336 MB.
        {"disk short", [](FakeProbe& p, bool on) { p.free = on ? 300e6 : 337e6; },
         "the disk has 300 MB free, the recording needs about 336 MB with the reserve"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        notices.clear();
        clearLog();
        probe.checks = 0;
        c.fault(probe, true);
        tick(at(19, 54, 59));
        EXPECT_EQ(probe.checks, 0);
        tick(at(19, 55, 0));
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_EQ(notices[0], std::string("May not record: News.wmv | Starts at 08:00 PM on channel 5, but ") +
                                  c.reason + ". Vesper checks again each minute.");
        EXPECT_EQ(logLines(), std::vector<std::string>{std::string("LS0150:ERROR:W00:Watch() the check before "
                                                                   "News.wmv failed: ") +
                                                       c.reason});
        tick(at(19, 55, 59));
        EXPECT_EQ(probe.checks, 1);
        tick(at(19, 56, 0)); // checked again, the same failure: no second notice
        EXPECT_EQ(probe.checks, 2);
        EXPECT_EQ(notices.size(), 1u);
        c.fault(probe, false);
        tick(at(19, 57, 0));
        EXPECT_EQ(lastNotice(), "Ready to record: News.wmv | The problem found before 08:00 PM is gone.");
        EXPECT_TRUE(entries().empty()); // nothing failed yet
        // The next case checks the same event anew.
        watch = std::make_unique<EventWatch>(probe, WatchSettings{}, joinPath(folder, "failed.txt"));
        watch->onNotice = [this](const WatchNotice& n) { notices.push_back(n.summary + " | " + n.body); };
    }
}

TEST_F(Watch, ABusyDeviceAtTheStartIsRetriedEveryTenSecondsAndTheRestRecorded) {
    host.startResult = false;
    host.startCode = int32_t(0x80040205u);
    tick(at(20, 0, 1));
    EXPECT_EQ(lastNotice(), "Not recording: News.wmv | the TV card is in use by another program or cannot deliver. "
                            "Vesper tries again every 10 seconds until 08:30 PM.");
    ASSERT_EQ(entries().size(), 1u);
    EXPECT_EQ(entries()[0].reason, "the TV card is in use by another program or cannot deliver");
    EXPECT_EQ(entries()[0].action, "retrying every 10 s");
    EXPECT_FALSE(entries()[0].missed);

    tick(at(20, 0, 10));
    EXPECT_EQ(host.count("EncoderStart"), 1u);
    tick(at(20, 0, 11));
    EXPECT_EQ(host.count("EncoderStart"), 2u);
    EXPECT_EQ(entries()[0].action, "retrying every 10 s; retries: 1");

    host.startResult = true;
    host.startCode = 0;
    tick(at(20, 0, 21));
    EXPECT_EQ(host.count("EncoderStart"), 3u);
    EXPECT_EQ(lastNotice().substr(0, 33), "Recording again: News.wmv | Vespe");
    tick(at(20, 30, 0));
    EXPECT_FALSE(engine.m_bRecording);
    EXPECT_EQ(entries()[0].action, "retrying every 10 s; retries: 1; recording again from 08:00:21 PM "
                                   "into " +
                                       outputPath("News.wmv") + "; recorded from 08:00:21 PM to 08:30:00 PM into " +
                                       outputPath("News.wmv"));
    const auto lines = logLinesWith({"LS0152", "LS0153", "LS0154", "LS0155"});
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "LS0152:ERROR:W00:Watch() News.wmv: the TV card is in use by another program or cannot "
                        "deliver");
    EXPECT_EQ(lines[1], "LS0155:INFO:W00:Watch() News.wmv: retry 1");
}

TEST_F(Watch, AFailureWhileRecordingIsNotifiedListedAndRestartedIntoAFileOfItsOwn) {
    struct Case {
        const char* what;
        RecordingFault fault;
        bool grows;
        const char* reason;
        bool restarted;
    } cases[] = {
        {"writer died", {-2147220976, "the recording's writer died"}, true, "the recording's writer died", true},
        {"device gone",
         {68, "Device unavailable: the device was unplugged"},
         true,
         "Device unavailable: the device was unplugged",
         true},
        {"file stands still", {}, false, "the recording's file has not grown for 15 seconds", true},
        {"disk full", {61, "Disk full"}, true, "Disk full", false},
    };
    engine.CancelCurrentEvent(); // the day's news
    int hour = 20;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        addEvent(*scheduler, at(++hour, 0, 0), 5, 30, "once", "Show.wmv");
        engine.SetNextEvent();
        tick(at(hour - 1, 30, 0)); // the event before ends
        notices.clear();
        host.calls.clear();
        tick(at(hour, 0, 1));
        ASSERT_TRUE(engine.m_bRecording);
        const std::string first = engine.m_sOutputFile;
        probe.fault = c.fault;
        tick(at(hour, 0, 5), c.grows);
        tick(at(hour, 0, 20), c.grows);
        probe.fault = {};
        tick(at(hour, 0, 21));
        ASSERT_EQ(notices.size(), c.restarted ? 2u : 1u);
        EXPECT_EQ(notices[0], "Recording failed: Show.wmv | " + std::string(c.reason) + "." +
                                  (c.restarted ? " Vesper tries again every 10 seconds until " +
                                                     formatDate(at(hour, 30, 0), "hh:mm AMPM") + "."
                                               : ""));
        const watch::FailedEvent e = entries().back();
        EXPECT_EQ(e.reason, c.reason);
        EXPECT_EQ(e.action.find("recorded from " + formatDate(at(hour, 0, 1), "hh:mm:ss AMPM")), 0u) << e.action;
        EXPECT_EQ(host.count("EncoderStart"), c.restarted ? 2u : 1u);
        if (c.restarted) {
            EXPECT_NE(engine.m_sOutputFile, first); // never over what the event recorded
            EXPECT_NE(lastNotice().find("Recording again"), std::string::npos);
        }
        EXPECT_EQ(logLinesWith({"LS0152"}).back(), "LS0152:ERROR:W00:Watch() Show.wmv: " + std::string(c.reason));
    }
}

TEST_F(Watch, AStartPassedAsleepOrByAClockJumpIsListedAsMissedOnce) {
    watch->clockMoved(engine, at(19, 0, 0), at(19, 59, 59), true); // not past the start
    EXPECT_TRUE(notices.empty());
    watch->clockMoved(engine, at(19, 59, 0), at(20, 10, 0), true);
    watch->clockMoved(engine, at(19, 59, 0), at(20, 10, 0), false);
    ASSERT_EQ(entries().size(), 1u);
    EXPECT_TRUE(entries()[0].missed);
    EXPECT_EQ(entries()[0].reason, "the computer was asleep at the start (from 07:59:00 PM to 08:10:00 PM)");
    EXPECT_EQ(entries()[0].action, "recording the rest from 08:10:00 PM");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], "Missed the start: News.wmv | the computer was asleep at the start (from 07:59:00 PM to "
                          "08:10:00 PM). Vesper records the rest until 08:30 PM.");
    tick(at(20, 10, 1));
    EXPECT_TRUE(engine.m_bRecording);
}

TEST_F(Watch, WhenEveryCheckPassesTheEngineDoesAndLogsExactlyWhatItDoesWithoutTheWatch) {
    // The same hour twice, each on an engine, schedule and folder of its own.
    const auto run = [this](bool watched) {
        FakeHost h;
        RecordingEngine e{program, h};
        const std::string out = makeFolder(watched ? "with" : "without");
        auto s = std::make_shared<slotbook::EventsObj>(joinPath(out, "Schedule.txt"));
        s->call("Initialize");
        e.setScheduler(s);
        e.OutputDirChanged(out);
        addEvent(*s, at(20, 0, 0), 5, 30, "once", "News.wmv");
        addEvent(*s, at(20, 30, 0), 7, 15, "once", "Film.wmv");
        clock.set(at(19, 50, 0));
        e.SetNextEvent();
        EventWatch w(probe, WatchSettings{}, joinPath(out, "failed.txt"));
        w.onNotice = [this](const WatchNotice& n) { notices.push_back(n.summary); };
        if (watched) e.setObserver(&w);
        clearLog();
        for (int t = 0; t <= 3600; t += 3) {
            clock.set(at(19, 50, 0) + t / 86400.0);
            e.Timer1Tick();
            if (e.m_bRecording) std::ofstream(e.m_sOutputFile, std::ios::app) << "data";
            if (watched) w.tick(e);
        }
        for (std::string& call : h.calls)
            if (call.rfind("Output ", 0) == 0) call = "Output " + std::filesystem::path(call).filename().string();
        EXPECT_TRUE(w.list().entries().empty());
        return std::make_pair(logLines(), h.calls);
    };
    const auto without = run(false);
    const auto with = run(true);
    EXPECT_EQ(without.second.size(), 22u); // two recordings started and stopped
    EXPECT_EQ(with, without);
    EXPECT_TRUE(notices.empty());
}

} // namespace
} // namespace vesper::test
