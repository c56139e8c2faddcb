#include "app/core/settings_store.h"

#include "app/core/status_log.h"

#include "platform/errors.h"
#include "platform/variant.h"

namespace vesper {

namespace reg {

bool openKey(const std::string& keyPath, Handle& out) { return registry::openKey(keyPath, out); }

bool closeKey(Handle& h) { return registry::closeKey(h); }

bool createKey(const std::string& basePath, const std::string& subPath, Handle& out) {
    out = Handle{};
    if (basePath.empty()) return false;
    std::string sub = subPath;
    if (!sub.empty() && sub.front() == '\\') sub.erase(0, 1);
    return registry::createKey(sub.empty() ? basePath : basePath + "\\" + sub, out);
}

bool queryString(const Handle& h, const std::string& valueName, std::string& out) {
    const auto v = registry::queryValue(h, valueName);
    if (!v || v->type != registry::ValueType::String) return false;
    out = v->text.substr(0, v->text.find('\0'));
    return true;
}

bool setString(const Handle& h, const std::string& valueName, const std::string& text) {
    if (!h.open) return false;
    return registry::setString(h, valueName, text);
}

bool saveString(const std::string& keyPath, const std::string& valueName, const std::string& text) {
    Handle h;
    if (!reg::createKey(keyPath, "", h)) return false;
    const bool set = reg::setString(h, valueName, text);
    const bool closed = reg::closeKey(h);
    return set && closed;
}

std::string getString(const std::string& keyPath, const std::string& valueName, const std::string& defaultValue) {
    Handle h;
    if (!reg::openKey(keyPath, h)) return defaultValue;
    std::string text;
    const bool ok = reg::queryString(h, valueName, text);
    reg::closeKey(h);
    return ok ? text : defaultValue;
}

} // namespace reg

std::string RegGetSetting2(const std::string& relativeKey, const std::string& valueName,
                           const std::string& defaultValue) {
    return reg::getString(std::string(settings::kRoot) + relativeKey, valueName, defaultValue);
}

void RegSaveSetting2(const std::string& relativeKey, const std::string& valueName, const std::string& value) {
    if (!reg::saveString(std::string(settings::kRoot) + relativeKey, valueName, value))
        LogStatus("LS0097:ERROR:M29:RegSaveSetting2 false - " + valueName + " " + value, "");
}

std::string RegGetSetting2(const settings::Setting& s) { return RegGetSetting2(s.key, s.name, s.defaultValue); }

void RegSaveSetting2(const settings::Setting& s, const std::string& value) { RegSaveSetting2(s.key, s.name, value); }

bool settingToBool(const std::string& text) {
    try {
        return Variant(text).toBool();
    } catch (const AutomationError&) {
        return false;
    }
}

std::string settings::epgCustomKey(int index) { return std::string(key::EPGCustom) + std::to_string(index); }

} // namespace vesper
