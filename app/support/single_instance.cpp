#include "app/support/single_instance.h"

#include "platform/paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vesper {

SingleInstanceLock::SingleInstanceLock() : SingleInstanceLock(instanceRuntimePath("lock")) {}

SingleInstanceLock::SingleInstanceLock(std::string path) : m_path(std::move(path)) {}

SingleInstanceLock::~SingleInstanceLock() { release(); }

bool SingleInstanceLock::acquire() {
    if (held()) return true;
    if (m_path.empty()) {
        std::fprintf(stderr, "vesper: no private runtime folder for the single-copy lock; not checking\n");
        return true;
    }
    // Close-on-exec: a program started from Vesper must not inherit the lock
    // and keep it after Vesper has ended.
    const int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        std::fprintf(stderr, "vesper: cannot open the lock %s: %s; not checking\n", m_path.c_str(),
                     std::strerror(errno));
        return true;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) return false;
        std::fprintf(stderr, "vesper: cannot take the lock %s: %s; not checking\n", m_path.c_str(), std::strerror(err));
        return true;
    }
    m_fd = fd;
    return true;
}

void SingleInstanceLock::release() {
    if (m_fd < 0) return;
    // The file stays: removing it would let a third start lock a new file
    // while a second still waits on the old one.
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
}

bool acquireSingleInstance() {
    // Held until the process ends; the kernel drops it then.
    static SingleInstanceLock* lock = new SingleInstanceLock();
    return lock->acquire();
}

std::string alreadyRunningMessage() { return "Vesper is already running.\r\nCannot run multiple copies of Vesper\r\n"; }

} // namespace vesper
