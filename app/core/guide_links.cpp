#include "app/core/guide_links.h"

#include "app/core/program.h"
#include "app/core/settings_store.h"
#include "platform/ui/ui_seam.h"

#include <cctype>

namespace vesper {

const std::array<GuideSite, kGuideLinkCount> kGuideSites = {{
    {"TV Guide\u00ae", " Click to goto the site ", "https://www.tvguide.com/listings/"},
    {"Yahoo! TV", " Click to goto the site ", "https://tv.yahoo.com/"},
    {"MSN TV", " Click to goto the site ", "https://www.msn.com/en-us/tv"},
    {"Zap2it", " Click to goto the site ", "https://tvlistings.zap2it.com/"},
}};

namespace {

bool validIndex(int index) { return index >= 0 && index < kGuideLinkCount; }

std::string linkSetting(int index, const char* name, const std::string& defaultValue) {
    return RegGetSetting2(settings::epgCustomKey(index), name, defaultValue);
}

} // namespace

GuideLink readGuideLink(int index) {
    GuideLink link;
    if (!validIndex(index)) return link;
    const GuideSite& site = kGuideSites[static_cast<size_t>(index)];
    link.caption = linkSetting(index, settings::sCaption, site.name);
    link.toolTip = linkSetting(index, settings::sToolTipText, site.toolTip);
    link.url = linkSetting(index, settings::sURL, site.url);
    link.selected = linkSetting(index, settings::sSelected, settings::sSelectedDefault);
    link.appPathName = linkSetting(index, settings::sAppPathName, "");
    return link;
}

std::string guideLinkAddress(const std::string& url) {
    size_t b = 0, e = url.size();
    while (b < e && std::isspace(static_cast<unsigned char>(url[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(url[e - 1])))
        --e;
    const std::string u = url.substr(b, e - b);
    if (u.empty()) return u;
    // A scheme is letters, digits, "+", "-", "." before the first ":", starting
    // with a letter; "www.site.com:8080/x" has none.
    const size_t colon = u.find(':');
    bool scheme = colon != std::string::npos && colon > 0 && std::isalpha(static_cast<unsigned char>(u[0]));
    for (size_t i = 0; scheme && i < colon; ++i) {
        const char c = u[i];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') scheme = false;
    }
    if (scheme && u.compare(colon, 3, "://") != 0 && u.find('.') < colon) scheme = false;
    return scheme ? u : "http://" + u;
}

LinkOpening OpenGuideLink(int index) {
    LinkOpening result;
    if (!validIndex(index)) return result;
    const GuideLink link = readGuideLink(index);
    auto openAddress = [&result, &link] {
        result.kind = LinkOpening::Url;
        result.target = guideLinkAddress(link.url);
        result.ok = !result.target.empty() && OpenOrTell(OpenTarget::WebPage, result.target, kAppTitle);
    };
    if (link.selected == "sURL") {
        openAddress();
    } else if (link.selected == "sAppPathName") {
        if (link.appPathName.empty()) {
            openAddress();
        } else {
            result.kind = LinkOpening::Command;
            result.target = link.appPathName;
            result.ok = OpenOrTell(OpenTarget::Program, link.appPathName, kAppTitle);
        }
    }
    return result;
}

std::array<EpgLinkSetting, kGuideLinkCount> readEpgConfig() {
    std::array<EpgLinkSetting, kGuideLinkCount> values;
    for (int i = 0; i < kGuideLinkCount; ++i) {
        const GuideSite& site = kGuideSites[static_cast<size_t>(i)];
        values[static_cast<size_t>(i)] = {linkSetting(i, settings::sCaption, site.name),
                                          linkSetting(i, settings::sURL, site.url)};
    }
    return values;
}

void saveEpgConfig(const std::array<EpgLinkSetting, kGuideLinkCount>& values) {
    for (int i = 0; i < kGuideLinkCount; ++i) {
        RegSaveSetting2(settings::epgCustomKey(i), settings::sCaption, values[static_cast<size_t>(i)].name);
        RegSaveSetting2(settings::epgCustomKey(i), settings::sURL, values[static_cast<size_t>(i)].url);
    }
}

GuidePaneLayout::GuidePaneLayout(int designGridWidth)
    : m_w(designGridWidth), m_gridWidth(designGridWidth), m_buttonLeft(designGridWidth + kButtonOffset) {}

void GuidePaneLayout::open() {
    m_gridWidth = m_w;
    m_buttonLeft = m_w + kButtonOffset;
    m_frameVisible = true;
}

void GuidePaneLayout::close() {
    m_gridWidth = m_w + kPaneRoom;
    m_buttonLeft = closedButtonLeft();
    m_frameVisible = false;
}

void GuidePaneLayout::toggle() {
    if (isOpen())
        close();
    else
        open();
}

std::string GuidePaneLayout::buttonToolTip() const {
    return isOpen() ? "Click to close EPG pane" : "Click to open EPG pane";
}

void GuidePaneLayout::applyState(const std::string& paneState) {
    if (paneState == "close")
        close();
    else
        open();
}

void GuidePaneLayout::restore() { applyState(RegGetSetting2(settings::sPaneState)); }

void GuidePaneLayout::save() const { RegSaveSetting2(settings::sPaneState, stateText()); }

} // namespace vesper
