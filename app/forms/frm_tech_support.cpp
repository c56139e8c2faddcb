#include "app/forms/frm_tech_support.h"

#include "app/forms/frm_initial_config.h"
#include "platform/ui/qt_ui_seam.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesper {

namespace {

// A label that works as a link: pointing hand, underlined, clicked through
// the window's event filter.
QLabel* linkLabel(const QString& name, const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setCursor(Qt::PointingHandCursor);
    QFont f = l->font();
    f.setUnderline(true);
    l->setFont(f);
    l->setStyleSheet("QLabel:enabled { color: palette(link); }");
    return l;
}

std::string techSupportContents(const TechSupportModel& m) {
    return std::string("chkCreateLogStatus: ") + (m.logStatus ? "1" : "0") +
           "\nchkCreateLogStatusAppInit: " + (m.logStatusAppInit ? "1" : "0") +
           "\nlblViewLogStatus: " + (m.viewLogStatusEnabled ? "enabled" : "disabled") +
           "\nlblViewLogStatusAppInit: " + (m.viewLogStatusAppInitEnabled ? "enabled" : "disabled") + "\n";
}

} // namespace

frmTechSupport::frmTechSupport(std::function<DeviceQuery()> devices, QWidget* parent)
    : QDialog(parent), m_devices(std::move(devices)) {
    setObjectName("frmTechSupport");
    setWindowTitle("Tech Support Helper");
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel("If you need tech support, these information created below are required for better "
                             "assistance. Send tech support requests to:",
                             this);
    intro->setObjectName("lblIntro");
    intro->setWordWrap(true);
    layout->addWidget(intro);
    m_email = linkLabel("lblEmailSupport", kSupportEmail, this);
    m_email->setToolTip("Opens a support e-mail in your mail program");
    layout->addWidget(m_email);

    auto* profileFrame = new QGroupBox(" Create App Profile", this);
    profileFrame->setObjectName("fraCreateAppProfile");
    auto* pf = new QVBoxLayout(profileFrame);
    auto* warning = new QLabel("Make sure Recording is STOPPED and Preview is OFF !", profileFrame);
    warning->setObjectName("lblWarning");
    pf->addWidget(warning);
    m_createProfile =
        linkLabel("lblCreateAppProfile", " Create LogStatusAppProfile.txt, then open with notepad.exe", profileFrame);
    m_createProfile->setToolTip("Opens in your text editor");
    pf->addWidget(m_createProfile);
    layout->addWidget(profileFrame);

    auto* logFrame = new QGroupBox(" Create LogStatus during normal operations", this);
    logFrame->setObjectName("fraCreateLogStatus");
    auto* lf = new QVBoxLayout(logFrame);
    auto row = [&](QCheckBox*& box, const char* boxName, const char* boxText, QLabel*& view, const char* viewName) {
        auto* h = new QHBoxLayout;
        box = new QCheckBox(boxText, logFrame);
        box->setObjectName(boxName);
        view = linkLabel(viewName, "View w/ notepad.exe", logFrame);
        view->setToolTip("Opens in your text editor");
        h->addWidget(box);
        h->addStretch();
        h->addWidget(view);
        lf->addLayout(h);
    };
    row(m_chkLogStatus, "chkCreateLogStatus", "Create LogStatus.txt and LogSatusLast.txt", m_viewLogStatus,
        "lblViewLogStatus");
    row(m_chkAppInit, "chkCreateLogStatusAppInit", "Create LogStatusAppInit.txt", m_viewAppInit,
        "lblViewLogStatusAppInit");
    layout->addWidget(logFrame);

    auto* buttons = new QHBoxLayout;
    // The card model is quoted in the support e-mail; it is asked for here,
    // while none is stored, and never at start-up.
    m_cardModel = new QPushButton("Select your TV Tuner/Video Device ...", this);
    m_cardModel->setObjectName("cmdInitialConfig");
    buttons->addWidget(m_cardModel);
    buttons->addStretch();
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("cmdOK");
    ok->setDefault(true);
    buttons->addWidget(ok);
    layout->addLayout(buttons);

    for (QLabel* l : {m_email, m_createProfile, m_viewLogStatus, m_viewAppInit})
        l->installEventFilter(this);
    connect(m_chkLogStatus, &QCheckBox::toggled, this, [this](bool on) { m_model.logStatus = on; });
    connect(m_chkAppInit, &QCheckBox::toggled, this, [this](bool on) { m_model.logStatusAppInit = on; });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cardModel, &QPushButton::clicked, this, [this] {
        ShowInitialConfig(this);
        updateCardModelButton();
    });

    m_model.load();
    refresh();
}

void frmTechSupport::refresh() {
    m_chkLogStatus->setChecked(m_model.logStatus);
    m_chkAppInit->setChecked(m_model.logStatusAppInit);
    m_viewLogStatus->setEnabled(m_model.viewLogStatusEnabled);
    m_viewAppInit->setEnabled(m_model.viewLogStatusAppInitEnabled);
    updateCardModelButton();
}

void frmTechSupport::updateCardModelButton() { m_cardModel->setVisible(cardModelMissing()); }

bool frmTechSupport::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        auto* label = qobject_cast<QLabel*>(watched);
        if (label && label->isEnabled()) {
            if (label == m_email) {
                OpenSupportMail();
            } else if (label == m_createProfile) {
                m_model.createAppProfile(m_devices ? m_devices() : DeviceQuery{});
            } else if (label == m_viewLogStatus) {
                m_model.viewLogStatus();
            } else if (label == m_viewAppInit) {
                m_model.viewLogStatusAppInit();
            }
            m_viewLogStatus->setEnabled(m_model.viewLogStatusEnabled);
            m_viewAppInit->setEnabled(m_model.viewLogStatusAppInitEnabled);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmTechSupport::done(int result) {
    // Closing in any way writes the boxes back to their switches.
    m_model.unload();
    QDialog::done(result);
}

void ShowTechSupport(QWidget* parent, std::function<DeviceQuery()> devices) {
    TechSupportModel model;
    model.load();
    if (scriptedModal({"frmTechSupport", "Tech Support Helper", techSupportContents(model), "OK"})) {
        model.unload();
        return;
    }
    frmTechSupport window(std::move(devices), parent);
    window.exec();
}

} // namespace vesper
