// The Capgraph component as callers meet it: registration, creation by
// ProgID, late-bound calls by name, the shared state of its objects.
#include "capture/device_stream.h"

#include "capture/tests/capture_test_util.h"
#include "platform/automation.h"
#include "platform/registry.h"
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

using namespace vesper;

namespace {

const std::string kClasses = "Software\\Classes\\";
const std::string kClsidKey = kClasses + "CLSID\\{506C5C42-34CF-40DC-A386-18274635E4AB}";

std::string text(const std::string& key, const std::string& name = "") {
    auto v = registry::queryValue(key, name);
    return v ? v->text : "<none>";
}

ObjectPtr command() {
    EXPECT_TRUE(vesper::test::registerComponent(CAPGRAPH_PATH));
    return CreateObject("Capgraph.Command");
}

// Calls a method whose last argument is the by-reference result.
std::string call(const ObjectPtr& o, const std::string& member, std::vector<std::string> in) {
    Args a;
    for (auto& s : in)
        a.emplace_back(s);
    a.emplace_back(std::string("unset"));
    const Variant r = o->call(member, a);
    EXPECT_EQ(r.toString(), a.back().toString()) << member;
    return a.back().toString();
}

class ContextHost : public DispatchObject {
public:
    explicit ContextHost(int failAt = -1) : DispatchObject("Host") {
        const char* names[] = {"Request", "Response", "Server", "Session", "Application"};
        for (int i = 0; i < 5; ++i)
            property(names[i], [this, i, failAt](Args&) -> Variant {
                if (i == failAt) fail(70, "refused");
                return Variant(ObjectPtr(std::make_shared<ContextHost>()));
            });
    }
};

class Plain : public DispatchObject {
public:
    Plain() : DispatchObject("Plain") {}
};

int errorOf(const ObjectPtr& o, const std::string& member, Args a) {
    try {
        o->call(member, a);
    } catch (const AutomationError& e) {
        return e.number();
    }
    return 0;
}

} // namespace

