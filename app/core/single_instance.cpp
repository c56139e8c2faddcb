#include "app/core/single_instance.h"

#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace vesper {

namespace fs = std::filesystem;

std::string singleInstanceLockPath() {
    std::error_code ec;
    fs::path hive = fs::absolute(registry::hivePath(), ec);
    if (ec) hive = registry::hivePath();
    // The same hive reached through a link or another spelling is one hive.
    const fs::path canonical = fs::weakly_canonical(hive, ec);
    if (!ec) hive = canonical;
    return hive.lexically_normal().string() + ".lock";
}

SingleInstanceLock::SingleInstanceLock() : SingleInstanceLock(singleInstanceLockPath()) {}

SingleInstanceLock::SingleInstanceLock(std::string path) : m_path(std::move(path)) {}

SingleInstanceLock::~SingleInstanceLock() { release(); }

SingleInstanceLock::Result SingleInstanceLock::acquire() {
    if (held()) return Result::Acquired;
    m_error.clear();
    std::error_code ec;
    const fs::path folder = fs::path(m_path).parent_path();
    if (!folder.empty()) fs::create_directories(folder, ec);
    // Close-on-exec: a program started from Vesper must not inherit the lock
    // and keep it after Vesper has ended. A lock file we may not write (a
    // hive folder shared read-only) still locks when it can be read.
    int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 && (errno == EACCES || errno == EROFS)) fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        m_error = std::strerror(errno);
        return Result::Failed;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) return Result::HeldByAnother;
        m_error = std::strerror(err);
        return Result::Failed;
    }
    m_fd = fd;
    return Result::Acquired;
}

void SingleInstanceLock::release() {
    if (m_fd < 0) return;
    // The file stays: removing it would let a third start lock a new file
    // while a second still waits on the old one.
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
}

SingleInstanceLock::Result acquireSingleInstance(std::string& error) {
    // Held until the process ends; the kernel drops it then.
    static SingleInstanceLock* lock = new SingleInstanceLock();
    const auto r = lock->acquire();
    error = lock->error();
    return r;
}

std::string alreadyRunningMessage() { return "Vesper is already running.\r\nCannot run multiple copies of Vesper\r\n"; }

std::string lockFailedMessage(const std::string& path, const std::string& reason) {
    return "Vesper cannot make sure that it runs only once on these settings, so it does not start.\r\n\r\n"
           "The lock file " +
           path + " cannot be used: " + reason +
           ".\r\n\r\nMake its folder writable for you (or set VESPER_REGISTRY to a settings file in a folder you may "
           "write), then start Vesper again.";
}

} // namespace vesper
