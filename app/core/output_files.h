// Output folder, file names and disk space. Native paths use "/" wherever a
// folder gets a separator; Windows-form roots (c:\, \\server\share\) keep
// their classic rules.
#pragma once

#include "app/core/program.h"

#include "platform/dates.h"

#include <cstdint>
#include <string>

namespace vesper {

// Parent folder, "/", base name, suffix, "." and extension (the "." also when
// the extension is empty).
std::string InsertSuffix(const std::string& path, const std::string& suffix);
// Appends "/" unless the text is empty or already ends with one.
void AddTrailingBackslash(std::string& text);
// True when the path names an existing folder.
bool FolderExists(const std::string& path);
// Trims blanks; removes a pair of enclosing double quotes.
std::string StripQuotes(const std::string& text);
// True when something other than a folder exists at the path (quotes and one
// trailing "/" ignored).
bool FileExists(const std::string& path);
// Leaves a free name alone; else the first free of -000 ... -999, -1000; else
// " WARNING Too many files".
void MakeUniqueFileName(std::string& path);
// With overwriting off and the name taken: "-YYMMDD" of today, then unique.
void PrepareOutputFile(std::string& path, bool overwrite, DateTime today);
// True when a file at the path was last written within the last `seconds`
// (on the system's clock): in an event's window, a recording of that window
// cut off by a crash.
bool WrittenWithin(const std::string& path, double seconds);
// The file name with the weekday suffix (" Su" ... " Sa") of the date.
std::string WeekdayFileName(DateTime dt, const std::string& fileName);
// The root of the path's file system. Native paths: the mount point that
// holds the path (its deepest existing folder), letter case kept, ending in
// "/". Windows-form paths: "c:\" or "\\server\share\", in lower case. False
// when no root can be found.
bool GetRootPath(const std::string& path, std::string& root);
// Bytes available to the user on the path's file system (program.freeBytes
// on its root); -1 when it cannot be measured.
double GetDiskFreeBytes(Program& program, const std::string& path);
// The same for a root GetRootPath has already found (the tick measures every
// second and finds the root once).
double freeBytesOnRoot(Program& program, const std::string& root);

// txtOutputDir's text checked at start-up: kept when it names an existing
// folder, else the program's folder followed by "/".
std::string ValidateOutputFolder(const std::string& text);

// The free-space labels' colours (classic colour values).
inline constexpr int kColourLowSpace = 192;      // dark red: under the low-disk guard
inline constexpr int kColourLittleSpace = 65535; // yellow
inline constexpr int kColourEnoughSpace = 32768; // green

// The free-space labels' text and colour for a measurement.
struct FreeSpaceText {
    std::string text;
    int colour;
};
FreeSpaceText freeSpaceText(double bytes);
// The low-disk guard: below this many free bytes nothing is recorded.
inline constexpr double kLowDiskBytes = 250000000.0;

// A label's caption and tool tip for a text shortened to a maximum length
// (0 becomes 7 on first use and stays).
struct LabelFit {
    std::string caption;
    std::string toolTip;
};
LabelFit SetLabelTextFit(int16_t& maxLength, const std::string& text);

} // namespace vesper
