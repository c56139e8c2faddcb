// The system calls through which real V4L2 cards are driven, replaceable so
// that the ioctl sequences can be exercised without hardware.
#pragma once

#include <string>
#include <vector>

namespace vesper::capture {

class V4l2Io {
public:
    virtual ~V4l2Io() = default;
    // The device nodes to look at ("/dev/video0", ...), in order.
    virtual std::vector<std::string> deviceNodes();
    virtual int open(const std::string& path);
    // Like ioctl(2): 0 or -1 with the error in errno.
    virtual int ioctl(int fd, unsigned long request, void* arg);
    virtual int close(int fd);
};

// The layer in use (the real one unless a test replaced it).
V4l2Io& v4l2Io();
// Replaces the layer; nullptr restores the real one. The caller keeps it alive.
void setV4l2Io(V4l2Io* io);

} // namespace vesper::capture
