#include "app/core/color_scheme.h"
#include "app/core/diagnostics.h"
#include "app/core/guide_links.h"
#include "app/core/program.h"
#include "app/core/settings_store.h"
#include "app/core/single_instance.h"
#include "app/forms/frm_initial_config.h"
#include "app/forms/frm_tech_support.h"
#include "app/forms/notices.h"
#include "platform/ui/qt_ui_seam.h"

#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/testing/qt_application.h"
#include "platform/testing/test_env.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

using namespace vesper;

namespace {

// Every test starts from no settings, no log files, and recorded boxes and
// shell requests.
class StartupUnits : public ::testing::Test {
protected:
    void SetUp() override {
        vesper::test::application();
        std::error_code ec;
        for (const char* f : {"LogStatus.txt", "LogStatusLast.txt", "LogStatusAppInit.txt", "LogStatusAppProfile.txt"})
            std::filesystem::remove(programFile(f), ec);
        for (const char* key : {"\\Application", "\\Tuner"})
            registry::deleteKey(std::string(settings::kRoot) + key);
        setUiSeam(&ui);
        setShell(&sh);
    }
    void TearDown() override {
        setUiSeam(nullptr);
        setShell(nullptr);
        setSystemVersionSource({});
    }
    RecordingUiSeam ui;
    RecordingShell sh;
};

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }

DeviceQuery twoDevices() {
    DeviceQuery d;
    d.currentVideo = "Card A";
    d.currentAudio = "Card A Audio";
    d.videoDevices = {"Card A", "Card B", "", "after the end"};
    d.audioDevices = {"Card A Audio"};
    d.found = true;
    d.pairVideo = "Card B";
    d.pairAudio = "Card A Audio";
    return d;
}

} // namespace

TEST(OperatingSystem, ClassicNamesFollowTheTableInOrder) {
    EXPECT_EQ(windowsVersionName(3, 51, kPlatformNT), "Windows NT 3.51");
    EXPECT_EQ(windowsVersionName(4, 0, kPlatformWindows9x), "Windows 95");
    EXPECT_EQ(windowsVersionName(4, 0, kPlatformNT), "Windows NT 4.0");
    EXPECT_EQ(windowsVersionName(4, 0, kPlatformWin32s), "");
    EXPECT_EQ(windowsVersionName(4, 10, kPlatformWindows9x), "Windows 98");
    EXPECT_EQ(windowsVersionName(4, 90, kPlatformWindows9x), "Windows Me");
    EXPECT_EQ(windowsVersionName(5, 0, kPlatformNT), "Windows 2000");
    EXPECT_EQ(windowsVersionName(5, 1, kPlatformNT), "Windows XP");
    EXPECT_EQ(windowsVersionName(5, 2, kPlatformNT), "Windows Server 2003 family");
    EXPECT_EQ(windowsVersionName(5, 7, kPlatformNT), "");
    EXPECT_EQ(windowsVersionName(3, 10, kPlatformWin32s), "Unknown");
    EXPECT_EQ(windowsVersionName(6, 0, kPlatformNT), "Unknown");
}

TEST(OperatingSystem, LineCarriesBuildAndServicePackWithTheirBlanks) {
    SystemVersion xp;
    xp.windows = true;
    xp.major = 5;
    xp.minor = 1;
    xp.platformId = kPlatformNT;
    xp.build = "2600";
    xp.servicePack = std::string("Service Pack 1\0garbage", 23);
    EXPECT_EQ(operatingSystemLine(xp), "Windows XP  build: 2600   Service Pack 1");

    SystemVersion failed;
    failed.available = false;
    EXPECT_EQ(operatingSystemLine(failed), "GetVersionEx Failed!  build:    ");

    SystemVersion linux;
    linux.name = "Debian GNU/Linux 12 (bookworm)";
    linux.build = "6.1.0-18-amd64";
    linux.servicePack = "x86_64";
    EXPECT_EQ(operatingSystemLine(linux), "Debian GNU/Linux 12 (bookworm)  build: 6.1.0-18-amd64   x86_64");

    // The running system: uname always answers, with no line breaks.
    const std::string real = operatingSystemLine(currentSystemVersion());
    EXPECT_NE(real.find("  build: "), std::string::npos);
    EXPECT_EQ(real.find('\n'), std::string::npos);
}

