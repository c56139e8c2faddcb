// The encoder engine's component library: registration and the factory.
#include "components/encoder_engine/wmencoder.h"

#include <cstring>

using namespace vesper;

namespace {

constexpr const char* kClsid = "{31D5A96E-E660-43F7-9F17-E1BEDDD8F362}";

ClassRegistration registration(const char* path) {
    ClassRegistration r;
    r.clsid = kClsid;
    r.progId = "WMEncEng.WMEncoder.1";
    r.versionIndependentProgId = "WMEncEng.WMEncoder";
    r.description = "WMEncoder Class";
    r.libraryPath = path ? path : "";
    r.threadingModel = "Both";
    return r;
}

} // namespace

VESPER_COMPONENT_EXPORT bool VesperRegisterServer(const char* path) { return registerClass(registration(path)); }
VESPER_COMPONENT_EXPORT bool VesperUnregisterServer() { return unregisterClass(registration(nullptr)); }
VESPER_COMPONENT_EXPORT Object* VesperCreateInstance(const char* clsid) {
    return std::strcmp(clsid, kClsid) == 0 ? wmenc::newWMEncoder() : nullptr;
}
VESPER_COMPONENT_EXPORT const char* VesperModuleInfo() {
    return "FileDescription=Vesper Encoder Engine\nProductName=Vesper\nOriginalFilename=wmenceng.so\n";
}
