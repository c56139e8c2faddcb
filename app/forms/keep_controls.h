// The controls of recordings kept until space is needed: on the Recording
// Summary tab, the recording that would go next (lblKeptNext) and the
// deletions made (lstKeptDeleted), kept up to date; on the Options tab, the
// timing a new event gets (fraTiming).
#pragma once

class QSpinBox;
class QWidget;

namespace vesper {

class frmVesper;

// Once, after the window's layout is built.
void addKeepControls(frmVesper& window);

// A margin in seconds, as the Add Event dialog and the Options tab show it.
QSpinBox* newMarginBox(QWidget* parent, const char* name, int seconds, const char* tip);

} // namespace vesper