TEST_F(StartupUnits, ProfileTextListsDevicesUpToTheFirstEmptyName) {
    const std::string expected = "LogStatusAppProfile.txt\r\n\r\n"
                                 "Vesper Home v1.1.214h\r\n\r\n"
                                 "App Location: /opt/vesper\r\n\r\n"
                                 "Operating System: OS LINE\r\n\r\n"
                                 "This information should be sent to support@vesper-home.org when enquiring for "
                                 "tech support.\r\n\r\n"
                                 "Current Video Device: Card A\r\n"
                                 "Current Audio Device: Card A Audio\r\n\r\n\r\n"
                                 "Detected Video Device List:\r\n===========================\r\n"
                                 "Card A\r\nCard B\r\n\r\n\r\n"
                                 "Detected Audio Device List:\r\n===========================\r\n"
                                 "Card A Audio\r\n\r\n\r\n"
                                 "Query:\r\n======\r\n"
                                 "Results: True\r\nVideo: Card B\r\nAudio: Card A Audio";
    EXPECT_EQ(diagnosticsProfileText(twoDevices(), "OS LINE", "/opt/vesper"), expected);

    DeviceQuery none;
    const std::string t = diagnosticsProfileText(none, "x", "/p");
    EXPECT_NE(t.find("Query:\r\n======\r\nResults: False\r\nVideo: null\r\nAudio: null"), std::string::npos);
}

TEST_F(StartupUnits, ProfileIsWrittenWithoutSwitchesOncePerRequest) {
    setSystemVersionSource([] {
        SystemVersion v;
        v.name = "Test OS";
        v.build = "1";
        return v;
    });
    ASSERT_TRUE(WriteAppProfile(twoDevices()));
    ASSERT_TRUE(WriteAppProfile(twoDevices()));
    const std::string profile = test::readFile(programFile("LogStatusAppProfile.txt"));
    const std::string log = test::readFile(programFile("LogStatus.txt"));
    EXPECT_EQ(count(profile, "Vesper Home v1.1.214h"), 1u);
    EXPECT_EQ(count(log, "Vesper Home v1.1.214h"), 2u);
    EXPECT_NE(profile.find("Operating System: Test OS  build: 1   \r\n"), std::string::npos);
    EXPECT_NE(profile.find("App Location: " + programFolder() + "\r\n"), std::string::npos);
    EXPECT_FALSE(programFileExists("LogStatusLast.txt"));

    // At start-up: only on request, and the request is consumed.
    std::filesystem::remove(programFile("LogStatusAppProfile.txt"));
    int asked = 0;
    auto devices = [&asked] {
        ++asked;
        return DeviceQuery{};
    };
    EXPECT_FALSE(WriteRequestedAppProfile(devices));
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(programFileExists("LogStatusAppProfile.txt"));
    RegSaveSetting2(settings::bLogStatusAppProfile, "True");
    EXPECT_TRUE(WriteRequestedAppProfile(devices));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(RegGetSetting2(settings::bLogStatusAppProfile), "False");
    EXPECT_NE(test::readFile(programFile("LogStatusAppProfile.txt")).find("Results: False"), std::string::npos);
}

