// "Guidelink.clsVesper" as a component library, so that a script (the menu's
// yscript.htm, or any automation host) can create it by ProgID.
#include "guidelink/cls_vesper.h"

#include <cstring>

using namespace vesper;

namespace {

constexpr const char* kClsid = "{3B0E7E52-8C1D-4F0A-B6E4-2A9D5C7F1E60}";

ClassRegistration registration(const char* path) {
    ClassRegistration r;
    r.clsid = kClsid;
    r.progId = "Guidelink.clsVesper";
    r.description = "Guidelink.clsVesper";
    r.libraryPath = path ? path : "";
    return r;
}

} // namespace

VESPER_COMPONENT_EXPORT bool VesperRegisterServer(const char* path) { return registerClass(registration(path)); }
VESPER_COMPONENT_EXPORT bool VesperUnregisterServer() { return unregisterClass(registration(nullptr)); }
VESPER_COMPONENT_EXPORT Object* VesperCreateInstance(const char* clsid) {
    return std::strcmp(clsid, kClsid) == 0 ? guidelink::newClsVesper() : nullptr;
}
VESPER_COMPONENT_EXPORT const char* VesperModuleInfo() {
    return "FileDescription=Vesper Guidelink\nProductName=Vesper\nOriginalFilename=guidelinksrv.so\n";
}
