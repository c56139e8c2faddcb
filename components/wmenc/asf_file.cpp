#include "components/wmenc/asf_file.h"

#include "components/wmenc/mp4_file.h"
#include "platform/errors.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

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
        if (sameGuid(sub, kFilePropertiesObject) && size >= 104 && readAt(f, at, sub, 96)) {
            info.packetSize = sub[92] | sub[93] << 8 | sub[94] << 16 | uint64_t(sub[95]) << 24;
            info.filePropertiesAt = at;
        }
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
    if (const uint64_t end = wholePacketsEnd(info); end < info.fileSize) (void)!::truncate(path.c_str(), off_t(end));
}

namespace {

struct InputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};

void putLe64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

bool pwriteAll(int fd, const uint8_t* p, size_t n, uint64_t at) {
    while (n > 0) {
        const ssize_t w = ::pwrite(fd, p, n, off_t(at));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w, n -= size_t(w), at += uint64_t(w);
    }
    return true;
}

// The end of the last packet in the file, in 100-nanosecond units from the
// start of the media, as the demuxer sees the packets.
std::optional<uint64_t> mediaEnd(const std::string& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), av_find_input_format("asf"), nullptr) < 0) return std::nullopt;
    std::unique_ptr<AVFormatContext, InputCloser> in(raw);
    AVPacket* pkt = av_packet_alloc();
    if (!pkt) return std::nullopt;
    double end = 0;
    bool any = false;
    while (av_read_frame(in.get(), pkt) >= 0) {
        if (pkt->pts != AV_NOPTS_VALUE && pkt->stream_index < int(in->nb_streams)) {
            const AVRational tb = in->streams[pkt->stream_index]->time_base;
            end = std::max(end, double(pkt->pts + std::max<int64_t>(pkt->duration, 0)) * av_q2d(tb));
            any = true;
        }
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    if (!any) return std::nullopt;
    return uint64_t(std::llround(std::max(end, 0.0) * 1e7));
}

} // namespace

