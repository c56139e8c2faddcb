// The schedule file "Schedule.txt": a header line "VER1.0", then one line per
// event with six comma-separated fields (start, channel, duration, active,
// repeat word, file name), lines ended by CR LF.
#pragma once

#include "scheduler/event_collection.h"

#include <string>

namespace slotbook::Files {

inline constexpr const char* kScheduleFileName = "Schedule.txt";

// The folder the component keeps its schedule in: the program folder of the
// folder the library was loaded from.
std::string componentFolder();
// "Schedule.txt" in the component's folder.
std::string schedulePath();

// Reads the schedule file at `path` (created empty when missing). Any line that
// does not convert abandons the whole load with a run-time error.
EventCollection LoadSchedule(const std::string& path);
// Replaces the file at `path` with the collection's events, safely: the old
// file stays whole when the save fails.
void SaveSchedule(const EventCollection& events, const std::string& path);
// The file's text for one event, without the line end.
std::string eventLine(const EventClass& e);

// Longest line a schedule file may hold.
inline constexpr size_t kMaxLineLength = 65536;

} // namespace slotbook::Files
