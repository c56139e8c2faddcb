#include "kickstall/frm_kickstall.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kickstall {

namespace {

WindowSeam* g_seam = nullptr;

std::string json(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

} // namespace

std::optional<std::string> RecordingWindowSeam::window(const WindowRequest& request) {
    requests.push_back(request);
    return std::string("OK");
}

ScriptedWindowSeam::ScriptedWindowSeam(std::string logPath, const std::string& answers)
    : m_logPath(std::move(logPath)) {
    std::istringstream in(answers);
    std::string word;
    while (std::getline(in, word, ','))
        m_answers.push_back(word);
}

std::optional<std::string> ScriptedWindowSeam::window(const WindowRequest& request) {
    std::string answer = "OK";
    if (!m_answers.empty()) {
        if (!m_answers.front().empty()) answer = m_answers.front();
        m_answers.pop_front();
    }
    std::ofstream out(m_logPath, std::ios::app);
    out << "{\"kind\":\"modal\",\"form\":" << json(request.form) << ",\"caption\":" << json(request.caption)
        << ",\"contents\":" << json(request.contents) << ",\"answer\":" << json(answer) << "}\n";
    return answer;
}

WindowSeam* windowSeam() { return g_seam; }
void setWindowSeam(WindowSeam* seam) { g_seam = seam; }

void installWindowSeamFromEnvironment() {
    const char* log = std::getenv("VESPER_TEST_UI_LOG");
    if (!log || !*log) return;
    const char* answers = std::getenv("VESPER_TEST_UI_ANSWERS");
    static ScriptedWindowSeam seam(log, answers ? answers : "");
    setWindowSeam(&seam);
}

} // namespace kickstall

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

kickstall::WindowRequest frmKickstall::request() const {
    std::string contents;
    if (!lblCantContinue->isHidden()) contents += "lblCantContinue: " + lblCantContinue->text().toStdString() + "\n";
    if (!lblError->isHidden()) contents += "lblError: " + lblError->text().toStdString() + "\n";
    return {objectName().toStdString(), windowTitle().toStdString(), contents};
}

bool frmKickstall::ShowThroughSeam() {
    if (auto* seam = kickstall::windowSeam(); seam && seam->window(request())) return false;
    show();
    return true;
}
