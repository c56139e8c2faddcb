#include "platform/automation.h"
#include "platform/clock.h"
#include "platform/testing/test_env.h"
#include "scheduler/events_obj.h"
#include "scheduler/files.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace slotbook;
using vesper::Args;
using vesper::makeDate;
using vesper::Variant;
namespace fs = std::filesystem;

namespace {

// Every test runs at a fixed "now" on a clock that sleeps without waiting.
class Scheduler : public ::testing::Test {
protected:
    void SetUp() override {
        vesper::setClock(&clock);
        folder = vesper::test::makeFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        path = folder + "/Schedule.txt";
    }
    void TearDown() override {
        vesper::setWaitHook({});
        vesper::setClock(nullptr);
    }

    std::shared_ptr<EventsObj> loaded(const std::string& text = "") {
        vesper::test::writeFile(path, text);
        auto o = std::make_shared<EventsObj>(path);
        o->call("Initialize");
        return o;
    }

    static Variant date(DateTime dt) { return Variant::date(dt); }
    static Variant i16(int v) { return Variant(static_cast<int16_t>(v)); }

    static void add(vesper::Object& o, DateTime dt, int channel, int minutes, const char* every, const char* file) {
        Args a{date(dt), i16(channel), i16(minutes), Variant(true), Variant(every), Variant(file)};
        o.call("IAddEvent", a);
    }

    // The schedule as the grid reads it: ICount, then IGetEvent for each index.
    static std::vector<std::string> rows(vesper::Object& o) {
        std::vector<std::string> out;
        const int n = o.call("ICount").toInt16();
        for (int i = 1; i <= n; ++i) {
            Args a(6);
            a.push_back(i16(i));
            o.call("IGetEvent", a);
            out.push_back(vesper::generalDate(a[0].toDate()) + "," + a[1].toString() + "," + a[2].toString() + "," +
                          a[3].toString() + "," + a[4].toString() + "," + a[5].toString());
        }
        return out;
    }

    static int errorOf(const std::function<void()>& f, std::string* source = nullptr) {
        try {
            f();
        } catch (const vesper::AutomationError& e) {
            if (source) *source = e.source();
            return e.number();
        }
        return 0;
    }

    vesper::TestClock clock{makeDate(2025, 1, 8, 12, 0, 0)}; // Wednesday noon
    std::string folder, path;
};

using Strings = std::vector<std::string>;

} // namespace

TEST_F(Scheduler, MembersInTheirOrder) {
    EventsObj o(path);
    EXPECT_EQ(o.memberNames(), (Strings{"Initialize", "IPersistentRead", "IPersistentSave", "IRefresh", "IAddEvent",
                                        "IAddEvent2", "IRemoveEvent", "INextEvent", "IGetEvent", "IUpdateEvent",
                                        "IUpdateEvent2", "ICancelEvent", "ICount"}));
}

TEST_F(Scheduler, EveryMemberNeedsTheScheduleFirst) {
    EventsObj o(path);
    for (const char* m : {"IPersistentSave", "IRefresh", "ICount", "ICancelEvent"}) {
        std::string source;
        EXPECT_EQ(errorOf([&] { o.call(m); }, &source), 91) << m;
        EXPECT_EQ(source, "Slotbook.EventsObj");
    }
    Args six(6), seven{date(1), date(1), i16(1), i16(1), Variant(false), Variant(""), Variant("")};
    Args eleven(11);
    eleven[5] = date(makeDate(2030, 1, 1));
    EXPECT_EQ(errorOf([&] { o.call("INextEvent", six); }), 91);
    EXPECT_EQ(errorOf([&] { o.call("IGetEvent", six); }), 91);
    EXPECT_EQ(errorOf([&] { o.call("IUpdateEvent", seven); }), 91);
    EXPECT_EQ(errorOf([&] { o.call("IAddEvent2", eleven); }), 91);
    EXPECT_EQ(errorOf([&] { add(o, makeDate(2030, 1, 1), 3, 30, "once", "x"); }), 91);
    EXPECT_FALSE(fs::exists(path)); // nothing was written
    o.call("IPersistentRead");
    EXPECT_EQ(o.call("ICount").toInt16(), 0);
    EXPECT_TRUE(fs::exists(path));
}

