// "Chanplug.clsObject", the change-channel plug-in: ChangeChannel runs the
// command line the user set in the hive (for a set-top box, typically an
// infrared sender) with the channel put in. While no command is set the class
// cannot be created, so the main program reports the plug-in as not detected.
#include "components/chanplug/channel_command.h"

#include "platform/automation.h"

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

ClassRegistration registration(const char* path) { return plainClassRegistration(kClsid, kProgId, path); }

// No object while no command is set.
Object* newClsObject() {
    std::string commandLine = chanplug::configuredCommandLine();
    return commandLine.empty() ? nullptr : new ClsObject(std::move(commandLine));
}

} // namespace

VESPER_COMPONENT_MODULE(
    registration, kClsid, newClsObject(),
    "FileDescription=Vesper Change Channel Plug-In\nProductName=Vesper\nOriginalFilename=chanplug.so\n")
