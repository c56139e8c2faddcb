#include "platform/paths.h"

#include "platform/registry.h"

#include <sys/stat.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace vesper {

namespace fs = std::filesystem;

std::string executableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return fs::current_path(ec).string();
    return exe.parent_path().string();
}

std::string libraryFolder(const void* addressInLibrary) {
    Dl_info info{};
    if (dladdr(addressInLibrary, &info) && info.dli_fname) {
        std::error_code ec;
        const fs::path p = fs::weakly_canonical(fs::path(info.dli_fname), ec);
        return (ec ? fs::path(info.dli_fname) : p).parent_path().string();
    }
    return executableFolder();
}

std::string userBaseFolder(const char* variable, const char* underHome) {
    if (const char* x = std::getenv(variable); x && *x) return x;
    if (const char* h = std::getenv("HOME"); h && *h) return std::string(h) + "/" + underHome;
    return "/tmp";
}

bool isBuildTree(const std::string& binaryFolder) {
    if (binaryFolder.empty()) return false;
    std::error_code ec;
    return fs::is_regular_file(fs::path(binaryFolder) / kBuildTreeMarker, ec);
}

std::string programFolder(const std::string& binaryFolder) {
    if (const char* home = std::getenv("VESPER_HOME"); home && *home) return home;
    if (isBuildTree(binaryFolder) && access(binaryFolder.c_str(), W_OK) == 0) return binaryFolder;
    const std::string folder = userBaseFolder("XDG_DATA_HOME", ".local/share") + "/vesper";
    std::error_code ec;
    fs::create_directories(folder, ec);
    return folder;
}

std::string programFolder() { return programFolder(executableFolder()); }

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

namespace {

// A folder the user alone may enter: an existing one must be ours and closed
// to others, a missing one is created so.
bool userOnlyFolder(const std::string& folder) {
    if (folder.empty()) return false;
    std::error_code ec;
    fs::create_directories(folder, ec);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
    if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) return false;
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// FNV-1a of the hive's absolute path, as 16 hexadecimal digits.
std::string hiveKey() {
    std::error_code ec;
    std::string path = registry::hivePath();
    const fs::path abs = fs::absolute(path, ec);
    if (!ec) path = abs.lexically_normal().string();
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : path) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char buf[17];
    snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

} // namespace

std::string instanceRuntimePath(const std::string& name) {
    std::string folder;
    if (const char* rt = std::getenv("XDG_RUNTIME_DIR"); rt && *rt && ::access(rt, W_OK | X_OK) == 0) {
        folder = rt;
    } else {
        const fs::path hive(registry::hivePath());
        folder = (hive.parent_path().empty() ? fs::path(".") : hive.parent_path()).string() + "/run";
        if (!userOnlyFolder(folder)) return {};
    }
    return joinPath(folder, "vesper-" + hiveKey() + "." + name);
}

} // namespace vesper
