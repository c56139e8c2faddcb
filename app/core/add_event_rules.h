// The Add and Update Event dialog's rules without a window: its modes and
// initial values, the start / length / end arithmetic on a 12-hour clock, the
// field checks, the quick picks, OK and the settings it remembers. The window
// (frmAddEvent) copies its controls into AddEventFields, runs a rule and shows
// the fields again.
#pragma once

#include "app/core/main_window_ops.h"
#include "app/core/program.h"

#include "platform/dates.h"

#include <optional>
#include <string>
#include <vector>

namespace vesper {

// The texts of the dialog's controls (combo boxes hold the typed text).
struct AddEventFields {
    DateTime when = 0; // mvWhen: the chosen day (midnight)
    std::string startHour = "8", startMinute = ":00";
    bool startPM = true; // optStartPM, else optStartAM
    std::string durationHour = "0", durationMinute = ":30";
    std::string durationUnit = "Minutes"; // lblDurationUnit
    std::string untilHour = "8", untilMinute = ":30";
    bool untilPM = true;
    std::string channel = "2";
    std::string repeat = "once";
    std::string output = "default.wmv";
    bool startEnabled = true; // the start controls (off for Record Now)
    bool okEnabled = true;    // cmdOK
};

// The control lists.
const std::vector<std::string>& startHourItems();      // "1" .. "12"
const std::vector<std::string>& startMinuteItems();    // ":00", ":30"
const std::vector<std::string>& durationHourItems();   // "0" .. "4"
const std::vector<std::string>& durationMinuteItems(); // ":00", ":15", ":30", ":45"
const std::vector<std::string>& repeatItems();         // "once", "weekdays", "weekly"

// Tool tips, as shown.
inline constexpr const char* kTipDurationMinute = " You can enter or type-in total minutes greater than 59";
inline constexpr const char* kTipStart = "QuickPick! Now -> whole :30 interval";
inline constexpr const char* kTipDuration = "QuickPick! :30 -> 1:00 -> 2:00";
inline constexpr const char* kTipUntil = "QuickPick! Next whole :30 interval";
inline constexpr const char* kTipFilename = "QuickPick! Filename based on current  Date/Time";

// The time after `t` at the next whole half hour (20:00 gives 20:30, 20:10
// gives 20:30, 20:30 gives 21:00), seconds dropped.
DateTime nextWholeHalfHour(DateTime t);

class AddEventRules {
public:
    enum class Field { None, StartHour, StartMinute, DurationHour, DurationMinute, UntilHour, UntilMinute, Channel };
    enum class OkResult { Done, Expired, Refused };

    explicit AddEventRules(Program& program);

    // Opening: lists, caption and the fields in program.modeWord's mode.
    void Load();

    const std::string& mode() const { return m_mode; }
    std::string caption() const;     // "Add Event", "Add Event [Record Now!]", ...
    std::string okCaption() const;   // "&Add" or "&Update"
    std::string whenCaption() const; // " When: [ Saturday,  Apr 20 ]"
    // The channel list, lowest to highest, and the repeat list (with the
    // edited event's word when the list does not offer it).
    std::vector<std::string> channelItems() const;
    std::vector<std::string> repeatList() const;
    // The first day the calendar offers.
    DateTime firstDay() const;
    // The message that the event opened on a channel the tuner cannot take
    // (a listing's channel 200); nullopt when its channel is in range.
    std::optional<std::string> channelNotice() const;

    AddEventFields fields;
    // The event's margins and keep mark, given to it on OK.
    EventTiming timing;
    // The event the dialog edits (update mode), else null.
    const EventRecord* editedEvent() const;

    // The start and end as typed, and read back as date-times (nullopt when
    // the boxes do not make a time).
    std::string StartText() const;
    std::string UntilText() const;
    std::optional<DateTime> startTime() const;
    std::optional<DateTime> untilTime() const;
    // The length in minutes; an empty hours box is first set to "1".
    int DurationMinutes();

    void UpdateUntil();
    void UpdateDuration();
    void SetDuration(int minutes);
    void SetStart(DateTime dt);
    void SetUntil(DateTime dt);

    // Field checks on leaving a field: false refuses the entry (the window
    // keeps the focus there); an accepted entry is written back normalised
    // and the dependent fields are recomputed.
    bool checkField(Field f);
    // The text a field check would write back; nullopt when it refuses it.
    std::optional<std::string> normalized(Field f, const std::string& text) const;

    // Clicks on list items and AM/PM buttons.
    void startChosen();                 // UpdateUntil
    void durationChosen(bool hourItem); // unit label, UpdateUntil, cmdOK enabled
    void untilChosen();                 // UpdateDuration

    // The quick picks, each with its own counter.
    void quickPickStart();
    void quickPickDuration();
    void quickPickUntil();
    void quickPickFilename();

    // OK: refuses an expired event with its message (owner: the message's
    // parent) and a refused field (`refusedField` says which); otherwise
    // cleans the file name, calls the mode's operation, saves the schedule.
    OkResult Ok(MainWindowOps& window);
    Field refusedField = Field::None;

    // Closing (OK or Cancel): writes the mode's saved settings.
    void SaveSettings();

    // "name: value" lines of the fields, for the dialog seam.
    std::string contents() const;

    // Events enabled: off while the dialog fills its own controls.
    bool eventsEnabled = true;

private:
    void loadSaved();
    void loadRecord(bool recordNow);
    std::optional<DateTime> readTime(const std::string& hour, const std::string& minute, bool pm) const;
    std::string* text(Field f);

    Program& m_program;
    std::string m_mode;
    std::string m_openingFileName;
    std::string m_extraRepeat;
    bool m_hasExtraRepeat = false;
    DateTime m_firstDayOfRecord = 0;
    int m_pickStart = 0, m_pickDuration = 0, m_pickUntil = 0, m_pickFilename = 0;
};

} // namespace vesper
