#include "platform/automation.h"
#include "platform/component_setup.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vesper;
namespace fs = std::filesystem;

namespace {

// A copy of the test component under another folder or name: the hive tells
// the copies apart by their paths only.
std::string copyComponent(const std::string& folder, const std::string& name = "test_component.so") {
    fs::create_directories(folder);
    const std::string path = folder + "/" + name;
    fs::copy_file(TEST_COMPONENT_PATH, path, fs::copy_options::overwrite_existing);
    return path;
}

std::string serverOf(const std::string& progId) {
    const auto cls = resolveProgId(progId);
    return cls ? cls->libraryPath : std::string();
}

} // namespace

TEST(ComponentSetup, RegistersMissingComponentsOnceAndReportsTheRest) {
    const std::string folder = test::makeFolder("fresh/components");
    const std::string lib = copyComponent(folder);
    test::writeFile(folder + "/notes.so", "not a library");
    test::writeFile(folder + "/README", "ignored");

    const auto first = ensureComponentsRegistered(folder);
    EXPECT_EQ(first.registered, std::vector<std::string>{lib});
    ASSERT_EQ(first.failures.size(), 1u);
    EXPECT_NE(first.failures[0].find("notes.so"), std::string::npos);
    EXPECT_EQ(serverOf("Vesper.TestObject"), lib);
    EXPECT_NE(TryCreateObject("Vesper.TestObject"), nullptr);

    const auto second = ensureComponentsRegistered(folder);
    EXPECT_TRUE(second.registered.empty());
    EXPECT_EQ(second.upToDate, std::vector<std::string>{lib});

    // Nothing to do for a missing folder or none at all.
    EXPECT_TRUE(ensureComponentsRegistered(test::testFolder() + "/no/such").registered.empty());
    EXPECT_TRUE(ensureComponentsRegistered("").ok());
}

TEST(ComponentSetup, TakesBackRegistrationsOfOtherCopiesAndRepairsBrokenOnes) {
    const std::string old = copyComponent(test::makeFolder("build/bin"));
    ASSERT_TRUE(test::registerComponent(old));
    const std::string folder = test::makeFolder("usr/lib/vesper/components");
    const std::string lib = copyComponent(folder);

    EXPECT_EQ(ensureComponentsRegistered(folder).registered, std::vector<std::string>{lib});
    EXPECT_EQ(serverOf("Vesper.TestObject"), lib);

    // The ProgID was dropped, or points at a class whose library is gone.
    registry::deleteKey(std::string(kClassesRoot) + "\\Vesper.TestObject.1");
    EXPECT_EQ(ensureComponentsRegistered(folder).registered.size(), 1u);
    ClassRegistration gone{"{99999999-0000-0000-0000-000000000001}",
                           "Vesper.TestObject.1",
                           "Vesper.TestObject",
                           "Gone",
                           test::testFolder() + "/gone/other.so",
                           "Apartment",
                           ""};
    ASSERT_TRUE(registerClass(gone));
    EXPECT_EQ(ensureComponentsRegistered(folder).registered.size(), 1u);
    EXPECT_EQ(serverOf("Vesper.TestObject"), lib);
}

TEST(ComponentSetup, LeavesAProgIdTheUserGaveToALibraryOfTheirOwn) {
    const std::string folder = test::makeFolder("prefix/lib/vesper/components");
    const std::string lib = copyComponent(folder);
    ASSERT_TRUE(ensureComponentsRegistered(folder).ok());

    const std::string own = copyComponent(test::makeFolder("mine"), "my_plugin.so");
    ClassRegistration mine{"{99999999-0000-0000-0000-000000000002}",
                           "Vesper.TestObject.1",
                           "Vesper.TestObject",
                           "Mine",
                           own,
                           "Apartment",
                           ""};
    ASSERT_TRUE(registerClass(mine));
    const auto kept = ensureComponentsRegistered(folder);
    EXPECT_TRUE(kept.registered.empty());
    EXPECT_EQ(serverOf("Vesper.TestObject"), own);

    // Another copy of the same library is no choice of the user's.
    const std::string copy = copyComponent(test::makeFolder("elsewhere"));
    mine.libraryPath = copy;
    ASSERT_TRUE(registerClass(mine));
    EXPECT_EQ(ensureComponentsRegistered(folder).registered, std::vector<std::string>{lib});
    EXPECT_EQ(serverOf("Vesper.TestObject"), lib);
}

TEST(ComponentSetup, FindsTheComponentsOfAnInstalledTreeOnly) {
    const std::string prefix = test::makeFolder("tree");
    const std::string bin = test::makeFolder("tree/bin");
    EXPECT_EQ(bundledComponentsFolder(bin), "");
    const std::string components = test::makeFolder("tree/lib/vesper/components");
    EXPECT_EQ(bundledComponentsFolder(bin), components);
    test::writeFile(bin + "/" + kBuildTreeMarker, "");
    EXPECT_EQ(bundledComponentsFolder(bin), "");
    EXPECT_EQ(bundledComponentsFolder(""), "");
    // The test programs themselves run from the build tree.
    EXPECT_TRUE(isBuildTree(executableFolder()));
    EXPECT_EQ(bundledComponentsFolder(), "");
    (void)prefix;
}
