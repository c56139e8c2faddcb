#include "tools/script_host.h"

#include "platform/registry.h"
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <sstream>
#include <sys/stat.h>

using namespace vesper;

namespace {

std::string tool(const std::string& name) { return std::string(TOOLS_DIR) + "/" + name; }

struct ScriptRun {
    int rc;
    std::string out, err;
};

ScriptRun runScript(const std::string& source) {
    std::ostringstream out, err;
    ScriptHost host(out, err);
    const int rc = host.run(source);
    return {rc, out.str(), err.str()};
}

} // namespace

TEST(Regsvr, RegistersListsAndUnregisters) {
    std::string out;
    EXPECT_EQ(test::runCommand(tool("regsvr") + " " + TEST_COMPONENT_PATH, &out), 0) << out;
    EXPECT_EQ(test::runCommand(tool("regsvr") + " list", &out), 0);
    EXPECT_NE(out.find("Vesper.TestObject\t{0E3C3B1A-5D3E-4F55-9C1B-7A1D2E3F4A5B}"), std::string::npos) << out;
    // The interface and type-library tables are no classes.
    registry::Key k;
    ASSERT_TRUE(registry::createKey("Software\\Classes\\Interface\\{11111111-2222-3333-4444-555555555555}", k));
    ASSERT_TRUE(registry::createKey("Software\\Classes\\TypeLib\\{11111111-2222-3333-4444-555555555556}", k));
    EXPECT_EQ(test::runCommand(tool("regsvr") + " list", &out), 0);
    EXPECT_EQ(out.find("Interface"), std::string::npos) << out;
    EXPECT_EQ(out.find("TypeLib"), std::string::npos) << out;
    EXPECT_EQ(test::runCommand(tool("regsvr") + " info " + TEST_COMPONENT_PATH, &out), 0);
    EXPECT_EQ(out, "FileDescription=Test Module\n");
    EXPECT_EQ(test::runCommand(tool("regsvr") + " /u " + TEST_COMPONENT_PATH, &out), 0) << out;
    EXPECT_EQ(test::runCommand(tool("regsvr") + " list", &out), 0);
    EXPECT_EQ(out.find("Vesper.TestObject"), std::string::npos) << out;
    EXPECT_EQ(test::runCommand(tool("regsvr") + " /no/such/lib.so", &out), 1);
    EXPECT_NE(out.find("cannot load"), std::string::npos);
    EXPECT_EQ(test::runCommand(tool("regsvr"), &out), 2);
}

TEST(VesperReg, AddQueryExportDelete) {
    std::string out;
    const std::string reg = tool("vesper-reg");
    EXPECT_EQ(test::runCommand(reg + " add \"HKCU\\Software\\Orvane\\Vesper\\1.0\\Tuner\" /v Channel /d 5", &out), 0)
        << out;
    EXPECT_EQ(test::runCommand(reg + " add HKCU\\\\Software\\\\X /v N /t REG_DWORD /d 0x2a", &out), 0) << out;
    EXPECT_EQ(test::runCommand(reg + " query \"Software\\orvane\\vesper\\1.0\\tuner\" /v channel", &out), 0);
    EXPECT_EQ(out, "channel\tREG_SZ\t5\n");
    EXPECT_EQ(test::runCommand(reg + " export HKCU\\\\Software\\\\X", &out), 0);
    EXPECT_EQ(out, "[HKEY_CURRENT_USER\\Software\\X]\n\"N\"=dword:0000002a\n\n");
    EXPECT_EQ(test::runCommand(reg + " add Software\\\\X /v N /t REG_DWORD /d lots", &out), 2);
    EXPECT_EQ(test::runCommand(reg + " delete Software\\\\X /v N", &out), 0);
    EXPECT_EQ(test::runCommand(reg + " query Software\\\\X /v N", &out), 1);
    EXPECT_EQ(test::runCommand(reg + " delete Software\\\\X", &out), 0);
    EXPECT_EQ(test::runCommand(reg + " query Software\\\\X", &out), 1);
    EXPECT_NE(out.find("does not exist"), std::string::npos);
    EXPECT_EQ(test::runCommand(reg + " frobnicate x", &out), 2);
}

