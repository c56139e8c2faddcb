// The message component's library: registration and the factory.
#include "components/msgpipe/msgpipe.h"

using namespace vesper;

namespace {

constexpr const char* kClsid = "{6F1C2B1E-3D84-4C55-9A7E-51B0D2E4A913}";

ClassRegistration registration(const char* path) { return plainClassRegistration(kClsid, "Msgpipe.clsObject", path); }

} // namespace

VESPER_COMPONENT_MODULE(registration, kClsid, msgpipe::newMsgpipeObject(),
                        "FileDescription=Vesper Message Pipe\nProductName=Vesper\nOriginalFilename=msgpipe.so\n")
