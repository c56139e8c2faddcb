// Writes one recording at the size, frame rate and bit rates of a profile:
// WMV2 video and WMA2 audio in ASF (a Windows Media file), or for the H.264
// profiles H.264 and AAC-LC in fragmented MP4.
#pragma once

#include "components/wmenc/media.h"
#include "components/wmenc/profiles.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vesper::wmenc {

// A failure with the classic error number (61 disk full, 70 permission
// denied, 76 path not found, ...) and a sentence for people.
struct WriteError {
    int32_t number = 0;
    std::string text;
    explicit operator bool() const { return number != 0; }
};

struct WriterStats {
    int64_t videoFramesIn = 0;    // pictures handed in
    int64_t videoFramesOut = 0;   // pictures encoded, duplicates included
    int64_t framesDuplicated = 0; // to fill gaps at the constant frame rate
    int64_t leadInFrames = 0;     // the first picture standing in from time zero
    int64_t framesDropped = 0;    // arrived for a slot already filled
    int64_t videoBytes = 0;       // encoded video payload
    int64_t audioBytes = 0;       // encoded audio payload
    int64_t audioSamplesOut = 0;  // per channel, silence for gaps included
    double videoSeconds = 0;      // media time covered by the pictures
};

class WmvWriter {
public:
    WmvWriter();
    ~WmvWriter(); // abandons an unfinished file: what was written stays readable
    WmvWriter(const WmvWriter&) = delete;
    WmvWriter& operator=(const WmvWriter&) = delete;

    // Creates the file and writes its header.
    bool open(const std::string& path, const Profile& profile, bool withAudio = true);

    // Inputs carry seconds since the recording began. Pictures are scaled to
    // the profile and placed on its constant frame rate (dropped when early,
    // repeated to fill a gap); sound is resampled and kept in step with the
    // clock (silence fills a gap, sound running ahead is dropped).
    bool addVideo(const VideoInput& in);
    bool addAudio(const AudioInput& in);

    // Pushes what is buffered into the file, so that a crash loses little.
    bool flush();
    // Drains the encoders and writes the trailer with the index.
    bool finish();
    // Closes without the trailer (after a failure).
    void abandon();

    bool isOpen() const;
    const WriteError& error() const;
    const WriterStats& stats() const;
    const Profile& profile() const;
    // Which video encoder the file is made with (for H.264: VA-API or x264,
    // and why a device was passed over).
    std::string encoderDescription() const;

private:
    bool openFile(const std::string& path, const Profile& profile, bool withAudio);
    struct State;
    std::unique_ptr<State> d;
};

// Completes, in the space it has, a file whose writing failed: an ASF file's
// header totals are rewritten and a torn packet cut off; a torn MP4 fragment
// is cut off.
void completeCutOff(const std::string& path, const Profile& profile);

// Maps an FFmpeg error code to the classic file error numbers.
int32_t classicErrorFromAv(int averror);
std::string avErrorText(int averror);

} // namespace vesper::wmenc
