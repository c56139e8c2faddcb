// The list of failed and missed recordings: kept across instances, damaged
// lines and files read as what can be read, never a failure.
#include "platform/paths.h"
#include "platform/testing/test_env.h"
#include "platform/watch/failed_events.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vesper;
using namespace vesper::watch;

TEST(FailedEventList, KeepsEntriesAndTheirActionsAcrossInstances) {
    const std::string path = joinPath(test::makeFolder("kept"), kFailedEventsFileName);
    FailedEvent e;
    e.when = makeDate(2026, 3, 14, 20, 0, 5);
    e.start = makeDate(2026, 3, 14, 20, 0);
    e.end = makeDate(2026, 3, 14, 20, 30);
    e.channel = 7;
    e.name = "News\tlate\\.wmv"; // a tab and a backslash survive
    e.reason = "the device \"Card A\" is in use by another program";
    e.action = "retrying every 10 s";
    const long long first = FailedEventList(path).add(e);
    e.missed = true;
    e.reason = "the computer was asleep\nat the start";
    const long long second = FailedEventList(path).add(e);
    ASSERT_EQ(first, 1);
    ASSERT_EQ(second, 2);
    ASSERT_TRUE(FailedEventList(path).setAction(first, "recorded from 08:00:31 PM to 08:30:00 PM"));
    EXPECT_FALSE(FailedEventList(path).setAction(99, "x"));

    const auto list = FailedEventList(path).entries();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, e.name);
    EXPECT_FALSE(list[0].missed);
    EXPECT_EQ(list[0].action, "recorded from 08:00:31 PM to 08:30:00 PM");
    EXPECT_EQ(toSeconds(list[0].when), toSeconds(e.when));
    EXPECT_EQ(list[0].channel, 7);
    EXPECT_TRUE(list[1].missed);
    EXPECT_EQ(list[1].reason, e.reason);
    EXPECT_EQ(describe(list[1]).substr(0, 30), "Sat Mar 14 08:00 PM  ch 7  New");
}

TEST(FailedEventList, ReadsWhatItCanOfADamagedFileAndReportsOneItCannotWrite) {
    const std::string folder = test::makeFolder("damaged");
    const std::string path =
        test::writeFile(joinPath(folder, kFailedEventsFileName), "garbage\n1\t2\t3\n\x01\xff\xfe\n"
                                                                 "4\t100\t200\t300\t5\tA.wmv\tfailed\tdisk full\t\n"
                                                                 "5\tx\t200\t300\t5\tB.wmv\tfailed\tr\ta\n");
    FailedEventList list(path);
    ASSERT_EQ(list.entries().size(), 1u);
    EXPECT_EQ(list.add({}), 5); // ids go on after the highest kept
    EXPECT_EQ(list.entries().size(), 2u);

    // A folder in the list's place: nothing to read, and a clear error.
    FailedEventList folderInPlace(folder);
    EXPECT_TRUE(folderInPlace.entries().empty());
    EXPECT_EQ(folderInPlace.add({}), 0);
    EXPECT_NE(folderInPlace.lastError().find(folder), std::string::npos) << folderInPlace.lastError();
}
