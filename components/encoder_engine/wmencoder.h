// "WMEncEng.WMEncoder", the encoder engine: what programs ask of it before a
// recording (the capture devices it can encode from, the profiles it offers)
// and the repair of a recording that was cut off.
#pragma once

#include "platform/automation.h"

namespace vesper::wmenc {

// A new engine object (the caller owns it).
Object* newWMEncoder();

} // namespace vesper::wmenc
