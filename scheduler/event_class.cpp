#include "scheduler/event_class.h"

namespace slotbook {

const std::string& RepeatClass::word() const {
    static const std::string none;
    return every ? *every : none;
}

void EventClass::SetTo(const EventClass& oEvent) {
    dt = oEvent.dt;
    channel = oEvent.channel;
    duration = oEvent.duration;
    filename = oEvent.filename;
    bActive = oEvent.bActive;
    oRepeat.every = oEvent.oRepeat.every;
}

} // namespace slotbook
