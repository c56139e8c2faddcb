// The colours of the recording summary: "default", "green", "magenta",
// "yellow", stored as ColorScheme; the button cycles through them.
#pragma once

#include <cstdint>
#include <string>

namespace vesper {

struct SummaryColours {
    uint32_t background; // 0xRRGGBB of the next-event frame
    uint32_t text;       // its value labels
    uint32_t heading;    // "Next Recording Event" and the field names
};

class ColorScheme {
public:
    // Unknown names read as "default".
    explicit ColorScheme(const std::string& name = "default");
    const std::string& name() const { return m_name; }
    SummaryColours colours() const;
    // The next scheme in the button's cycle.
    void next();

    static bool isKnown(const std::string& name);
    // Read and write the setting.
    static ColorScheme restore();
    void save() const;

private:
    std::string m_name;
};

} // namespace vesper
