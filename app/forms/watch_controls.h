// The watch's controls on the Recording Summary tab: the last notice that no
// notification service showed (lblWatchNotice) and the list of recordings
// that failed or were missed (lstFailedEvents), kept up to date.
#pragma once

class frmVesper;

namespace vesper {

// Once, after the window's layout is built.
void addWatchControls(frmVesper& window);

} // namespace vesper
