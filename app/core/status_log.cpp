#include "app/core/status_log.h"

#include "platform/automation.h"

#include <cstdio>

#include "app/core/settings_store.h"

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/paths.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace vesper {

namespace {

constexpr const char* kCrLf = "\r\n";

// True while LS0059 is being reported, so the writer never reports its own
// failure recursively.
bool g_reportingFailure = false;

class LogFile {
public:
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    LogFile(const std::string& path, bool append) {
        m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0644);
    }
    ~LogFile() { close(); }
    bool isOpen() const { return m_fd >= 0; }
    // Writes everything; false and errno set on failure.
    bool write(const std::string& text) {
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(m_fd, text.data() + done, text.size() - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }
    bool close() {
        if (m_fd < 0) return true;
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc == 0;
    }

private:
    int m_fd = -1;
};

} // namespace

std::string statusLogEntry(const std::string& message, double when) {
    std::string e;
    e += "~*~======================";
    e += kCrLf;
    e += formatDate(when, "mm/dd/yyyy hh:mm:ss ampm");
    e += kCrLf;
    e += kCrLf;
    e += message;
    e += kCrLf;
    e += kCrLf;
    e += "--------------------~~*~~";
    e += kCrLf;
    return e;
}

bool LogS(const std::string& message, const std::string& primaryFileName, const std::string& companionFileName) {
    try {
        const bool writeCompanion = primaryFileName.empty() || !companionFileName.empty();
        const std::string folder = programFolder();
        const std::string primary = joinPath(folder, primaryFileName.empty() ? "LogStatus.txt" : primaryFileName);
        const std::string companion =
            joinPath(folder, companionFileName.empty() ? "LogStatusLast.txt" : companionFileName);

        LogFile primaryFile(primary, true);
        if (!primaryFile.isOpen()) return false;
        std::optional<LogFile> companionFile;
        if (writeCompanion) {
            companionFile.emplace(companion, false);
            if (!companionFile->isOpen()) return false;
        }

        const std::string entry = statusLogEntry(message, now());
        // Errors while writing do not stop the writer; the first one is kept.
        int failedErrno = 0;
        if (!primaryFile.write(entry) && !failedErrno) failedErrno = errno;
        if (companionFile && !companionFile->write(entry) && !failedErrno) failedErrno = errno;
        if (companionFile && !companionFile->close() && !failedErrno) failedErrno = errno;
        if (!primaryFile.close() && !failedErrno) failedErrno = errno;

        if (failedErrno && !g_reportingFailure) {
            g_reportingFailure = true;
            const int32_t number = fileErrorFromErrno(failedErrno);
            LogStatus("LS0059:ERROR:M14:LogS() Exit - " + std::to_string(number) + ":" + errorText(number), "");
            g_reportingFailure = false;
        }
        return true;
    } catch (...) {
        g_reportingFailure = false;
        return false;
    }
}

bool LogStatus(const std::string& message, const std::string& switchName) {
    try {
        const std::string name = switchName.empty() ? std::string(settings::bLogStatus.name) : switchName;
        if (!settingToBool(RegGetSetting2(settings::key::Status, name, "False"))) return false;
        if (name == settings::bLogStatusAppProfile.name) return LogS(message, "LogStatusAppProfile.txt", "");
        if (name == settings::bLogStatusAppInit.name) return LogS(message, "LogStatusAppInit.txt", "");
        return LogS(message, "", "");
    } catch (...) {
        return false;
    }
}

void guarded(const char* what, const std::function<void()>& step) {
    try {
        step();
    } catch (const AutomationError& e) {
        std::fprintf(stderr, "vesper: %s: %s\n", what, e.logText().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vesper: %s: %s\n", what, e.what());
    }
}

} // namespace vesper
