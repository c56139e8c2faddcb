// System information: processors and affinity, time zone, operating-system
// version, free disk space.
#pragma once

#include <cstdint>
#include <string>

namespace vesper {

int processorCount();
// Binds every thread of the process to the processors of `mask` (bit 0 = the
// first processor). True when every thread was bound.
bool setProcessAffinityMask(uint64_t mask);
// The processors the process may run on, as a mask.
uint64_t processAffinityMask();

// Standard bias of the local time zone in minutes: UTC = local time + bias
// (west of Greenwich is positive; daylight saving not applied).
long timeZoneStandardBias();

struct OsVersion {
    int major = 0;
    int minor = 0;
    int build = 0;
    std::string platform;    // kernel name, "Linux"
    std::string release;     // kernel release text
    std::string description; // PRETTY_NAME of /etc/os-release, when present
};
OsVersion osVersion();

// Bytes available to the user on the file system holding `path`; -1 when it
// cannot be measured.
long long freeDiskSpace(const std::string& path);
// Total bytes of that file system; -1 when it cannot be measured.
long long totalDiskSpace(const std::string& path);

} // namespace vesper
