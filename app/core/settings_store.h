// The settings store: text values under the product key of the user's hive.
#pragma once

#include "app/core/settings_layout.h"

#include "platform/registry.h"

#include <string>

namespace vesper {

// Returns the stored text, or the default when the key or value is missing,
// not a string, or unreadable. Never fails.
std::string RegGetSetting2(const std::string& relativeKey, const std::string& valueName,
                           const std::string& defaultValue);
// Stores the text, creating the key path when missing. A failure is logged as
// LS0097 and otherwise ignored.
void RegSaveSetting2(const std::string& relativeKey, const std::string& valueName, const std::string& value);

// The same through the layout table.
std::string RegGetSetting2(const settings::Setting& s);
void RegSaveSetting2(const settings::Setting& s, const std::string& value);

// Boolean conversion of a stored text: "True"/"False" in any case, a number is
// True when not zero; anything else is False.
bool settingToBool(const std::string& text);

// The low-level helpers beneath the two operations (absolute key paths under
// HKEY_CURRENT_USER, the only root there is).
namespace reg {
using Handle = registry::Key;
bool openKey(const std::string& keyPath, Handle& out);
bool closeKey(Handle& h);
// False when the base path is empty; a leading backslash of the sub-path is
// dropped; opens or creates base + "\" + sub (or base alone).
bool createKey(const std::string& basePath, const std::string& subPath, Handle& out);
// True only for a REG_SZ value; the text is cut at its first NUL.
bool queryString(const Handle& h, const std::string& valueName, std::string& out);
bool setString(const Handle& h, const std::string& valueName, const std::string& text);
bool saveString(const std::string& keyPath, const std::string& valueName, const std::string& text);
std::string getString(const std::string& keyPath, const std::string& valueName, const std::string& defaultValue);
} // namespace reg

} // namespace vesper
