#include "kickstall/installer_layer.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kickstall {

namespace fs = std::filesystem;

namespace {

class RealFileSystemObject : public FileSystemObject {
public:
    bool FolderExists(const std::string& path) override {
        std::error_code ec;
        return fs::is_directory(path, ec);
    }
    bool CreateFolder(const std::string& path) override {
        std::error_code ec;
        return fs::create_directory(path, ec) && !ec;
    }
    bool FileExists(const std::string& path) override {
        std::error_code ec;
        return fs::is_regular_file(path, ec);
    }
    std::optional<std::string> ReadStart(const std::string& path, size_t count) override {
        std::ifstream in(path, std::ios::binary);
        if (!in) return std::nullopt;
        std::string bytes(count, '\0');
        in.read(bytes.data(), static_cast<std::streamsize>(count));
        if (in.bad()) return std::nullopt;
        bytes.resize(static_cast<size_t>(in.gcount()));
        return bytes;
    }
    bool CopyFile(const std::string& source, const std::string& destination, bool overwrite) override {
        std::error_code ec;
        if (!overwrite && fs::exists(destination, ec)) return false;
        // Copy beside the destination and rename over it, so that a failed
        // copy never leaves half a package where a whole one was.
        const std::string part = destination + ".part";
        fs::copy_file(source, part, fs::copy_options::overwrite_existing, ec);
        if (!ec) fs::rename(part, destination, ec);
        if (ec) {
            std::error_code ignored;
            fs::remove(part, ignored);
            return false;
        }
        return true;
    }
};

class PackageDatabaseInstaller : public Installer {
public:
    explicit PackageDatabaseInstaller(std::vector<PackageRecord> packages) : m_packages(std::move(packages)) {}
    int Count() override { return static_cast<int>(m_packages.size()); }
    std::string Item(int index) override {
        return index >= 0 && index < Count() ? m_packages[static_cast<size_t>(index)].name : std::string();
    }
    std::optional<std::string> ProductInfo(const std::string& productCode, const std::string& property) override {
        if (property != "ProductName") return std::nullopt;
        for (const auto& p : m_packages) {
            if (p.name != productCode) continue;
            // "Product: what this package is", as many one-line descriptions go.
            const std::string name = p.summary.substr(0, p.summary.find(": "));
            return name.empty() ? std::nullopt : std::optional(name);
        }
        return std::nullopt;
    }

private:
    std::vector<PackageRecord> m_packages;
};

} // namespace

std::unique_ptr<FileSystemObject> createFileSystemObject() { return std::make_unique<RealFileSystemObject>(); }

std::vector<PackageRecord> parsePackageListing(const std::string& listing) {
    std::vector<PackageRecord> out;
    std::istringstream lines(listing);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t tab1 = line.find('\t');
        const size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos || tab1 == 0) continue;
        // Status is "want flag state"; only the state tells whether it is there.
        const std::string status = line.substr(tab1 + 1, tab2 - tab1 - 1);
        const std::string state = status.substr(status.rfind(' ') + 1);
        if (state == "not-installed" || state == "config-files" || state.empty()) continue;
        out.push_back({line.substr(0, tab1), line.substr(tab2 + 1)});
    }
    return out;
}

std::optional<std::string> queryDpkg() {
    QProcess p;
    p.start("dpkg-query", {"-W", "-f=${Package}\\t${Status}\\t${binary:Summary}\\n"});
    if (!p.waitForStarted() || !p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return std::nullopt;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return std::nullopt;
    return p.readAllStandardOutput().toStdString();
}

std::unique_ptr<Installer> createInstaller(const PackageQuery& query) {
    const auto listing = query ? query() : std::nullopt;
    if (!listing) return nullptr;
    return std::make_unique<PackageDatabaseInstaller>(parsePackageListing(*listing));
}

bool startDetached(const InstallCommand& command, std::string& why) {
    if (QStandardPaths::findExecutable(QString::fromStdString(command.program)).isEmpty()) {
        // No terminal program to show the installer in (a machine without a
        // desktop). Started from a terminal, the installer takes that one
        // over: the user still sees and answers it, and the bootstrap ends as
        // it hands over.
        if (::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO)) {
            std::fflush(nullptr);
            ::execlp("sh", "sh", "-c", command.commandLine.c_str(), static_cast<char*>(nullptr));
        }
        why = "there is no " + command.program + " to show the installer in; run it yourself: " + command.commandLine;
        return false;
    }
    QStringList args;
    for (const auto& a : command.arguments)
        args << QString::fromStdString(a);
    QProcess p;
    p.setProgram(QString::fromStdString(command.program));
    p.setArguments(args);
    if (p.startDetached()) return true;
    why = p.errorString().toStdString();
    if (why.empty() || why == "Unknown error") why = command.program + " could not be started";
    return false;
}

std::string shellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

} // namespace kickstall
