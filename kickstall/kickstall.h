// The installer bootstrap's one run: cache the product package under the
// Windows folder, then install it, or reinstall it when the product is there.
#pragma once

#include "kickstall/installer_layer.h"
#include "platform/product.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kickstall {

inline constexpr const char* kPackageFileName = "VesperHome.deb";
inline constexpr const char* kCacheFolderName = "VesperHomeMsiCache";
// The product whose installation the package database is asked about.
using vesper::kProductName;
// Used when neither SystemRoot nor windir is set at all.
inline constexpr const char* kSystemCacheFolder = "/var/cache";

inline constexpr const char* kNoErrorText = "null";
inline constexpr const char* kFsoFailed = "Failed to create Scripting.FileSystemObject :(";
inline constexpr const char* kFolderVarsNull = "SystemRoot and windir env vars are null :(";
inline constexpr const char* kCacheFolderFailed =
    "Unable to create msi cache dir folder :(  -  you must be an Admin user.";
inline constexpr const char* kCopyFailed = "Unable to copy file :(  - you must be admin user.";
inline constexpr const char* kInstallerFailed = "Unable to create WindowsInstaller.Installer object :(";

// Everything the run touches, replaceable by tests.
struct System {
    // An environment variable; nullopt when it is not set at all.
    std::function<std::optional<std::string>(const char*)> environment;
    std::string ownFolder; // the bootstrap's own folder
    std::string currentFolder;
    bool runningAsRoot = false;
    std::function<std::unique_ptr<FileSystemObject>()> createFileSystemObject;
    std::function<std::unique_ptr<Installer>()> createInstaller;
    CommandStarter startCommand;
};

// The machine as it is.
System realSystem();

struct Outcome {
    bool succeeded = false;
    std::string errorText = kNoErrorText;
    std::optional<InstallCommand> started; // the command that was started
};

// The Windows folder: $SystemRoot, else $windir, each when set and not empty,
// made absolute against `currentFolder`; /var/cache when neither is set at
// all; nullopt when one is set but both are empty.
std::optional<std::string> windowsFolder(const System& system);

// The command for a cached package: a first installation, or a complete
// reinstallation (also over a newer installed version).
InstallCommand installCommand(const std::string& cachedPackage, bool reinstall, bool runningAsRoot);

// Runs the steps in their order; the first failing step's message ends it.
Outcome run(const System& system);

} // namespace kickstall
