#include "capture/channel_tables.h"

#include "platform/registry.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesper::capture {

namespace {

struct PlanText {
    const char* name;
    const char* text;
};

// The lists of capture/plans, generated into the build.
constexpr PlanText kPlanTexts[] = {
#include "channel_plan_data.inc"
};

std::string upper(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::toupper(c); });
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool allDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

// A decimal number scaled by 10^scale, exactly: "55.25" at scale 6 is 55250000.
std::optional<int64_t> scaledDecimal(std::string_view s, int scale) {
    const size_t dot = s.find('.');
    const std::string_view whole = s.substr(0, dot);
    const std::string_view frac = dot == std::string_view::npos ? std::string_view{} : s.substr(dot + 1);
    if (whole.empty() && frac.empty()) return std::nullopt;
    if ((!whole.empty() && !allDigits(whole)) || (dot != std::string_view::npos && !allDigits(frac)))
        return std::nullopt;
    if (whole.size() > 7 || frac.size() > static_cast<size_t>(scale)) return std::nullopt;
    int64_t v = 0;
    for (char c : whole)
        v = v * 10 + (c - '0');
    for (int i = 0; i < scale; ++i)
        v = v * 10 + (i < static_cast<int>(frac.size()) ? frac[i] - '0' : 0);
    return v;
}

std::optional<int64_t> parseFrequency(std::string_view text) {
    std::string t = upper(trim(text));
    int scale = 6; // MHz to Hz
    auto ends = [&](const char* unit) {
        const std::string u = unit;
        if (t.size() < u.size() || t.compare(t.size() - u.size(), u.size(), u) != 0) return false;
        t = std::string(trim(std::string_view(t).substr(0, t.size() - u.size())));
        return true;
    };
    if (ends("KHZ"))
        scale = 3;
    else
        ends("MHZ");
    return scaledDecimal(t, scale);
}

