// What the installer bootstrap stands on: the file system, the package
// database, and the start of the package tools in the desktop's terminal.
// Each is an interface so that tests hand in doubles and nothing is ever
// installed on the machine that runs them.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kickstall {

// The few file operations the bootstrap needs.
class FileSystemObject {
public:
    virtual ~FileSystemObject() = default;
    virtual bool FolderExists(const std::string& path) = 0;
    // Creates one folder level; false when it could not be created.
    virtual bool CreateFolder(const std::string& path) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    // The first bytes of a file (up to `count`); nullopt when it cannot be read.
    virtual std::optional<std::string> ReadStart(const std::string& path, size_t count) = 0;
    // Copies `source` over `destination`, replacing an existing file whole or
    // not at all.
    virtual bool CopyFile(const std::string& source, const std::string& destination, bool overwrite) = 0;
};

// std::filesystem.
std::unique_ptr<FileSystemObject> createFileSystemObject();

// The installed products, as the package database knows them: a product is an
// installed package, its code the package name, its "ProductName" the
// package's one-line description up to a ": " ("Vesper Home: personal digital
// video recorder" is the product "Vesper Home").
class Installer {
public:
    virtual ~Installer() = default;
    virtual int Count() = 0;
    virtual std::string Item(int index) = 0;
    // nullopt when the property cannot be read for that product.
    virtual std::optional<std::string> ProductInfo(const std::string& productCode, const std::string& property) = 0;
};

// One package of the database listing.
struct PackageRecord {
    std::string name;
    std::string summary;
};

// The listing "name TAB status TAB summary" lines of dpkg-query, reduced to the
// packages that are on the system (installed, or half-way there: a broken
// installation counts, as the product is then to be repaired).
std::vector<PackageRecord> parsePackageListing(const std::string& listing);

// Asks the package database for its listing; nullopt when it cannot be read.
using PackageQuery = std::function<std::optional<std::string>()>;
// Runs dpkg-query (which honours DPKG_ADMINDIR).
std::optional<std::string> queryDpkg();

// An installer over the package database, or nullptr when the database cannot
// be read.
std::unique_ptr<Installer> createInstaller(const PackageQuery& query = queryDpkg);

// A command line of the package tools and how it is started: in the desktop's
// terminal, so the user sees it and answers it.
struct InstallCommand {
    std::string commandLine; // what runs in the terminal, e.g. apt-get install '/var/cache/...'
    std::string program;     // "x-terminal-emulator"
    std::vector<std::string> arguments;
};

// Starts a command detached (nobody waits for it); false and `why` when it
// could not be started.
using CommandStarter = std::function<bool(const InstallCommand&, std::string& why)>;
bool startDetached(const InstallCommand& command, std::string& why);

// A text quoted for the POSIX shell.
std::string shellQuote(const std::string& text);

} // namespace kickstall
