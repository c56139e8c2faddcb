#include "platform/files.h"

#include "platform/errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vesper {

namespace {
[[noreturn]] void fileError(int e, const std::string& path) {
    const int32_t n = fileErrorFromErrno(e);
    raiseError(n, "Vesper", errorText(n) + " (" + path + ": " + std::strerror(e) + ")");
}
} // namespace

void writeFileAtomically(const std::string& linkOrFile, const std::string& contents) {
    namespace fs = std::filesystem;
    fs::path target = linkOrFile;
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(target, ec); ++hops) {
        const fs::path next = fs::read_symlink(target, ec);
        if (ec) break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    const std::string path = target.string();
    const std::string dir = target.has_parent_path() ? target.parent_path().string() : ".";
    std::string tmpl = dir + "/." + target.filename().string() + ".XXXXXX";
    const int fd = mkstemp(tmpl.data());
    if (fd < 0) fileError(errno, path);
    // Keep the permissions of the file being replaced.
    struct stat st {};
    fchmod(fd, ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int e = errno;
            ::close(fd);
            ::unlink(tmpl.c_str());
            fileError(e, path);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int e = errno;
        ::unlink(tmpl.c_str());
        fileError(e, path);
    }
    if (::rename(tmpl.c_str(), path.c_str()) != 0) {
        const int e = errno;
        ::unlink(tmpl.c_str());
        fileError(e, path);
    }
    // Make the rename itself durable.
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) fileError(errno ? errno : ENOENT, path);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace vesper
