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

// The recording profile chosen in the main program, which names its files:
// the quality word ("Low", "Medium", "High", or the advance choice, which
// stands for the profile stored as the advance profile).
inline constexpr const char* kEncoderKey = "\\Encoder\\CurrentSettings";
inline constexpr const char* kProfileChoice = "ProfileName";
inline constexpr const char* kAdvanceProfile = "Advance";
inline constexpr const char* kAdvanceChoice = "Advance ...";

} // namespace vesper::mainprogram
