#include "app/core/schedule_grid.h"

#include <algorithm>

namespace vesper {

GridRow gridRow(const EventRecord& e) {
    GridRow r;
    r.when = formatDate(e.dt, "ddd,  mmm d,  ") + formatDate(e.dt, "hh:mm AMPM");
    r.chnl = std::to_string(e.channel);
    // The length added to midnight: 90 minutes shows 1:30.
    r.len = formatDate(double(e.duration) / 1440.0, "h:mm");
    r.repeat = e.every;
    r.filename = e.filename;
    return r;
}

namespace {

EventRecord getEvent(Object& scheduler, int16_t index) {
    Args a{Variant::date(0),       Variant(int16_t(0)),    Variant(int16_t(0)), Variant(false),
           Variant(std::string()), Variant(std::string()), Variant(index)};
    scheduler.call("IGetEvent", a);
    EventRecord out;
    out.dt = a[0].toDate();
    out.channel = a[1].toInt16();
    out.duration = a[2].toInt16();
    out.bActive = a[3].toBool();
    out.every = a[4].toString();
    out.filename = a[5].toString();
    return out;
}

} // namespace

bool readEvent(Object& scheduler, int16_t index, EventRecord& out) {
    const int16_t count = scheduler.call("ICount").toInt16();
    if (index < 1 || index > count) return false;
    out = getEvent(scheduler, index);
    return true;
}

std::vector<EventRecord> readScheduleEvents(Object& scheduler) {
    std::vector<EventRecord> events;
    const int16_t count = scheduler.call("ICount").toInt16();
    events.reserve(size_t(std::max<int16_t>(count, 0)));
    for (int16_t i = 1; i <= count; ++i)
        events.push_back(getEvent(scheduler, i));
    return events;
}

std::vector<GridRow> readScheduleRows(Object& scheduler) {
    std::vector<GridRow> rows;
    for (const EventRecord& e : readScheduleEvents(scheduler))
        rows.push_back(gridRow(e));
    return rows;
}

} // namespace vesper
