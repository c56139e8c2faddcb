// Looking at and mending the fragmented MP4 files of the H.264 profiles. Such a
// file is a header (ftyp, moov) followed by self-contained fragments (moof
// and mdat, about a second each); a completed one ends with the fragments'
// random-access index (mfra). A file cut off by a crash lacks only that index
// and perhaps half a fragment, and plays and seeks as it is.
#pragma once

#include <cstdint>
#include <string>

struct AVDictionary;

namespace vesper::wmenc {

// The MP4 muxer's options for such files: a header without samples, then
// self-contained fragments of about a second, cut at a key frame when one
// comes first.
void setFragmentedMp4Options(AVDictionary** options);

struct Mp4FileInfo {
    bool isMp4 = false;     // starts with an ftyp box
    bool hasHeader = false; // the moov box is whole
    // Ends with a whole mfra, nothing torn (or is an ordinary, unfragmented
    // MP4 file with its header and data whole).
    bool complete = false;
    int64_t fragments = 0; // whole fragments (moof followed by its mdat)
    uint64_t fileSize = 0;
    // Where the whole boxes end: a torn box, or a fragment's moof whose data
    // is missing, starts here.
    uint64_t playableEnd = 0;
    std::string problem; // why it is not a complete file
};

// Reads the top-level boxes of a file; never raises.
Mp4FileInfo inspectMp4(const std::string& path);

// True when the file starts like an MP4 file (an ftyp box).
bool looksLikeMp4(const std::string& path);

// Cuts a fragment that a failed write left half-written off the end of the
// file, so that it ends with whole fragments. False (with why) when that
// cannot be done.
bool trimTornFragment(const std::string& path, std::string* why = nullptr);

} // namespace vesper::wmenc