TEST_F(Scheduler, GetEventIndexRulesAndNextEventSwapsDurationAndChannel) {
    auto o = loaded();
    add(*o, makeDate(2025, 1, 9, 20, 0, 0), 5, 30, "once", "first.wmv");
    add(*o, makeDate(2025, 1, 10, 20, 0, 0), 7, 45, "weekly", "second.wmv");

    Args a(6);
    a.push_back(i16(0));
    o->call("IGetEvent", a);
    EXPECT_EQ(a[6].toInt16(), 1); // the caller's index becomes 1
    EXPECT_EQ(a[0].toDate(), makeDate(2025, 1, 9, 20, 0, 0));
    EXPECT_EQ(a[1].toInt16(), 5);
    EXPECT_EQ(a[2].toInt16(), 30);
    EXPECT_EQ(a[3].type(), Variant::Type::Boolean);
    EXPECT_EQ(a[5].toString(), "first.wmv");

    Args omitted(6);
    o->call("IGetEvent", omitted);
    EXPECT_EQ(omitted[5].toString(), "first.wmv");

    Args past{Variant("keep"), Variant("keep"), Variant("keep"), Variant("keep"),
              Variant("keep"), Variant("keep"), i16(3)};
    o->call("IGetEvent", past);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(past[static_cast<size_t>(i)].toString(), "keep");
    EXPECT_EQ(past[6].toInt16(), 3);

    Args negative(6);
    negative.push_back(i16(-1));
    EXPECT_EQ(errorOf([&] { o->call("IGetEvent", negative); }), 9);

    Args next(6);
    o->call("INextEvent", next);
    EXPECT_EQ(next[0].toDate(), makeDate(2025, 1, 9, 20, 0, 0));
    EXPECT_EQ(next[1].toInt16(), 30); // duration second
    EXPECT_EQ(next[2].toInt16(), 5);  // channel third
    EXPECT_EQ(next[4].toString(), "once");

    auto empty = loaded();
    Args untouched{Variant("a"), Variant("b"), Variant("c"), Variant("d"), Variant("e"), Variant("f")};
    empty->call("INextEvent", untouched);
    EXPECT_EQ(untouched[0].toString() + untouched[5].toString(), "af");
    Args onEmpty(6);
    onEmpty.push_back(i16(0));
    empty->call("IGetEvent", onEmpty);
    EXPECT_EQ(onEmpty[6].toInt16(), 1);
    EXPECT_TRUE(onEmpty[0].isEmpty());
}

TEST_F(Scheduler, AddEvent2ReportsTheConflictAndLeavesTheScheduleAlone) {
    auto o = loaded();
    const auto add2 = [&](DateTime dt, int minutes, const char* file) {
        Args a{Variant(false), date(1),      i16(-7),       Variant("out"),  Variant("out"), date(dt),
               i16(3),         i16(minutes), Variant(true), Variant("once"), Variant(file)};
        o->call("IAddEvent2", a);
        return a;
    };
    Args first = add2(makeDate(2025, 1, 9, 20, 0, 0), 60, "first.wmv"); // empty schedule: no test
    EXPECT_TRUE(first[0].toBool());
    EXPECT_EQ(first[1].toDate(), 1); // left as they were
    EXPECT_EQ(first[3].toString(), "out");
    add(*o, makeDate(2025, 1, 9, 21, 0, 0), 4, 30, "weekly", "second.wmv");

    Args clash = add2(makeDate(2025, 1, 9, 21, 10, 0), 10, "clash.wmv");
    EXPECT_FALSE(clash[0].toBool());
    EXPECT_EQ(clash[1].toDate(), makeDate(2025, 1, 9, 21, 0, 0));
    EXPECT_EQ(clash[2].toInt16(), 30);
    EXPECT_EQ(clash[3].toString(), "second.wmv");
    EXPECT_EQ(clash[4].toString(), "weekly");
    EXPECT_EQ(o->call("ICount").toInt16(), 2);

    EXPECT_TRUE(add2(makeDate(2025, 1, 9, 21, 30, 0), 10, "after.wmv")[0].toBool());
    EXPECT_EQ(rows(*o), (Strings{"1/9/2025 8:00:00 PM,3,60,True,once,first.wmv",
                                 "1/9/2025 9:00:00 PM,4,30,True,weekly,second.wmv",
                                 "1/9/2025 9:30:00 PM,3,10,True,once,after.wmv"}));
}

