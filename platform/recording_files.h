// The file-name extension of a recording follows its encoder profile: the
// Windows Media profiles write ".wmv" files, the H.264 profiles fragmented
// MP4 (".mp4"). Header-only, so that every program can name its recordings
// without the encoder's code.
#pragma once

#include <string>
#include <string_view>

namespace vesper {

inline constexpr std::string_view kWindowsMediaExtension = ".wmv";
inline constexpr std::string_view kMp4Extension = ".mp4";
// Every profile whose name starts so records H.264 and AAC into MP4.
inline constexpr std::string_view kH264ProfilePrefix = "H.264 ";

inline bool isH264Profile(std::string_view profileName) { return profileName.starts_with(kH264ProfilePrefix); }

inline std::string_view recordingExtension(std::string_view profileName) {
    return isH264Profile(profileName) ? kMp4Extension : kWindowsMediaExtension;
}

namespace detail {
inline bool endsWithNoCase(std::string_view text, std::string_view end) {
    if (text.size() < end.size()) return false;
    for (size_t i = 0; i < end.size(); ++i) {
        char c = text[text.size() - end.size() + i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != end[i]) return false;
    }
    return true;
}
} // namespace detail

// The name a recording with that profile is written under. For Windows Media
// profiles a name not ending in ".wmv" (in any case) gets ".wmv" appended, as
// the Add Event dialog always did. For the others a name ending in the
// profile's extension stays, a ".wmv" ending is replaced by it (so a schedule
// of "News.wmv" events records "News.mp4" files) and any other name gets it
// appended. A schedule holds "News.mp4.wmv" for a "News.mp4" typed into the
// Add Event dialog: that records "News.mp4", not "News.mp4.mp4".
inline std::string recordingFileName(std::string_view fileName, std::string_view profileName) {
    const std::string_view extension = recordingExtension(profileName);
    std::string name(fileName);
    if (detail::endsWithNoCase(name, extension)) return name;
    if (extension != kWindowsMediaExtension && detail::endsWithNoCase(name, kWindowsMediaExtension)) {
        name.resize(name.size() - kWindowsMediaExtension.size());
        if (detail::endsWithNoCase(name, extension)) return name;
    }
    return name.append(extension);
}

} // namespace vesper
