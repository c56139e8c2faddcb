#include "platform/files.h"

#include "platform/errors.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace vesper {

namespace {
[[noreturn]] void fileError(int e, const std::string& path) {
    const int32_t n = fileErrorFromErrno(e);
    raiseError(n, "Vesper", errorText(n) + " (" + path + ": " + std::strerror(e) + ")");
}
} // namespace

namespace {

constexpr size_t kTempSuffixLength = 6;

std::string randomSuffix() {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static thread_local std::mt19937_64 rng{std::random_device{}() ^ (uint64_t(::getpid()) << 32)};
    std::string out(kTempSuffixLength, 'x');
    for (char& c : out)
        c = kChars[rng() % (sizeof kChars - 1)];
    return out;
}

// Temporary files of savers that died (killed mid-save) would stay for ever.
// Each saver holds a lock on its own temporary file until it has renamed it,
// so a file of ours that can be locked belongs to nobody alive.
void removeStaleTemporaries(const std::string& dir, const std::string& prefix, const std::string& mine) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() != prefix.size() + kTempSuffixLength || name.compare(0, prefix.size(), prefix) != 0 ||
            name == mine)
            continue;
        const std::string path = dir + "/" + name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat held {
        }, named{};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
            ::lstat(path.c_str(), &named) == 0 && named.st_ino == held.st_ino && named.st_dev == held.st_dev)
            ::unlink(path.c_str());
        ::close(fd);
    }
    ::closedir(d);
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
    const std::string prefix = "." + target.filename().string() + ".";

    // The file being replaced keeps its permissions; a new one gets what the
    // umask leaves of rw-rw-rw-.
    struct stat old {};
    const bool replacing = ::stat(path.c_str(), &old) == 0;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = dir + "/" + prefix + randomSuffix();
        fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST && attempt < 100) continue;
            fileError(errno, path);
        }
        // Locked until renamed. A sweeper of another saver may have taken the
        // file in the moment before the lock: then it is gone, and we start over.
        struct stat st {};
        if (::flock(fd, LOCK_EX) != 0 || ::fstat(fd, &st) != 0 || st.st_nlink == 0) {
            const int e = errno;
            ::close(fd);
            fd = -1;
            if (attempt >= 100) fileError(e ? e : EAGAIN, path);
        }
    }
    const auto failWith = [&](int e) {
        ::close(fd);
        ::unlink(temp.c_str());
        fileError(e, path);
    };
    removeStaleTemporaries(dir, prefix, temp.substr(dir.size() + 1));
    if (replacing && ::fchmod(fd, old.st_mode & 07777) != 0) failWith(errno);
    size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            failWith(errno);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) failWith(errno);
    if (::rename(temp.c_str(), path.c_str()) != 0) failWith(errno);
    ::close(fd); // the lock goes with it
    // Make the rename itself durable.
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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

std::string escapeField(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::string unescapeField(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> fields;
    size_t from = 0;
    for (;;) {
        const size_t tab = line.find('\t', from);
        fields.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
        if (tab == std::string::npos) return fields;
        from = tab + 1;
    }
}

} // namespace vesper
