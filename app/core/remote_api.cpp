#include "app/core/remote_api.h"

#include "app/core/add_event_rules.h"
#include "app/core/kept_recordings.h"
#include "app/core/programme_guide.h"
#include "app/core/schedule_commands.h"
#include "app/core/schedule_grid.h"
#include "app/core/settings_store.h"
#include "app/core/status_log.h"
#include "app/core/vesper_core.h"

#include "listings/guide_store.h"
#include "listings/xmltv_time.h"
#include "platform/clock.h"
#include "platform/watch/failed_events.h"
#include "scheduler/event_rules.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QUrlQuery>

#include <algorithm>
#include <optional>

namespace vesper::remote {

namespace {

QString isoText(DateTime dt) {
    const DateParts p = splitDate(dt);
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute, p.second);
}

// A local date and time, "2030-04-20T20:00" (seconds optional).
std::optional<DateTime> parseIso(const QString& text) {
    const QDateTime t = QDateTime::fromString(text, Qt::ISODate);
    if (!t.isValid() || text.contains('Z') || text.size() > 19) return std::nullopt;
    const QDate d = t.date();
    const QTime h = t.time();
    if (d.year() < 1900 || d.year() > 9999) return std::nullopt;
    return makeDate(d.year(), d.month(), d.day(), h.hour(), h.minute(), h.second());
}

QJsonObject eventJson(const EventRecord& e) {
    const GridRow row = gridRow(e);
    return QJsonObject{{"start", isoText(e.dt)},
                       {"channel", e.channel},
                       {"duration", e.duration},
                       {"active", e.bActive},
                       {"repeat", QString::fromStdString(e.every)},
                       {"filename", QString::fromStdString(e.filename)},
                       {"when", QString::fromStdString(row.when)},
                       {"length", QString::fromStdString(row.len)}};
}

QByteArray json(const QJsonValue& v) {
    return v.isObject() ? QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact)
                        : QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact);
}

Reply ok(int status, const QJsonValue& v) { return Reply{status, json(v)}; }
Reply fail(int status, const QString& reason) { return RemoteServer::error(status, reason); }

struct Invalid {
    QString reason;
};

// A request body: a JSON object, or the reason it is not one.
QJsonObject parseObject(const QByteArray& body) {
    QJsonParseError e;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &e);
    if (e.error != QJsonParseError::NoError) throw Invalid{"the body is not JSON: " + e.errorString()};
    if (!doc.isObject()) throw Invalid{"the body must be a JSON object"};
    return doc.object();
}

int wholeNumber(const QJsonObject& o, const char* name, int low, int high) {
    const QJsonValue v = o.value(name);
    const double d = v.toDouble(-1e9);
    if (!v.isDouble() || d != static_cast<long long>(d) || d < low || d > high)
        throw Invalid{QString("\"%1\" must be a whole number from %2 to %3").arg(name).arg(low).arg(high)};
    return static_cast<int>(d);
}

// The Add Event dialog's rules: a start, a channel of the tuner's range, a
// length of at least a minute, a repeat word of its list (or the edited
// event's own), the file name cleaned as the dialog cleans it; an event that
// has already ended is refused.
EventRecord eventFrom(const QJsonObject& o, const EventRecord* old) {
    static const QStringList known{"start",    "channel",     "duration",  "repeat",
                                   "filename", "startMargin", "endMargin", "keep"};
    for (const QString& k : o.keys())
        if (!known.contains(k)) throw Invalid{"unknown field \"" + k + "\""};
    EventRecord e = old ? *old : EventRecord{0, 0, 0, true, "once", kDefaultOutputName};
    e.bActive = true;
    if (o.contains("start") || !old) {
        const auto dt = parseIso(o.value("start").toString());
        if (!dt) throw Invalid{"\"start\" must be a local date and time such as \"2030-04-20T20:00\""};
        e.dt = *dt;
    }
    if (o.contains("channel") || !old) e.channel = int16_t(wholeNumber(o, "channel", kLowestChannel, kHighestChannel));
    if (o.contains("duration") || !old) e.duration = int16_t(wholeNumber(o, "duration", 1, 32767));
    if (o.contains("repeat")) {
        const std::string word = o.value("repeat").toString().toStdString();
        const auto& items = repeatItems();
        if (std::find(items.begin(), items.end(), word) == items.end() && !(old && old->every == word))
            throw Invalid{"\"repeat\" must be \"once\", \"weekdays\" or \"weekly\""};
        e.every = word;
    }
    if (o.contains("filename")) {
        if (!o.value("filename").isString()) throw Invalid{"\"filename\" must be text"};
        e.filename = o.value("filename").toString().toStdString();
    }
    e.filename = scheduledFileName(e.filename);
    if (eventExpired(e.dt, e.duration, now()))
        throw Invalid{QString::fromStdString(expiredMessage(generalDate(e.dt), "\n"))};
    return e;
}

