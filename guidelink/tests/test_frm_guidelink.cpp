#include "guidelink/enabler_settings.h"
#include "guidelink/frm_guidelink.h"

#include "platform/testing/qt_test_support.h"

#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/testing/test_env.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

using namespace vesper;
using namespace vesper::guidelink;

namespace {

std::string menuText() {
    auto v = registry::queryValue(kMenuKey, "");
    return v ? v->text : "<absent>";
}

TEST(FrmGuidelink, ToggleWritesTheMenuEntryAndTheSettings) {
    test::qtApp();
    registry::deleteKey(kSettingsRoot);
    RecordingShell shell;
    setShell(&shell);
    {
        frmGuidelink w("/opt/vesper");
        EXPECT_EQ(w.windowTitle().toStdString(), "Yahoo! TV EPG Enabler for Vesper");
        auto* status = w.findChild<QLabel*>("lblStatus");
        auto* toggle = w.findChild<QPushButton*>("cmdEnableToggle");
        ASSERT_TRUE(status && toggle && w.findChild<QLabel*>("lblStatusMsg") && w.findChild<QPushButton*>("cmdExit"));
        EXPECT_EQ(w.findChild<QLabel*>("lblVersion")->text().toStdString(), "Version " + versionText());
        EXPECT_EQ(readCurrentVersion(), versionText());
        const std::string version = versionText();
        EXPECT_EQ(std::count(version.begin(), version.end(), '.'), 2);

        EXPECT_EQ(status->text().toStdString(), "Disabled");
        EXPECT_EQ(status->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        EXPECT_EQ(toggle->text().toStdString(), "Enable Yahoo! TV EPG for Vesper");
        EXPECT_EQ(menuText(), "<absent>"); // nothing written until the user toggles

        QTest::mouseClick(toggle, Qt::LeftButton);
        EXPECT_EQ(status->text().toStdString(), "Enabled");
        EXPECT_EQ(status->palette().color(QPalette::WindowText), QColor(0, 0xC0, 0));
        EXPECT_EQ(toggle->text().toStdString(), "Disable Yahoo! TV EPG for Vesper");
        EXPECT_EQ(menuText(), "file:///opt/vesper/yscript.htm");
        EXPECT_EQ(registry::queryValue(kMenuKey, "Contexts")->dword, 32u);

        QTest::mouseClick(toggle, Qt::LeftButton);
        EXPECT_EQ(menuText(), "");
        EXPECT_EQ(registry::queryValue(kMenuKey, "Contexts")->type, registry::ValueType::Dword);
        EXPECT_TRUE(registry::keyExists(kMenuKey));
        QTest::mouseClick(toggle, Qt::LeftButton);

        QTest::mouseClick(w.findChild<QLabel*>("picYahooTV"), Qt::LeftButton);
        ASSERT_EQ(shell.requests.size(), 1u);
        EXPECT_EQ(shell.requests[0].target, kEnablerPage);
        QTest::mouseClick(w.findChild<QPushButton*>("cmdExit"), Qt::LeftButton);
    }
    EXPECT_TRUE(readEnabled());
    frmGuidelink again("/opt/vesper");
    EXPECT_EQ(again.findChild<QLabel*>("lblStatus")->text().toStdString(), "Enabled");
    setShell(nullptr);
}

TEST(FrmGuidelink, MenuEntryNamesTheScriptWhereItIs) {
    // Installed: the program in <prefix>/bin, the script in <prefix>/share/vesper.
    const std::string prefix = test::makeFolder("usr");
    const std::string bin = test::makeFolder("usr/bin");
    const std::string installed = test::writeFile(joinPath(prefix, "share/vesper/yscript.htm"), "<html/>");
    EXPECT_EQ(scriptFile(bin), installed);
    ASSERT_TRUE(writeMenuEntry(true, bin));
    EXPECT_EQ(menuText(), "file://" + installed);
    // A build tree: the script beside the program wins.
    const std::string beside = test::writeFile(joinPath(bin, "yscript.htm"), "<html/>");
    EXPECT_EQ(scriptFile(bin), beside);
    // This build's own program folder has its copy.
    EXPECT_TRUE(std::filesystem::is_regular_file(scriptFile(GUIDELINK_FOLDER)));
    writeMenuEntry(false, bin);
    EXPECT_EQ(menuText(), "");
}

} // namespace