// Every country code with its plans (see README "Channel plans").
const std::vector<CountryPlans> kCountries = {
    // The Americas on the American channel plans: cable first.
    {1, "United States, Canada and the Caribbean", "us-bcast", "us-cable", true},
    {51, "Peru", "us-bcast", "us-cable", true},
    {52, "Mexico", "us-bcast", "us-cable", true},
    {53, "Cuba", "us-bcast", "us-cable", true},
    {54, "Argentina", "us-bcast", "argentina", true},
    {55, "Brazil", "us-bcast", "us-cable", true},
    {56, "Chile", "us-bcast", "us-cable", true},
    {57, "Colombia", "us-bcast", "us-cable", true},
    {58, "Venezuela", "us-bcast", "us-cable", true},
    {297, "Aruba", "us-bcast", "us-cable", true},
    {501, "Belize", "us-bcast", "us-cable", true},
    {502, "Guatemala", "us-bcast", "us-cable", true},
    {503, "El Salvador", "us-bcast", "us-cable", true},
    {504, "Honduras", "us-bcast", "us-cable", true},
    {505, "Nicaragua", "us-bcast", "us-cable", true},
    {506, "Costa Rica", "us-bcast", "us-cable", true},
    {507, "Panama", "us-bcast", "us-cable", true},
    {509, "Haiti", "us-bcast", "us-cable", true},
    {591, "Bolivia", "us-bcast", "us-cable", true},
    {592, "Guyana", "us-bcast", "us-cable", true},
    {593, "Ecuador", "us-bcast", "us-cable", true},
    {595, "Paraguay", "us-bcast", "us-cable", true},
    {597, "Suriname", "us-bcast", "us-cable", true},
    {598, "Uruguay", "us-bcast", "us-cable", true},
    {599, "Netherlands Antilles", "us-bcast", "us-cable", true},
    // Asia and the Pacific on the American channel plans.
    {63, "Philippines", "us-bcast", "us-cable", false},
    {82, "Korea (South)", "us-bcast", "us-cable", false},
    {95, "Myanmar", "us-bcast", "us-cable", false},
    {680, "Palau", "us-bcast", "us-cable", false},
    {685, "Samoa", "us-bcast", "us-cable", false},
    {691, "Micronesia", "us-bcast", "us-cable", false},
    {692, "Marshall Islands", "us-bcast", "us-cable", false},
    {886, "Taiwan", "us-bcast", "us-cable", false},
    // Japan.
    {81, "Japan", "japan-bcast", "japan-cable", false},
    // China.
    {86, "China", "china-bcast", "china-bcast", false},
    // Australia and its neighbours on the Australian raster.
    {61, "Australia", "australia", "australia-optus", false},
    {672, "Norfolk Island", "australia", "australia", false},
    {674, "Nauru", "australia", "australia", false},
    {675, "Papua New Guinea", "australia", "australia", false},
    {676, "Tonga", "australia", "australia", false},
    {677, "Solomon Islands", "australia", "australia", false},
    {678, "Vanuatu", "australia", "australia", false},
    {679, "Fiji", "australia", "australia", false},
    {686, "Kiribati", "australia", "australia", false},
    {688, "Tuvalu", "australia", "australia", false},
    // New Zealand.
    {64, "New Zealand", "newzealand", "newzealand", false},
    {682, "Cook Islands", "newzealand", "newzealand", false},
    {683, "Niue", "newzealand", "newzealand", false},
    {690, "Tokelau", "newzealand", "newzealand", false},
    // Southern Africa.
    {27, "South Africa", "southafrica", "southafrica", false},
    {264, "Namibia", "southafrica", "southafrica", false},
    {266, "Lesotho", "southafrica", "southafrica", false},
    {267, "Botswana", "southafrica", "southafrica", false},
    {268, "Swaziland", "southafrica", "southafrica", false},
    // Ireland, Italy.
    {353, "Ireland", "ireland", "ireland", false},
    {39, "Italy", "italy", "europe-west", false},
    {378, "San Marino", "italy", "europe-west", false},
    {379, "Vatican City", "italy", "europe-west", false},
    // France and Monaco on System L.
    {33, "France", "france", "france", false},
    {377, "Monaco", "france", "france", false},
    // The French overseas lands and the SECAM K1 countries of Africa.
    {262, "Reunion and Mayotte", "secam-k1", "secam-k1", false},
    {269, "Comoros", "secam-k1", "secam-k1", false},
    {508, "Saint Pierre and Miquelon", "secam-k1", "secam-k1", false},
    {590, "Guadeloupe", "secam-k1", "secam-k1", false},
    {594, "French Guiana", "secam-k1", "secam-k1", false},
    {596, "Martinique", "secam-k1", "secam-k1", false},
    {681, "Wallis and Futuna", "secam-k1", "secam-k1", false},
    {687, "New Caledonia", "secam-k1", "secam-k1", false},
    {689, "French Polynesia", "secam-k1", "secam-k1", false},
    {221, "Senegal", "secam-k1", "secam-k1", false},
    {225, "Cote d'Ivoire", "secam-k1", "secam-k1", false},
    {226, "Burkina Faso", "secam-k1", "secam-k1", false},
    {227, "Niger", "secam-k1", "secam-k1", false},
    {228, "Togo", "secam-k1", "secam-k1", false},
    {229, "Benin", "secam-k1", "secam-k1", false},
    {235, "Chad", "secam-k1", "secam-k1", false},
    {236, "Central African Republic", "secam-k1", "secam-k1", false},
    {241, "Gabon", "secam-k1", "secam-k1", false},
    {242, "Congo", "secam-k1", "secam-k1", false},
    {243, "Congo (Democratic Republic)", "secam-k1", "secam-k1", false},
    {250, "Rwanda", "secam-k1", "secam-k1", false},
    {257, "Burundi", "secam-k1", "secam-k1", false},
    {261, "Madagascar", "secam-k1", "secam-k1", false},
    // Russia and Kazakhstan.
    {7, "Russia and Kazakhstan", "russia", "russia", false},
    // Eastern Europe and Asia on the OIRT channels.
    {36, "Hungary", "europe-east", "europe-east", false},
    {40, "Romania", "europe-east", "europe-east", false},
    {42, "Czechoslovakia (former code)", "europe-east", "europe-east", false},
    {48, "Poland", "europe-east", "europe-east", false},
    {84, "Vietnam", "europe-east", "europe-east", false},
    {93, "Afghanistan", "europe-east", "europe-east", false},
    {359, "Bulgaria", "europe-east", "europe-east", false},
    {370, "Lithuania", "europe-east", "europe-east", false},
    {371, "Latvia", "europe-east", "europe-east", false},
    {372, "Estonia", "europe-east", "europe-east", false},
    {373, "Moldova", "europe-east", "europe-east", false},
    {374, "Armenia", "europe-east", "europe-east", false},
    {375, "Belarus", "europe-east", "europe-east", false},
    {380, "Ukraine", "europe-east", "europe-east", false},
    {420, "Czech Republic", "europe-east", "europe-east", false},
    {421, "Slovakia", "europe-east", "europe-east", false},
    {850, "Korea (North)", "europe-east", "europe-east", false},
    {976, "Mongolia", "europe-east", "europe-east", false},
    {992, "Tajikistan", "europe-east", "europe-east", false},
    {993, "Turkmenistan", "europe-east", "europe-east", false},
    {994, "Azerbaijan", "europe-east", "europe-east", false},
    {995, "Georgia", "europe-east", "europe-east", false},
    {996, "Kyrgyzstan", "europe-east", "europe-east", false},
    {998, "Uzbekistan", "europe-east", "europe-east", false},
    // Everywhere else on the CCIR channels.
    {20, "Egypt", "europe-west", "europe-west", false},
    {30, "Greece", "europe-west", "europe-west", false},
    {31, "Netherlands", "europe-west", "europe-west", false},
    {32, "Belgium", "europe-west", "europe-west", false},
    {34, "Spain", "europe-west", "europe-west", false},
    {38, "Yugoslavia (former code)", "europe-west", "europe-west", false},
    {41, "Switzerland", "europe-west", "europe-west", false},
    {43, "Austria", "europe-west", "europe-west", false},
    {44, "United Kingdom", "europe-west", "europe-west", false},
    {45, "Denmark", "europe-west", "europe-west", false},
    {46, "Sweden", "europe-west", "europe-west", false},
    {47, "Norway", "europe-west", "europe-west", false},
    {49, "Germany", "europe-west", "europe-west", false},
    {60, "Malaysia", "europe-west", "europe-west", false},
    {62, "Indonesia", "europe-west", "europe-west", false},
    {65, "Singapore", "europe-west", "europe-west", false},
    {66, "Thailand", "europe-west", "europe-west", false},
    {90, "Turkey", "europe-west", "europe-west", false},
    {91, "India", "europe-west", "europe-west", false},
    {92, "Pakistan", "europe-west", "europe-west", false},
    {94, "Sri Lanka", "europe-west", "europe-west", false},
    {98, "Iran", "europe-west", "europe-west", false},
    {211, "South Sudan", "europe-west", "europe-west", false},
    {212, "Morocco", "europe-west", "europe-west", false},
    {213, "Algeria", "europe-west", "europe-west", false},
    {216, "Tunisia", "europe-west", "europe-west", false},
    {218, "Libya", "europe-west", "europe-west", false},
    {220, "Gambia", "europe-west", "europe-west", false},
    {222, "Mauritania", "europe-west", "europe-west", false},
    {223, "Mali", "europe-west", "europe-west", false},
    {224, "Guinea", "europe-west", "europe-west", false},
    {230, "Mauritius", "europe-west", "europe-west", false},
    {231, "Liberia", "europe-west", "europe-west", false},
    {232, "Sierra Leone", "europe-west", "europe-west", false},
    {233, "Ghana", "europe-west", "europe-west", false},
    {234, "Nigeria", "europe-west", "europe-west", false},
    {237, "Cameroon", "europe-west", "europe-west", false},
    {238, "Cape Verde", "europe-west", "europe-west", false},
    {239, "Sao Tome and Principe", "europe-west", "europe-west", false},
    {240, "Equatorial Guinea", "europe-west", "europe-west", false},
    {244, "Angola", "europe-west", "europe-west", false},
    {245, "Guinea-Bissau", "europe-west", "europe-west", false},
    {246, "Diego Garcia", "europe-west", "europe-west", false},
    {247, "Ascension", "europe-west", "europe-west", false},
    {248, "Seychelles", "europe-west", "europe-west", false},
    {249, "Sudan", "europe-west", "europe-west", false},
    {251, "Ethiopia", "europe-west", "europe-west", false},
    {252, "Somalia", "europe-west", "europe-west", false},
    {253, "Djibouti", "europe-west", "europe-west", false},
    {254, "Kenya", "europe-west", "europe-west", false},
    {255, "Tanzania", "europe-west", "europe-west", false},
    {256, "Uganda", "europe-west", "europe-west", false},
    {258, "Mozambique", "europe-west", "europe-west", false},
    {260, "Zambia", "europe-west", "europe-west", false},
    {263, "Zimbabwe", "europe-west", "europe-west", false},
    {265, "Malawi", "europe-west", "europe-west", false},
    {290, "Saint Helena", "europe-west", "europe-west", false},
    {291, "Eritrea", "europe-west", "europe-west", false},
    {298, "Faroe Islands", "europe-west", "europe-west", false},
    {299, "Greenland", "europe-west", "europe-west", false},
    {350, "Gibraltar", "europe-west", "europe-west", false},
    {351, "Portugal", "europe-west", "europe-west", false},
    {352, "Luxembourg", "europe-west", "europe-west", false},
    {354, "Iceland", "europe-west", "europe-west", false},
    {355, "Albania", "europe-west", "europe-west", false},
    {356, "Malta", "europe-west", "europe-west", false},
    {357, "Cyprus", "europe-west", "europe-west", false},
    {358, "Finland", "europe-west", "europe-west", false},
    {376, "Andorra", "europe-west", "europe-west", false},
    {381, "Serbia", "europe-west", "europe-west", false},
    {382, "Montenegro", "europe-west", "europe-west", false},
    {383, "Kosovo", "europe-west", "europe-west", false},
    {385, "Croatia", "europe-west", "europe-west", false},
    {386, "Slovenia", "europe-west", "europe-west", false},
    {387, "Bosnia and Herzegovina", "europe-west", "europe-west", false},
    {389, "Macedonia", "europe-west", "europe-west", false},
    {423, "Liechtenstein", "europe-west", "europe-west", false},
    {500, "Falkland Islands", "europe-west", "europe-west", false},
    {670, "Timor-Leste", "europe-west", "europe-west", false},
    {673, "Brunei", "europe-west", "europe-west", false},
    {852, "Hong Kong", "europe-west", "europe-west", false},
    {853, "Macau", "europe-west", "europe-west", false},
    {855, "Cambodia", "europe-west", "europe-west", false},
    {856, "Laos", "europe-west", "europe-west", false},
    {880, "Bangladesh", "europe-west", "europe-west", false},
    {960, "Maldives", "europe-west", "europe-west", false},
    {961, "Lebanon", "europe-west", "europe-west", false},
    {962, "Jordan", "europe-west", "europe-west", false},
    {963, "Syria", "europe-west", "europe-west", false},
    {964, "Iraq", "europe-west", "europe-west", false},
    {965, "Kuwait", "europe-west", "europe-west", false},
    {966, "Saudi Arabia", "europe-west", "europe-west", false},
    {967, "Yemen", "europe-west", "europe-west", false},
    {968, "Oman", "europe-west", "europe-west", false},
    {970, "Palestine", "europe-west", "europe-west", false},
    {971, "United Arab Emirates", "europe-west", "europe-west", false},
    {972, "Israel", "europe-west", "europe-west", false},
    {973, "Bahrain", "europe-west", "europe-west", false},
    {974, "Qatar", "europe-west", "europe-west", false},
    {975, "Bhutan", "europe-west", "europe-west", false},
    {977, "Nepal", "europe-west", "europe-west", false},
};

