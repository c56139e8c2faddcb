// The list of recordings that failed or were missed, and what was done about
// each: a small text file in the program folder, kept across restarts and
// read by the main program and by vesper-schedule. A damaged line is skipped,
// a damaged or unreadable file reads as an empty list; nothing here raises.
#pragma once

#include "platform/dates.h"

#include <string>
#include <vector>

namespace vesper::watch {

inline constexpr const char* kFailedEventsFileName = "FailedEvents.txt";
// The list keeps the newest entries only.
inline constexpr size_t kFailedEventsKept = 500;

struct FailedEvent {
    long long id = 0;   // unique in the list, grows with each entry
    DateTime when = 0;  // when it was noticed
    DateTime start = 0; // the event's window
    DateTime end = 0;
    int channel = 0;
    std::string name;    // the event's file name
    bool missed = false; // missed (asleep, clock moved) rather than failed
    std::string reason;  // in plain words
    std::string action;  // what was done: "retried every 10 s", "partly recorded from 20:03 to 20:30"
};

class FailedEventList {
public:
    // The list in the given file (empty: the program folder's).
    explicit FailedEventList(std::string path = {});

    const std::string& path() const { return m_path; }
    // Every entry, oldest first.
    std::vector<FailedEvent> entries() const;
    // Adds an entry; its id (0 when the file could not be written, which
    // lastError() then says).
    long long add(FailedEvent entry);
    // Replaces what was done about an entry; false when it is gone or the
    // file could not be written.
    bool setAction(long long id, const std::string& action);
    const std::string& lastError() const { return m_lastError; }

private:
    bool write(const std::vector<FailedEvent>& list);

    std::string m_path;
    std::string m_lastError;
};

// One entry in a line: "Tue Apr 20 08:00 PM  ch 5  News.wmv  missed: <reason>; <action>".
std::string describe(const FailedEvent& entry);

} // namespace vesper::watch
