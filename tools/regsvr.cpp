// regsvr: registers component libraries into the user's registry hive.
//   regsvr LIBRARY...            register (same as "regsvr register LIBRARY...")
//   regsvr /u LIBRARY...         unregister (or "regsvr unregister LIBRARY...")
//   regsvr list                  the registered classes
//   regsvr info LIBRARY          the module's descriptive data
#include "platform/automation.h"
#include "platform/registry.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <strings.h>
#include <vector>

using namespace vesper;

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: regsvr [register] LIBRARY...\n"
                 "       regsvr unregister LIBRARY...   (or /u LIBRARY...)\n"
                 "       regsvr list\n"
                 "       regsvr info LIBRARY\n"
                 "The hive is %s (set VESPER_REGISTRY to use another).\n",
                 registry::hivePath().c_str());
    return 2;
}

std::string absolute(const std::string& p) {
    std::error_code ec;
    const auto a = std::filesystem::absolute(p, ec);
    return ec ? p : a.lexically_normal().string();
}

int doRegister(const std::vector<std::string>& libs, bool unregister) {
    int rc = 0;
    for (const auto& l : libs) {
        const std::string path = absolute(l);
        std::string why;
        const auto lib = loadComponentLibrary(path, &why);
        if (!lib) {
            std::fprintf(stderr, "regsvr: cannot load %s: %s\n", path.c_str(), why.c_str());
            rc = 1;
            continue;
        }
        const bool ok = unregister ? lib->unregisterServer() : lib->registerServer(path.c_str());
        if (!ok) {
            std::fprintf(stderr, "regsvr: %s of %s failed (hive %s: %s)\n",
                         unregister ? "unregistration" : "registration", path.c_str(), registry::hivePath().c_str(),
                         registry::lastError().c_str());
            rc = 1;
        } else {
            std::printf("%s %s\n", unregister ? "Unregistered" : "Registered", path.c_str());
        }
    }
    return rc;
}

bool isTable(const std::string& name) {
    for (const char* table : {"CLSID", "Interface", "TypeLib", "AppID", "Record", "Component Categories"})
        if (strcasecmp(name.c_str(), table) == 0) return true;
    return false;
}

int doList() {
    const std::string root = std::string(kClassesRoot);
    for (const auto& name : registry::subKeys(root)) {
        // Beside the ProgIDs the classes key holds the tables of class ids,
        // interfaces and type libraries: no classes of their own.
        if (isTable(name)) continue;
        const auto cls = resolveProgId(name);
        std::printf("%s\t%s\t%s\n", name.c_str(), cls ? cls->clsid.c_str() : "?",
                    cls ? cls->libraryPath.c_str() : "(no server)");
    }
    return 0;
}

int doInfo(const std::string& l) {
    std::string why;
    const auto lib = loadComponentLibrary(absolute(l), &why);
    if (!lib) {
        std::fprintf(stderr, "regsvr: cannot load %s: %s\n", l.c_str(), why.c_str());
        return 1;
    }
    std::printf("%s", lib->moduleInfo ? lib->moduleInfo() : "");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return usage();
    const std::string verb = args[0];
    if (verb == "info") return args.size() == 2 ? doInfo(args[1]) : usage();
    if (verb == "-h" || verb == "--help") return usage(), 0;
    if (verb == "list" && args.size() != 1) return usage();
    // Everything else reads or writes the hive: a damaged or busy one is said
    // as such, not as a failed registration.
    if (!registry::hiveUsableOrReport("regsvr")) return 1;
    if (verb == "list") return doList();
    if (verb == "unregister" || verb == "/u" || verb == "-u") {
        if (args.size() < 2) return usage();
        return doRegister({args.begin() + 1, args.end()}, true);
    }
    if (verb == "register") {
        if (args.size() < 2) return usage();
        return doRegister({args.begin() + 1, args.end()}, false);
    }
    return doRegister(args, false);
}
