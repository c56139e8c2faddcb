#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "platform/sysinfo.h"
#include "platform/testing/test_env.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vesper;

TEST(Clock, TestClockMakesWaitsInstantAndRunsTheHook) {
    TestClock tc(makeDate(2002, 4, 20, 20));
    setClock(&tc);
    int hookCalls = 0;
    setWaitHook([&] { ++hookCalls; });
    waitSeconds(2);
    EXPECT_GT(hookCalls, 0);
    EXPECT_EQ(formatDate(now(), "hh:mm:ss"), "20:00:02");
    int polls = 0;
    EXPECT_TRUE(waitUntil([&] { return ++polls == 3; }, 10));
    EXPECT_FALSE(waitUntil([] { return false; }, 10));
    setWaitHook({});
    setClock(nullptr);
}

TEST(Shell, RecordingShellSeesWhatWouldOpen) {
    RecordingShell rs;
    setShell(&rs);
    shell().openUrl("http://example.invalid/");
    shell().startCommand("\"/opt/my app/run\" --channel 5");
    setShell(nullptr);
    ASSERT_EQ(rs.requests.size(), 2u);
    EXPECT_EQ(rs.requests[0].kind, "url");
    EXPECT_EQ(rs.requests[1].target, "\"/opt/my app/run\" --channel 5");
    EXPECT_EQ(splitCommandLine("\"/opt/my app/run\" --channel  5"),
              (std::vector<std::string>{"/opt/my app/run", "--channel", "5"}));
}

// A stand-in for the desktop's opener: it notes what it was given and fails
// on anything that says so.
TEST(Shell, TheDesktopOpenerIsWatchedUntilItEnds) {
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "platform_tests";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
    }
    const std::string bin = test::testFolder() + "/opener";
    std::filesystem::create_directories(bin);
    test::writeFile(bin + "/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > \"${0%/*}/asked\"\n"
                                       "case \"$1\" in *example.invalid/fails) exit 3 ;; esac\n");
    std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", (bin + ":" + path).c_str(), 1);
    auto settle = [] {
        // Until the opener has ended and its watcher is gone.
        QElapsedTimer t;
        t.start();
        while (!QCoreApplication::instance()->findChildren<QProcess*>().isEmpty() && t.elapsed() < 60000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    };

    DesktopShell desktop;
    std::vector<std::string> reasons;
    const auto late = [&](const std::string& reason) { reasons.push_back(reason); };
    EXPECT_TRUE(desktop.openUrl("http://example.invalid/fails", late));
    settle();
    ASSERT_EQ(reasons.size(), 1u);
    EXPECT_NE(reasons[0].find("exit code 3"), std::string::npos) << reasons[0];

    const std::string file = test::testFolder() + "/Log Status.txt";
    EXPECT_TRUE(desktop.openTextFile(file, late));
    settle();
    EXPECT_EQ(reasons.size(), 1u);
    EXPECT_EQ(test::readFile(bin + "/asked"), file);

    // No opener at all, and no desktop to ask instead: a failure at once.
    setenv("PATH", bin.c_str(), 1);
    std::filesystem::remove(bin + "/xdg-open");
    EXPECT_FALSE(desktop.openUrl("http://example.invalid/", late));
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(reasons.size(), 1u);
}