TEST(Tools, ADamagedHiveIsNamedNotBlamedOnRegistration) {
    const std::string hive =
        test::writeFile(test::testFolder() + "/damaged/registry.sqlite", "SQLite format 3" + std::string(4000, '\x7f'));
    const std::string before = test::readFile(hive);
    const std::string script = test::writeFile(test::testFolder() + "/damaged/s.vbs", "Print 1\n");
    for (const std::string& command :
         {tool("regsvr") + " " + TEST_COMPONENT_PATH, tool("regsvr") + " list", tool("vesper-reg") + " query Software",
          tool("vesper-reg") + " add Software\\\\X /v N /d 1", tool("vesper-script") + " " + script}) {
        SCOPED_TRACE(command);
        std::string out;
        EXPECT_EQ(test::runCommand("VESPER_REGISTRY=" + hive + " " + command, &out), 1);
        EXPECT_NE(out.find("The settings file (registry hive)\n  " + hive + "\nis not a settings file"),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find("mv '" + hive + "'"), std::string::npos) << out;
        EXPECT_EQ(out.find("registration"), std::string::npos) << out;
    }
    EXPECT_EQ(test::readFile(hive), before);
}

TEST(VesperScript, CallsMembersWithReferencesAndPrints) {
    ASSERT_TRUE(test::registerComponent(TEST_COMPONENT_PATH));
    const ScriptRun r = runScript("' a comment\n"
                                  "Dim o, a, b\n"
                                  "Set o = CreateObject(\"Vesper.TestObject\")\n"
                                  "a = \"left\"\n"
                                  "b = \"right\"\n"
                                  "o.Swap a, b\n"
                                  "Print a, b\n"
                                  "Call o.Swap(a, \"literal\")\n"
                                  "Print a\n"
                                  "Print o.Add(2, 3.5) & \" units\"\n"
                                  "o.Name = \"tuner\"\n"
                                  "Print o.Name, o.Greet(), o.Greet(\"you\")\n"
                                  "Print o.Child().Greet(), TypeName(o)\n"
                                  "x = #4/20/2002 8:00:00 PM#\n"
                                  "Print x, CInt(2.5), CInt(3.5), -4 + 1\n"
                                  "Wait 0\n"
                                  "On Error Resume Next\n"
                                  "o.Fail 91\n"
                                  "Print Err\n"
                                  "Print Err.Number, Err.Source\n"
                                  "Print \"was:\", Err, CStr(Err) & \".\"\n"
                                  "Err.Clear\n"
                                  "Print Err\n"
                                  "On Error GoTo 0\n"
                                  "Set o = Nothing\n"
                                  "Print o\n");
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "right left\n"
                     "literal\n"
                     "5.5 units\n"
                     "tuner Hello, world Hello, you\n"
                     "Hello, world TestObject\n"
                     "4/20/2002 8:00:00 PM 2 4 -3\n"
                     "Error 91 (Vesper.TestObject): failed on purpose\n"
                     "91 Vesper.TestObject\n"
                     "was: Error 91 (Vesper.TestObject): failed on purpose Error 91 (Vesper.TestObject): failed on "
                     "purpose.\n"
                     "No error\n"
                     "Nothing\n");
}

TEST(VesperScript, StrictAboutErrorsWithLineNumbers) {
    ASSERT_TRUE(test::registerComponent(TEST_COMPONENT_PATH));
    ScriptRun r = runScript("Set o = CreateObject(\"Vesper.TestObject\")\no.Fail 13\nPrint \"not reached\"\n");
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.err, "line 2: run-time error 13 (Vesper.TestObject): failed on purpose\n");
    EXPECT_EQ(r.out, "");

    r = runScript("Print 1\nthis is not a statement\n");
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find("line 2: cannot run this line"), std::string::npos) << r.err;

    r = runScript("Set o = CreateObject(\"No.Such\")\n");
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("line 1: run-time error 429"), std::string::npos) << r.err;

    r = runScript("o.Call 1\n");
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("424"), std::string::npos);

    // Deep nesting is refused, not followed until the stack runs out.
    r = runScript("x = " + std::string(20000, '(') + "1" + std::string(20000, ')') + "\n");
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find("line 1: cannot run this line: the expression is nested too deeply"), std::string::npos)
        << r.err.substr(0, 200);
    r = runScript("Print " + std::string(50000, '-') + "1\n");
    EXPECT_EQ(r.rc, 2);
    r = runScript("Print CStr(CStr(CStr((((1))))))\n");
    EXPECT_EQ(r.rc, 0) << r.err;

    r = runScript("Print \"unterminated\n");
    EXPECT_EQ(r.rc, 2);
    r = runScript("x = #not a date#\n");
    EXPECT_EQ(r.rc, 2);
}

