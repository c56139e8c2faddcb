#include "scheduler/event_rules.h"

#include <cctype>

namespace vesper {

std::string MakeValidFilename(const std::string& name) {
    static const std::string keep = " -$!@#%.";
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char u = static_cast<unsigned char>(name[i]);
        if (u >= 0x80) {
            // One "_" for a whole multi-byte character: skip its continuation bytes.
            while (i + 1 < name.size() && (static_cast<unsigned char>(name[i + 1]) & 0xC0) == 0x80)
                ++i;
            out += '_';
        } else if (std::isalnum(u) || keep.find(name[i]) != std::string::npos) {
            out += name[i];
        } else if (name[i] == '&') {
            out += "And";
        } else {
            out += '_';
        }
    }
    return out;
}

namespace {

bool endsWithWmv(const std::string& s) {
    if (s.size() < 4) return false;
    std::string tail = s.substr(s.size() - 4);
    for (char& c : tail)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".wmv";
}

} // namespace

std::string scheduledFileName(const std::string& typed) {
    std::string name = MakeValidFilename(typed);
    std::string stem = endsWithWmv(name) ? name.substr(0, name.size() - 4) : name;
    // Nothing but blanks and dots would make ".wmv" or "...wmv", a hidden file
    // nobody finds.
    if (stem.find_first_not_of(" .") == std::string::npos) return kDefaultOutputName;
    if (stem.size() > kMaxFileStemLength) {
        stem.resize(kMaxFileStemLength);
        return stem + ".wmv";
    }
    return endsWithWmv(name) ? name : name + ".wmv";
}

bool eventExpired(DateTime start, int durationMinutes, DateTime now) {
    return toSeconds(start) + 60LL * durationMinutes < toSeconds(now);
}

std::string expiredMessage(const std::string& startText, const std::string& lineBreak) {
    return "The event on (" + startText + ") you're trying to add has EXPIRED." + lineBreak +
           "The event cannot be added!";
}

} // namespace vesper