TEST_F(StartupUnits, SupportMailNamesTheStoredModelSafely) {
    EXPECT_EQ(supportMailUrl("<not_exist>"),
              "mailto:support@vesper-home.org?subject=Tech Support Request&body="
              "Please include the following information:%0D%0A%0D%0ATV Tuner/Video Device%0D%0A"
              "Brand - Model: %0D%0A%0D%0A"
              "Include information from LogStatusAppProfile.txt; you can copy and paste,%0D%0A"
              "or attach the file. Thank You.%0D%0A%0D%0APROVIDE SPECIFIC DESCRIPTION BELOW:%0D%0A");
    const std::string known = supportMailBody("Hauppauge - WinTV-GO");
    EXPECT_EQ(known.rfind("Please insure the following information is accurate:%0D%0A", 0), 0u);
    EXPECT_NE(known.find("Brand - Model: Hauppauge - WinTV-GO%0D%0A"), std::string::npos);
    // A hand-edited model cannot end the body or add fields to the link.
    EXPECT_NE(supportMailBody("A&cc=x@y #5 100%\r\n").find("Brand - Model: A%26cc=x@y %235 100%25%0D%0A%0D%0A"),
              std::string::npos);

    RegSaveSetting2(settings::sVideoDeviceName, "Pinnacle - PCTV");
    EXPECT_TRUE(OpenSupportMail());
    ASSERT_EQ(sh.requests.size(), 1u);
    EXPECT_EQ(sh.requests[0].kind, "mail");
    EXPECT_EQ(sh.requests[0].target, supportMailUrl("Pinnacle - PCTV"));
}

TEST_F(StartupUnits, FormLoadErrorTurnsTracingOnAndSaysSo) {
    EXPECT_EQ(formLoadErrorMessage(91, "Object variable or With block variable not set", "/opt/v"),
              "FormLoad Error:\r\nThe most recent error number is 91\r\n"
              "Its message text is: Object variable or With block variable not set\r\n\r\n"
              "A Status Logging mechanism has been turned on.\r\n"
              "These log files LogStatusAppInit.txt and LogStatusAppProfile.txt will be created on next "
              "execution.\r\nThese files are located here: /opt/v/\r\n"
              "Run Vesper Home again to generate these files.\r\n"
              "Include these files when enquiring for tech support to support@vesper-home.org\r\n\r\n"
              "Can't Continue");
    ReportFormLoadError(13, "Type mismatch");
    EXPECT_EQ(RegGetSetting2(settings::bLogStatusAppInit), "True");
    EXPECT_EQ(RegGetSetting2(settings::bLogStatusAppProfile), "True");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].iconName(), "critical");
    EXPECT_EQ(ui.messages[0].prompt, formLoadErrorMessage(13, "Type mismatch", programFolder()));
}

TEST_F(StartupUnits, TechSupportModelMirrorsSwitchesAndLogFiles) {
    TechSupportModel m;
    m.load();
    EXPECT_FALSE(m.logStatus);
    EXPECT_FALSE(m.logStatusAppInit);
    EXPECT_FALSE(m.viewLogStatusEnabled);
    EXPECT_FALSE(m.viewLogStatusAppInitEnabled);
    // A missing file is never handed to the editor.
    EXPECT_FALSE(m.viewLogStatus());
    EXPECT_FALSE(m.viewLogStatusAppInit());
    EXPECT_TRUE(sh.requests.empty());

    m.logStatus = true;
    m.unload();
    EXPECT_EQ(RegGetSetting2(settings::bLogStatus), "True");
    EXPECT_EQ(RegGetSetting2(settings::bLogStatusAppInit), "False");

    test::writeFile(programFile("LogStatusAppInit.txt"), "x");
    TechSupportModel again;
    again.load();
    EXPECT_TRUE(again.logStatus);
    EXPECT_TRUE(again.viewLogStatusAppInitEnabled);
    EXPECT_FALSE(again.viewLogStatusEnabled);
    EXPECT_TRUE(again.viewLogStatusAppInit());

    // Creating the profile opens it, and LogStatus.txt can now be viewed.
    EXPECT_TRUE(again.createAppProfile(twoDevices()));
    EXPECT_TRUE(again.viewLogStatusEnabled);
    ASSERT_EQ(sh.requests.size(), 2u);
    EXPECT_EQ(sh.requests[0].kind, "text");
    EXPECT_EQ(sh.requests[0].target, programFile("LogStatusAppInit.txt"));
    EXPECT_EQ(sh.requests[1].target, programFile("LogStatusAppProfile.txt"));
}

