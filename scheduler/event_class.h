// One recording event of the schedule and its repeat holder.
#pragma once

#include "platform/dates.h"

#include <cstdint>
#include <optional>
#include <string>

namespace slotbook {

using vesper::DateTime;

// The repeat rule of an event. `every` is empty until assigned, and the empty
// value is not the empty string: a blank record (no event found) is told apart
// from a found event by it.
class RepeatClass {
public:
    std::optional<std::string> every;

    bool isEmpty() const { return !every.has_value(); }
    // The repeat word, or the empty string for the empty value.
    const std::string& word() const;
};

// A recording event. A plain record: the collection owns its copies.
class EventClass {
public:
    DateTime dt = 0;
    int16_t channel = 0;
    int16_t duration = 0; // minutes
    std::string filename;
    bool bActive = false;
    RepeatClass oRepeat; // held by value: copies never share a repeat holder

    // Makes this record a copy of `oEvent`, repeat word included.
    void SetTo(const EventClass& oEvent);

    // Start and end in whole seconds, for exact comparison.
    long long startSeconds() const { return vesper::toSeconds(dt); }
    long long endSeconds() const { return startSeconds() + 60LL * duration; }

    // Identity of a listed record inside one object's lifetime, so that a
    // refresh can find exactly the records it rolled forward. Not part of the
    // event's values: SetTo does not copy it.
    uint64_t serial = 0;
};

} // namespace slotbook
