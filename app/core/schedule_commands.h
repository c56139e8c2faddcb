// The main window's schedule operations and the schedule grid's commands, as
// a plain class the window drives: adding, updating, cancelling and deleting
// events through the scheduler object, with their messages and
// confirmations.
#pragma once

#include "app/core/program.h"
#include "app/core/schedule_grid.h"

#include "platform/automation.h"
#include "platform/dates.h"

#include <cstdint>
#include <functional>
#include <string>

namespace vesper {

class ScheduleCommands {
public:
    // scheduler: the main window's m_oScheduler (may be null); setNextEvent:
    // the window's SetNextEvent.
    ScheduleCommands(Program& program, std::function<ObjectPtr()> scheduler, std::function<void()> setNextEvent);

    void AddEvent(DateTime dt, int16_t channel, int16_t duration, bool active, const std::string& every,
                  const std::string& filename);
    void AddEventExternal(DateTime dt, int16_t channel, int16_t duration, bool active, const std::string& every,
                          const std::string& filename);
    void UpdateEvent(DateTime dtReturn, DateTime dt, int16_t channel, int16_t duration, bool active,
                     const std::string& every, const std::string& filename);
    void UpdateEvent_temp(DateTime dtKey, DateTime dt, int16_t channel, int16_t duration, bool active,
                          const std::string& every, const std::string& filename);
    void SaveScheduleToDisk();
    // Adds the event as AddEventExternal does, but without a message: a
    // conflict returns the event it conflicts with in `other`; Failed when
    // there is no scheduler or it raised an error (logged).
    enum class QuietAdd { Added, Conflict, Failed };
    QuietAdd addEventQuietly(const EventRecord& e, EventRecord& other);
    ObjectPtr SchedulerObject() const { return m_scheduler ? m_scheduler() : nullptr; }

    // Grid commands; `row` is the grid's selected row (1-based event index).
    void CancelSelected(int row, bool scheduleTabShown); // confirmation, ICancelEvent, setNextEvent
    void DeleteSelected(int row, bool scheduleTabShown); // confirmation, IRemoveEvent, setNextEvent
    // Fills program.currentEvent and program.modeWord for Record Now ("AddEventRecordNow").
    void PrepareRecordNow();
    // Edit: reads the selected row; false when the schedule is empty or the
    // row no longer holds `shown` (the grid's texts of that row): the caller
    // refills the grid and opens no dialog.
    bool PrepareEdit(int row, const GridRow& shown);

    // Add and update for callers that show no message (remote access): the
    // same scheduler calls as the window's, the conflict returned instead of
    // shown. The caller sets the next event (its refresh pauses, so a caller
    // that answers first runs it afterwards). Scheduler errors reach the
    // caller.
    struct Change {
        bool done = false;
        EventRecord conflict; // start, duration, file name and repeat word
        std::string conflictText;
    };
    Change tryAddEvent(const EventRecord& e);
    Change tryUpdateEvent(DateTime key, const EventRecord& e);
    // Cancel (one occurrence) or delete the event starting at `start`, without
    // a confirmation; false when no event starts then.
    bool cancelOrDeleteAt(bool cancel, DateTime start);

    // The texts of the messages, as shown.
    static std::string conflictText(bool adding, const EventRecord& event, DateTime otherStart, int16_t otherDuration,
                                    const std::string& otherFilename, const std::string& otherRepeat);
    static std::string confirmText(bool cancel, const EventRecord& event);

private:
    Change change(const char* member, DateTime key, const EventRecord& e);
    void addEvent(const char* routine, const char* title, const EventRecord& e);
    void cancelOrDelete(bool cancel, int row, bool scheduleTabShown);

    Program& m_program;
    std::function<ObjectPtr()> m_scheduler;
    std::function<void()> m_setNextEvent;
};

} // namespace vesper
