// The schedule grid's contents, read from the scheduler object: one row per
// event in schedule order, with the grid's column texts.
#pragma once

#include "app/core/program.h"

#include "platform/automation.h"

#include <string>
#include <vector>

namespace vesper {

struct GridRow {
    std::string when;     // "Sat,  Apr 20,  08:00 PM"
    std::string chnl;     // "5"
    std::string len;      // "1:30"
    std::string repeat;   // "weekly"
    std::string filename; // "News.wmv"
};

// The grid's column headers and widths (twips).
struct GridColumn {
    const char* header;
    int widthTwips;
};
inline constexpr GridColumn kGridColumns[5] = {
    {"When", 2200}, {"Chnl", 500}, {"Len", 750}, {"Repeat", 1000}, {"Filename [Title]", 3500}};

// The texts of one event's row.
GridRow gridRow(const EventRecord& e);

// The event at `index` (1 and up) through IGetEvent; nullopt-like: false when
// the index lies beyond the schedule (nothing written). Errors of the
// scheduler call reach the caller.
bool readEvent(Object& scheduler, int16_t index, EventRecord& out);

// Every row: ICount, then IGetEvent for 1..count.
std::vector<GridRow> readScheduleRows(Object& scheduler);
// Every event of the schedule, in its order.
std::vector<EventRecord> readScheduleEvents(Object& scheduler);

} // namespace vesper
