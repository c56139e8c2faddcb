#include "platform/automation.h"
#include "platform/errors.h"
#include "platform/registry.h"
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vesper;
namespace reg = vesper::registry;

TEST(Registry, FreshHiveReadsNothingAndCreatesNothing) {
    EXPECT_FALSE(reg::keyExists("Software\\Orvane"));
    EXPECT_FALSE(reg::queryValue("Software\\Orvane", "x").has_value());
    EXPECT_TRUE(reg::subKeys("Software").empty());
    EXPECT_FALSE(std::filesystem::exists(reg::hivePath()));
}

TEST(Registry, KeysAreCaseBlindAndCreatedOnTheWay) {
    reg::Key k;
    ASSERT_TRUE(reg::createKey("\\Software\\Orvane\\Vesper\\1.0\\Tuner\\", k));
    EXPECT_EQ(k.path, "Software\\Orvane\\Vesper\\1.0\\Tuner");
    EXPECT_TRUE(reg::keyExists("software\\ORVANE\\vesper"));
    ASSERT_TRUE(reg::setString(k, "Channel", "5"));
    ASSERT_TRUE(reg::setString("SOFTWARE\\orvane\\VESPER\\1.0\\tuner", "CHANNEL", "6"));
    auto v = reg::queryValue("Software\\Orvane\\Vesper\\1.0\\Tuner", "channel");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, reg::ValueType::String);
    EXPECT_EQ(v->text, "6");
    EXPECT_EQ(reg::values("Software\\Orvane\\Vesper\\1.0\\Tuner").size(), 1u);
}

TEST(Registry, DefaultValueDwordsNulsAndDeletion) {
    ASSERT_TRUE(reg::setString("A\\B", "", "default text"));
    ASSERT_TRUE(reg::setDword("A\\B", "Number", 42));
    ASSERT_TRUE(reg::setString("A\\B", "WithNul", std::string("ab\0cd", 5)));
    ASSERT_TRUE(reg::setString("A\\B\\C", "Empty", ""));
    EXPECT_EQ(reg::queryValue("A\\B", "")->text, "default text");
    EXPECT_EQ(reg::queryValue("A\\B", "Number")->type, reg::ValueType::Dword);
    EXPECT_EQ(reg::queryValue("A\\B", "Number")->dword, 42u);
    EXPECT_EQ(reg::queryValue("A\\B", "WithNul")->text.size(), 5u);
    EXPECT_EQ(reg::queryValue("A\\B\\C", "Empty")->text, "");
    const std::string exported = reg::exportText("A");
    EXPECT_NE(exported.find("[HKEY_CURRENT_USER\\A\\B]\n@=\"default text\"\n\"Number\"=dword:0000002a\n"),
              std::string::npos)
        << exported;
    EXPECT_TRUE(reg::deleteValue("A\\B", "Number"));
    EXPECT_FALSE(reg::deleteValue("A\\B", "Number"));
    EXPECT_TRUE(reg::deleteKey("a"));
    EXPECT_FALSE(reg::keyExists("A\\B\\C"));
    EXPECT_FALSE(reg::deleteKey(""));
}

TEST(Registry, CorruptOrUnreadableHiveFailsSoftly) {
    const std::string path =
        test::writeFile(test::testFolder() + "/corrupt.sqlite", std::string(4096, '\x5a') + "not a database");
    setenv("VESPER_REGISTRY", path.c_str(), 1);
    EXPECT_FALSE(reg::queryValue("A", "x").has_value());
    EXPECT_FALSE(reg::setString("A", "x", "1"));
    EXPECT_FALSE(reg::lastError().empty());
    EXPECT_EQ(test::readFile(path), std::string(4096, '\x5a') + "not a database");

    const std::string missingDir = "/proc/no-such-dir/hive.sqlite";
    setenv("VESPER_REGISTRY", missingDir.c_str(), 1);
    EXPECT_FALSE(reg::setString("A", "x", "1"));
    setenv("VESPER_REGISTRY", (test::testFolder() + "/registry.sqlite").c_str(), 1);
}

