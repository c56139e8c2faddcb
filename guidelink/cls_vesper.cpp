#include "guidelink/cls_vesper.h"

#include "platform/ui/qt_ui_seam.h"

#include "platform/errors.h"

#include <QString>
#include <QStringDecoder>

#include <cctype>
#include <cstdio>
#include <ctime>

namespace vesper::guidelink {

namespace {

constexpr const char* kErrorSource = "Guidelink";

bool equalsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool allDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

[[noreturn]] void badStart(const std::string& st) {
    raiseError(err::TypeMismatch, kErrorSource, "Start not understood: \"" + st + "\"");
}

std::string formatUtc(time_t t) {
    struct tm u {};
    gmtime_r(&t, &u);
    char buf[80];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", u.tm_year + 1900, u.tm_mon + 1, u.tm_mday,
                  u.tm_hour, u.tm_min, u.tm_sec);
    return buf;
}

} // namespace

std::string linkValue(const std::string& link, const std::string& key) {
    // The address up to "?" is not a pair: without this a key that comes
    // first in the query would never be found.
    const auto q = link.find('?');
    const auto firstEq = link.find('=');
    const bool address = q != std::string::npos && (firstEq == std::string::npos || q < firstEq);
    const std::string query = address ? link.substr(q + 1) : link;
    size_t pos = 0;
    while (pos <= query.size()) {
        const auto amp = query.find('&', pos);
        const std::string token = query.substr(pos, amp == std::string::npos ? std::string::npos : amp - pos);
        if (token.empty()) break;
        const auto eq = token.find('=');
        if (eq == std::string::npos)
            raiseError(err::InvalidCall, kErrorSource, "A part of the link has no \"=\": \"" + token + "\"");
        if (equalsNoCase(token.substr(0, eq), key)) return token.substr(eq + 1);
        if (amp == std::string::npos) break;
        pos = amp + 1;
    }
    return {};
}

std::string percentDecode(const std::string& text) {
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(text.size()));
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            bytes += text[i];
            continue;
        }
        if (i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            bytes += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        }
        // A "%" without two hexadecimal digits is dropped.
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(bytes);
    if (!utf8.hasError()) return decoded.toStdString();
    // Old listing pages escape their own 8-bit code page.
    return QString::fromLatin1(bytes).toStdString();
}

std::string listingStartToUtc(const std::string& st) {
    if (st.size() < 15) badStart(st);
    const std::string y = st.substr(0, 4), mo = st.substr(4, 2), d = st.substr(6, 2), h = st.substr(9, 2),
                      mi = st.substr(11, 2), s = st.substr(13, 2);
    if (!allDigits(y) || !allDigits(mo) || !allDigits(d) || !allDigits(h) || !allDigits(mi) || !allDigits(s))
        badStart(st);
    struct tm t {};
    t.tm_year = std::stoi(y) - 1900;
    t.tm_mon = std::stoi(mo) - 1;
    t.tm_mday = std::stoi(d);
    t.tm_hour = std::stoi(h);
    t.tm_min = std::stoi(mi);
    t.tm_sec = std::stoi(s);
    static const int daysIn[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int year = t.tm_year + 1900;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (year < 1900 || t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_mday > daysIn[t.tm_mon] ||
        (t.tm_mon == 1 && t.tm_mday == 29 && !leap) || t.tm_hour > 23 || t.tm_min > 59 || t.tm_sec > 59)
        badStart(st);

    if (st.size() >= 16 && (st[15] == 'Z' || st[15] == 'z')) {
        // The time's own offset from UTC in whole hours; empty means UTC.
        std::string offset = st.substr(16, 3);
        while (!offset.empty() && offset.back() == ' ')
            offset.pop_back();
        while (!offset.empty() && offset.front() == ' ')
            offset.erase(0, 1);
        int hours = 0;
        if (!offset.empty()) {
            const bool negative = offset[0] == '-';
            const std::string digits = (offset[0] == '-' || offset[0] == '+') ? offset.substr(1) : offset;
            if (!allDigits(digits)) badStart(st);
            hours = std::stoi(digits) * (negative ? -1 : 1);
            if (hours < -23 || hours > 23) badStart(st);
        }
        return formatUtc(timegm(&t) - static_cast<time_t>(hours) * 3600);
    }
    // Local time: the zone's offset at that instant, daylight saving and
    // half-hour zones included.
    tzset();
    t.tm_isdst = -1;
    const time_t local = mktime(&t);
    if (local == static_cast<time_t>(-1)) badStart(st);
    return formatUtc(local);
}

std::optional<Listing> decodeListing(const std::string& link) {
    const std::string title = percentDecode(linkValue(link, "TITLE"));

    // "(STATION+12)": the channel after the last "+" of the last parentheses.
    const auto open = title.rfind('(');
    if (open == std::string::npos) return std::nullopt;
    const std::string tail = title.substr(open);
    const auto plus = tail.rfind('+');
    if (plus == std::string::npos) return std::nullopt;
    std::string number;
    for (char c : tail.substr(plus + 1))
        if (c != ')') number += c;
    long channel = 0;
    for (char c : number) {
        if (c < '0' || c > '9') break;
        channel = channel * 10 + (c - '0');
        if (channel > 32767) return std::nullopt; // not a channel any tuner has
    }
    if (channel == 0) return std::nullopt;

    Listing l;
    l.channel = static_cast<int16_t>(channel);
    l.station = tail.substr(1, plus - 1);
    std::string before = title.substr(0, open);
    for (char& c : before)
        if (c == '+') c = ' ';
    if (!before.empty() && before.back() == ' ') {
        before.pop_back();
        l.programTitle = before;
    } else {
        l.programTitle = title;
    }
    l.start = listingStartToUtc(linkValue(link, "ST"));
    const std::string dur = linkValue(link, "DUR");
    if (!dur.empty()) l.duration = dur.substr(0, 2) + ":" + (dur.size() > 2 ? dur.substr(2, 2) : std::string());
    l.fileName = l.station + " - " + l.programTitle;
    return l;
}

std::string xmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            // Control characters are not allowed in an XML document at all.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
                out += ' ';
            else
                out += c;
        }
    }
    return out;
}

