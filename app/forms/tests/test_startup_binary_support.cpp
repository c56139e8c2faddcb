#include "app/forms/tests/test_startup_binary_support.h"

#include "app/core/settings_store.h"
#include "app/forms/startup.h"

#include "platform/dates.h"
#include "platform/registry.h"
#include "platform/testing/test_env.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

extern char** environ;

namespace vesper::test {

namespace {

// Points this process's settings calls at another hive for a while.
class HiveScope {
public:
    explicit HiveScope(const std::string& hive) {
        if (const char* old = std::getenv("VESPER_REGISTRY")) m_old = old;
        setenv("VESPER_REGISTRY", hive.c_str(), 1);
    }
    ~HiveScope() { setenv("VESPER_REGISTRY", m_old.c_str(), 1); }

private:
    std::string m_old;
};

std::string readIfThere(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> lsLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > 6 && line.compare(0, 2, "LS") == 0 && line[6] == ':') lines.push_back(line);
    }
    return lines;
}

using Clock = std::chrono::steady_clock;

} // namespace

VesperRun::VesperRun(const std::string& name) {
    static int serial = 0;
    folder = makeFolder(name + "-" + std::to_string(++serial));
    hiveFile = folder + "/registry.sqlite";
}

VesperRun::~VesperRun() {
    if (m_pid > 0) kill();
}

void VesperRun::set(const settings::Setting& s, const std::string& value) { set(s.key, s.name, value); }

void VesperRun::set(const std::string& key, const std::string& name, const std::string& value) {
    HiveScope scope(hive());
    RegSaveSetting2(key, name, value);
}

std::string VesperRun::get(const settings::Setting& s) const { return get(s.key, s.name); }

std::string VesperRun::get(const std::string& key, const std::string& name) const {
    HiveScope scope(hive());
    return RegGetSetting2(key, name, "<absent>");
}

std::string VesperRun::settingsExport() const {
    HiveScope scope(hive());
    return registry::exportText(settings::kRoot);
}

void VesperRun::breakComponent(const std::string& progId) {
    HiveScope scope(hive());
    const std::string clsid = "{00000000-0000-0000-0000-0000000000BD}";
    registry::setString("Software\\Classes\\" + progId + "\\CLSID", "", clsid);
    registry::setString("Software\\Classes\\CLSID\\" + clsid + "\\InprocServer32", "", folder + "/missing.so");
}

void VesperRun::traceOn() {
    set(settings::bLogStatusAppInit, "True");
    set(settings::bLogStatus, "True");
}

void VesperRun::start() {
    std::map<std::string, std::string> vars;
    for (char** e = environ; *e; ++e) {
        const std::string kv = *e;
        const auto eq = kv.find('=');
        if (eq != std::string::npos) vars[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    vars["VESPER_HOME"] = folder;
    vars["VESPER_REGISTRY"] = hive();
    vars["VESPER_TEST_UI_LOG"] = uiLogPath();
    vars["VESPER_TEST_UI_ANSWERS"] = answers;
    vars["QT_QPA_PLATFORM"] = "offscreen";
    if (virtualCards.empty())
        vars.erase("VESPER_VIRTUAL_CARDS");
    else
        vars["VESPER_VIRTUAL_CARDS"] = virtualCards;
    for (const auto& [k, v] : this->env) {
        if (v.empty())
            vars.erase(k);
        else
            vars[k] = v;
    }
    std::vector<std::string> kvs;
    for (const auto& [k, v] : vars)
        kvs.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (auto& kv : kvs)
        envp.push_back(kv.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = file("output.txt");
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::string program = VESPER_PATH;
    char* argv[] = {program.data(), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    m_pid = rc == 0 ? pid : -1;
}

int VesperRun::wait(double seconds) {
    if (m_pid <= 0) return -1;
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_pid = -1;
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            return 128 + WTERMSIG(status);
        }
        if (Clock::now() > deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int VesperRun::terminate(double seconds) { return signal(SIGTERM, seconds); }

int VesperRun::signal(int sig, double seconds) {
    if (m_pid <= 0) return -1;
    ::kill(m_pid, sig);
    return wait(seconds);
}

void VesperRun::kill() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
}

bool VesperRun::waitFor(const std::function<bool()>& done, double seconds) const {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

bool VesperRun::reachedOk29(double seconds) const {
    const std::string ok29 = checkpointMessage(29);
    return waitFor(
        [&] {
            for (const auto& l : trace())
                if (l == ok29) return true;
            return false;
        },
        seconds);
}

std::vector<std::string> VesperRun::trace() const { return lsLines(readIfThere(file("LogStatusAppInit.txt"))); }
std::vector<std::string> VesperRun::log() const { return lsLines(readIfThere(file("LogStatus.txt"))); }
DateTime VesperRun::loggedAt(const std::string& message) const {
    // Each entry is its time on a line of its own, then its message.
    std::istringstream in(readIfThere(file("LogStatus.txt")));
    DateTime when = 0;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == message) return when;
        if (const auto t = parseDate(line)) when = *t;
    }
    return 0;
}

std::string VesperRun::output() const { return readIfThere(file("output.txt")); }

std::vector<nlohmann::json> VesperRun::ui() const {
    std::vector<nlohmann::json> entries;
    std::istringstream in(readIfThere(uiLogPath()));
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) entries.push_back(nlohmann::json::parse(line, nullptr, false));
    return entries;
}

std::vector<std::string> checkpoints(const std::vector<int>& numbers) {
    std::vector<std::string> lines;
    for (int n : numbers)
        lines.push_back(checkpointMessage(n));
    return lines;
}

std::vector<int> allCheckpointsBut(const std::vector<int>& left) {
    std::vector<int> n;
    for (int i = 1; i <= 29; ++i)
        if (std::find(left.begin(), left.end(), i) == left.end()) n.push_back(i);
    return n;
}

bool VesperRun::logged(const std::string& prefix) const {
    for (const auto& l : log())
        if (l.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

double mediaSeconds(const std::string& file) {
    std::string probe;
    if (runCommand("ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 '" + file + "'", &probe) != 0)
        return -1;
    return std::atof(probe.c_str());
}

} // namespace vesper::test
