// Every daylight-saving change from 2025 to 2035 in zones of each kind, and a
// zone without changes: the recording tick and the repeat rules on the test
// clock moved instant by instant.
#include "app/core/tests/test_engine_support.h"
#include "platform/testing/event_loop.h"
#include "scheduler/date_rules.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>

namespace vesper::test {
namespace {

long long offsetAt(long long u) {
    time_t t = static_cast<time_t>(u);
    struct tm lt {};
    localtime_r(&t, &lt);
    return lt.tm_gmtoff;
}

struct Change {
    long long at;    // the first instant of the new offset
    long long shift; // seconds the wall clock moves (forward > 0)
};

// The zone's changes between the years, found hour by hour and then to the second.
std::vector<Change> changesBetween(int fromYear, int toYear) {
    std::vector<Change> out;
    const long long first = toUnixLocal(makeDate(fromYear, 1, 1)), last = toUnixLocal(makeDate(toYear + 1, 1, 1));
    for (long long u = first; u < last; u += 3600) {
        if (offsetAt(u) == offsetAt(u + 3600)) continue;
        long long lo = u, hi = u + 3600;
        while (hi - lo > 1) {
            const long long mid = lo + (hi - lo) / 2;
            (offsetAt(mid) == offsetAt(lo) ? lo : hi) = mid;
        }
        out.push_back({hi, offsetAt(hi) - offsetAt(lo)});
    }
    return out;
}

const std::string kZones[] = {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Asia/Tokyo"};

class DaylightSaving : public EngineTest, public ::testing::WithParamInterface<const char*> {
protected:
    struct Run {
        long long started = 0, stopped = 0;
        int starts = 0;
    };
    // Adds a once event at the wall-clock time and ticks every ten seconds
    // between the instants; when the encoder started and stopped.
    Run record(DateTime start, int16_t minutes, long long from, long long to) {
        clock.setInstant(from);
        // Each case on a schedule of its own: an earlier case's event would conflict.
        scheduler =
            std::make_shared<slotbook::EventsObj>(joinPath(folder, "Schedule" + std::to_string(++m_runs) + ".txt"));
        scheduler->call("Initialize");
        engine.setScheduler(scheduler);
        addEvent(*scheduler, start, 5, minutes, "once", "News.wmv");
        EXPECT_EQ(eventCount(*scheduler), 1);
        engine.SetNextEvent();
        Run run;
        for (long long u = from; u <= to; u += 10) {
            clock.setInstant(u);
            const bool before = engine.m_bRecording;
            engine.Timer1Tick();
            if (!before && engine.m_bRecording) {
                ++run.starts;
                run.started = u;
            }
            if (before && !engine.m_bRecording) run.stopped = u;
        }
        return run;
    }
    static DateTime wallAt(long long u) { return fromUnixLocal(u); }
    int m_runs = 0;
};

// One zone a test: the engine remembers the starts it recorded by wall-clock time.
TEST_P(DaylightSaving, EventsAroundEachChangeRecordOnceForTheirLengthInElapsedTime) {
    // A tick every ten seconds: a start comes with the first tick after its
    // instant (the window is open at its start), a stop with the first at
    // or after its instant.
    auto startsAt = [](long long tick, long long wanted) { return tick > wanted && tick <= wanted + 10; };
    auto stopsAt = [](long long tick, long long wanted) { return tick >= wanted && tick < wanted + 10; };
    const char* name = GetParam();
    TimeZoneScope zone(name);
    std::vector<Change> changes = changesBetween(2025, 2035);
    if (changes.empty()) { // the same cases on the days others change
        for (int year = 2025; year <= 2035; ++year)
            for (int month : {3, 10})
                changes.push_back({toUnixLocal(makeDate(year, month, 28, 2, 0, 0)), 0});
    } else if (std::find(std::begin(kZones), std::end(kZones), std::string(name)) != std::end(kZones)) {
        EXPECT_EQ(changes.size(), 22u) << name; // a zone of one's own may change its rules
    }
    for (const Change& c : changes) {
        SCOPED_TRACE(std::string(name) + " " + generalDate(wallAt(c.at)));
        const long long span = std::abs(c.shift);

        // An hour's worth (half of it at Lord Howe) across the change,
        // begun half of it before: its length in elapsed time.
        const long long half = std::max<long long>(span, 3600) / 2;
        Run across = record(wallAt(c.at - half), int16_t(2 * half / 60), c.at - half - 60, c.at + 3 * half);
        EXPECT_EQ(across.starts, 1);
        EXPECT_TRUE(startsAt(across.started, c.at - half));
        EXPECT_TRUE(stopsAt(across.stopped, c.at + half)) << across.stopped - c.at;

        if (c.shift > 0) {
            // A start the wall clock skips: at the change, for its length.
            const DateTime skipped = wallAt(c.at - 1) + (span / 2) / 86400.0;
            Run run = record(skipped, 10, c.at - 600, c.at + 1800);
            EXPECT_EQ(run.starts, 1);
            EXPECT_TRUE(startsAt(run.started, c.at));
            EXPECT_TRUE(stopsAt(run.stopped, c.at + 600));
        } else if (c.shift < 0) {
            // A start the wall clock shows twice: the first pass only.
            const long long first = c.at - span / 4;
            Run run = record(wallAt(first), 10, first - 600, c.at + span + 1800);
            EXPECT_EQ(run.starts, 1);
            EXPECT_TRUE(startsAt(run.started, first));
            EXPECT_TRUE(stopsAt(run.stopped, first + 600));
        }

        // Daily and weekly repeats keep their local time across the change.
        const DateTime before = wallAt(c.at - 2 * 86400), after = wallAt(c.at + 86400);
        const DateTime daily = slotbook::Dates::NextDaily(before, dayStart(after));
        EXPECT_EQ(timeOfDay(daily), timeOfDay(before));
        EXPECT_EQ(wallAt(firstInstantOf(daily)), daily);
        EXPECT_EQ(timeOfDay(slotbook::Dates::NextWeekly(before, after)), timeOfDay(before));
    }
}

// Zones of each kind, then the zone the tests run in (TZ) and any named in
// VESPER_DST_ZONES (separated by commas), so that anyone can try their own.
std::vector<const char*> zones() {
    static std::vector<std::string> names = [] {
        std::vector<std::string> out(std::begin(kZones), std::end(kZones));
        const auto add = [&out](std::string name) {
            if (!name.empty() && name[0] == ':') name.erase(0, 1);
            if (!name.empty() && std::find(out.begin(), out.end(), name) == out.end()) out.push_back(name);
        };
        if (const char* tz = std::getenv("TZ")) add(tz);
        if (const char* more = std::getenv("VESPER_DST_ZONES")) {
            std::string list = more;
            for (size_t from = 0; from <= list.size();) {
                const size_t comma = std::min(list.find(',', from), list.size());
                add(list.substr(from, comma - from));
                from = comma + 1;
            }
        }
        return out;
    }();
    std::vector<const char*> out;
    for (const std::string& n : names)
        out.push_back(n.c_str());
    return out;
}

INSTANTIATE_TEST_SUITE_P(Zones, DaylightSaving, ::testing::ValuesIn(zones()), [](const auto& info) {
    std::string name = info.param;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
});

} // namespace
} // namespace vesper::test
