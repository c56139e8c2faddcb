// The status log: diagnostics entries in plain-text files of the program
// folder, in three channels each with its own switch.
#pragma once

#include <functional>
#include <string>

namespace vesper {

// Writes one entry unconditionally to the primary file (empty: "LogStatus.txt",
// appended) and, when no primary was named or a companion was, to the
// companion (empty: "LogStatusLast.txt", replaced). True when written; never
// raises.
bool LogS(const std::string& message, const std::string& primaryFileName = {},
          const std::string& companionFileName = {});

// Writes the entry when the named switch (empty: bLogStatus) is on. Returns
// what LogS returns, or false when the switch is off.
bool LogStatus(const std::string& message, const std::string& switchName = {});

// The entry text exactly as written (for the given time).
std::string statusLogEntry(const std::string& message, double when);

// Runs a step of a sequence that must go on whatever happens in it. An error
// the step raises does not end the caller; it is said on standard error with
// `what` (the status log holds what the step's own code logged).
void guarded(const char* what, const std::function<void()>& step);

} // namespace vesper