const std::map<std::string, ChannelPlan>& builtInPlans() {
    static const std::map<std::string, ChannelPlan> plans = [] {
        std::map<std::string, ChannelPlan> m;
        for (const auto& p : kPlanTexts)
            m.emplace(p.name, parseChannelList(p.text, p.name));
        return m;
    }();
    return plans;
}

// ---- the user's lists ----

struct CachedList {
    std::filesystem::file_time_type mtime;
    std::uintmax_t size = 0;
    std::shared_ptr<const ChannelPlan> plan; // nullptr when it cannot be used
};

std::mutex g_listMutex;

// Says once on standard error why a list is not used (the component keeps no
// log of its own); a list that changes and fails again is reported again.
void reportListProblem(const std::string& path, const std::string& problem) {
    static std::map<std::string, std::string> reported;
    std::string& last = reported[path];
    if (last == problem) return;
    last = problem;
    std::fprintf(stderr, "Capgraph: channel list \"%s\" not used, the built-in plan stays: %s\n",
                 printableText(path, 512).c_str(), problem.c_str());
}

std::shared_ptr<const ChannelPlan> userList(const std::string& path) {
    static std::map<std::string, CachedList> cache;
    std::error_code ec;
    const auto mtime = std::filesystem::last_write_time(path, ec);
    const auto size = ec ? 0 : std::filesystem::file_size(path, ec);
    std::lock_guard lock(g_listMutex);
    auto it = cache.find(path);
    if (!ec && it != cache.end() && it->second.mtime == mtime && it->second.size == size) return it->second.plan;
    CachedList entry;
    entry.mtime = mtime;
    entry.size = size;
    try {
        entry.plan = std::make_shared<const ChannelPlan>(loadChannelListFile(path));
    } catch (const std::exception& e) {
        reportListProblem(path, e.what());
    }
    if (!ec) cache[path] = entry;
    return entry.plan;
}

