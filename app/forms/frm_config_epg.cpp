#include "app/forms/frm_config_epg.h"

#include "platform/ui/qt_ui_seam.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesper {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
} // namespace

frmConfigEPG::frmConfigEPG(QWidget* parent) : QDialog(parent) {
    setObjectName("frmConfigEPG");
    setWindowTitle("Configure EPG");
    setModal(true);

    auto* outer = new QVBoxLayout(this);
    auto* heading = new QLabel("Electronic Program Guides", this);
    heading->setObjectName("lblHeading");
    QFont f = heading->font();
    f.setBold(true);
    heading->setFont(f);
    outer->addWidget(heading);

    auto* grid = new QGridLayout;
    auto* nameHeading = new QLabel("Link Name", this);
    nameHeading->setObjectName("lblLinkName");
    // The heading's doubled ampersand shows as one; a Qt label without a buddy
    // takes the ampersand as it is.
    auto* urlHeading = new QLabel("Cut & Paste Friendly", this);
    urlHeading->setObjectName("lblLinkURL");
    grid->addWidget(nameHeading, 0, 0);
    grid->addWidget(urlHeading, 0, 1);

    const auto current = readEpgConfig();
    for (int i = 0; i < kGuideLinkCount; ++i) {
        const size_t k = static_cast<size_t>(i);
        auto* name = new QComboBox(this);
        name->setObjectName("cmbLinkName");
        name->setProperty("index", i);
        name->setEditable(true);
        name->setInsertPolicy(QComboBox::NoInsert);
        auto* url = new QComboBox(this);
        url->setObjectName("cmbLinkURL");
        url->setProperty("index", i);
        url->setEditable(true);
        url->setInsertPolicy(QComboBox::NoInsert);
        url->setMinimumContentsLength(36);
        for (const GuideSite& site : kGuideSites) {
            name->addItem(q(site.name));
            url->addItem(q(site.url));
        }
        name->setEditText(q(current[k].name));
        url->setEditText(q(current[k].url));
        m_names[k] = name;
        m_urls[k] = url;
        grid->addWidget(name, i + 1, 0);
        grid->addWidget(url, i + 1, 1);
    }
    outer->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("cmdOK");
    ok->setDefault(true);
    auto* cancel = new QPushButton("&Cancel", this);
    cancel->setObjectName("cmbCancel");
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    outer->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &frmConfigEPG::accept);
    // Esc rejects through QDialog itself.
    connect(cancel, &QPushButton::clicked, this, &frmConfigEPG::reject);
}

std::array<EpgLinkSetting, kGuideLinkCount> frmConfigEPG::values() const {
    std::array<EpgLinkSetting, kGuideLinkCount> v;
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = {m_names[i]->currentText().toStdString(), m_urls[i]->currentText().toStdString()};
    return v;
}

void frmConfigEPG::accept() {
    saveEpgConfig(values());
    m_saved = true;
    QDialog::accept();
}

std::string configEpgContents(const std::array<EpgLinkSetting, kGuideLinkCount>& values) {
    std::string c;
    for (size_t i = 0; i < values.size(); ++i) {
        c += "cmbLinkName(" + std::to_string(i) + "): " + values[i].name + "\n";
        c += "cmbLinkURL(" + std::to_string(i) + "): " + values[i].url + "\n";
    }
    return c;
}

bool ShowConfigEPG(QWidget* parent, const std::function<void(int, const std::string&)>& setCaption) {
    std::array<EpgLinkSetting, kGuideLinkCount> values = readEpgConfig();
    const auto scripted = scriptedModal({"frmConfigEPG", "Configure EPG", configEpgContents(values), "Cancel"});
    if (scripted) {
        if (*scripted != "OK") return false;
        saveEpgConfig(values);
    } else {
        frmConfigEPG dialog(parent);
        dialog.exec();
        if (!dialog.saved()) return false;
        values = dialog.values();
    }
    if (setCaption)
        for (int i = 0; i < kGuideLinkCount; ++i)
            setCaption(i, values[static_cast<size_t>(i)].name);
    return true;
}

} // namespace vesper
