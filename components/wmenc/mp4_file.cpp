#include "components/wmenc/mp4_file.h"

extern "C" {
#include <libavutil/dict.h>
}

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace vesper::wmenc {

namespace {

uint64_t be(const uint8_t* p, int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | p[i];
    return v;
}

} // namespace

void setFragmentedMp4Options(AVDictionary** options) {
    av_dict_set(options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
    av_dict_set(options, "frag_duration", "1000000", 0);
}

bool looksLikeMp4(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    uint8_t head[8];
    return f.read(reinterpret_cast<char*>(head), 8) && std::memcmp(head + 4, "ftyp", 4) == 0 && be(head, 4) >= 8;
}

Mp4FileInfo inspectMp4(const std::string& path) {
    Mp4FileInfo info;
    std::error_code ec;
    info.fileSize = std::filesystem::file_size(path, ec);
    if (ec) {
        info.problem = "cannot read the file: " + ec.message();
        return info;
    }
    if (!looksLikeMp4(path)) {
        info.problem = "not an MP4 file";
        return info;
    }
    info.isMp4 = true;
    std::ifstream f(path, std::ios::binary);
    uint64_t at = 0;
    bool moofOpen = false, lastIsIndex = false, fragmented = false, data = false;
    while (at < info.fileSize) {
        uint8_t head[16];
        f.clear();
        f.seekg(std::streamoff(at));
        if (info.fileSize - at < 8 || !f.read(reinterpret_cast<char*>(head), 8)) break;
        uint64_t size = be(head, 4);
        if (size == 1) {
            if (info.fileSize - at < 16 || !f.read(reinterpret_cast<char*>(head + 8), 8)) break;
            size = be(head + 8, 8);
        } else if (size == 0) {
            size = info.fileSize - at; // to the end of the file
        }
        // A size that would run past the end (or wrap) is a torn box.
        if (size < 8 || size > info.fileSize - at) break;
        const std::string type(reinterpret_cast<const char*>(head + 4), 4);
        at += size;
        lastIsIndex = type == "mfra";
        if (type == "moov") info.hasHeader = true;
        data = data || type == "mdat";
        if (type == "moof") {
            moofOpen = fragmented = true;
            continue; // whole only with its data
        }
        if (type == "mdat" && moofOpen) ++info.fragments;
        moofOpen = false;
        info.playableEnd = at;
    }
    if (!info.hasHeader) {
        info.problem = "the file ends inside its header";
    } else if (info.playableEnd < info.fileSize) {
        info.problem = "the recording was cut off inside a fragment";
    } else if (!fragmented && data) {
        info.complete = true; // an MP4 file of the ordinary kind, whole
    } else if (!lastIsIndex) {
        info.problem = fragmented ? "the recording was cut off: it has no index"
                                  : "the recording was cut off before its first fragment";
    } else {
        info.complete = true;
    }
    return info;
}

bool trimTornFragment(const std::string& path, std::string* why) {
    const Mp4FileInfo info = inspectMp4(path);
    if (!info.hasHeader) {
        if (why) *why = info.problem;
        return false;
    }
    if (info.playableEnd < info.fileSize && ::truncate(path.c_str(), off_t(info.playableEnd)) != 0) {
        if (why) *why = std::string("cannot cut off the torn end: ") + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace vesper::wmenc
