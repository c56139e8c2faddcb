// The guide pane's four links (each opens a TV listing site, or starts a
// program), their settings, and the pane's open and closed layout.
#pragma once

#include <array>
#include <string>

namespace vesper {

inline constexpr int kGuideLinkCount = 4;

struct GuideSite {
    const char* name;
    const char* toolTip;
    const char* url;
};
// The built-in sites, index 0 to 3: defaults of the links and the choices of
// the configuration dialog.
extern const std::array<GuideSite, kGuideLinkCount> kGuideSites;

// One link's settings under "\EPG\Custom<index>", defaults filled in.
struct GuideLink {
    std::string caption;
    std::string toolTip;
    std::string url;
    std::string selected; // "sURL", "sAppPathName"; anything else disables the link
    std::string appPathName;
};
// An index outside 0..3 gives an empty link that does nothing.
GuideLink readGuideLink(int index);

// What a click on a link did.
struct LinkOpening {
    enum Kind { Nothing, Url, Command } kind = Nothing;
    std::string target;
    bool ok = false;
};
// Opens link `index` in the user's browser, or starts its program; a failure
// is told in a message over `owner` with the address or command line.
LinkOpening OpenGuideLink(int index);
// An address without a scheme ("www.example.com/tv") gets "http://".
std::string guideLinkAddress(const std::string& url);

// The configuration dialog's values: link name and address per index.
struct EpgLinkSetting {
    std::string name;
    std::string url;
};
std::array<EpgLinkSetting, kGuideLinkCount> readEpgConfig();
// Writes only sCaption and sURL; tool tips and targets keep their values.
void saveEpgConfig(const std::array<EpgLinkSetting, kGuideLinkCount>& values);

// The pane beside the schedule grid: open, the grid keeps its design width W
// and the button stands at W + 240; closed, the grid takes the pane's room
// (W + 1305) and the button moves to W + 1545. Twips, counted from the
// schedule page's left edge; the main window maps them onto its page.
class GuidePaneLayout {
public:
    // The button's distance from W while the pane is open, and the pane's
    // room that the grid takes when it is closed.
    static constexpr int kButtonOffset = 240;
    static constexpr int kPaneRoom = 1305;

    explicit GuidePaneLayout(int designGridWidth);

    int designGridWidth() const { return m_w; }
    // Where the button stands while the pane is closed: the layout's
    // furthest reach, W + 1545.
    int closedButtonLeft() const { return m_w + kPaneRoom + kButtonOffset; }

    void open();
    void close();
    void toggle();
    // The pane counts as open exactly when the button stands at W + 240.
    bool isOpen() const { return m_buttonLeft == m_w + kButtonOffset; }

    int gridWidth() const { return m_gridWidth; }
    int buttonLeft() const { return m_buttonLeft; }
    bool frameVisible() const { return m_frameVisible; }
    // cmdEpgPane's tool tip for the current state.
    std::string buttonToolTip() const;

    // sPaneState: "open" or "close". Any text but "close" opens the pane.
    void applyState(const std::string& paneState);
    std::string stateText() const { return isOpen() ? "open" : "close"; }
    // Read and write sPaneState.
    void restore();
    void save() const;

private:
    int m_w;
    int m_gridWidth;
    int m_buttonLeft;
    bool m_frameVisible = true;
};

} // namespace vesper
