#include "components/wmenc/asf_file.h"

#include "platform/errors.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace vesper::wmenc {

namespace {

using Guid = std::array<uint8_t, 16>;
// The object identifiers as they are stored (little-endian fields first).
constexpr Guid kHeaderObject = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kDataObject = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kSimpleIndexObject = {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11,
                                     0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB};
constexpr Guid kFilePropertiesObject = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                        0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr uint64_t kDataObjectHeader = 50; // GUID, size, file id, packet count, reserved

uint64_t le64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

bool readAt(std::ifstream& f, uint64_t offset, uint8_t* buf, size_t n) {
    f.clear();
    f.seekg(std::streamoff(offset));
    f.read(reinterpret_cast<char*>(buf), std::streamsize(n));
    return size_t(f.gcount()) == n;
}

bool sameGuid(const uint8_t* p, const Guid& g) { return std::memcmp(p, g.data(), g.size()) == 0; }

} // namespace

AsfFileInfo inspectAsf(const std::string& path) {
    AsfFileInfo info;
    std::error_code ec;
    const uint64_t fileSize = std::filesystem::file_size(path, ec);
    if (ec) {
        info.problem = "cannot read the file: " + ec.message();
        return info;
    }
    std::ifstream f(path, std::ios::binary);
    uint8_t obj[kDataObjectHeader];
    if (!f || !readAt(f, 0, obj, 24) || !sameGuid(obj, kHeaderObject)) {
        info.problem = "not a Windows Media file";
        return info;
    }
    info.isAsf = true;
    const uint64_t headerSize = le64(obj + 16);
    info.fileSize = fileSize;
    // The header's objects: the file properties give the data packet size.
    // Every size read from the file is checked against what is left before it
    // is added: a size near 2^64 would wrap the position backwards.
    for (uint64_t at = 30; headerSize <= fileSize && at <= headerSize && headerSize - at >= 24;) {
        uint8_t sub[96];
        if (!readAt(f, at, sub, 24)) break;
        const uint64_t size = le64(sub + 16);
        if (size < 24 || size > headerSize - at) break;
        if (sameGuid(sub, kFilePropertiesObject) && size >= 100 && readAt(f, at, sub, 96))
            info.packetSize = sub[92] | sub[93] << 8 | sub[94] << 16 | uint64_t(sub[95]) << 24;
        at += size;
    }
    if (headerSize < 30 || headerSize > fileSize || !readAt(f, headerSize, obj, kDataObjectHeader) ||
        !sameGuid(obj, kDataObject)) {
        info.problem = "the file ends inside its header";
        return info;
    }
    info.dataStart = headerSize + kDataObjectHeader;
    const uint64_t dataSize = le64(obj + 16);
    const uint64_t dataPackets = le64(obj + 40);
    if (dataSize <= kDataObjectHeader || dataSize > fileSize - headerSize) {
        info.problem = "the recording was cut off: its data has no final size";
        return info;
    }
    const uint64_t dataEnd = headerSize + dataSize;
    // Anything after the data must be whole objects, an index among them.
    for (uint64_t at = dataEnd; at < fileSize;) {
        if (!readAt(f, at, obj, 24) || le64(obj + 16) < 24 || le64(obj + 16) > fileSize - at) {
            info.problem = "the file ends inside an object after its data";
            return info;
        }
        const uint64_t size = le64(obj + 16);
        if (sameGuid(obj, kSimpleIndexObject)) info.hasIndex = true;
        at += size;
    }
    info.complete = true;
    info.dataPackets = dataPackets;
    if (!info.hasIndex) info.problem = "the file has no index";
    return info;
}

uint64_t wholePacketsEnd(const AsfFileInfo& info) {
    if (!info.isAsf || info.complete || info.packetSize == 0 || info.fileSize <= info.dataStart) return info.fileSize;
    return info.dataStart + (info.fileSize - info.dataStart) / info.packetSize * info.packetSize;
}

void trimTornPacket(const std::string& path) {
    // A write that failed half-way (disk full) leaves part of a data packet;
    // cutting it off leaves only what plays. Should the cut fail, the torn
    // packet only costs the last picture.
    const AsfFileInfo info = inspectAsf(path);
    if (const uint64_t end = wholePacketsEnd(info); end < info.fileSize) (void)::truncate(path.c_str(), off_t(end));
}

