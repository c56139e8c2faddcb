#include "listings/guide_store.h"

#include "listings/sqlite_db.h"
#include "listings/xmltv_time.h"
#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>

namespace vesper::listings {

using detail::Database;
using detail::Statement;

namespace {

constexpr int kSchemaVersion = 1;

// The channel's tuner number: the user's choice when there is one, else the
// number the display names gave.
constexpr const char* kNumber = "(CASE WHEN m.id IS NULL THEN c.default_number ELSE m.number END)";

const QString& programmeColumns() {
    static const QString columns = QStringLiteral("p.id, p.channel, COALESCE(c.name, p.channel), %1, p.start, p.stop, "
                                                  "p.stop_given, p.title, p.sub_title, p.description, p.categories")
                                       .arg(kNumber);
    return columns;
}

// Each programme with its channel and the channel's mapping.
constexpr const char* kProgrammeJoins =
    " LEFT JOIN channels c ON c.id = p.channel LEFT JOIN channel_map m ON m.id = p.channel ";

QByteArray programmeQuery(const QString& rest, const char* from = "FROM programmes p") {
    return (QStringLiteral("SELECT ") + programmeColumns() + u' ' + QLatin1String(from) +
            QLatin1String(kProgrammeJoins) + rest)
        .toUtf8();
}

} // namespace

int defaultChannelNumber(const QStringList& displayNames) {
    for (const QString& name : displayNames) {
        for (qsizetype i = 0; i < name.size(); ++i) {
            if (!name[i].isDigit()) continue;
            qsizetype j = i;
            while (j < name.size() && name[j].isDigit())
                ++j;
            bool ok = false;
            const int n = j - i <= 4 ? name.mid(i, j - i).toInt(&ok) : 0;
            return ok && n >= kFirstTunerChannel && n <= kLastTunerChannel ? n : 0;
        }
    }
    return 0;
}

GuideStore::GuideStore() = default;
GuideStore::~GuideStore() = default;

QString GuideStore::defaultPath() { return QString::fromStdString(joinPath(programFolder(), kGuideDatabaseName)); }

bool GuideStore::fail(const QString& what) {
    m_error = what;
    return false;
}

bool GuideStore::isOpen() const { return m_db != nullptr; }

bool GuideStore::open(const QString& path) {
    m_db.reset();
    m_path = path;
    m_error.clear();
    if (QFileInfo(path).isDir()) return fail(QStringLiteral("\"%1\" is a folder, not a guide database").arg(path));
    auto db = std::make_unique<Database>();
    if (!db->open(path))
        return fail(QStringLiteral("the guide database \"%1\" cannot be opened: %2").arg(path, db->lastError()));
    // WAL lets programs read the old guide while an import writes the new.
    Statement version = db->prepare("PRAGMA user_version");
    if (!version.valid() || version.step() != SQLITE_ROW)
        return fail(QStringLiteral("\"%1\" is not a guide database: %2").arg(path, db->lastError()));
    const qint64 found = version.integer(0);
    version = Statement();
    if (found > kSchemaVersion)
        return fail(QStringLiteral("the guide database \"%1\" was written by a newer Vesper").arg(path));
    {
        // A database of something else: never add our tables to it.
        Statement tables = db->prepare("SELECT COUNT(*), SUM(name = 'programmes') FROM sqlite_master");
        if (tables.step() != SQLITE_ROW || (tables.integer(0) != 0 && tables.integer(1) == 0))
            return fail(QStringLiteral("\"%1\" is not a guide database: it holds tables of another kind").arg(path));
    }
    db->exec("PRAGMA journal_mode=WAL");
    const bool ok = db->exec("BEGIN IMMEDIATE") &&
                    db->exec("CREATE TABLE IF NOT EXISTS channels(id TEXT PRIMARY KEY, name TEXT NOT NULL, "
                             "names TEXT NOT NULL, default_number INTEGER, position INTEGER NOT NULL);"
                             "CREATE TABLE IF NOT EXISTS channel_map(id TEXT PRIMARY KEY, number INTEGER);"
                             "CREATE TABLE IF NOT EXISTS programmes(id INTEGER PRIMARY KEY, channel TEXT NOT NULL, "
                             "start INTEGER NOT NULL, stop INTEGER NOT NULL, stop_given INTEGER NOT NULL, "
                             "title TEXT NOT NULL, title_key TEXT NOT NULL, sub_title TEXT NOT NULL, "
                             "description TEXT NOT NULL, categories TEXT NOT NULL, UNIQUE(channel, start));"
                             "CREATE INDEX IF NOT EXISTS programmes_start ON programmes(start);"
                             "CREATE TABLE IF NOT EXISTS series_rules(id INTEGER PRIMARY KEY, title TEXT NOT NULL, "
                             "title_key TEXT NOT NULL, channel TEXT NOT NULL, UNIQUE(title_key, channel));"
                             "CREATE TABLE IF NOT EXISTS series_handled(rule INTEGER NOT NULL, start INTEGER NOT NULL, "
                             "PRIMARY KEY(rule, start));"
                             "PRAGMA user_version = 1;") &&
                    db->exec("COMMIT");
    if (!ok) {
        const QString why = db->lastError();
        db->exec("ROLLBACK");
        return fail(QStringLiteral("the guide database \"%1\" cannot be used: %2").arg(path, why));
    }
    m_db = std::move(db);
    return true;
}

QList<Channel> GuideStore::channels() {
    QList<Channel> out;
    if (!m_db) return out;
    Statement s = m_db->prepare(QStringLiteral("SELECT c.id, c.name, c.names, c.default_number, %1, m.id IS NOT NULL "
                                               "FROM channels c LEFT JOIN channel_map m ON m.id = c.id "
                                               "ORDER BY c.position")
                                    .arg(kNumber)
                                    .toUtf8()
                                    .constData());
    while (s.step() == SQLITE_ROW) {
        Channel c;
        c.id = s.text(0);
        c.name = s.text(1);
        c.displayNames = s.text(2).split(u'\n', Qt::SkipEmptyParts);
        c.defaultNumber = static_cast<int>(s.integer(3));
        c.number = static_cast<int>(s.integer(4));
        c.userMapped = s.integer(5) != 0;
        out << c;
    }
    return out;
}

bool GuideStore::setChannelNumber(const QString& channelId, int number) {
    if (!m_db) return fail("the guide database is not open");
    if (number < kFirstTunerChannel || number > kLastTunerChannel)
        return fail(QStringLiteral("%1 is not a tuner channel (%2 to %3)")
                        .arg(number)
                        .arg(kFirstTunerChannel)
                        .arg(kLastTunerChannel));
    Statement s = m_db->prepare("INSERT OR REPLACE INTO channel_map(id, number) VALUES(?1, ?2)");
    return s.bind(1, channelId).bind(2, number).run() || fail(m_db->lastError());
}

bool GuideStore::clearChannelNumber(const QString& channelId) {
    if (!m_db) return fail("the guide database is not open");
    Statement s = m_db->prepare("INSERT OR REPLACE INTO channel_map(id, number) VALUES(?1, NULL)");
    return s.bind(1, channelId).run() || fail(m_db->lastError());
}

bool GuideStore::resetChannelNumber(const QString& channelId) {
    if (!m_db) return fail("the guide database is not open");
    Statement s = m_db->prepare("DELETE FROM channel_map WHERE id = ?1");
    return s.bind(1, channelId).run() || fail(m_db->lastError());
}

QList<Programme> GuideStore::readProgrammes(Statement& s, QList<qint64>* ruleIds) {
    QList<Programme> out;
    int rc;
    while ((rc = s.step()) == SQLITE_ROW) {
        Programme p;
        p.id = s.integer(0);
        p.channelId = s.text(1);
        p.channelName = s.text(2);
        p.tunerChannel = static_cast<int>(s.integer(3));
        p.startUtc = s.integer(4);
        p.stopUtc = s.integer(5);
        p.stopGiven = s.integer(6) != 0;
        p.title = s.text(7);
        p.subTitle = s.text(8);
        p.description = s.text(9);
        p.categories = s.text(10).split(u'\n', Qt::SkipEmptyParts);
        if (ruleIds) *ruleIds << s.integer(11);
        out << p;
    }
    if (rc != SQLITE_DONE) fail(m_db->lastError());
    return out;
}

QList<Programme> GuideStore::dayProgrammes(DateTime localDay) {
    if (!m_db) return {};
    const UtcRange day = localDayRange(localDay);
    const QByteArray sql = programmeQuery(
        QStringLiteral("WHERE p.start < ?2 AND p.stop > ?1 AND %1 IS NOT NULL ORDER BY %1, c.position, p.start")
            .arg(kNumber));
    Statement s = m_db->prepare(sql.constData());
    s.bind(1, day.begin).bind(2, day.end);
    return readProgrammes(s);
}

QList<Programme> GuideStore::search(const QString& text, int limit, qint64 notEndedBeforeUtc) {
    const QString key = text.trimmed().toCaseFolded();
    if (!m_db || key.isEmpty() || limit <= 0) return {};
    const QByteArray sql = programmeQuery(
        QStringLiteral("WHERE instr(p.title_key, ?1) > 0 AND p.stop > ?2 ORDER BY p.start, %1, p.channel LIMIT ?3")
            .arg(kNumber));
    Statement s = m_db->prepare(sql.constData());
    s.bind(1, key).bind(2, notEndedBeforeUtc).bind(3, limit);
    return readProgrammes(s);
}

std::optional<Programme> GuideStore::programme(qint64 id) {
    if (!m_db) return std::nullopt;
    const QByteArray sql = programmeQuery(QStringLiteral("WHERE p.id = ?1"));
    Statement s = m_db->prepare(sql.constData());
    s.bind(1, id);
    const QList<Programme> found = readProgrammes(s);
    return found.isEmpty() ? std::nullopt : std::optional<Programme>(found.first());
}

int GuideStore::programmeCount() {
    if (!m_db) return 0;
    Statement s = m_db->prepare("SELECT COUNT(*) FROM programmes");
    return s.step() == SQLITE_ROW ? static_cast<int>(s.integer(0)) : 0;
}

qint64 GuideStore::addSeriesRule(const QString& title, const QString& channelId) {
    if (!m_db) return fail("the guide database is not open"), 0;
    const QString t = title.trimmed();
    if (t.isEmpty() || channelId.isEmpty()) return fail("a series rule needs a title and a channel"), 0;
    Statement add = m_db->prepare("INSERT OR IGNORE INTO series_rules(title, title_key, channel) VALUES(?1, ?2, ?3)");
    if (!add.bind(1, t).bind(2, t.toCaseFolded()).bind(3, channelId).run()) return fail(m_db->lastError()), 0;
    Statement find = m_db->prepare("SELECT id FROM series_rules WHERE title_key = ?1 AND channel = ?2");
    find.bind(1, t.toCaseFolded()).bind(2, channelId);
    return find.step() == SQLITE_ROW ? find.integer(0) : 0;
}

QList<SeriesRule> GuideStore::seriesRules() {
    QList<SeriesRule> out;
    if (!m_db) return out;
    Statement s = m_db->prepare("SELECT id, title, channel FROM series_rules ORDER BY id");
    while (s.step() == SQLITE_ROW)
        out << SeriesRule{s.integer(0), s.text(1), s.text(2)};
    return out;
}

bool GuideStore::removeSeriesRule(qint64 id) {
    if (!m_db) return fail("the guide database is not open");
    Statement a = m_db->prepare("DELETE FROM series_rules WHERE id = ?1");
    Statement b = m_db->prepare("DELETE FROM series_handled WHERE rule = ?1");
    return (a.bind(1, id).run() && b.bind(1, id).run()) || fail(m_db->lastError());
}

QList<SeriesShowing> GuideStore::newSeriesShowings(qint64 fromUtc,
                                                   const std::function<bool(const Programme&)>& isScheduled) {
    QList<SeriesShowing> out;
    if (!m_db) return out;
    const QByteArray sql = programmeQuery(
        QStringLiteral("WHERE p.start >= ?1 AND NOT EXISTS (SELECT 1 FROM series_handled h WHERE h.rule = r.id AND "
                       "h.start = p.start) ORDER BY p.start, r.id"),
        ", r.id FROM series_rules r JOIN programmes p ON p.channel = r.channel AND p.title_key = r.title_key");
    Statement s = m_db->prepare(sql.constData());
    if (!s.valid()) return fail(m_db->lastError()), out;
    s.bind(1, fromUtc);
    QList<qint64> rules;
    const QList<Programme> rows = readProgrammes(s, &rules);
    QList<SeriesShowing> already;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (isScheduled && isScheduled(rows[i]))
            already << SeriesShowing{rules[i], rows[i]};
        else
            out << SeriesShowing{rules[i], rows[i]};
    }
    if (!already.isEmpty()) markSeriesShowingsHandled(already);
    return out;
}

bool GuideStore::markSeriesShowingsHandled(const QList<SeriesShowing>& showings) {
    if (!m_db) return fail("the guide database is not open");
    if (!m_db->exec("BEGIN IMMEDIATE")) return fail(m_db->lastError());
    Statement s = m_db->prepare("INSERT OR IGNORE INTO series_handled(rule, start) VALUES(?1, ?2)");
    for (const SeriesShowing& showing : showings) {
        s.reset();
        if (!s.bind(1, showing.ruleId).bind(2, showing.programme.startUtc).run()) {
            const QString why = m_db->lastError();
            s = Statement();
            m_db->exec("ROLLBACK");
            return fail(why);
        }
    }
    s = Statement();
    return m_db->exec("COMMIT") || fail(m_db->lastError());
}

} // namespace vesper::listings
