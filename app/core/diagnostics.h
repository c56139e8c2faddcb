// The diagnostics profile, the support e-mail and the message after a failed
// start-up: everything the Tech Support Helper and the start-up need, without
// a window.
#pragma once

#include "platform/product.h"

#include <functional>
#include <string>
#include <vector>

namespace vesper {

// The operating system as the system information reports it. On Windows-style
// version numbers the classic names apply; elsewhere `name` is the system's
// own (PRETTY_NAME of /etc/os-release).
struct SystemVersion {
    bool available = true; // false: the version information could not be read
    bool windows = false;
    int major = 0;
    int minor = 0;
    int platformId = 0;      // Windows platform: 0 Win32s, 1 the 9x family, 2 NT
    std::string build;       // build number (Windows) or kernel release
    std::string servicePack; // service-pack text (cut at its first NUL) or machine
    std::string name;        // the system's name where not Windows
};
inline constexpr int kPlatformWin32s = 0;
inline constexpr int kPlatformWindows9x = 1;
inline constexpr int kPlatformNT = 2;

// The classic names by version: "Windows XP", ..., "" for an unlisted minor
// of major 4 or 5, "Unknown" for any other major.
std::string windowsVersionName(int major, int minor, int platformId);
// name + "  build: " + build + "   " + service pack.
std::string operatingSystemLine(const SystemVersion& version);

// The system-information seam: the running system's version (from uname and
// /etc/os-release); tests hand in their own.
SystemVersion currentSystemVersion();
void setSystemVersionSource(std::function<SystemVersion()> source); // empty restores

// What the profile reports about the capture devices; the caller enumerates
// them and probes for a working pair.
struct DeviceQuery {
    std::string currentVideo; // the main window's selected devices
    std::string currentAudio;
    std::vector<std::string> videoDevices; // read up to the first empty name
    std::vector<std::string> audioDevices;
    bool found = false; // a working video and audio pair
    std::string pairVideo;
    std::string pairAudio;
};

inline constexpr const char* kProfileFileName = "LogStatusAppProfile.txt";
inline constexpr const char* kLogStatusFileName = "LogStatus.txt";
inline constexpr const char* kLogStatusAppInitFileName = "LogStatusAppInit.txt";

// The profile's text, lines joined with CR LF.
std::string diagnosticsProfileText(const DeviceQuery& devices, const std::string& osLine, const std::string& appFolder);
// Appends the profile to "LogStatus.txt" and replaces "LogStatusAppProfile.txt"
// with it, whatever the switches say. True when written.
bool WriteAppProfile(const DeviceQuery& devices);
// At start-up: when a profile was requested (bLogStatusAppProfile), writes it
// and clears the request, so that one request yields one profile. The devices
// are asked for only then. True when a profile was written.
bool WriteRequestedAppProfile(const std::function<DeviceQuery()>& devices);

// The support e-mail for the stored card model (sVideoDeviceName as read,
// "<not_exist>" when absent).
std::string supportMailBody(const std::string& storedModel);
std::string supportMailUrl(const std::string& storedModel);
// Opens the support e-mail in the user's mail program (a failure is told
// over `owner`).
bool OpenSupportMail();

// The path of a file in the program folder, and whether it is there.
std::string programFile(const std::string& name);
bool programFileExists(const std::string& name);

// The critical message after an unexpected start-up error.
std::string formLoadErrorMessage(long number, const std::string& description, const std::string& appFolder);
// Switches the start-up trace and the profile request on, so that the next
// start writes both, then shows the message.
void ReportFormLoadError(long number, const std::string& description);

// The Tech Support Helper without its window: the two switches it mirrors,
// whether its view labels may open their files, and its actions.
class TechSupportModel {
public:
    // Reads the switches and looks for the log files.
    void load();
    // Writes the boxes back to their switches ("True"/"False").
    void unload() const;

    bool logStatus = false;        // chkCreateLogStatus, bound to bLogStatus
    bool logStatusAppInit = false; // chkCreateLogStatusAppInit, bound to bLogStatusAppInit
    bool viewLogStatusEnabled = false;
    bool viewLogStatusAppInitEnabled = false;

    // Writes the profile, then opens it in the user's text editor. A file
    // that cannot be opened is named in a message over `owner`.
    bool createAppProfile(const DeviceQuery& devices);
    // Open the log files in the user's text editor; nothing when missing.
    bool viewLogStatus();
    bool viewLogStatusAppInit();
};

} // namespace vesper
