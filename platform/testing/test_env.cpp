#include "platform/testing/test_env.h"

#include "platform/automation.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

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

} // namespace vesper::test
