#include "scheduler/events_obj.h"

#include "platform/clock.h"
#include "platform/errors.h"
#include "scheduler/date_rules.h"
#include "scheduler/files.h"

#include <new>
#include <optional>
#include <vector>

namespace slotbook {

using vesper::Args;
using vesper::Variant;

namespace {

// A date argument: any value that converts to a date of the calendar, taken to
// the whole second.
DateTime toEventDate(const Variant& v) { return Dates::calendarDate(v.isOmitted() ? 0.0 : v.toDate()); }

// Every saved line must load again: a file name or repeat word that would make
// a line longer than the reader takes is refused before anything changes. The
// other fields are counted at their longest ("12/31/9999 12:00:00 PM",
// "-32768", "False"), so that a later move of the start cannot push the line
// past the limit.
void checkSavable(const std::string& every, const std::string& filename) {
    constexpr size_t kLongestOtherFields = 22 + 1 + 6 + 1 + 6 + 1 + 5 + 1 + 1;
    if (every.size() + filename.size() + kLongestOtherFields > Files::kMaxLineLength)
        vesper::raiseError(vesper::err::InvalidCall, kErrorSource,
                           "Invalid procedure call or argument (the file name and repeat word together may hold " +
                               std::to_string(Files::kMaxLineLength - kLongestOtherFields) + " characters, not " +
                               std::to_string(every.size() + filename.size()) + ")");
}

struct EventArgs {
    DateTime dt;
    int16_t channel, duration;
    bool active;
    std::string every, filename;
};

// The six event values from `args` starting at `first`, all converted before
// anything changes.
EventArgs eventArgs(Args& args, size_t first) {
    EventArgs e;
    e.dt = toEventDate(args[first]);
    e.channel = args[first + 1].toInt16();
    e.duration = args[first + 2].toInt16();
    e.active = args[first + 3].toBool();
    e.every = args[first + 4].toString();
    e.filename = args[first + 5].toString();
    checkSavable(e.every, e.filename);
    return e;
}

void writeEvent(Args& args, const EventClass& e) {
    args[0] = Variant::date(e.dt);
    args[1] = Variant(e.channel);
    args[2] = Variant(e.duration);
    args[3] = Variant(e.bActive);
    args[4] = Variant(e.oRepeat.word());
    args[5] = Variant(e.filename);
}

// The conflicting event into the outputs 1 to 4 of IAddEvent2 and IUpdateEvent2.
void writeConflict(Args& args, const EventClass& conflict) {
    args[1] = Variant::date(conflict.dt);
    args[2] = Variant(conflict.duration);
    args[3] = Variant(conflict.filename);
    args[4] = Variant(conflict.oRepeat.word());
}

} // namespace

EventsObj::EventsObj(std::string schedulePath)
    : DispatchObject(kProgId), m_path(schedulePath.empty() ? Files::schedulePath() : std::move(schedulePath)) {
    registerMembers();
}

Variant EventsObj::invoke(std::string_view member, Args& args, vesper::CallKind kind) {
    try {
        return DispatchObject::invoke(member, args, kind);
    } catch (const vesper::AutomationError& e) {
        if (!e.source().empty()) throw;
        fail(e.number(), e.description());
    } catch (const std::bad_alloc&) {
        fail(7, vesper::errorText(7));
    } catch (const std::exception& e) {
        fail(vesper::err::InvalidCall, e.what());
    }
}

EventCollection& EventsObj::held() {
    if (!m_schedule)
        fail(vesper::err::ObjectNotSet, "Object variable or With block variable not set (the schedule "
                                        "is not loaded: call Initialize first)");
    return *m_schedule;
}

EventClass EventsObj::makeEvent(DateTime dt, int16_t channel, int16_t duration, bool active, const std::string& every,
                                const std::string& filename) {
    EventClass e;
    e.dt = dt;
    e.channel = channel;
    e.duration = duration;
    e.bActive = active;
    e.oRepeat.every = every;
    e.filename = filename;
    return e;
}

EventClass EventsObj::FindEvent(DateTime dt) {
    EventClass found;
    if (const int i = held().indexOfStart(dt)) found.SetTo(held().Item(i));
    return found;
}

// The start of the next occurrence, or nothing for a word without a rule. A
// start past the end of the calendar is an overflow: the file could not hold
// it, and the schedule would not load again.
static std::optional<DateTime> nextOccurrence(const EventClass& e, DateTime dtReference) {
    const std::string& w = e.oRepeat.word();
    DateTime next;
    if (w == "day")
        next = Dates::NextDaily(e.dt, dtReference);
    else if (w == "weekdays")
        next = Dates::NextWeekday(e.dt, dtReference);
    else if (w == "weekly")
        next = Dates::NextWeekly(e.dt, dtReference);
    else
        return std::nullopt;
    return Dates::calendarDate(next);
}

uint64_t EventsObj::AddNextOccurrence(const EventClass& e, DateTime dtReference) {
    const std::optional<DateTime> next = nextOccurrence(e, dtReference);
    if (!next) return 0;
    EventClass n;
    n.SetTo(e);
    n.dt = *next;
    return held().AddSorted(n);
}

void EventsObj::Initialize() {
    IPersistentRead();
    IRefresh();
}

void EventsObj::IPersistentRead() { m_schedule = std::make_shared<EventCollection>(Files::LoadSchedule(m_path)); }

void EventsObj::IPersistentSave() { Files::SaveSchedule(held(), m_path); }

void EventsObj::IRefresh() {
    if (held().empty()) return;
    const long long t = vesper::toSeconds(vesper::now());
    // Expired events of the list as it stands now, by identity: occurrences
    // added below or by calls made during the pause are not among them.
    std::vector<EventClass> expired;
    std::set<uint64_t> mine, added;
    for (const EventClass& e : held())
        if (e.endSeconds() < t && e.oRepeat.word() != "once" && !m_rolling.count(e.serial)) {
            expired.push_back(e);
            mine.insert(e.serial);
        }
    try {
        for (const EventClass& e : expired)
            if (const uint64_t s = AddNextOccurrence(e, 0)) added.insert(s);
    } catch (...) {
        // A full schedule: take back the successors, so that a later refresh
        // does not add them twice.
        held().removeIf([&](const EventClass& e) { return added.count(e.serial) != 0; });
        throw;
    }
    {
        // Let the host run its pending work (its timer may call us meanwhile);
        // a refresh it starts leaves the events being rolled forward alone.
        m_rolling.insert(mine.begin(), mine.end());
        struct Rolled {
            std::set<uint64_t>& rolling;
            const std::set<uint64_t>& mine;
            ~Rolled() {
                for (uint64_t s : mine)
                    rolling.erase(s);
            }
        } rolled{m_rolling, mine};
        vesper::waitSeconds(2);
    }

    const long long t2 = vesper::toSeconds(vesper::now());
    held().removeIf([&](const EventClass& e) {
        return mine.count(e.serial) != 0 || (e.oRepeat.word() == "once" && e.endSeconds() < t2);
    });
}

void EventsObj::IAddEvent(DateTime dt, int16_t channel, int16_t duration, bool active, const std::string& every,
                          const std::string& filename) {
    held().AddSorted(makeEvent(dt, channel, duration, active, every, filename));
}

void EventsObj::IRemoveEvent(DateTime dt) {
    if (const int i = held().indexOfStart(dt)) held().Remove(i);
}

void EventsObj::ICancelEvent(DateTime dt) {
    const EventClass e = FindEvent(dt);
    if (e.oRepeat.isEmpty()) return;
    // The next start is worked out before anything changes (it may lie past
    // the calendar); the event is removed first so that a full schedule can
    // still move on, and the next occurrence lies at least an hour later.
    const DateTime after = vesper::fromSeconds(e.startSeconds() + 3600);
    const std::optional<DateTime> next = nextOccurrence(e, after);
    IRemoveEvent(dt);
    if (next) AddNextOccurrence(e, after);
}

int16_t EventsObj::ICount() { return held().Count(); }

void EventsObj::registerMembers() {
    method("Initialize", [this](Args& a) {
        expectArgs(a, 0, 0);
        Initialize();
        return Variant();
    });
    method("IPersistentRead", [this](Args& a) {
        expectArgs(a, 0, 0);
        IPersistentRead();
        return Variant();
    });
    method("IPersistentSave", [this](Args& a) {
        expectArgs(a, 0, 0);
        IPersistentSave();
        return Variant();
    });
    method("IRefresh", [this](Args& a) {
        expectArgs(a, 0, 0);
        IRefresh();
        return Variant();
    });
    method("IAddEvent", [this](Args& a) {
        expectArgs(a, 6, 6);
        held();
        const EventArgs e = eventArgs(a, 0);
        IAddEvent(e.dt, e.channel, e.duration, e.active, e.every, e.filename);
        return Variant();
    });
    method("IAddEvent2", [this](Args& a) {
        expectArgs(a, 11, 11);
        EventCollection& list = held();
        const EventArgs v = eventArgs(a, 5);
        EventClass e = makeEvent(v.dt, v.channel, v.duration, v.active, v.every, v.filename);
        EventClass conflict;
        bool bResult = false;
        list.AddSorted2(bResult, &conflict, e);
        a[0] = Variant(bResult);
        if (!bResult) writeConflict(a, conflict);
        return Variant();
    });
    method("IRemoveEvent", [this](Args& a) {
        expectArgs(a, 1, 1);
        held();
        IRemoveEvent(toEventDate(a[0]));
        return Variant();
    });
    method("INextEvent", [this](Args& a) {
        expectArgs(a, 6, 6);
        EventCollection& list = held();
        if (list.empty()) return Variant();
        writeEvent(a, list.Item(1));
        // The recording engine reads the duration second and the channel third.
        std::swap(a[1], a[2]);
        return Variant();
    });
    method("IGetEvent", [this](Args& a) {
        expectArgs(a, 6, 7);
        EventCollection& list = held();
        Variant& index = arg(a, 6);
        int n = index.isOmitted() ? 0 : index.toInt16();
        if (n == 0) {
            n = 1;
            index = Variant(int16_t(1));
        }
        if (n < 0)
            fail(vesper::err::SubscriptOutOfRange, "Subscript out of range (event index " + std::to_string(n) + ")");
        if (n > list.Count()) return Variant();
        writeEvent(a, list.Item(n));
        return Variant();
    });
    method("IUpdateEvent", [this](Args& a) {
        expectArgs(a, 7, 7);
        EventCollection& list = held();
        const DateTime key = toEventDate(a[0]);
        const EventArgs v = eventArgs(a, 1);
        const int i = list.indexOfStart(key);
        if (!i) return Variant();
        EventClass& e = list.Item(i);
        checkSavable(v.every.empty() ? e.oRepeat.word() : v.every, v.filename.empty() ? e.filename : v.filename);
        const bool moved = vesper::toSeconds(v.dt) != vesper::toSeconds(key);
        if (moved) e.dt = v.dt;
        if (v.channel != 0) e.channel = v.channel;
        if (v.duration != 0) e.duration = v.duration;
        if (v.active) e.bActive = true;
        if (!v.every.empty()) e.oRepeat.every = v.every;
        if (!v.filename.empty()) e.filename = v.filename;
        // Every other member relies on start order: a moved event goes to its
        // new place.
        if (moved) list.replace(i);
        return Variant();
    });
    method("IUpdateEvent2", [this](Args& a) {
        expectArgs(a, 11, 11);
        EventCollection& list = held();
        const DateTime key = toEventDate(a[1]);
        const EventArgs v = eventArgs(a, 5);
        const EventClass replacement = makeEvent(v.dt, v.channel, v.duration, v.active, v.every, v.filename);
        EventClass probe = replacement;
        if (list.IsConflict(probe, key)) {
            a[0] = Variant(false);
            writeConflict(a, probe);
            return Variant();
        }
        // Removing first leaves room, so the insertion cannot fail.
        if (const int old = list.indexOfStart(key)) list.Remove(old);
        list.AddSorted(replacement);
        a[0] = Variant(true);
        return Variant();
    });
    method("ICancelEvent", [this](Args& a) {
        expectArgs(a, 0, 1);
        held();
        ICancelEvent(toEventDate(arg(a, 0)));
        return Variant();
    });
    method("ICount", [this](Args& a) {
        expectArgs(a, 0, 0);
        return Variant(ICount());
    });
}

} // namespace slotbook
