#include "app/core/output_files.h"

#include "platform/paths.h"
#include "platform/variant.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>

namespace vesper {

namespace fs = std::filesystem;

namespace {

// The file-system object's split of a path: parent folder, base name and
// extension of the last component.
struct PathParts {
    std::string parent, base, extension;
};

PathParts splitPath(const std::string& path) {
    PathParts p;
    const size_t slash = path.find_last_of('/');
    std::string name = path;
    if (slash != std::string::npos) {
        p.parent = path.substr(0, slash);
        // The parent of a file in the root folder is the root itself.
        if (p.parent.empty()) p.parent = "/";
        name = path.substr(slash + 1);
    }
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) {
        p.base = name;
    } else {
        p.base = name.substr(0, dot);
        p.extension = name.substr(dot + 1);
    }
    return p;
}

// Something (a file, a folder, a dangling link) already holds the name, so
// a recording must not be written there.
bool nameTaken(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// Windows-form roots: \\server\share\, c:\, and a bare drive letter.
bool windowsRoot(const std::string& path, std::string& root) {
    const size_t p = path.find('\\');
    if (p == 0) {
        if (path.size() < 2 || path[1] != '\\') return false;
        const size_t server = path.find('\\', 2);
        if (server == std::string::npos || server < 3 || server >= path.size() - 1) return false;
        const size_t share = path.find('\\', server + 1);
        if (share == std::string::npos) {
            root = lower(path + "\\");
            return true;
        }
        if (share == server + 1) return false; // empty share name
        root = lower(path.substr(0, share + 1));
        return true;
    }
    if (p == 1) return false;
    if (p == 2) {
        if (path[1] != ':') return false;
        root = lower(path.substr(0, 3));
        return true;
    }
    if (path.empty()) return false;
    if (path.size() == 1) {
        root = lower(path + ":\\");
        return true;
    }
    if (path[1] != ':') return false;
    root = lower(path.substr(0, 2) + "\\");
    return true;
}

// The mount point holding a native absolute path: the highest folder above
// its deepest existing folder that is still on the same device.
bool mountPoint(const std::string& path, std::string& root) {
    std::error_code ec;
    fs::path p = fs::path(path).lexically_normal();
    struct stat st {};
    while (::stat(p.c_str(), &st) != 0) {
        if (p == p.root_path()) return false;
        p = p.parent_path();
    }
    if (!S_ISDIR(st.st_mode)) p = p.parent_path();
    fs::path canonical = fs::weakly_canonical(p, ec);
    if (ec || canonical.empty()) canonical = p;
    if (::stat(canonical.c_str(), &st) != 0) return false;
    const dev_t device = st.st_dev;
    fs::path at = canonical;
    while (at != at.root_path()) {
        const fs::path up = at.parent_path();
        struct stat upSt {};
        if (::stat(up.c_str(), &upSt) != 0 || upSt.st_dev != device) break;
        at = up;
    }
    root = at.string();
    if (root.empty() || root.back() != '/') root += '/';
    return true;
}

// Counts characters, not bytes, so that a name is never cut inside a UTF-8
// sequence.
size_t characterCount(const std::string& text) {
    size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string firstCharacters(const std::string& text, size_t count) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (n == count) return text.substr(0, i);
            ++n;
        }
    }
    return text;
}

} // namespace

std::string InsertSuffix(const std::string& path, const std::string& suffix) {
    const PathParts p = splitPath(path);
    std::string out = p.parent;
    if (!out.empty() && out.back() != '/') out += '/';
    return out + p.base + suffix + "." + p.extension;
}

void AddTrailingBackslash(std::string& text) {
    if (!text.empty() && text.back() != '/') text += '/';
}

bool FolderExists(const std::string& path) {
    if (path.empty()) return false;
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string StripQuotes(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    std::string s = text.substr(first, text.find_last_not_of(' ') - first + 1);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
    return s;
}

bool FileExists(const std::string& path) {
    std::string p = StripQuotes(path);
    if (!p.empty() && p.back() == '/') p.pop_back();
    if (p.empty()) return false;
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

void MakeUniqueFileName(std::string& path) {
    if (!nameTaken(path)) return;
    for (int i = 0; i <= 1000; ++i) {
        const std::string candidate = InsertSuffix(path, "-" + formatNumber(i, "000"));
        if (!nameTaken(candidate)) {
            path = candidate;
            return;
        }
    }
    path = InsertSuffix(path, " WARNING Too many files");
}

void PrepareOutputFile(std::string& path, bool overwrite, DateTime today) {
    if (overwrite || !nameTaken(path)) return;
    path = InsertSuffix(path, "-" + formatDate(today, "YYMMDD"));
    MakeUniqueFileName(path);
}

bool WrittenWithin(const std::string& path, double seconds) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return double(st.st_mtim.tv_sec) >= double(std::time(nullptr)) - seconds;
}

std::string WeekdayFileName(DateTime dt, const std::string& fileName) {
    static const char* const kSuffix[7] = {" Su", " Mo", " Tu", " We", " Th", " Fr", " Sa"};
    return InsertSuffix(fileName, kSuffix[(weekday(dt) + 6) % 7]);
}

bool GetRootPath(const std::string& path, std::string& root) {
    if (!path.empty() && path.front() == '/') return mountPoint(path, root);
    return windowsRoot(path, root);
}

double freeBytesOnRoot(Program& program, const std::string& root) {
    const long long bytes = program.freeBytes ? program.freeBytes(root) : -1;
    return bytes < 0 ? -1 : static_cast<double>(bytes);
}

double GetDiskFreeBytes(Program& program, const std::string& path) {
    std::string root;
    if (!GetRootPath(path, root)) return -1;
    return freeBytesOnRoot(program, root);
}

std::string ValidateOutputFolder(const std::string& text) {
    if (FolderExists(text)) return text;
    std::string folder = programFolder();
    AddTrailingBackslash(folder);
    return folder;
}

FreeSpaceText freeSpaceText(double b) {
    FreeSpaceText out;
    if (b < 1000)
        out.text = numberToText(b) + "Bytes Free";
    else if (b < 1000000)
        out.text = formatNumber(b / 1000, "##,###") + " KB Free";
    else if (b < 1000000000)
        out.text = formatNumber(b / 1000000, "##,###") + " MB Free";
    else
        out.text = formatNumber(b / 1000000000, "##,###.0") + " GB Free";
    out.colour = b < kLowDiskBytes ? kColourLowSpace : b < 750000000.0 ? kColourLittleSpace : kColourEnoughSpace;
    return out;
}

LabelFit SetLabelTextFit(int16_t& maxLength, const std::string& text) {
    if (maxLength == 0) maxLength = 7;
    LabelFit fit;
    fit.toolTip = "  " + text + "  ";
    const size_t max = maxLength > 0 ? size_t(maxLength) : 0;
    fit.caption = characterCount(text) <= max ? text : firstCharacters(text, max) + " ..";
    return fit;
}

} // namespace vesper
