#include "platform/clock.h"
#include "platform/errors.h"
#include "scheduler/event_collection.h"

#include <gtest/gtest.h>

#include <random>

using namespace slotbook;
using vesper::makeDate;

namespace {

EventClass ev(DateTime dt, int minutes, const char* every = "once", const char* file = "f.wmv", int channel = 3) {
    EventClass e;
    e.dt = dt;
    e.duration = static_cast<int16_t>(minutes);
    e.channel = static_cast<int16_t>(channel);
    e.oRepeat.every = every;
    e.filename = file;
    e.bActive = true;
    return e;
}

std::vector<std::string> files(const EventCollection& c) {
    std::vector<std::string> out;
    for (auto it = c.NewEnum(); it != c.end(); ++it)
        out.push_back(it->filename);
    return out;
}

bool conflicts(const EventClass& candidate, const EventClass& listed) {
    return EventCollection::EventsOverlap(candidate, listed);
}

int errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const vesper::AutomationError& e) {
        return e.number();
    }
    return 0;
}

} // namespace

TEST(SlotbookCollection, KeepsStartOrderAndPutsEqualStartsBehind) {
    EventCollection c;
    c.AddSorted(ev(makeDate(2025, 1, 1, 20, 0, 0), 30, "once", "20"));
    c.AddSorted(ev(makeDate(2025, 1, 1, 19, 0, 0), 30, "once", "19"));
    c.AddSorted(ev(makeDate(2025, 1, 1, 21, 0, 0), 30, "once", "21"));
    EXPECT_EQ(files(c), (std::vector<std::string>{"19", "20", "21"}));
    c.AddSorted(ev(makeDate(2025, 1, 1, 20, 0, 0), 30, "once", "20b"));
    bool ok = false;
    EventClass conflict;
    EventClass last = ev(makeDate(2025, 1, 1, 21, 0, 0), 30, "once", "21b");
    c.AddSorted2(ok, nullptr, last); // no conflict object: no test
    EXPECT_TRUE(ok);
    EXPECT_EQ(files(c), (std::vector<std::string>{"19", "20", "20b", "21", "21b"}));
    EXPECT_EQ(c.Count(), 5);
    EXPECT_EQ(c.Item(2).filename, "20");
    c.Remove(2);
    EXPECT_EQ(c.Item(2).filename, "20b");
    EXPECT_EQ(errorOf([&] { c.Item(0); }), 9);
    EXPECT_EQ(errorOf([&] { c.Remove(5); }), 9);
    EXPECT_EQ(c.indexOfStart(makeDate(2025, 1, 1, 21, 0, 0)), 3);
    EXPECT_EQ(c.indexOfStart(makeDate(2025, 1, 1, 22, 0, 0)), 0);
}

TEST(SlotbookCollection, BinarySearchPlaceEqualsTheLinearWalk) {
    std::mt19937 rng(7);
    for (int round = 0; round < 40; ++round) {
        EventCollection c;
        std::uniform_int_distribution<int> hour(0, 12); // few distinct starts: many equal ones
        const int n = round * 3;
        for (int i = 0; i < n; ++i)
            c.AddSorted(ev(makeDate(2025, 1, 1, hour(rng), 0, 0), 10));
        for (int h = -1; h <= 13; ++h) {
            const long long s = vesper::toSeconds(makeDate(2025, 1, 1, h, 0, 0));
            EXPECT_EQ(c.insertPlace(s), c.linearPlace(s)) << "round " << round << " hour " << h;
            EXPECT_EQ(c.insertPlace(s + 1), c.linearPlace(s + 1));
        }
    }
}

TEST(SlotbookCollection, BulkAddEqualsOneByOneInsertion) {
    std::mt19937 rng(11);
    std::vector<EventClass> records;
    EventCollection oneByOne;
    for (int i = 0; i < 300; ++i) {
        EventClass e = ev(makeDate(2025, 1, 1 + static_cast<int>(rng() % 5), static_cast<int>(rng() % 3), 0, 0), 5,
                          "once", std::to_string(i).c_str());
        records.push_back(e);
        oneByOne.AddSorted(e);
    }
    EventCollection bulk;
    bulk.AddSorted(ev(makeDate(2025, 1, 3, 1, 0, 0), 5, "once", "already"));
    oneByOne.AddSorted(ev(makeDate(2025, 1, 3, 1, 0, 0), 5, "once", "already"));
    bulk.addAllSorted(records);
    // "already" was listed first in `bulk`, last in `oneByOne`: compare apart from it.
    std::vector<std::string> a = files(bulk), b = files(oneByOne);
    std::erase(a, "already");
    std::erase(b, "already");
    EXPECT_EQ(a, b);
    EXPECT_EQ(bulk.Count(), 301);
}

