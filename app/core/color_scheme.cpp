#include "app/core/color_scheme.h"

#include "app/core/settings_store.h"

#include <array>

namespace vesper {

namespace {

struct Scheme {
    const char* name;
    SummaryColours colours;
};

// In the button's cycle order.
constexpr std::array<Scheme, 4> kSchemes = {{
    {"default", {0xF0F0F0, 0x000000, 0x000080}},
    {"green", {0xC8F0C8, 0x003300, 0x006400}},
    {"magenta", {0xF5D0F5, 0x330033, 0x8B008B}},
    {"yellow", {0xFFFFC0, 0x333300, 0x806000}},
}};

size_t indexOf(const std::string& name) {
    for (size_t i = 0; i < kSchemes.size(); ++i)
        if (name == kSchemes[i].name) return i;
    return 0;
}

} // namespace

ColorScheme::ColorScheme(const std::string& name) : m_name(kSchemes[indexOf(name)].name) {}

SummaryColours ColorScheme::colours() const { return kSchemes[indexOf(m_name)].colours; }

void ColorScheme::next() { m_name = kSchemes[(indexOf(m_name) + 1) % kSchemes.size()].name; }

bool ColorScheme::isKnown(const std::string& name) {
    for (const auto& s : kSchemes)
        if (name == s.name) return true;
    return false;
}

ColorScheme ColorScheme::restore() { return ColorScheme(RegGetSetting2(settings::ColorScheme)); }

void ColorScheme::save() const { RegSaveSetting2(settings::ColorScheme, m_name); }

} // namespace vesper
