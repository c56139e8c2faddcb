// The change-channel plug-in's work: run the command line the user set, with
// the channel put in, without a shell, for at most a few seconds.
#pragma once

#include <string>
#include <vector>

namespace vesper::chanplug {

// Where the user sets the command: HKCU\Software\Orvane\Chanplug\1.0, value
// CommandLine. "%1" in any word stands for the channel; a command without
// "%1" gets the channel as its last argument.
inline constexpr const char* kPluginKey = "Software\\Orvane\\Chanplug\\1.0";
inline constexpr const char* kCommandValue = "CommandLine";
inline constexpr double kCommandTimeoutSeconds = 5.0;

// The command line set in the hive; empty when none is set.
std::string configuredCommandLine();

// The words to run: the command line split like a shell would (quotes group
// words, no expansion), with the channel substituted.
std::vector<std::string> channelCommand(const std::string& commandLine, const std::string& channel);

struct CommandOutcome {
    bool started = false;
    bool timedOut = false; // ended by the plug-in after the time-out
    int exitCode = -1;     // when it exited by itself
    int signal = 0;        // when a signal ended it
    bool succeeded() const { return started && !timedOut && signal == 0 && exitCode == 0; }
};

// Runs the words as a process of its own group (standard input from
// /dev/null, output and errors inherited); after `timeoutSeconds` the whole
// group is killed. Failures are written to standard error.
CommandOutcome runCommand(const std::vector<std::string>& words, double timeoutSeconds = kCommandTimeoutSeconds);

} // namespace vesper::chanplug