TEST(SlotbookCollection, RefusesTheRecordPastTheLimit) {
    EventCollection c;
    std::vector<EventClass> many(EventCollection::kMaxCount, ev(makeDate(2025, 1, 1, 20, 0, 0), 1));
    c.addAllSorted(many);
    EXPECT_EQ(c.Count(), 32767);
    EXPECT_EQ(errorOf([&] { c.AddSorted(ev(makeDate(2025, 1, 2), 1)); }), 6);
    bool ok = true;
    EventClass e = ev(makeDate(2030, 1, 2), 1);
    EXPECT_EQ(errorOf([&] { c.AddSorted2(ok, nullptr, e); }), 6);
    EXPECT_EQ(errorOf([&] { c.addAllSorted({ev(makeDate(2025, 1, 2), 1)}); }), 6);
    EXPECT_EQ(c.Count(), 32767);
}

TEST(SlotbookConflict, OneTimeEventsTouchingOrOverlappingBySecondsDoNotConflict) {
    const EventClass listed = ev(makeDate(2025, 1, 1, 20, 0, 0), 60);
    EXPECT_FALSE(conflicts(ev(makeDate(2025, 1, 1, 21, 0, 0), 60), listed));
    EXPECT_TRUE(conflicts(ev(makeDate(2025, 1, 1, 20, 59, 0), 60), listed));
    EXPECT_FALSE(conflicts(ev(makeDate(2025, 1, 1, 20, 59, 59), 60), listed)); // one second
    EXPECT_TRUE(conflicts(ev(makeDate(2025, 1, 1, 20, 59, 58), 60), listed));
    EXPECT_FALSE(conflicts(ev(makeDate(2025, 1, 1, 19, 0, 1), 60), listed));
    EXPECT_TRUE(conflicts(ev(makeDate(2025, 1, 1, 19, 0, 2), 60), listed));
    EXPECT_TRUE(conflicts(ev(makeDate(2025, 1, 1, 20, 0, 0), 0), listed)); // equal starts always
    EXPECT_FALSE(conflicts(ev(makeDate(2025, 1, 2, 20, 0, 0), 60), listed));
}

TEST(SlotbookConflict, WeeklyListedEventMovesToTheCandidatesWeek) {
    // Mondays 20:00, stored three weeks before Monday 27 January 2025.
    const EventClass weekly = ev(makeDate(2025, 1, 6, 20, 0, 0), 60, "weekly");
    EXPECT_TRUE(conflicts(ev(makeDate(2025, 1, 27, 19, 30, 0), 60), weekly));  // case d
    EXPECT_FALSE(conflicts(ev(makeDate(2025, 1, 27, 20, 30, 0), 60), weekly)); // moved a week on
    EXPECT_FALSE(conflicts(ev(makeDate(2025, 1, 28, 19, 30, 0), 60), weekly));
    // A weekly candidate a week before a one-time event (case c).
    const EventClass once = ev(makeDate(2025, 1, 27, 20, 30, 0), 60);
    EXPECT_FALSE(conflicts(ev(makeDate(2025, 1, 20, 20, 0, 0), 60, "weekly"), once));
    // A weekdays candidate two days before moves to the one-time event's day.
    EXPECT_TRUE(
        conflicts(ev(makeDate(2025, 1, 20, 20, 30, 0), 30, "weekdays"), ev(makeDate(2025, 1, 22, 20, 0, 0), 60)));
    // A repeating candidate after a one-time event is compared as stored (case b).
    EXPECT_FALSE(conflicts(ev(makeDate(2025, 2, 3, 20, 0, 0), 60, "weekly"), ev(makeDate(2025, 1, 27, 20, 30, 0), 60)));
    // A one-time candidate before the listed event is compared as stored (case a).
    EXPECT_FALSE(conflicts(ev(makeDate(2025, 1, 1, 20, 0, 0), 60), ev(makeDate(2025, 1, 27, 20, 0, 0), 60, "weekly")));
}

