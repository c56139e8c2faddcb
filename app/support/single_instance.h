// One running copy of the main program per user and registry hive: a lock
// file taken with flock(), which the kernel drops when the process ends in any
// way, so a crashed or killed copy never blocks the next start.
#pragma once

#include <string>

namespace vesper {

class SingleInstanceLock {
public:
    // Default path: instanceRuntimePath("lock").
    SingleInstanceLock();
    explicit SingleInstanceLock(std::string path);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // False only when another process holds the lock. A lock that cannot be
    // taken for any other reason (no runtime folder, no permission) lets the
    // program run: better two copies than none.
    bool acquire();
    void release();
    bool held() const { return m_fd >= 0; }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    int m_fd = -1;
};

// Takes the process's lock, held until the process ends. False when another
// copy runs.
bool acquireSingleInstance();

// The second copy's message (exclamation icon, the window caption as title).
std::string alreadyRunningMessage();

} // namespace vesper
