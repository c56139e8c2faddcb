// The rules a recording's file name and start must pass before an event is
// scheduled, shared by the Add Event dialog and vesper-schedule so that both
// put the same names into the schedule.
#pragma once

#include "platform/dates.h"

#include <string>

namespace vesper {

// The name the Add Event dialog offers when nothing else is known.
inline constexpr const char* kDefaultOutputName = "default.wmv";

// Letters A-Z and a-z, digits, blank and - $ ! @ # % . stay; "&" becomes
// "And"; every other character (one per character, also for multi-byte
// UTF-8 ones) becomes "_".
std::string MakeValidFilename(const std::string& name);

// The name as it is scheduled: cleaned, ".wmv" appended unless the name
// already ends in it (any letter case), a name with nothing in it but blanks
// and dots (which would make a hidden or nameless file) replaced by the
// default name, and a very long name cut so that the file can be created.
std::string scheduledFileName(const std::string& typed);

// Names longer than this (before ".wmv") are cut; it leaves room within the
// file system's 255-byte limit for the numbering of duplicate recordings.
inline constexpr size_t kMaxFileStemLength = 200;

// An event has expired when its end (start plus length) is earlier than
// `now`; one that has started but not ended is still accepted.
bool eventExpired(DateTime start, int durationMinutes, DateTime now);
// The refusal shown for an expired event; `startText` is the start as the
// user entered it, `lineBreak` the line break of the message.
std::string expiredMessage(const std::string& startText, const std::string& lineBreak = "\r\n");

} // namespace vesper
