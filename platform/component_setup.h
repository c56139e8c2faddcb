// The component libraries that come with an installed program register
// themselves into each user's hive on the program's first start, so nobody
// has to run regsvr after installing the package.
#pragma once

#include <string>
#include <vector>

namespace vesper {

// Where an installed tree keeps its component libraries, below its prefix.
inline constexpr const char* kComponentsSubfolder = "lib/vesper/components";

// The component folder of the running program: <prefix>/lib/vesper/components
// for a program in <prefix>/bin. Empty for a build tree (its set-up registers
// the build's components, and its tests register what they need) and when
// there is no such folder.
std::string bundledComponentsFolder();
// The same for a program that lives in `executableFolder`.
std::string bundledComponentsFolder(const std::string& executableFolder);

struct ComponentSetupReport {
    std::vector<std::string> registered; // libraries registered now
    std::vector<std::string> upToDate;   // libraries whose registration held
    std::vector<std::string> failures;   // "library: reason"
    bool ok() const { return failures.empty(); }
};

// Registers every component library (*.so) of `folder` whose registration in
// the user's hive is missing or stale: no class of the hive is served by it,
// or one of its classes' ProgIDs leads elsewhere, to nothing, to a library
// that is gone or to another copy of the same library (a build tree, an older
// installation). A ProgID the user pointed at a library of their own stays.
ComponentSetupReport ensureComponentsRegistered(const std::string& folder);

// ensureComponentsRegistered(bundledComponentsFolder()), writing each failure
// to standard error.
ComponentSetupReport ensureBundledComponentsRegistered();

// Which component libraries a program registers when it starts.
enum class BundledComponents {
    Installed, // those of an installed tree (ensureBundledComponentsRegistered)
    // Also, beside a program of a build tree, the libraries of the known
    // components whose ProgID the hive does not know yet: the main program then
    // runs from a build tree with a fresh hive as it is.
    InstalledAndBesideProgram,
};

// The one call each program that creates components makes when it starts,
// before it creates one, so that a new user of an installed tree needs no
// regsvr. Failures go to standard error.
ComponentSetupReport registerBundledComponents(BundledComponents which = BundledComponents::Installed);

// The full path of `library` (a component library's file name) as this
// program would find it: in its installed tree's component folder, else
// beside the program. For advice such as "regsvr PATH".
std::string bundledComponentPath(const std::string& library);

} // namespace vesper
