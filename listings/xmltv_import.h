// What an XMLTV import may take and what it tells (see GuideStore::importXmltv
// and ImportRunner).
#pragma once

#include <QString>

namespace vesper::listings {

struct ImportLimits {
    // Larger files (or grabber output) are refused before they are read.
    qint64 maxBytes = 100LL * 1024 * 1024;
    // The longest text of one element (a description, a title).
    int maxTextChars = 64 * 1024;
    // How deep elements may nest.
    int maxDepth = 32;
    // The length of a programme without a stop time and without a later
    // programme on its channel.
    int defaultLengthMinutes = 30;
};

struct ImportResult {
    bool ok = false;
    QString error; // why it failed: what, and where in the file
    int channels = 0;
    int programmes = 0;
    int stopsFilled = 0; // programmes without a stop time

    // One line for the user and the settings: "Imported 120 programmes on 3
    // channels" or "Import failed: <error>; the previous guide is kept".
    QString summary() const;
};

} // namespace vesper::listings
