#include "kickstall/kickstall.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace kickstall {

namespace fs = std::filesystem;

namespace {

// A Debian package is an ar archive whose first member is "debian-binary".
constexpr const char kDebianMagic[] = "!<arch>\ndebian-binary";

std::string ownExecutableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path(ec).string() : exe.parent_path().string();
}

Outcome fail(Outcome outcome, const std::string& text) {
    outcome.succeeded = false;
    outcome.errorText = text;
    return outcome;
}

std::string withSeparator(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

} // namespace

System realSystem() {
    System s;
    s.environment = [](const char* name) -> std::optional<std::string> {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    s.ownFolder = ownExecutableFolder();
    std::error_code ec;
    s.currentFolder = fs::current_path(ec).string();
    s.runningAsRoot = ::geteuid() == 0;
    s.createFileSystemObject = [] { return kickstall::createFileSystemObject(); };
    s.createInstaller = [] { return kickstall::createInstaller(); };
    s.startCommand = startDetached;
    return s;
}

std::optional<std::string> windowsFolder(const System& system) {
    const auto systemRoot = system.environment("SystemRoot");
    const auto windir = system.environment("windir");
    std::string folder;
    if (systemRoot && !systemRoot->empty())
        folder = *systemRoot;
    else if (windir && !windir->empty())
        folder = *windir;
    else if (!systemRoot && !windir)
        folder = kSystemCacheFolder;
    else
        return std::nullopt;
    // The installer runs elsewhere (pkexec starts in /): a relative folder
    // would name another place there.
    if (folder.front() != '/') folder = withSeparator(system.currentFolder) + folder;
    return folder;
}

InstallCommand installCommand(const std::string& cachedPackage, bool reinstall, bool runningAsRoot) {
    InstallCommand c;
    c.commandLine = std::string(runningAsRoot ? "" : "pkexec ") + "apt-get install " +
                    (reinstall ? "--reinstall --allow-downgrades " : "") + shellQuote(cachedPackage);
    c.program = "x-terminal-emulator";
    // The terminal stays open after the package tools end, so that the user
    // can read how it went.
    c.arguments = {"-e", "sh", "-c", c.commandLine + "; printf '\\nPress Enter to close this window. '; read answer"};
    return c;
}

Outcome run(const System& system) {
    Outcome outcome;

    auto fso = system.createFileSystemObject ? system.createFileSystemObject() : nullptr;
    if (!fso) return fail(outcome, kFsoFailed);

    const auto windows = windowsFolder(system);
    if (!windows) return fail(outcome, kFolderVarsNull);
    const std::string cacheFolder = withSeparator(*windows) + kCacheFolderName + "/";

    if (!fso->FolderExists(cacheFolder)) fso->CreateFolder(cacheFolder);
    if (!fso->FolderExists(cacheFolder)) return fail(outcome, kCacheFolderFailed);

    const std::string source = withSeparator(system.ownFolder) + kPackageFileName;
    const std::string cached = cacheFolder + kPackageFileName;
    // A missing or broken package would only fail later inside the package
    // tools, or replace a good cached copy: say so now.
    if (!fso->FileExists(source)) return fail(outcome, "Unable to find the setup package " + source + " :(");
    const auto start = fso->ReadStart(source, sizeof kDebianMagic - 1);
    if (!start || *start != kDebianMagic)
        return fail(outcome, "The setup package " + source + " is empty or not a Debian package :(");
    if (!fso->CopyFile(source, cached, true)) return fail(outcome, kCopyFailed);
    fso.reset();

    auto installer = system.createInstaller ? system.createInstaller() : nullptr;
    if (!installer) return fail(outcome, kInstallerFailed);
    bool installed = false;
    const int count = installer->Count();
    for (int i = 0; i < count; ++i) {
        const auto name = installer->ProductInfo(installer->Item(i), "ProductName");
        if (name && *name == kProductName) {
            installed = true;
            break;
        }
    }
    installer.reset();

    InstallCommand command = installCommand(cached, installed, system.runningAsRoot);
    std::string why;
    if (!system.startCommand || !system.startCommand(command, why))
        return fail(outcome, "Unable to start the installer :(  - " + (why.empty() ? command.program : why));
    outcome.started = std::move(command);
    outcome.succeeded = true;
    return outcome;
}

} // namespace kickstall
