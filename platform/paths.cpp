#include "platform/paths.h"

#include <dlfcn.h>
#include <unistd.h>

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

std::string programFolder(const std::string& binaryFolder) {
    if (const char* home = std::getenv("VESPER_HOME"); home && *home) return home;
    if (!binaryFolder.empty() && access(binaryFolder.c_str(), W_OK) == 0) return binaryFolder;
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

} // namespace vesper
