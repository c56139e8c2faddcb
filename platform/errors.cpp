#include "platform/errors.h"

#include <cerrno>

namespace vesper {

std::string errorText(int32_t number) {
    switch (number) {
    case err::InvalidCall: return "Invalid procedure call or argument";
    case err::Overflow: return "Overflow";
    case 7: return "Out of memory";
    case err::SubscriptOutOfRange: return "Subscript out of range";
    case 11: return "Division by zero";
    case err::TypeMismatch: return "Type mismatch";
    case err::BadFileNameOrNumber: return "Bad file name or number";
    case err::FileNotFound: return "File not found";
    case 57: return "Device I/O error";
    case 58: return "File already exists";
    case err::DiskFull: return "Disk full";
    case 62: return "Input past end of file";
    case err::PermissionDenied: return "Permission denied";
    case err::PathFileAccessError: return "Path/File access error";
    case err::PathNotFound: return "Path not found";
    case err::ObjectNotSet: return "Object variable or With block variable not set";
    case 424: return "Object required";
    case err::CannotCreateObject: return "ActiveX component can't create object";
    case err::NotSupported: return "Object doesn't support this property or method";
    case 448: return "Named argument not found";
    case 449: return "Argument not optional";
    case err::WrongArgumentCount: return "Wrong number of arguments or invalid property assignment";
    default: return "Application-defined or object-defined error";
    }
}

AutomationError::AutomationError(int32_t number, std::string source, std::string description)
    : std::runtime_error(description.empty() ? errorText(number) : description), m_number(number),
      m_source(std::move(source)), m_description(description.empty() ? errorText(number) : std::move(description)) {}

std::string AutomationError::logText() const { return m_source + ":" + std::to_string(m_number) + ":" + m_description; }

void raiseError(int32_t number, const std::string& source, const std::string& description) {
    throw AutomationError(number, source, description);
}

int32_t fileErrorFromErrno(int e) {
    switch (e) {
    case ENOENT: return err::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return err::PermissionDenied;
    case ENOSPC:
    case EDQUOT: return err::DiskFull;
    case EISDIR:
    case ENOTDIR: return err::PathFileAccessError;
    default: return 57;
    }
}

std::string ErrorTrap::text() const {
    if (!failed()) return {};
    return m_source + ":" + std::to_string(m_number) + ":" + m_description;
}

void ErrorTrap::clear() {
    m_number = 0;
    m_source.clear();
    m_description.clear();
}

void ErrorTrap::keep(int32_t number, const std::string& source, const std::string& description) {
    m_number = number;
    m_source = source;
    m_description = description;
}

} // namespace vesper
