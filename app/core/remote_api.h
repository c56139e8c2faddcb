// The JSON endpoints of remote access over the running program: the schedule
// (list, add, update, cancel once, delete, next), the recording state, Record
// Now and Cancel Recording. Every change goes through the window's schedule
// commands, with the Add Event dialog's field rules, the expiry rule and the
// scheduler's conflict test, and the schedule is saved after it.
#pragma once

#include "app/core/program.h"
#include "app/core/remote_server.h"

#include <QJsonObject>
#include <QJsonValue>

#include <functional>

namespace vesper {

class VesperCore;

namespace remote {

class RemoteApi {
public:
    // The failed list and the guide are this Vesper's own.
    explicit RemoteApi(VesperCore& core);

    Reply handle(const Request& request);

    // Parts of the program that may be present: the failed recordings and
    // the programme guide. Unset, their endpoints answer 404.
    std::function<QJsonValue()> failedList;
    std::function<QJsonValue(const QString& query)> guide;

    // The OpenAPI description of the endpoints.
    static QByteArray openApi();

private:
    Reply list();
    Reply next();
    Reply state();
    Reply kept();
    Reply add(const QByteArray& body);
    Reply update(const QString& key, const QByteArray& body);
    Reply cancelOrDelete(bool cancel, const QString& key);
    Reply recordNow(const QByteArray& body);
    Reply cancelRecording();
    Reply saved(int status, const QJsonValue& value);
    // An event as the API shows it, with its margins and keep mark.
    QJsonObject described(const EventRecord& e) const;

    VesperCore& m_core;
};

} // namespace remote
} // namespace vesper
