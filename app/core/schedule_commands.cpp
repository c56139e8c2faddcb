#include "app/core/schedule_commands.h"

#include "app/core/status_log.h"
#include "platform/ui/ui_seam.h"

#include "platform/clock.h"

namespace vesper {

namespace {

std::string longWhen(DateTime dt) { return formatDate(dt, "dddd,  mmmm d,  hh:mm:ss AMPM"); }

// The arguments of IAddEvent2 / IUpdateEvent2: the result, the four outputs
// of a conflicting event (the first also carries the key of the event being
// replaced), then the event.
Args conflictArgs(DateTime key, const EventRecord& e) {
    return {Variant(false),         Variant::date(key),  Variant(int16_t(0)), Variant(std::string()),
            Variant(std::string()), Variant::date(e.dt), Variant(e.channel),  Variant(e.duration),
            Variant(e.bActive),     Variant(e.every),    Variant(e.filename)};
}

EventRecord record(DateTime dt, int16_t channel, int16_t duration, bool active, const std::string& every,
                   const std::string& filename) {
    return EventRecord{dt, channel, duration, active, every, filename};
}

bool sameRow(const GridRow& a, const GridRow& b) {
    return a.when == b.when && a.chnl == b.chnl && a.len == b.len && a.repeat == b.repeat && a.filename == b.filename;
}

} // namespace

ScheduleCommands::ScheduleCommands(Program& program, std::function<ObjectPtr()> scheduler,
                                   std::function<void()> setNextEvent)
    : m_program(program), m_scheduler(std::move(scheduler)), m_setNextEvent(std::move(setNextEvent)) {}

std::string ScheduleCommands::conflictText(bool adding, const EventRecord& e, DateTime otherStart,
                                           int16_t otherDuration, const std::string& otherFilename,
                                           const std::string& otherRepeat) {
    const std::string br = "\r\n";
    return std::string(adding ? "The event being added:" : "The event being updated:") + br +
           "Filename: " + e.filename + br + "    When: " + longWhen(e.dt) + br +
           "Duration: " + std::to_string(e.duration) + br + "  Repeat: " + e.every + br + br +
           "CONFLICTS with this existing event:" + br + "Filename: " + otherFilename + br +
           "    When: " + longWhen(otherStart) + br + "Duration: " + std::to_string(otherDuration) + br +
           "  Repeat: " + otherRepeat + br + br + (adding ? "Event was not added!" : "Event was not updated!");
}

std::string ScheduleCommands::confirmText(bool cancel, const EventRecord& e) {
    const std::string br = "\r\n";
    return br +
           (cancel ? "Are you sure you want to CANCEL this event?" : "Are you sure you want to DELETE this event?") +
           br + br + "Filename: " + e.filename + br + "    When: " + longWhen(e.dt) + br +
           " Channel: " + std::to_string(e.channel) + br + "  Repeat: " + e.every;
}

void ScheduleCommands::addEvent(const char* routine, const char* title, const EventRecord& e) {
    ObjectPtr o = SchedulerObject();
    if (!o) return;
    ErrorTrap trap;
    trap.step([&] {
        Args a = conflictArgs(0, e);
        o->call("IAddEvent2", a);
        if (a[0].toBool()) {
            if (m_setNextEvent) m_setNextEvent();
            return;
        }
        MsgBox(conflictText(true, e, a[1].toDate(), a[2].toInt16(), a[3].toString(), a[4].toString()), vbCritical,
               title);
    });
    if (trap.failed()) LogStatus(std::string(routine) + trap.text());
}

void ScheduleCommands::AddEvent(DateTime dt, int16_t channel, int16_t duration, bool active, const std::string& every,
                                const std::string& filename) {
    addEvent("LS0110:ERROR:F00:AddEvent() Exit - ", "Add Event",
             record(dt, channel, duration, active, every, filename));
}

void ScheduleCommands::AddEventExternal(DateTime dt, int16_t channel, int16_t duration, bool active,
                                        const std::string& every, const std::string& filename) {
    addEvent("LS0111:ERROR:F00:AddEventExternal() Exit - ", "Add Event External",
             record(dt, channel, duration, active, every, filename));
}

ScheduleCommands::QuietAdd ScheduleCommands::addEventQuietly(const EventRecord& e, EventRecord& other) {
    ObjectPtr o = SchedulerObject();
    if (!o) return QuietAdd::Failed;
    QuietAdd result = QuietAdd::Failed;
    ErrorTrap trap;
    trap.step([&] {
        Args a = conflictArgs(0, e);
        o->call("IAddEvent2", a);
        if (a[0].toBool()) {
            result = QuietAdd::Added;
            if (m_setNextEvent) m_setNextEvent();
            return;
        }
        other = EventRecord{a[1].toDate(), 0, a[2].toInt16(), true, a[4].toString(), a[3].toString()};
        result = QuietAdd::Conflict;
    });
    if (trap.failed()) LogStatus("LS0162:ERROR:F00:addEventQuietly() Exit - " + trap.text());
    return result;
}

void ScheduleCommands::UpdateEvent(DateTime dtReturn, DateTime dt, int16_t channel, int16_t duration, bool active,
                                   const std::string& every, const std::string& filename) {
    ObjectPtr o = SchedulerObject();
    if (!o) return;
    const EventRecord e = record(dt, channel, duration, active, every, filename);
    ErrorTrap trap;
    trap.step([&] {
        Args a = conflictArgs(dtReturn, e);
        o->call("IUpdateEvent2", a);
        if (a[0].toBool()) {
            if (m_setNextEvent) m_setNextEvent();
            return;
        }
        MsgBox(conflictText(false, e, a[1].toDate(), a[2].toInt16(), a[3].toString(), a[4].toString()), vbCritical,
               "Update Event");
    });
    if (trap.failed()) LogStatus("LS0112:ERROR:F00:UpdateEvent() Exit - " + trap.text());
}

void ScheduleCommands::UpdateEvent_temp(DateTime dtKey, DateTime dt, int16_t channel, int16_t duration, bool active,
                                        const std::string& every, const std::string& filename) {
    ObjectPtr o = SchedulerObject();
    if (!o) return;
    ErrorTrap trap;
    trap.step([&] {
        Args a{Variant::date(dtKey), Variant::date(dt), Variant(channel), Variant(duration),
               Variant(active),      Variant(every),    Variant(filename)};
        o->call("IUpdateEvent", a);
        if (m_setNextEvent) m_setNextEvent();
    });
    if (trap.failed()) LogStatus("LS0113:ERROR:F00:UpdateEvent_temp() Exit - " + trap.text());
}

void ScheduleCommands::SaveScheduleToDisk() {
    ObjectPtr o = SchedulerObject();
    if (!o) return;
    ErrorTrap trap;
    trap.step([&] { o->call("IPersistentSave"); });
    if (!trap.failed()) return;
    LogStatus("LS0114:ERROR:F00:SaveScheduleToDisk() Exit - " + trap.text());
    // The user believes the schedule is kept: say that it is not on disk.
    MsgBox("The schedule could not be saved to disk:\r\n" + trap.description() +
               "\r\n\r\nThe events stay scheduled while Vesper runs.",
           vbCritical, "Save Schedule");
}

ScheduleCommands::Change ScheduleCommands::change(const char* member, DateTime key, const EventRecord& e) {
    Change c;
    ObjectPtr o = SchedulerObject();
    if (!o) throw AutomationError(err::ObjectNotSet, "Vesper", "There is no scheduler.");
    Args a = conflictArgs(key, e);
    o->call(member, a);
    c.done = a[0].toBool();
    if (c.done) return c;
    c.conflict = EventRecord{a[1].toDate(), 0, a[2].toInt16(), true, a[4].toString(), a[3].toString()};
    c.conflictText =
        conflictText(key == 0, e, c.conflict.dt, c.conflict.duration, c.conflict.filename, c.conflict.every);
    return c;
}

ScheduleCommands::Change ScheduleCommands::tryAddEvent(const EventRecord& e) { return change("IAddEvent2", 0, e); }

ScheduleCommands::Change ScheduleCommands::tryUpdateEvent(DateTime key, const EventRecord& e) {
    return change("IUpdateEvent2", key, e);
}

bool ScheduleCommands::cancelOrDeleteAt(bool cancel, DateTime start) {
    ObjectPtr o = SchedulerObject();
    if (!o) throw AutomationError(err::ObjectNotSet, "Vesper", "There is no scheduler.");
    const int16_t n = o->call("ICount").toInt16();
    bool found = false;
    for (int16_t i = 1; i <= n && !found; ++i) {
        EventRecord e;
        found = readEvent(*o, i, e) && toSeconds(e.dt) == toSeconds(start);
    }
    if (!found) return false;
    Args a{Variant::date(start)};
    o->call(cancel ? "ICancelEvent" : "IRemoveEvent", a);
    return true;
}

void ScheduleCommands::cancelOrDelete(bool cancel, int row, bool scheduleTabShown) {
    if (!scheduleTabShown) return;
    ObjectPtr o = SchedulerObject();
    if (!o) return;
    ErrorTrap trap;
    trap.step([&] {
        if (o->call("ICount").toInt16() == 0) return;
        EventRecord e;
        if (row < 1 || row > 32767 || !readEvent(*o, int16_t(row), e)) return;
        if (MsgBox(confirmText(cancel, e), vbYesNo | vbQuestion | vbDefaultButton2, "Confirm!") != vbYes) return;
        Args a{Variant::date(e.dt)};
        o->call(cancel ? "ICancelEvent" : "IRemoveEvent", a);
        if (m_setNextEvent) m_setNextEvent();
    });
    if (trap.failed())
        LogStatus(std::string(cancel ? "LS0115:ERROR:F00:cmdCancelSelectedEvent_Click() Exit - "
                                     : "LS0116:ERROR:F00:cmdDeleteEvent_Click() Exit - ") +
                  trap.text());
}

void ScheduleCommands::CancelSelected(int row, bool scheduleTabShown) { cancelOrDelete(true, row, scheduleTabShown); }

void ScheduleCommands::DeleteSelected(int row, bool scheduleTabShown) { cancelOrDelete(false, row, scheduleTabShown); }

void ScheduleCommands::PrepareRecordNow() {
    const DateTime t = now();
    m_program.modeWord = mode::AddEventRecordNow;
    m_program.currentEvent = EventRecord{t, 2, 30, true, "once", "RecordNow-" + formatDate(t, "YYMMDD-hhnn")};
}

bool ScheduleCommands::PrepareEdit(int row, const GridRow& shown) {
    ObjectPtr o = SchedulerObject();
    if (!o) return false;
    bool ok = false;
    ErrorTrap trap;
    trap.step([&] {
        EventRecord e;
        if (row < 1 || row > 32767 || !readEvent(*o, int16_t(row), e)) return;
        // The schedule may have changed since the grid was filled (a finished
        // event removed by the recording tick): edit only what the user saw.
        if (!sameRow(gridRow(e), shown)) return;
        m_program.modeWord = mode::UpdateEvent;
        m_program.currentEvent = e;
        ok = true;
    });
    if (trap.failed()) LogStatus("LS0117:ERROR:F00:cmdEditEvent_Click() Exit - " + trap.text());
    return ok;
}

} // namespace vesper
