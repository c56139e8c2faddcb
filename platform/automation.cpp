#include "platform/automation.h"

#include "platform/registry.h"

#include <dlfcn.h>

#include <cctype>
#include <mutex>
#include <optional>

namespace vesper {

namespace {

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string classesPath(const std::string& sub) { return std::string(kClassesRoot) + "\\" + sub; }

std::optional<std::string> defaultString(const std::string& path) {
    auto v = registry::queryValue(path, "");
    if (!v || v->type != registry::ValueType::String) return std::nullopt;
    return v->text.substr(0, v->text.find('\0'));
}

} // namespace

// ---- DispatchObject ----

DispatchObject::Member* DispatchObject::find(std::string_view name) {
    for (auto& m : m_members)
        if (sameName(m.name, name)) return &m;
    return nullptr;
}

void DispatchObject::method(const std::string& name, Handler h) {
    if (Member* m = find(name)) {
        m->method = std::move(h);
        return;
    }
    m_members.push_back({name, std::move(h), {}, {}});
}

void DispatchObject::property(const std::string& name, Handler get, std::function<void(const Variant&)> put) {
    if (Member* m = find(name)) {
        m->getter = std::move(get);
        m->setter = std::move(put);
        return;
    }
    m_members.push_back({name, {}, std::move(get), std::move(put)});
}

Variant DispatchObject::invoke(std::string_view member, Args& args, CallKind kind) {
    Member* m = find(member);
    if (!m) raiseError(err::NotSupported, m_source);
    if (kind == CallKind::PropertyPut) {
        if (!m->setter) raiseError(err::NotSupported, m_source);
        if (args.empty()) raiseError(err::WrongArgumentCount, m_source);
        m->setter(args.back());
        return {};
    }
    // A method may be read like a property and the other way round, as late
    // binding allows (obj.Count and obj.Count() are the same call).
    if (m->getter && (kind == CallKind::PropertyGet || !m->method)) return m->getter(args);
    if (m->method) return m->method(args);
    raiseError(err::NotSupported, m_source);
}

std::vector<std::string> DispatchObject::memberNames() const {
    std::vector<std::string> out;
    for (const auto& m : m_members)
        out.push_back(m.name);
    return out;
}

void DispatchObject::fail(int32_t number, const std::string& description) const {
    raiseError(number, m_source, description);
}

Variant& DispatchObject::arg(Args& args, size_t n) {
    if (args.size() <= n) args.resize(n + 1, Variant::missing());
    return args[n];
}

void DispatchObject::expectArgs(const Args& args, size_t required, size_t maximum) const {
    size_t given = args.size();
    // Trailing omitted arguments do not count.
    while (given > required && args[given - 1].isMissing())
        --given;
    if (given < required || given > maximum) raiseError(err::WrongArgumentCount, m_source);
    for (size_t i = 0; i < required; ++i)
        if (args[i].isMissing()) raiseError(449, m_source);
}

// ---- Registration ----

bool registerClass(const ClassRegistration& reg) {
    const std::string clsidKey = classesPath("CLSID\\" + reg.clsid);
    bool ok = registry::setString(classesPath(reg.progId), "", reg.description) &&
              registry::setString(classesPath(reg.progId + "\\CLSID"), "", reg.clsid);
    if (!reg.versionIndependentProgId.empty()) {
        const std::string vi = classesPath(reg.versionIndependentProgId);
        ok = ok && registry::setString(vi, "", reg.description) && registry::setString(vi + "\\CLSID", "", reg.clsid) &&
             registry::setString(vi + "\\CurVer", "", reg.progId);
    }
    registry::Key k;
    ok = ok && registry::setString(clsidKey, "", reg.description) &&
         registry::setString(clsidKey + "\\ProgID", "", reg.progId);
    if (!reg.versionIndependentProgId.empty())
        ok = ok && registry::setString(clsidKey + "\\VersionIndependentProgID", "", reg.versionIndependentProgId);
    ok = ok && registry::createKey(clsidKey + "\\Programmable", k) &&
         registry::setString(clsidKey + "\\InprocServer32", "", reg.libraryPath) &&
         registry::setString(clsidKey + "\\InprocServer32", "ThreadingModel", reg.threadingModel);
    if (!reg.typeLib.empty()) ok = ok && registry::setString(clsidKey + "\\TypeLib", "", reg.typeLib);
    return ok;
}

bool unregisterClass(const ClassRegistration& reg) {
    bool ok = true;
    auto removeIfOurs = [&](const std::string& progId) {
        if (progId.empty()) return;
        const auto clsid = defaultString(classesPath(progId + "\\CLSID"));
        if (clsid && sameName(*clsid, reg.clsid)) ok = registry::deleteKey(classesPath(progId)) && ok;
    };
    removeIfOurs(reg.progId);
    removeIfOurs(reg.versionIndependentProgId);
    const std::string clsidKey = classesPath("CLSID\\" + reg.clsid);
    if (registry::keyExists(clsidKey)) ok = registry::deleteKey(clsidKey) && ok;
    return ok;
}

std::optional<ResolvedClass> resolveProgId(const std::string& progId) {
    if (progId.empty()) return std::nullopt;
    std::string id = progId;
    std::optional<std::string> clsid = defaultString(classesPath(id + "\\CLSID"));
    if (!clsid) {
        // A version-independent ProgID without its own CLSID: follow CurVer.
        if (auto cur = defaultString(classesPath(id + "\\CurVer")))
            clsid = defaultString(classesPath(*cur + "\\CLSID"));
    }
    if (!clsid || clsid->empty()) return std::nullopt;
    auto path = defaultString(classesPath("CLSID\\" + *clsid + "\\InprocServer32"));
    if (!path || path->empty()) return std::nullopt;
    return ResolvedClass{*clsid, *path};
}

std::optional<ComponentLibrary> loadComponentLibrary(const std::string& path, std::string* why) {
    // Libraries stay loaded for the life of the process: module-level state
    // (such as the capture graph) outlives the objects, as it should.
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!h) {
        if (why) *why = dlerror();
        return std::nullopt;
    }
    ComponentLibrary lib;
    lib.handle = h;
    lib.registerServer = reinterpret_cast<bool (*)(const char*)>(dlsym(h, "VesperRegisterServer"));
    lib.unregisterServer = reinterpret_cast<bool (*)()>(dlsym(h, "VesperUnregisterServer"));
    lib.createInstance = reinterpret_cast<Object* (*)(const char*)>(dlsym(h, "VesperCreateInstance"));
    lib.moduleInfo = reinterpret_cast<const char* (*)()>(dlsym(h, "VesperModuleInfo"));
    if (!lib.createInstance || !lib.registerServer || !lib.unregisterServer) {
        if (why) *why = path + " is not a component library (entry points missing)";
        return std::nullopt;
    }
    return lib;
}