TEST_F(StartupUnits, TechSupportWindowShowsEveryControlAndWritesSwitchesOnClose) {
    RegSaveSetting2(settings::bLogStatusAppInit, "True");
    test::writeFile(programFile("LogStatus.txt"), "x");
    int probed = 0;
    frmTechSupport w(
        [&probed] {
            ++probed;
            return twoDevices();
        },
        nullptr);
    EXPECT_EQ(w.windowTitle(), "Tech Support Helper");
    auto label = [&w](const char* name) { return w.findChild<QLabel*>(name); };
    ASSERT_TRUE(label("lblEmailSupport") && label("lblCreateAppProfile") && label("lblViewLogStatus") &&
                label("lblViewLogStatusAppInit"));
    EXPECT_EQ(label("lblEmailSupport")->text(), "support@vesper-home.org");
    EXPECT_EQ(label("lblCreateAppProfile")->text(), " Create LogStatusAppProfile.txt, then open with notepad.exe");
    EXPECT_EQ(label("lblViewLogStatus")->text(), "View w/ notepad.exe");
    auto* chkLog = w.findChild<QCheckBox*>("chkCreateLogStatus");
    auto* chkInit = w.findChild<QCheckBox*>("chkCreateLogStatusAppInit");
    ASSERT_TRUE(chkLog && chkInit && w.findChild<QPushButton*>("cmdOK"));
    EXPECT_EQ(chkLog->text(), "Create LogStatus.txt and LogSatusLast.txt");
    EXPECT_EQ(chkInit->text(), "Create LogStatusAppInit.txt");
    QStringList frames;
    for (auto* g : w.findChildren<QGroupBox*>())
        frames << g->title();
    EXPECT_TRUE(frames.contains(" Create App Profile"));
    EXPECT_TRUE(frames.contains(" Create LogStatus during normal operations"));

    EXPECT_FALSE(chkLog->isChecked());
    EXPECT_TRUE(chkInit->isChecked());
    EXPECT_TRUE(label("lblViewLogStatus")->isEnabled());
    EXPECT_FALSE(label("lblViewLogStatusAppInit")->isEnabled());
    // No model stored: the card model dialog is offered.
    EXPECT_FALSE(w.findChild<QPushButton*>("cmdInitialConfig")->isHidden());

    click(label("lblViewLogStatusAppInit")); // disabled: nothing opens
    click(label("lblViewLogStatus"));
    click(label("lblEmailSupport"));
    click(label("lblCreateAppProfile"));
    EXPECT_EQ(probed, 1);
    ASSERT_EQ(sh.requests.size(), 3u);
    EXPECT_EQ(sh.requests[0].target, programFile("LogStatus.txt"));
    EXPECT_EQ(sh.requests[1].kind, "mail");
    EXPECT_EQ(sh.requests[2].target, programFile("LogStatusAppProfile.txt"));

    chkLog->setChecked(true);
    chkInit->setChecked(false);
    w.findChild<QPushButton*>("cmdOK")->click();
    EXPECT_EQ(RegGetSetting2(settings::bLogStatus), "True");
    EXPECT_EQ(RegGetSetting2(settings::bLogStatusAppInit), "False");

    // Scripted: shown to the seam with its state, switches kept as they were.
    ShowTechSupport(nullptr, {});
    ASSERT_EQ(ui.modals.size(), 1u);
    EXPECT_EQ(ui.modals[0].form, "frmTechSupport");
    EXPECT_NE(ui.modals[0].contents.find("chkCreateLogStatus: 1\n"), std::string::npos);
    EXPECT_EQ(RegGetSetting2(settings::bLogStatus), "True");
}

