#include "app/forms/notices.h"

#include "app/core/diagnostics.h"
#include "app/core/program.h"
#include "platform/ui/qt_ui_seam.h"

#include "platform/paths.h"
#include "platform/registry.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>
#include <filesystem>

namespace vesper {

namespace {

constexpr const char* kCrLf = "\r\n";

QString displayText(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return s;
}

// A read-only text box with the notice, and an OK button that closes.
QPushButton* addOkRow(QDialog* dialog, QVBoxLayout* layout, QWidget* beside = nullptr) {
    auto* row = new QHBoxLayout;
    if (beside) row->addWidget(beside);
    row->addStretch();
    auto* ok = new QPushButton("OK", dialog);
    ok->setObjectName("cmdOK");
    ok->setDefault(true);
    row->addWidget(ok);
    layout->addLayout(row);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    return ok;
}

QPlainTextEdit* noticeBox(const std::string& text, QWidget* parent) {
    auto* box = new QPlainTextEdit(displayText(text), parent);
    box->setObjectName("txtNotice");
    box->setReadOnly(true);
    box->setMinimumSize(520, 260);
    return box;
}

// Opens the requirements page when the link label is clicked.
class LinkClick : public QObject {
public:
    LinkClick(QObject* parent, std::string url) : QObject(parent), m_url(std::move(url)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* label = qobject_cast<QWidget*>(watched);
            OpenOrTell(label ? label->window() : nullptr, OpenTarget::WebPage, m_url, kAppTitle);
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::string m_url;
};

} // namespace

std::string noticeWmeText(const std::string& componentFolder) {
    std::string folder = componentFolder;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return std::string("Vesper's encoder engine \"WMEncEng.WMEncoder\" is not registered.") + kCrLf + kCrLf +
           "Vesper records through its own encoder components, which come with it:" + kCrLf +
           "  wmenceng.so (the encoder engine, WMEncEng.WMEncoder)" + kCrLf +
           "  encwrap.so (the encoder, Encwrap.clsCommand)" + kCrLf + kCrLf + "To install and register them:" + kCrLf +
           "- From the source tree: run ./run (or ./test); its set-up builds the components and registers them." +
           kCrLf + "- From the Debian package: install or repair the vesper package." + kCrLf + "- By hand: regsvr " +
           folder + "wmenceng.so " + folder + "encwrap.so" + kCrLf + kCrLf +
           "The components are registered in your registry hive ($VESPER_REGISTRY, else "
           "~/.config/vesper/registry.sqlite)." +
           kCrLf + kCrLf + "Program cannot continue!";
}

frmNoticeWME::frmNoticeWME(const std::string& text, QWidget* parent) : QDialog(parent) {
    setObjectName("frmNoticeWME");
    setWindowTitle(kNoticeWmeCaption);
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(noticeBox(text, this));
    addOkRow(this, layout);
}

void ShowNoticeWME(QWidget* parent) {
    const std::string text = noticeWmeText(executableFolder());
    if (scriptedModal({"frmNoticeWME", kNoticeWmeCaption, text, "OK"})) return;
    frmNoticeWME notice(text, parent);
    notice.exec();
}

bool CheckSettingsFile(QWidget* parent) {
    const registry::HiveHealth hive = registry::checkHive();
    if (hive.usable()) return true;
    const std::string text = registry::hiveProblemText(hive) + "\n\nProgram cannot continue!";
    // Also where a start without a visible display can be read.
    std::fprintf(stderr, "vesper: %s\n", text.c_str());
    MsgBox(parent, text, vbCritical, kSettingsFileCaption);
    return false;
}

std::string deviceNoticeText(const std::string& code) {
    const std::string tail =
        std::string(kCrLf) + kCrLf + "Please see Requirements" + kCrLf + kCrLf + "Program cannot continue!";
    if (code == "n2")
        return std::string("No Video Capture Device detected.") + kCrLf + kCrLf + "Possible reasons:" + kCrLf + kCrLf +
               "1. No TV Tuner/Video Device hardware installed" + kCrLf +
               "2. TV Tuner/Video Device Driver is not compatible, requires WDM driver" + kCrLf +
               "3. Encoder is not compatible, only works with Windows Media Encoder 7.1" + tail;
    if (code == "n3") return "No Audio Capture Device detected." + tail;
    if (code == "n4")
        return std::string("TV Tuner device(s) failed to initialize.") + kCrLf + kCrLf + "Possible reasons:" + kCrLf +
               kCrLf + "1. Driver is not WDM driver, which is required" + kCrLf +
               "2. Driver is WDM, but not compatible - see Install/Setup Notes from the site" + kCrLf +
               "3. TV Tuner device is being used by another application" + kCrLf +
               "4. TV Tuner is not released by the last app that used it. Re-boot may fix this problem." + tail;
    return {};
}

std::string deviceNoticePage(const std::string& code) {
    if (code == "n2" || code == "n3" || code == "n4")
        return std::string(kProductSite) + "/notice" + code.substr(1) + ".html";
    return {};
}

frmNoticeDevices::frmNoticeDevices(const std::string& code, QWidget* parent) : QDialog(parent), m_code(code) {
    setObjectName("frmNoticeDevices");
    setWindowTitle(kNoticeDevicesCaption);
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* codeLabel = new QLabel(QString::fromStdString(code), this);
    codeLabel->setObjectName("lblCode");
    layout->addWidget(codeLabel);
    layout->addWidget(noticeBox(deviceNoticeText(code), this));
    auto* requirements = new QLabel("Requirements", this);
    requirements->setObjectName("lblRequirements");
    requirements->setCursor(Qt::PointingHandCursor);
    requirements->setToolTip(QString::fromStdString(deviceNoticePage(code)));
    QFont f = requirements->font();
    f.setUnderline(true);
    requirements->setFont(f);
    requirements->installEventFilter(new LinkClick(requirements, deviceNoticePage(code)));
    addOkRow(this, layout, requirements);
}

void frmNoticeDevices::keyPressEvent(QKeyEvent* event) {
    // The help request of the notice opens the program's help file.
    if (event->key() == Qt::Key_F1) {
        OpenHelpFile(this);
        return;
    }
    QDialog::keyPressEvent(event);
}

void ShowNoticeDevices(QWidget* parent, const std::string& code) {
    if (scriptedModal({"frmNoticeDevices", kNoticeDevicesCaption, code + "\n" + deviceNoticeText(code), "OK"})) return;
    frmNoticeDevices notice(code, parent);
    notice.exec();
}

bool OpenHelpFile(QWidget* owner) {
    const std::string help = joinPath(programFolder(), "Vesper.chm");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(help, ec)) return false;
    return OpenOrTell(owner, OpenTarget::TextFile, help, kAppTitle);
}

std::string deviceSettingsFailedMessage(const std::string& video, const std::string& audio) {
    return std::string("Current device settings failed to initialize. :(") + kCrLf + kCrLf +
           "Current Video Source Setting: " + video + kCrLf + "Current Audio Source Setting: " + audio + kCrLf + kCrLf +
           "Possible reasons associated with the current selected device(s):" + kCrLf + kCrLf +
           "1. Driver is not WDM driver, which is required." + kCrLf +
           "2. Driver is WDM, but not compatible - see Install/Setup Notes from the site." + kCrLf +
           "3. Video device does not have a TV Tuner. Webcams are currently not supported." + kCrLf +
           "4. TV Tuner device is being used by another application." + kCrLf +
           "5. TV Tuner device is not released by the last app that used it. Re-boot may fix this problem." + kCrLf +
           kCrLf + "If the current video/audio settings are not the correct ones," + kCrLf +
           "try using another if you have multiple devices. Go to Tuner" + kCrLf +
           "Settings tab to change the settings, then exit and re-start this app.";
}

void ShowDeviceSettingsFailed(QWidget* parent, const std::string& video, const std::string& audio) {
    MsgBox(parent, deviceSettingsFailedMessage(video, audio), vbCritical, kAppTitle);
}

std::string loadingVersionText() { return std::string("Version ") + kVersionText; }

frmLoading::frmLoading(QWidget* parent) : QWidget(parent, Qt::Dialog) {
    setObjectName("frmLoading");
    setWindowTitle(kLoadingCaption);
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel("Vesper Home", this);
    title->setObjectName("lblTitle");
    QFont f = title->font();
    f.setPointSize(f.pointSize() + 6);
    f.setBold(true);
    title->setFont(f);
    layout->addWidget(title, 0, Qt::AlignCenter);
    auto* version = new QLabel(QString::fromStdString(loadingVersionText()), this);
    version->setObjectName("lblVersion");
    layout->addWidget(version, 0, Qt::AlignCenter);
    setMinimumSize(320, 120);
}

frmLoading* ShowLoading(QWidget* parent) {
    if (scriptedModal({"frmLoading", kLoadingCaption, loadingVersionText(), "OK"})) return nullptr;
    auto* w = new frmLoading(parent);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    return w;
}

std::string aboutText() {
    return std::string("Vesper Home - Digital Video Recorder") + kCrLf + "v" + kVersionText + kCrLf + kCrLf +
           "A personal digital video recorder for Linux." + kCrLf + "Support: " + kSupportEmail + kCrLf + kProductSite;
}

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName("frmAbout");
    setWindowTitle(kAboutCaption);
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(displayText(aboutText()), this);
    text->setObjectName("lblAbout");
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(text);
    auto* version = new QLabel(QString("v") + kVersionText, this);
    version->setObjectName("lblVersion");
    version->hide(); // the text above carries it; kept for callers that look it up
    addOkRow(this, layout);
}

void ShowAbout(QWidget* parent) {
    if (scriptedModal({"frmAbout", kAboutCaption, aboutText(), "OK"})) return;
    frmAbout about(parent);
    about.exec();
}

} // namespace vesper
