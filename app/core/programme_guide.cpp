#include "app/core/programme_guide.h"

#include "app/core/schedule_commands.h"
#include "app/core/schedule_grid.h"
#include "app/core/status_log.h"

#include "listings/guide_settings.h"
#include "listings/xmltv_time.h"
#include "scheduler/event_rules.h"

#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/ui/ui_seam.h"

#include <QDateTime>
#include <QTimer>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cstdio>

namespace vesper {

namespace {

using listings::Programme;

// The showings of series rules that could not be scheduled, one a line.
constexpr const char* kSeriesProblemsValue = "sSeriesProblems";
// The daily check's period; the import itself waits for a whole day.
constexpr int kDailyCheckMs = 60 * 1000;

bool sameWord(const std::string& a, const char* b) {
    return QString::fromStdString(a).compare(b, Qt::CaseInsensitive) == 0;
}

// Whether a repeating event records on the local day `day` (midnight).
bool repeatsOn(const EventRecord& e, DateTime day) {
    if (day < dayStart(e.dt)) return false;
    if (sameWord(e.every, "day")) return true;
    if (sameWord(e.every, "weekdays")) return weekday(day) >= 2 && weekday(day) <= 6;
    if (sameWord(e.every, "weekly")) return weekday(day) == weekday(e.dt);
    return day == dayStart(e.dt);
}

QString lineFor(const Programme& p, const QString& why) {
    return QString::fromStdString(formatDate(listings::localTime(p.startUtc), "ddd mmm d, hh:nn AMPM")) + "  " +
           p.channelName + "  " + p.title + ": " + why;
}

} // namespace

std::string programmeEventDocument(const Programme& p) {
    QString text;
    QXmlStreamWriter w(&text);
    w.writeStartDocument();
    w.writeStartElement("TvProgramEvents");
    w.writeStartElement("TvProgramEvent");
    w.writeTextElement("title", p.title);
    w.writeTextElement("channel", QString::number(p.tunerChannel));
    w.writeTextElement("start", QDateTime::fromSecsSinceEpoch(p.startUtc, Qt::UTC).toString("yyyy-MM-ddTHH:mm:ssZ"));
    const int minutes = std::min(p.lengthMinutes(), 32767);
    w.writeTextElement("duration", QString("%1:%2").arg(minutes / 60).arg(minutes % 60, 2, 10, QChar('0')));
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndDocument();
    return text.toStdString();
}

bool eventCoversProgramme(const EventRecord& e, const Programme& p) {
    if (!e.bActive || e.channel != p.tunerChannel || p.stopUtc <= p.startUtc) return false;
    const DateTime programmeDay = dayStart(listings::localTime(p.startUtc));
    // The occurrence on the programme's day, or on the day before when it
    // runs past midnight into the programme.
    for (DateTime day : {programmeDay, programmeDay - 1}) {
        if (!repeatsOn(e, day)) continue;
        const qint64 begin = listings::utcFromLocal(day + timeOfDay(e.dt));
        const qint64 end = begin + qint64(e.duration) * 60;
        const qint64 overlap = std::min(end, p.stopUtc) - std::max(begin, p.startUtc);
        if (overlap > 0 && overlap * 2 >= p.stopUtc - p.startUtc) return true;
    }
    return false;
}

ProgrammeGuide::ProgrammeGuide(ScheduleCommands& commands, std::function<void(const std::string&)> handOver,
                               const QString& databasePath, QObject* parent)
    : QObject(parent), m_commands(commands), m_handOver(std::move(handOver)), m_databasePath(databasePath),
      m_runner(std::make_unique<listings::ImportRunner>(databasePath)) {
    setObjectName("ProgrammeGuide");
    connect(m_runner.get(), &listings::ImportRunner::finished, this,
            [this](const listings::ImportResult& r) { imported(r); });
    m_daily = new QTimer(this);
    m_daily->setInterval(kDailyCheckMs);
    connect(m_daily, &QTimer::timeout, this, &ProgrammeGuide::checkDaily);
    const listings::GuideSettings s = listings::readGuideSettings();
    if (!s.lastImportResult.isEmpty()) m_status = s.lastImport + ": " + s.lastImportResult;
    m_failed = s.lastImportResult.startsWith("Import failed");
}

ProgrammeGuide::~ProgrammeGuide() = default;

void ProgrammeGuide::start() {
    m_daily->start();
    m_nextImport = now() + 1;
    importNow();
}

void ProgrammeGuide::stop() {
    m_daily->stop();
    m_nextImport = 0;
    m_runner->cancel();
}

void ProgrammeGuide::checkDaily() {
    if (m_nextImport == 0 || now() < m_nextImport || importing()) return;
    m_nextImport = now() + 1;
    importNow();
}

bool ProgrammeGuide::importNow() {
    if (importing()) return false;
    const listings::GuideSettings s = listings::readGuideSettings();
    if (s.xmltvFile.trimmed().isEmpty() && s.grabberCommand.trimmed().isEmpty()) {
        // No listings wanted: nothing to report as a failure.
        m_status = "No listings source is set (sXmltvFile or sGrabberCommand)";
        emit changed();
        return false;
    }
    if (!m_runner->startFromSettings()) return false;
    m_status = "Importing listings ...";
    emit changed();
    return true;
}

void ProgrammeGuide::imported(const listings::ImportResult& result) {
    m_status = QString::fromStdString(generalDate(now())) + ": " + result.summary();
    m_failed = !result.ok;
    if (!result.ok) {
        std::fprintf(stderr, "vesper: %s\n", result.summary().toLocal8Bit().constData());
        LogStatus("LS0160:ERROR:F00:ProgrammeGuide::imported() - " + result.summary().toStdString());
    }
    if (result.ok) scheduleSeriesShowings();
    emit changed();
    emit importFinished(result.ok);
}

listings::GuideStore* ProgrammeGuide::store() {
    if (!m_store) {
        auto s = std::make_unique<listings::GuideStore>();
        if (!s->open(m_databasePath)) {
            m_status = "The guide cannot be read: " + s->error();
            m_failed = true;
            emit changed();
            std::fprintf(stderr, "vesper: %s\n", m_status.toLocal8Bit().constData());
            return nullptr;
        }
        m_store = std::move(s);
    }
    return m_store.get();
}

std::vector<EventRecord> ProgrammeGuide::scheduledEvents() {
    std::vector<EventRecord> events;
    ObjectPtr o = m_commands.SchedulerObject();
    if (!o) return events;
    try {
        const int count = o->call("ICount").toInt16();
        for (int i = 1; i <= count; ++i) {
            EventRecord e;
            if (readEvent(*o, int16_t(i), e)) events.push_back(e);
        }
    } catch (const AutomationError& e) {
        LogStatus("LS0161:ERROR:F00:ProgrammeGuide::scheduledEvents() - " + e.logText());
    }
    return events;
}

QSet<qint64> ProgrammeGuide::scheduledProgrammes(const QList<Programme>& programmes) {
    QSet<qint64> ids;
    const std::vector<EventRecord> events = scheduledEvents();
    for (const Programme& p : programmes)
        if (std::any_of(events.begin(), events.end(), [&](const EventRecord& e) { return eventCoversProgramme(e, p); }))
            ids.insert(p.id);
    return ids;
}

bool ProgrammeGuide::record(const Programme& programme) {
    if (programme.tunerChannel == 0) {
        MsgBox("\"" + programme.channelName.toStdString() +
                   "\" has no tuner channel yet.\r\n\r\nSet its channel in the guide's Channels window first.",
               vbExclamation, "Programme Guide");
        return false;
    }
    if (m_handOver) m_handOver(programmeEventDocument(programme));
    return true;
}

qint64 ProgrammeGuide::recordSeries(const Programme& programme) {
    listings::GuideStore* s = store();
    if (!s) return 0;
    const qint64 rule = s->addSeriesRule(programme.title, programme.channelId);
    if (rule == 0) {
        MsgBox("The series rule could not be kept: " + s->error().toStdString(), vbCritical, "Programme Guide");
        return 0;
    }
    scheduleSeriesShowings();
    return rule;
}

int ProgrammeGuide::scheduleSeriesShowings() {
    listings::GuideStore* s = store();
    // Without the scheduler nothing is handled: the showings wait for a
    // later call rather than being lost.
    if (!s || !m_commands.SchedulerObject()) return 0;
    const std::vector<EventRecord> events = scheduledEvents();
    const auto scheduled = [&](const Programme& p) {
        return std::any_of(events.begin(), events.end(),
                           [&](const EventRecord& e) { return eventCoversProgramme(e, p); });
    };
    const QList<listings::SeriesShowing> showings = s->newSeriesShowings(listings::utcFromLocal(now()), scheduled);
    int added = 0;
    QStringList problems;
    QList<listings::SeriesShowing> handled;
    for (const listings::SeriesShowing& showing : showings) {
        const Programme& p = showing.programme;
        if (p.tunerChannel == 0) {
            problems << lineFor(p, "its channel has no tuner channel");
            handled << showing;
            continue;
        }
        // The file name a listing page's programme gets.
        const EventRecord e{listings::localTime(p.startUtc),
                            int16_t(p.tunerChannel),
                            int16_t(std::min(p.lengthMinutes(), 32767)),
                            true,
                            "once",
                            scheduledFileName(p.title.toStdString())};
        EventRecord other;
        switch (m_commands.addEventQuietly(e, other)) {
        case ScheduleCommands::QuietAdd::Added:
            ++added;
            handled << showing;
            break;
        case ScheduleCommands::QuietAdd::Conflict:
            problems << lineFor(p, QString::fromStdString("conflicts with " + other.filename + " at " +
                                                          formatDate(other.dt, "ddd mmm d, hh:nn AMPM")));
            handled << showing;
            break;
        case ScheduleCommands::QuietAdd::Failed:
            // Offered again after the next import.
            problems << lineFor(p, "the scheduler did not take it");
            break;
        }
    }
    s->markSeriesShowingsHandled(handled);
    if (added > 0) m_commands.SaveScheduleToDisk();
    if (!problems.isEmpty()) {
        for (const QString& line : problems)
            std::fprintf(stderr, "vesper: series showing not scheduled: %s\n", line.toLocal8Bit().constData());
        addSeriesProblems(problems);
    }
    if (added > 0 || !problems.isEmpty()) emit changed();
    return added;
}

QStringList ProgrammeGuide::seriesProblems() const {
    const auto v = registry::queryValue(listings::kGuideKey, kSeriesProblemsValue);
    if (!v || v->type != registry::ValueType::String || v->text.empty()) return {};
    return QString::fromStdString(v->text).split('\n', Qt::SkipEmptyParts);
}

void ProgrammeGuide::addSeriesProblems(const QStringList& lines) {
    QStringList all = seriesProblems() + lines;
    // The latest hundred; older ones have long passed.
    if (all.size() > 100) all = all.mid(all.size() - 100);
    registry::setString(listings::kGuideKey, kSeriesProblemsValue, all.join('\n').toStdString());
}

void ProgrammeGuide::clearSeriesProblems() {
    registry::setString(listings::kGuideKey, kSeriesProblemsValue, std::string());
    emit changed();
}

} // namespace vesper