TEST_F(Scheduler, UpdateEvent2ReplacesUnlessAnotherEventConflicts) {
    auto o = loaded();
    add(*o, makeDate(2025, 1, 9, 20, 0, 0), 3, 60, "once", "a.wmv");
    add(*o, makeDate(2025, 1, 9, 21, 0, 0), 4, 60, "once", "b.wmv");
    const auto update = [&](DateTime key, DateTime dt, int minutes, const char* file) {
        Args a{Variant(), date(key),    i16(0),        Variant(""),       Variant(""),  date(dt),
               i16(6),    i16(minutes), Variant(true), Variant("weekly"), Variant(file)};
        o->call("IUpdateEvent2", a);
        return a;
    };
    // Only the name changes: the event itself is not a conflict.
    Args same = update(makeDate(2025, 1, 9, 20, 0, 0), makeDate(2025, 1, 9, 20, 0, 0), 60, "renamed.wmv");
    EXPECT_TRUE(same[0].toBool());
    EXPECT_EQ(same[1].toDate(), makeDate(2025, 1, 9, 20, 0, 0));
    // Longer, into b: refused with b's values.
    Args clash = update(makeDate(2025, 1, 9, 20, 0, 0), makeDate(2025, 1, 9, 20, 0, 0), 90, "longer.wmv");
    EXPECT_FALSE(clash[0].toBool());
    EXPECT_EQ(clash[1].toDate(), makeDate(2025, 1, 9, 21, 0, 0));
    EXPECT_EQ(clash[2].toInt16(), 60);
    EXPECT_EQ(clash[3].toString(), "b.wmv");
    EXPECT_EQ(clash[4].toString(), "once");
    // Moved after b: lands in start order.
    EXPECT_TRUE(update(makeDate(2025, 1, 9, 20, 0, 0), makeDate(2025, 1, 9, 22, 0, 0), 30, "moved.wmv")[0].toBool());
    // A key no event has: simply inserted.
    EXPECT_TRUE(update(makeDate(2020, 1, 1), makeDate(2025, 1, 9, 18, 0, 0), 30, "new.wmv")[0].toBool());
    EXPECT_EQ(rows(*o),
              (Strings{"1/9/2025 6:00:00 PM,6,30,True,weekly,new.wmv", "1/9/2025 9:00:00 PM,4,60,True,once,b.wmv",
                       "1/9/2025 10:00:00 PM,6,30,True,weekly,moved.wmv"}));
}

// The start of an event changed in place must not leave it out of order: the
// next event, the conflict walk and every insertion rely on that order.
TEST_F(Scheduler, UpdateEventChangesGivenFieldsAndKeepsStartOrder) {
    auto o = loaded();
    add(*o, makeDate(2025, 1, 9, 20, 0, 0), 3, 60, "once", "a.wmv");
    add(*o, makeDate(2025, 1, 10, 20, 0, 0), 4, 60, "once", "b.wmv");
    add(*o, makeDate(2025, 1, 11, 20, 0, 0), 5, 60, "once", "c.wmv");
    Args keep{date(makeDate(2025, 1, 9, 20, 0, 0)),
              date(makeDate(2025, 1, 9, 20, 0, 0)),
              i16(0),
              i16(0),
              Variant(false),
              Variant(""),
              Variant("")};
    o->call("IUpdateEvent", keep); // all defaults: nothing changes, active stays active
    EXPECT_EQ(rows(*o)[0], "1/9/2025 8:00:00 PM,3,60,True,once,a.wmv");

    Args move{date(makeDate(2025, 1, 9, 20, 0, 0)),
              date(makeDate(2025, 1, 10, 20, 0, 0)),
              i16(9),
              i16(0),
              Variant(false),
              Variant("weekly"),
              Variant("")};
    o->call("IUpdateEvent", move);
    EXPECT_EQ(rows(*o),
              (Strings{"1/10/2025 8:00:00 PM,4,60,True,once,b.wmv", "1/10/2025 8:00:00 PM,9,60,True,weekly,a.wmv",
                       "1/11/2025 8:00:00 PM,5,60,True,once,c.wmv"}));
    Args last{date(makeDate(2025, 1, 10, 20, 0, 0)),
              date(makeDate(2025, 1, 12, 8, 0, 0)),
              i16(0),
              i16(15),
              Variant(true),
              Variant(""),
              Variant("z.wmv")};
    o->call("IUpdateEvent", last);
    Args next(6);
    o->call("INextEvent", next);
    EXPECT_EQ(next[5].toString(), "a.wmv");
    EXPECT_EQ(rows(*o).back(), "1/12/2025 8:00:00 AM,4,15,True,once,z.wmv");
    // A key no event has changes nothing.
    Args none{date(makeDate(2030, 1, 1)),
              date(makeDate(2031, 1, 1)),
              i16(1),
              i16(1),
              Variant(true),
              Variant("x"),
              Variant("x")};
    o->call("IUpdateEvent", none);
    EXPECT_EQ(o->call("ICount").toInt16(), 3);
}

