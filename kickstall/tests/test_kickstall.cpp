#include "kickstall/frm_kickstall.h"
#include "kickstall/kickstall.h"
#include "platform/testing/test_env.h"
#include "platform/ui/qt_ui_seam.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

using namespace kickstall;
namespace test = vesper::test;
namespace fs = std::filesystem;

namespace {

const std::string kDeb = std::string("!<arch>\ndebian-binary   0           0     0     100644  4         `\n2.0\n");

// The file system as a few sets, with failures on demand.
class FakeFileSystem : public FileSystemObject {
public:
    std::set<std::string> folders;
    std::map<std::string, std::string> files;
    bool createFails = false, copyFails = false;
    std::vector<std::string> created;

    bool FolderExists(const std::string& path) override { return folders.count(path) > 0; }
    bool CreateFolder(const std::string& path) override {
        created.push_back(path);
        if (createFails) return false;
        folders.insert(path);
        return true;
    }
    bool FileExists(const std::string& path) override { return files.count(path) > 0; }
    std::optional<std::string> ReadStart(const std::string& path, size_t count) override {
        return files.count(path) ? std::optional(files[path].substr(0, count)) : std::nullopt;
    }
    bool CopyFile(const std::string& source, const std::string& destination, bool) override {
        if (copyFails) return false;
        files[destination] = files[source];
        return true;
    }
};

class FakeInstaller : public Installer {
public:
    std::vector<std::pair<std::string, std::optional<std::string>>> products;
    int Count() override { return static_cast<int>(products.size()); }
    std::string Item(int i) override { return products.at(static_cast<size_t>(i)).first; }
    std::optional<std::string> ProductInfo(const std::string& code, const std::string& property) override {
        EXPECT_EQ(property, "ProductName");
        for (const auto& [c, name] : products)
            if (c == code) return name;
        return std::nullopt;
    }
};

// A run against doubles: the environment, the file system, the package
// database and the command start are all the test's.
struct Harness {
    std::map<std::string, std::string> env{{"SystemRoot", "/win"}};
    FakeFileSystem* fs = nullptr;
    std::shared_ptr<FakeFileSystem> fsHolder = std::make_shared<FakeFileSystem>();
    std::vector<std::pair<std::string, std::optional<std::string>>> products;
    bool fsoFails = false, databaseFails = false, startFails = false, root = false;
    std::vector<InstallCommand> started;

    Harness() {
        fs = fsHolder.get();
        fs->folders = {"/win/"};
        fs->files["/media/VesperHome.deb"] = kDeb;
    }

    System system() {
        System s;
        s.environment = [this](const char* name) -> std::optional<std::string> {
            auto it = env.find(name);
            return it == env.end() ? std::nullopt : std::optional(it->second);
        };
        s.ownFolder = "/media";
        s.currentFolder = "/home/user";
        s.runningAsRoot = root;
        s.createFileSystemObject = [this]() -> std::unique_ptr<FileSystemObject> {
            if (fsoFails) return nullptr;
            // Hand out a forwarding object, so the test keeps the state.
            struct Forward : FileSystemObject {
                FakeFileSystem* f;
                explicit Forward(FakeFileSystem* x) : f(x) {}
                bool FolderExists(const std::string& p) override { return f->FolderExists(p); }
                bool CreateFolder(const std::string& p) override { return f->CreateFolder(p); }
                bool FileExists(const std::string& p) override { return f->FileExists(p); }
                std::optional<std::string> ReadStart(const std::string& p, size_t n) override {
                    return f->ReadStart(p, n);
                }
                bool CopyFile(const std::string& a, const std::string& b, bool o) override {
                    return f->CopyFile(a, b, o);
                }
            };
            return std::make_unique<Forward>(fs);
        };
        s.createInstaller = [this]() -> std::unique_ptr<Installer> {
            if (databaseFails) return nullptr;
            auto i = std::make_unique<FakeInstaller>();
            i->products = products;
            return i;
        };
        s.startCommand = [this](const InstallCommand& c, std::string& why) {
            if (startFails) {
                why = "x-terminal-emulator: not found";
                return false;
            }
            started.push_back(c);
            return true;
        };
        return s;
    }
    Outcome run() { return kickstall::run(system()); }
};

} // namespace