TEST_F(StartupUnits, CardModelDialogStoresAValidChoiceOnly) {
    clsDeviceName names;
    EXPECT_EQ(names.Count(), 14);
    EXPECT_EQ(names.Item(1), "AVerMedia - AVerTV Studio");
    EXPECT_EQ(names.Item(13), "Pinnacle - PCTV Pro");
    EXPECT_EQ(names.Item(14), "unknown");
    EXPECT_EQ(names.Item(0), "");
    EXPECT_FALSE(initialConfigOkEnabled("Select your TV Tuner/Video Device ..."));
    EXPECT_FALSE(initialConfigOkEnabled("ab"));
    EXPECT_TRUE(initialConfigOkEnabled("abc"));
    EXPECT_EQ(initialConfigStoredValue("abc", false), "<not_specified>");

    EXPECT_TRUE(cardModelMissing());
    {
        frmInitialConfig d;
        auto* ok = d.findChild<QPushButton*>("cmdOK");
        ASSERT_TRUE(d.combo() && ok);
        EXPECT_EQ(d.combo()->objectName(), "cmbVideoDeviceName");
        EXPECT_EQ(d.combo()->currentText(), "Select your TV Tuner/Video Device ...");
        EXPECT_FALSE(ok->isEnabled());
        d.combo()->setCurrentIndex(4);
        EXPECT_TRUE(ok->isEnabled());
        ok->click();
    }
    EXPECT_EQ(RegGetSetting2(settings::sVideoDeviceName), "Hauppauge - WinTV-GO");
    EXPECT_FALSE(cardModelMissing());
    {
        frmInitialConfig d;
        d.combo()->setEditText("My own card");
        d.reject(); // closed without OK
    }
    EXPECT_EQ(RegGetSetting2(settings::sVideoDeviceName), "<not_specified>");
    EXPECT_TRUE(cardModelMissing());
    // Scripted: the prompt stands, so no model.
    EXPECT_FALSE(ShowInitialConfig(nullptr));
    ASSERT_EQ(ui.modals.size(), 1u);
    EXPECT_EQ(ui.modals[0].form, "frmInitialConfig");
    EXPECT_EQ(RegGetSetting2(settings::sVideoDeviceName), "<not_specified>");
}

TEST(SingleInstance, AChildHoldsTheLockUntilItIsKilled) {
    using R = SingleInstanceLock::Result;
    // Beside the hive, whatever the runtime folder of the copy says.
    const std::string path = singleInstanceLockPath();
    EXPECT_EQ(path, std::filesystem::weakly_canonical(registry::hivePath()).string() + ".lock");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedRuntime = runtime ? runtime : "";
    setenv("XDG_RUNTIME_DIR", (test::testFolder() + "/elsewhere").c_str(), 1);
    EXPECT_EQ(singleInstanceLockPath(), path);
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(singleInstanceLockPath(), path);
    if (runtime) setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SingleInstanceLock mine(path);
        pid_t started = 0;
        if (mine.acquire() == R::Acquired && mine.held()) {
            // A program started from Vesper, living on after it. Wait until
            // it has really replaced itself (its copy of the close-on-exec
            // pipe closes then): before that it still shares the lock.
            int execed[2];
            if (pipe2(execed, O_CLOEXEC) != 0) _exit(1);
            started = fork();
            if (started == 0) {
                close(execed[0]);
                execlp("sleep", "sleep", "60", static_cast<char*>(nullptr));
                _exit(127);
            }
            close(execed[1]);
            char c;
            while (read(execed[0], &c, 1) > 0) {
            }
            close(execed[0]);
        }
        (void)!write(ready[1], &started, sizeof started);
        for (;;)
            pause();
    }
    close(ready[1]);
    pid_t started = 0;
    ASSERT_EQ(read(ready[0], &started, sizeof started), static_cast<ssize_t>(sizeof started));
    close(ready[0]);
    ASSERT_GT(started, 0);

    SingleInstanceLock second(path);
    EXPECT_EQ(second.acquire(), R::HeldByAnother);
    EXPECT_FALSE(second.held());

    // Killed: the kernel drops the lock, and the program it started does not
    // keep it.
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(second.acquire(), R::Acquired);
    EXPECT_TRUE(second.held());
    kill(started, SIGKILL);
    second.release();

    // The process-wide lock: a second take in the same process holds it once.
    std::string error;
    EXPECT_EQ(acquireSingleInstance(error), R::Acquired);
    EXPECT_EQ(acquireSingleInstance(error), R::Acquired);
    SingleInstanceLock third(path);
    EXPECT_EQ(third.acquire(), R::HeldByAnother);

    EXPECT_EQ(alreadyRunningMessage(), "Vesper is already running.\r\nCannot run multiple copies of Vesper\r\n");
}

