// The XMLTV reader: a streaming pass over the file that writes channels and
// programmes into the guide database inside one transaction, so that any
// failure leaves the previous guide in place.
#include "listings/guide_store.h"
#include "listings/sqlite_db.h"
#include "listings/xmltv_time.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QXmlStreamReader>

namespace vesper::listings {

using detail::Database;
using detail::Statement;

QString ImportResult::summary() const {
    if (!ok) return QStringLiteral("Import failed: %1; the previous guide is kept").arg(error);
    return QStringLiteral("Imported %1 programmes on %2 channels").arg(programmes).arg(channels);
}

namespace {

QString mebibytes(qint64 bytes) { return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1) + " MiB"; }

class XmltvReader {
public:
    XmltvReader(Database& db, QIODevice& in, const ImportLimits& limits, const std::atomic_bool* cancel)
        : m_db(db), m_reader(&in), m_limits(limits), m_cancel(cancel) {}

    // Reads the whole document into the open transaction; false with error().
    bool run(ImportResult& result) {
        m_channel = m_db.prepare("INSERT INTO channels(id, name, names, default_number, position) "
                                 "VALUES(?1, ?2, ?3, ?4, ?5) ON CONFLICT(id) DO UPDATE SET name = excluded.name, "
                                 "names = excluded.names, default_number = excluded.default_number");
        m_programme = m_db.prepare(
            "INSERT OR IGNORE INTO programmes(channel, start, stop, stop_given, title, title_key, sub_title, "
            "description, categories) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
        if (!m_channel.valid() || !m_programme.valid()) return fail(m_db.lastError());

        bool rootSeen = false;
        while (!m_reader.atEnd()) {
            const auto token = m_reader.readNext();
            if (token == QXmlStreamReader::DTD) {
                // XMLTV needs no entity beyond the predefined ones; an internal
                // subset is how entity bombs and external fetches come in.
                if (!m_reader.entityDeclarations().isEmpty() || m_reader.text().contains(u'['))
                    return failAt("the document declares entities in its DOCTYPE, which XMLTV never needs; it is "
                                  "refused");
            } else if (token == QXmlStreamReader::EntityReference) {
                return failAt(QStringLiteral("the entity \"&%1;\" is not one of XML's own").arg(m_reader.name()));
            } else if (token == QXmlStreamReader::StartElement) {
                if (!rootSeen) {
                    if (m_reader.name() != u"tv")
                        return failAt(QStringLiteral("the root element is <%1>, not <tv>: this is not an XMLTV file")
                                          .arg(m_reader.name()));
                    rootSeen = true;
                    continue;
                }
                bool ok;
                if (m_reader.name() == u"channel")
                    ok = readChannel();
                else if (m_reader.name() == u"programme")
                    ok = readProgramme(result);
                else
                    ok = skipElement(2);
                if (!ok) {
                    if (m_reader.hasError()) return malformed();
                    return m_error.isEmpty() ? fail("the listings end in the middle of an element") : false;
                }
            }
            if (m_reader.characterOffset() > m_limits.maxBytes)
                return fail(
                    QStringLiteral("the listings are larger than the limit of %1").arg(mebibytes(m_limits.maxBytes)));
        }
        if (m_reader.hasError()) return malformed();
        if (!rootSeen) return fail("the file holds no XML element");
        return true;
    }

    QString error() const { return m_error; }

private:
    bool fail(const QString& what) {
        m_error = what;
        return false;
    }
    bool failAt(const QString& what) {
        return fail(QStringLiteral("line %1: %2").arg(m_reader.lineNumber()).arg(what));
    }
    bool malformed() {
        if (!m_error.isEmpty()) return false;
        if (m_reader.characterOffset() == 0) return fail("the listings are empty");
        return fail(QStringLiteral("line %1, column %2: the XML is malformed: %3")
                        .arg(m_reader.lineNumber())
                        .arg(m_reader.columnNumber())
                        .arg(m_reader.errorString()));
    }
    bool cancelled() { return m_cancel && m_cancel->load() && !fail("the import was cancelled"); }

    // Reads the text of the current element (nested elements contribute
    // their text), within the length limit.
    bool readText(QString& out, int depth) {
        out.clear();
        int open = 1;
        while (open > 0) {
            switch (m_reader.readNext()) {
            case QXmlStreamReader::Characters:
                if (out.size() + m_reader.text().size() > m_limits.maxTextChars)
                    return failAt(QStringLiteral("a text longer than %1 characters").arg(m_limits.maxTextChars));
                out += m_reader.text();
                break;
            case QXmlStreamReader::StartElement:
                if (depth + open >= m_limits.maxDepth) return failAt("elements nest too deeply");
                ++open;
                break;
            case QXmlStreamReader::EndElement: --open; break;
            case QXmlStreamReader::EntityReference:
                return failAt(QStringLiteral("the entity \"&%1;\" is not one of XML's own").arg(m_reader.name()));
            case QXmlStreamReader::Invalid: return false;
            default: break;
            }
            if (m_reader.atEnd()) return false;
        }
        out = out.trimmed();
        return true;
    }

    bool skipElement(int depth) {
        QString ignored;
        return readText(ignored, depth);
    }

    bool readChannel() {
        const QString id = m_reader.attributes().value(QLatin1String("id")).toString().trimmed();
        if (id.isEmpty()) return failAt("a <channel> without an \"id\" attribute");
        QStringList names;
        while (m_reader.readNextStartElement()) {
            if (m_reader.name() == u"display-name") {
                QString name;
                if (!readText(name, 3)) return false;
                if (!name.isEmpty()) names << name;
            } else if (!skipElement(3)) {
                return false;
            }
        }
        if (m_reader.hasError()) return false;
        storeChannel(id, names);
        return m_error.isEmpty();
    }

    void storeChannel(const QString& id, const QStringList& names) {
        const int number = defaultChannelNumber(names);
        m_channel.reset();
        m_channel.bind(1, id).bind(2, names.value(0, id)).bind(3, names.join(u'\n')).bind(5, m_position++);
        if (number)
            m_channel.bind(4, number);
        else
            m_channel.bindNull(4);
        if (!m_channel.run()) fail(m_db.lastError());
        m_channels.insert(id);
    }

    bool readTime(const QString& name, const QString& text, qint64& out) {
        const auto t = parseXmltvTime(text);
        if (!t)
            return failAt(QStringLiteral("the %1 time \"%2\" is not an XMLTV time (such as \"20040420200000 +0200\")")
                              .arg(name, text.left(40)));
        out = *t;
        return true;
    }

    bool readProgramme(ImportResult& result) {
        if (cancelled()) return false;
        const auto attributes = m_reader.attributes();
        const QString channel = attributes.value(QLatin1String("channel")).toString().trimmed();
        if (!attributes.hasAttribute(QLatin1String("start")))
            return failAt("a <programme> without a \"start\" attribute");
        if (channel.isEmpty()) return failAt("a <programme> without a \"channel\" attribute");
        qint64 start = 0, stop = 0;
        if (!readTime("start", attributes.value(QLatin1String("start")).toString(), start)) return false;
        const bool hasStop = attributes.hasAttribute(QLatin1String("stop"));
        if (hasStop && !readTime("stop", attributes.value(QLatin1String("stop")).toString(), stop)) return false;
        const qint64 line = m_reader.lineNumber();

        QString title, subTitle, description, text;
        QStringList categories;
        while (m_reader.readNextStartElement()) {
            const auto name = m_reader.name();
            QString* target = name == u"title"       ? &title
                              : name == u"sub-title" ? &subTitle
                              : name == u"desc"      ? &description
                                                     : &text;
            if (!readText(text, 3)) return false;
            if (name == u"category" && !text.isEmpty() && !categories.contains(text))
                categories << QString(text).replace(u'\n', u' ');
            else if (target != &text && target->isEmpty())
                *target = text; // the first of several languages
        }
        if (m_reader.hasError()) return false;
        if (title.isEmpty()) return fail(QStringLiteral("line %1: a <programme> without a <title>").arg(line));

        if (!m_channels.contains(channel)) storeChannel(channel, {});
        // A stop at or before the start is as good as none.
        const bool stopGiven = hasStop && stop > start;
        m_programme.reset();
        m_programme.bind(1, channel)
            .bind(2, start)
            .bind(3, stopGiven ? stop : start)
            .bind(4, stopGiven ? 1 : 0)
            .bind(5, title)
            .bind(6, title.toCaseFolded())
            .bind(7, subTitle)
            .bind(8, description)
            .bind(9, categories.join(u'\n'));
        if (!m_programme.run()) return fail(m_db.lastError());
        result.programmes += sqlite3_changes(m_db.handle());
        return m_error.isEmpty();
    }

    Database& m_db;
    QXmlStreamReader m_reader;
    ImportLimits m_limits;
    const std::atomic_bool* m_cancel;
    Statement m_channel, m_programme;
    QSet<QString> m_channels;
    qint64 m_position = 0;
    QString m_error;
};

} // namespace

ImportResult GuideStore::importXmltv(QIODevice& in, const ImportLimits& limits, const std::atomic_bool* cancel) {
    ImportResult result;
    if (!isOpen()) {
        result.error = m_error.isEmpty() ? QStringLiteral("the guide database is not open") : m_error;
        return result;
    }
    if (!in.isSequential() && in.size() > limits.maxBytes) {
        result.error = QStringLiteral("the listings are %1, more than the limit of %2")
                           .arg(mebibytes(in.size()), mebibytes(limits.maxBytes));
        return result;
    }
    Database& db = *m_db;
    if (!db.exec("BEGIN IMMEDIATE")) {
        result.error = QStringLiteral("the guide database cannot be written: %1").arg(db.lastError());
        return result;
    }
    const auto abandon = [&](const QString& why) {
        db.exec("ROLLBACK");
        result = ImportResult{};
        result.error = why;
        return result;
    };
    if (!db.exec("DELETE FROM programmes") || !db.exec("DELETE FROM channels")) return abandon(db.lastError());

    XmltvReader reader(db, in, limits, cancel);
    if (!reader.run(result)) return abandon(reader.error());
    if (result.programmes == 0) return abandon("the listings hold no programmes");

    // A programme without a stop ends when the next one on its channel starts.
    Statement fill = db.prepare("UPDATE programmes SET stop = COALESCE((SELECT MIN(q.start) FROM programmes q "
                                "WHERE q.channel = programmes.channel AND q.start > programmes.start), start + ?1) "
                                "WHERE stop_given = 0");
    fill.bind(1, qint64(limits.defaultLengthMinutes) * 60);
    if (!fill.run()) return abandon(db.lastError());
    result.stopsFilled = sqlite3_changes(db.handle());
    Statement count = db.prepare("SELECT COUNT(*) FROM channels");
    result.channels = count.step() == SQLITE_ROW ? static_cast<int>(count.integer(0)) : 0;
    count = Statement();
    fill = Statement();
    if (!db.exec("COMMIT"))
        return abandon(QStringLiteral("the guide database cannot be written: %1").arg(db.lastError()));
    result.ok = true;
    return result;
}

ImportResult GuideStore::importXmltvFile(const QString& xmltvPath, const ImportLimits& limits,
                                         const std::atomic_bool* cancel) {
    ImportResult result;
    const QFileInfo info(xmltvPath);
    if (!info.exists()) {
        result.error = QStringLiteral("the file \"%1\" does not exist").arg(xmltvPath);
        return result;
    }
    if (!info.isFile()) {
        result.error = QStringLiteral("\"%1\" is not a file").arg(xmltvPath);
        return result;
    }
    QFile file(xmltvPath);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = QStringLiteral("the file \"%1\" cannot be read: %2").arg(xmltvPath, file.errorString());
        return result;
    }
    result = importXmltv(file, limits, cancel);
    if (!result.ok) result.error = QStringLiteral("%1: %2").arg(QFileInfo(xmltvPath).fileName(), result.error);
    return result;
}

} // namespace vesper::listings
