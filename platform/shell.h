// Opening things the way the desktop does: web pages, text files, folders,
// mail links and command lines. Replaceable, so tests see what would open.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vesper {

// Each opening returns false when it failed at once (nothing to open it
// with). The desktop's opener may also give up a moment later (no browser,
// no program for the file type): then `lateFailure`, when given, is called
// on the event loop with the reason.
class Shell {
public:
    using LateFailure = std::function<void(const std::string& reason)>;

    virtual ~Shell() = default;
    virtual bool openUrl(const std::string& url, LateFailure lateFailure = {}) = 0;
    virtual bool openTextFile(const std::string& path, LateFailure lateFailure = {}) = 0;
    virtual bool openFolder(const std::string& path, LateFailure lateFailure = {}) = 0;
    virtual bool openMail(const std::string& mailtoUrl, LateFailure lateFailure = {}) = 0;
    // Starts a program detached; `commandLine` is split like a shell would
    // (quotes group words) but never run through a shell.
    virtual bool startCommand(const std::string& commandLine) = 0;
};

// The desktop's default handlers: `xdg-open` (watched until it ends), else
// QDesktopServices; detached processes for command lines.
class DesktopShell : public Shell {
public:
    bool openUrl(const std::string& url, LateFailure lateFailure = {}) override;
    bool openTextFile(const std::string& path, LateFailure lateFailure = {}) override;
    bool openFolder(const std::string& path, LateFailure lateFailure = {}) override;
    bool openMail(const std::string& mailtoUrl, LateFailure lateFailure = {}) override;
    bool startCommand(const std::string& commandLine) override;
};

// Records every request instead of opening anything.
class RecordingShell : public Shell {
public:
    struct Request {
        std::string kind; // "url", "text", "folder", "mail", "command"
        std::string target;
        LateFailure lateFailure; // a test calls it as the opener giving up would
    };
    bool openUrl(const std::string& url, LateFailure late = {}) override { return keep("url", url, late); }
    bool openTextFile(const std::string& path, LateFailure late = {}) override { return keep("text", path, late); }
    bool openFolder(const std::string& path, LateFailure late = {}) override { return keep("folder", path, late); }
    bool openMail(const std::string& mailtoUrl, LateFailure late = {}) override {
        return keep("mail", mailtoUrl, late);
    }
    bool startCommand(const std::string& commandLine) override { return keep("command", commandLine, {}); }

    std::vector<Request> requests;
    bool answer = true;

private:
    bool keep(const char* kind, const std::string& target, LateFailure late) {
        requests.push_back({kind, target, std::move(late)});
        return answer;
    }
};

Shell& shell();
// Replaces the shell (nullptr restores the desktop's); the caller keeps it alive.
void setShell(Shell* s);

// Splits a command line into words: blanks separate, double quotes group.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

} // namespace vesper
