// The main of every test program: each test process runs in a fresh temporary
// program folder and hive, removed at the end.
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
namespace {
// Under AddressSanitizer, leaks are not reported: the only ones are memory
// that fontconfig, PulseAudio (inside GStreamer's device monitor) and GLib
// keep until the process ends. Undefined behaviour ends the program (the
// build says so) with its stack.
constexpr const char* kAsanOptions = "detect_leaks=0";
constexpr const char* kUbsanOptions = "print_stacktrace=1";
} // namespace
extern "C" const char* __asan_default_options() { return kAsanOptions; }
extern "C" const char* __ubsan_default_options() { return kUbsanOptions; }
#endif

int main(int argc, char** argv) {
    // Under libfaketime (the suite run at another date), the steady clock
    // stays real: GStreamer's live pipelines wait on it behind libfaketime's
    // back and stall when it is faked. Dates and times of day stay faked.
    if (const char* preload = std::getenv("LD_PRELOAD");
        preload && std::strstr(preload, "libfaketime") && !std::getenv("FAKETIME_DONT_FAKE_MONOTONIC")) {
        setenv("FAKETIME_DONT_FAKE_MONOTONIC", "1", 1);
        execv("/proc/self/exe", argv);
    }
#if defined(__SANITIZE_ADDRESS__)
    // The same for the programs the tests start, unless the caller chose.
    setenv("ASAN_OPTIONS", kAsanOptions, 0);
    setenv("UBSAN_OPTIONS", kUbsanOptions, 0);
#endif
    const std::string& folder = vesper::test::testFolder();
    setenv("VESPER_HOME", folder.c_str(), 1);
    setenv("VESPER_REGISTRY", (folder + "/registry.sqlite").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
    // GStreamer keeps its plug-in registry there: not in the user's own cache.
    setenv("XDG_CACHE_HOME", (folder + "/cache").c_str(), 1);
    const std::string runtime = folder + "/runtime";
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    // Never the machine's buses: a test that wants one starts its own.
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + runtime + "/no-session-bus").c_str(), 1);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + runtime + "/no-system-bus").c_str(), 1);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    if (!std::getenv("VESPER_KEEP_TEST_FOLDER")) {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    return rc;
}
