// Helpers shared by the capture tests.
#pragma once

#include "capture/device_stream.h"

#include "platform/testing/test_env.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace vesper::capture::captest {

// Waits until `done` answers true: for work on real streaming threads, which
// no test clock can move. False after `seconds`.
template <class Pred> bool eventually(Pred done, int seconds = 10) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Installs a virtual card description for the life of the object.
class CardsFile {
public:
    explicit CardsFile(const std::string& json) {
        static int n = 0;
        path = vesper::test::writeFile(vesper::test::testFolder() + "/cards" + std::to_string(++n) + ".json", json);
        setenv(kVirtualCardsVariable, path.c_str(), 1);
    }
    ~CardsFile() { unsetenv(kVirtualCardsVariable); }
    void rewrite(const std::string& json) { vesper::test::writeFile(path, json); }
    std::string path;
};

} // namespace vesper::capture::captest
