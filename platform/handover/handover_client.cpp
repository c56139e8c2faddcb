#include "platform/handover/handover_client.h"

#include "platform/handover/handover_protocol.h"

#include "platform/clock.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace vesper::handover {

namespace {

using Steady = std::chrono::steady_clock;

// Waits for `events` on fd in short slices so the host's events keep flowing
// (a server in the same process must be able to answer). False on time-out.
bool waitFor(int fd, short events, Steady::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, 20);
        if (r > 0) return true;
        if (r < 0 && errno != EINTR) return false;
        if (Steady::now() >= deadline) return false;
        processHostEvents();
    }
}

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

SendResult sendToMainProgram(const std::string& path, const std::string& text, double timeoutSeconds) {
    if (path.empty()) return SendResult::NoAnswer;
    if (text.size() > kHandOverMaxBytes) return SendResult::Refused;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return SendResult::NoAnswer;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);

    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.get() < 0) return SendResult::NoAnswer;
    const auto deadline =
        Steady::now() + std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(timeoutSeconds));
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (errno != EINPROGRESS && errno != EAGAIN) return SendResult::NoAnswer;
        if (!waitFor(fd.get(), POLLOUT, deadline)) return SendResult::NoAnswer;
        int error = 0;
        socklen_t len = sizeof error;
        if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) return SendResult::NoAnswer;
    }

    std::string message(4, '\0');
    encodeLength(static_cast<uint32_t>(text.size()), reinterpret_cast<unsigned char*>(message.data()));
    message += text;
    size_t sent = 0;
    while (sent < message.size()) {
        const ssize_t n = ::send(fd.get(), message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // The server may answer (and close) before it has read everything:
        // its answer still tells what happened.
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(fd.get(), POLLOUT | POLLIN, deadline)) return SendResult::NoAnswer;
            pollfd p{fd.get(), POLLIN, 0};
            if (::poll(&p, 1, 0) > 0) break;
            continue;
        }
        break;
    }

    char answer = 0;
    for (;;) {
        if (!waitFor(fd.get(), POLLIN, deadline)) return SendResult::NoAnswer;
        const ssize_t n = ::recv(fd.get(), &answer, 1, 0);
        if (n == 1) break;
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        return SendResult::NoAnswer;
    }
    switch (answer) {
    case kAccepted: return SendResult::Accepted;
    case kAlive: return SendResult::Alive;
    case kRefused: return SendResult::Refused;
    default: return SendResult::NoAnswer;
    }
}

} // namespace vesper::handover
