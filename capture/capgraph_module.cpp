// Capgraph: the in-process automation server with the class Command. Every
// Command object of the process drives the one capture state of the module.
#include "capture/capture_commands.h"

#include "platform/automation.h"
#include "platform/registry.h"

#include <strings.h>

using namespace vesper;
using namespace vesper::capture;

namespace {

constexpr const char* kClsid = "{506C5C42-34CF-40DC-A386-18274635E4AB}";
constexpr const char* kLibId = "{22A81F5C-F3AD-41DB-9284-8859C7861C2A}";
constexpr const char* kIid = "{A891CD13-96AE-4E75-8BDF-E6C8B835D692}";
// The universal marshaler of dual automation interfaces.
constexpr const char* kOleAutomationProxy = "{00020424-0000-0000-C000-000000000046}";

ClassRegistration registration(const char* path) {
    ClassRegistration r;
    r.clsid = kClsid;
    r.progId = "Capgraph.Command.1";
    r.versionIndependentProgId = "Capgraph.Command";
    r.description = "Command Class";
    r.libraryPath = path ? path : "";
    r.threadingModel = "Apartment";
    r.typeLib = kLibId;
    return r;
}

std::string classes(const std::string& sub) { return std::string(kClassesRoot) + "\\" + sub; }

// The module's capture state: created on first use, kept while the module
// stays loaded (it is never unloaded).
CaptureState& captureState() {
    static CaptureState* state = new CaptureState();
    return *state;
}

class Command : public DispatchObject {
public:
    Command() : DispatchObject("Capgraph.Command") {
        method("OnStartPage", [this](Args& a) { return onStartPage(arg(a, 0)); });
        method("OnEndPage", [this](Args&) {
            onEndPage();
            return Variant();
        });
        method("Start", [](Args& a) { return result(a, 2, commands().Start(text(a, 0), text(a, 1))); });
        method("Init", [](Args& a) { return result(a, 2, commands().Init(text(a, 0), text(a, 1))); });
        method("Stop", [](Args& a) { return result(a, 0, commands().Stop()); });
        method("Release", [](Args& a) { return result(a, 0, commands().Release()); });
        method("SetChannel", [](Args& a) { return result(a, 1, commands().SetChannel(text(a, 0))); });
        method("SetTVTunerProperties",
               [](Args& a) { return result(a, 2, commands().SetTVTunerProperties(text(a, 0), text(a, 1))); });
        method("SetCountryCode", [](Args& a) { return result(a, 1, commands().SetCountryCode(text(a, 0))); });
        method("SetInputType", [](Args& a) { return result(a, 1, commands().SetInputType(text(a, 0))); });
        method("SetVideoStandard", [](Args& a) { return result(a, 1, commands().SetVideoStandard(text(a, 0))); });
        method("SetTest", [](Args& a) { return result(a, 1, commands().SetTest(text(a, 0))); });
        method("InitPreview", [](Args& a) {
            return result(a, 5, commands().InitPreview(text(a, 0), text(a, 1), text(a, 2), text(a, 3), text(a, 4)));
        });
        method("SetPreview", [](Args& a) { return result(a, 1, commands().SetPreview(text(a, 0))); });
        method("SetVideoInput", [](Args& a) { return result(a, 1, commands().SetVideoInput(text(a, 0))); });
        method("ResizePreview", [](Args& a) {
            return result(a, 4, commands().ResizePreview(text(a, 0), text(a, 1), text(a, 2), text(a, 3)));
        });
        method("SignalPresent", [](Args& a) { return result(a, 0, commands().SignalPresent()); });
        method("DevicesOpen", [](Args& a) { return result(a, 2, commands().DevicesOpen(text(a, 0), text(a, 1))); });
    }
    std::string className() const override { return "Command"; }

private:
    static CaptureCommands commands() { return CaptureCommands(captureState()); }

    // A text argument; an omitted one reads as an empty text.
    static std::string text(Args& a, size_t n) {
        const Variant& v = arg(a, n);
        if (v.isOmitted() || v.type() == Variant::Type::Null || v.isObject()) return {};
        return v.toString();
    }
    // The answer goes into the by-reference result and is also returned.
    static Variant result(Args& a, size_t slot, const std::string& answer) {
        arg(a, slot) = Variant(answer);
        return Variant(answer);
    }

    // Keeps the page's context objects of a scripting host: request,
    // response, server, session and application, read in that order.
    Variant onStartPage(const Variant& unk) {
        ObjectPtr host = unk.isObject() ? unk.toObject() : nullptr;
        if (!host) fail(kE_POINTER, "Invalid pointer");
        static const char* kContext[] = {"Request", "Response", "Server", "Session", "Application"};
        Variant taken[5];
        for (int i = 0; i < 5; ++i) {
            try {
                taken[i] = host->get(kContext[i]);
            } catch (const AutomationError& e) {
                // An object without the context is not a scripting page.
                if (i == 0 && e.number() == err::NotSupported) fail(kE_NOINTERFACE, "No such interface supported");
                throw; // the references already taken go with `taken`
            }
        }
        for (int i = 0; i < 5; ++i)
            m_context[i] = std::move(taken[i]);
        return {};
    }
    void onEndPage() {
        for (auto& c : m_context)
            c = Variant();
    }

    Variant m_context[5];
};

} // namespace

VESPER_COMPONENT_EXPORT bool VesperRegisterServer(const char* path) {
    if (!path || !*path) return false;
    bool ok = registerClass(registration(path));
    // The type library and the dual interface it describes.
    const std::string lib = classes(std::string("TypeLib\\") + kLibId + "\\1.0");
    std::string folder = path;
    folder = folder.substr(0, folder.find_last_of('/') + 1);
    ok = ok && registry::setString(lib, "", "Capgraph 1.0 Type Library") &&
         registry::setString(lib + "\\409\\win32", "", path) && registry::setString(lib + "\\FLAGS", "", "0") &&
         registry::setString(lib + "\\HELPDIR", "", folder);
    const std::string itf = classes(std::string("Interface\\") + kIid);
    ok = ok && registry::setString(itf, "", "ICommand") &&
         registry::setString(itf + "\\ProxyStubClsid32", "", kOleAutomationProxy) &&
         registry::setString(itf + "\\TypeLib", "", kLibId) && registry::setString(itf + "\\TypeLib", "Version", "1.0");
    return ok;
}

VESPER_COMPONENT_EXPORT bool VesperUnregisterServer() {
    bool ok = unregisterClass(registration(nullptr));
    for (const std::string& key :
         {classes(std::string("TypeLib\\") + kLibId), classes(std::string("Interface\\") + kIid)})
        if (registry::keyExists(key)) ok = registry::deleteKey(key) && ok;
    return ok;
}

VESPER_COMPONENT_EXPORT Object* VesperCreateInstance(const char* clsid) {
    if (!clsid || strcasecmp(clsid, kClsid) != 0) return nullptr;
    return new Command();
}

VESPER_COMPONENT_EXPORT const char* VesperModuleInfo() {
    return "FileDescription=Capgraph Module\n"
           "Comments=Vesper Home TV\n"
           "FileVersion=1, 1, 0, 8\n"
           "ProductVersion=1.1.236\n"
           "SpecialBuild=beta\n"
           "OLESelfRegister=\n"
           "ProgID=Capgraph.Command\n"
           "CLSID={506C5C42-34CF-40DC-A386-18274635E4AB}\n";
}
