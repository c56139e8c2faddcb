// The message component's library: registration and the factory.
#include "components/msgpipe/msgpipe.h"

#include <cstring>

using namespace vesper;

namespace {

constexpr const char* kClsid = "{6F1C2B1E-3D84-4C55-9A7E-51B0D2E4A913}";

ClassRegistration registration(const char* path) {
    ClassRegistration r;
    r.clsid = kClsid;
    r.progId = "Msgpipe.clsObject";
    r.description = "Msgpipe.clsObject";
    r.libraryPath = path ? path : "";
    return r;
}

} // namespace

VESPER_COMPONENT_EXPORT bool VesperRegisterServer(const char* path) { return registerClass(registration(path)); }
VESPER_COMPONENT_EXPORT bool VesperUnregisterServer() { return unregisterClass(registration(nullptr)); }
VESPER_COMPONENT_EXPORT Object* VesperCreateInstance(const char* clsid) {
    return std::strcmp(clsid, kClsid) == 0 ? msgpipe::newMsgpipeObject() : nullptr;
}
VESPER_COMPONENT_EXPORT const char* VesperModuleInfo() {
    return "FileDescription=Vesper Message Pipe\nProductName=Vesper\nOriginalFilename=msgpipe.so\n";
}
