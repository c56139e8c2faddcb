// The encoding profiles the engine offers, in one table: the names the main
// program picks from and the parameters a recording is made with.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vesper::wmenc {

// What a profile records: WMV2 and WMA2 in ASF, or H.264 and AAC-LC in
// fragmented MP4 (which plays up to its last fragment when cut off).
enum class Container { Asf, Mp4 };
// Where H.264 pictures are encoded: VA-API when a device answers, else x264.
enum class VideoEncoding { Software, Auto };

struct Profile {
    std::string name;
    Container container = Container::Asf;
    VideoEncoding encoding = VideoEncoding::Software;
    int width = 0; // picture size of the recording
    int height = 0;
    int frameRateNum = 0; // constant frame rate, as a fraction
    int frameRateDen = 1;
    int videoBitRate = 0;       // bits per second
    int audioBitRate = 0;       // bits per second
    int audioSampleRate = 0;    // Hz
    int audioChannels = 0;      // 1 or 2
    int keyFrameSeconds = 0;    // at most this long between key frames
    int bufferMilliseconds = 0; // rate-control buffer (the player's preroll)

    double frameRate() const { return double(frameRateNum) / frameRateDen; }
    // Frames from one key frame to the next.
    int keyFrameInterval() const { return int(keyFrameSeconds * frameRate() + 0.5); }
    int totalBitRate() const { return videoBitRate + audioBitRate; }
    // The file-name extension, with its dot.
    std::string extension() const { return container == Container::Mp4 ? ".mp4" : ".wmv"; }
};

// Every profile, in the order the engine lists them.
const std::vector<Profile>& profiles();
// The profile of that exact name, or nullptr.
const Profile* findProfile(std::string_view name);

// The names the main program maps its quality words to.
inline constexpr const char* kLowProfile = "Video for broadband NTSC (256 Kbps)";
inline constexpr const char* kMediumProfile = "Video for broadband NTSC (384 Kbps)";
inline constexpr const char* kHighProfile = "Video for broadband NTSC (768 Kbps)";
// Our own profiles for files that play anywhere, listed after the classic ones.
inline constexpr const char* kH264MediumProfile = "H.264 Medium";
inline constexpr const char* kH264HighProfile = "H.264 High";

} // namespace vesper::wmenc