TEST_F(Scheduler, CancelMovesARepeatingEventOnAndDeletesAOneTimeEvent) {
    auto o = loaded();
    add(*o, makeDate(2025, 1, 10, 20, 0, 0), 3, 60, "weekdays", "fri.wmv"); // a Friday
    add(*o, makeDate(2025, 1, 11, 9, 0, 0), 3, 60, "once", "sat.wmv");
    add(*o, makeDate(2025, 1, 11, 23, 30, 0), 3, 60, "day", "late.wmv");
    add(*o, makeDate(2025, 1, 12, 9, 0, 0), 3, 60, "monthly", "odd.wmv");
    Args fri{date(makeDate(2025, 1, 10, 20, 0, 0))};
    o->call("ICancelEvent", fri);
    Args sat{date(makeDate(2025, 1, 11, 9, 0, 0))};
    o->call("ICancelEvent", sat);
    Args late{date(makeDate(2025, 1, 11, 23, 30, 0))};
    o->call("ICancelEvent", late);
    Args odd{date(makeDate(2025, 1, 12, 9, 0, 0))};
    o->call("ICancelEvent", odd); // no rule: removed without successor
    o->call("ICancelEvent");      // omitted: nothing
    Args nobody{date(makeDate(2025, 1, 1))};
    o->call("ICancelEvent", nobody);
    EXPECT_EQ(rows(*o), (Strings{"1/12/2025 11:30:00 PM,3,60,True,day,late.wmv",
                                 "1/13/2025 8:00:00 PM,3,60,True,weekdays,fri.wmv"}));
    // Remove takes the event whatever its word.
    Args rm{date(makeDate(2025, 1, 13, 20, 0, 0))};
    o->call("IRemoveEvent", rm);
    o->call("IRemoveEvent", rm);
    EXPECT_EQ(o->call("ICount").toInt16(), 1);
}

TEST_F(Scheduler, RefreshRollsRepeatingEventsForwardAndDropsEndedOnes) {
    // Now: Wednesday 8 January 2025, 12:00.
    auto o = loaded("VER1.0\r\n"
                    "1/7/2025 8:00:00 PM,3,60,True,weekly,weekly.wmv\r\n"
                    "1/8/2025 10:00:00 AM,3,119,True,once,ended.wmv\r\n"
                    "1/8/2025 10:00:00 AM,3,121,True,once,running.wmv\r\n"
                    "1/7/2025 8:00:00 AM,3,60,True,day,morning.wmv\r\n"
                    "1/7/2025 2:00:00 PM,3,60,True,day,afternoon.wmv\r\n"
                    "1/7/2025 8:00:00 AM,3,60,True,,norule.wmv\r\n"
                    "1/3/2025 8:00:00 PM,3,60,False,weekdays,fri.wmv\r\n");
    EXPECT_EQ(
        rows(*o),
        (Strings{"1/8/2025 10:00:00 AM,3,121,True,once,running.wmv", "1/8/2025 2:00:00 PM,3,60,True,day,afternoon.wmv",
                 "1/8/2025 8:00:00 PM,3,60,False,weekdays,fri.wmv", "1/9/2025 8:00:00 AM,3,60,True,day,morning.wmv",
                 "1/14/2025 8:00:00 PM,3,60,True,weekly,weekly.wmv"}));
    // The pause went by on the clock, not in real time.
    EXPECT_NEAR(vesper::toSeconds(vesper::now()) - vesper::toSeconds(makeDate(2025, 1, 8, 12, 0, 0)), 2, 1);
}

