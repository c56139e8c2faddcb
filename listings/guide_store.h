// The programme guide: listings imported from XMLTV, kept in an SQLite file in
// the program folder ("guide.sqlite"), and what a guide grid, a channel
// mapping window, the Add Event hand-off and series recording need from it.
//
// Times are stored as UTC (seconds since the Unix epoch); `localTime()` of
// xmltv_time.h turns them into the local wall-clock time to show. Every
// call works on the database as it stands: an import replaces the listings
// in one transaction, so a reader sees the old guide or the new, never a mix.
// A GuideStore is used from one thread; several (in several threads or
// programs) may use the same file at once.
//
// Recording a programme: open the Add Event dialog in its external mode with
// `tunerChannel`, `localTime(startUtc)`, `lengthMinutes()` and `title`, as a
// hand-over from a listing page does. A programme whose channel has no tuner
// number (`tunerChannel` 0) cannot be recorded until its channel is mapped.
#pragma once

#include "listings/xmltv_import.h"
#include "platform/dates.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QIODevice;

namespace vesper::listings {

namespace detail {
class Database;
class Statement;
} // namespace detail

// The tuner's channel numbers.
inline constexpr int kFirstTunerChannel = 2;
inline constexpr int kLastTunerChannel = 181;

// The database's file name in the program folder.
inline constexpr const char* kGuideDatabaseName = "guide.sqlite";

struct Channel {
    QString id;               // XMLTV's channel id
    QString name;             // the first display name (the id when there is none)
    QStringList displayNames; // all of them, in the file's order
    int defaultNumber = 0;    // from the display names, 0 when none gives one
    int number = 0;           // the tuner channel it is recorded from, 0 for none
    bool userMapped = false;  // `number` was set (or cleared) by the user
};

struct Programme {
    qint64 id = 0; // valid until the next import
    QString channelId;
    QString channelName;
    int tunerChannel = 0; // 0 when the channel is not mapped
    qint64 startUtc = 0;
    qint64 stopUtc = 0; // the next programme's start, or a default length, when the file gave none
    bool stopGiven = true;
    QString title;
    QString subTitle;
    QString description;
    QStringList categories;

    // Whole minutes, rounded up (what a recording needs), at least 1.
    int lengthMinutes() const { return static_cast<int>(std::max<qint64>(1, (stopUtc - startUtc + 59) / 60)); }
};

// "Record every showing of this title on this channel". Titles match without
// regard to case.
struct SeriesRule {
    qint64 id = 0;
    QString title;
    QString channelId;
};

struct SeriesShowing {
    qint64 ruleId = 0;
    Programme programme;
};

class GuideStore {
public:
    GuideStore();
    ~GuideStore();
    GuideStore(const GuideStore&) = delete;
    GuideStore& operator=(const GuideStore&) = delete;

    // The program folder's guide database.
    static QString defaultPath();

    // Opens the database, creating it when missing. False (see error()) when
    // the file cannot be used, such as a file that is not a guide database.
    bool open(const QString& path = defaultPath());
    bool isOpen() const;
    QString path() const { return m_path; }
    // The last failure, for messages.
    QString error() const { return m_error; }

    // Imports XMLTV listings, replacing the programmes and channels of the
    // previous import (mappings and series rules stay). Any failure leaves
    // the previous guide as it was. `cancel`, when set to true by another
    // thread, stops the import as a failure.
    ImportResult importXmltv(QIODevice& in, const ImportLimits& limits = {}, const std::atomic_bool* cancel = nullptr);
    ImportResult importXmltvFile(const QString& xmltvPath, const ImportLimits& limits = {},
                                 const std::atomic_bool* cancel = nullptr);

    // Channels in the order of the file that brought them.
    QList<Channel> channels();
    // Records `channelId` from tuner channel `number` (2 to 181).
    bool setChannelNumber(const QString& channelId, int number);
    // Records nothing from `channelId`, whatever its display names say.
    bool clearChannelNumber(const QString& channelId);
    // Goes back to the number its display names give.
    bool resetChannelNumber(const QString& channelId);

    // The programmes of the local day holding `localDay` (those that overlap
    // it) on mapped channels, by tuner channel then start: a grid's day.
    QList<Programme> dayProgrammes(DateTime localDay);
    // Programmes whose title holds `text` (without regard to case) and that
    // have not ended at `notEndedBeforeUtc`, by start, at most `limit`.
    QList<Programme> search(const QString& text, int limit, qint64 notEndedBeforeUtc = 0);
    std::optional<Programme> programme(qint64 id);
    int programmeCount();

    // Adds a rule (or finds the same one); its id, 0 on failure.
    qint64 addSeriesRule(const QString& title, const QString& channelId);
    QList<SeriesRule> seriesRules();
    bool removeSeriesRule(qint64 id);
    // The showings, starting at or after `fromUtc`, that rules match and that
    // no earlier call handed out, by start. Showings `isScheduled` answers
    // true for are left out and count as handled. After scheduling (or
    // listing a conflicting one), call markSeriesShowingsHandled so that a
    // later import does not offer them again.
    QList<SeriesShowing> newSeriesShowings(qint64 fromUtc,
                                           const std::function<bool(const Programme&)>& isScheduled = {});
    bool markSeriesShowingsHandled(const QList<SeriesShowing>& showings);

private:
    bool fail(const QString& what);
    QList<Programme> readProgrammes(detail::Statement& s, QList<qint64>* ruleIds = nullptr);

    std::unique_ptr<detail::Database> m_db;
    QString m_path;
    QString m_error;
};

// The default tuner channel of an XMLTV channel: the first number in its
// display names when it is a tuner channel, else 0.
int defaultChannelNumber(const QStringList& displayNames);

} // namespace vesper::listings
