// Where the main program keeps the values that other programs read to find
// and reach it: its settings root, and the status and path values under it.
// The main program's settings layout uses these names, so they are spelt once.
#pragma once

namespace vesper::mainprogram {

// The product key under HKEY_CURRENT_USER.
inline constexpr const char* kSettingsRoot = "Software\\Orvane\\Vesper\\1.0";

// Relative keys, with their leading backslash.
inline constexpr const char* kStatusKey = "\\Application\\Status";
inline constexpr const char* kPropertiesKey = "\\Application\\Properties";

// "True" once the main program has finished loading (a crash may leave it so).
inline constexpr const char* kAppLoadComplete = "bAppLoadComplete";
// The folder the main program runs from.
inline constexpr const char* kAppPath = "AppPath";

} // namespace vesper::mainprogram