TEST(Paths, EveryUserFolderOfATestIsItsOwn) {
    for (const char* name :
         {"VESPER_HOME", "VESPER_REGISTRY", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const char* value = std::getenv(name);
        ASSERT_NE(value, nullptr) << name;
        EXPECT_EQ(std::string(value).rfind(test::testFolder(), 0), 0u) << name << "=" << value;
    }
}

TEST(Paths, ProgramFolderRule) {
    EXPECT_EQ(programFolder("/anything"), test::testFolder());
    unsetenv("VESPER_HOME");
    // A writable folder of binaries is the program folder of a build tree only.
    const std::string writable = test::makeFolder("bin");
    EXPECT_EQ(programFolder(writable), test::testFolder() + "/data/vesper");
    test::writeFile(writable + "/" + kBuildTreeMarker, "");
    EXPECT_EQ(programFolder(writable), writable);
    EXPECT_TRUE(
        test::runUnprivileged([] { EXPECT_EQ(programFolder("/usr/bin"), test::testFolder() + "/data/vesper"); }));
    EXPECT_EQ(programFolder("/no/such/folder"), test::testFolder() + "/data/vesper");
    EXPECT_TRUE(std::filesystem::is_directory(test::testFolder() + "/data/vesper"));
    setenv("VESPER_HOME", test::testFolder().c_str(), 1);
}

TEST(Files, AtomicWriteReplacesWholeOrNothing) {
    const std::string dir = test::makeFolder("atomic");
    const std::string path = dir + "/Schedule.txt";
    writeFileAtomically(path, "first");
    writeFileAtomically(path, "second");
    EXPECT_EQ(readFile(path), "second");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
    // A link stays a link; the file it leads to gets the text.
    const std::string link = dir + "/link.txt";
    std::filesystem::create_symlink("Schedule.txt", link);
    writeFileAtomically(link, "through the link");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(path), "through the link");
    std::filesystem::remove(link);
    writeFileAtomically(path, "second");
    try {
        writeFileAtomically(dir + "/missing/x.txt", "y");
        FAIL();
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.number(), err::PathNotFound);
    }
    chmod(dir.c_str(), 0555);
    EXPECT_TRUE(test::runUnprivileged([&] {
        try {
            writeFileAtomically(path, "third");
            ADD_FAILURE() << "wrote into a read-only folder";
        } catch (const AutomationError& e) {
            EXPECT_EQ(e.number(), err::PermissionDenied);
        }
    }));
    chmod(dir.c_str(), 0700);
    EXPECT_EQ(readFile(path), "second");
}

TEST(Files, AtomicWriteClearsWhatDeadSaversLeftAndHonoursTheUmask) {
    const std::string dir = test::makeFolder("savers");
    const std::string path = dir + "/Schedule.txt";
    // One saver was killed mid-save; another is writing right now (it holds
    // the lock on its temporary file); a stranger's file looks alike but is not.
    const std::string dead = test::writeFile(dir + "/.Schedule.txt.Ab12Cd", "half a sch");
    const std::string live = test::writeFile(dir + "/.Schedule.txt.Zz99yY", "being written");
    const std::string other = test::writeFile(dir + "/.Schedule.txt.longer-name", "not ours");
    const int liveFd = ::open(live.c_str(), O_RDONLY);
    ASSERT_GE(liveFd, 0);
    ASSERT_EQ(::flock(liveFd, LOCK_EX), 0);
    const mode_t oldMask = ::umask(077);
    writeFileAtomically(path, "saved");
    ::umask(oldMask);
    EXPECT_EQ(readFile(path), "saved");
    EXPECT_FALSE(std::filesystem::exists(dead));
    EXPECT_TRUE(std::filesystem::exists(live));
    EXPECT_TRUE(std::filesystem::exists(other));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ::close(liveFd);
    // A replaced file keeps its permissions whatever the umask.
    ::chmod(path.c_str(), 0640);
    writeFileAtomically(path, "again");
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_FALSE(std::filesystem::exists(live));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);
}

TEST(SystemInfo, AnswersSomethingSensible) {
    EXPECT_GE(processorCount(), 1);
    EXPECT_NE(processAffinityMask(), 0u);
    EXPECT_GT(freeDiskSpace(test::testFolder()), 0);
    EXPECT_EQ(freeDiskSpace("/no/such/place"), -1);
    EXPECT_EQ(osVersion().platform, "Linux");
    setenv("TZ", "EST5EDT", 1);
    EXPECT_EQ(timeZoneStandardBias(), 300);
    setenv("TZ", "UTC", 1);
    EXPECT_EQ(timeZoneStandardBias(), 0);
}

TEST(InstancePaths, KeyedByTheHiveAndKeptInAUserOnlyFolder) {
    const std::string oldHive = std::getenv("VESPER_REGISTRY");
    const std::string oldRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::string a = vesper::instanceRuntimePath("lock");
    EXPECT_EQ(a.rfind(oldRuntime + "/vesper-", 0), 0u) << a;
    EXPECT_EQ(a, vesper::instanceRuntimePath("lock"));

    const std::string other = vesper::test::makeFolder("otherhive");
    setenv("VESPER_REGISTRY", (other + "/registry.sqlite").c_str(), 1);
    EXPECT_NE(vesper::instanceRuntimePath("lock"), a);

    // Without a runtime folder: a folder beside the hive that only the user may enter.
    unsetenv("XDG_RUNTIME_DIR");
    const std::string b = vesper::instanceRuntimePath("socket");
    EXPECT_EQ(b.rfind(other + "/run/vesper-", 0), 0u) << b;
    struct stat st {};
    ASSERT_EQ(stat((other + "/run").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    setenv("VESPER_REGISTRY", oldHive.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", oldRuntime.c_str(), 1);
}
