// vesper-script: runs a script of automation calls (see script_host.h, or the
// README) from a file, or from standard input when the file is "-".
#include "tools/script_host.h"

#include "platform/component_setup.h"
#include "platform/registry.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
    const char* usage = "usage: vesper-script SCRIPT   (\"-\" reads the script from standard input)\n"
                        "  runs a script of automation calls against the registered components\n";
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc != 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    // Scripts create their objects through the hive's registrations.
    if (!vesper::registry::hiveUsableOrReport("vesper-script")) return 1;
    // Components may use Qt (the preview window); give them an application.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY") &&
        !qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qargc = 1;
    QApplication app(qargc, argv);
    std::string source;
    if (std::string(argv[1]) == "-") {
        std::stringstream ss;
        ss << std::cin.rdbuf();
        source = ss.str();
    } else {
        std::ifstream in(argv[1], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "vesper-script: cannot open %s\n", argv[1]);
            return 2;
        }
        std::stringstream ss;
        ss << in.rdbuf();
        source = ss.str();
    }
    vesper::registerBundledComponents();
    vesper::ScriptHost host(std::cout, std::cerr);
    const int rc = host.run(source);
    std::cout.flush();
    return rc;
}
