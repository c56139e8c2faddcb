// Run-time errors of the automation runtime: number, source and description,
// with the classic numbers and texts that callers and logs rely on.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vesper {

namespace err {
constexpr int32_t InvalidCall = 5;
constexpr int32_t Overflow = 6;
constexpr int32_t SubscriptOutOfRange = 9;
constexpr int32_t TypeMismatch = 13;
constexpr int32_t BadFileNameOrNumber = 52;
constexpr int32_t FileNotFound = 53;
constexpr int32_t DiskFull = 61;
constexpr int32_t PermissionDenied = 70;
constexpr int32_t PathFileAccessError = 75;
constexpr int32_t PathNotFound = 76;
constexpr int32_t ObjectNotSet = 91;
constexpr int32_t CannotCreateObject = 429;
constexpr int32_t NotSupported = 438;
constexpr int32_t WrongArgumentCount = 450;
} // namespace err

// The classic description of an error number, or "Application-defined or
// object-defined error" for a number without one.
std::string errorText(int32_t number);

class AutomationError : public std::runtime_error {
public:
    AutomationError(int32_t number, std::string source, std::string description = {});

    int32_t number() const { return m_number; }
    const std::string& source() const { return m_source; }
    const std::string& description() const { return m_description; }

    // source ":" number ":" description, the form appended to log messages.
    std::string logText() const;

private:
    int32_t m_number;
    std::string m_source;
    std::string m_description;
};

[[noreturn]] void raiseError(int32_t number, const std::string& source = {}, const std::string& description = {});

// Maps errno of a failed file operation to the classic file error numbers.
int32_t fileErrorFromErrno(int errnoValue);

// "On Error Resume Next" for one procedure: each step runs, a failing step is
// skipped, the last error is kept and reported once at the end.
class ErrorTrap {
public:
    template <typename F> bool step(F&& f) {
        try {
            f();
            return true;
        } catch (const AutomationError& e) {
            keep(e.number(), e.source(), e.description());
        } catch (const std::exception& e) {
            keep(err::InvalidCall, "Vesper", e.what());
        }
        return false;
    }

    bool failed() const { return m_number != 0; }
    int32_t number() const { return m_number; }
    const std::string& source() const { return m_source; }
    const std::string& description() const { return m_description; }
    // source ":" number ":" description; empty when nothing failed.
    std::string text() const;
    void clear();

private:
    void keep(int32_t number, const std::string& source, const std::string& description);

    int32_t m_number = 0;
    std::string m_source;
    std::string m_description;
};

} // namespace vesper
