// Looking at and mending Windows Media (ASF) files: whether a file was
// completed (totals and index written), and rebuilding one that was cut off.
#pragma once

#include "components/wmenc/wmv_writer.h"

#include <cstdint>
#include <string>

namespace vesper::wmenc {

struct AsfFileInfo {
    bool isAsf = false;       // starts with an ASF header object
    bool complete = false;    // the data object's size is final
    bool hasIndex = false;    // a simple index object follows the data
    uint64_t dataPackets = 0; // as the header counts them (0 until complete)
    uint64_t packetSize = 0;  // the fixed size of the data packets
    uint64_t dataStart = 0;   // where the first data packet begins
    uint64_t fileSize = 0;
    uint64_t filePropertiesAt = 0; // where the file properties object begins (0: none)
    std::string problem;           // why it is not a complete ASF file
};

// Reads the top-level objects of a file; never raises.
AsfFileInfo inspectAsf(const std::string& path);

// Where the last whole data packet of an unfinished file ends: the file's
// size when nothing was torn.
uint64_t wholePacketsEnd(const AsfFileInfo& info);

// Cuts a data packet that a failed write left half-written off the end of
// an unfinished file.
void trimTornPacket(const std::string& path);

// Completes, in the space the file already has, a recording whose writing
// stopped early (a full disk): the torn packet and any half-written index are
// cut off, and the header's size, packet count and duration are rewritten in
// place to cover the packets there are. The file then plays whole; it has no
// index. False (with the reason) when that cannot be done.
bool completeInPlace(const std::string& path, std::string* why = nullptr);

struct RepairResult {
    bool repaired = false;    // the file was rewritten
    bool wasComplete = false; // nothing to do (and nothing done)
    // There was no room for the rebuilt file: the original was completed in
    // place instead, without an index (`error` says so).
    bool completedInPlace = false;
    int64_t packetsCopied = 0;
    double seconds = 0; // media time of the rewritten file
    WriteError error;   // why it failed; the file is then untouched
};

// Rewrites a recording that was cut off (no totals, no index) into a complete,
// indexed, seekable file, keeping every packet that can be read. The new file
// is written beside the old one and renamed over it only when it is whole,
// so a failure leaves the original as it was. A complete file is left alone
// unless `force`.
RepairResult repairRecording(const std::string& path, bool force = false);

} // namespace vesper::wmenc