namespace {

struct InputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct OutputCloser {
    void operator()(AVFormatContext* c) const {
        if (c->pb) avio_closep(&c->pb);
        avformat_free_context(c);
    }
};

bool syncFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace

RepairResult repairRecording(const std::string& path, bool force) {
    RepairResult result;
    auto fail = [&](int32_t number, std::string text) {
        result.error = {number, std::move(text)};
        return result;
    };
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return fail(err::FileNotFound, "\"" + path + "\" does not exist");
    // A file that a recording still writes is not ours to rewrite.
    const int lockFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool busy = lockFd >= 0 && ::flock(lockFd, LOCK_SH | LOCK_NB) != 0;
    if (lockFd >= 0) ::close(lockFd);
    if (busy) return fail(err::PathFileAccessError, "\"" + path + "\" is still being recorded");
    const AsfFileInfo before = inspectAsf(path);
    if (!before.isAsf) return fail(321, "\"" + path + "\" is not a Windows Media file");
    if (before.complete && before.hasIndex && !force) {
        result.wasComplete = true;
        return result;
    }

    // A file cut off inside a data packet is read up to the last whole one:
    // the torn rest would only give a damaged picture at the end.
    std::string source = path;
    if (const uint64_t end = wholePacketsEnd(before); end < before.fileSize)
        source = "subfile,,start,0,end," + std::to_string(end) + ",,:" + path;
    AVFormatContext* rawIn = nullptr;
    int rc = avformat_open_input(&rawIn, source.c_str(), av_find_input_format("asf"), nullptr);
    if (rc < 0) return fail(classicErrorFromAv(rc), "cannot read \"" + path + "\": " + avErrorText(rc));
    std::unique_ptr<AVFormatContext, InputCloser> in(rawIn);
    avformat_find_stream_info(in.get(), nullptr);

    const std::string temp = path + ".repair-" + std::to_string(::getpid()) + ".tmp";
    AVFormatContext* rawOut = nullptr;
    avformat_alloc_output_context2(&rawOut, nullptr, "asf", temp.c_str());
    if (!rawOut) return fail(err::InvalidCall, "cannot prepare the repaired file");
    std::unique_ptr<AVFormatContext, OutputCloser> out(rawOut);
    std::vector<int> map(in->nb_streams, -1);
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        const AVCodecParameters* par = in->streams[i]->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_VIDEO && par->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        AVStream* st = avformat_new_stream(out.get(), nullptr);
        avcodec_parameters_copy(st->codecpar, par);
        st->time_base = in->streams[i]->time_base;
        st->avg_frame_rate = in->streams[i]->avg_frame_rate;
        st->r_frame_rate = in->streams[i]->r_frame_rate;
        map[i] = st->index;
    }
    if (out->nb_streams == 0) return fail(321, "\"" + path + "\" holds no picture or sound to keep");
    av_dict_copy(&out->metadata, in->metadata, 0);

    auto removeTemp = [&] {
        if (out->pb) avio_closep(&out->pb);
        std::filesystem::remove(temp, ec);
    };
    rc = avio_open(&out->pb, temp.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0) return fail(classicErrorFromAv(rc), "cannot create \"" + temp + "\": " + avErrorText(rc));
    rc = avformat_write_header(out.get(), nullptr);
    if (rc < 0) {
        removeTemp();
        return fail(classicErrorFromAv(rc), "cannot write \"" + temp + "\": " + avErrorText(rc));
    }

    AVPacket* pkt = av_packet_alloc();
    std::vector<int64_t> lastDts(out->nb_streams, AV_NOPTS_VALUE);
    double endSeconds = 0;
    for (;;) {
        rc = av_read_frame(in.get(), pkt);
        if (rc < 0) break; // the end, or the cut-off tail: keep what came before
        const int target = pkt->stream_index < int(map.size()) ? map[pkt->stream_index] : -1;
        if (target < 0 || pkt->size <= 0) {
            av_packet_unref(pkt);
            continue;
        }
        AVStream* ist = in->streams[pkt->stream_index];
        AVStream* ost = out->streams[target];
        av_packet_rescale_ts(pkt, ist->time_base, ost->time_base);
        if (pkt->dts == AV_NOPTS_VALUE) pkt->dts = pkt->pts;
        if (lastDts[target] != AV_NOPTS_VALUE && pkt->dts != AV_NOPTS_VALUE && pkt->dts <= lastDts[target]) {
            // The muxer wants rising times; nudge a repeated stamp forward.
            pkt->dts = lastDts[target] + 1;
            if (pkt->pts != AV_NOPTS_VALUE && pkt->pts < pkt->dts) pkt->pts = pkt->dts;
        }
        lastDts[target] = pkt->dts;
        if (pkt->pts != AV_NOPTS_VALUE)
            endSeconds = std::max(endSeconds, (pkt->pts + pkt->duration) * av_q2d(ost->time_base));
        pkt->stream_index = target;
        pkt->pos = -1;
        rc = av_interleaved_write_frame(out.get(), pkt);
        if (rc < 0) {
            av_packet_free(&pkt);
            removeTemp();
            return fail(classicErrorFromAv(rc), "cannot write \"" + temp + "\": " + avErrorText(rc));
        }
        ++result.packetsCopied;
    }
    av_packet_free(&pkt);
    rc = av_write_trailer(out.get());
    if (rc >= 0) rc = avio_closep(&out->pb);
    if (rc < 0) {
        removeTemp();
        return fail(classicErrorFromAv(rc), "cannot finish \"" + temp + "\": " + avErrorText(rc));
    }
    if (result.packetsCopied == 0) {
        removeTemp();
        return fail(321, "\"" + path + "\" holds no readable picture or sound");
    }
    if (!syncFile(temp)) {
        removeTemp();
        return fail(err::DiskFull, "cannot flush \"" + temp + "\" to disk");
    }
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        removeTemp();
        return fail(fileErrorFromErrno(ec.value()), "cannot replace \"" + path + "\": " + ec.message());
    }
    result.repaired = true;
    result.seconds = endSeconds;
    return result;
}

} // namespace vesper::wmenc
