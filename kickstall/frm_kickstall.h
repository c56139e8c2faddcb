// The bootstrap's window: shown only when setup cannot continue, with the
// reason. Every showing goes through a window seam first, so that tests see
// what would be shown and answer it.
#pragma once

#include <QWidget>

#include <deque>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;

namespace kickstall {

// A window about to be shown: its form name, caption and texts.
struct WindowRequest {
    std::string form;
    std::string caption;
    std::string contents; // one "control: text" per line
};

class WindowSeam {
public:
    virtual ~WindowSeam() = default;
    // nullopt: show the window for real. Otherwise it is not shown and the
    // text is the button its user pressed.
    virtual std::optional<std::string> window(const WindowRequest& request) = 0;
};

// For tests in the same process: keeps every request, answers "OK".
class RecordingWindowSeam : public WindowSeam {
public:
    std::optional<std::string> window(const WindowRequest& request) override;
    std::vector<WindowRequest> requests;
};

// For tests of the real binary: each request becomes one JSON line
// {"kind":"modal","form","caption","contents","answer"} of `logPath`; the
// answers come in order from a comma-separated list ("OK" when it runs out).
class ScriptedWindowSeam : public WindowSeam {
public:
    ScriptedWindowSeam(std::string logPath, const std::string& answers);
    std::optional<std::string> window(const WindowRequest& request) override;

private:
    std::string m_logPath;
    std::deque<std::string> m_answers;
};

// nullptr: windows are shown for real.
WindowSeam* windowSeam();
void setWindowSeam(WindowSeam* seam);
// A ScriptedWindowSeam when VESPER_TEST_UI_LOG names a file (answers from
// VESPER_TEST_UI_ANSWERS).
void installWindowSeamFromEnvironment();

} // namespace kickstall

class frmKickstall : public QWidget {
    Q_OBJECT
public:
    explicit frmKickstall(QWidget* parent = nullptr);

    // The error display: the critical image and both labels become visible,
    // lblError shows `errorText`.
    void ShowErrorDisplay(const std::string& errorText);
    // Shows the window, asking the seam first; false when the seam answered
    // (the window was not shown).
    bool ShowThroughSeam();
    kickstall::WindowRequest request() const;

    QLabel* imgBanner;
    QLabel* imgCritical;
    QLabel* lblCantContinue;
    QLabel* lblError;
    QPushButton* cmdOK;
};
