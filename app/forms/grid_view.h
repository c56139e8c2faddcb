// The schedule grid's table and the device boxes, filled from what the core reads.
#pragma once

#include "app/core/schedule_grid.h"

#include <string>
#include <vector>

class QComboBox;
class QTableWidget;

namespace vesper {

// Sets up the grid's columns, headers and widths (once, when the window is built).
void setUpGridColumns(QTableWidget* grid, double twipsPerPixel);
// Fills the grid with the rows (the header row is the table's header), and
// fits the columns.
void fillGrid(QTableWidget* grid, const std::vector<GridRow>& rows);
// Widens each column to its longest text, header included, in the grid's
// font (a "When" cut to "09:30 ..." hides AM or PM); no column gets narrower
// than its design width.
void fitGridColumns(QTableWidget* grid);

// Adds the names up to the first empty one and selects the first entry.
void FillCombo(QComboBox* combo, const std::vector<std::string>& list);

} // namespace vesper