ObjectPtr TryCreateObject(const std::string& progId, std::string* why) {
    const auto cls = resolveProgId(progId);
    if (!cls) {
        if (why) *why = "no class is registered for \"" + progId + "\"";
        return nullptr;
    }
    const auto lib = loadComponentLibrary(cls->libraryPath, why);
    if (!lib) return nullptr;
    Object* raw = nullptr;
    try {
        raw = lib->createInstance(cls->clsid.c_str());
    } catch (const std::exception& e) {
        if (why) *why = e.what();
        return nullptr;
    }
    if (!raw) {
        if (why) *why = cls->libraryPath + " does not provide the class " + cls->clsid;
        return nullptr;
    }
    return ObjectPtr(raw);
}

ObjectPtr CreateObject(const std::string& progId) {
    std::string why;
    ObjectPtr o = TryCreateObject(progId, &why);
    if (!o) raiseError(err::CannotCreateObject, progId, errorText(err::CannotCreateObject));
    return o;
}

ClassRegistration plainClassRegistration(const char* clsid, const char* progId, const char* libraryPath) {
    ClassRegistration r;
    r.clsid = clsid;
    r.progId = progId;
    r.description = progId;
    r.libraryPath = libraryPath ? libraryPath : "";
    return r;
}

} // namespace vesper
