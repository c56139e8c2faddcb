// The analog TV channel plans: channel number to video carrier frequency, by
// country code (the international dialling code) and by cable or antenna
// input. The built-in plans are lists in the common "name = frequency" form
// (capture/plans/*.list, compiled in); a user's own list in the same form can
// replace the plan of an input through the tuner settings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesper::capture {

struct ChannelPlan {
    std::string name;
    std::map<long, int64_t> carriers;   // channel number -> video carrier in Hz
    std::map<long, std::string> labels; // channel number -> its name in the list ("E5", "SK3", "21")

    std::optional<int64_t> frequency(long channel) const;
};

// How a list numbers its CCIR E and OIRT R channels. Viewers type the numbers
// their listings print: in the OIRT countries channel 6 is R6, elsewhere E6.
enum class ChannelNumbering {
    Western, // E2-E12 are 2-12, R1-R12 71-82
    Oirt,    // R1-R12 are 1-12, E2-E12 72-82
};

// The channel number a list name stands for, within 0 to 999: "21" and "021"
// are 21, "E5" is 5, "SE3" and "S3" 103, "S21" 121, "S01" 142, "R1" 71,
// "SR1" and "SK1" 151, "T7" 171, Italian "A" to "H" 2 to 9 and "H1", "H2" 10
// and 11, Irish "A0" 100, French "K01" 1 to "K10" 10, "KB" 102, "H01" 121,
// Australian "5A" 105 (numbered the OIRT way, "R1" is 1 and "E5" 75).
// Nothing for a name no rule covers.
std::optional<long> channelNumberForName(std::string_view name, ChannelNumbering numbering = ChannelNumbering::Western);

// Reads a list: one "name = frequency" a line, the frequency in MHz or with
// the unit "MHz" or "kHz"; "#" starts a comment anywhere, lines starting with
// ";" are skipped too, and a UTF-8 byte-order mark at the start is allowed. A
// list naming any R channel is numbered the OIRT way. Throws
// std::runtime_error naming the first bad line.
ChannelPlan parseChannelList(std::string_view text, std::string name);

// Text from a file or a setting made fit for one line of standard error:
// printable ASCII stays, other bytes become \xNN, '"' and '\' are escaped,
// and only the first `maxBytes` bytes are shown (then "...").
std::string printableText(std::string_view text, std::size_t maxBytes = 40);

// A user's list file; throws std::runtime_error with the reason when it is
// missing, not a regular file (a pipe, device or socket is never opened to
// wait on), unreadable, larger than kMaxChannelListBytes, empty or malformed.
inline constexpr std::size_t kMaxChannelListBytes = 1024 * 1024;
ChannelPlan loadChannelListFile(const std::string& path);

// The built-in plans by name ("us-cable", "europe-west", ...; any letter case).
const ChannelPlan* builtInPlan(std::string_view name);
std::vector<std::string> builtInPlanNames();

// What a country code selects.
struct CountryPlans {
    long code;
    const char* country;
    const char* broadcast; // plan for the antenna input
    const char* cable;     // plan for the cable input
    bool cableFirst;       // tuners powered on at cable there (the Americas)
};
const std::vector<CountryPlans>& countryTable();
const CountryPlans* countryPlans(long code);
bool isKnownCountryCode(long code);

// The input type a tuner uses in a country until one is put: cable in the
// Americas, antenna elsewhere. `stored` is the type put (or -1 for none).
long effectiveInputType(long country, long stored);

// The built-in plan of a country and input; nullptr for an unknown country.
const ChannelPlan* countryChannelPlan(long country, bool cable);

// The settings that may name a plan for an input instead: a built-in plan
// name or the path of a list file.
inline constexpr const char* kTunerPropertiesKey = "Software\\Orvane\\Vesper\\1.0\\Tuner\\Properties";
inline constexpr const char* kCableChannelListValue = "CableChannelList";
inline constexpr const char* kAntennaChannelListValue = "AntennaChannelList";

// The plan the tuner uses: the one the settings name for this input when it
// can be used (a list that cannot is reported once on standard error and the
// built-in plan stays), else the country's plan. nullptr for an unknown
// country without such a setting.
std::shared_ptr<const ChannelPlan> activeChannelPlan(long country, bool cable);

// The carrier of a channel in the active plan, in Hz.
std::optional<int64_t> channelFrequency(long country, bool cable, long channel);

} // namespace vesper::capture
