// The main window's controls of the programme guide: a button in the guide
// pane that opens the guide grid, and the last import's outcome on the
// Schedule tab.
#pragma once

namespace vesper {

class frmVesper;

// Made once, after the window's layout.
void addGuideControls(frmVesper& window);

} // namespace vesper
