// XMLTV's times: "20040420200000 +0200", also shortened ("200404202000") and
// without a zone (then UTC), turned into seconds since the Unix epoch (UTC),
// and those back into local wall-clock time for display.
#pragma once

#include "platform/dates.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace vesper::listings {

// The UTC instant of an XMLTV time: "YYYYMMDD", "YYYYMMDDhh", "YYYYMMDDhhmm"
// or "YYYYMMDDhhmmss", optionally followed by a blank and "+hhmm", "-hhmm",
// "UTC", "GMT", "Z" or "BST". nullopt when the text is none of these or names
// a date or time that does not exist.
std::optional<qint64> parseXmltvTime(QStringView text);

// Local wall-clock time of a UTC instant, in the zone of the process (TZ),
// daylight-saving time included.
inline DateTime localTime(qint64 unixUtc) { return fromUnixLocal(unixUtc); }
// The UTC instant of a local wall-clock time; a time the clocks skip is read
// as after the change.
inline qint64 utcFromLocal(DateTime local) { return toUnixLocal(local); }

// The UTC bounds [begin, end) of the local day holding `local`: 23 or 25
// hours long on the days the clocks change.
struct UtcRange {
    qint64 begin = 0;
    qint64 end = 0;
};
UtcRange localDayRange(DateTime local);

} // namespace vesper::listings
