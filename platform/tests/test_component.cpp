// A tiny component library for the automation runtime's tests: one class,
// "Vesper.TestObject", with a method, by-reference outputs, an optional
// argument, a property and an error.
#include "platform/automation.h"

#include <cstring>

using namespace vesper;

namespace {

constexpr const char* kClsid = "{0E3C3B1A-5D3E-4F55-9C1B-7A1D2E3F4A5B}";

ClassRegistration registration(const char* path) {
    ClassRegistration r;
    r.clsid = kClsid;
    r.progId = "Vesper.TestObject.1";
    r.versionIndependentProgId = "Vesper.TestObject";
    r.description = "Test Object";
    r.libraryPath = path ? path : "";
    return r;
}

class TestObject : public DispatchObject {
public:
    TestObject() : DispatchObject("Vesper.TestObject") {
        method("Add", [](Args& a) { return Variant(arg(a, 0).toDouble() + arg(a, 1).toDouble()); });
        method("Swap", [](Args& a) {
            std::swap(arg(a, 0), arg(a, 1));
            return Variant();
        });
        method("Greet", [](Args& a) {
            const Variant& who = arg(a, 0);
            return Variant("Hello, " + (who.isOmitted() ? std::string("world") : who.toString()));
        });
        method("Fail", [this](Args& a) -> Variant { fail(arg(a, 0).toInt32(), "failed on purpose"); });
        property(
            "Name", [this](Args&) { return Variant(m_name); }, [this](const Variant& v) { m_name = v.toString(); });
        method("Child", [](Args&) { return Variant(ObjectPtr(std::make_shared<TestObject>())); });
    }
    std::string className() const override { return "TestObject"; }

private:
    std::string m_name = "unnamed";
};

} // namespace

VESPER_COMPONENT_EXPORT bool VesperRegisterServer(const char* path) { return registerClass(registration(path)); }
VESPER_COMPONENT_EXPORT bool VesperUnregisterServer() { return unregisterClass(registration(nullptr)); }
VESPER_COMPONENT_EXPORT Object* VesperCreateInstance(const char* clsid) {
    return std::strcmp(clsid, kClsid) == 0 ? new TestObject() : nullptr;
}
VESPER_COMPONENT_EXPORT const char* VesperModuleInfo() { return "FileDescription=Test Module\n"; }