std::string settingFor(bool cable) {
    const auto v = registry::queryValue(kTunerPropertiesKey, cable ? kCableChannelListValue : kAntennaChannelListValue);
    if (!v || v->type != registry::ValueType::String) return {};
    // REG_SZ text ends at its first NUL.
    std::string text = v->text.substr(0, v->text.find('\0'));
    return std::string(trim(text));
}

} // namespace

std::optional<int64_t> ChannelPlan::frequency(long channel) const {
    auto it = carriers.find(channel);
    if (it == carriers.end()) return std::nullopt;
    return it->second;
}

std::string printableText(std::string_view text, std::size_t maxBytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < text.size() && i < maxBytes; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= ' ' && c <= '~') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    if (text.size() > maxBytes) out += "...";
    return out;
}

std::optional<long> channelNumberForName(std::string_view raw, ChannelNumbering numbering) {
    const std::string name = upper(trim(raw));
    if (name.empty() || name.size() > 8) return std::nullopt;
    if (allDigits(name)) return name.size() <= 3 ? std::optional<long>(std::stol(name)) : std::nullopt;
    size_t p = 0;
    while (p < name.size() && std::isalpha(static_cast<unsigned char>(name[p])))
        ++p;
    const std::string prefix = name.substr(0, p);
    const std::string digits = name.substr(p);
    if (prefix.empty()) {
        // Australia's "5A": a number followed by one letter A.
        const std::string n = name.substr(0, name.size() - 1);
        if (name.back() == 'A' && allDigits(n) && n.size() <= 2) return 100 + std::stol(n);
        return std::nullopt;
    }
    if (digits.empty()) {
        // Italian A to H; French cable KB to KQ.
        if (prefix.size() == 1 && prefix[0] >= 'A' && prefix[0] <= 'H') return prefix[0] - 'A' + 2;
        if (prefix.size() == 2 && prefix[0] == 'K' && prefix[1] >= 'B' && prefix[1] <= 'Z')
            return 100 + (prefix[1] - 'A' + 1);
        return std::nullopt;
    }
    if (!allDigits(digits) || digits.size() > 2) return std::nullopt;
    const long n = std::stol(digits);
    const bool zeroLed = digits.size() == 2 && digits[0] == '0';
    const bool oirt = numbering == ChannelNumbering::Oirt;
    if (prefix == "E") return oirt ? 70 + n : n;
    if (prefix == "R") return oirt ? n : 70 + n;
    if (prefix == "S") return zeroLed ? 141 + n : 100 + n;
    if (prefix == "SE") return 100 + n;
    if (prefix == "SR" || prefix == "SK") return 150 + n;
    if (prefix == "T") return 164 + n;
    if (prefix == "H") return digits.size() == 1 ? 9 + n : 120 + n;
    if (prefix == "A") return 100 + n;
    if (prefix == "K" && digits.size() == 2) return n;
    return std::nullopt;
}

