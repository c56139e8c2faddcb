// The schedule's ordered list of events, with the conflict test.
#pragma once

#include "scheduler/event_class.h"

#include <cstddef>
#include <vector>

namespace slotbook {

// The error source of the component's run-time errors.
inline constexpr const char* kErrorSource = "Slotbook.EventsObj";

class EventCollection {
public:
    // Positions are 16-bit: a list holds at most this many records.
    static constexpr int kMaxCount = 32767;

    // Inserts a copy of `oEvent` behind every record that starts at or before
    // it, without a conflict test. Returns the new record's serial.
    uint64_t AddSorted(const EventClass& oEvent);
    // Inserts a copy unless a conflict is found. With `oConflictEvent` given the
    // conflict test runs first (except on an empty list) and, on a conflict,
    // receives the conflicting record, as does `oEvent`.
    bool AddSorted2(bool& bResult, EventClass* oConflictEvent, EventClass& oEvent);
    // True when `oEvent` overlaps a listed record, records starting at
    // `dtSkip` passed over (zero = none); `oEvent` then holds that record.
    bool IsConflict(EventClass& oEvent, DateTime dtSkip) const;

    // 1-based; error 9 outside the list.
    const EventClass& Item(int vntIndexKey) const;
    EventClass& Item(int vntIndexKey);
    int16_t Count() const { return static_cast<int16_t>(m_items.size()); }
    void Remove(int vntIndexKey);

    // The records in list order (what the enumerator walks).
    using const_iterator = std::vector<EventClass>::const_iterator;
    const_iterator NewEnum() const { return m_items.begin(); }
    const_iterator begin() const { return m_items.begin(); }
    const_iterator end() const { return m_items.end(); }
    bool empty() const { return m_items.empty(); }

    // Candidate and listed record overlap in time once repeating events are
    // aligned to comparable occurrences.
    static bool EventsOverlap(const EventClass& candidate, const EventClass& listed);

    // 1-based position of the first record starting exactly at `dt`, 0 if none.
    int indexOfStart(DateTime dt) const;
    // 0-based place where a record starting at `start` (seconds) is inserted:
    // in front of the first record that starts strictly later. Found by binary
    // search over the ordered list; `linearPlace` is the plain walk it stands
    // for.
    size_t insertPlace(long long start) const;
    size_t linearPlace(long long start) const;

    // Takes records in any order, as a series of AddSorted would (stable for
    // equal starts). Error 6 past the size limit, the list unchanged.
    void addAllSorted(std::vector<EventClass> records);
    // Removes every record for which `pred` is true; returns how many.
    template <typename Pred> size_t removeIf(Pred pred) {
        const size_t before = m_items.size();
        std::erase_if(m_items, pred);
        return before - m_items.size();
    }
    // Moves the record at 1-based `index` to its start-order place (after its
    // start changed), behind records with the same start.
    void replace(int index);

private:
    void checkIndex(int index) const;
    uint64_t nextSerial();

    std::vector<EventClass> m_items;
};

} // namespace slotbook
