#include "app/schedule/schedule_grid.h"

#include <QHeaderView>
#include <QStyle>
#include <QTableWidget>

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

std::vector<GridRow> readScheduleRows(Object& scheduler) {
    std::vector<GridRow> rows;
    const int16_t count = scheduler.call("ICount").toInt16();
    rows.reserve(size_t(std::max<int16_t>(count, 0)));
    for (int16_t i = 1; i <= count; ++i)
        rows.push_back(gridRow(getEvent(scheduler, i)));
    return rows;
}

void setUpGridColumns(QTableWidget* grid, double twipsPerPixel) {
    grid->setColumnCount(5);
    QStringList headers;
    for (int c = 0; c < 5; ++c) {
        headers << QString::fromUtf8(kGridColumns[c].header);
        grid->setColumnWidth(c, int(kGridColumns[c].widthTwips / twipsPerPixel));
    }
    grid->setHorizontalHeaderLabels(headers);
    grid->verticalHeader()->setVisible(false);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void fitGridColumns(QTableWidget* grid) {
    const double tpp = 1440.0 / std::max(grid->logicalDpiX(), 1);
    const QFontMetrics metrics(grid->font());
    // A cell's text has the style's focus margin and one pixel on each side,
    // and the grid line takes a pixel of the cell.
    const int padding = 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1) + 2;
    for (int c = 0; c < grid->columnCount() && c < 5; ++c) {
        int width = std::max(int(kGridColumns[c].widthTwips / tpp), grid->horizontalHeader()->sectionSizeHint(c));
        for (int r = 0; r < grid->rowCount(); ++r)
            if (const QTableWidgetItem* item = grid->item(r, c))
                width = std::max(width, metrics.horizontalAdvance(item->text()) + padding);
        if (grid->columnWidth(c) != width) grid->setColumnWidth(c, width);
    }
}

void fillGrid(QTableWidget* grid, const std::vector<GridRow>& rows) {
    grid->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        const GridRow& row = rows[size_t(r)];
        const std::string* cells[5] = {&row.when, &row.chnl, &row.len, &row.repeat, &row.filename};
        for (int c = 0; c < 5; ++c) {
            auto* item = grid->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                grid->setItem(r, c, item);
            }
            item->setText(QString::fromStdString(*cells[c]));
        }
    }
    fitGridColumns(grid);
}

} // namespace vesper