TEST_F(Scheduler, CallsDuringTheRefreshPauseDoNotDuplicateOccurrences) {
    vesper::test::writeFile(path, "VER1.0\r\n1/7/2025 8:00:00 PM,3,60,True,weekly,weekly.wmv\r\n"
                                  "1/8/2025 11:00:00 AM,3,30,True,once,ended.wmv\r\n");
    auto o = std::make_shared<EventsObj>(path);
    bool inside = false;
    int seenDuringPause = -1;
    vesper::setWaitHook([&] {
        if (inside) return;
        inside = true;
        // The host's timer fires inside the pause and refreshes again.
        seenDuringPause = o->call("ICount").toInt16();
        o->call("IRefresh");
        inside = false;
    });
    o->call("Initialize");
    EXPECT_EQ(seenDuringPause, 3); // the rolled event stays until the pause ends
    EXPECT_EQ(rows(*o), (Strings{"1/14/2025 8:00:00 PM,3,60,True,weekly,weekly.wmv"}));
}

TEST_F(Scheduler, FailedLoadKeepsTheHeldScheduleAndDoesNotRefresh) {
    auto o = loaded("VER1.0\r\n1/9/2025 8:00:00 PM,3,60,True,once,kept.wmv\r\n");
    vesper::test::writeFile(path, "VER1.0\r\n1/9/2025 8:00:00 PM,3,60,True,once\r\n");
    EXPECT_EQ(errorOf([&] { o->call("IPersistentRead"); }), 5);
    EXPECT_EQ(errorOf([&] { o->call("Initialize"); }), 5);
    EXPECT_EQ(rows(*o), (Strings{"1/9/2025 8:00:00 PM,3,60,True,once,kept.wmv"}));
    // A first Initialize that fails leaves no schedule at all.
    EventsObj fresh(path);
    EXPECT_EQ(errorOf([&] { fresh.call("Initialize"); }), 5);
    EXPECT_EQ(errorOf([&] { fresh.call("ICount"); }), 91);
    // A failed Initialize does not refresh: the held event, ended by now, stays.
    clock.set(makeDate(2025, 1, 10));
    vesper::test::writeFile(path, "1/1/2025 8:00:00 PM,3,60,True,once,old.wmv\r\nbad\r\n");
    EXPECT_EQ(errorOf([&] { o->call("Initialize"); }), 5);
    EXPECT_EQ(o->call("ICount").toInt16(), 1);
}

TEST_F(Scheduler, BadArgumentsAreRunTimeErrorsAndChangeNothing) {
    auto o = loaded();
    add(*o, makeDate(2025, 1, 9, 20, 0, 0), 3, 60, "once", "a.wmv");
    std::string source;
    Args text{Variant("not a date"), i16(3), i16(60), Variant(true), Variant("once"), Variant("x")};
    EXPECT_EQ(errorOf([&] { o->call("IAddEvent", text); }, &source), 13);
    EXPECT_EQ(source, "Slotbook.EventsObj");
    Args big{date(makeDate(2025, 1, 9, 22, 0, 0)),
             Variant(int32_t(70000)),
             i16(60),
             Variant(true),
             Variant("once"),
             Variant("x")};
    EXPECT_EQ(errorOf([&] { o->call("IAddEvent", big); }), 6);
    Args far{Variant(1e12), i16(3), i16(60), Variant(true), Variant("once"), Variant("x")};
    EXPECT_EQ(errorOf([&] { o->call("IAddEvent", far); }), 6);
    Args few{date(makeDate(2025, 1, 9, 22, 0, 0))};
    EXPECT_EQ(errorOf([&] { o->call("IAddEvent", few); }), 450);
    Args obj{Variant(vesper::ObjectPtr(o))};
    EXPECT_EQ(errorOf([&] { o->call("IRemoveEvent", obj); }), 13);
    EXPECT_EQ(errorOf([&] { o->call("NoSuchMember"); }), 438);
    EXPECT_EQ(o->call("ICount").toInt16(), 1);
    // Strings and numbers that convert are taken, seconds rounded.
    Args loose{Variant("1/10/2025 8:00:00 PM"),
               Variant("7"),
               Variant(45.0),
               Variant("True"),
               Variant("day"),
               Variant("b.wmv")};
    o->call("IAddEvent", loose);
    EXPECT_EQ(rows(*o).back(), "1/10/2025 8:00:00 PM,7,45,True,day,b.wmv");
}

