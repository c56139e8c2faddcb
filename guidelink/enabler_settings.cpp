#include "guidelink/enabler_settings.h"

#include "platform/paths.h"
#include "platform/registry.h"

#include <filesystem>

#include <strings.h>

#ifndef GUIDELINK_VERSION
#define GUIDELINK_VERSION "1.0.0"
#endif

namespace vesper::guidelink {

namespace {

std::string statusKey() { return std::string(kSettingsRoot) + "\\Status"; }
std::string applicationKey() { return std::string(kSettingsRoot) + "\\Application"; }

} // namespace

std::string versionText() { return GUIDELINK_VERSION; }

bool readEnabled() {
    const auto v = registry::queryValue(statusKey(), "bEnabled");
    return v && v->type == registry::ValueType::String && strcasecmp(v->text.c_str(), "True") == 0;
}

void writeEnabled(bool enabled) { registry::setString(statusKey(), "bEnabled", enabled ? "True" : "False"); }

void writeCurrentVersion() { registry::setString(applicationKey(), "CurrentVersion", versionText()); }

std::string readCurrentVersion() {
    const auto v = registry::queryValue(applicationKey(), "CurrentVersion");
    return v && v->type == registry::ValueType::String ? v->text : std::string();
}

std::string scriptFile(const std::string& folder) {
    namespace fs = std::filesystem;
    const std::string beside = joinPath(folder, kScriptFileName);
    const fs::path installed = (fs::path(folder) / ".." / "share" / "vesper" / kScriptFileName).lexically_normal();
    std::error_code ec;
    if (!fs::is_regular_file(beside, ec) && fs::is_regular_file(installed, ec)) return installed.string();
    return beside;
}

std::string scriptAddress(const std::string& folder) { return "file://" + scriptFile(folder); }

bool writeMenuEntry(bool enabled, const std::string& folder) {
    const bool text = registry::setString(kMenuKey, "", enabled ? scriptAddress(folder) : std::string());
    const bool contexts = registry::setDword(kMenuKey, "Contexts", kMenuContexts);
    return text && contexts;
}

std::string installationFolder() { return executableFolder(); }

} // namespace vesper::guidelink