namespace {

// The lines of a list that name something, without comments or blanks.
struct ListLine {
    size_t number;
    std::string_view text;
};

std::vector<ListLine> meaningfulLines(std::string_view text) {
    // Editors on other systems start UTF-8 files with a byte-order mark.
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
    std::vector<ListLine> lines;
    size_t number = 0;
    while (!text.empty()) {
        ++number;
        const size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        line = trim(line.substr(0, line.find('#')));
        if (line.empty() || line[0] == ';') continue;
        lines.push_back({number, line});
    }
    return lines;
}

std::string quotedText(std::string_view text) { return "\"" + printableText(text) + "\""; }

bool isOirtName(std::string_view label) {
    const std::string name = upper(trim(label));
    return name.size() >= 2 && name.size() <= 3 && name[0] == 'R' && allDigits(std::string_view(name).substr(1));
}

} // namespace

ChannelPlan parseChannelList(std::string_view text, std::string name) {
    ChannelPlan plan;
    plan.name = std::move(name);
    const std::vector<ListLine> lines = meaningfulLines(text);
    // Where the OIRT channels are listed, their numbers are the ones viewers use.
    const bool oirt = std::any_of(lines.begin(), lines.end(), [](const ListLine& l) {
        const size_t eq = l.text.find('=');
        return eq != std::string_view::npos && isOirtName(l.text.substr(0, eq));
    });
    const ChannelNumbering numbering = oirt ? ChannelNumbering::Oirt : ChannelNumbering::Western;
    for (const ListLine& line : lines) {
        const std::string where = "line " + std::to_string(line.number) + ": ";
        const size_t eq = line.text.find('=');
        if (eq == std::string_view::npos) throw std::runtime_error(where + "not \"name = frequency\"");
        const std::string_view label = trim(line.text.substr(0, eq));
        const auto channel = channelNumberForName(label, numbering);
        if (!channel) throw std::runtime_error(where + quotedText(label) + " is not a channel name");
        const std::string_view value = trim(line.text.substr(eq + 1));
        const auto hz = parseFrequency(value);
        // Analog TV carriers lie between a few and a thousand MHz.
        if (!hz || *hz < 1000000 || *hz > 1000000000)
            throw std::runtime_error(where + quotedText(value) + " is not a frequency from 1 to 1000 MHz");
        if (plan.carriers.count(*channel))
            throw std::runtime_error(where + quotedText(label) + " is channel " + std::to_string(*channel) +
                                     " again (" + quotedText(plan.labels[*channel]) + " came first)");
        plan.carriers[*channel] = *hz;
        plan.labels[*channel] = std::string(label);
    }
    if (plan.carriers.empty()) throw std::runtime_error("the list has no channel");
    return plan;
}

