#include "app/core/diagnostics.h"

#include "app/core/program.h"
#include "app/core/settings_store.h"
#include "app/core/status_log.h"
#include "platform/ui/ui_seam.h"

#include "platform/paths.h"
#include "platform/sysinfo.h"

#include <sys/utsname.h>

#include <filesystem>

namespace vesper {

namespace {

constexpr const char* kCrLf = "\r\n";

std::function<SystemVersion()>& versionSource() {
    static std::function<SystemVersion()> source;
    return source;
}

// A text from the system goes into one line of the profile: no line breaks,
// no control characters, and a sane length.
std::string oneLine(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (out.size() >= 200) break;
        out += (c < 0x20 || c == 0x7f) ? ' ' : static_cast<char>(c);
    }
    return out;
}

SystemVersion runningSystemVersion() {
    SystemVersion v;
    const OsVersion os = osVersion();
    if (os.platform.empty() && os.description.empty()) {
        v.available = false;
        return v;
    }
    v.major = os.major;
    v.minor = os.minor;
    v.build = oneLine(os.release);
    v.name = oneLine(os.description.empty() ? os.platform : os.description);
    utsname u{};
    if (uname(&u) == 0) v.servicePack = oneLine(u.machine);
    return v;
}

// Characters that would end or break the body of a mailto link.
std::string mailSafe(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f || c == '%' || c == '&' || c == '#' || c == '?' || c == '+') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace

std::string windowsVersionName(int major, int minor, int platformId) {
    if (major == 3 && minor == 51) return "Windows NT 3.51";
    if (major == 4 && minor == 0 && platformId == kPlatformWindows9x) return "Windows 95";
    if (major == 4 && minor == 0 && platformId == kPlatformNT) return "Windows NT 4.0";
    if (major == 4 && minor == 10) return "Windows 98";
    if (major == 4 && minor == 90) return "Windows Me";
    if (major == 5 && minor == 0) return "Windows 2000";
    if (major == 5 && minor == 1) return "Windows XP";
    if (major == 5 && minor == 2) return "Windows Server 2003 family";
    if (major == 4 || major == 5) return "";
    return "Unknown";
}

std::string operatingSystemLine(const SystemVersion& v) {
    // Without version information the build and service pack stay empty.
    if (!v.available) return std::string("GetVersionEx Failed!") + "  build: " + "   ";
    const std::string name = v.windows ? windowsVersionName(v.major, v.minor, v.platformId) : v.name;
    std::string sp = v.servicePack;
    if (const auto nul = sp.find('\0'); nul != std::string::npos) sp.resize(nul);
    return name + "  build: " + v.build + "   " + sp;
}

SystemVersion currentSystemVersion() {
    if (versionSource()) return versionSource()();
    return runningSystemVersion();
}

void setSystemVersionSource(std::function<SystemVersion()> source) { versionSource() = std::move(source); }

std::string diagnosticsProfileText(const DeviceQuery& d, const std::string& osLine, const std::string& appFolder) {
    std::string t;
    auto line = [&t](const std::string& s) {
        if (!t.empty()) t += kCrLf;
        t += s;
    };
    auto list = [&line](const std::vector<std::string>& names) {
        for (const auto& n : names) {
            if (n.empty()) break;
            line(n);
        }
    };
    line(kProfileFileName);
    line("");
    line(std::string("Vesper Home v") + kVersionText);
    line("");
    line("App Location: " + appFolder);
    line("");
    line("Operating System: " + osLine);
    line("");
    line(std::string("This information should be sent to ") + kSupportEmail + " when enquiring for tech support.");
    line("");
    line("Current Video Device: " + d.currentVideo);
    line("Current Audio Device: " + d.currentAudio);
    line("");
    line("");
    line("Detected Video Device List:");
    line("===========================");
    list(d.videoDevices);
    line("");
    line("");
    line("Detected Audio Device List:");
    line("===========================");
    list(d.audioDevices);
    line("");
    line("");
    line("Query:");
    line("======");
    line(std::string("Results: ") + (d.found ? "True" : "False"));
    line("Video: " + (d.found ? d.pairVideo : std::string("null")));
    line("Audio: " + (d.found ? d.pairAudio : std::string("null")));
    return t;
}

bool WriteAppProfile(const DeviceQuery& devices) {
    const std::string text =
        diagnosticsProfileText(devices, operatingSystemLine(currentSystemVersion()), programFolder());
    return LogS(text, "", kProfileFileName);
}

bool WriteRequestedAppProfile(const std::function<DeviceQuery()>& devices) {
    if (!settingToBool(RegGetSetting2(settings::bLogStatusAppProfile))) return false;
    const bool written = WriteAppProfile(devices ? devices() : DeviceQuery{});
    RegSaveSetting2(settings::bLogStatusAppProfile, "False");
    return written;
}

std::string supportMailBody(const std::string& storedModel) {
    const bool absent = storedModel == settings::kNotExist;
    const std::string lines[] = {
        absent ? "Please include the following information:" : "Please insure the following information is accurate:",
        "",
        "TV Tuner/Video Device",
        "Brand - Model: " + (absent ? std::string() : mailSafe(storedModel)),
        "",
        "Include information from LogStatusAppProfile.txt; you can copy and paste,",
        "or attach the file. Thank You.",
        "",
        "PROVIDE SPECIFIC DESCRIPTION BELOW:",
        "",
    };
    std::string body;
    bool first = true;
    for (const auto& l : lines) {
        if (!first) body += "%0D%0A";
        body += l;
        first = false;
    }
    return body;
}

std::string supportMailUrl(const std::string& storedModel) {
    return std::string("mailto:") + kSupportEmail +
           "?subject=Tech Support Request&body=" + supportMailBody(storedModel);
}

bool OpenSupportMail() {
    return OpenOrTell(OpenTarget::Mail, supportMailUrl(RegGetSetting2(settings::sVideoDeviceName)), kAppTitle);
}

std::string programFile(const std::string& name) { return joinPath(programFolder(), name); }

bool programFileExists(const std::string& name) {
    std::error_code ec;
    return std::filesystem::is_regular_file(programFile(name), ec);
}

std::string formLoadErrorMessage(long number, const std::string& description, const std::string& appFolder) {
    std::string folder = appFolder;
    if (folder.empty() || folder.back() != '/') folder += '/';
    const std::string lines[] = {
        "FormLoad Error:",
        "The most recent error number is " + std::to_string(number),
        "Its message text is: " + description,
        "",
        "A Status Logging mechanism has been turned on.",
        "These log files LogStatusAppInit.txt and LogStatusAppProfile.txt will be created on next execution.",
        "These files are located here: " + folder,
        "Run Vesper Home again to generate these files.",
        std::string("Include these files when enquiring for tech support to ") + kSupportEmail,
        "",
        "Can't Continue",
    };
    std::string t;
    for (const auto& l : lines) {
        if (&l != &lines[0]) t += kCrLf;
        t += l;
    }
    return t;
}

void ReportFormLoadError(long number, const std::string& description) {
    RegSaveSetting2(settings::bLogStatusAppInit, "True");
    RegSaveSetting2(settings::bLogStatusAppProfile, "True");
    MsgBox(formLoadErrorMessage(number, description, programFolder()), vbCritical, kAppTitle);
}

void TechSupportModel::load() {
    logStatus = settingToBool(RegGetSetting2(settings::bLogStatus));
    logStatusAppInit = settingToBool(RegGetSetting2(settings::bLogStatusAppInit));
    viewLogStatusEnabled = programFileExists(kLogStatusFileName);
    viewLogStatusAppInitEnabled = programFileExists(kLogStatusAppInitFileName);
}

void TechSupportModel::unload() const {
    RegSaveSetting2(settings::bLogStatus, logStatus ? "True" : "False");
    RegSaveSetting2(settings::bLogStatusAppInit, logStatusAppInit ? "True" : "False");
}

bool TechSupportModel::createAppProfile(const DeviceQuery& devices) {
    const bool written = WriteAppProfile(devices);
    // The profile also lands in LogStatus.txt, which may be new now.
    viewLogStatusEnabled = programFileExists(kLogStatusFileName);
    if (!written || !programFileExists(kProfileFileName)) return false;
    return OpenOrTell(OpenTarget::TextFile, programFile(kProfileFileName), kAppTitle);
}

bool TechSupportModel::viewLogStatus() {
    viewLogStatusEnabled = programFileExists(kLogStatusFileName);
    return viewLogStatusEnabled && OpenOrTell(OpenTarget::TextFile, programFile(kLogStatusFileName), kAppTitle);
}

bool TechSupportModel::viewLogStatusAppInit() {
    viewLogStatusAppInitEnabled = programFileExists(kLogStatusAppInitFileName);
    return viewLogStatusAppInitEnabled &&
           OpenOrTell(OpenTarget::TextFile, programFile(kLogStatusAppInitFileName), kAppTitle);
}

} // namespace vesper
