// Start-up time and memory of the main program, first run (with the device
// probe) and later run, beside a bare Qt Widgets program showing one window.
#include "app/core/settings_layout.h"
#include "app/core/settings_store.h"

#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The start-up's fixed waits: each tuner bring-up waits one second twice; a
// first run brings the probed pair up and then up again, a later run once.
// The schedule here is empty, so its refresh does not pause.
constexpr double kFirstRunWaits = 4.0;
constexpr double kLaterRunWaits = 2.0;

struct Sample {
    double seconds = -1; // exec to ready; -1: never ready
    long maxRssKb = 0;
};

int g_cpu = 0;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Starts `argv` pinned to the bench's processor with `env` added, waits until
// `ready` holds (checked whenever something changes in `folder`), then ends
// it with SIGTERM and reads its peak memory.
Sample measure(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& folder,
               const std::function<bool()>& ready) {
    Sample s;
    const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    inotify_add_watch(watch, folder.c_str(), IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE);
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(g_cpu, &set);
        sched_setaffinity(0, sizeof set, &set);
        for (const auto& kv : env)
            putenv(const_cast<char*>(kv.c_str()));
        (void)!freopen("/dev/null", "w", stdout);
        (void)!freopen("/dev/null", "w", stderr);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    const auto deadline = t0 + std::chrono::seconds(120);
    while (Clock::now() < deadline) {
        pollfd p{watch, POLLIN, 0};
        poll(&p, 1, 100);
        char buf[4096];
        while (read(watch, buf, sizeof buf) > 0) {
        }
        if (ready()) {
            s.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
            break;
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            close(watch);
            return s;
        }
    }
    close(watch);
    kill(pid, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    s.maxRssKb = usage.ru_maxrss;
    return s;
}

std::string tempFolder(const std::string& name) {
    std::string pattern = (std::filesystem::temp_directory_path() / ("vesper-startup-" + name + "-XXXXXX")).string();
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

// Settings of a hive of the bench's own.
void withHive(const std::string& hive, const std::function<void()>& f) {
    const std::string old = std::getenv("VESPER_REGISTRY") ? std::getenv("VESPER_REGISTRY") : "";
    setenv("VESPER_REGISTRY", hive.c_str(), 1);
    f();
    setenv("VESPER_REGISTRY", old.c_str(), 1);
}

Sample runVesper(const std::string& folder) {
    const std::string trace = folder + "/LogStatusAppInit.txt";
    std::filesystem::remove(trace);
    withHive(folder + "/registry.sqlite", [] { vesper::RegSaveSetting2(vesper::settings::bLogStatusAppInit, "True"); });
    return measure({VESPER_PATH},
                   {"VESPER_HOME=" + folder, "VESPER_REGISTRY=" + folder + "/registry.sqlite",
                    "VESPER_TEST_UI_LOG=" + folder + "/ui.jsonl"},
                   folder, [&] { return readFile(trace).find("OK29") != std::string::npos; });
}

Sample runBare(const std::string& folder) {
    const std::string marker = folder + "/shown";
    std::filesystem::remove(marker);
    return measure({BARE_PATH, marker}, {}, folder, [&] { return std::filesystem::exists(marker); });
}

double median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

void print(const char* name, const std::vector<Sample>& samples, double waits, double bareSeconds) {
    std::vector<double> t;
    std::vector<double> rss;
    int failed = 0;
    for (const auto& s : samples) {
        if (s.seconds < 0) {
            ++failed;
            continue;
        }
        t.push_back(s.seconds);
        rss.push_back(s.maxRssKb / 1024.0);
    }
    const double m = median(t);
    std::printf("%-12s exec->ready median %6.3f s (min %6.3f, max %6.3f)  fixed waits %4.1f s  beyond them %6.3f s "
                "(%5.1fx bare)  peak RSS median %6.1f MB%s\n",
                name, m, t.empty() ? -1 : *std::min_element(t.begin(), t.end()),
                t.empty() ? -1 : *std::max_element(t.begin(), t.end()), waits, m - waits,
                bareSeconds > 0 ? (m - waits) / bareSeconds : 0.0, median(rss), failed ? "  (some runs failed)" : "");
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0)
        for (int i = 0; i < CPU_SETSIZE; ++i)
            if (CPU_ISSET(i, &allowed)) {
                g_cpu = i;
                break;
            }
    const std::string runtime = tempFolder("runtime");
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("XDG_CACHE_HOME", (runtime + "/cache").c_str(), 1);

    std::vector<Sample> first, later, bare;
    std::vector<std::string> folders;
    const std::string laterFolder = tempFolder("later");
    folders.push_back(laterFolder);
    runVesper(laterFolder); // its first run, not counted
    for (int i = 0; i < runs; ++i) {
        const std::string f = tempFolder("first");
        folders.push_back(f);
        first.push_back(runVesper(f));
        later.push_back(runVesper(laterFolder));
        bare.push_back(runBare(runtime));
    }
    std::vector<double> bareTimes, bareRss;
    for (const auto& s : bare)
        if (s.seconds >= 0) {
            bareTimes.push_back(s.seconds);
            bareRss.push_back(s.maxRssKb / 1024.0);
        }
    const double bareMedian = median(bareTimes);
    std::printf("startup-bench: %d runs each, every program pinned to processor %d, QT_QPA_PLATFORM=%s\n", runs, g_cpu,
                std::getenv("QT_QPA_PLATFORM"));
    std::printf("%-12s exec->shown median %6.3f s  peak RSS median %6.1f MB\n", "bare Qt", bareMedian, median(bareRss));
    print("first run", first, kFirstRunWaits, bareMedian);
    print("later run", later, kLaterRunWaits, bareMedian);
    std::error_code ec;
    for (const auto& f : folders)
        std::filesystem::remove_all(f, ec);
    std::filesystem::remove_all(runtime, ec);
    return 0;
}
