// Openings through the desktop that tell the user what to open by hand when
// they fail. Apart from the seam itself: they need the platform's shell, which
// a program that only shows boxes (the installer bootstrap) does without.
#include "platform/shell.h"
#include "platform/ui/ui_seam.h"

namespace vesper {

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

bool OpenOrTell(OpenTarget what, const std::string& target, const std::string& title) {
    auto tell = [what, target, title](const std::string& reason) {
        MsgBox(openFailedMessage(what, target, reason), vbExclamation, title);
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