// The margins and keep mark a request gives, over those the event had.
EventTiming timingFrom(const QJsonObject& o, EventTiming t) {
    if (o.contains("startMargin")) t.startMarginSeconds = wholeNumber(o, "startMargin", 0, kMaxMarginSeconds);
    if (o.contains("endMargin")) t.endMarginSeconds = wholeNumber(o, "endMargin", 0, kMaxMarginSeconds);
    if (o.contains("keep")) {
        if (!o.value("keep").isBool()) throw Invalid{"\"keep\" must be true or false"};
        t.keepUntilSpaceNeeded = o.value("keep").toBool();
    }
    return t;
}

std::optional<EventRecord> findEvent(Object& o, DateTime start) {
    for (const EventRecord& e : readScheduleEvents(o))
        if (toSeconds(e.dt) == toSeconds(start)) return e;
    return std::nullopt;
}

QJsonObject conflictJson(const ScheduleCommands::Change& c) {
    return QJsonObject{{"error", "conflict"},
                       {"reason", QString::fromStdString(c.conflictText).replace("\r\n", "\n")},
                       {"conflict", QJsonObject{{"start", isoText(c.conflict.dt)},
                                                {"duration", c.conflict.duration},
                                                {"repeat", QString::fromStdString(c.conflict.every)},
                                                {"filename", QString::fromStdString(c.conflict.filename)}}}};
}

} // namespace

RemoteApi::RemoteApi(VesperCore& core) : m_core(core) {
    failedList = [] {
        QJsonArray list;
        for (const watch::FailedEvent& e : watch::FailedEventList().entries())
            list.append(QJsonObject{{"noticed", isoText(e.when)},
                                    {"start", isoText(e.start)},
                                    {"end", isoText(e.end)},
                                    {"channel", e.channel},
                                    {"filename", QString::fromStdString(e.name)},
                                    {"missed", e.missed},
                                    {"reason", QString::fromStdString(e.reason)},
                                    {"action", QString::fromStdString(e.action)}});
        return QJsonValue(list);
    };
    // "?title=News": the programmes not yet ended whose title holds it.
    guide = [this](const QString& query) {
        QJsonArray list;
        listings::GuideStore* store = m_core.guide().store();
        const QString title = QUrlQuery(query).queryItemValue("title", QUrl::FullyDecoded).trimmed();
        if (!store || title.isEmpty()) return QJsonValue(list);
        for (const listings::Programme& p : store->search(title, 100, listings::utcFromLocal(now())))
            list.append(QJsonObject{{"title", p.title},
                                    {"channel", p.tunerChannel},
                                    {"channelName", p.channelName},
                                    {"start", isoText(listings::localTime(p.startUtc))},
                                    {"duration", p.lengthMinutes()}});
        return QJsonValue(list);
    };
}

