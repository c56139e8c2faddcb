// The capture devices as the capture layer sees them: what enumerateDevices
// lists, plus what it takes to open each one.
#pragma once

#include "capture/device_stream.h"
#include "capture/virtual_card.h"

#include <memory>
#include <string>
#include <vector>

namespace vesper::capture {

struct CatalogEntry {
    enum class Source { Virtual, V4l2, GstDevice };
    DeviceInfo info;
    Source source = Source::Virtual;
    // Virtual: the card and its index in the description.
    VirtualCardDescription card;
    size_t cardIndex = 0;
    // V4L2: the device node.
    std::string node;
    // A device of GStreamer's device monitor (real audio devices).
    std::shared_ptr<GstDevice> gstDevice;
};

// The devices of one kind in enumeration order: virtual cards first, then
// real ones (unless the description hides them).
std::vector<CatalogEntry> catalogDevices(MediaKind kind);

// Makes sure GStreamer is initialised (idempotent, thread-safe).
void ensureGstreamer();

} // namespace vesper::capture
