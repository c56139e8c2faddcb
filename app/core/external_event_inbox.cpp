#include "app/core/external_event_inbox.h"

#include "app/core/xml_program_event.h"

#include <utility>

namespace vesper {

bool ExternalEventInbox::onHiddenTextChanged(const std::string& text) {
    if (text == kHandOverMarker) return false;
    m_sPendingDocument = text;
    m_bExternalPending = true;
    return true;
}

std::optional<std::string> ExternalEventInbox::takePending() {
    if (!m_bExternalPending) return std::nullopt;
    m_bExternalPending = false;
    return std::exchange(m_sPendingDocument, std::string());
}

bool ProcessExternalEvent(Program& program, ExternalEventInbox& inbox, bool addEventDialogOpen,
                          const ExternalAddWindow& window) {
    if (!inbox.pending() || inbox.busy() || addEventDialogOpen) return false;
    inbox.setBusy(true);
    if (window.showNormalOnScheduleTab) window.showNormalOnScheduleTab();
    program.modeWord = mode::AddEventExternal;
    const std::string document = inbox.takePending().value_or(std::string());
    if (SetXML(program, document) && window.showAddEventDialog) window.showAddEventDialog();
    inbox.setBusy(false);
    return true;
}

} // namespace vesper