namespace {

// Why a file that is not a regular file cannot be a list.
void requireRegularFile(mode_t mode) {
    if (S_ISREG(mode)) return;
    if (S_ISDIR(mode)) throw std::runtime_error("it is a folder, not a file");
    if (S_ISFIFO(mode)) throw std::runtime_error("it is a pipe, not a file");
    if (S_ISSOCK(mode)) throw std::runtime_error("it is a socket, not a file");
    if (S_ISCHR(mode) || S_ISBLK(mode)) throw std::runtime_error("it is a device, not a file");
    throw std::runtime_error("it is not a regular file");
}

} // namespace

ChannelPlan loadChannelListFile(const std::string& path) {
    // A pipe or a device named here would hold the tuner (and the program's
    // start-up) until something writes to it: look before opening, open
    // without waiting, and look again at what was opened.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw std::runtime_error(errno == ENOENT || errno == ENOTDIR ? "the file does not exist"
                                                                     : "the file cannot be read");
    requireRegularFile(st.st_mode);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("the file cannot be read");
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (::fstat(fd, &st) != 0) throw std::runtime_error("the file cannot be read");
    requireRegularFile(st.st_mode);
    // Read one byte past the limit, never the whole of a huge file.
    std::string text(kMaxChannelListBytes + 1, '\0');
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw std::runtime_error("the file cannot be read");
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    text.resize(got);
    if (text.size() > kMaxChannelListBytes)
        throw std::runtime_error("the file is larger than " + std::to_string(kMaxChannelListBytes / 1024) + " KB");
    if (text.find('\0') != std::string::npos) throw std::runtime_error("the file is not text");
    return parseChannelList(text, path);
}

