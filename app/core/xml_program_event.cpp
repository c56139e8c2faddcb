#include "app/core/xml_program_event.h"

#include "app/core/status_log.h"
#include "platform/handover/handover_protocol.h"
#include "platform/ui/ui_seam.h"
#include "scheduler/event_rules.h"

#include "platform/errors.h"

#include <QDomDocument>
#include <QXmlStreamReader>

#include <ctime>
#include <regex>

namespace vesper {

namespace {

constexpr const char* kErrorSource = "Vesper";

// The dialog's rule (MakeValidFilename), and no longer a name than the
// dialog schedules: the part before a ".wmv" is cut to the same length.
std::string cleanFileName(const std::string& text) {
    std::string name = MakeValidFilename(text);
    const bool wmv =
        name.size() >= 4 &&
        QString::fromStdString(name.substr(name.size() - 4)).compare(QLatin1String(".wmv"), Qt::CaseInsensitive) == 0;
    const size_t stem = wmv ? name.size() - 4 : name.size();
    if (stem <= kMaxFileStemLength) return name;
    return name.substr(0, kMaxFileStemLength) + (wmv ? name.substr(stem) : std::string());
}

// Parses the document; on failure `reason` says why. A DOCTYPE is refused
// before anything of it is used, so internal or external entities are never
// expanded: the check runs a streaming pass first and the DOM is built only
// from a document that passed it.
bool loadXML(const std::string& document, QDomDocument& dom, std::string& reason) {
    if (document.size() > handover::kHandOverMaxBytes) {
        reason = "The document is longer than " + std::to_string(handover::kHandOverMaxBytes) + " bytes.";
        return false;
    }
    const QString text = QString::fromUtf8(document.data(), static_cast<qsizetype>(document.size()));
    QXmlStreamReader reader(text);
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::DTD) {
            reason = "A DOCTYPE declaration is not allowed. Line " + std::to_string(reader.lineNumber()) +
                     ", position " + std::to_string(reader.columnNumber()) + ".";
            return false;
        }
    }
    if (reader.hasError()) {
        reason = reader.errorString().toStdString() + " Line " + std::to_string(reader.lineNumber()) + ", position " +
                 std::to_string(reader.columnNumber()) + ".";
        return false;
    }
    QString message;
    int line = 0, column = 0;
    if (!dom.setContent(text, false, &message, &line, &column)) {
        reason = message.toStdString() + " Line " + std::to_string(line) + ", position " + std::to_string(column) + ".";
        return false;
    }
    return true;
}

// A number that is no channel of the tuner goes to `refused`, so that the
// dialog can name it; text that is no number at all keeps the default.
int16_t channelFromText(const std::string& text, std::string& refused) {
    int16_t channel = 0;
    try {
        channel = Variant(text).toInt16();
    } catch (const AutomationError& e) {
        if (e.number() == err::Overflow) {
            const QString number = QString::fromStdString(text).trimmed();
            refused = number.left(40).toStdString();
        }
        throw;
    }
    // 0 is the document's "no channel" and becomes the default below; any
    // other number must be one the tuner can take.
    if (channel != 0 && (channel < kLowestChannel || channel > kHighestChannel)) {
        refused = std::to_string(channel);
        raiseError(err::InvalidCall, kErrorSource, "Channel out of range: " + text);
    }
    return channel;
}

// "90" (fewer than four characters: minutes) or "h:mm" / "hh:mm".
int16_t durationFromText(const std::string& text) {
    int32_t minutes = 0;
    if (text.size() < 4) {
        minutes = Variant(text).toInt16();
    } else {
        const auto colon = text.find(':');
        if (colon == std::string::npos) raiseError(err::SubscriptOutOfRange, kErrorSource);
        const int32_t hours = Variant(text.substr(0, colon)).toInt16();
        const int32_t rest = Variant(text.substr(colon + 1)).toInt16();
        if (hours < 0 || rest < 0) raiseError(err::InvalidCall, kErrorSource, "Duration out of range: " + text);
        minutes = hours * 60 + rest;
        if (minutes > 32767) raiseError(err::Overflow, kErrorSource);
    }
    // A negative length is never a recording.
    if (minutes < 0) raiseError(err::InvalidCall, kErrorSource, "Duration out of range: " + text);
    return static_cast<int16_t>(minutes);
}

