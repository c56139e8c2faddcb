#include "platform/errors.h"
#include "platform/testing/test_env.h"
#include "scheduler/files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace slotbook;
using vesper::makeDate;
namespace fs = std::filesystem;

namespace {

std::string folderFor(const std::string& name) { return vesper::test::makeFolder(name); }

std::string scheduleIn(const std::string& folder, const std::string& text) {
    return vesper::test::writeFile(folder + "/Schedule.txt", text);
}

int loadError(const std::string& path, std::string* description = nullptr) {
    try {
        Files::LoadSchedule(path);
    } catch (const vesper::AutomationError& e) {
        if (description) *description = e.description();
        return e.number();
    }
    return 0;
}

EventClass ev(DateTime dt, int channel, int minutes, bool active, const char* every, const char* file) {
    EventClass e;
    e.dt = dt;
    e.channel = static_cast<int16_t>(channel);
    e.duration = static_cast<int16_t>(minutes);
    e.bActive = active;
    e.oRepeat.every = every;
    e.filename = file;
    return e;
}

} // namespace

TEST(SlotbookFiles, WritesTheExactFormat) {
    const std::string path = folderFor("fmt") + "/Schedule.txt";
    EventCollection c;
    c.AddSorted(ev(makeDate(2002, 4, 20, 20, 0, 0), 3, 60, true, "weekly", "News.wmv"));
    c.AddSorted(ev(makeDate(2002, 4, 21), 12, 90, false, "", "Late, Show.wmv"));
    c.AddSorted(ev(makeDate(2002, 4, 19, 9, 5, 7), -1, 0, true, "day", "dir/a b.wmv"));
    Files::SaveSchedule(c, path);
    EXPECT_EQ(vesper::test::readFile(path), "VER1.0\r\n"
                                            "4/19/2002 9:05:07 AM,-1,0,True,day,dir/a b.wmv\r\n"
                                            "4/20/2002 8:00:00 PM,3,60,True,weekly,News.wmv\r\n"
                                            "4/21/2002,12,90,False,,Late, Show.wmv\r\n");
    EventCollection back = Files::LoadSchedule(path);
    ASSERT_EQ(back.Count(), 3);
    EXPECT_EQ(back.Item(3).filename, "Late"); // cut at the comma, as the format dictates
    EXPECT_EQ(back.Item(3).dt, makeDate(2002, 4, 21));
    EXPECT_FALSE(back.Item(3).bActive);
    EXPECT_EQ(*back.Item(3).oRepeat.every, "");
    EXPECT_EQ(back.Item(1).channel, -1);
    EXPECT_EQ(*back.Item(1).oRepeat.every, "day");
    EXPECT_EQ(back.Item(2).filename, "News.wmv");
    // A second round trip is byte for byte stable apart from the cut name.
    Files::SaveSchedule(back, path);
    Files::SaveSchedule(Files::LoadSchedule(path), path + ".2");
    EXPECT_EQ(vesper::test::readFile(path), vesper::test::readFile(path + ".2"));
}

TEST(SlotbookFiles, SkipsHeaderCommentsAndEmptyLinesAndSortsStably) {
    const std::string folder = folderFor("skip");
    const std::string path = scheduleIn(folder, "VER9.9 whatever\r\n"
                                                "'4/20/2002 8:00:00 PM,3,60,True,once,comment\r\n"
                                                "\r\n"
                                                "4/22/2002 8:00:00 PM,3,60,true,week,third\n"
                                                "4/20/2002 8:00:00 PM,3,60,1,once,first,extra,fields\r\n"
                                                "VERSION line\r\n"
                                                "4/20/2002 8:00:00 PM, 4.5 ,2.5,FALSE,,second,\r\n"
                                                "4/21/2002 8:00 PM,3,60,0,once,");
    EventCollection c = Files::LoadSchedule(path);
    ASSERT_EQ(c.Count(), 4);
    EXPECT_EQ(c.Item(1).filename, "first");
    EXPECT_TRUE(c.Item(1).bActive);
    EXPECT_EQ(c.Item(2).filename, "second");
    EXPECT_EQ(c.Item(2).channel, 4); // halves to even
    EXPECT_EQ(c.Item(2).duration, 2);
    EXPECT_FALSE(c.Item(2).bActive);
    EXPECT_EQ(c.Item(3).filename, "");
    EXPECT_EQ(c.Item(4).filename, "third");
    EXPECT_EQ(*c.Item(4).oRepeat.every, "weekly"); // "week" is read as "weekly"
    EXPECT_TRUE(c.Item(4).bActive);
}

