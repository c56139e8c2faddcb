// The "Configure EPG" dialog: a name and an address per guide link.
#pragma once

#include "app/core/guide_links.h"

#include <QDialog>

#include <functional>

class QComboBox;

namespace vesper {

// The link boxes are QComboBoxes named "cmbLinkName" and "cmbLinkURL", each
// with the link's index (0 to 3) as its dynamic property "index".
class frmConfigEPG : public QDialog {
    Q_OBJECT
public:
    explicit frmConfigEPG(QWidget* parent = nullptr);

    QComboBox* cmbLinkName(int index) const { return m_names[static_cast<size_t>(index)]; }
    QComboBox* cmbLinkURL(int index) const { return m_urls[static_cast<size_t>(index)]; }
    std::array<EpgLinkSetting, kGuideLinkCount> values() const;
    bool saved() const { return m_saved; }

public slots:
    void accept() override;

private:
    std::array<QComboBox*, kGuideLinkCount> m_names{};
    std::array<QComboBox*, kGuideLinkCount> m_urls{};
    bool m_saved = false;
};

// Shows the dialog modally (asking the test seam first). On OK the settings
// are saved and `setCaption` gets each link's new name for its label. True
// when saved.
bool ShowConfigEPG(QWidget* parent, const std::function<void(int, const std::string&)>& setCaption);

// The dialog's field values as the test seam sees them: one
// "cmbLinkName(i): ..." and "cmbLinkURL(i): ..." line per link.
std::string configEpgContents(const std::array<EpgLinkSetting, kGuideLinkCount>& values);

} // namespace vesper
