#include "components/chanplug/channel_command.h"

#include "platform/registry.h"
#include "platform/shell.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace vesper::chanplug {

namespace {

void report(const std::string& text) { std::cerr << "Chanplug: " << text << std::endl; }

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const auto& w : words)
        out += (out.empty() ? "" : " ") + w;
    return out;
}

} // namespace

std::string configuredCommandLine() {
    const auto value = registry::queryValue(kPluginKey, kCommandValue);
    if (!value || value->type != registry::ValueType::String) return {};
    std::string text = value->text.substr(0, value->text.find('\0'));
    if (text.find_first_not_of(" \t") == std::string::npos) return {};
    return text;
}

std::vector<std::string> channelCommand(const std::string& commandLine, const std::string& channel) {
    std::vector<std::string> words = splitCommandLine(commandLine);
    bool substituted = false;
    for (auto& word : words) {
        for (size_t at = word.find("%1"); at != std::string::npos; at = word.find("%1", at + channel.size())) {
            word.replace(at, 2, channel);
            substituted = true;
        }
    }
    if (!substituted && !words.empty()) words.push_back(channel);
    return words;
}

CommandOutcome runCommand(const std::vector<std::string>& words, double timeoutSeconds) {
    CommandOutcome outcome;
    if (words.empty()) {
        report("no command line is set");
        return outcome;
    }
    std::vector<char*> argv;
    for (const auto& w : words)
        argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own, so that a script's children end with it.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);

    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        report("cannot start \"" + words[0] + "\": " + std::strerror(rc));
        return outcome;
    }
    outcome.started = true;

    using namespace std::chrono;
    const auto deadline = steady_clock::now() + duration<double>(timeoutSeconds);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) {
            report("lost the command \"" + joined(words) + "\": " + std::strerror(errno));
            return outcome;
        }
        if (steady_clock::now() >= deadline) {
            ::kill(-pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            outcome.timedOut = true;
            report("the command \"" + joined(words) + "\" did not end within " +
                   std::to_string(static_cast<int>(timeoutSeconds)) + " seconds and was ended");
            return outcome;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
    if (WIFEXITED(status)) {
        outcome.exitCode = WEXITSTATUS(status);
        if (outcome.exitCode != 0)
            report("the command \"" + joined(words) + "\" failed with exit code " + std::to_string(outcome.exitCode));
    } else if (WIFSIGNALED(status)) {
        outcome.signal = WTERMSIG(status);
        report("the command \"" + joined(words) + "\" was ended by signal " + std::to_string(outcome.signal));
    }
    return outcome;
}

} // namespace vesper::chanplug
