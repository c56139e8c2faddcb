// "Chanplug.clsObject", the change-channel plug-in: ChangeChannel runs the
// command line the user set in the hive (for a set-top box, typically an
// infrared sender) with the channel put in. While no command is set the class
// cannot be created, so the main program reports the plug-in as not detected.
#include "components/chanplug/channel_command.h"

#include "platform/automation.h"

#include <cstring>

using namespace vesper;

namespace {

constexpr const char* kClsid = "{6F2B8E1C-3D4A-4B7E-9C21-5A8D0E47B3F6}";
constexpr const char* kProgId = "Chanplug.clsObject";

class ClsObject : public DispatchObject {
public:
    explicit ClsObject(std::string commandLine) : DispatchObject(kProgId), m_commandLine(std::move(commandLine)) {
        method("ChangeChannel", [this](Args& a) {
            expectArgs(a, 1, 1);
            const Variant& channel = arg(a, 0);
            const std::string text = channel.isOmitted() ? std::string() : channel.toString();
            return Variant(chanplug::runCommand(chanplug::channelCommand(m_commandLine, text)).succeeded());
        });
    }
    std::string className() const override { return "clsObject"; }

private:
    std::string m_commandLine;
};

ClassRegistration registration(const char* path) {
    ClassRegistration r;
    r.clsid = kClsid;
    r.progId = kProgId;
    r.description = kProgId;
    r.libraryPath = path ? path : "";
    return r;
}

} // namespace

VESPER_COMPONENT_EXPORT bool VesperRegisterServer(const char* path) { return registerClass(registration(path)); }
VESPER_COMPONENT_EXPORT bool VesperUnregisterServer() { return unregisterClass(registration(nullptr)); }
VESPER_COMPONENT_EXPORT Object* VesperCreateInstance(const char* clsid) {
    if (std::strcmp(clsid, kClsid) != 0) return nullptr;
    std::string commandLine = chanplug::configuredCommandLine();
    if (commandLine.empty()) return nullptr;
    return new ClsObject(std::move(commandLine));
}
VESPER_COMPONENT_EXPORT const char* VesperModuleInfo() {
    return "FileDescription=Vesper Change Channel Plug-In\nProductName=Vesper\nOriginalFilename=chanplug.so\n";
}