TEST(SingleInstance, ALockThatCannotBeMadeIsAFailureWithItsReason) {
    // A file where the folder should be: no lock, and the program must not
    // run unchecked.
    test::writeFile(test::testFolder() + "/plain", "x");
    SingleInstanceLock nowhere(test::testFolder() + "/plain/registry.sqlite.lock");
    EXPECT_EQ(nowhere.acquire(), SingleInstanceLock::Result::Failed);
    EXPECT_FALSE(nowhere.held());
    EXPECT_EQ(nowhere.error(), "Not a directory");
}

TEST_F(StartupUnits, NoticeTextsAreExact) {
    EXPECT_EQ(deviceNoticeText("n2"), "No Video Capture Device detected.\r\n\r\nPossible reasons:\r\n\r\n"
                                      "1. No TV Tuner/Video Device hardware installed\r\n"
                                      "2. TV Tuner/Video Device Driver is not compatible, requires WDM driver\r\n"
                                      "3. Encoder is not compatible, only works with Windows Media Encoder 7.1\r\n\r\n"
                                      "Please see Requirements\r\n\r\nProgram cannot continue!");
    EXPECT_EQ(deviceNoticeText("n3"),
              "No Audio Capture Device detected.\r\n\r\nPlease see Requirements\r\n\r\nProgram cannot continue!");
    EXPECT_EQ(deviceNoticeText("n4"),
              "TV Tuner device(s) failed to initialize.\r\n\r\nPossible reasons:\r\n\r\n"
              "1. Driver is not WDM driver, which is required\r\n"
              "2. Driver is WDM, but not compatible - see Install/Setup Notes from the site\r\n"
              "3. TV Tuner device is being used by another application\r\n"
              "4. TV Tuner is not released by the last app that used it. Re-boot may fix this problem.\r\n\r\n"
              "Please see Requirements\r\n\r\nProgram cannot continue!");
    EXPECT_EQ(deviceNoticeText("n9"), "");
    EXPECT_EQ(deviceNoticePage("n3"), "https://www.vesper-home.org/notice3.html");
    EXPECT_EQ(deviceNoticePage("x"), "");

    EXPECT_EQ(deviceSettingsFailedMessage("Card A", "Mic"),
              "Current device settings failed to initialize. :(\r\n\r\n"
              "Current Video Source Setting: Card A\r\nCurrent Audio Source Setting: Mic\r\n\r\n"
              "Possible reasons associated with the current selected device(s):\r\n\r\n"
              "1. Driver is not WDM driver, which is required.\r\n"
              "2. Driver is WDM, but not compatible - see Install/Setup Notes from the site.\r\n"
              "3. Video device does not have a TV Tuner. Webcams are currently not supported.\r\n"
              "4. TV Tuner device is being used by another application.\r\n"
              "5. TV Tuner device is not released by the last app that used it. Re-boot may fix this problem.\r\n"
              "\r\nIf the current video/audio settings are not the correct ones,\r\n"
              "try using another if you have multiple devices. Go to Tuner\r\n"
              "Settings tab to change the settings, then exit and re-start this app.");
    ShowDeviceSettingsFailed(nullptr, "Card A", "Mic");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].iconName(), "critical");
    EXPECT_EQ(ui.messages[0].title, kAppTitle);

    const std::string wme = noticeWmeText("/usr/lib/vesper");
    EXPECT_NE(wme.find("regsvr /usr/lib/vesper/wmenceng.so /usr/lib/vesper/encwrap.so"), std::string::npos);
    EXPECT_NE(wme.find("./run"), std::string::npos);
    EXPECT_EQ(loadingVersionText(), "Version 1.1.214h");
    EXPECT_NE(aboutText().find("v1.1.214h"), std::string::npos);

    // Each window asks the seam first and is then not shown.
    ShowNoticeWME(nullptr);
    ShowNoticeDevices(nullptr, "n4");
    EXPECT_EQ(ShowLoading(nullptr), nullptr);
    ShowAbout(nullptr);
    ASSERT_EQ(ui.modals.size(), 4u);
    EXPECT_EQ(ui.modals[0].form, "frmNoticeWME");
    EXPECT_EQ(ui.modals[1].form, "frmNoticeDevices");
    EXPECT_EQ(ui.modals[1].contents, "n4\n" + deviceNoticeText("n4"));
    EXPECT_EQ(ui.modals[2].form, "frmLoading");
    EXPECT_EQ(ui.modals[2].caption, "Vesper Home Loading ...  ");
    EXPECT_EQ(ui.modals[3].form, "frmAbout");
}

