// File helpers with the classic error numbers.
#pragma once

#include <charconv>
#include <string>
#include <vector>

namespace vesper {

// Replaces `path` with `contents` safely: the text is written to a temporary
// file beside it, flushed to disk and renamed over the old file, so a failure
// at any point leaves the old file whole. Raises the classic file error
// (70 permission denied, 61 disk full, 76 path not found, ...) on failure.
// A symbolic link stays a link: the file it leads to is replaced.
void writeFileAtomically(const std::string& path, const std::string& contents);

// Reads a whole file; raises the classic file error when it cannot.
std::string readFile(const std::string& path);

// Lists of records kept one a line, fields separated by tabs: a text field
// with its tabs, line ends and backslashes escaped, and back.
std::string escapeField(const std::string& text);
std::string unescapeField(const std::string& text);
std::vector<std::string> splitFields(const std::string& line);

// A whole number that is the whole field.
template <typename T> bool parseWhole(const std::string& text, T& out) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, out);
    return r.ec == std::errc() && r.ptr == end && !text.empty();
}

} // namespace vesper
