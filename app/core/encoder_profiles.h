// Encoder profiles: the quality words of the main window, the profile names
// they stand for, and the list of every profile the encoder engine offers.
#pragma once

#include "app/core/output_files.h"
#include "app/core/program.h"

#include <string>
#include <vector>

namespace vesper {

inline constexpr const char* kProfileChoices[4] = {"Low", "Medium", "High", "Advance ..."};

// The profile name of a quality word; "Advance ..." gives the advance profile;
// any other text gives an empty name.
std::string profileNameForChoice(const std::string& choice, const std::string& advanceProfile);

// Every profile name of the encoder engine: the Windows Media profiles sorted
// by character codes, then our H.264 profiles in the engine's order. An
// engine that is missing or fails is logged and gives what was read. The
// profiles' bit rates go to program.profileBitRates.
std::vector<std::string> GetEncoderProfileList(Program& program);

// The size in bytes a recording of that length is expected to reach with the
// profile: its bit rate times the length; -1 when the bit rate is not known.
double estimatedRecordingBytes(const Program& program, const std::string& profileName, int durationMinutes);

// lblProfileName: the first 40 characters followed by " ..." when longer; the
// tool tip holds the whole name.
LabelFit profileLabelText(const std::string& profileName);

} // namespace vesper
