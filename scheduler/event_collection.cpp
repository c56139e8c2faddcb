#include "scheduler/event_collection.h"

#include "platform/errors.h"
#include "scheduler/date_rules.h"

#include <algorithm>
#include <atomic>

namespace slotbook {

namespace {

bool isWord(const EventClass& e, const char* w) { return e.oRepeat.every && *e.oRepeat.every == w; }

[[noreturn]] void overflow() {
    vesper::raiseError(vesper::err::Overflow, kErrorSource,
                       "Overflow (the schedule holds at most " + std::to_string(EventCollection::kMaxCount) +
                           " events)");
}

} // namespace

uint64_t EventCollection::nextSerial() {
    static std::atomic<uint64_t> serial{0};
    return ++serial;
}

size_t EventCollection::insertPlace(long long start) const {
    auto it = std::upper_bound(m_items.begin(), m_items.end(), start,
                               [](long long s, const EventClass& e) { return s < e.startSeconds(); });
    return static_cast<size_t>(it - m_items.begin());
}

size_t EventCollection::linearPlace(long long start) const {
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].startSeconds() > start) return i;
    return m_items.size();
}

uint64_t EventCollection::AddSorted(const EventClass& oEvent) {
    if (m_items.size() >= static_cast<size_t>(kMaxCount)) overflow();
    EventClass record;
    record.SetTo(oEvent);
    record.serial = nextSerial();
    const size_t place = insertPlace(record.startSeconds());
    const uint64_t serial = record.serial;
    m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(place), std::move(record));
    return serial;
}

bool EventCollection::AddSorted2(bool& bResult, EventClass* oConflictEvent, EventClass& oEvent) {
    if (m_items.size() >= static_cast<size_t>(kMaxCount)) overflow();
    EventClass record;
    record.SetTo(oEvent);
    if (!m_items.empty() && oConflictEvent) {
        if (IsConflict(oEvent, 0)) {
            oConflictEvent->SetTo(oEvent);
            bResult = false;
            return bResult;
        }
    }
    AddSorted(record);
    bResult = true;
    return bResult;
}

bool EventCollection::IsConflict(EventClass& oEvent, DateTime dtSkip) const {
    const long long skip = vesper::toSeconds(dtSkip);
    for (const EventClass& listed : m_items) {
        if (skip != 0 && listed.startSeconds() == skip) continue;
        if (EventsOverlap(oEvent, listed)) {
            oEvent.SetTo(listed);
            return true;
        }
    }
    return false;
}

bool EventCollection::EventsOverlap(const EventClass& candidate, const EventClass& listed) {
    using namespace Dates;
    // Only the starts move; the records themselves stay as they are.
    DateTime a = candidate.dt;
    DateTime b = listed.dt;
    const long long as = vesper::toSeconds(a), bs = vesper::toSeconds(b);
    const bool aOnce = isWord(candidate, "once");
    const bool bOnce = isWord(listed, "once");
    const bool differentDays = dayNumber(as) != dayNumber(bs);
    const bool differentWeeks = weekNumber(as) != weekNumber(bs);

    if (aOnce && as < bs) {
        // a: a one-time candidate before the listed event is compared as it is.
    } else if (bOnce && !aOnce && as > bs) {
        // b: a repeating candidate after a one-time event, likewise.
    } else if (bOnce && !aOnce && as < bs) {
        // c: bring a repeating candidate forward to the one-time event.
        if (isWord(candidate, "weekly") && differentWeeks)
            a = NextWeekly(a, b);
        else if (isWord(candidate, "weekdays") && differentDays)
            a = NextWeekday(a, b);
    } else {
        // d: move the listed repeating event to the candidate's week or day.
        if (isWord(listed, "weekly")) {
            if (isWord(candidate, "weekdays")) {
                if (differentDays) a = NextWeekday(a, b);
            } else if (differentWeeks) {
                b = NextWeekly(b, a);
            }
        } else if (isWord(listed, "weekdays") && differentDays) {
            b = NextWeekday(b, a);
        }
    }

    const long long aStart = vesper::toSeconds(a), bStart = vesper::toSeconds(b);
    if (aStart == bStart) return true;
    // An overlap of one second or less is no conflict.
    if (aStart > bStart) return bStart + 60LL * listed.duration > aStart + 1;
    return aStart + 60LL * candidate.duration > bStart + 1;
}

void EventCollection::checkIndex(int index) const {
    if (index < 1 || index > static_cast<int>(m_items.size()))
        vesper::raiseError(vesper::err::SubscriptOutOfRange, kErrorSource);
}

const EventClass& EventCollection::Item(int vntIndexKey) const {
    checkIndex(vntIndexKey);
    return m_items[static_cast<size_t>(vntIndexKey - 1)];
}

EventClass& EventCollection::Item(int vntIndexKey) {
    checkIndex(vntIndexKey);
    return m_items[static_cast<size_t>(vntIndexKey - 1)];
}

void EventCollection::Remove(int vntIndexKey) {
    checkIndex(vntIndexKey);
    m_items.erase(m_items.begin() + (vntIndexKey - 1));
}

int EventCollection::indexOfStart(DateTime dt) const {
    const long long s = vesper::toSeconds(dt);
    auto it = std::lower_bound(m_items.begin(), m_items.end(), s,
                               [](const EventClass& e, long long v) { return e.startSeconds() < v; });
    if (it == m_items.end() || it->startSeconds() != s) return 0;
    return static_cast<int>(it - m_items.begin()) + 1;
}

void EventCollection::addAllSorted(std::vector<EventClass> records) {
    if (m_items.size() + records.size() > static_cast<size_t>(kMaxCount)) overflow();
    for (EventClass& r : records)
        r.serial = nextSerial();
    // A stable sort puts equal starts in arrival order, exactly where a series
    // of insertions behind equal starts would.
    const auto earlier = [](const EventClass& x, const EventClass& y) { return x.startSeconds() < y.startSeconds(); };
    // Files are written in start order: check that cheaply first. Whole-second
    // dates on or after the epoch order as their numbers do.
    const auto quickEarlier = [&](const EventClass& x, const EventClass& y) {
        return x.dt >= 0 && y.dt >= 0 ? x.dt < y.dt : earlier(x, y);
    };
    if (!std::is_sorted(records.begin(), records.end(), quickEarlier))
        std::stable_sort(records.begin(), records.end(), earlier);
    if (m_items.empty()) {
        m_items = std::move(records);
        return;
    }
    std::vector<EventClass> merged;
    merged.reserve(m_items.size() + records.size());
    std::merge(std::make_move_iterator(m_items.begin()), std::make_move_iterator(m_items.end()),
               std::make_move_iterator(records.begin()), std::make_move_iterator(records.end()),
               std::back_inserter(merged), earlier);
    m_items = std::move(merged);
}

void EventCollection::replace(int index) {
    checkIndex(index);
    EventClass record = std::move(m_items[static_cast<size_t>(index - 1)]);
    m_items.erase(m_items.begin() + (index - 1));
    const size_t place = insertPlace(record.startSeconds());
    m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(place), std::move(record));
}

} // namespace slotbook
