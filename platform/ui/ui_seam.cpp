#include "platform/ui/ui_seam.h"

#include <QEventLoop>

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <strings.h>

namespace vesper {

namespace {

StderrUiSeam g_stderrSeam;
UiSeam* g_programSeam = &g_stderrSeam;
UiSeam* g_seam = &g_stderrSeam;
std::unique_ptr<ScriptedUiSeam> g_scripted;

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

MsgBoxResult MessageRequest::cancelButton() const {
    const auto b = buttons();
    for (MsgBoxResult r : b)
        if (r == vbCancel || r == vbNo) return r;
    return b.back();
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

MsgBoxResult StderrUiSeam::message(const MessageRequest& request) {
    std::string text = request.prompt;
    for (auto& ch : text)
        if (ch == '\r') ch = ' ';
    std::fprintf(stderr, "%s%s%s\n", request.title.c_str(), request.title.empty() ? "" : ": ", text.c_str());
    return request.defaultButton();
}

std::optional<std::string> StderrUiSeam::modal(const ModalRequest& request) {
    std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.contents.c_str());
    return request.defaultAnswer;
}

MsgBoxResult RecordingUiSeam::message(const MessageRequest& request) {
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

MsgBoxResult ScriptedUiSeam::message(const MessageRequest& request) {
    MsgBoxResult answer = request.defaultButton();
    const std::string word = nextAnswer();
    const bool held = strcasecmp(word.c_str(), "Hold") == 0;
    if (held) answer = request.cancelButton();
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

void setUiSeam(UiSeam* seam) { g_seam = seam ? seam : g_programSeam; }

void setProgramUiSeam(UiSeam* seam) {
    const bool current = g_seam == g_programSeam;
    g_programSeam = seam ? seam : &g_stderrSeam;
    // The scripted seam of a test run stays in front of it.
    if (current && !g_scripted) g_seam = g_programSeam;
}

bool installUiSeamFromEnvironment() {
    const char* log = std::getenv("VESPER_TEST_UI_LOG");
    if (!log || !*log) return false;
    const char* answers = std::getenv("VESPER_TEST_UI_ANSWERS");
    g_scripted = std::make_unique<ScriptedUiSeam>(log, answers ? answers : "");
    g_seam = g_scripted.get();
    return true;
}

bool uiSeamScripted() { return g_scripted != nullptr && g_seam == g_scripted.get(); }

MsgBoxResult MsgBox(const std::string& prompt, int style, const std::string& title) {
    return uiSeam().message(MessageRequest{prompt, title, style});
}

void MsgBoxNoWait(const std::string& prompt, int style, const std::string& title) {
    uiSeam().notice(MessageRequest{prompt, title, style});
}

std::optional<std::string> scriptedModal(const ModalRequest& request) { return uiSeam().modal(request); }

} // namespace vesper
