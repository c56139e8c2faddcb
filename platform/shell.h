// Opening things the way the desktop does: web pages, text files, folders,
// mail links and command lines. Replaceable, so tests see what would open.
#pragma once

#include <string>
#include <vector>

namespace vesper {

class Shell {
public:
    virtual ~Shell() = default;
    virtual bool openUrl(const std::string& url) = 0;
    virtual bool openTextFile(const std::string& path) = 0;
    virtual bool openFolder(const std::string& path) = 0;
    virtual bool openMail(const std::string& mailtoUrl) = 0;
    // Starts a program detached; `commandLine` is split like a shell would
    // (quotes group words) but never run through a shell.
    virtual bool startCommand(const std::string& commandLine) = 0;
};

// The desktop's default handlers (QDesktopServices, detached processes).
class DesktopShell : public Shell {
public:
    bool openUrl(const std::string& url) override;
    bool openTextFile(const std::string& path) override;
    bool openFolder(const std::string& path) override;
    bool openMail(const std::string& mailtoUrl) override;
    bool startCommand(const std::string& commandLine) override;
};

// Records every request instead of opening anything.
class RecordingShell : public Shell {
public:
    struct Request {
        std::string kind; // "url", "text", "folder", "mail", "command"
        std::string target;
    };
    bool openUrl(const std::string& url) override { return keep("url", url); }
    bool openTextFile(const std::string& path) override { return keep("text", path); }
    bool openFolder(const std::string& path) override { return keep("folder", path); }
    bool openMail(const std::string& mailtoUrl) override { return keep("mail", mailtoUrl); }
    bool startCommand(const std::string& commandLine) override { return keep("command", commandLine); }

    std::vector<Request> requests;
    bool answer = true;

private:
    bool keep(const char* kind, const std::string& target) {
        requests.push_back({kind, target});
        return answer;
    }
};

Shell& shell();
// Replaces the shell (nullptr restores the desktop's); the caller keeps it alive.
void setShell(Shell* s);

// Splits a command line into words: blanks separate, double quotes group.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

} // namespace vesper
