// The watch's controls on the Recording Summary tab: the last notice that no
// notification service showed (lblWatchNotice) and the list of recordings
// that failed or were missed (lstFailedEvents), kept up to date.
#pragma once

namespace vesper {

class frmVesper;

// Once, after the window's layout is built.
void addWatchControls(frmVesper& window);

} // namespace vesper