TEST_F(Scheduler, SaveWritesTheFileAndReportsAFailure) {
    auto o = loaded();
    add(*o, makeDate(2025, 1, 9, 20, 0, 0), 3, 60, "weekly", "a.wmv");
    o->call("IPersistentSave");
    EXPECT_EQ(vesper::test::readFile(path), "VER1.0\r\n1/9/2025 8:00:00 PM,3,60,True,weekly,a.wmv\r\n");
    // The file replaced by a folder: the save fails with a file error.
    fs::remove(path);
    fs::create_directories(path + "/x");
    EXPECT_NE(errorOf([&] { o->call("IPersistentSave"); }), 0);
    EXPECT_TRUE(fs::is_directory(path + "/x"));
}

// The component as the main program meets it: registered in the hive, created
// by ProgID, keeping "Schedule.txt" in its program folder.
TEST_F(Scheduler, CreatedByProgIdKeepsItsFileInTheProgramFolder) {
    ASSERT_TRUE(vesper::test::registerComponent(SLOTBOOK_PATH));
    vesper::ObjectPtr o = vesper::CreateObject("slotbook.eventsobj");
    ASSERT_TRUE(o);
    o->call("Initialize");
    const std::string file = vesper::test::testFolder() + "/Schedule.txt";
    EXPECT_TRUE(fs::exists(file));
    add(*o, makeDate(2025, 1, 9, 20, 0, 0), 3, 60, "once", "a.wmv");
    o->call("IPersistentSave");
    EXPECT_EQ(vesper::test::readFile(file), "VER1.0\r\n1/9/2025 8:00:00 PM,3,60,True,once,a.wmv\r\n");
    EXPECT_EQ(Files::schedulePath(), file);
}

TEST_F(Scheduler, DrivenEndToEndByTheScriptHost) {
    ASSERT_TRUE(vesper::test::registerComponent(SLOTBOOK_PATH));
    const std::string script = vesper::test::writeFile(
        folder + "/s.vbs", "Set o = CreateObject(\"Slotbook.EventsObj\")\n"
                           "o.IPersistentRead\n"
                           "o.IAddEvent #4/20/2030 8:00:00 PM#, 3, 60, True, \"weekly\", \"News.wmv\"\n"
                           "ok = True\n"
                           "o.IAddEvent2 ok, w, d, f, r, #4/20/2030 8:30:00 PM#, 4, 30, True, \"once\", \"Clash.wmv\"\n"
                           "Print ok, w, d, f, r\n"
                           "i = 0\n"
                           "o.IGetEvent a, b, c, e, g, h, i\n"
                           "Print i, b, c, h\n"
                           "o.INextEvent a, b, c, e, g, h\n"
                           "Print b, c\n"
                           "o.IPersistentSave\n"
                           "Print o.ICount()\n");
    std::string out;
    EXPECT_EQ(vesper::test::runCommand(std::string(VESPER_SCRIPT_PATH) + " " + script, &out), 0) << out;
    EXPECT_EQ(out, "False 4/20/2030 8:00:00 PM 60 News.wmv weekly\n1 3 60 News.wmv\n60 3\n1\n");
    EXPECT_EQ(vesper::test::readFile(vesper::test::testFolder() + "/Schedule.txt"),
              "VER1.0\r\n4/20/2030 8:00:00 PM,3,60,True,weekly,News.wmv\r\n");
}

TEST_F(Scheduler, ARefreshSurvivesAReloadDuringItsPause) {
    vesper::test::writeFile(path, "1/7/2025 8:00:00 PM,3,60,True,weekly,old.wmv\r\n");
    auto o = std::make_shared<EventsObj>(path);
    bool reloaded = false;
    vesper::setWaitHook([&] {
        if (reloaded) return;
        reloaded = true;
        vesper::test::writeFile(path, "1/9/2025 8:00:00 PM,3,60,True,once,new.wmv\r\n"
                                      "1/8/2025 9:00:00 AM,3,60,True,once,ended.wmv\r\n");
        o->call("IPersistentRead");
    });
    o->call("Initialize");
    // The reloaded schedule is kept; only its ended one-time event goes.
    EXPECT_EQ(rows(*o), (Strings{"1/9/2025 8:00:00 PM,3,60,True,once,new.wmv"}));
}

