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

// Every profile name of the encoder engine, sorted by character codes. An
// engine that is missing or fails is logged and gives what was read.
std::vector<std::string> GetEncoderProfileList(Program& program);

// lblProfileName: the first 40 characters followed by " ..." when longer; the
// tool tip holds the whole name.
LabelFit profileLabelText(const std::string& profileName);

} // namespace vesper
