// What an installed program does first when it starts: register the
// components that came with it. Copied into an installed tree by the package
// test (it is no part of the package), it does that and tells what it did.
#include "platform/component_setup.h"

#include <cstdio>

int main() {
    const std::string folder = vesper::bundledComponentsFolder();
    if (folder.empty()) {
        std::printf("no bundled components\n");
        return 1;
    }
    const auto report = vesper::ensureBundledComponentsRegistered();
    for (const auto& lib : report.registered)
        std::printf("registered %s\n", lib.c_str());
    for (const auto& lib : report.upToDate)
        std::printf("up to date %s\n", lib.c_str());
    return report.ok() ? 0 : 1;
}
