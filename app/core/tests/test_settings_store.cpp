#include "app/core/settings_store.h"
#include "app/core/status_log.h"

#include "platform/registry.h"
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sqlite3.h>

using namespace vesper;

TEST(SettingsStore, FreshInstallationReadsDefaultsAndCreatesNothing) {
    EXPECT_EQ(RegGetSetting2(settings::Channel), "2");
    EXPECT_EQ(RegGetSetting2(settings::sVideoDeviceName), "<not_exist>");
    EXPECT_EQ(RegGetSetting2(settings::Advance), "Video for broadband NTSC (256 Kbps)");
    EXPECT_EQ(RegGetSetting2("\\Nowhere", "x", "dflt"), "dflt");
    EXPECT_FALSE(std::filesystem::exists(registry::hivePath()));
}

TEST(SettingsStore, WritesCreateTheKeyPathAndReadBack) {
    RegSaveSetting2("\\Tuner\\Properties", "Channel", "7");
    EXPECT_TRUE(registry::keyExists("Software\\Orvane\\Vesper\\1.0\\Tuner\\Properties"));
    EXPECT_EQ(RegGetSetting2("\\Tuner\\Properties\\", "Channel", "2"), "7");
    EXPECT_EQ(RegGetSetting2(settings::Channel), "7");
    // An empty text is stored as an empty string, not as absent.
    RegSaveSetting2(settings::OutputLocation, "");
    EXPECT_EQ(RegGetSetting2(settings::OutputLocation.key, settings::OutputLocation.name, "dflt"), "");
}

TEST(SettingsStore, NonStringValuesReadAsAbsentAndNulsCut) {
    const std::string k = std::string(settings::kRoot) + "\\Tuner\\Properties";
    ASSERT_TRUE(registry::setDword(k, "Channel", 9));
    EXPECT_EQ(RegGetSetting2(settings::Channel), "2");
    ASSERT_TRUE(registry::setString(k, "CountryCode", std::string("44\0junk", 7)));
    EXPECT_EQ(RegGetSetting2(settings::CountryCode), "44");
}

TEST(SettingsStore, LowLevelHelpers) {
    reg::Handle h;
    EXPECT_FALSE(reg::createKey("", "\\x", h));
    ASSERT_TRUE(reg::createKey("Software\\Test", "\\Sub", h));
    EXPECT_EQ(h.path, "Software\\Test\\Sub");
    EXPECT_TRUE(reg::setString(h, "v", "text"));
    EXPECT_TRUE(reg::closeKey(h));
    EXPECT_FALSE(reg::setString(h, "v", "text")); // a closed handle
    EXPECT_EQ(reg::getString("Software\\Test\\Sub", "v", "d"), "text");
    EXPECT_TRUE(reg::saveString("Software\\Test", "w", "x"));
    EXPECT_FALSE(reg::openKey("Software\\Nope", h));
}

TEST(SettingsStore, FailedWriteLogsLS0097AndKeepsTheOldText) {
    RegSaveSetting2(settings::bLogStatus, "True");
    RegSaveSetting2(settings::sVideoDeviceName, "Old Card");
    // Another process holds the hive for writing: readers go on, writers time out.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(registry::hivePath().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    setenv("VESPER_REGISTRY_BUSY_MS", "50", 1);
    RegSaveSetting2(settings::sVideoDeviceName, "New Card");
    unsetenv("VESPER_REGISTRY_BUSY_MS");
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(RegGetSetting2(settings::sVideoDeviceName), "Old Card");
    const std::string last = test::readFile(test::testFolder() + "/LogStatusLast.txt");
    EXPECT_NE(last.find("\r\nLS0097:ERROR:M29:RegSaveSetting2 false - sVideoDeviceName New Card\r\n"),
              std::string::npos)
        << last;
}

TEST(SettingsStore, BooleanTexts) {
    EXPECT_TRUE(settingToBool("True"));
    EXPECT_TRUE(settingToBool("TRUE"));
    EXPECT_TRUE(settingToBool("-1"));
    EXPECT_FALSE(settingToBool("0"));
    EXPECT_FALSE(settingToBool("False"));
    EXPECT_FALSE(settingToBool("yes"));
    EXPECT_FALSE(settingToBool(""));
}

TEST(SettingsStore, AHiveThatCannotBeReachedGivesDefaultsAndRefusesWritesSoftly) {
    const std::string dir = test::makeFolder("looped");
    std::filesystem::create_symlink("looped", dir + "/looped");
    setenv("VESPER_REGISTRY", (dir + "/looped/registry.sqlite").c_str(), 1);
    EXPECT_EQ(RegGetSetting2(settings::Channel), "2");
    EXPECT_NO_THROW(RegSaveSetting2(settings::Channel, "9"));
    EXPECT_EQ(RegGetSetting2(settings::Channel), "2");
    setenv("VESPER_REGISTRY", (test::testFolder() + "/registry.sqlite").c_str(), 1);
}