bool completeInPlace(const std::string& path, std::string* why) {
    auto fail = [&](const std::string& text) {
        if (why) *why = text;
        return false;
    };
    const AsfFileInfo info = inspectAsf(path);
    if (!info.isAsf || info.packetSize == 0 || info.filePropertiesAt == 0 || info.dataStart == 0)
        return fail(info.problem.empty() ? "the header does not describe the packets" : info.problem);
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return fail(std::string("cannot open the file: ") + std::strerror(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) return fail(std::strerror(errno));
    const uint64_t size = uint64_t(st.st_size);
    // Whole data packets, each opening with its error-correction bytes; what
    // follows the last one (a torn packet, a half-written index) goes.
    uint64_t end = info.dataStart;
    uint8_t head[3];
    while (end <= size && size - end >= info.packetSize && ::pread(fd, head, 3, off_t(end)) == 3 && head[0] == 0x82 &&
           head[1] == 0 && head[2] == 0)
        end += info.packetSize;
    const uint64_t packets = (end - info.dataStart) / info.packetSize;
    if (packets == 0) return fail("the file holds no whole data packet");
    if (end < size && ::ftruncate(fd, off_t(end)) != 0)
        return fail(std::string("cannot cut off the torn end: ") + std::strerror(errno));
    const std::optional<uint64_t> duration = mediaEnd(path);
    if (!duration) return fail("no packet of the file can be read");

    uint8_t props[104];
    if (::pread(fd, props, sizeof props, off_t(info.filePropertiesAt)) != ssize_t(sizeof props))
        return fail("cannot read the header");
    const uint64_t prerollMs = le64(props + 80);
    putLe64(props + 40, end);                           // file size
    putLe64(props + 56, packets);                       // data packets
    putLe64(props + 64, *duration + prerollMs * 10000); // play duration
    putLe64(props + 72, *duration);                     // send duration
    uint8_t data[kDataObjectHeader];
    const uint64_t dataAt = info.dataStart - kDataObjectHeader;
    if (::pread(fd, data, sizeof data, off_t(dataAt)) != ssize_t(sizeof data)) return fail("cannot read the header");
    putLe64(data + 16, kDataObjectHeader + packets * info.packetSize);
    putLe64(data + 40, packets);
    if (!pwriteAll(fd, props, sizeof props, info.filePropertiesAt) || !pwriteAll(fd, data, sizeof data, dataAt) ||
        ::fsync(fd) != 0)
        return fail(std::string("cannot rewrite the header: ") + std::strerror(errno));
    return true;
}

namespace {

struct OutputCloser {
    void operator()(AVFormatContext* c) const {
        if (c->pb) avio_closep(&c->pb);
        avformat_free_context(c);
    }
};

uint32_t originalMaxBitRate(const std::string& path, const AsfFileInfo& info) {
    if (info.filePropertiesAt == 0) return 0;
    std::ifstream f(path, std::ios::binary);
    uint8_t b[4];
    if (!readAt(f, info.filePropertiesAt + 100, b, 4)) return 0;
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

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
    // The H.264 profiles' fragmented MP4: a cut-off file plays as it is and
    // lacks only its index (and perhaps half a fragment), which a rewrite adds.
    const bool mp4 = looksLikeMp4(path);
    const char* format = mp4 ? "mp4" : "asf";
    AsfFileInfo before;
    uint64_t end = 0, fileSize = 0;
    if (mp4) {
        const Mp4FileInfo info = inspectMp4(path);
        if (!info.hasHeader) return fail(321, "\"" + path + "\" cannot be repaired: " + info.problem);
        if (info.complete && !force) {
            result.wasComplete = true;
            return result;
        }
        end = info.playableEnd;
        fileSize = info.fileSize;
    } else {
        before = inspectAsf(path);
        if (!before.isAsf) return fail(321, "\"" + path + "\" is not a Windows Media or MP4 file");
        if (before.complete && before.hasIndex && !force) {
            result.wasComplete = true;
            return result;
        }
        end = wholePacketsEnd(before);
        fileSize = before.fileSize;
    }

    // A file cut off inside a data packet (or fragment) is read up to the last
    // whole one: the torn rest would only give a damaged picture at the end.
    std::string source = path;
    if (end < fileSize) source = "subfile,,start,0,end," + std::to_string(end) + ",,:" + path;
    AVFormatContext* rawIn = nullptr;
    int rc = avformat_open_input(&rawIn, source.c_str(), av_find_input_format(format), nullptr);
    if (rc < 0) return fail(classicErrorFromAv(rc), "cannot read \"" + path + "\": " + avErrorText(rc));
    std::unique_ptr<AVFormatContext, InputCloser> in(rawIn);
    rc = avformat_find_stream_info(in.get(), nullptr);
    if (rc < 0) return fail(321, "cannot make out the streams of \"" + path + "\": " + avErrorText(rc));

    const std::string temp = path + ".repair-" + std::to_string(::getpid()) + ".tmp";
    AVFormatContext* rawOut = nullptr;
    avformat_alloc_output_context2(&rawOut, nullptr, format, temp.c_str());
    if (!rawOut) return fail(err::InvalidCall, "cannot prepare the repaired file");
    std::unique_ptr<AVFormatContext, OutputCloser> out(rawOut);
    std::vector<int> map(in->nb_streams, -1);
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        const AVCodecParameters* par = in->streams[i]->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_VIDEO && par->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        AVStream* st = avformat_new_stream(out.get(), nullptr);
        if (!st) return fail(7, "out of memory");
        rc = avcodec_parameters_copy(st->codecpar, par);
        if (rc < 0) return fail(7, "cannot copy the stream parameters: " + avErrorText(rc));
        if (mp4) st->codecpar->codec_tag = 0; // the muxer picks its own
        // Kept as the original had them: the picture's aspect and the
        // stream's own tags (its language among them).
        st->sample_aspect_ratio = in->streams[i]->sample_aspect_ratio;
        if (st->codecpar->sample_aspect_ratio.num == 0)
            st->codecpar->sample_aspect_ratio = in->streams[i]->sample_aspect_ratio;
        av_dict_copy(&st->metadata, in->streams[i]->metadata, 0);
        st->time_base = in->streams[i]->time_base;
        st->avg_frame_rate = in->streams[i]->avg_frame_rate;
        st->r_frame_rate = in->streams[i]->r_frame_rate;
        map[i] = st->index;
    }
    if (out->nb_streams == 0) return fail(321, "\"" + path + "\" holds no picture or sound to keep");
    av_dict_copy(&out->metadata, in->metadata, 0);
    // A title the original had, if empty, is still a title.
    if (!mp4 && !av_dict_get(out->metadata, "title", nullptr, 0)) av_dict_set(&out->metadata, "title", "", 0);
    // The header's maximum bit rate is the sum of the streams' rates; the
    // reader knows the sound's rate only, so the picture gets the rest of what
    // the original header said.
    if (const uint32_t maxRate = mp4 ? 0 : originalMaxBitRate(path, before)) {
        int64_t known = 0;
        AVStream* video = nullptr;
        for (unsigned i = 0; i < out->nb_streams; ++i) {
            known += out->streams[i]->codecpar->bit_rate;
            if (!video && out->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
                out->streams[i]->codecpar->bit_rate == 0)
                video = out->streams[i];
        }
        if (video && int64_t(maxRate) > known) video->codecpar->bit_rate = int64_t(maxRate) - known;
    }

    auto removeTemp = [&] {
        if (out->pb) avio_closep(&out->pb);
        std::filesystem::remove(temp, ec);
    };
    // No room for the rebuilt file: complete the original in the space it has.
    const auto failOrCompleteInPlace = [&](int32_t number, const std::string& text) {
        if (number != err::DiskFull) return fail(number, text);
        std::string why;
        if (mp4) {
            if (!trimTornFragment(path, &why))
                return fail(number, text + "; nor could a torn fragment be cut off: " + why);
            result.completedInPlace = true;
            return fail(number, "there is no room on the disk for an index (" + text +
                                    "): a torn fragment was cut off, so the file plays whole and can be sought, "
                                    "but it has no index");
        }
        if (!completeInPlace(path, &why))
            return fail(number, text + "; nor could the file be completed in place: " + why);
        result.completedInPlace = true;
        return fail(number, "there is no room on the disk for an index (" + text +
                                "): the header's duration, size and packet count were completed in place and "
                                "a torn packet cut off, so the file plays whole, but it has no index and "
                                "cannot be sought");
    };
    rc = avio_open(&out->pb, temp.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0)
        return failOrCompleteInPlace(classicErrorFromAv(rc), "cannot create \"" + temp + "\": " + avErrorText(rc));
    AVDictionary* muxerOptions = nullptr;
    if (mp4) setFragmentedMp4Options(&muxerOptions); // as the recording wrote it
    rc = avformat_write_header(out.get(), &muxerOptions);
    av_dict_free(&muxerOptions);
    if (rc < 0) {
        removeTemp();
        return failOrCompleteInPlace(classicErrorFromAv(rc), "cannot write \"" + temp + "\": " + avErrorText(rc));
    }

    AVPacket* pkt = av_packet_alloc();
    if (!pkt) {
        removeTemp();
        return fail(7, "out of memory");
    }
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
            return failOrCompleteInPlace(classicErrorFromAv(rc), "cannot write \"" + temp + "\": " + avErrorText(rc));
        }
        ++result.packetsCopied;
    }
    av_packet_free(&pkt);
    rc = av_write_trailer(out.get());
    if (rc >= 0) rc = avio_closep(&out->pb);
    if (rc < 0) {
        removeTemp();
        return failOrCompleteInPlace(classicErrorFromAv(rc), "cannot finish \"" + temp + "\": " + avErrorText(rc));
    }
    if (result.packetsCopied == 0) {
        removeTemp();
        return fail(321, "\"" + path + "\" holds no readable picture or sound");
    }
    if (!syncFile(temp)) {
        removeTemp();
        return failOrCompleteInPlace(err::DiskFull, "cannot flush \"" + temp + "\" to disk");
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