TEST_F(StartupUnits, NoticeWindowsOpenRequirementsThroughTheShell) {
    frmNoticeDevices n("n2", nullptr);
    auto* req = n.findChild<QLabel*>("lblRequirements");
    ASSERT_TRUE(req && n.findChild<QPushButton*>("cmdOK"));
    click(req);
    ASSERT_EQ(sh.requests.size(), 1u);
    EXPECT_EQ(sh.requests[0].kind, "url");
    EXPECT_EQ(sh.requests[0].target, "https://www.vesper-home.org/notice2.html");

    frmLoading loading;
    EXPECT_EQ(loading.windowTitle(), "Vesper Home Loading ...  ");
    EXPECT_EQ(loading.findChild<QLabel*>("lblVersion")->text(), "Version 1.1.214h");

    // Help opens only an existing help file.
    EXPECT_FALSE(OpenHelpFile());
    test::writeFile(programFile("Vesper.chm"), "help");
    EXPECT_TRUE(OpenHelpFile());
    std::filesystem::remove(programFile("Vesper.chm"));
}

TEST_F(StartupUnits, AnOpeningThatFailsNamesWhatToOpenByHand) {
    for (int i : {1, 2})
        registry::deleteKey(settings::epgCustomKey(i));
    test::writeFile(programFile("LogStatus.txt"), "x");
    sh.answer = false;
    frmTechSupport support([] { return twoDevices(); }, nullptr);
    click(support.findChild<QLabel*>("lblViewLogStatus"));
    frmNoticeDevices notice("n2", nullptr);
    click(notice.findChild<QLabel*>("lblRequirements"));
    OpenGuideLink(3);
    RegSaveSetting2(settings::epgCustomKey(1), settings::sSelected, "sAppPathName");
    RegSaveSetting2(settings::epgCustomKey(1), settings::sAppPathName, "/no/such/tvguide --now");
    OpenGuideLink(1);
    const std::string shown[] = {programFile("LogStatus.txt"), "https://www.vesper-home.org/notice2.html",
                                 "https://tvlistings.zap2it.com/", "/no/such/tvguide --now"};
    ASSERT_EQ(ui.messages.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_NE(ui.messages[i].prompt.find("\r\n\r\n" + shown[i] + "\r\n\r\n"), std::string::npos)
            << ui.messages[i].prompt;
        EXPECT_EQ(ui.messages[i].iconName(), "exclamation");
    }

    // The opener took the address and gave up a moment later: said then.
    sh.answer = true;
    ui.messages.clear();
    OpenGuideLink(2);
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_TRUE(sh.requests.back().lateFailure);
    sh.requests.back().lateFailure("xdg-open found no program for it (exit code 3).");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].prompt.find("https://www.msn.com/en-us/tv"), std::string::npos);
    EXPECT_NE(ui.messages[0].prompt.find("(exit code 3)"), std::string::npos);
}

TEST_F(StartupUnits, ColorSchemesCycleAndUnknownNamesReadAsDefault) {
    EXPECT_EQ(ColorScheme::restore().name(), "default");
    ColorScheme s("green");
    EXPECT_EQ(s.name(), "green");
    s.next();
    EXPECT_EQ(s.name(), "magenta");
    s.next();
    s.next();
    EXPECT_EQ(s.name(), "default");
    EXPECT_NE(ColorScheme("yellow").colours().background, ColorScheme("default").colours().background);
    EXPECT_EQ(ColorScheme(std::string(100000, 'x')).name(), "default");
    ColorScheme("yellow").save();
    EXPECT_EQ(RegGetSetting2(settings::ColorScheme), "yellow");
    EXPECT_EQ(ColorScheme::restore().name(), "yellow");
}
