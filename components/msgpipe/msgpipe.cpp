#include "components/msgpipe/msgpipe.h"

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/handover/handover_client.h"
#include "platform/handover/handover_protocol.h"
#include "platform/handover/main_program_keys.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/variant.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace vesper::msgpipe {

namespace {

// A text value of the main program's settings, as the main program reads it:
// only a string value counts, cut at its first NUL; empty when absent.
std::string mainProgramSetting(const char* relativeKey, const char* name) {
    const auto v = registry::queryValue(std::string(mainprogram::kSettingsRoot) + relativeKey, name);
    if (!v || v->type != registry::ValueType::String) return {};
    return v->text.substr(0, v->text.find('\0'));
}

// "True"/"False" in any case, or a number that is not zero.
bool settingIsTrue(const std::string& text) {
    try {
        return Variant(text).toBool();
    } catch (const AutomationError&) {
        return false;
    }
}

class clsObject : public DispatchObject {
public:
    clsObject() : DispatchObject("Msgpipe") {
        method("IIsAppLoadComplete", [](Args&) -> Variant {
            if (!settingIsTrue(mainProgramSetting(mainprogram::kStatusKey, mainprogram::kAppLoadComplete)))
                return false;
            const auto r = handover::sendToMainProgram(instanceRuntimePath(handover::kSocketName), {}, 3);
            return r == handover::SendResult::Alive;
        });
        method("IStartApp", [](Args&) -> Variant { return startDetached(mainProgramPath()); });
        method("IWaitInSeconds", [this](Args& a) -> Variant {
            expectArgs(a, 1, 1);
            const int16_t seconds = arg(a, 0).toInt16();
            if (seconds > 0) waitSeconds(seconds);
            return true;
        });
        method("ISendMessage", [this](Args& a) -> Variant {
            expectArgs(a, 1, 1);
            const std::string document = arg(a, 0).toString();
            const auto r = handover::sendToMainProgram(instanceRuntimePath(handover::kSocketName), document);
            return r == handover::SendResult::Accepted;
        });
    }
    std::string className() const override { return "clsObject"; }
};

bool isProgram(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

} // namespace

Object* newMsgpipeObject() { return new clsObject(); }

std::string mainProgramFolder() {
    std::string folder = mainProgramSetting(mainprogram::kPropertiesKey, mainprogram::kAppPath);
    if (!folder.empty()) return folder;
    // Installed beside guidelink: its folder when guidelink is the host,
    // else this library's, which lives in the same folder.
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && exe.filename() == "guidelink") return exe.parent_path().string();
    return libraryFolder(reinterpret_cast<const void*>(&newMsgpipeObject));
}

std::string mainProgramPath() { return joinPath(mainProgramFolder(), "vesper"); }

bool startDetached(const std::string& program) {
    if (!isProgram(program)) return false;
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return false;
    char* const argv[] = {const_cast<char*>(program.c_str()), nullptr};
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (child == 0) {
        // Own session, then a grandchild that no one waits for: the started
        // program outlives us and never becomes our zombie.
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        ::execv(program.c_str(), argv);
        const int e = errno;
        [[maybe_unused]] ssize_t n = ::write(report[1], &e, sizeof e);
        _exit(127);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // The pipe closes on a successful exec; an errno arrives when it failed.
    int e = 0;
    ssize_t n;
    while ((n = ::read(report[0], &e, sizeof e)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

} // namespace vesper::msgpipe
