// "WMEncEng.WMEncoder", the encoder engine: what programs ask of it before a
// recording (the capture devices it can encode from, the profiles it offers)
// and the repair of a recording that was cut off.
#pragma once

#include "platform/automation.h"

namespace vesper::wmenc {

// The plug-in names and default resources that the engine lists.
inline constexpr const char* kVideoPluginName = "Video Capture Device";
inline constexpr const char* kAudioPluginName = "Audio Capture Device";
inline constexpr const char* kDefaultVideoResource = "Default_Video_Device";
inline constexpr const char* kDefaultAudioResource = "Default_Audio_Device";

// A new engine object (the caller owns it).
Object* newWMEncoder();

} // namespace vesper::wmenc
