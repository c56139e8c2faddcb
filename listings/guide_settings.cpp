#include "listings/guide_settings.h"

#include "platform/registry.h"

namespace vesper::listings {

namespace {

QString text(const char* name) {
    const auto v = registry::queryValue(kGuideKey, name);
    return v && v->type == registry::ValueType::String ? QString::fromStdString(v->text) : QString();
}

} // namespace

GuideSettings readGuideSettings() {
    return {text(kXmltvFileValue), text(kGrabberCommandValue), text(kLastImportValue), text(kLastImportResultValue)};
}

bool writeGuideSource(const QString& xmltvFile, const QString& grabberCommand) {
    return registry::setString(kGuideKey, kXmltvFileValue, xmltvFile.toStdString()) &&
           registry::setString(kGuideKey, kGrabberCommandValue, grabberCommand.toStdString());
}

bool recordImportResult(const ImportResult& result, DateTime when) {
    return registry::setString(kGuideKey, kLastImportValue, generalDate(when)) &&
           registry::setString(kGuideKey, kLastImportResultValue, result.summary().toStdString());
}

} // namespace vesper::listings