TEST(SlotbookConflict, WeekdaysListedEventMovesToTheCandidatesDay) {
    const EventClass weekdays = ev(makeDate(2025, 1, 6, 20, 0, 0), 60, "weekdays"); // Monday
    EXPECT_TRUE(conflicts(ev(makeDate(2025, 1, 14, 19, 45, 0), 30), weekdays));     // a later Tuesday
    EXPECT_FALSE(conflicts(ev(makeDate(2025, 1, 18, 19, 45, 0), 30), weekdays));    // Saturday: Monday
    EXPECT_FALSE(conflicts(ev(makeDate(2025, 1, 14, 20, 15, 0), 30), weekdays));    // moved to Wednesday
    // A weekdays candidate against a weekly event on another day is moved itself.
    const EventClass weekly = ev(makeDate(2025, 1, 8, 20, 0, 0), 60, "weekly"); // Wednesday
    EXPECT_TRUE(conflicts(ev(makeDate(2025, 1, 6, 20, 30, 0), 30, "weekdays"), weekly));
    // "day" is never aligned.
    EXPECT_FALSE(conflicts(ev(makeDate(2025, 1, 14, 19, 45, 0), 30), ev(makeDate(2025, 1, 6, 20, 0, 0), 60, "day")));
}

TEST(SlotbookConflict, IsConflictSkipsAStartAndCopiesTheConflictingRecord) {
    EventCollection c;
    c.AddSorted(ev(makeDate(2025, 1, 1, 20, 0, 0), 60, "once", "a", 4));
    c.AddSorted(ev(makeDate(2025, 1, 1, 20, 0, 0), 60, "once", "b", 5));
    c.AddSorted(ev(makeDate(2025, 1, 1, 20, 30, 0), 60, "weekly", "c", 6));
    EventClass candidate = ev(makeDate(2025, 1, 1, 20, 10, 0), 10, "once", "new");
    EXPECT_TRUE(c.IsConflict(candidate, 0));
    EXPECT_EQ(candidate.filename, "a");
    EXPECT_EQ(candidate.channel, 4);

    EventClass other = ev(makeDate(2025, 1, 1, 20, 10, 0), 10, "once", "new");
    EXPECT_FALSE(c.IsConflict(other, makeDate(2025, 1, 1, 20, 0, 0))); // both 20:00 records skipped
    EventClass longer = ev(makeDate(2025, 1, 1, 20, 10, 0), 60, "once", "new");
    EXPECT_TRUE(c.IsConflict(longer, makeDate(2025, 1, 1, 20, 0, 0)));
    EXPECT_EQ(longer.filename, "c");
    EXPECT_EQ(*longer.oRepeat.every, "weekly");

    // An inactive event conflicts all the same.
    EventCollection d;
    EventClass inactive = ev(makeDate(2025, 1, 1, 20, 0, 0), 60);
    inactive.bActive = false;
    d.AddSorted(inactive);
    EventClass probe = ev(makeDate(2025, 1, 1, 20, 30, 0), 10);
    EXPECT_TRUE(d.IsConflict(probe, 0));
}

TEST(SlotbookCollection, AddSorted2TestsOnlyAListThatHasRecords) {
    EventCollection c;
    EventClass conflict;
    bool ok = false;
    EventClass first = ev(makeDate(2025, 1, 1, 20, 0, 0), 60, "once", "first");
    EXPECT_TRUE(c.AddSorted2(ok, &conflict, first));
    EventClass clash = ev(makeDate(2025, 1, 1, 20, 30, 0), 60, "once", "clash");
    EXPECT_FALSE(c.AddSorted2(ok, &conflict, clash));
    EXPECT_FALSE(ok);
    EXPECT_EQ(conflict.filename, "first");
    EXPECT_EQ(c.Count(), 1);
    EventClass later = ev(makeDate(2025, 1, 1, 21, 0, 0), 60, "once", "later");
    EXPECT_TRUE(c.AddSorted2(ok, &conflict, later));
    EXPECT_EQ(c.Count(), 2);
    // The list holds copies: changing the caller's record changes nothing.
    later.filename = "changed";
    EXPECT_EQ(c.Item(2).filename, "later");
}
