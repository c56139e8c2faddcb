#include "platform/automation.h"
#include "platform/registry.h"
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

using namespace vesper;

namespace {
int32_t errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const AutomationError& e) {
        return e.number();
    }
    return 0;
}
} // namespace

TEST(Automation, CreateObjectFailsClearlyWithoutRegistration) {
    std::string why;
    EXPECT_EQ(TryCreateObject("Vesper.TestObject", &why), nullptr);
    EXPECT_NE(why.find("no class is registered"), std::string::npos);
    EXPECT_EQ(errorOf([] { CreateObject("Vesper.TestObject"); }), err::CannotCreateObject);
}

TEST(Automation, CreateObjectFailsWhenTheLibraryOrClassIsMissing) {
    ClassRegistration r;
    r.clsid = "{11111111-2222-3333-4444-555555555555}";
    r.progId = "Gone.Library";
    r.description = "Gone";
    r.libraryPath = test::testFolder() + "/nowhere.so";
    ASSERT_TRUE(registerClass(r));
    std::string why;
    EXPECT_EQ(TryCreateObject("Gone.Library", &why), nullptr);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(errorOf([] { CreateObject("Gone.Library"); }), err::CannotCreateObject);

    // A real component library asked for a class it does not have.
    r.progId = "Wrong.Class";
    r.libraryPath = TEST_COMPONENT_PATH;
    ASSERT_TRUE(registerClass(r));
    EXPECT_EQ(TryCreateObject("Wrong.Class", &why), nullptr);
    EXPECT_NE(why.find("does not provide"), std::string::npos);

    // A library that is not a component.
    const std::string notLib = test::writeFile(test::testFolder() + "/fake.so", "garbage");
    EXPECT_FALSE(loadComponentLibrary(notLib, &why).has_value());
}

TEST(Automation, CallsByNameWithReferencesAndOptionalArguments) {
    ASSERT_TRUE(test::registerComponent(TEST_COMPONENT_PATH));
    ObjectPtr o = CreateObject("vesper.testobject"); // ProgIDs are not case-sensitive
    Args a{Variant(2.5), Variant(static_cast<int16_t>(4))};
    EXPECT_DOUBLE_EQ(o->call("ADD", a).toDouble(), 6.5);

    Args s{Variant("left"), Variant("right")};
    o->call("Swap", s);
    EXPECT_EQ(s[0].toString(), "right");
    EXPECT_EQ(s[1].toString(), "left");

    Args none;
    EXPECT_EQ(o->call("Greet", none).toString(), "Hello, world");
    Args missing{Variant::missing()};
    EXPECT_EQ(o->call("Greet", missing).toString(), "Hello, world");

    EXPECT_EQ(o->get("Name").toString(), "unnamed");
    o->put("Name", "tuner");
    EXPECT_EQ(o->get("name").toString(), "tuner");

    EXPECT_EQ(errorOf([&] { o->call("NoSuchMember"); }), err::NotSupported);
    try {
        Args f{Variant(static_cast<int16_t>(91))};
        o->call("Fail", f);
        FAIL();
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.number(), 91);
        EXPECT_EQ(e.source(), "Vesper.TestObject");
        EXPECT_EQ(e.logText(), "Vesper.TestObject:91:failed on purpose");
    }
}

TEST(Automation, RegistrationTableAndUnregistration) {
    ASSERT_TRUE(test::registerComponent(TEST_COMPONENT_PATH));
    const std::string cls = "Software\\Classes\\CLSID\\{0E3C3B1A-5D3E-4F55-9C1B-7A1D2E3F4A5B}";
    EXPECT_EQ(registry::queryValue("Software\\Classes\\Vesper.TestObject\\CurVer", "")->text, "Vesper.TestObject.1");
    EXPECT_EQ(registry::queryValue(cls + "\\InprocServer32", "ThreadingModel")->text, "Apartment");
    EXPECT_TRUE(registry::keyExists(cls + "\\Programmable"));
    const auto lib = loadComponentLibrary(TEST_COMPONENT_PATH);
    ASSERT_TRUE(lib);
    ASSERT_TRUE(lib->unregisterServer());
    EXPECT_FALSE(registry::keyExists(cls));
    EXPECT_TRUE(registry::keyExists("Software\\Classes\\CLSID"));
    EXPECT_FALSE(registry::keyExists("Software\\Classes\\Vesper.TestObject"));
    EXPECT_EQ(TryCreateObject("Vesper.TestObject"), nullptr);
}
