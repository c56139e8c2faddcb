#include "components/wmenc/profiles.h"

namespace vesper::wmenc {

namespace {

constexpr int kNtscNum = 30000, kNtscDen = 1001;

// The audio share grows with the total rate, as it does in the classic
// profiles; the video gets the rest.
Profile make(std::string name, int w, int h, int fpsNum, int fpsDen, int totalKbps, int audioKbps, int audioRate,
             int channels, int keySeconds, int bufferMs) {
    Profile p;
    p.name = std::move(name);
    p.width = w;
    p.height = h;
    p.frameRateNum = fpsNum;
    p.frameRateDen = fpsDen;
    p.audioBitRate = audioKbps * 1000;
    p.videoBitRate = (totalKbps - audioKbps) * 1000;
    p.audioSampleRate = audioRate;
    p.audioChannels = channels;
    p.keyFrameSeconds = keySeconds;
    p.bufferMilliseconds = bufferMs;
    return p;
}

Profile h264(Profile p) {
    p.container = Container::Mp4;
    p.encoding = VideoEncoding::Auto;
    return p;
}

std::vector<Profile> buildTable() {
    // The picture size follows what WMV2 can carry at the rate: below about
    // 1 Mbps a full-size moving picture would not fit even at the coarsest
    // quantiser.
    return {
        make("Video for dial-up modems (56 Kbps)", 176, 144, 15, 1, 56, 24, 16000, 1, 8, 5000),
        make("Video for e-mail and dual-channel ISDN (128 Kbps)", 240, 176, 15, 1, 128, 32, 22050, 2, 8, 5000),
        make("Video for broadband NTSC (100 Kbps)", 240, 176, kNtscNum, kNtscDen, 100, 24, 22050, 1, 8, 5000),
        make("Video for broadband NTSC (256 Kbps)", 320, 240, kNtscNum, kNtscDen, 256, 32, 32000, 2, 8, 5000),
        make("Video for broadband NTSC (384 Kbps)", 320, 240, kNtscNum, kNtscDen, 384, 48, 44100, 2, 8, 5000),
        make("Video for broadband NTSC (768 Kbps)", 320, 240, kNtscNum, kNtscDen, 768, 64, 44100, 2, 8, 5000),
        make("Video for broadband NTSC (1.5 Mbps)", 640, 480, kNtscNum, kNtscDen, 1500, 128, 44100, 2, 8, 5000),
        make("Video for broadband NTSC (2 Mbps)", 640, 480, kNtscNum, kNtscDen, 2000, 128, 48000, 2, 8, 3000),
        make("Video for broadband PAL (256 Kbps)", 384, 288, 25, 1, 256, 32, 32000, 2, 8, 5000),
        make("Video for broadband PAL (384 Kbps)", 384, 288, 25, 1, 384, 48, 44100, 2, 8, 5000),
        make("Video for broadband PAL (768 Kbps)", 384, 288, 25, 1, 768, 64, 44100, 2, 8, 5000),
        make("Video for broadband PAL (1.5 Mbps)", 768, 576, 25, 1, 1500, 128, 44100, 2, 8, 5000),
        make("Video for broadband PAL (2 Mbps)", 768, 576, 25, 1, 2000, 128, 48000, 2, 8, 3000),
        // The picture of the classic Medium and High at the same total rates,
        // so that estimates and disk use stay as they were; H.264 spends them
        // on a far better picture. A key frame every 2 seconds keeps seeking
        // close and the fragments short.
        h264(make(kH264MediumProfile, 320, 240, kNtscNum, kNtscDen, 384, 64, 48000, 2, 2, 2000)),
        h264(make(kH264HighProfile, 320, 240, kNtscNum, kNtscDen, 768, 96, 48000, 2, 2, 2000)),
    };
}

} // namespace

const std::vector<Profile>& profiles() {
    static const std::vector<Profile> table = buildTable();
    return table;
}

const Profile* findProfile(std::string_view name) {
    for (const Profile& p : profiles())
        if (p.name == name) return &p;
    return nullptr;
}

} // namespace vesper::wmenc
