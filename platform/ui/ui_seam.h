// Every message box and modal window of our programs (Vesper, Guidelink,
// Kickstall) goes through one seam, so that tests can see what would be shown
// and answer it. The programs show real Qt boxes (qt_ui_seam.h, the only part
// that needs Qt Widgets); with VESPER_TEST_UI_LOG set (tests of the real
// binaries) each box is appended to that file as one JSON line and answered
// from VESPER_TEST_UI_ANSWERS instead. Without Widgets and without a seam of
// its own a program's boxes go to standard error, answered by their default.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

class QEventLoop;

namespace vesper {

// The classic message box style and result values, so call sites read like
// the texts they show.
enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbAbortRetryIgnore = 2,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbRetryCancel = 5,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
    vbDefaultButton1 = 0,
    vbDefaultButton2 = 256,
    vbDefaultButton3 = 512,
};

enum MsgBoxResult : int { vbOK = 1, vbCancel = 2, vbAbort = 3, vbRetry = 4, vbIgnore = 5, vbYes = 6, vbNo = 7 };

struct MessageRequest {
    std::string prompt;
    std::string title;
    int style = vbOKOnly;

    // "OK", "OKCancel", "YesNo", ...; "critical", "question", ... or "none".
    std::string buttonsName() const;
    std::string iconName() const;
    // The buttons in order, and the one the default style selects.
    std::vector<MsgBoxResult> buttons() const;
    MsgBoxResult defaultButton() const;
    // The answer of a box closed without a button: the cancelling button,
    // else the last.
    MsgBoxResult cancelButton() const;
};

// A modal window about to be shown: a dialog or a notice, by its form name,
// with its caption and what it shows (texts, field values).
struct ModalRequest {
    std::string form;
    std::string caption;
    std::string contents;
    // The answer when nobody scripts one ("OK", "Cancel", ...).
    std::string defaultAnswer = "OK";
};

class UiSeam {
public:
    virtual ~UiSeam() = default;
    virtual MsgBoxResult message(const MessageRequest& request) = 0;
    // A message that nobody needs to answer before the program goes on: it is
    // shown and the call returns at once, so an unattended recorder keeps
    // ticking while it stays open. A second one with the same text is not
    // shown while the first is open.
    virtual void notice(const MessageRequest& request) { message(request); }
    // nullopt: show the window for real. Otherwise the window is not shown and
    // the text is the button its user pressed.
    virtual std::optional<std::string> modal(const ModalRequest& request) = 0;
    // Closes every open message box and modal window as if its user had
    // cancelled it (a termination request): the calls that show them return.
    // True when one was open.
    virtual bool closeAll() { return false; }
};

// Writes each box to standard error and answers its default: the seam of a
// program without windows (and of the tests of the core) until another is set.
class StderrUiSeam : public UiSeam {
public:
    MsgBoxResult message(const MessageRequest& request) override;
    std::optional<std::string> modal(const ModalRequest& request) override;
};

// For tests in the same process: keeps every request and answers from the
// queues (else the default button; modal windows get their default answer,
// unless `showModals` lets them show for real).
class RecordingUiSeam : public UiSeam {
public:
    MsgBoxResult message(const MessageRequest& request) override;
    std::optional<std::string> modal(const ModalRequest& request) override;

    std::vector<MessageRequest> messages;
    std::vector<ModalRequest> modals;
    std::deque<MsgBoxResult> answers;
    std::deque<std::string> modalAnswers;
    bool showModals = false;
};

// For tests of the real binary: each request is appended to `logPath` as one
// JSON line {"kind":"message"|"modal", "title"/"form", "text"/"contents",
// "icon", "buttons", "default", "answer"}; answers come in order from a
// comma-separated list of words ("Yes", "No", "OK", "Cancel", ...); an empty
// word or the end of the list takes the default. The word "Hold" leaves the
// box open (the program waits in it, as for a user who is away) until
// closeAll(), which answers it as a cancelled box.
class ScriptedUiSeam : public UiSeam {
public:
    ScriptedUiSeam(std::string logPath, const std::string& answers);
    MsgBoxResult message(const MessageRequest& request) override;
    std::optional<std::string> modal(const ModalRequest& request) override;
    bool closeAll() override;

private:
    std::string nextAnswer();
    void append(const std::string& jsonLine);
    // Waits until closeAll(); false when the answer was not "Hold".
    bool hold(const std::string& answer);

    std::string m_logPath;
    std::deque<std::string> m_answers;
    std::vector<QEventLoop*> m_loops; // the boxes held open, innermost last
};

UiSeam& uiSeam();
// Replaces the seam (nullptr restores the program's own); the caller keeps it
// alive.
void setUiSeam(UiSeam* seam);
// The program's own seam, which setUiSeam(nullptr) restores: the Qt boxes in
// programs with windows (installQtUiSeam), standard error without.
void setProgramUiSeam(UiSeam* seam);
// Installs a ScriptedUiSeam when VESPER_TEST_UI_LOG names a file; true then.
bool installUiSeamFromEnvironment();
// Whether the boxes are scripted (a test of the real binary runs).
bool uiSeamScripted();

// The classic message box: prompt (CR LF or LF line breaks), style, title.
MsgBoxResult MsgBox(const std::string& prompt, int style = vbOKOnly, const std::string& title = {});
// The same box, shown without waiting for its answer (see UiSeam::notice).
void MsgBoxNoWait(const std::string& prompt, int style = vbOKOnly, const std::string& title = {});

// Asks the seam about a modal window; nullopt means show it for real.
std::optional<std::string> scriptedModal(const ModalRequest& request);

// What an opening through the desktop opens, to name it in a message.
enum class OpenTarget { WebPage, TextFile, Folder, Mail, Program };

// Opens `target` through the shell. When that fails, at once or when the
// desktop's opener gives up a moment later, a message (with `title`) names
// the address, file or folder, so that the user can open it by hand. False
// when it failed at once.
bool OpenOrTell(OpenTarget what, const std::string& target, const std::string& title);
// The message of a failed opening, with the reason when one is known.
std::string openFailedMessage(OpenTarget what, const std::string& target, const std::string& reason);

std::string resultName(MsgBoxResult r);
std::optional<MsgBoxResult> resultFromName(const std::string& name);

} // namespace vesper
