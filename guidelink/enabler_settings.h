// The enabler's own settings and the browser menu entry it switches.
#pragma once

#include <string>

namespace vesper::guidelink {

// The enabler's settings ("Status\bEnabled", "Application\CurrentVersion").
inline constexpr const char* kSettingsRoot = "Software\\Orvane\\Vesper Guidelink\\1.0";
// The context-menu entry for links.
inline constexpr const char* kMenuKey = "Software\\Microsoft\\Internet Explorer\\MenuExt\\Add to Vesper Schedule";
inline constexpr unsigned kMenuContexts = 32; // the context menu of links
inline constexpr const char* kScriptFileName = "yscript.htm";

// The enabler's version: major, minor and revision joined by ".".
std::string versionText();

bool readEnabled();
void writeEnabled(bool enabled);
void writeCurrentVersion();
std::string readCurrentVersion();

// The menu script of a program in `installationFolder`: beside the program
// (a build tree), else where the package puts it, <prefix>/share/vesper for a
// program in <prefix>/bin. The one beside the program when neither exists.
std::string scriptFile(const std::string& installationFolder);
// "file://" + scriptFile(installationFolder).
std::string scriptAddress(const std::string& installationFolder);
// Writes the menu key's default value (the script's address, or the empty
// text when disabled) and Contexts = 32, creating the key when missing.
bool writeMenuEntry(bool enabled, const std::string& installationFolder);

// The folder the enabler is installed in (its executable's folder).
std::string installationFolder();

} // namespace vesper::guidelink
