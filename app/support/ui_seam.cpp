#include "app/support/ui_seam.h"

#include "app/support/program.h"

#include "platform/shell.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QString>

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <strings.h>

namespace vesper {

namespace {

QtUiSeam g_qtSeam;
UiSeam* g_seam = &g_qtSeam;
std::unique_ptr<ScriptedUiSeam> g_scripted;

QMessageBox::StandardButton toQt(MsgBoxResult r) {
    switch (r) {
    case vbOK: return QMessageBox::Ok;
    case vbCancel: return QMessageBox::Cancel;
    case vbAbort: return QMessageBox::Abort;
    case vbRetry: return QMessageBox::Retry;
    case vbIgnore: return QMessageBox::Ignore;
    case vbYes: return QMessageBox::Yes;
    case vbNo: return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

// Message texts use CR LF; a label wants plain line feeds.
QString displayText(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

// A box set up as the request says, not shown yet.
void setUpBox(QMessageBox& box, const MessageRequest& request);

// The answer of a box closed without a button: the cancelling button, else
// the last.
MsgBoxResult cancelledAnswer(const MessageRequest& request) {
    const auto b = request.buttons();
    for (MsgBoxResult r : b)
        if (r == vbCancel || r == vbNo) return r;
    return b.back();
}

} // namespace

std::string MessageRequest::buttonsName() const {
    switch (style & 7) {
    case vbOKCancel: return "OKCancel";
    case vbAbortRetryIgnore: return "AbortRetryIgnore";
    case vbYesNoCancel: return "YesNoCancel";
    case vbYesNo: return "YesNo";
    case vbRetryCancel: return "RetryCancel";
    default: return "OK";
    }
}

std::string MessageRequest::iconName() const {
    switch (style & 0x70) {
    case vbCritical: return "critical";
    case vbQuestion: return "question";
    case vbExclamation: return "exclamation";
    case vbInformation: return "information";
    default: return "none";
    }
}

std::vector<MsgBoxResult> MessageRequest::buttons() const {
    switch (style & 7) {
    case vbOKCancel: return {vbOK, vbCancel};
    case vbAbortRetryIgnore: return {vbAbort, vbRetry, vbIgnore};
    case vbYesNoCancel: return {vbYes, vbNo, vbCancel};
    case vbYesNo: return {vbYes, vbNo};
    case vbRetryCancel: return {vbRetry, vbCancel};
    default: return {vbOK};
    }
}

MsgBoxResult MessageRequest::defaultButton() const {
    const auto b = buttons();
    const size_t i = (style & vbDefaultButton3) ? 2 : (style & vbDefaultButton2) ? 1 : 0;
    return i < b.size() ? b[i] : b.front();
}

std::string resultName(MsgBoxResult r) {
    switch (r) {
    case vbOK: return "OK";
    case vbCancel: return "Cancel";
    case vbAbort: return "Abort";
    case vbRetry: return "Retry";
    case vbIgnore: return "Ignore";
    case vbYes: return "Yes";
    case vbNo: return "No";
    }
    return "OK";
}

std::optional<MsgBoxResult> resultFromName(const std::string& name) {
    for (MsgBoxResult r : {vbOK, vbCancel, vbAbort, vbRetry, vbIgnore, vbYes, vbNo})
        if (strcasecmp(resultName(r).c_str(), name.c_str()) == 0) return r;
    return std::nullopt;
}

namespace {

void setUpBox(QMessageBox& box, const MessageRequest& request) {
    box.setWindowTitle(QString::fromStdString(request.title.empty() ? std::string("Vesper") : request.title));
    box.setText(displayText(request.prompt));
    switch (request.style & 0x70) {
    case vbCritical: box.setIcon(QMessageBox::Critical); break;
    case vbQuestion: box.setIcon(QMessageBox::Question); break;
    case vbExclamation: box.setIcon(QMessageBox::Warning); break;
    case vbInformation: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    QMessageBox::StandardButtons buttons;
    for (MsgBoxResult r : request.buttons())
        buttons |= toQt(r);
    box.setStandardButtons(buttons);
    box.setDefaultButton(toQt(request.defaultButton()));
}

} // namespace

MsgBoxResult QtUiSeam::message(QWidget* parent, const MessageRequest& request) {
    QMessageBox box(parent ? parent : QApplication::activeWindow());
    setUpBox(box, request);
    const int pressed = box.exec();
    for (MsgBoxResult r : request.buttons())
        if (pressed == toQt(r)) return r;
    // Closed with Escape or the close box.
    return cancelledAnswer(request);
}

void QtUiSeam::notice(QWidget* parent, const MessageRequest& request) {
    const QString text = displayText(request.prompt);
    // One box of a kind at a time: a guard that fires on every tick must not
    // stack up boxes while nobody is there to answer them.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* open = qobject_cast<QMessageBox*>(w); open && open->isVisible() && open->text() == text) return;
    auto* box = new QMessageBox(parent ? parent : QApplication::activeWindow());
    box->setAttribute(Qt::WA_DeleteOnClose);
    setUpBox(*box, request);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
}

bool QtUiSeam::closeAll() {
    bool closed = false;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(w);
        if (!dialog || !dialog->isVisible() || dialog->windowModality() == Qt::NonModal) continue;
        // reject() ends the dialog's own wait; a box shown without waiting
        // just goes.
        dialog->reject();
        closed = true;
    }
    return closed;
}

MsgBoxResult RecordingUiSeam::message(QWidget*, const MessageRequest& request) {
    messages.push_back(request);
    if (!answers.empty()) {
        const MsgBoxResult r = answers.front();
        answers.pop_front();
        return r;
    }
    return request.defaultButton();
}

std::optional<std::string> RecordingUiSeam::modal(const ModalRequest& request) {
    modals.push_back(request);
    if (!modalAnswers.empty()) {
        std::string a = modalAnswers.front();
        modalAnswers.pop_front();
        return a;
    }
    if (showModals) return std::nullopt;
    return request.defaultAnswer;
}

ScriptedUiSeam::ScriptedUiSeam(std::string logPath, const std::string& answers) : m_logPath(std::move(logPath)) {
    std::string word;
    for (char c : answers) {
        if (c == ',') {
            m_answers.push_back(word);
            word.clear();
        } else if (c != ' ') {
            word += c;
        }
    }
    if (!word.empty() || (!answers.empty() && answers.back() == ',')) m_answers.push_back(word);
}

std::string ScriptedUiSeam::nextAnswer() {
    if (m_answers.empty()) return {};
    std::string a = m_answers.front();
    m_answers.pop_front();
    return a;
}

void ScriptedUiSeam::append(const std::string& jsonLine) {
    // One write per record, appended, so a reader never sees half a line.
    const int fd = ::open(m_logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const std::string line = jsonLine + "\n";
    ssize_t done = 0;
    while (done < ssize_t(line.size())) {
        const ssize_t n = ::write(fd, line.data() + done, line.size() - size_t(done));
        if (n <= 0) break;
        done += n;
    }
    ::close(fd);
}

bool ScriptedUiSeam::hold(const std::string& answer) {
    if (strcasecmp(answer.c_str(), "Hold") != 0) return false;
    QEventLoop loop;
    m_loops.push_back(&loop);
    loop.exec();
    m_loops.erase(std::find(m_loops.begin(), m_loops.end(), &loop));
    return true;
}

bool ScriptedUiSeam::closeAll() {
    for (QEventLoop* loop : m_loops)
        loop->quit();
    return !m_loops.empty();
}

MsgBoxResult ScriptedUiSeam::message(QWidget*, const MessageRequest& request) {
    MsgBoxResult answer = request.defaultButton();
    const std::string word = nextAnswer();
    const bool held = strcasecmp(word.c_str(), "Hold") == 0;
    if (held) answer = cancelledAnswer(request);
    if (auto r = resultFromName(word)) {
        for (MsgBoxResult b : request.buttons())
            if (b == *r) answer = *r;
    }
    nlohmann::json j;
    j["kind"] = "message";
    j["title"] = request.title;
    j["text"] = request.prompt;
    j["icon"] = request.iconName();
    j["buttons"] = request.buttonsName();
    j["default"] = resultName(request.defaultButton());
    j["answer"] = held ? "Hold" : resultName(answer);
    append(j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    hold(word);
    return answer;
}

std::optional<std::string> ScriptedUiSeam::modal(const ModalRequest& request) {
    std::string answer = nextAnswer();
    if (answer.empty()) answer = request.defaultAnswer;
    const bool held = strcasecmp(answer.c_str(), "Hold") == 0;
    nlohmann::json j;
    j["kind"] = "modal";
    j["form"] = request.form;
    j["title"] = request.caption;
    j["text"] = request.contents;
    j["default"] = request.defaultAnswer;
    j["answer"] = answer;
    append(j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    if (held) {
        hold(answer);
        return std::string("Cancel");
    }
    return answer;
}

UiSeam& uiSeam() { return *g_seam; }

void setUiSeam(UiSeam* seam) { g_seam = seam ? seam : &g_qtSeam; }

void installUiSeamFromEnvironment() {
    const char* log = std::getenv("VESPER_TEST_UI_LOG");
    if (!log || !*log) return;
    const char* answers = std::getenv("VESPER_TEST_UI_ANSWERS");
    g_scripted = std::make_unique<ScriptedUiSeam>(log, answers ? answers : "");
    g_seam = g_scripted.get();
}

MsgBoxResult MsgBox(QWidget* parent, const std::string& prompt, int style, const std::string& title) {
    return uiSeam().message(parent, MessageRequest{prompt, title, style});
}

void MsgBoxNoWait(QWidget* parent, const std::string& prompt, int style, const std::string& title) {
    uiSeam().notice(parent, MessageRequest{prompt, title, style});
}

std::optional<std::string> scriptedModal(const ModalRequest& request) { return uiSeam().modal(request); }

std::string openFailedMessage(OpenTarget what, const std::string& target, const std::string& reason) {
    const char* heading = "Vesper could not open this web address:";
    const char* hint = "You can open it by hand: copy it into your web browser.";
    switch (what) {
    case OpenTarget::WebPage: break;
    case OpenTarget::TextFile:
        heading = "Vesper could not open this file:";
        hint = "You can open it by hand with a text editor.";
        break;
    case OpenTarget::Folder:
        heading = "Vesper could not open this folder:";
        hint = "You can open it by hand with your file manager.";
        break;
    case OpenTarget::Mail:
        heading = "Vesper could not open your mail program with this message:";
        hint = "You can write the message by hand in your mail program.";
        break;
    case OpenTarget::Program:
        heading = "Vesper could not start this program:";
        hint = "Check that it is installed, or start it by hand.";
        break;
    }
    std::string text = std::string(heading) + "\r\n\r\n" + target + "\r\n\r\n";
    if (!reason.empty()) text += reason + "\r\n\r\n";
    return text + hint;
}

bool OpenOrTell(QWidget* parent, OpenTarget what, const std::string& target) {
    // The window that asked may be gone when the opener gives up.
    QPointer<QWidget> owner(parent);
    auto tell = [owner, what, target](const std::string& reason) {
        MsgBox(owner.data(), openFailedMessage(what, target, reason), vbExclamation, kAppTitle);
    };
    bool opened = false;
    switch (what) {
    case OpenTarget::WebPage: opened = shell().openUrl(target, tell); break;
    case OpenTarget::TextFile: opened = shell().openTextFile(target, tell); break;
    case OpenTarget::Folder: opened = shell().openFolder(target, tell); break;
    case OpenTarget::Mail: opened = shell().openMail(target, tell); break;
    case OpenTarget::Program: opened = shell().startCommand(target); break;
    }
    if (!opened)
        tell(what == OpenTarget::Program
                 ? "The program was not found, or cannot be run."
                 : "No program on this desktop took it: the desktop's opener (xdg-open) is missing or refused it.");
    return opened;
}

} // namespace vesper
