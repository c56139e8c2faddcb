// "Guidelink.clsVesper" as a component library, so that a script (the menu's
// yscript.htm, or any automation host) can create it by ProgID.
#include "guidelink/cls_vesper.h"

using namespace vesper;

namespace {

constexpr const char* kClsid = "{3B0E7E52-8C1D-4F0A-B6E4-2A9D5C7F1E60}";

ClassRegistration registration(const char* path) { return plainClassRegistration(kClsid, "Guidelink.clsVesper", path); }

} // namespace

VESPER_COMPONENT_MODULE(registration, kClsid, guidelink::newClsVesper(),
                        "FileDescription=Vesper Guidelink\nProductName=Vesper\nOriginalFilename=guidelinksrv.so\n")
