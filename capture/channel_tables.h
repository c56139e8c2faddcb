// The standard analog TV channel tables: channel number to video carrier
// frequency, by country code (the international dialling code) and by cable
// or antenna input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vesper::capture {

enum class ChannelTable {
    None,
    UsBroadcast,     // NTSC, United States and the Americas, off the air
    UsCable,         // EIA standard cable
    JapanBroadcast,  //
    JapanCable,      //
    EuropeBroadcast, // CCIR western Europe: E2-E12, E21-E69
    EuropeCable,     // the broadcast channels plus the special channels S1-S41 as 101-141
};

// The table for a country code and input (cable or antenna); None for a
// country code without a known table.
ChannelTable channelTableFor(long countryCode, bool cable);
bool isKnownCountryCode(long countryCode);

// The video carrier frequency of a channel in Hz; nothing when the table has
// no such channel.
std::optional<int64_t> channelFrequency(ChannelTable table, long channel);
std::optional<int64_t> channelFrequency(long countryCode, bool cable, long channel);

} // namespace vesper::capture
