#include "platform/testing/test_env.h"

#include "platform/automation.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace vesper::test {

namespace fs = std::filesystem;

namespace {
std::string createFolder() {
    std::string tmpl = (fs::temp_directory_path() / "vesper-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) std::abort();
    return tmpl;
}
} // namespace

const std::string& testFolder() {
    static const std::string folder = createFolder();
    return folder;
}

std::string makeFolder(const std::string& name) {
    const std::string p = testFolder() + "/" + name;
    fs::create_directories(p);
    return p;
}

std::string writeFile(const std::string& path, const std::string& contents) {
    const fs::path p(path);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    return path;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool registerComponent(const std::string& libraryPath) {
    auto lib = loadComponentLibrary(libraryPath);
    return lib && lib->registerServer(libraryPath.c_str());
}

int runCommand(const std::string& commandLine, std::string* output) {
    const std::string cmd = commandLine + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    const int status = pclose(p);
    if (output) *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool runUnprivileged(const std::function<void()>& body) {
    constexpr uid_t kNobody = 65534;
    const bool root = geteuid() == 0;
    if (root) ::chmod(testFolder().c_str(), 0755);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (root && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(3);
        body();
        std::fflush(nullptr);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    const bool waited = pid > 0 && waitpid(pid, &status, 0) == pid;
    if (root) ::chmod(testFolder().c_str(), 0700);
    return waited && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace vesper::test