TEST(Registry, HiveBehindALinkLoopReadsDefaultsAndFailsWritesSoftly) {
    // A loop stops even root, unlike a folder without rights.
    const std::string dir = test::makeFolder("loop");
    std::filesystem::create_symlink("loop", dir + "/loop");
    const std::string hive = dir + "/loop/registry.sqlite";
    setenv("VESPER_REGISTRY", hive.c_str(), 1);
    EXPECT_FALSE(reg::keyExists("Software"));
    EXPECT_FALSE(reg::queryValue("Software\\Orvane", "x").has_value());
    EXPECT_TRUE(reg::subKeys("Software").empty());
    EXPECT_TRUE(reg::values("Software").empty());
    EXPECT_EQ(reg::exportText(""), "[HKEY_CURRENT_USER]\n\n");
    EXPECT_FALSE(reg::setString("Software\\Orvane", "x", "1"));
    EXPECT_FALSE(reg::deleteKey("Software"));
    try {
        CreateObject("Slotbook.EventsObj");
        ADD_FAILURE() << "created an object without a readable hive";
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.number(), err::CannotCreateObject);
    }
    std::string out;
    EXPECT_EQ(
        test::runCommand("VESPER_REGISTRY=" + hive + " " + std::string(VESPER_REG_PATH) + " query Software", &out), 1)
        << out;
    setenv("VESPER_REGISTRY", (test::testFolder() + "/registry.sqlite").c_str(), 1);
}

TEST(Registry, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kWrites = 150;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            int failures = 0;
            for (int i = 0; i < kWrites; ++i)
                if (!reg::setString("Shared\\P" + std::to_string(c), "v" + std::to_string(i), std::to_string(i)))
                    ++failures;
            _exit(failures == 0 ? 0 : 1);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int c = 0; c < 2; ++c)
        EXPECT_EQ(reg::values("Shared\\P" + std::to_string(c)).size(), size_t(kWrites));
}