Reply RemoteApi::handle(const Request& r) {
    ObjectPtr scheduler = m_core.commands().SchedulerObject();
    if (!scheduler && r.path != "/api/openapi.json") return fail(503, "the schedule is not loaded yet");
    const QStringList parts = r.path.mid(5).split('/', Qt::SkipEmptyParts); // after "/api/"
    const QString first = parts.value(0);
    const QByteArray& m = r.method;
    try {
        if (parts.size() == 1 && first == "openapi.json" && m == "GET") return Reply{200, openApi()};
        if (first == "schedule") {
            if (parts.size() == 1 && m == "GET") return list();
            if (parts.size() == 1 && m == "POST") return add(r.body);
            if (parts.size() == 2 && parts[1] == "next" && m == "GET") return next();
            if (parts.size() == 2 && m == "PUT") return update(parts[1], r.body);
            if (parts.size() == 2 && m == "DELETE") return cancelOrDelete(false, parts[1]);
            if (parts.size() == 3 && parts[2] == "cancel" && m == "POST") return cancelOrDelete(true, parts[1]);
        }
        if (parts.size() == 1 && first == "state" && m == "GET") return state();
        if (parts.size() == 1 && first == "recording" && m == "POST") return recordNow(r.body);
        if (parts.size() == 1 && first == "recording" && m == "DELETE") return cancelRecording();
        if (parts.size() == 1 && first == "failed" && m == "GET") {
            if (!failedList) return fail(404, "this Vesper keeps no list of failed recordings");
            return ok(200, QJsonObject{{"failed", failedList()}});
        }
        if (parts.size() == 1 && first == "kept" && m == "GET") return kept();
        if (parts.size() == 1 && first == "guide" && m == "GET") {
            if (!guide) return fail(404, "this Vesper has no programme guide");
            return ok(200, QJsonObject{{"programmes", guide(r.query)}});
        }
    } catch (const Invalid& e) {
        return fail(400, e.reason);
    } catch (const AutomationError& e) {
        LogStatus("LS0140:ERROR:F00:RemoteApi() Exit - " + e.logText());
        return fail(500, "the scheduler failed: " + QString::fromStdString(e.description()));
    }
    return fail(404, "no such endpoint: " + QString::fromLatin1(m) + " " + r.path);
}

Reply RemoteApi::kept() {
    const SpaceKeeper& keeper = m_core.keeper();
    const auto recording = [](const KeptRecording& r) {
        return QJsonObject{{"path", QString::fromStdString(r.path)},
                           {"event", QString::fromStdString(r.eventName)},
                           {"completed", isoText(fromUnixLocal(r.completed))},
                           {"bytes", double(r.size)}};
    };
    QJsonArray listed, deleted;
    for (const KeptRecording& r : m_core.keeper().list().read().recordings)
        listed.append(recording(r));
    for (const KeptDeletion& d : keeper.deletions())
        deleted.append(QJsonObject{{"path", QString::fromStdString(d.path)},
                                   {"when", isoText(fromUnixLocal(d.when))},
                                   {"bytes", double(d.bytes)},
                                   {"forEvent", QString::fromStdString(d.forEvent)}});
    const auto next = keeper.nextToGo();
    return ok(200, QJsonObject{{"kept", listed},
                               {"next", next ? QJsonValue(recording(*next)) : QJsonValue()},
                               {"deleted", deleted}});
}

Reply RemoteApi::saved(int status, const QJsonValue& value) {
    // Saved at once, as the window's dialog does, so that nothing is lost
    // when the program ends unexpectedly.
    m_core.commands().SchedulerObject()->call("IPersistentSave");
    m_core.SetNextEventSoon();
    return ok(status, value);
}

QJsonObject RemoteApi::described(const EventRecord& e) const {
    QJsonObject o = eventJson(e);
    const EventTiming t = m_core.eventTimingOf(&e);
    o.insert("startMargin", t.startMarginSeconds);
    o.insert("endMargin", t.endMarginSeconds);
    o.insert("keep", t.keepUntilSpaceNeeded);
    return o;
}

Reply RemoteApi::list() {
    QJsonArray events;
    for (const EventRecord& e : readScheduleEvents(*m_core.commands().SchedulerObject()))
        events.append(described(e));
    return ok(200, QJsonObject{{"events", events}});
}

Reply RemoteApi::next() {
    const auto events = readScheduleEvents(*m_core.commands().SchedulerObject());
    return ok(200, QJsonObject{{"next", events.empty() ? QJsonValue() : QJsonValue(described(events.front()))}});
}

Reply RemoteApi::state() {
    RecordingEngine& engine = m_core.engine();
    const auto events = readScheduleEvents(*m_core.commands().SchedulerObject());
    QJsonValue current;
    if (engine.m_bRecording) {
        QJsonObject c{{"start", isoText(engine.recordingStart())}, {"end", isoText(engine.recordingEnd())}};
        for (const EventRecord& e : events)
            if (toSeconds(e.dt) <= toSeconds(engine.recordingStart())) c = described(e);
        current = c;
    }
    const RecordingDisplay& d = engine.display;
    return ok(200, QJsonObject{{"recording", engine.m_bRecording},
                               {"status", QString::fromStdString(d.lblReady).trimmed()},
                               {"current", current},
                               {"next", events.empty() ? QJsonValue() : QJsonValue(described(events.front()))},
                               {"events", int(events.size())},
                               {"freeBytes", m_core.program().g_dFreeBytes},
                               {"freeSpace", QString::fromStdString(d.lblFreeDiskSpace).trimmed()}});
}

