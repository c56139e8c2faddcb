#include "guidelink/frm_guidelink.h"

#include "guidelink/enabler_settings.h"

#include "platform/shell.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesper::guidelink {

namespace {

// Classic colour values are 0xBBGGRR.
QColor classicColour(unsigned value) { return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF); }

void setForeground(QLabel* label, unsigned value) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, classicColour(value));
    label->setPalette(p);
}

} // namespace

PictureLink::PictureLink(const QString& objectName, const QString& text, std::string url, QWidget* parent)
    : QLabel(text, parent), m_url(std::move(url)) {
    setObjectName(objectName);
    setCursor(Qt::PointingHandCursor);
    setFrameShape(QFrame::Box);
    setAlignment(Qt::AlignCenter);
    setMinimumSize(96, 48);
}

void PictureLink::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) shell().openUrl(m_url);
    QLabel::mouseReleaseEvent(event);
}

frmGuidelink::frmGuidelink(std::string installationFolder, QWidget* parent)
    : QDialog(parent), m_folder(std::move(installationFolder)) {
    setObjectName("frmGuidelink");
    setWindowTitle("Yahoo! TV EPG Enabler for Vesper");

    lblStatusMsg = new QLabel("Yahoo! TV EPG Enabler is currently:", this);
    lblStatusMsg->setObjectName("lblStatusMsg");
    lblStatus = new QLabel(this);
    lblStatus->setObjectName("lblStatus");
    QFont bold = lblStatus->font();
    bold.setBold(true);
    lblStatus->setFont(bold);
    cmdEnableToggle = new QPushButton(this);
    cmdEnableToggle->setObjectName("cmdEnableToggle");
    lblNote = new QLabel("Changes here does not affect existing running Internet Explorer Browsers. Run new IE "
                         "Browsers to realize the changes.",
                         this);
    lblNote->setObjectName("lblNote");
    lblNote->setWordWrap(true);
    lblVersion = new QLabel(this);
    lblVersion->setObjectName("lblVersion");
    cmdExit = new QPushButton("Exit", this);
    cmdExit->setObjectName("cmdExit");
    picVesper = new PictureLink("picVesper", "Vesper", kVesperPage, this);
    picYahooTV = new PictureLink("picYahooTV", "Yahoo! TV", kEnablerPage, this);

    auto* pictures = new QHBoxLayout;
    pictures->addWidget(picVesper);
    pictures->addStretch();
    pictures->addWidget(picYahooTV);
    auto* status = new QHBoxLayout;
    status->addWidget(lblStatusMsg);
    status->addWidget(lblStatus);
    status->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblVersion);
    buttons->addStretch();
    buttons->addWidget(cmdExit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(pictures);
    layout->addLayout(status);
    layout->addWidget(cmdEnableToggle);
    layout->addWidget(lblNote);
    layout->addLayout(buttons);

    connect(cmdEnableToggle, &QPushButton::clicked, this, [this] { cmdEnableToggle_Click(); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { accept(); });

    // Load: the stored state, this version, and how things stand.
    m_bEnabled = readEnabled();
    writeCurrentVersion();
    lblVersion->setText(QString::fromStdString("Version " + versionText()));
    showState();
}

void frmGuidelink::showState() {
    if (m_bEnabled) {
        lblStatus->setText("Enabled");
        setForeground(lblStatus, 0xC000);
        cmdEnableToggle->setText("Disable Yahoo! TV EPG for Vesper");
    } else {
        lblStatus->setText("Disabled");
        setForeground(lblStatus, 255);
        cmdEnableToggle->setText("Enable Yahoo! TV EPG for Vesper");
    }
}

void frmGuidelink::cmdEnableToggle_Click() {
    m_bEnabled = !m_bEnabled;
    showState();
    writeMenuEntry(m_bEnabled, m_folder);
}

void frmGuidelink::done(int result) {
    writeEnabled(m_bEnabled);
    QDialog::done(result);
}

} // namespace vesper::guidelink
