// The XML program event: a program chosen on a listing page (or handed over by
// any other program), read into the shared current-event record before the
// Add Event dialog opens in its external mode.
#pragma once

#include "app/core/program.h"

#include <optional>
#include <string>

namespace vesper {

// The hidden hand-over box's text at rest.
inline constexpr const char* kHandOverMarker = "{80916654-B856-494e-A0B1-C4BCC8B0492A}";

// Reads the document into program.currentEvent. False (after the message
// "loadXML() failed:  " + the parser's reason) when it cannot be parsed; True
// otherwise, even when a field could not be read (logged as LS0057, the field
// keeps its default). Documents with a DOCTYPE are refused, so no entity is
// ever expanded or fetched; so are documents longer than 64 KiB.
bool SetXML(Program& program, const std::string& document);

// A start written in UTC ("yyyy-mm-ddThh:mm:ss", anything from the ninth
// character of the time on ignored) as local wall-clock time, with the zone's
// offset at that instant. nullopt when the text is not such a time.
std::optional<DateTime> programEventStartToLocal(const std::string& text);

} // namespace vesper