TEST(VesperScript, RunsFromTheCommandLine) {
    ASSERT_TRUE(test::registerComponent(TEST_COMPONENT_PATH));
    const std::string script = test::writeFile(
        test::testFolder() + "/s.vbs", "Set o = CreateObject(\"Vesper.TestObject\")\r\nPrint o.Greet(\"CLI\")\r\n");
    std::string out;
    EXPECT_EQ(test::runCommand(tool("vesper-script") + " " + script, &out), 0) << out;
    EXPECT_EQ(out, "Hello, CLI\n");
    EXPECT_EQ(test::runCommand(tool("vesper-script") + " /no/such/script", &out), 2);
}

TEST(Setup, FetchesEmptyPackageListsFirstAndPromisesOnlyWhatItDoes) {
    // The package tools replaced by stand-ins that log their calls: every
    // package is missing, and an install fails (so the set-up stops there).
    const std::string stubs = test::makeFolder("stubs");
    const std::string lists = test::makeFolder("apt-lists");
    const std::string log = stubs + "/apt.log";
    const auto stub = [&](const std::string& name, const std::string& body) {
        const std::string path = test::writeFile(stubs + "/" + name, "#!/bin/sh\n" + body + "\n");
        ::chmod(path.c_str(), 0755);
    };
    stub("dpkg-query", "exit 1");
    stub("apt-config", "echo \"LISTS='" + lists + "/'\"");
    stub("apt-get", "echo \"$1\" >> '" + log + "'\ncase \"$*\" in *install*) exit 1;; esac");
    stub("id", "echo \"$STUB_UID\"");
    stub("sudo", "exit 1");
    const std::string setup = "PATH='" + stubs + "':\"$PATH\" bash '" + SOURCE_DIR + "/scripts/setup.sh'";
    std::string out;

    // No package lists at all: they are fetched before anything is installed.
    EXPECT_NE(test::runCommand("STUB_UID=0 " + setup, &out), 0);
    EXPECT_EQ(test::readFile(log), "update\ninstall\n") << out;
    EXPECT_NE(out.find("about 420 MB"), std::string::npos) << out;

    // Lists present: install first, fetch them only when that fails.
    test::writeFile(lists + "/deb.debian.org_debian_dists_bookworm_main_binary-amd64_Packages", "");
    std::filesystem::remove(log);
    EXPECT_NE(test::runCommand("STUB_UID=0 " + setup, &out), 0);
    EXPECT_EQ(test::readFile(log), "install\nupdate\ninstall\n") << out;

    // A user who cannot install is told the whole command, and nothing is
    // said to be installing.
    std::filesystem::remove(log);
    EXPECT_EQ(test::runCommand("STUB_UID=1000 " + setup, &out), 1);
    EXPECT_FALSE(std::filesystem::exists(log));
    EXPECT_EQ(out.find("installing"), std::string::npos) << out;
    // The whole list, in its order.
    const std::string install = "sudo apt-get update && sudo apt-get install ";
    const size_t from = out.find(install);
    ASSERT_NE(from, std::string::npos) << out;
    std::string listed;
    ASSERT_EQ(test::runCommand("bash '" SOURCE_DIR "/scripts/setup.sh' --packages", &listed), 0);
    std::replace(listed.begin(), listed.end(), '\n', ' ');
    const size_t start = from + install.size();
    EXPECT_EQ(out.substr(start, out.find('\n', start) - start) + " ", listed) << out;
}
