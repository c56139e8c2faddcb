// What the main window offers to its dialogs and to the TV window: the event
// operations, the scheduler object and a few display refreshes.
#pragma once

#include "app/core/event_timing.h"
#include "app/core/program.h"

#include "platform/automation.h"
#include "platform/dates.h"

#include <cstdint>
#include <string>

namespace vesper {

class MainWindowOps {
public:
    virtual ~MainWindowOps() = default;

    // The event operations: each calls the scheduler, reports a conflict with
    // its own message and, on success, sets the next event.
    virtual void AddEvent(DateTime dt, int16_t channel, int16_t duration, bool active, const std::string& every,
                          const std::string& filename) = 0;
    virtual void AddEventExternal(DateTime dt, int16_t channel, int16_t duration, bool active, const std::string& every,
                                  const std::string& filename) = 0;
    virtual void UpdateEvent(DateTime dtReturn, DateTime dt, int16_t channel, int16_t duration, bool active,
                             const std::string& every, const std::string& filename) = 0;
    virtual void UpdateEvent_temp(DateTime dtKey, DateTime dt, int16_t channel, int16_t duration, bool active,
                                  const std::string& every, const std::string& filename) = 0;
    virtual void SaveScheduleToDisk() = 0;
    virtual ObjectPtr SchedulerObject() = 0;
    virtual void SetIgnorEvents(bool ignore) = 0;

    virtual void SetEncoderProfileLabelToolTip() = 0;
    virtual void AttachTVScreen() = 0;
    virtual void SetChannelForFormVesper(const std::string& channel) = 0;

    // The margins and keep mark of an event of the schedule (its own, else
    // the defaults); null: those a new event gets.
    virtual EventTiming eventTiming(const EventRecord* event) {
        (void)event;
        return {};
    }
    // Gives the event just added or updated its options, once the schedule
    // holds it; `previous`: the event an update replaced.
    virtual void setEventTiming(const EventRecord& event, const EventTiming& timing, const EventRecord* previous) {
        (void)event, (void)timing, (void)previous;
    }
};

} // namespace vesper
