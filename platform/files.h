// File helpers with the classic error numbers.
#pragma once

#include <string>

namespace vesper {

// Replaces `path` with `contents` safely: the text is written to a temporary
// file beside it, flushed to disk and renamed over the old file, so a failure
// at any point leaves the old file whole. Raises the classic file error
// (70 permission denied, 61 disk full, 76 path not found, ...) on failure.
// A symbolic link stays a link: the file it leads to is replaced.
void writeFileAtomically(const std::string& path, const std::string& contents);

// Reads a whole file; raises the classic file error when it cannot.
std::string readFile(const std::string& path);

} // namespace vesper
