#include "capture/channel_tables.h"

namespace vesper::capture {

namespace {

constexpr int64_t kKHz = 1000;

// f(first) + step * (channel - first), in kHz, when first <= channel <= last.
std::optional<int64_t> band(long channel, long first, long last, int64_t startKHz, int64_t stepKHz) {
    if (channel < first || channel > last) return std::nullopt;
    return (startKHz + stepKHz * (channel - first)) * kKHz;
}

std::optional<int64_t> usBroadcast(long ch) {
    if (auto f = band(ch, 2, 4, 55250, 6000)) return f;
    if (auto f = band(ch, 5, 6, 77250, 6000)) return f;
    if (auto f = band(ch, 7, 13, 175250, 6000)) return f;
    return band(ch, 14, 83, 471250, 6000);
}

std::optional<int64_t> usCable(long ch) {
    if (ch == 1) return 73250 * kKHz;
    if (ch >= 2 && ch <= 13) return usBroadcast(ch);
    if (auto f = band(ch, 14, 22, 121250, 6000)) return f;
    if (auto f = band(ch, 23, 94, 217250, 6000)) return f;
    if (auto f = band(ch, 95, 99, 91250, 6000)) return f;
    return band(ch, 100, 158, 649250, 6000);
}

std::optional<int64_t> japanBroadcast(long ch) {
    if (auto f = band(ch, 1, 3, 91250, 6000)) return f;
    if (auto f = band(ch, 4, 7, 171250, 6000)) return f;
    if (auto f = band(ch, 8, 12, 193250, 6000)) return f;
    return band(ch, 13, 62, 471250, 6000);
}

std::optional<int64_t> japanCable(long ch) {
    if (ch >= 1 && ch <= 12) return japanBroadcast(ch);
    if (auto f = band(ch, 13, 22, 109250, 6000)) return f;
    if (auto f = band(ch, 23, 27, 223250, 6000)) return f;
    return band(ch, 28, 63, 253250, 6000);
}

std::optional<int64_t> europeBroadcast(long ch) {
    if (auto f = band(ch, 2, 4, 48250, 7000)) return f;
    if (auto f = band(ch, 5, 12, 175250, 7000)) return f;
    return band(ch, 21, 69, 471250, 8000);
}

std::optional<int64_t> europeCable(long ch) {
    if (auto f = europeBroadcast(ch)) return f;
    // Special channels S1-S41 (hyperband from S21 on), numbered 101-141.
    if (auto f = band(ch, 101, 110, 105250, 7000)) return f; // S1-S10
    if (auto f = band(ch, 111, 120, 231250, 7000)) return f; // S11-S20
    return band(ch, 121, 141, 303250, 8000);                 // S21-S41
}

enum class Region { None, Americas, Japan, WesternEurope };

Region regionOf(long code) {
    switch (code) {
    // NTSC (and PAL-M/N) countries on the American channel plan.
    case 1:
    case 52:
    case 53:
    case 54:
    case 55:
    case 56:
    case 57:
    case 58:
    case 63:
    case 82:
    case 886:
    case 501:
    case 502:
    case 503:
    case 504:
    case 505:
    case 506:
    case 507:
    case 591:
    case 593:
    case 595:
    case 597:
    case 598: return Region::Americas;
    case 81: return Region::Japan;
    // Western Europe on the CCIR plan.
    case 30:
    case 31:
    case 32:
    case 34:
    case 39:
    case 41:
    case 43:
    case 44:
    case 45:
    case 46:
    case 47:
    case 49:
    case 351:
    case 352:
    case 353:
    case 354:
    case 356:
    case 358:
    case 33:
    case 376:
    case 377:
    case 378:
    case 423: return Region::WesternEurope;
    default: return Region::None;
    }
}

} // namespace

bool isKnownCountryCode(long countryCode) { return regionOf(countryCode) != Region::None; }

ChannelTable channelTableFor(long countryCode, bool cable) {
    switch (regionOf(countryCode)) {
    case Region::Americas: return cable ? ChannelTable::UsCable : ChannelTable::UsBroadcast;
    case Region::Japan: return cable ? ChannelTable::JapanCable : ChannelTable::JapanBroadcast;
    case Region::WesternEurope: return cable ? ChannelTable::EuropeCable : ChannelTable::EuropeBroadcast;
    case Region::None: break;
    }
    return ChannelTable::None;
}

std::optional<int64_t> channelFrequency(ChannelTable table, long channel) {
    switch (table) {
    case ChannelTable::UsBroadcast: return usBroadcast(channel);
    case ChannelTable::UsCable: return usCable(channel);
    case ChannelTable::JapanBroadcast: return japanBroadcast(channel);
    case ChannelTable::JapanCable: return japanCable(channel);
    case ChannelTable::EuropeBroadcast: return europeBroadcast(channel);
    case ChannelTable::EuropeCable: return europeCable(channel);
    case ChannelTable::None: break;
    }
    return std::nullopt;
}

std::optional<int64_t> channelFrequency(long countryCode, bool cable, long channel) {
    return channelFrequency(channelTableFor(countryCode, cable), channel);
}

} // namespace vesper::capture