TEST_F(Scheduler, AFullScheduleRefusesToGrowAndLosesNothing) {
    std::string text = "1/7/2025 8:00:00 PM,3,60,True,weekly,ended.wmv\r\n";
    for (int i = 1; i < 32767; ++i)
        text += "1/1/2030 8:00:00 PM,3,1,True,once,x\r\n";
    auto o = loaded("VER1.0\r\n1/9/2025 8:00:00 PM,3,60,True,once,a.wmv\r\n");
    vesper::test::writeFile(path, text);
    o->call("IPersistentRead");
    ASSERT_EQ(o->call("ICount").toInt16(), 32767);
    // Rolling the ended weekly event forward needs one more place: refused whole.
    EXPECT_EQ(errorOf([&] { o->call("IRefresh"); }), 6);
    EXPECT_EQ(o->call("ICount").toInt16(), 32767);
    EXPECT_EQ(rows(*o).front(), "1/7/2025 8:00:00 PM,3,60,True,weekly,ended.wmv");
    EXPECT_EQ(errorOf([&] { add(*o, makeDate(2031, 1, 1), 3, 1, "once", "y"); }), 6);
    // Cancelling still moves it on: the occurrence leaves before its successor comes.
    Args key{date(makeDate(2025, 1, 7, 20, 0, 0))};
    o->call("ICancelEvent", key);
    EXPECT_EQ(o->call("ICount").toInt16(), 32767);
    EXPECT_EQ(rows(*o).front(), "1/14/2025 8:00:00 PM,3,60,True,weekly,ended.wmv");
}

TEST_F(Scheduler, NothingIsHeldThatTheFileCouldNotGiveBack) {
    // An occurrence past 31 December 9999 is an overflow, for a cancel and a
    // refresh alike, and leaves the schedule as it was.
    auto o = loaded();
    const DateTime last = makeDate(9999, 12, 30, 20, 0, 0);
    add(*o, last, 3, 60, "weekly", "Last.wmv");
    const Strings before = rows(*o);
    Args cancel{date(last)};
    EXPECT_EQ(errorOf([&] { o->call("ICancelEvent", cancel); }), 6);
    EXPECT_EQ(rows(*o), before);
    clock.set(makeDate(9999, 12, 31, 12, 0, 0));
    EXPECT_EQ(errorOf([&] { o->call("IRefresh"); }), 6);
    EXPECT_EQ(rows(*o), before);
    o->call("IPersistentSave");
    EXPECT_EQ(errorOf([&] { o->call("IPersistentRead"); }), 0);
    EXPECT_EQ(rows(*o), before);

    // A file name (with the repeat word) that would make a line too long to
    // read back is refused when added or updated; the longest accepted one
    // comes back whole.
    clock.set(makeDate(2025, 1, 8, 12, 0, 0));
    auto p = loaded();
    const DateTime when = makeDate(2025, 12, 31, 20, 0, 0);
    std::string longest(Files::kMaxLineLength - 44 - 6, 'n');
    add(*p, when, 3, 60, "weekly", longest.c_str());
    const std::string tooLong = longest + "n";
    EXPECT_EQ(errorOf([&] { add(*p, when + 1, 3, 60, "weekly", tooLong.c_str()); }), 5);
    Args a2{Variant(),
            Variant(),
            Variant(),
            Variant(),
            Variant(),
            date(when + 2),
            i16(3),
            i16(60),
            Variant(true),
            Variant("once"),
            Variant(tooLong + tooLong)};
    EXPECT_EQ(errorOf([&] { p->call("IAddEvent2", a2); }), 5);
    Args u{date(when), date(when), i16(0), i16(0), Variant(false), Variant("weekly!"), Variant("")};
    EXPECT_EQ(errorOf([&] { p->call("IUpdateEvent", u); }), 5);
    Args u2{Variant(),       date(when), Variant(), Variant(),     Variant(),
            date(when),      i16(3),     i16(60),   Variant(true), Variant(std::string(70000, 'w')),
            Variant("x.wmv")};
    EXPECT_EQ(errorOf([&] { p->call("IUpdateEvent2", u2); }), 5);
    ASSERT_EQ(p->call("ICount").toInt16(), 1);
    p->call("IPersistentSave");
    p->call("IPersistentRead");
    Args a(6);
    p->call("IGetEvent", a);
    EXPECT_EQ(a[5].toString(), longest);
    EXPECT_EQ(a[4].toString(), "weekly");
}
