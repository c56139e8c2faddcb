#include "platform/component_setup.h"

#include "platform/automation.h"
#include "platform/paths.h"
#include "platform/registry.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>

namespace vesper {

namespace fs = std::filesystem;

namespace {

const std::string kClsidRoot = std::string(kClassesRoot) + "\\CLSID";

std::optional<std::string> defaultText(const std::string& key) {
    const auto v = registry::queryValue(key, "");
    if (!v || v->type != registry::ValueType::String) return std::nullopt;
    return v->text;
}

std::string canonical(const std::string& path) {
    std::error_code ec;
    const fs::path p = fs::weakly_canonical(path, ec);
    return ec ? fs::path(path).lexically_normal().string() : p.string();
}

bool samePath(const std::string& a, const std::string& b) { return a == b || canonical(a) == canonical(b); }

// The class ids whose in-process server is `library`.
std::vector<std::string> classesServedBy(const std::string& library) {
    std::vector<std::string> out;
    for (const auto& clsid : registry::subKeys(kClsidRoot)) {
        const auto server = defaultText(kClsidRoot + "\\" + clsid + "\\InprocServer32");
        if (server && !server->empty() && samePath(*server, library)) out.push_back(clsid);
    }
    return out;
}

// Whether a ProgID of one of our classes still leads to it. When it leads to
// another class, that holds only if the other class's library is a different,
// existing library: the user's own choice, not a leftover copy of ours.
bool progIdHolds(const std::string& progId, const std::string& clsid, const std::string& library) {
    const auto resolved = resolveProgId(progId);
    if (!resolved) return false;
    if (resolved->clsid == clsid) return true;
    std::error_code ec;
    if (!fs::exists(resolved->libraryPath, ec)) return false;
    return fs::path(resolved->libraryPath).filename() != fs::path(library).filename();
}

bool registrationHolds(const std::string& library) {
    const auto classes = classesServedBy(library);
    if (classes.empty()) return false;
    for (const auto& clsid : classes) {
        const std::string key = kClsidRoot + "\\" + clsid;
        for (const char* name : {"ProgID", "VersionIndependentProgID"}) {
            const auto progId = defaultText(key + "\\" + name);
            if (progId && !progId->empty() && !progIdHolds(*progId, clsid, library)) return false;
        }
    }
    return true;
}

} // namespace

std::string bundledComponentsFolder(const std::string& executableFolder) {
    if (executableFolder.empty() || isBuildTree(executableFolder)) return {};
    const fs::path folder = (fs::path(executableFolder) / ".." / kComponentsSubfolder).lexically_normal();
    std::error_code ec;
    return fs::is_directory(folder, ec) ? folder.string() : std::string();
}

std::string bundledComponentsFolder() { return bundledComponentsFolder(executableFolder()); }

ComponentSetupReport ensureComponentsRegistered(const std::string& folder) {
    ComponentSetupReport report;
    if (folder.empty()) return report;
    std::vector<std::string> libraries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code fileError;
        if (it->path().extension() == ".so" && it->is_regular_file(fileError))
            libraries.push_back(canonical(it->path().string()));
    }
    if (ec) {
        report.failures.push_back(folder + ": " + ec.message());
        return report;
    }
    std::sort(libraries.begin(), libraries.end());
    for (const auto& library : libraries) {
        if (registrationHolds(library)) {
            report.upToDate.push_back(library);
            continue;
        }
        std::string why;
        const auto lib = loadComponentLibrary(library, &why);
        if (!lib) {
            report.failures.push_back(library + ": " + why);
        } else if (!lib->registerServer(library.c_str())) {
            report.failures.push_back(library + ": the registry hive " + registry::hivePath() + " cannot be written (" +
                                      registry::lastError() + ")");
        } else {
            report.registered.push_back(library);
        }
    }
    return report;
}

ComponentSetupReport ensureBundledComponentsRegistered() {
    // The program reports a hive it cannot use; registering into it would
    // only add confusing failures.
    if (!registry::checkHive().usable()) return {};
    ComponentSetupReport report = ensureComponentsRegistered(bundledComponentsFolder());
    for (const auto& failure : report.failures)
        std::fprintf(stderr, "%s: cannot register the component %s\n", program_invocation_short_name, failure.c_str());
    return report;
}

ComponentSetupReport registerBundledComponents(BundledComponents which) {
    ComponentSetupReport report = ensureBundledComponentsRegistered();
    if (which != BundledComponents::InstalledAndBesideProgram || !registry::checkHive().usable()) return report;
    const struct {
        const char* progId;
        const char* library;
    } beside[] = {{"Slotbook.EventsObj", "Slotbook.so"},
                  {"Capgraph.Command", "Capgraph.so"},
                  {"WMEncEng.WMEncoder", "wmenceng.so"},
                  {"Encwrap.clsCommand", "encwrap.so"},
                  {"Chanplug.clsObject", "chanplug.so"}};
    for (const auto& b : beside) {
        if (resolveProgId(b.progId)) continue;
        const std::string path = joinPath(executableFolder(), b.library);
        std::error_code ec;
        if (!fs::exists(path, ec)) continue;
        if (auto lib = loadComponentLibrary(path); lib && lib->registerServer(path.c_str()))
            report.registered.push_back(path);
    }
    return report;
}

std::string bundledComponentPath(const std::string& library) {
    const std::string installed = bundledComponentsFolder();
    return joinPath(installed.empty() ? executableFolder() : installed, library);
}

} // namespace vesper
