// The capture devices the encoder can use, as the encoder engine lists them.
#pragma once

#include "app/core/program.h"

#include <string>
#include <vector>

namespace vesper {

inline constexpr const char* kVideoDeviceType = "Video Capture Device";
inline constexpr const char* kAudioDeviceType = "Audio Capture Device";

// The device names of the given resource type ("Video Capture Device" or
// "Audio Capture Device"), at most 25, the engine's default resources left out.
// An engine that cannot be created or fails gives what was read (logged).
std::vector<std::string> GetDeviceList(Program& program, const std::string& typeName);

} // namespace vesper
