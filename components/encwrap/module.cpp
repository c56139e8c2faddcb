// The encoder component's library: registration and the factory.
#include "components/encwrap/command.h"

using namespace vesper;

namespace {

constexpr const char* kClsid = "{21BB909C-90A3-4F3F-B802-DD4E1952E179}";

ClassRegistration registration(const char* path) { return plainClassRegistration(kClsid, "Encwrap.clsCommand", path); }

} // namespace

VESPER_COMPONENT_MODULE(registration, kClsid, wmenc::newEncoderCommand(),
                        "FileDescription=Vesper Encoder\nProductName=Vesper\nOriginalFilename=encwrap.so\n")
