// The controls of recordings kept until space is needed: on the Recording
// Summary tab, the recording that would go next (lblKeptNext) and the
// deletions made (lstKeptDeleted), kept up to date; on the Options tab, the
// timing a new event gets (fraTiming).
#pragma once

class frmVesper;

namespace vesper {

// Once, after the window's layout is built.
void addKeepControls(frmVesper& window);

} // namespace vesper