TEST(SlotbookFiles, MissingOrEmptyFileIsAnEmptySchedule) {
    const std::string folder = folderFor("empty");
    const std::string path = folder + "/Schedule.txt";
    EXPECT_EQ(Files::LoadSchedule(path).Count(), 0);
    ASSERT_TRUE(fs::exists(path)); // created, zero bytes, no header
    EXPECT_EQ(fs::file_size(path), 0u);
    scheduleIn(folder, "VER1.0\r\n");
    EXPECT_EQ(Files::LoadSchedule(path).Count(), 0);
    // A folder that does not exist is a file error, not a crash.
    EXPECT_EQ(loadError(folder + "/no/such/Schedule.txt"), 76);
    // A folder in place of the file.
    fs::create_directories(folder + "/dir/Schedule.txt");
    EXPECT_EQ(loadError(folder + "/dir/Schedule.txt"), 75);
}

TEST(SlotbookFiles, HostileFilesFailWithTheClassicErrorsAndNamedLines) {
    const std::string folder = folderFor("bad");
    const std::string good = "VER1.0\r\n4/20/2002 8:00:00 PM,3,60,True,once,ok.wmv\r\n";
    struct Case {
        std::string line;
        int number;
    };
    const std::vector<Case> cases = {
        {"4/20/2002 8:00:00 PM,3,60,True,once", 5},              // a field missing
        {"garbage", 5},                                          // one field
        {"4/31/2002 8:00:00 PM,3,60,True,once,x", 13},           // no such day
        {"tomorrow,3,60,True,once,x", 13},                       // not a date
        {"4/20/2002 8:00:00 PM,abc,60,True,once,x", 13},         // not a number
        {"4/20/2002 8:00:00 PM,3,40000,True,once,x", 6},         // out of the 16-bit range
        {"4/20/2002 8:00:00 PM,3,-32769,True,once,x", 6},        //
        {"4/20/2002 8:00:00 PM,3,60,yes,once,x", 13},            // not a boolean
        {"4/20/2002 8:00:00 PM,3,60,,once,x", 13},               //
        {"1e300,3,60,True,once,x", 6},                           // far outside the calendar
        {std::string("\x01\x02\xff\xfe,\0,\x80,x,y,z", 14), 13}, // binary bytes
    };
    for (const Case& c : cases) {
        const std::string path = scheduleIn(folder, good + c.line + "\r\n");
        std::string description;
        EXPECT_EQ(loadError(path, &description), c.number) << c.line;
        EXPECT_NE(description.find("line 3"), std::string::npos) << description;
    }
    // A huge line fails without holding it; so does a file of nothing but bytes.
    EXPECT_EQ(loadError(scheduleIn(folder, good + std::string(5'000'000, 'x') + "\r\n" + good)), 5);
    std::string noise(200'000, '\0');
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>((i * 7919) % 251);
    EXPECT_NE(loadError(scheduleIn(folder, noise)), 0);
    // A number where a date belongs is taken as the automation date it is.
    EventCollection c = Files::LoadSchedule(scheduleIn(folder, "37366.5,3,60,True,once,x\r\n"));
    EXPECT_EQ(vesper::generalDate(c.Item(1).dt), "4/20/2002 12:00:00 PM");
}

TEST(SlotbookFiles, MoreThanTheLimitAbandonsTheLoad) {
    const std::string folder = folderFor("limit");
    std::string text = "VER1.0\r\n";
    const std::string line = "4/20/2002 8:00:00 PM,3,60,True,once,x\r\n";
    text.reserve(line.size() * 32768);
    for (int i = 0; i < 32767; ++i)
        text += line;
    EXPECT_EQ(Files::LoadSchedule(scheduleIn(folder, text)).Count(), 32767);
    text += line;
    EXPECT_EQ(loadError(scheduleIn(folder, text)), 6);
}

TEST(SlotbookFiles, LineBreaksInsideFieldsCannotBreakTheFile) {
    const std::string path = folderFor("breaks") + "/Schedule.txt";
    EventCollection c;
    c.AddSorted(ev(makeDate(2002, 4, 20, 20, 0, 0), 3, 60, true, "once", "two\r\nlines\n.wmv"));
    Files::SaveSchedule(c, path);
    EventCollection back = Files::LoadSchedule(path);
    ASSERT_EQ(back.Count(), 1);
    EXPECT_EQ(back.Item(1).filename, "two  lines .wmv");
}

// The save writes the whole file beside the old one and renames it over, so a
// save that fails midway leaves the old schedule whole.
TEST(SlotbookFiles, FailedSaveLeavesTheOldFileWhole) {
    const std::string folder = folderFor("atomic");
    const std::string path = folder + "/Schedule.txt";
    EventCollection small;
    small.AddSorted(ev(makeDate(2002, 4, 20, 20, 0, 0), 3, 60, true, "weekly", "News.wmv"));
    Files::SaveSchedule(small, path);
    const std::string before = vesper::test::readFile(path);

    EventCollection big;
    for (int i = 0; i < 2000; ++i)
        big.AddSorted(ev(makeDate(2003, 1, 1) + i, 3, 60, true, "once", "x.wmv"));
    // The disk fills after 4 KiB: the write stops midway.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small4k = old;
    small4k.rlim_cur = 4096;
    std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small4k), 0);
    int number = 0;
    try {
        Files::SaveSchedule(big, path);
    } catch (const vesper::AutomationError& e) {
        number = e.number();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_NE(number, 0);
    EXPECT_EQ(vesper::test::readFile(path), before);
    // Nothing half-written is left beside it.
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        entries += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(entries, 1);

    // A folder standing where the file goes: an error, and the folder untouched.
    const std::string blocked = folderFor("blocked") + "/Schedule.txt";
    fs::create_directories(blocked + "/keep");
    int blockedNumber = 0;
    try {
        Files::SaveSchedule(small, blocked);
    } catch (const vesper::AutomationError& e) {
        blockedNumber = e.number();
    }
    EXPECT_NE(blockedNumber, 0);
    EXPECT_TRUE(fs::is_directory(blocked + "/keep"));
    // A missing folder: path not found.
    try {
        Files::SaveSchedule(small, folder + "/gone/Schedule.txt");
        ADD_FAILURE() << "saved into a missing folder";
    } catch (const vesper::AutomationError& e) {
        EXPECT_EQ(e.number(), 76);
    }
}

