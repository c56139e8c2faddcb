// Runs the real main program as a separate process in a program folder and
// hive of its own, offscreen, with every message box and notice written to a
// file and answered from a list.
#pragma once

#include "app/core/settings_layout.h"

#include "platform/dates.h"

#include <nlohmann/json.hpp>

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vesper::test {

class VesperRun {
public:
    explicit VesperRun(const std::string& name);
    ~VesperRun();

    std::string folder;   // VESPER_HOME: logs, Schedule.txt, MyTV
    std::string hiveFile; // VESPER_REGISTRY: the folder's own, unless a test shares one
    std::string hive() const { return hiveFile; }
    std::string uiLogPath() const { return folder + "/ui.jsonl"; }
    std::string file(const std::string& name) const { return folder + "/" + name; }
    std::string answers;      // VESPER_TEST_UI_ANSWERS
    std::string virtualCards; // VESPER_VIRTUAL_CARDS (a file), empty: the built-in card
    // More of the environment (XDG_RUNTIME_DIR, VESPER_TEST_NOW, ...); an
    // empty value removes the variable.
    std::map<std::string, std::string> env;

    // Settings of this run's hive; "<absent>" when not stored.
    void set(const settings::Setting& s, const std::string& value);
    void set(const std::string& key, const std::string& name, const std::string& value);
    std::string get(const settings::Setting& s) const;
    std::string get(const std::string& key, const std::string& name) const;
    // Every setting under the product key, as text (to compare before and after).
    std::string settingsExport() const;
    // Registers a class whose library does not exist: creating it fails.
    void breakComponent(const std::string& progId);
    // Switches the start-up trace and the normal log on.
    void traceOn();

    void start();
    // The exit code once the program has ended within `seconds`, else -1.
    int wait(double seconds = 90);
    // SIGTERM, then wait.
    int terminate(double seconds = 60);
    // Another signal, then wait.
    int signal(int sig, double seconds = 60);
    // SIGKILL, then reap.
    void kill();
    bool running() const { return m_pid > 0; }
    pid_t pidOfRun() const { return m_pid; }
    // Polls `done` until it holds or `seconds` have passed (the program is a
    // separate process: there is no clock of ours to move).
    bool waitFor(const std::function<bool()>& done, double seconds = 90) const;
    bool reachedOk29(double seconds = 90) const;

    // The "LS...." lines of the start-up trace and of the normal log.
    std::vector<std::string> trace() const;
    std::vector<std::string> log() const;
    // When the normal log's entry with this message was written, by the
    // program's clock; 0 when there is none.
    DateTime loggedAt(const std::string& message) const;
    // The message boxes and notices, one JSON object each.
    std::vector<nlohmann::json> ui() const;
    std::string output() const; // standard output and error
    // A line of the normal log starts with `prefix`.
    bool logged(const std::string& prefix) const;

private:
    pid_t m_pid = -1;
};

// A recording's length as ffprobe reads it; -1 when it cannot.
double mediaSeconds(const std::string& file);

// "LS0008:INFO:F00:Form_Load():OK01" ... for the given checkpoints.
std::vector<std::string> checkpoints(const std::vector<int>& numbers);
// 1..29 without the given numbers.
std::vector<int> allCheckpointsBut(const std::vector<int>& left);

} // namespace vesper::test