const ChannelPlan* builtInPlan(std::string_view name) {
    std::string key(trim(name));
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
    const auto& plans = builtInPlans();
    auto it = plans.find(key);
    return it == plans.end() ? nullptr : &it->second;
}

std::vector<std::string> builtInPlanNames() {
    std::vector<std::string> names;
    for (const auto& p : kPlanTexts)
        names.push_back(p.name);
    return names;
}

const std::vector<CountryPlans>& countryTable() { return kCountries; }

const CountryPlans* countryPlans(long code) {
    for (const auto& c : kCountries)
        if (c.code == code) return &c;
    return nullptr;
}

bool isKnownCountryCode(long code) { return countryPlans(code) != nullptr; }

long effectiveInputType(long country, long stored) {
    if (stored == 0 || stored == 1) return stored;
    const CountryPlans* c = countryPlans(country);
    return c && c->cableFirst ? 0 : 1;
}

const ChannelPlan* countryChannelPlan(long country, bool cable) {
    const CountryPlans* c = countryPlans(country);
    return c ? builtInPlan(cable ? c->cable : c->broadcast) : nullptr;
}

std::shared_ptr<const ChannelPlan> activeChannelPlan(long country, bool cable) {
    const std::string setting = settingFor(cable);
    if (!setting.empty() && upper(setting) != "DEFAULT") {
        if (const ChannelPlan* p = builtInPlan(setting)) return std::shared_ptr<const ChannelPlan>(p, [](auto*) {});
        if (auto p = userList(setting)) return p;
    }
    const ChannelPlan* p = countryChannelPlan(country, cable);
    return p ? std::shared_ptr<const ChannelPlan>(p, [](auto*) {}) : nullptr;
}

std::optional<int64_t> channelFrequency(long country, bool cable, long channel) {
    auto plan = activeChannelPlan(country, cable);
    return plan ? plan->frequency(channel) : std::nullopt;
}

} // namespace vesper::capture
