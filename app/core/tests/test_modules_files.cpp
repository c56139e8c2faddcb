#include "app/core/output_files.h"

#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace vesper;
namespace fs = std::filesystem;

TEST(OutputFiles, SuffixGoesBeforeTheExtensionOfTheLastComponent) {
    EXPECT_EQ(InsertSuffix("/rec/News.wmv", "-040305"), "/rec/News-040305.wmv");
    EXPECT_EQ(InsertSuffix("/rec/Clip", "-040305"), "/rec/Clip-040305.");
    EXPECT_EQ(InsertSuffix("News.wmv", " Tu"), "News Tu.wmv");
    EXPECT_EQ(InsertSuffix("/a.b/Clip", "-1"), "/a.b/Clip-1.");
    EXPECT_EQ(InsertSuffix("/x.wmv", "-1"), "/x-1.wmv");
    EXPECT_EQ(InsertSuffix("/rec/a.b.wmv", "-1"), "/rec/a.b-1.wmv");

    std::string folder = "/rec";
    AddTrailingBackslash(folder);
    AddTrailingBackslash(folder);
    EXPECT_EQ(folder, "/rec/");
    std::string empty;
    AddTrailingBackslash(empty);
    EXPECT_EQ(empty, "");

    EXPECT_EQ(StripQuotes("  \"/rec/a b.wmv\"  "), "/rec/a b.wmv");
    EXPECT_EQ(StripQuotes("\""), "\"");
    EXPECT_EQ(StripQuotes("\"\""), "");
    EXPECT_EQ(StripQuotes("   "), "");
}

TEST(OutputFiles, WeekdaySuffixes) {
    EXPECT_EQ(WeekdayFileName(makeDate(2004, 3, 9, 20), "News.wmv"), "News Tu.wmv");
    EXPECT_EQ(WeekdayFileName(makeDate(2004, 3, 7), "News.wmv"), "News Su.wmv");
    EXPECT_EQ(WeekdayFileName(makeDate(2004, 3, 13, 23, 59, 59), "News.wmv"), "News Sa.wmv");
}

TEST(OutputFiles, FoldersAndFilesAreTellApart) {
    const std::string dir = test::makeFolder("exists");
    const std::string file = test::writeFile(dir + "/News.wmv", "x");
    EXPECT_TRUE(FolderExists(dir));
    EXPECT_TRUE(FolderExists(dir + "/"));
    EXPECT_FALSE(FolderExists(file)); // a file is no place to record into
    EXPECT_FALSE(FolderExists(""));
    EXPECT_FALSE(FolderExists(dir + "/gone"));

    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(FileExists(" \"" + file + "\" "));
    EXPECT_TRUE(FileExists(file + "/"));
    EXPECT_FALSE(FileExists(dir));
    EXPECT_FALSE(FileExists(dir + "/gone.wmv"));
    EXPECT_FALSE(FileExists(""));

    EXPECT_EQ(ValidateOutputFolder(dir), dir);
    EXPECT_EQ(ValidateOutputFolder(file), test::testFolder() + "/");
    EXPECT_EQ(ValidateOutputFolder(""), test::testFolder() + "/");
}

TEST(OutputFiles, ExistingRecordingsAreKeptWhenOverwritingIsOff) {
    const std::string dir = test::makeFolder("keep");
    const DateTime today = makeDate(2004, 3, 5, 20);
    std::string path = dir + "/News.wmv";

    PrepareOutputFile(path, false, today);
    EXPECT_EQ(path, dir + "/News.wmv"); // nothing there yet

    test::writeFile(dir + "/News.wmv", "old");
    PrepareOutputFile(path, true, today);
    EXPECT_EQ(path, dir + "/News.wmv"); // overwriting on: the same file

    PrepareOutputFile(path, false, today);
    EXPECT_EQ(path, dir + "/News-040305.wmv");

    test::writeFile(dir + "/News-040305.wmv", "old");
    test::writeFile(dir + "/News-040305-000.wmv", "old");
    path = dir + "/News.wmv";
    PrepareOutputFile(path, false, today);
    EXPECT_EQ(path, dir + "/News-040305-001.wmv");

    // A name held by a folder is taken too.
    fs::create_directory(dir + "/Clip");
    path = dir + "/Clip";
    PrepareOutputFile(path, false, today);
    EXPECT_EQ(path, dir + "/Clip-040305.");
}

TEST(OutputFiles, UniqueNamesRunTo1000ThenWarn) {
    const std::string dir = test::makeFolder("many");
    test::writeFile(dir + "/A.wmv", "");
    for (int i = 0; i <= 999; ++i)
        test::writeFile(dir + "/A-" + formatNumber(i, "000") + ".wmv", "");
    std::string path = dir + "/A.wmv";
    MakeUniqueFileName(path);
    EXPECT_EQ(path, dir + "/A-1000.wmv");

    test::writeFile(dir + "/A-1000.wmv", "");
    path = dir + "/A.wmv";
    MakeUniqueFileName(path);
    EXPECT_EQ(path, dir + "/A WARNING Too many files.wmv");

    path = dir + "/Free.wmv";
    MakeUniqueFileName(path);
    EXPECT_EQ(path, dir + "/Free.wmv");
}

