// The seam's real message boxes, on Qt Widgets: the only part of the message
// seam that needs them. A program with windows installs it at its start; its
// forms pass the widget a box belongs to, so that the box is centred over it.
#pragma once

#include "platform/ui/ui_seam.h"

#include <QPointer>
#include <QWidget>

namespace vesper {

// Real Qt message boxes, centred over their owner (the widget a form passed,
// else the open modal window, else the program's main window, else the
// active window); modal windows are shown by their callers.
class QtUiSeam : public UiSeam {
public:
    MsgBoxResult message(const MessageRequest& request) override;
    void notice(const MessageRequest& request) override;
    std::optional<std::string> modal(const ModalRequest&) override { return std::nullopt; }
    bool closeAll() override;
};

// Makes the Qt boxes the program's own seam (see setProgramUiSeam).
void installQtUiSeam();
// The window that boxes without an owner of their own are centred over.
void setMessageBoxOwner(QWidget* mainWindow);

// While it lives, the boxes shown go over `owner` (may be null); a box shown
// later, after an opening that failed late, goes over the main window.
class MessageBoxOwnerScope {
public:
    explicit MessageBoxOwnerScope(QWidget* owner);
    ~MessageBoxOwnerScope();
    MessageBoxOwnerScope(const MessageBoxOwnerScope&) = delete;
    MessageBoxOwnerScope& operator=(const MessageBoxOwnerScope&) = delete;

private:
    QPointer<QWidget> m_previous;
};

// The classic message box over `owner` (may be null).
MsgBoxResult MsgBox(QWidget* owner, const std::string& prompt, int style = vbOKOnly, const std::string& title = {});
void MsgBoxNoWait(QWidget* owner, const std::string& prompt, int style = vbOKOnly, const std::string& title = {});
// OpenOrTell with its message over `owner`.
bool OpenOrTell(QWidget* owner, OpenTarget what, const std::string& target, const std::string& title);

} // namespace vesper
