#include "app/forms/grid_view.h"

#include <QComboBox>
#include <QHeaderView>
#include <QStyle>
#include <QTableWidget>

#include <algorithm>

namespace vesper {

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

void FillCombo(QComboBox* combo, const std::vector<std::string>& list) {
    if (!combo) return;
    for (const auto& name : list) {
        if (name.empty()) break;
        combo->addItem(QString::fromStdString(name));
    }
    if (combo->count() > 0) combo->setCurrentIndex(0);
}

} // namespace vesper
