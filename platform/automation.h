// Late-bound automation objects: members called by name with positional
// arguments, creation by ProgID through class registrations in the registry
// hive, and in-process servers as shared libraries.
#pragma once

#include "platform/errors.h"
#include "platform/variant.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesper {

// Arguments of a call, by position. Every argument is passed by reference: a
// member that writes an output parameter writes into its slot, and the caller
// copies the slot back into its variable. An omitted optional argument is a
// Variant::missing() or is simply absent from the end of the list.
using Args = std::vector<Variant>;

enum class CallKind { Method, PropertyGet, PropertyPut };

class Object : public std::enable_shared_from_this<Object> {
public:
    virtual ~Object() = default;
    // Calls a member by name (not case-sensitive). For a property put the new
    // value is the last argument. Unknown member: error 438.
    virtual Variant invoke(std::string_view member, Args& args, CallKind kind = CallKind::Method) = 0;
    virtual std::string className() const { return "Object"; }

    // Convenience for callers in C++.
    Variant call(std::string_view member, Args& args) { return invoke(member, args); }
    Variant call(std::string_view member) {
        Args none;
        return invoke(member, none);
    }
    Variant get(std::string_view member) {
        Args none;
        return invoke(member, none, CallKind::PropertyGet);
    }
    void put(std::string_view member, Variant value) {
        Args a{std::move(value)};
        invoke(member, a, CallKind::PropertyPut);
    }
};

// An object whose members are a table of handlers, looked up case-blind.
class DispatchObject : public Object {
public:
    using Handler = std::function<Variant(Args&)>;

    Variant invoke(std::string_view member, Args& args, CallKind kind = CallKind::Method) override;
    // Member names in declaration order (the interface's slot order).
    std::vector<std::string> memberNames() const;

protected:
    explicit DispatchObject(std::string errorSource) : m_source(std::move(errorSource)) {}
    void method(const std::string& name, Handler h);
    void property(const std::string& name, Handler get, std::function<void(const Variant&)> put = {});

    // The error source of this object's run-time errors.
    const std::string& errorSource() const { return m_source; }
    [[noreturn]] void fail(int32_t number, const std::string& description = {}) const;

    // Argument helpers: the n-th argument, or a missing value past the end.
    static Variant& arg(Args& args, size_t n);
    // Raises 450 unless at least `required` and at most `maximum` arguments came.
    void expectArgs(const Args& args, size_t required, size_t maximum) const;

private:
    struct Member {
        std::string name;
        Handler method;
        Handler getter;
        std::function<void(const Variant&)> setter;
    };
    Member* find(std::string_view name);

    std::string m_source;
    std::vector<Member> m_members;
};

// What a component library registers for one creatable class.
struct ClassRegistration {
    std::string clsid;                    // "{506C5C42-...}"
    std::string progId;                   // "Capgraph.Command.1"
    std::string versionIndependentProgId; // "Capgraph.Command", may be empty
    std::string description;              // "Command Class"
    std::string libraryPath;              // full path of the shared library
    std::string threadingModel = "Apartment";
    std::string typeLib; // library identifier, may be empty
};

// Root of the class registrations in the hive.
inline constexpr const char* kClassesRoot = "Software\\Classes";

// Writes the class registration table: the ProgID keys (with CLSID and CurVer),
// the class key with ProgID, VersionIndependentProgID, Programmable,
// InprocServer32 (with ThreadingModel) and TypeLib. False when the hive
// cannot be written.
bool registerClass(const ClassRegistration& reg);
// Removes the class key whole and the ProgID keys that point at it; the CLSID
// root is never removed.
bool unregisterClass(const ClassRegistration& reg);

// Resolves a ProgID (following CurVer) to its class identifier and library.
struct ResolvedClass {
    std::string clsid;
    std::string libraryPath;
};
std::optional<ResolvedClass> resolveProgId(const std::string& progId);

// Creates an object by ProgID; error 429 when it cannot be created.
ObjectPtr CreateObject(const std::string& progId);
// The same, but nothing (nullptr) instead of the error, for callers that test
// for it. `why` receives the reason when given.
ObjectPtr TryCreateObject(const std::string& progId, std::string* why = nullptr);

// Loads a component library for its entry points; nullptr and `why` when it
// cannot be loaded or is not a component.
struct ComponentLibrary {
    void* handle = nullptr;
    bool (*registerServer)(const char* libraryPath) = nullptr;
    bool (*unregisterServer)() = nullptr;
    Object* (*createInstance)(const char* clsid) = nullptr;
    const char* (*moduleInfo)() = nullptr;
};
std::optional<ComponentLibrary> loadComponentLibrary(const std::string& path, std::string* why = nullptr);

} // namespace vesper

// Every component library defines these four entry points:
//   bool VesperRegisterServer(const char* libraryPath)   writes its registrations
//   bool VesperUnregisterServer()                        removes them
//   vesper::Object* VesperCreateInstance(const char* clsid)   a new object, or null
//   const char* VesperModuleInfo()   "Name=Value" lines describing the module
#define VESPER_COMPONENT_EXPORT extern "C" __attribute__((visibility("default")))

namespace vesper {
// The registration of a class whose ProgID is also its description, the form
// the plain outside components use.
ClassRegistration plainClassRegistration(const char* clsid, const char* progId, const char* libraryPath);
} // namespace vesper

// The four entry points of a component library with one creatable class.
// `registration` is a function (const char* libraryPath) -> ClassRegistration,
// `create` an expression giving a new Object* (null when none can be made).
#define VESPER_COMPONENT_MODULE(registration, clsid, create, moduleInfo)                                               \
    VESPER_COMPONENT_EXPORT bool VesperRegisterServer(const char* path) {                                              \
        return vesper::registerClass(registration(path));                                                              \
    }                                                                                                                  \
    VESPER_COMPONENT_EXPORT bool VesperUnregisterServer() { return vesper::unregisterClass(registration(nullptr)); }   \
    VESPER_COMPONENT_EXPORT vesper::Object* VesperCreateInstance(const char* requested) {                              \
        return std::string_view(requested ? requested : "") == (clsid) ? (create) : nullptr;                           \
    }                                                                                                                  \
    VESPER_COMPONENT_EXPORT const char* VesperModuleInfo() { return moduleInfo; }