TEST(Kickstall, InstallsWhenTheProductIsMissingAndReinstallsWhenItIsThere) {
    Harness h;
    h.products = {{"adduser", "add and remove users and groups"},
                  {"broken", std::nullopt},
                  {"vesper-home-extras", "Vesper Home extras"}};
    auto out = h.run();
    ASSERT_TRUE(out.succeeded) << out.errorText;
    EXPECT_EQ(out.errorText, "null");
    ASSERT_EQ(h.started.size(), 1u);
    EXPECT_EQ(h.started[0].commandLine, "pkexec apt-get install '/win/VesperHomeMsiCache/VesperHome.deb'");
    EXPECT_EQ(h.started[0].program, "x-terminal-emulator");
    ASSERT_EQ(h.started[0].arguments.size(), 4u);
    EXPECT_EQ(h.started[0].arguments[0], "-e");
    EXPECT_EQ(h.started[0].arguments[3].rfind(h.started[0].commandLine + ";", 0), 0u);
    EXPECT_EQ(h.fs->files["/win/VesperHomeMsiCache/VesperHome.deb"], kDeb);

    // A product whose name cannot be read is passed over; the walk stops at ours.
    h.products.insert(h.products.begin() + 2, {"vesper-home", "Vesper Home"});
    h.root = true;
    out = h.run();
    ASSERT_TRUE(out.succeeded);
    EXPECT_EQ(h.started.back().commandLine,
              "apt-get install --reinstall --allow-downgrades '/win/VesperHomeMsiCache/VesperHome.deb'");
}

TEST(Kickstall, FindsTheWindowsFolderAsTheVariablesSay) {
    struct Case {
        std::map<std::string, std::string> env;
        std::optional<std::string> folder;
    };
    const std::vector<Case> cases = {
        {{{"SystemRoot", "/sys/root"}, {"windir", "/win/dir"}}, "/sys/root"},
        {{{"SystemRoot", ""}, {"windir", "/win/dir"}}, "/win/dir"},
        {{{"windir", "/win/dir"}}, "/win/dir"},
        {{}, "/var/cache"},
        {{{"SystemRoot", ""}}, std::nullopt},
        {{{"SystemRoot", ""}, {"windir", ""}}, std::nullopt},
        {{{"SystemRoot", "rel/win"}}, "/home/user/rel/win"},
    };
    for (const auto& c : cases) {
        Harness h;
        h.env = c.env;
        EXPECT_EQ(windowsFolder(h.system()), c.folder) << (c.folder ? *c.folder : "null");
    }
    Harness h;
    h.env = {{"SystemRoot", ""}, {"windir", ""}};
    EXPECT_EQ(h.run().errorText, "SystemRoot and windir env vars are null :(");
    EXPECT_TRUE(h.started.empty());

    // One separator before the cache folder, with or without a trailing one.
    for (const std::string root : {"/win", "/win/"}) {
        Harness t;
        t.env = {{"SystemRoot", root}};
        t.fs->folders.clear();
        ASSERT_TRUE(t.run().succeeded);
        EXPECT_EQ(t.fs->created, std::vector<std::string>{"/win/VesperHomeMsiCache/"});
    }
}

TEST(Kickstall, EachFailingStepGivesItsOwnMessageAndStartsNothing) {
    Harness a;
    a.fsoFails = true;
    EXPECT_EQ(a.run().errorText, "Failed to create Scripting.FileSystemObject :(");

    Harness b;
    b.fs->createFails = true;
    EXPECT_EQ(b.run().errorText, "Unable to create msi cache dir folder :(  -  you must be an Admin user.");

    Harness c;
    c.fs->folders.insert("/win/VesperHomeMsiCache/");
    c.fs->copyFails = true;
    EXPECT_EQ(c.run().errorText, "Unable to copy file :(  - you must be admin user.");

    Harness d;
    d.databaseFails = true;
    EXPECT_EQ(d.run().errorText, "Unable to create WindowsInstaller.Installer object :(");

    Harness e;
    e.startFails = true;
    const auto out = e.run();
    EXPECT_FALSE(out.succeeded);
    EXPECT_EQ(out.errorText, "Unable to start the installer :(  - x-terminal-emulator: not found");

    for (Harness* h : {&a, &b, &c, &d, &e})
        EXPECT_TRUE(h->started.empty());
    // An existing cache folder is used as it is.
    EXPECT_TRUE(c.fs->created.empty());
}

