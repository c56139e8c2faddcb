// OpenOrTell over a window: apart from the Qt boxes for the same reason as
// open_or_tell.cpp.
#include "platform/ui/qt_ui_seam.h"

namespace vesper {

bool OpenOrTell(QWidget* owner, OpenTarget what, const std::string& target, const std::string& title) {
    // A failure reported later has no owner scope: the box goes over the
    // main window then.
    MessageBoxOwnerScope scope(owner);
    return OpenOrTell(what, target, title);
}

} // namespace vesper