TEST(OutputFiles, WindowsFormRootsFollowTheClassicRules) {
    std::string root;
    EXPECT_TRUE(GetRootPath("D:\\Video\\TV", root));
    EXPECT_EQ(root, "d:\\");
    EXPECT_TRUE(GetRootPath("\\\\Server\\Share\\TV", root));
    EXPECT_EQ(root, "\\\\server\\share\\");
    EXPECT_TRUE(GetRootPath("\\\\Server\\Share", root));
    EXPECT_EQ(root, "\\\\server\\share\\");
    EXPECT_TRUE(GetRootPath("E", root));
    EXPECT_EQ(root, "e:\\");
    EXPECT_TRUE(GetRootPath("\\\\S\\x", root)); // a one-letter server name will do
    EXPECT_EQ(root, "\\\\s\\x\\");
    EXPECT_TRUE(GetRootPath("C:", root));
    EXPECT_EQ(root, "c:\\");
    root = "unchanged";
    for (const char* bad : {"\\\\Server", "\\\\Server\\", "\\\\Server\\\\x", "", "a\\b", "ab\\c", "MyTV"}) {
        EXPECT_FALSE(GetRootPath(bad, root)) << bad;
        EXPECT_EQ(root, "unchanged") << bad;
    }
}

TEST(OutputFiles, NativeRootIsTheMountPointHoldingThePath) {
    const std::string dir = test::makeFolder("Mixed Case");
    std::string root;
    ASSERT_TRUE(GetRootPath(dir, root));
    ASSERT_FALSE(root.empty());
    EXPECT_EQ(root.back(), '/');
    const std::string canonical = fs::canonical(dir).string() + "/";
    EXPECT_EQ(canonical.rfind(root, 0), 0u) << root << " holds " << canonical;
    struct stat a {
    }, b{};
    ASSERT_EQ(::stat(root.c_str(), &a), 0);
    ASSERT_EQ(::stat(dir.c_str(), &b), 0);
    EXPECT_EQ(a.st_dev, b.st_dev);
    if (root != "/") {
        struct stat up {};
        ASSERT_EQ(::stat(fs::path(root).parent_path().parent_path().c_str(), &up), 0);
        EXPECT_NE(up.st_dev, a.st_dev);
    }

    // A folder that does not exist (yet) is measured where it would be made.
    std::string deeper;
    ASSERT_TRUE(GetRootPath(dir + "/not/yet/there", deeper));
    EXPECT_EQ(deeper, root);
    ASSERT_TRUE(GetRootPath("/", root));
    EXPECT_EQ(root, "/");
}

TEST(OutputFiles, FreeSpaceIsMeasuredOnTheRootThroughTheSeam) {
    Program program;
    std::vector<std::string> asked;
    program.freeBytes = [&](const std::string& path) {
        asked.push_back(path);
        return 600000000LL;
    };
    const std::string dir = test::makeFolder("free");
    std::string root;
    ASSERT_TRUE(GetRootPath(dir, root));
    EXPECT_EQ(GetDiskFreeBytes(program, dir), 600000000.0);
    EXPECT_EQ(asked, std::vector<std::string>{root});
    EXPECT_EQ(GetDiskFreeBytes(program, "\\\\Server"), -1); // no root: not measured
    EXPECT_EQ(asked.size(), 1u);
    program.freeBytes = [](const std::string&) { return -1LL; };
    EXPECT_EQ(GetDiskFreeBytes(program, dir), -1);

    // The real measurement of the test folder.
    Program real;
    EXPECT_GT(GetDiskFreeBytes(real, dir), 0);
}

TEST(OutputFiles, FreeSpaceTextsAndColours) {
    struct Case {
        double bytes;
        const char* text;
        int colour;
    };
    for (const Case c : {Case{512, "512Bytes Free", 192}, Case{-1, "-1Bytes Free", 192}, Case{0, "0Bytes Free", 192},
                         Case{999, "999Bytes Free", 192}, Case{1000, "1 KB Free", 192},
                         Case{999499, "999 KB Free", 192}, Case{249999999, "250 MB Free", 192},
                         Case{250000000, "250 MB Free", 65535}, Case{600000000, "600 MB Free", 65535},
                         Case{749999999, "750 MB Free", 65535}, Case{750000000, "750 MB Free", 32768},
                         Case{2000000000, "2.0 GB Free", 32768}, Case{1234567890123.0, "1,234.6 GB Free", 32768}}) {
        const FreeSpaceText t = freeSpaceText(c.bytes);
        EXPECT_EQ(t.text, c.text) << c.bytes;
        EXPECT_EQ(t.colour, c.colour) << c.bytes;
    }
}

TEST(OutputFiles, LabelTextFitShortensByCharacters) {
    int16_t max = 0;
    LabelFit fit = SetLabelTextFit(max, "Evening News");
    EXPECT_EQ(max, 7);
    EXPECT_EQ(fit.caption, "Evening ..");
    EXPECT_EQ(fit.toolTip, "  Evening News  ");
    EXPECT_EQ(SetLabelTextFit(max, "News.wm").caption, "News.wm");
    EXPECT_EQ(SetLabelTextFit(max, "").caption, "");
    // Never cut inside a character.
    EXPECT_EQ(SetLabelTextFit(max, "Éléphant rose.wmv").caption, "Éléphan ..");
    int16_t wide = 40;
    EXPECT_EQ(SetLabelTextFit(wide, "/home/user/MyTV").caption, "/home/user/MyTV");
    EXPECT_EQ(wide, 40);
}