TEST(Kickstall, RefusesAMissingEmptyOrForeignPackageAndKeepsTheCachedOne) {
    for (const std::optional<std::string>& contents :
         {std::optional<std::string>(), std::optional<std::string>(""), std::optional<std::string>("MZ\x90\0exe")}) {
        Harness h;
        h.fs->folders.insert("/win/VesperHomeMsiCache/");
        h.fs->files["/win/VesperHomeMsiCache/VesperHome.deb"] = kDeb + "older";
        if (contents)
            h.fs->files["/media/VesperHome.deb"] = *contents;
        else
            h.fs->files.erase("/media/VesperHome.deb");
        const auto out = h.run();
        EXPECT_FALSE(out.succeeded);
        EXPECT_NE(out.errorText.find("/media/VesperHome.deb"), std::string::npos) << out.errorText;
        EXPECT_NE(out.errorText.find(contents ? "not a Debian package" : "Unable to find"), std::string::npos);
        EXPECT_EQ(h.fs->files["/win/VesperHomeMsiCache/VesperHome.deb"], kDeb + "older");
        EXPECT_TRUE(h.started.empty());
    }
}

TEST(Kickstall, CachesThePackageOnTheRealFileSystemOverAnOlderCopy) {
    const std::string media = test::makeFolder("media");
    const std::string windows = test::makeFolder("My Windows");
    test::writeFile(media + "/VesperHome.deb", kDeb + "new");
    const std::string cache = windows + "/VesperHomeMsiCache";
    test::writeFile(cache + "/VesperHome.deb", kDeb + "old and longer");
    test::writeFile(cache + "/other.txt", "kept");

    Harness h;
    System s = h.system();
    s.environment = [&](const char* name) -> std::optional<std::string> {
        return std::string(name) == "SystemRoot" ? std::optional(windows) : std::nullopt;
    };
    s.ownFolder = media;
    s.createFileSystemObject = [] { return createFileSystemObject(); };
    const auto out = kickstall::run(s);
    ASSERT_TRUE(out.succeeded) << out.errorText;
    EXPECT_EQ(test::readFile(cache + "/VesperHome.deb"), kDeb + "new");
    EXPECT_EQ(test::readFile(cache + "/other.txt"), "kept");
    EXPECT_FALSE(fs::exists(cache + "/VesperHome.deb.part"));

    // The quoted path survives the shell whole, blanks and quotes included.
    const std::string odd = windows + "/it's $HOME `x`/VesperHome.deb";
    std::string echoed;
    ASSERT_EQ(test::runCommand("printf '%s' " + shellQuote(odd), &echoed), 0);
    EXPECT_EQ(echoed, odd);
    EXPECT_NE(h.started.at(0).commandLine.find(shellQuote(cache + "/VesperHome.deb")), std::string::npos);

    // A user who may not write under the Windows folder gets the admin message.
    fs::remove_all(cache);
    fs::permissions(windows, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                 fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    EXPECT_TRUE(test::runUnprivileged([&] {
        EXPECT_EQ(kickstall::run(s).errorText,
                  "Unable to create msi cache dir folder :(  -  you must be an Admin user.");
    }));
    fs::permissions(windows, fs::perms::owner_all);
    EXPECT_FALSE(fs::exists(cache));
}

TEST(Kickstall, ReadsInstalledProductsFromThePackageListing) {
    const std::string listing = "adduser\tinstall ok installed\tadd and remove users and groups\n"
                                "vesper-home\tinstall ok half-configured\tVesper Home\n"
                                "vesper-home-new\tinstall ok installed\tVesper Home: personal video recorder\n"
                                "oldpkg\tdeinstall ok config-files\tVesper Home\n"
                                "gone\tunknown ok not-installed\tGone\n"
                                "nameless\tinstall ok installed\t\n"
                                "garbage line\n";
    auto installer = createInstaller([&] { return std::optional(listing); });
    ASSERT_NE(installer, nullptr);
    ASSERT_EQ(installer->Count(), 4);
    EXPECT_EQ(installer->Item(1), "vesper-home");
    EXPECT_EQ(installer->ProductInfo("vesper-home", "ProductName"), "Vesper Home");
    EXPECT_EQ(installer->ProductInfo("vesper-home-new", "ProductName"), "Vesper Home");
    EXPECT_EQ(installer->ProductInfo("nameless", "ProductName"), std::nullopt);
    EXPECT_EQ(installer->ProductInfo("oldpkg", "ProductName"), std::nullopt);
    EXPECT_EQ(createInstaller([] { return std::optional<std::string>(); }), nullptr);
}

TEST(Kickstall, WithoutADisplayItEndsWithTheReasonAndItsFailureCode) {
    // Setup cannot continue, and no window can open: none asked for, or one
    // that is not there.
    const std::string run = "env -i PATH=/nonexistent HOME='" + test::testFolder() + "' SystemRoot= windir= ";
    for (const std::string display : {"", "DISPLAY=:4093 ", "WAYLAND_DISPLAY=vesper-none "}) {
        std::string out;
        EXPECT_EQ(test::runCommand(run + display + "'" + KICKSTALL_PATH + "' </dev/null", &out), 1) << display << out;
        EXPECT_NE(out.find(std::string("kickstall: ") + kFolderVarsNull + "\n"), std::string::npos) << out;
    }
}

TEST(Kickstall, ScriptedWindowIsLoggedAsTheOtherProgramsLogTheirs) {
    const std::string log = test::testFolder() + "/kickstall-ui.log";
    const std::string run = "env -i PATH=/nonexistent HOME='" + test::testFolder() +
                            "' SystemRoot= windir= QT_QPA_PLATFORM=offscreen VESPER_TEST_UI_LOG='" + log +
                            "' VESPER_TEST_UI_ANSWERS=OK '" + KICKSTALL_PATH + "' </dev/null";
    std::string out;
    EXPECT_EQ(test::runCommand(run, &out), 1) << out;
    EXPECT_EQ(test::readFile(log), "{\"answer\":\"OK\",\"default\":\"OK\",\"form\":\"frmKickstall\",\"kind\":\"modal\","
                                   "\"text\":\"lblCantContinue: Setup cannot continue...\\nlblError: " +
                                       std::string(kFolderVarsNull) + "\\n\",\"title\":\"Vesper Home\"}\n");
}

// It runs from a setup medium, before anything of ours is installed.
TEST(Kickstall, NeedsNoLibraryOfOurs) {
    std::string out;
    ASSERT_EQ(test::runCommand(std::string("ldd '") + KICKSTALL_PATH + "'", &out), 0) << out;
    EXPECT_NE(out.find("libQt6Widgets"), std::string::npos) << out;
    EXPECT_EQ(out.find("libvesper"), std::string::npos) << out;
}

TEST(Kickstall, WindowShowsTheReasonThroughTheSeam) {
    static int argc = 1;
    static char name[] = "kickstall_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);

    frmKickstall form;
    EXPECT_EQ(form.objectName(), "frmKickstall");
    EXPECT_EQ(form.windowTitle(), "Vesper Home");
    EXPECT_TRUE(form.imgCritical->isHidden());
    EXPECT_TRUE(form.lblCantContinue->isHidden());
    EXPECT_TRUE(form.lblError->isHidden());
    EXPECT_EQ(form.lblCantContinue->text(), "Setup cannot continue...");

    form.ShowErrorDisplay("Unable to copy file :(  - you must be admin user.");
    vesper::RecordingUiSeam seam;
    vesper::setUiSeam(&seam);
    EXPECT_FALSE(form.ShowThroughSeam());
    vesper::setUiSeam(nullptr);
    ASSERT_EQ(seam.modals.size(), 1u);
    EXPECT_EQ(seam.modals[0].form, "frmKickstall");
    EXPECT_EQ(seam.modals[0].caption, "Vesper Home");
    EXPECT_EQ(seam.modals[0].contents, "lblCantContinue: Setup cannot continue...\n"
                                       "lblError: Unable to copy file :(  - you must be admin user.\n");
    EXPECT_FALSE(form.isVisible());

    // The program's own seam, the real window.
    vesper::installQtUiSeam();
    EXPECT_TRUE(form.ShowThroughSeam());
    EXPECT_TRUE(form.isVisible());
    form.cmdOK->click();
    EXPECT_FALSE(form.isVisible());
}
