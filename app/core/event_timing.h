// What each event asks of the recorder's timing beyond its start and length:
// margins recorded before its start and after its end, and whether its
// recordings may be deleted when a later one needs the space. The schedule
// file keeps its format: these live in a small file of their own beside it,
// keyed by what identifies an event across its repeats.
#pragma once

#include "app/core/program.h"

#include "platform/dates.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vesper {

struct EventTiming {
    int startMarginSeconds = 0;
    int endMarginSeconds = 0;
    bool keepUntilSpaceNeeded = false; // its recordings may make room for later ones

    bool operator==(const EventTiming&) const = default;
};

// A margin longer than this is refused (an hour either side).
inline constexpr int kMaxMarginSeconds = 3600;

// The settings under our own key "\Timing" of the product key: the options a
// new event gets, and those of an event nobody gave options. At their
// defaults (no margins, nothing kept) the recorder times events exactly by
// their start and length.
inline constexpr const char* kTimingKey = "\\Timing";
struct TimingSettings {
    EventTiming defaults; // nStartMarginSeconds, nEndMarginSeconds, bKeepUntilSpaceNeeded

    static TimingSettings load();
    void save() const;
};

// A margin as the user or a file gave it: whole seconds from 0 to the
// maximum; anything else is refused (false).
bool parseMargin(const std::string& text, int& seconds);

// The key of an event: its file name, channel and repeat word with the time
// of day it starts (and the day for a "once" event, the weekday for a weekly
// one). It stays the same while the scheduler moves a repeating event on.
std::string eventTimingKey(DateTime start, int16_t channel, const std::string& every, const std::string& filename);
inline std::string eventTimingKey(const EventRecord& e) { return eventTimingKey(e.dt, e.channel, e.every, e.filename); }

inline constexpr const char* kEventTimingFileName = "EventTiming.txt";

// The options of the events that have their own, in the file (empty path: the
// program folder's). A damaged line is skipped, an unreadable file reads as
// empty; nothing here raises.
class EventTimingStore {
public:
    explicit EventTimingStore(std::string path = {});

    const std::string& path() const { return m_path; }
    // The event's own options, else the defaults.
    EventTiming forEvent(const std::string& key, const EventTiming& defaults) const;
    bool hasOwn(const std::string& key) const { return m_entries.count(key) != 0; }
    // Gives the event its own options (saved at once); false when the file
    // could not be written, which lastError() then says.
    bool set(const std::string& key, const EventTiming& timing);
    // Forgets the options of events no longer in the schedule.
    bool keepOnly(const std::vector<std::string>& keys);
    // Both at once, with one write: the event's options among those of the
    // events the schedule holds (`keys`).
    bool set(const std::string& key, const EventTiming& timing, const std::vector<std::string>& keys);
    const std::string& lastError() const { return m_error; }

private:
    bool save();

    std::string m_path;
    std::map<std::string, EventTiming> m_entries;
    std::string m_error;
};

} // namespace vesper
