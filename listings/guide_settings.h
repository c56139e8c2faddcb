// The guide's settings in the registry hive, under a key of its own: where the
// listings come from and how the last import went.
#pragma once

#include "listings/xmltv_import.h"
#include "platform/dates.h"

#include <QString>

namespace vesper::listings {

inline constexpr const char* kGuideKey = "Software\\Orvane\\Vesper\\1.0\\Guide";
// The XMLTV file to import.
inline constexpr const char* kXmltvFileValue = "sXmltvFile";
// A grabber's command line (a tv_grab_* program writing XMLTV to standard
// output); when set, it is used instead of the file.
inline constexpr const char* kGrabberCommandValue = "sGrabberCommand";
// When the last import ended (general date, local time), and its summary.
inline constexpr const char* kLastImportValue = "sLastImport";
inline constexpr const char* kLastImportResultValue = "sLastImportResult";

struct GuideSettings {
    QString xmltvFile;
    QString grabberCommand;
    QString lastImport;
    QString lastImportResult;
};

GuideSettings readGuideSettings();
bool writeGuideSource(const QString& xmltvFile, const QString& grabberCommand);
// Records the end of an import at `when` (local time).
bool recordImportResult(const ImportResult& result, DateTime when);

} // namespace vesper::listings
