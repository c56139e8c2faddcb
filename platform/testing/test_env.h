// What every test process gets: its own temporary program folder and hive.
#pragma once

#include <functional>
#include <string>

namespace vesper::test {

// The temporary folder of this test process ($VESPER_HOME points here and the
// hive is "registry.sqlite" inside it). Removed when the process ends.
const std::string& testFolder();
// A fresh sub-folder of the test folder.
std::string makeFolder(const std::string& name);
// Writes a file (creating folders on the way) and returns its path.
std::string writeFile(const std::string& path, const std::string& contents);
std::string readFile(const std::string& path);
// Registers a component library into this test's hive; false when it fails.
bool registerComponent(const std::string& libraryPath);
// Runs a command line through the shell, capturing its standard output and
// error together; returns the exit code.
int runCommand(const std::string& commandLine, std::string* output = nullptr);
// Runs `body` in a child process as a user without privileges (root drops to
// nobody first, so that folder rights hold for it too); returns whether every
// expectation inside held. The test folder is opened to others for the time.
bool runUnprivileged(const std::function<void()>& body);

} // namespace vesper::test
