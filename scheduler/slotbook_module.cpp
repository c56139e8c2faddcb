// The Slotbook component library: registration and the class factory of
// "Slotbook.EventsObj".
#include "platform/automation.h"
#include "scheduler/events_obj.h"

#include <strings.h>

using namespace vesper;

namespace {

ClassRegistration registration(const char* path) {
    ClassRegistration r;
    r.clsid = slotbook::kClsid;
    r.progId = slotbook::kProgId;
    r.description = slotbook::kProgId;
    r.libraryPath = path ? path : "";
    r.typeLib = "{5E0A8C13-2B7D-4F96-8D41-C3A9E6F07B28}";
    return r;
}

} // namespace

VESPER_COMPONENT_EXPORT bool VesperRegisterServer(const char* path) { return registerClass(registration(path)); }
VESPER_COMPONENT_EXPORT bool VesperUnregisterServer() { return unregisterClass(registration(nullptr)); }
VESPER_COMPONENT_EXPORT Object* VesperCreateInstance(const char* clsid) {
    if (!clsid || strcasecmp(clsid, slotbook::kClsid) != 0) return nullptr;
    return new slotbook::EventsObj();
}
VESPER_COMPONENT_EXPORT const char* VesperModuleInfo() {
    return "CompanyName=Orvane\nFileDescription=Slotbook scheduler component\nInternalName=Slotbook\n"
           "OriginalFilename=Slotbook.so\nProductName=Vesper\n";
}
