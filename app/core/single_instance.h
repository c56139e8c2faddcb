// One running copy of the main program per registry hive: an flock() on a
// lock file beside the hive, which the kernel drops when the process ends in
// any way, so a crashed or killed copy never blocks the next start. The lock
// depends on the hive alone, whatever the environment of the copy (a desktop
// session, cron, ssh, su), so two copies never run on one hive.
#pragma once

#include <string>

namespace vesper {

class SingleInstanceLock {
public:
    enum class Result { Acquired, HeldByAnother, Failed };

    // Default path: singleInstanceLockPath().
    SingleInstanceLock();
    explicit SingleInstanceLock(std::string path);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // HeldByAnother when another process holds the lock; Failed (with
    // `error()` saying why) when it cannot be taken at all: the program
    // must not run unchecked then.
    Result acquire();
    void release();
    bool held() const { return m_fd >= 0; }
    const std::string& path() const { return m_path; }
    const std::string& error() const { return m_error; }

private:
    std::string m_path;
    std::string m_error;
    int m_fd = -1;
};

// "<hive>.lock", the hive's absolute path with its links resolved.
std::string singleInstanceLockPath();

// Takes the process's lock, held until the process ends. `error` receives
// the reason of a failure.
SingleInstanceLock::Result acquireSingleInstance(std::string& error);

// The second copy's message (exclamation icon, the window caption as title).
std::string alreadyRunningMessage();
// The message when the lock cannot be taken (critical icon, the caption as
// title).
std::string lockFailedMessage(const std::string& path, const std::string& reason);

} // namespace vesper