std::string programEventDocument(const Listing& l) {
    std::string doc = "<?xml version=\"1.0\"?><TvProgramEvents><TvProgramEvent>";
    doc += "<channel>" + std::to_string(l.channel) + "</channel>";
    if (!l.duration.empty()) doc += "<duration>" + xmlEscape(l.duration) + "</duration>";
    if (!l.fileName.empty()) doc += "<filename>" + xmlEscape(l.fileName) + "</filename>";
    doc += "<start>" + xmlEscape(l.start) + "</start>";
    doc += "</TvProgramEvent></TvProgramEvents>";
    return doc;
}

SchOutcome sch(const std::string& link, const ComponentFactory& createObject, QWidget* owner) {
    const auto listing = decodeListing(link);
    if (!listing) return {SchResult::NoChannel, "The link holds no channel."};
    std::string document = programEventDocument(*listing);

    ObjectPtr pipe = createObject ? createObject("Msgpipe.clsObject") : nullptr;
    if (!pipe) raiseError(err::CannotCreateObject, kErrorSource, "Msgpipe.clsObject");

    if (!pipe->call("IIsAppLoadComplete").toBool()) {
        if (!pipe->call("IStartApp").toBool()) {
            MsgBox(owner, kNotStartedMessage, vbCritical, kMessageTitle);
            return {SchResult::NotSent, kNotStartedMessage};
        }
        bool ready = false;
        for (int count = 0; count <= 45; ++count) {
            if (pipe->call("IIsAppLoadComplete").toBool()) {
                ready = true;
                break;
            }
            Args one{Variant(int16_t(1))};
            pipe->call("IWaitInSeconds", one);
        }
        if (!ready) {
            MsgBox(owner, kTimeoutMessage, vbOKOnly, kMessageTitle);
            return {SchResult::NotSent, kTimeoutMessage};
        }
    }
    Args doc{Variant(document)};
    if (!pipe->call("ISendMessage", doc).toBool()) {
        MsgBox(owner, kNotTakenMessage, vbCritical, kMessageTitle);
        return {SchResult::NotSent, kNotTakenMessage};
    }
    return {SchResult::Sent, {}};
}

namespace {

class clsVesper : public DispatchObject {
public:
    clsVesper() : DispatchObject(kErrorSource) {
        method("sch", [this](Args& a) -> Variant {
            expectArgs(a, 1, 1);
            const auto outcome =
                guidelink::sch(arg(a, 0).toString(), [](const std::string& id) { return TryCreateObject(id); });
            return outcome.result == SchResult::Sent;
        });
    }
    std::string className() const override { return "clsVesper"; }
};

} // namespace

Object* newClsVesper() { return new clsVesper(); }

} // namespace vesper::guidelink
