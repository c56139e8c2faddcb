#include "platform/sysinfo.h"

#include <dirent.h>
#include <sched.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

namespace vesper {

int processorCount() {
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

bool setProcessAffinityMask(uint64_t mask) {
    if (mask == 0) return false;
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int i = 0; i < 64; ++i)
        if (mask & (uint64_t(1) << i)) CPU_SET(i, &set);
    // The mask applies to the whole process: every thread that exists now.
    bool ok = true;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] == '.') continue;
            const pid_t tid = static_cast<pid_t>(std::atoi(e->d_name));
            if (sched_setaffinity(tid, sizeof set, &set) != 0) ok = false;
        }
        closedir(d);
    } else {
        ok = sched_setaffinity(0, sizeof set, &set) == 0;
    }
    return ok;
}

uint64_t processAffinityMask() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 0;
    uint64_t mask = 0;
    for (int i = 0; i < 64; ++i)
        if (CPU_ISSET(i, &set)) mask |= uint64_t(1) << i;
    return mask;
}

long timeZoneStandardBias() {
    tzset();
    return ::timezone / 60;
}

OsVersion osVersion() {
    OsVersion v;
    utsname u{};
    if (uname(&u) == 0) {
        v.platform = u.sysname;
        v.release = u.release;
        std::sscanf(u.release, "%d.%d.%d", &v.major, &v.minor, &v.build);
    }
    std::ifstream os("/etc/os-release");
    std::string line;
    while (std::getline(os, line)) {
        if (line.rfind("PRETTY_NAME=", 0) == 0) {
            v.description = line.substr(12);
            if (v.description.size() >= 2 && v.description.front() == '"')
                v.description = v.description.substr(1, v.description.size() - 2);
        }
    }
    return v;
}

long long freeDiskSpace(const std::string& path) {
    struct statvfs s {};
    if (statvfs(path.c_str(), &s) != 0) return -1;
    return static_cast<long long>(s.f_bavail) * static_cast<long long>(s.f_frsize);
}

long long totalDiskSpace(const std::string& path) {
    struct statvfs s {};
    if (statvfs(path.c_str(), &s) != 0) return -1;
    return static_cast<long long>(s.f_blocks) * static_cast<long long>(s.f_frsize);
}

} // namespace vesper
