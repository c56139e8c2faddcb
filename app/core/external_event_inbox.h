// The main window's side of the hand-over: the hidden box's change handler
// parks a received document, and Timer2 processes it. Kept apart from the
// window so it can be tested without one.
//
// frmVesper wires it like this:
//   - txtHiddenTextBox80916654 (text kHandOverMarker at rest), on textChanged:
//       if (m_inbox.onHiddenTextChanged(text)) box->setText(kHandOverMarker);
//   - HandoverServer::documentReceived: box->setText(document)  (the same path
//     a set-text message takes)
//   - Timer2 (250 ms), on every tick:
//       ProcessExternalEvent(program, m_inbox, addEventDialogOpen, this,
//                            {showNormalOnScheduleTab, showAddEventDialog});
#pragma once

#include "app/core/program.h"

#include <functional>
#include <optional>
#include <string>

namespace vesper {

class ExternalEventInbox {
public:
    // The change handler: any text other than the marker becomes the pending
    // document (a newer one replaces an older one). True when the caller must
    // set the box back to the marker.
    bool onHiddenTextChanged(const std::string& text);

    bool pending() const { return m_bExternalPending; }
    // The pending document, clearing the flag; nothing when none waits.
    std::optional<std::string> takePending();

    // True while a document is being processed (its dialog or message box is
    // open): Timer2 ticks that run inside it leave the next document waiting.
    bool busy() const { return m_busy; }
    void setBusy(bool busy) { m_busy = busy; }

private:
    std::string m_sPendingDocument;
    bool m_bExternalPending = false;
    bool m_busy = false;
};

// What Timer2's processing asks of the main window.
struct ExternalAddWindow {
    // Normal window state (restored when minimised), schedule tab (SSTab1 tab 1).
    std::function<void()> showNormalOnScheduleTab;
    // The Add Event dialog, modal, owned by the main window, in the mode word's mode.
    std::function<void()> showAddEventDialog;
};

// One Timer2 tick. When a document waits and no Add Event dialog is open:
// shows the window, sets the mode word to "AddEventExternal", reads the
// document with SetXML and, when it could be read, opens the dialog. A
// document arriving meanwhile waits for a later tick. True when a document
// was taken.
bool ProcessExternalEvent(Program& program, ExternalEventInbox& inbox, bool addEventDialogOpen,
                          const ExternalAddWindow& window);

} // namespace vesper
