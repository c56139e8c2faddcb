// Each event's margins and keep mark: the key that follows an event through
// its repeats, the file that holds them (damaged lines skipped), and the
// defaults under Timing.
#include "app/core/event_timing.h"
#include "app/core/settings_store.h"

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vesper::test {
namespace {

TEST(EventTiming, TheKeyFollowsAnEventThroughItsRepeats) {
    const DateTime tue = makeDate(2030, 4, 23, 20, 0, 0), nextTue = tue + 7, wed = tue + 1;
    const auto key = [](DateTime dt, const char* every) { return eventTimingKey(dt, 5, every, "News.wmv"); };
    EXPECT_EQ(key(tue, "weekly"), key(nextTue, "weekly"));
    EXPECT_NE(key(tue, "weekly"), key(wed, "weekly"));
    EXPECT_EQ(key(tue, "weekdays"), key(wed, "weekdays"));
    EXPECT_EQ(key(tue, "day"), key(wed, "day"));
    EXPECT_NE(key(tue, "once"), key(nextTue, "once"));
    EXPECT_NE(key(tue, "once"), eventTimingKey(tue, 6, "once", "News.wmv"));
    EXPECT_EQ(key(tue, "once"), "News.wmv | 5 | once | 2030-04-23 20:00");
}

TEST(EventTiming, TheFileKeepsWhatWasSetAndSkipsWhatIsDamaged) {
    const std::string path = joinPath(makeFolder("timing"), "EventTiming.txt");
    writeFile(path, "# a comment\n"
                    "60\t120\tkeep\tNews.wmv | 5 | weekly | Tue 20:00\n"
                    "30\t0\t-\tKey\twith a tab\n"
                    "-5\t0\t-\tnegative\n"
                    "3601\t0\t-\ttoo long\n"
                    "10\tx\t-\tnot a number\n"
                    "10\t10\tmaybe\tbad mark\n"
                    "10\t10\t-\n"
                    "\xff\xfe binary\n");
    const EventTiming none{1, 2, false};
    {
        EventTimingStore store(path);
        EXPECT_EQ(store.forEvent("News.wmv | 5 | weekly | Tue 20:00", none), (EventTiming{60, 120, true}));
        EXPECT_EQ(store.forEvent("Key\twith a tab", none), (EventTiming{30, 0, false}));
        for (const char* bad : {"negative", "too long", "not a number", "bad mark", ""})
            EXPECT_FALSE(store.hasOwn(bad)) << bad;
        EXPECT_EQ(store.forEvent("unknown", none), none);
        EXPECT_TRUE(store.set("Late.wmv | 7 | once | 2030-04-23 23:00", {0, 600, false}));
        EXPECT_TRUE(store.keepOnly({"News.wmv | 5 | weekly | Tue 20:00", "Late.wmv | 7 | once | 2030-04-23 23:00"}));
    }
    EventTimingStore again(path);
    EXPECT_EQ(again.forEvent("Late.wmv | 7 | once | 2030-04-23 23:00", none), (EventTiming{0, 600, false}));
    EXPECT_TRUE(again.hasOwn("News.wmv | 5 | weekly | Tue 20:00"));
    EXPECT_FALSE(again.hasOwn("Key\twith a tab"));

    // A folder that cannot be written: the options stay in memory and the
    // failure is said.
    std::filesystem::remove(path);
    std::filesystem::create_directory(path); // the file's name taken by a folder
    EventTimingStore blocked(path);
    EXPECT_FALSE(blocked.set("x", {1, 1, false}));
    EXPECT_NE(blocked.lastError(), "");
    EXPECT_EQ(blocked.forEvent("x", none), (EventTiming{1, 1, false}));
}

TEST(EventTiming, DefaultsComeFromTheTimingKeyAndBadValuesReadAsNone) {
    EXPECT_EQ(TimingSettings::load().defaults, EventTiming{});
    RegSaveSetting2(kTimingKey, "nStartMarginSeconds", "90");
    RegSaveSetting2(kTimingKey, "nEndMarginSeconds", "-1");
    RegSaveSetting2(kTimingKey, "bKeepUntilSpaceNeeded", "True");
    EXPECT_EQ(TimingSettings::load().defaults, (EventTiming{90, 0, true}));
    TimingSettings s;
    s.defaults = {0, 300, false};
    s.save();
    EXPECT_EQ(TimingSettings::load().defaults, s.defaults);
}

} // namespace
} // namespace vesper::test
