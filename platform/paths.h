// Where the program keeps its files.
#pragma once

#include <string>

namespace vesper {

// The folder of the running executable.
std::string executableFolder();
// The folder of the shared library that contains `addressInLibrary`.
std::string libraryFolder(const void* addressInLibrary);

// A per-user base folder: the environment variable `variable` when set, else
// `underHome` inside $HOME (/tmp without a home).
std::string userBaseFolder(const char* variable, const char* underHome);

// The file the build writes into its folder of programs and component
// libraries, so that they know they run from a build tree.
inline constexpr const char* kBuildTreeMarker = ".vesper-build-tree";
// Whether `binaryFolder` is the binary folder of a build tree.
bool isBuildTree(const std::string& binaryFolder);

// The program folder for a program or component that lives in `binaryFolder`:
// $VESPER_HOME when set, else `binaryFolder` when it is a build tree's and
// writable, else ${XDG_DATA_HOME:-~/.local/share}/vesper (created when
// missing). An installed program never writes beside itself: as root,
// /usr/bin would be writable.
std::string programFolder(const std::string& binaryFolder);
// The program folder of the running executable.
std::string programFolder();

// Joins a folder and a name with one separator.
std::string joinPath(const std::string& folder, const std::string& name);

} // namespace vesper

namespace vesper {

// A per-user, per-hive path for the running main program's lock and hand-over
// socket: "<folder>/vesper-<key>.<name>", where the key is derived from the
// registry hive's path (so two hives never meet) and the folder is
// $XDG_RUNTIME_DIR when it is set and usable, else a folder only the user can
// enter beside the hive (created with mode 0700). Empty when no such folder
// can be had.
std::string instanceRuntimePath(const std::string& name);

} // namespace vesper
