#include "kickstall/frm_kickstall.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

frmKickstall::frmKickstall(QWidget* parent) : QWidget(parent) {
    setObjectName("frmKickstall");
    setWindowTitle("Vesper Home");

    imgBanner = new QLabel(this);
    imgBanner->setObjectName("imgBanner");
    imgBanner->setText("<b><font size=\"+2\">Vesper Home</font></b>");
    imgBanner->setAlignment(Qt::AlignCenter);
    imgBanner->setMinimumHeight(56);
    imgBanner->setAutoFillBackground(true);

    imgCritical = new QLabel(this);
    imgCritical->setObjectName("imgCritical");
    imgCritical->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));

    lblCantContinue = new QLabel("Setup cannot continue...", this);
    lblCantContinue->setObjectName("lblCantContinue");
    lblError = new QLabel(this);
    lblError->setObjectName("lblError");
    lblError->setWordWrap(true);
    lblError->setTextFormat(Qt::PlainText);
    lblError->setTextInteractionFlags(Qt::TextSelectableByMouse);

    cmdOK = new QPushButton("OK", this);
    cmdOK->setObjectName("cmdOK");
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QWidget::close);

    auto* texts = new QVBoxLayout;
    texts->addWidget(lblCantContinue);
    texts->addWidget(lblError);
    auto* error = new QHBoxLayout;
    error->addWidget(imgCritical, 0, Qt::AlignTop);
    error->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(imgBanner);
    layout->addLayout(error);
    layout->addStretch();
    layout->addLayout(buttons);
    resize(420, 220);

    // Nothing tells of an error until there is one.
    imgCritical->hide();
    lblCantContinue->hide();
    lblError->hide();
}

void frmKickstall::ShowErrorDisplay(const std::string& errorText) {
    lblError->setText(QString::fromStdString(errorText));
    imgCritical->show();
    lblCantContinue->show();
    lblError->show();
}

vesper::ModalRequest frmKickstall::request() const {
    std::string contents;
    if (!lblCantContinue->isHidden()) contents += "lblCantContinue: " + lblCantContinue->text().toStdString() + "\n";
    if (!lblError->isHidden()) contents += "lblError: " + lblError->text().toStdString() + "\n";
    return {objectName().toStdString(), windowTitle().toStdString(), contents, "OK"};
}

bool frmKickstall::ShowThroughSeam() {
    if (vesper::scriptedModal(request())) return false;
    show();
    return true;
}