// The loader reads its own date form by a fast path; it must agree with the
// general date conversion on every date of the calendar it can meet.
TEST(SlotbookFiles, ReadsDatesExactlyAsTheGeneralConversion) {
    const std::string folder = folderFor("dates");
    std::string text;
    std::vector<std::string> starts;
    unsigned long long x = 88172645463325252ull;
    for (int i = 0; i < 3000; ++i) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        const long long first = vesper::toSeconds(makeDate(100, 1, 1)),
                        last = vesper::toSeconds(makeDate(9999, 12, 31));
        long long secs = first + static_cast<long long>(x % static_cast<unsigned long long>(last - first));
        if (i % 3 == 0) secs -= ((secs % 86400) + 86400) % 86400; // midnight: the date alone
        const std::string start = vesper::generalDate(vesper::fromSeconds(secs));
        starts.push_back(start);
        text += start + ",3,60,True,once,x\r\n";
    }
    text += "02/29/2024 12:00:00 AM,3,60,True,once,x\r\n12/31/1999 12:59:59 PM,3,60,True,once,x\r\n";
    starts.push_back("02/29/2024 12:00:00 AM");
    starts.push_back("12/31/1999 12:59:59 PM");
    EventCollection c = Files::LoadSchedule(scheduleIn(folder, text));
    ASSERT_EQ(c.Count(), static_cast<int16_t>(starts.size()));
    std::vector<DateTime> expected;
    for (const std::string& s : starts)
        expected.push_back(*vesper::parseDate(s));
    std::stable_sort(expected.begin(), expected.end(),
                     [](DateTime a, DateTime b) { return vesper::toSeconds(a) < vesper::toSeconds(b); });
    for (int i = 1; i <= c.Count(); ++i)
        ASSERT_EQ(c.Item(i).dt, expected[static_cast<size_t>(i - 1)]) << i;
    // Leap days that do not exist are not dates.
    EXPECT_EQ(loadError(scheduleIn(folder, "2/29/2023 8:00:00 PM,3,60,True,once,x\r\n")), 13);
    EXPECT_EQ(loadError(scheduleIn(folder, "2/29/1900,3,60,True,once,x\r\n")), 13);
}

TEST(SlotbookFiles, DevicesPipesAndLinksInThePlaceOfTheFile) {
    const std::string folder = folderFor("special");
    // A device that never ends and a pipe nobody writes: errors, not hangs.
    fs::create_symlink("/dev/zero", folder + "/zero.txt");
    EXPECT_EQ(loadError(folder + "/zero.txt"), 75);
    ASSERT_EQ(mkfifo((folder + "/pipe.txt").c_str(), 0600), 0);
    EXPECT_EQ(loadError(folder + "/pipe.txt"), 75);
    // A schedule kept elsewhere through a link stays linked after a save.
    const std::string real = folderFor("special/elsewhere") + "/Schedule.txt";
    fs::create_symlink(real, folder + "/Schedule.txt");
    EventCollection c;
    c.AddSorted(ev(makeDate(2002, 4, 20, 20, 0, 0), 3, 60, true, "once", "a.wmv"));
    Files::SaveSchedule(c, folder + "/Schedule.txt");
    EXPECT_TRUE(fs::is_symlink(folder + "/Schedule.txt"));
    EXPECT_EQ(vesper::test::readFile(real), "VER1.0\r\n4/20/2002 8:00:00 PM,3,60,True,once,a.wmv\r\n");
    EXPECT_EQ(Files::LoadSchedule(folder + "/Schedule.txt").Count(), 1);
}