TEST(Registry, AWriterKilledInATransactionLosesOnlyItsTransaction) {
    ASSERT_TRUE(registry::setString("Software\\Killed", "kept", "yes"));
    // A child starts a large change, lets it reach the file, and dies before
    // committing: its journal stays behind.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sqlite3* db = nullptr;
        if (sqlite3_open(registry::hivePath().c_str(), &db) != SQLITE_OK) _exit(2);
        sqlite3_exec(db, "PRAGMA journal_mode=DELETE; PRAGMA cache_size=1; BEGIN IMMEDIATE; DELETE FROM vals;", nullptr,
                     nullptr, nullptr);
        for (int i = 0; i < 3000; ++i) {
            const std::string sql = "INSERT INTO keys(parent, name) VALUES(0, 'k" + std::to_string(i) + "')";
            sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        }
        _exit(std::filesystem::exists(registry::hivePath() + "-journal") ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    // The next reader rolls the dead writer's change back and sees the hive.
    const auto v = registry::queryValue("Software\\Killed", "kept");
    ASSERT_TRUE(v.has_value()) << registry::lastError();
    EXPECT_EQ(v->text, "yes");
    EXPECT_FALSE(std::filesystem::exists(registry::hivePath() + "-journal"));
}

namespace {

// Points the registry at another file while alive.
class HiveAt {
public:
    explicit HiveAt(const std::string& path) { setenv("VESPER_REGISTRY", path.c_str(), 1); }
    ~HiveAt() { setenv("VESPER_REGISTRY", (test::testFolder() + "/registry.sqlite").c_str(), 1); }
};

// A hive of several pages, as its bytes.
std::string realHive() {
    for (int i = 0; i < 40; ++i)
        EXPECT_TRUE(reg::setString("Software\\Orvane\\K" + std::to_string(i), "v", std::string(200, 'x')));
    return test::readFile(reg::hivePath());
}

} // namespace

TEST(HiveCheck, NamesWhatIsWrongAndLeavesTheFileAsItWas) {
    const std::string good = realHive();
    std::mt19937 random(7);
    std::string noise(8192, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    const std::string dir = test::makeFolder("checked");
    const std::string otherDatabase = dir + "/other.sqlite";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(otherDatabase.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE songs(title TEXT)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    std::filesystem::create_directory(dir + "/folder.sqlite");
    ASSERT_EQ(mkfifo((dir + "/pipe.sqlite").c_str(), 0600), 0);

    struct Case {
        const char* name;
        std::optional<std::string> contents; // written first, when given
        reg::HiveState state;
    };
    const Case cases[] = {
        {"half.sqlite", good.substr(0, good.size() / 2), reg::HiveState::Damaged},
        {"header.sqlite", good.substr(0, 100), reg::HiveState::Damaged},
        {"noise.sqlite", noise, reg::HiveState::NotAHive},
        {"other.sqlite", std::nullopt, reg::HiveState::NotAHive},
        {"folder.sqlite", std::nullopt, reg::HiveState::Folder},
        {"pipe.sqlite", std::nullopt, reg::HiveState::NotAFile},
        {"missing.sqlite", std::nullopt, reg::HiveState::Missing},
        {"empty.sqlite", "", reg::HiveState::Usable},
        {"whole.sqlite", good, reg::HiveState::Usable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir + "/" + c.name;
        if (c.contents) test::writeFile(path, *c.contents);
        const bool regular = std::filesystem::is_regular_file(path);
        const std::string before = regular ? test::readFile(path) : std::string();
        HiveAt at(path);
        const reg::HiveHealth h = reg::checkHive(true);
        EXPECT_EQ(h.state, c.state) << h.detail;
        EXPECT_EQ(h.path, path);
        const std::string text = reg::hiveProblemText(h);
        if (h.usable()) {
            EXPECT_EQ(text, "");
            continue;
        }
        // Which file, and to move it aside; never a word about components.
        EXPECT_NE(text.find("\n  " + path + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find("mv '" + path + "' '" + path + ".old'"), std::string::npos) << text;
        // The verdict holds for the rest of the process: nothing is read or
        // written, and the file stays as it was.
        EXPECT_FALSE(reg::queryValue("Software\\Orvane\\K1", "v").has_value());
        EXPECT_FALSE(reg::setString("Software\\Orvane", "x", "1"));
        EXPECT_EQ(reg::checkHive().state, c.state);
        if (regular) {
            EXPECT_EQ(test::readFile(path), before);
        }
    }
}

TEST(HiveCheck, AHiveHeldByAnotherProcessIsBusyAfterOneBoundedWait) {
    ASSERT_TRUE(reg::setString("Software\\Held", "v", "1"));
    const std::string before = test::readFile(reg::hivePath());
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A write transaction left open until the parent says.
        sqlite3* db = nullptr;
        char c = 0;
        const bool held =
            sqlite3_open(reg::hivePath().c_str(), &db) == SQLITE_OK &&
            sqlite3_exec(db, "BEGIN IMMEDIATE; UPDATE vals SET data = '2'", nullptr, nullptr, nullptr) == SQLITE_OK;
        c = held ? 'h' : 'f';
        (void)!write(toParent[1], &c, 1);
        (void)!read(toChild[0], &c, 1);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(toParent[0], &c, 1), 1);
    ASSERT_EQ(c, 'h');
    setenv("VESPER_REGISTRY_BUSY_MS", "200", 1);
    const reg::HiveHealth h = reg::checkHive(true);
    EXPECT_EQ(h.state, reg::HiveState::Busy) << h.detail;
    EXPECT_NE(reg::hiveProblemText(h).find("held by another program"), std::string::npos);
    // Later calls give up at once with the verdict, not each after a wait of its own.
    EXPECT_FALSE(reg::setString("Software\\Held", "v", "3"));
    EXPECT_NE(reg::lastError().find("held by another program"), std::string::npos) << reg::lastError();
    unsetenv("VESPER_REGISTRY_BUSY_MS");
    (void)!write(toChild[1], &c, 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]})
        close(fd);
    EXPECT_EQ(test::readFile(reg::hivePath()), before);
    // Released, the hive is usable again.
    EXPECT_TRUE(reg::checkHive(true).usable());
    EXPECT_EQ(reg::queryValue("Software\\Held", "v")->text, "1");
}
