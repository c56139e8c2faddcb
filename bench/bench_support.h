// What the benchmarks share: CPU time of this process and of a child, and the
// CPU a gst-launch-1.0 pipeline (the peers of the live-picture figures) uses.
#pragma once

#include <glib.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace vesper::bench {

// User and system time together.
inline double cpuSeconds(const rusage& r) {
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

inline double cpuSelf() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return cpuSeconds(r);
}

// Runs gst-launch-1.0 on a pipeline description whose live source is made to
// stop after `frames` pictures; the CPU seconds it used, 0 when it failed.
inline double gstLaunchCpuSeconds(std::string description, long frames) {
    const auto live = description.find("is-live=true");
    if (live != std::string::npos) description.replace(live, 12, "is-live=true num-buffers=" + std::to_string(frames));
    // gst-launch-1.0 takes the description as words, as a shell splits it.
    gchar** words = nullptr;
    if (!g_shell_parse_argv(description.c_str(), nullptr, &words, nullptr)) return 0;
    std::vector<char*> args{const_cast<char*>("gst-launch-1.0"), const_cast<char*>("-q")};
    for (gchar** w = words; *w; ++w)
        args.push_back(*w);
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 1);
        execvp("gst-launch-1.0", args.data());
        _exit(127);
    }
    g_strfreev(words);
    int status = 0;
    rusage r{};
    if (pid < 0 || wait4(pid, &status, 0, &r) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return 0;
    return cpuSeconds(r);
}

} // namespace vesper::bench
