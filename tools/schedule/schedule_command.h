// vesper-schedule: the schedule from the command line, through the same
// "Slotbook.EventsObj" object the main program uses.
#pragma once

#include "scheduler/event_rules.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace vesper::schedule {

// When set (to a date and time such as "2030-04-18 12:00"), the command runs
// as if it were that moment: tests fix the date they run at.
inline constexpr const char* kNowVariable = "VESPER_SCHEDULE_NOW";

// Exit codes.
enum Exit { Ok = 0, Refused = 1, BadArguments = 2, SchedulerFailed = 3 };

// Runs one command line (without the program name). Normal output goes to
// `out`, messages to `err`.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The Add Event dialog's file-name cleaning, shared with it.
using vesper::MakeValidFilename;

// A length in minutes, "90", or hours and minutes, "1:30"; -1 when invalid.
int parseLength(const std::string& text);

} // namespace vesper::schedule
