// Large XMLTV listings made on the fly for the tests and the bench: `channels`
// channels over `days` days from 1 April 2030, a programme every 50 minutes
// (50 channels for 7 days make about 10,000), zones varying by channel, every
// eighth programme "The News".
#pragma once

#include <cstdio>
#include <string>

namespace vesper::listings::test {

inline std::string generatedListings(int channels, int days) {
    static const char* const kZones[] = {"+0200", "+0000", "-0500", "+0100", "+0530"};
    static const int kZoneMinutes[] = {120, 0, -300, 60, 330};
    static const char* const kTitles[] = {"Morning Show", "Cooking Hour", "Garden Time", "Film Classics",
                                          "Quiz Night",   "Sports Desk",  "Travel Log"};
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE tv SYSTEM \"xmltv.dtd\">\n"
                      "<tv generator-info-name=\"Vesper test generator\">\n";
    for (int c = 0; c < channels; ++c)
        out += "  <channel id=\"ch" + std::to_string(c) + ".example.org\">\n    <display-name>Channel " +
               std::to_string(c + 2) + "</display-name>\n  </channel>\n";
    // 2030-04-01 00:00 UTC in minutes since the epoch.
    const long long first = 1901232000LL / 60;
    const auto stamp = [](long long utcMinutes, int zone) {
        // Writes the UTC minute as local time of the zone, with its offset.
        long long m = utcMinutes + kZoneMinutes[zone];
        long long days = m / 1440, rest = m % 1440;
        // Civil date from days since the epoch.
        days += 719468;
        const long long era = days / 146097, doe = days - era * 146097;
        const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
        const long long d = doy - (153 * mp + 2) / 5 + 1, mo = mp < 10 ? mp + 3 : mp - 9;
        const long long y = yoe + era * 400 + (mo <= 2);
        char buf[32];
        std::snprintf(buf, sizeof buf, "%04lld%02lld%02lld%02lld%02lld00 %s", y, mo, d, rest / 60, rest % 60,
                      kZones[zone]);
        return std::string(buf);
    };
    const int perChannel = days * 1440 / 50;
    for (int c = 0; c < channels; ++c) {
        const int zone = c % 5;
        for (int i = 0; i < perChannel; ++i) {
            const long long start = first + 50LL * i;
            const std::string title = (i + c) % 8 == 0 ? "The News" : kTitles[(i + c) % 7];
            out += "  <programme start=\"" + stamp(start, zone) + "\" stop=\"" + stamp(start + 50, zone) +
                   "\" channel=\"ch" + std::to_string(c) + ".example.org\">\n    <title lang=\"en\">" + title +
                   "</title>\n    <desc lang=\"en\">Episode " + std::to_string(i) +
                   " of a programme made up for the guide's tests, long enough to look like a real "
                   "description.</desc>\n    <category lang=\"en\">" +
                   (title == "The News" ? "News" : "Entertainment") + "</category>\n  </programme>\n";
        }
    }
    out += "</tv>\n";
    return out;
}

} // namespace vesper::listings::test
