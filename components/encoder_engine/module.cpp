// The encoder engine's component library: registration and the factory.
#include "components/encoder_engine/wmencoder.h"

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

VESPER_COMPONENT_MODULE(registration, kClsid, wmenc::newWMEncoder(),
                        "FileDescription=Vesper Encoder Engine\nProductName=Vesper\nOriginalFilename=wmenceng.so\n")