std::string repeatFromText(const std::string& text) {
    if (text.empty() || QString::fromStdString(text).compare(QLatin1String("NO"), Qt::CaseInsensitive) == 0)
        return "once";
    // Only words the scheduler knows reach it.
    if (text == "once" || text == "day" || text == "weekdays" || text == "weekly") return text;
    raiseError(err::InvalidCall, kErrorSource, "Unknown repeat word: " + text);
}

} // namespace

std::optional<DateTime> programEventStartToLocal(const std::string& text) {
    const auto t = text.find('T');
    if (t == std::string::npos) return std::nullopt;
    static const std::regex datePattern(R"(^\s*(\d{4})-(\d{1,2})-(\d{1,2})\s*$)");
    static const std::regex timePattern(R"(^(\d{1,2}):(\d{2})(?::(\d{2}))?$)");
    std::smatch d, h;
    const std::string datePart = text.substr(0, t);
    std::string timePart = text.substr(t + 1, 8);
    if (const auto z = timePart.find_first_of("Zz"); z != std::string::npos) timePart.resize(z);
    if (!std::regex_match(datePart, d, datePattern) || !std::regex_match(timePart, h, timePattern)) return std::nullopt;
    const int year = std::stoi(d[1]), month = std::stoi(d[2]), day = std::stoi(d[3]);
    const int hour = std::stoi(h[1]), minute = std::stoi(h[2]), second = h[3].matched ? std::stoi(h[3]) : 0;
    static const int daysIn[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > daysIn[month - 1] || hour > 23 || minute > 59 ||
        second > 59)
        return std::nullopt;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && day == 29 && !leap) return std::nullopt;
    // The zone's offset at that very instant: daylight saving and
    // half-hour zones included.
    struct tm utc {};
    utc.tm_year = year - 1900;
    utc.tm_mon = month - 1;
    utc.tm_mday = day;
    utc.tm_hour = hour;
    utc.tm_min = minute;
    utc.tm_sec = second;
    tzset();
    return fromUnixLocal(static_cast<long long>(timegm(&utc)));
}

bool SetXML(Program& program, const std::string& document) {
    QDomDocument dom;
    std::string reason;
    if (!loadXML(document, dom, reason)) {
        MsgBox("loadXML() failed:  " + reason, vbCritical);
        return false;
    }

    // The event is the root's first child, whatever its name; each field is
    // the first child element of that name.
    const QDomElement event = dom.documentElement().firstChild().toElement();
    auto field = [&](const char* name) -> std::optional<std::string> {
        if (event.isNull()) return std::nullopt;
        const QDomElement e = event.firstChildElement(QLatin1String(name));
        if (e.isNull()) return std::nullopt;
        return e.text().toStdString();
    };

    ErrorTrap trap;
    std::string title, filename, repeat, duration, start;
    int16_t channel = 0, minutes = 0;
    DateTime dt = 0;
    trap.step([&] { title = field("title").value_or(""); });
    trap.step([&] { filename = field("filename").value_or(""); });
    program.refusedChannel.clear();
    std::string refused;
    trap.step([&] {
        if (auto c = field("channel")) channel = channelFromText(*c, refused);
    });
    trap.step([&] { repeat = field("repeat").value_or(""); });
    trap.step([&] { duration = field("duration").value_or(""); });
    trap.step([&] { start = field("start").value_or(""); });

    if (channel == 0) channel = kLowestChannel;
    if (!filename.empty())
        filename = cleanFileName(filename);
    else if (!title.empty())
        filename = cleanFileName(title);
    else
        filename = "DefaultFilename";
    if (duration.empty()) duration = "30";
    trap.step([&] {
        const std::string word = repeat;
        repeat = "once";
        repeat = repeatFromText(word);
    });

    trap.step([&] {
        if (start.empty()) return;
        const auto local = programEventStartToLocal(start);
        if (!local) raiseError(err::TypeMismatch, kErrorSource, "Start not understood: " + start);
        dt = *local;
    });
    trap.step([&] { minutes = durationFromText(duration); });

    trap.step([&] {
        program.currentEvent.dt = dt;
        program.currentEvent.channel = channel;
        program.currentEvent.duration = minutes;
        program.currentEvent.bActive = true;
        program.currentEvent.every = repeat;
        program.currentEvent.filename = filename;
        program.refusedChannel = refused;
    });
    if (trap.failed()) {
        LogStatus("LS0057:ERROR:M24:SetXML() Exit - " + trap.text());
        trap.clear();
    }
    return true;
}

} // namespace vesper
