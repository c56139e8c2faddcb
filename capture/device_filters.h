// Capture filters of the devices: what binding a device of the catalog gives.
#pragma once

#include "capture/device_catalog.h"
#include "capture/graph_model.h"

#include <string>

namespace vesper::capture {

// The capture filter of a device, with its card's upstream filters (tuner,
// crossbars) ready for a graph builder; nullptr and the reason when the
// device is gone or cannot be opened.
FilterPtr bindDeviceFilter(const CatalogEntry& entry, std::string* why = nullptr);

// For V4L2 cards (v4l2_card.cpp).
FilterPtr bindV4l2Filter(const CatalogEntry& entry, std::string* why);

} // namespace vesper::capture
