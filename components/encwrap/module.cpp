// The encoder component's library: registration and the factory.
#include "components/encwrap/command.h"

#include <cstring>

using namespace vesper;

namespace {

constexpr const char* kClsid = "{21BB909C-90A3-4F3F-B802-DD4E1952E179}";

ClassRegistration registration(const char* path) {
    ClassRegistration r;
    r.clsid = kClsid;
    r.progId = "Encwrap.clsCommand";
    r.description = "Encwrap.clsCommand";
    r.libraryPath = path ? path : "";
    return r;
}

} // namespace

VESPER_COMPONENT_EXPORT bool VesperRegisterServer(const char* path) { return registerClass(registration(path)); }
VESPER_COMPONENT_EXPORT bool VesperUnregisterServer() { return unregisterClass(registration(nullptr)); }
VESPER_COMPONENT_EXPORT Object* VesperCreateInstance(const char* clsid) {
    return std::strcmp(clsid, kClsid) == 0 ? wmenc::newEncoderCommand() : nullptr;
}
VESPER_COMPONENT_EXPORT const char* VesperModuleInfo() {
    return "FileDescription=Vesper Encoder\nProductName=Vesper\nOriginalFilename=encwrap.so\n";
}
