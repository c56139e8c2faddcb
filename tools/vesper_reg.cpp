// vesper-reg: reads and writes the user's registry hive.
//   vesper-reg query KEY [/v NAME | /ve]
//   vesper-reg add KEY [/v NAME | /ve] [/t REG_SZ|REG_DWORD] [/d DATA]
//   vesper-reg delete KEY [/v NAME | /ve]
//   vesper-reg export [KEY]
// KEY may start with HKCU\ or HKEY_CURRENT_USER\.
#include "platform/automation.h"
#include "platform/component_setup.h"
#include "platform/registry.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <strings.h>
#include <vector>

using namespace vesper;

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: vesper-reg query KEY [/v NAME | /ve]\n"
                 "       vesper-reg add KEY [/v NAME | /ve] [/t REG_SZ|REG_DWORD] [/d DATA]\n"
                 "       vesper-reg delete KEY [/v NAME | /ve]\n"
                 "       vesper-reg export [KEY]\n"
                 "The hive is %s (set VESPER_REGISTRY to use another).\n",
                 registry::hivePath().c_str());
    return 2;
}

std::string stripRoot(std::string key) {
    for (const char* root : {"HKEY_CURRENT_USER", "HKCU"}) {
        const std::string r = root;
        if (key.size() >= r.size() && strncasecmp(key.c_str(), r.c_str(), r.size()) == 0 &&
            (key.size() == r.size() || key[r.size()] == '\\')) {
            return key.substr(r.size());
        }
    }
    return key;
}

std::string show(const registry::Value& v) {
    char buf[32];
    if (v.type == registry::ValueType::Dword) {
        std::snprintf(buf, sizeof buf, "REG_DWORD\t0x%x", v.dword);
        return buf;
    }
    return "REG_SZ\t" + v.text.substr(0, v.text.find('\0'));
}

// Whether a query or an export shows class registrations: the key is
// Software\Classes, below it or above it.
bool showsClasses(std::string key) {
    while (!key.empty() && key.front() == '\\')
        key.erase(0, 1);
    while (!key.empty() && key.back() == '\\')
        key.pop_back();
    const std::string classes = kClassesRoot;
    if (key.size() >= classes.size())
        return strncasecmp(key.c_str(), classes.c_str(), classes.size()) == 0 &&
               (key.size() == classes.size() || key[classes.size()] == '\\');
    return key.empty() || (strncasecmp(key.c_str(), classes.c_str(), key.size()) == 0 && classes[key.size()] == '\\');
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return usage();
    if (!registry::hiveUsableOrReport("vesper-reg")) return 1;
    const std::string verb = args[0];
    // A new user of an installed tree sees the classes that come with it, as
    // every program that creates components registers them first.
    if ((verb == "query" || verb == "export") && showsClasses(args.size() > 1 ? stripRoot(args[1]) : ""))
        registerBundledComponents();
    if (verb == "export") {
        const std::string key = args.size() > 1 ? stripRoot(args[1]) : "";
        if (!key.empty() && !registry::keyExists(key)) {
            std::fprintf(stderr, "vesper-reg: the key %s does not exist\n", args[1].c_str());
            return 1;
        }
        std::printf("%s", registry::exportText(key).c_str());
        return 0;
    }
    if (args.size() < 2) return usage();
    const std::string key = stripRoot(args[1]);
    std::string name, type = "REG_SZ", data;
    bool hasName = false, hasData = false;
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "/v" || a == "-v") && i + 1 < args.size())
            name = args[++i], hasName = true;
        else if (a == "/ve" || a == "-ve")
            name.clear(), hasName = true;
        else if ((a == "/t" || a == "-t") && i + 1 < args.size())
            type = args[++i];
        else if ((a == "/d" || a == "-d") && i + 1 < args.size())
            data = args[++i], hasData = true;
        else
            return usage();
    }

    if (verb == "query") {
        if (!registry::keyExists(key)) {
            std::fprintf(stderr, "vesper-reg: the key %s does not exist\n", args[1].c_str());
            return 1;
        }
        if (hasName) {
            const auto v = registry::queryValue(key, name);
            if (!v) {
                std::fprintf(stderr, "vesper-reg: the value \"%s\" does not exist\n", name.c_str());
                return 1;
            }
            std::printf("%s\t%s\n", name.empty() ? "(Default)" : name.c_str(), show(*v).c_str());
            return 0;
        }
        for (const auto& [n, v] : registry::values(key))
            std::printf("%s\t%s\n", n.empty() ? "(Default)" : n.c_str(), show(v).c_str());
        for (const auto& sub : registry::subKeys(key))
            std::printf("%s\\\n", sub.c_str());
        return 0;
    }
    if (verb == "add") {
        bool ok;
        if (!hasName && !hasData) {
            registry::Key k;
            ok = registry::createKey(key, k);
        } else if (type == "REG_SZ") {
            ok = registry::setString(key, name, data);
        } else if (type == "REG_DWORD") {
            char* end = nullptr;
            const unsigned long v = std::strtoul(data.c_str(), &end, 0);
            if (data.empty() || *end || v > 0xFFFFFFFFul) {
                std::fprintf(stderr, "vesper-reg: \"%s\" is not a 32-bit number\n", data.c_str());
                return 2;
            }
            ok = registry::setDword(key, name, static_cast<uint32_t>(v));
        } else {
            std::fprintf(stderr, "vesper-reg: unsupported type %s (REG_SZ or REG_DWORD)\n", type.c_str());
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "vesper-reg: cannot write %s: %s\n", registry::hivePath().c_str(),
                         registry::lastError().c_str());
            return 1;
        }
        return 0;
    }
    if (verb == "delete") {
        const bool ok = hasName ? registry::deleteValue(key, name) : registry::deleteKey(key);
        if (!ok) {
            std::fprintf(stderr, "vesper-reg: nothing deleted (%s)\n",
                         registry::keyExists(key) ? "no such value" : "no such key");
            return 1;
        }
        return 0;
    }
    return usage();
}
