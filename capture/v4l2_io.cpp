#include "capture/v4l2_io.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vesper::capture {

std::vector<std::string> V4l2Io::deviceNodes() {
    std::vector<std::string> nodes;
    std::error_code ec;
    // The non-throwing walk: a range-for would throw from its increment.
    for (std::filesystem::directory_iterator it("/dev", ec), end; !ec && it != end; it.increment(ec)) {
        const auto& e = *it;
        const std::string name = e.path().filename().string();
        if (name.rfind("video", 0) == 0 && name.size() > 5 &&
            std::all_of(name.begin() + 5, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            nodes.push_back(e.path().string());
    }
    // /dev/video2 before /dev/video10.
    std::sort(nodes.begin(), nodes.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return nodes;
}

int V4l2Io::open(const std::string& path) { return ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC); }

int V4l2Io::ioctl(int fd, unsigned long request, void* arg) {
    int r;
    do {
        r = ::ioctl(fd, request, arg);
    } while (r == -1 && errno == EINTR);
    return r;
}

int V4l2Io::close(int fd) { return ::close(fd); }

namespace {
V4l2Io g_realIo;
std::atomic<V4l2Io*> g_io{&g_realIo};
} // namespace

V4l2Io& v4l2Io() { return *g_io.load(); }
void setV4l2Io(V4l2Io* io) { g_io.store(io ? io : &g_realIo); }

} // namespace vesper::capture