Reply RemoteApi::add(const QByteArray& body) {
    const QJsonObject o = parseObject(body);
    const EventRecord e = eventFrom(o, nullptr);
    const EventTiming timing = timingFrom(o, m_core.eventTimingOf(nullptr));
    const ScheduleCommands::Change c = m_core.commands().tryAddEvent(e);
    if (!c.done) return ok(409, conflictJson(c));
    if (o.contains("startMargin") || o.contains("endMargin") || o.contains("keep")) m_core.setEventTiming(e, timing);
    return saved(201, described(e));
}

Reply RemoteApi::update(const QString& key, const QByteArray& body) {
    const auto start = parseIso(key);
    if (!start) return fail(400, "the event is named by its start, such as 2030-04-20T20:00");
    const QJsonObject o = parseObject(body);
    const auto old = findEvent(*m_core.commands().SchedulerObject(), *start);
    if (!old) return fail(404, "no event starts at " + key);
    const EventRecord e = eventFrom(o, &*old);
    const EventTiming timing = timingFrom(o, m_core.eventTimingOf(&*old));
    const ScheduleCommands::Change c = m_core.commands().tryUpdateEvent(old->dt, e);
    if (!c.done) return ok(409, conflictJson(c));
    // An event without options of its own keeps following the defaults
    // unless the request gives it some.
    const bool own = o.contains("startMargin") || o.contains("endMargin") || o.contains("keep") ||
                     m_core.eventTiming().hasOwn(eventTimingKey(*old));
    if (own) m_core.setEventTiming(e, timing);
    return saved(200, described(e));
}

Reply RemoteApi::cancelOrDelete(bool cancel, const QString& key) {
    const auto start = parseIso(key);
    if (!start) return fail(400, "the event is named by its start, such as 2030-04-20T20:00");
    if (!m_core.commands().cancelOrDeleteAt(cancel, *start)) return fail(404, "no event starts at " + key);
    return saved(200, QJsonObject{{cancel ? "cancelled" : "deleted", isoText(*start)}});
}

Reply RemoteApi::recordNow(const QByteArray& body) {
    // As the window's Record Now: an event from now, on the Record Now
    // channel, for 30 minutes, named after the moment.
    if (m_core.engine().m_bRecording) return fail(409, "a recording is running: Record Now waits until it ends");
    const DateTime t = now();
    QJsonObject o = body.trimmed().isEmpty() ? QJsonObject() : parseObject(body);
    if (!o.contains("channel"))
        o["channel"] = QString::fromStdString(RegGetSetting2(settings::RecordNowChannel)).toInt();
    if (!o.contains("duration")) o["duration"] = 30;
    if (!o.contains("filename")) o["filename"] = QString::fromStdString("RecordNow-" + formatDate(t, "YYMMDD-hhnn"));
    if (o.contains("start") || o.contains("repeat")) return fail(400, "Record Now starts now, once");
    o["start"] = isoText(t);
    const EventRecord e = eventFrom(o, nullptr);
    const ScheduleCommands::Change c = m_core.commands().tryAddEvent(e);
    if (!c.done) return ok(409, conflictJson(c));
    return saved(201, described(e));
}

Reply RemoteApi::cancelRecording() {
    RecordingEngine& engine = m_core.engine();
    if (!engine.m_bRecording) return fail(409, "nothing is being recorded");
    // The window's Cancel Recording without its question: the next tick
    // stops the encoder.
    const DateTime start = engine.recordingStart();
    engine.CancelRunningEvent();
    m_core.displayChanged();
    m_core.commands().SchedulerObject()->call("IPersistentSave");
    return ok(200, QJsonObject{{"cancelled", isoText(start)}});
}

QByteArray RemoteApi::openApi() {
    QFile f(":/remote/openapi.json");
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("{}");
}

} // namespace vesper::remote