TEST(CapgraphModule, RegistrationWritesTheClassTableAndUnregistrationKeepsTheRoot) {
    ASSERT_TRUE(vesper::test::registerComponent(CAPGRAPH_PATH));
    EXPECT_EQ(text(kClasses + "Capgraph.Command.1"), "Command Class");
    EXPECT_EQ(text(kClasses + "Capgraph.Command.1\\CLSID"), "{506C5C42-34CF-40DC-A386-18274635E4AB}");
    EXPECT_EQ(text(kClasses + "Capgraph.Command"), "Command Class");
    EXPECT_EQ(text(kClasses + "Capgraph.Command\\CLSID"), "{506C5C42-34CF-40DC-A386-18274635E4AB}");
    EXPECT_EQ(text(kClasses + "Capgraph.Command\\CurVer"), "Capgraph.Command.1");
    EXPECT_EQ(text(kClsidKey), "Command Class");
    EXPECT_EQ(text(kClsidKey + "\\ProgID"), "Capgraph.Command.1");
    EXPECT_EQ(text(kClsidKey + "\\VersionIndependentProgID"), "Capgraph.Command");
    EXPECT_TRUE(registry::keyExists(kClsidKey + "\\Programmable"));
    EXPECT_TRUE(registry::subKeys(kClsidKey + "\\Programmable").empty());
    EXPECT_EQ(text(kClsidKey + "\\InprocServer32"), CAPGRAPH_PATH);
    EXPECT_EQ(text(kClsidKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(text(kClsidKey + "\\TypeLib"), "{22A81F5C-F3AD-41DB-9284-8859C7861C2A}");
    EXPECT_EQ(text(kClasses + "TypeLib\\{22A81F5C-F3AD-41DB-9284-8859C7861C2A}\\1.0"), "Capgraph 1.0 Type Library");

    auto lib = loadComponentLibrary(CAPGRAPH_PATH);
    ASSERT_TRUE(lib && lib->moduleInfo);
    const std::string info = lib->moduleInfo();
    for (const char* line :
         {"FileDescription=Capgraph Module\n", "Comments=Vesper Home TV\n", "FileVersion=1, 1, 0, 8\n",
          "ProductVersion=1.1.236\n", "SpecialBuild=beta\n", "OLESelfRegister"})
        EXPECT_NE(info.find(line), std::string::npos) << line;

    ASSERT_TRUE(lib->unregisterServer());
    EXPECT_FALSE(registry::keyExists(kClsidKey));
    EXPECT_FALSE(registry::keyExists(kClasses + "Capgraph.Command"));
    EXPECT_FALSE(registry::keyExists(kClasses + "Capgraph.Command.1"));
    EXPECT_FALSE(registry::keyExists(kClasses + "TypeLib\\{22A81F5C-F3AD-41DB-9284-8859C7861C2A}"));
    EXPECT_TRUE(registry::keyExists(kClasses + "CLSID"));
    EXPECT_EQ(TryCreateObject("Capgraph.Command"), nullptr);
}

TEST(CapgraphModule, MembersInSlotOrderAndAnswersByReference) {
    ObjectPtr o = command();
    auto* d = dynamic_cast<DispatchObject*>(o.get());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->memberNames(),
              (std::vector<std::string>{"OnStartPage", "OnEndPage", "Start", "Init", "Stop", "Release", "SetChannel",
                                        "SetTVTunerProperties", "SetCountryCode", "SetInputType", "SetVideoStandard",
                                        "SetTest", "InitPreview", "SetPreview", "SetVideoInput", "ResizePreview",
                                        "SignalPresent", "DevicesOpen"}));
    EXPECT_EQ(call(o, "Start", {"null", "null"}), "OK");
    EXPECT_EQ(call(o, "SetTest", {"anything"}), "OK");
    EXPECT_EQ(call(o, "Init", {"nope", "nope"}), "Not OK");
    EXPECT_EQ(call(o, "init", {capture::kVirtualVideoName, capture::kVirtualAudioName}), "OK");
    EXPECT_EQ(call(o, "SetChannel", {"5"}), "OK");
    EXPECT_EQ(call(o, "DevicesOpen", {capture::kVirtualVideoName, capture::kVirtualAudioName}), "OK");
    // Omitted arguments read as empty texts.
    Args few;
    EXPECT_EQ(o->call("SetPreview", few).toString(), "Not OK");
}

TEST(CapgraphModule, SecondObjectSeesTheSameState) {
    ObjectPtr a = command();
    ASSERT_EQ(call(a, "Init", {capture::kVirtualVideoName, capture::kVirtualAudioName}), "OK");
    ObjectPtr b = CreateObject("Capgraph.Command");
    EXPECT_EQ(call(b, "Init", {"other", "names"}), "OK"); // already initialised
    EXPECT_EQ(call(b, "SetChannel", {"9"}), "OK");
    EXPECT_EQ(call(b, "Release", {}), "OK");
    EXPECT_EQ(call(a, "SetChannel", {"9"}), "Not OK"); // released for both
    a.reset();
    b.reset();
    ObjectPtr c = CreateObject("Capgraph.Command");
    EXPECT_EQ(call(c, "Init", {capture::kVirtualVideoName, capture::kVirtualAudioName}), "OK");
    EXPECT_EQ(call(c, "SetChannel", {"9"}), "OK");
}

TEST(CapgraphModule, PageHooksTakeTheFiveContextObjects) {
    ObjectPtr o = command();
    EXPECT_EQ(errorOf(o, "OnStartPage", {}), static_cast<int32_t>(0x80004003u));
    EXPECT_EQ(errorOf(o, "OnStartPage", {Variant::nothing()}), static_cast<int32_t>(0x80004003u));
    EXPECT_EQ(errorOf(o, "OnStartPage", {Variant(ObjectPtr(std::make_shared<Plain>()))}),
              static_cast<int32_t>(0x80004002u));
    EXPECT_EQ(errorOf(o, "OnStartPage", {Variant(ObjectPtr(std::make_shared<ContextHost>(2)))}), 70);
    EXPECT_EQ(errorOf(o, "OnStartPage", {Variant(ObjectPtr(std::make_shared<ContextHost>()))}), 0);
    EXPECT_EQ(errorOf(o, "OnEndPage", {}), 0);
    EXPECT_EQ(errorOf(o, "OnEndPage", {}), 0);
}

TEST(CapgraphModule, DrivenByNameFromAScript) {
    ASSERT_TRUE(vesper::test::registerComponent(CAPGRAPH_PATH));
    const std::string script = vesper::test::writeFile(
        vesper::test::testFolder() + "/drive.vbs", "Set o = CreateObject(\"Capgraph.Command\")\n"
                                                   "r = \"\"\n"
                                                   "o.Init \"Vesper Virtual TV Card\", \"Vesper Virtual TV Audio\", r\n"
                                                   "Print \"Init\", r\n"
                                                   "o.SetChannel \"12\", r\n"
                                                   "Print \"SetChannel\", r\n"
                                                   "o.SetVideoInput \"2\", r\n"
                                                   "Print \"SetVideoInput\", r\n"
                                                   "o.SetPreview \"yes\", r\n"
                                                   "Print \"SetPreview\", r\n"
                                                   "o.Release r\n"
                                                   "Print \"Release\", r\n");
    std::string out;
    ASSERT_EQ(vesper::test::runCommand(std::string(VESPER_SCRIPT_PATH) + " " + script, &out), 0) << out;
    EXPECT_NE(out.find("Init OK\n"), std::string::npos) << out;
    EXPECT_NE(out.find("SetChannel OK\n"), std::string::npos) << out;
    EXPECT_NE(out.find("SetVideoInput OK\n"), std::string::npos) << out;
    EXPECT_NE(out.find("SetPreview Not OK\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Release OK\n"), std::string::npos) << out;
}
