// The main program's side of the programme guide: imports the listings in the
// background when the program has started and then once a day, keeps the
// last import's outcome for the window, tells which programmes the schedule
// already records, hands a chosen programme to the Add Event dialog the way a
// listing page does, and schedules the showings of series rules after each
// import.
#pragma once

#include "app/core/program.h"

#include "listings/guide_store.h"
#include "listings/import_runner.h"

#include "platform/automation.h"
#include "platform/dates.h"

#include <QObject>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QTimer;

namespace vesper {

class ScheduleCommands;

// How a guide programme is handed to the Add Event dialog: the XML program
// event a listing page would send, with the programme's channel, start (UTC),
// length and title.
std::string programmeEventDocument(const listings::Programme& programme);

// True when `event` (its repeats included) records on the programme's
// channel for at least half of the programme's time.
bool eventCoversProgramme(const EventRecord& event, const listings::Programme& programme);

class ProgrammeGuide : public QObject {
    Q_OBJECT
public:
    // `handOver` takes a document the way the hand-over socket's documents
    // are taken (the window's hidden box); `commands` adds the series'
    // showings to the schedule.
    ProgrammeGuide(ScheduleCommands& commands, std::function<void(const std::string&)> handOver,
                   const QString& databasePath = listings::GuideStore::defaultPath(), QObject* parent = nullptr);
    ~ProgrammeGuide() override;

    // Imports now, then once a day while the program runs.
    void start();
    // Stops the daily import and a running one (the previous guide stays).
    void stop();
    // The daily check (run each minute by a timer of its own): imports when
    // a day has passed since the last import started.
    void checkDaily();
    // Starts an import from the settings' source; false when one runs or no
    // source is set (the status says which).
    bool importNow();
    bool importing() const { return m_runner->isRunning(); }
    // When the next daily import is due; 0 before start().
    DateTime nextImport() const { return m_nextImport; }

    // The last import's outcome (or why there was none), for the window.
    QString status() const { return m_status; }
    // The last import failed, or the guide cannot be read.
    bool failed() const { return m_failed; }
    // Showings of series rules that could not be scheduled, one line each
    // (kept in the guide's settings until the user clears them).
    QStringList seriesProblems() const;
    void clearSeriesProblems();

    // The guide database, opened on first use; nullptr when it cannot be.
    listings::GuideStore* store();

    // The ids of those programmes that the schedule already records.
    QSet<qint64> scheduledProgrammes(const QList<listings::Programme>& programmes);
    // Hands the programme to the Add Event dialog (external mode). False,
    // with a message, when its channel has no tuner number.
    bool record(const listings::Programme& programme);
    // "Record every showing of this title on this channel": keeps the rule
    // and schedules the showings known so far. The rule's id, 0 on failure.
    qint64 recordSeries(const listings::Programme& programme);
    // Schedules the rules' new showings, each through the scheduler's
    // conflict check; those that cannot be scheduled are listed in
    // seriesProblems(). The number added.
    int scheduleSeriesShowings();

signals:
    // An import ended (its summary is status()).
    void importFinished(bool ok);
    // The status or the series' list changed.
    void changed();

private:
    void imported(const listings::ImportResult& result);
    std::vector<EventRecord> scheduledEvents();
    void addSeriesProblems(const QStringList& lines);

    ScheduleCommands& m_commands;
    std::function<void(const std::string&)> m_handOver;
    QString m_databasePath;
    std::unique_ptr<listings::ImportRunner> m_runner;
    std::unique_ptr<listings::GuideStore> m_store;
    QTimer* m_daily = nullptr;
    DateTime m_nextImport = 0;
    QString m_status;
    bool m_failed = false;
};

} // namespace vesper
