// Margins around events: a recording starts early and ends late by its
// event's margins; back-to-back events on one channel are one run of the
// encoder, cut apart afterwards; an event on another channel takes the card
// at its start, cutting the earlier event's end margin (said in the log).
#include "app/core/tests/test_engine_support.h"

namespace vesper::test {
namespace {

struct FakeCutter : RunCutter {
    std::vector<RecordedRun> runs;
    void cut(const RecordedRun& run, std::function<void(const RunPart&, bool)> done) override {
        runs.push_back(run);
        for (const RunPart& p : run.parts)
            done(p, true);
    }
};

struct Planned {
    int startMinute; // after 20:00
    int16_t channel;
    const char* name;
    EventTiming timing;
};

struct PaddingCase {
    const char* what;
    std::vector<Planned> events;            // 30 minutes each
    std::vector<std::string> starts, stops; // "hh:nn:ss" of each encoder start and stop
    std::vector<std::string> parts;         // of the cut runs: "name from-to"
    std::vector<std::string> logs;          // what the status log says beyond the usual
};

void PrintTo(const PaddingCase& c, std::ostream* os) { *os << c.what; }

std::string hms(DateTime t) { return formatDate(t, "hh:nn:ss"); }
std::string hmsUnix(long long u) { return hms(fromUnixLocal(u)); }

class Padding : public EngineTest, public ::testing::WithParamInterface<PaddingCase> {};

TEST_P(Padding, RecordsEachEventWithItsMargins) {
    const PaddingCase& c = GetParam();
    EventTimingStore store(joinPath(folder, "EventTiming.txt"));
    TimingSettings defaults;
    FakeCutter cutter;
    engine.setTiming(&store, &defaults);
    engine.setCutter(&cutter);
    for (const Planned& e : c.events) {
        const DateTime start = makeDate(2004, 4, 20, 20, e.startMinute, 0);
        addEvent(*scheduler, start, e.channel, 30, "once", e.name);
        store.set(eventTimingKey(start, e.channel, "once", e.name), e.timing);
    }
    engine.SetNextEvent();
    clearLog();

    std::vector<std::string> starts, stops;
    for (DateTime t = makeDate(2004, 4, 20, 19, 55, 0); t < makeDate(2004, 4, 20, 21, 40, 0); t += 1.0 / 86400) {
        const size_t started = host.count("EncoderStart"), stopped = host.count("EncoderStop");
        // The refresh of the schedule moves the test clock on by itself.
        const DateTime tick = std::max(t, now());
        tickAt(tick);
        if (host.count("EncoderStart") > started) starts.push_back(hms(tick));
        if (host.count("EncoderStop") > stopped) stops.push_back(hms(tick));
    }
    EXPECT_EQ(starts, c.starts);
    EXPECT_EQ(stops, c.stops);
    std::vector<std::string> parts;
    for (const RecordedRun& run : cutter.runs)
        for (const RunPart& p : run.parts)
            parts.push_back(p.eventName + " " + hmsUnix(p.from) + "-" + hmsUnix(p.to));
    EXPECT_EQ(parts, c.parts);
    std::vector<std::string> logs;
    for (const std::string& line : logLinesWith({"LS0170", "LS0171", "LS0173"}))
        logs.push_back(line.substr(0, line.find(' ')) + " " + line.substr(line.find(") ") + 2));
    EXPECT_EQ(logs, c.logs);
}

INSTANTIATE_TEST_SUITE_P(
    Margins, Padding,
    ::testing::Values(
        PaddingCase{"NoMarginsAsBefore",
                    {{0, 5, "A.wmv", {}}, {30, 5, "B.wmv", {}}},
                    {"20:00:01", "20:30:02"},
                    {"20:30:00", "21:00:00"},
                    {},
                    {}},
        PaddingCase{"EarlyAndLate", {{0, 5, "A.wmv", {120, 300, false}}}, {"19:57:56"}, {"20:35:00"}, {}, {}},
        PaddingCase{"BackToBackOnOneChannel",
                    {{0, 5, "A.wmv", {0, 60, false}}, {30, 5, "B.wmv", {90, 120, true}}},
                    {"20:00:01"},
                    {"21:02:00"},
                    {"A.wmv 20:00:01-20:31:00", "B.wmv 20:28:30-21:02:00"},
                    {"LS0170:INFO:F00:Tmr1() B.wmv joins the recording of A.wmv on channel 5; the run is cut into "
                     "both files when it ends"}},
        PaddingCase{"AnotherChannelTakesTheCard",
                    {{0, 5, "A.wmv", {0, 300, false}}, {30, 7, "B.wmv", {120, 0, false}}},
                    {"20:00:01", "20:30:02"},
                    {"20:30:00", "21:00:00"},
                    {},
                    {"LS0171:INFO:F00:Tmr1() end margin of A.wmv cut by 300 s: B.wmv on channel 7 starts",
                     "LS0173:INFO:F00:Tmr1() start margin of B.wmv cut by 120 s: A.wmv on channel 5 ran until "
                     "then"}}),
    [](const auto& info) { return std::string(info.param.what); });

} // namespace
} // namespace vesper::test

namespace vesper::test {
namespace {

// Cancel Recording, or the low-disk guard, in an end margin stops the
// recording; the event after it stays scheduled (it is the schedule's first
// by then).
class EndMargin : public EngineTest, public ::testing::WithParamInterface<bool> {};

TEST_P(EndMargin, StoppingInTheEndMarginCancelsNoOtherEvent) {
    EventTimingStore store(joinPath(folder, "EventTiming.txt"));
    TimingSettings defaults;
    engine.setTiming(&store, &defaults);
    const DateTime eight = makeDate(2004, 4, 20, 20, 0, 0);
    addEvent(*scheduler, eight, 5, 30, "once", "A.wmv");
    addEvent(*scheduler, eight + 1.0 / 24, 7, 30, "once", "B.wmv");
    store.set(eventTimingKey(eight, 5, "once", "A.wmv"), {0, 600, false});
    engine.SetNextEvent();
    tickAt(eight + 1.0 / 86400);
    ASSERT_TRUE(engine.m_bRecording);
    tickAt(eight + 31.0 / 1440);
    engine.SetNextEvent(); // something else changed the schedule: A has left it
    ASSERT_TRUE(engine.m_bRecording);
    ASSERT_TRUE(engine.inEndMargin());
    if (GetParam()) {
        engine.CancelRunningEvent();
    } else {
        freeBytes = 1000;
        tickAt(eight + 32.0 / 1440);
    }
    EXPECT_FALSE(engine.m_bRecording);
    EXPECT_EQ(host.count("EncoderStop"), 1u);
    ASSERT_EQ(eventCount(*scheduler), 1);
    EXPECT_EQ(engine.nextFileName(), "B.wmv");
}

INSTANTIATE_TEST_SUITE_P(CancelOrLowDisk, EndMargin, ::testing::Bool());

} // namespace
} // namespace vesper::test
