#include "listings/xmltv_time.h"

namespace vesper::listings {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
qint64 daysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - static_cast<int>(era * 400);
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

// The number of `count` digits at `pos`, -1 when they are not all digits.
int digits(QStringView s, qsizetype pos, int count) {
    int v = 0;
    for (int i = 0; i < count; ++i) {
        const QChar c = s[pos + i];
        if (c < u'0' || c > u'9') return -1;
        v = v * 10 + (c.unicode() - u'0');
    }
    return v;
}

} // namespace

std::optional<qint64> parseXmltvTime(QStringView text) {
    text = text.trimmed();
    qsizetype n = 0;
    while (n < text.size() && text[n] >= u'0' && text[n] <= u'9')
        ++n;
    if (n != 8 && n != 10 && n != 12 && n != 14) return std::nullopt;
    const int year = digits(text, 0, 4), month = digits(text, 4, 2), day = digits(text, 6, 2);
    const int hour = n >= 10 ? digits(text, 8, 2) : 0;
    const int minute = n >= 12 ? digits(text, 10, 2) : 0;
    const int second = n >= 14 ? digits(text, 12, 2) : 0;
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return std::nullopt;

    int offset = 0;
    const QStringView zone = text.mid(n).trimmed();
    if (zone.isEmpty() || zone == u"UTC" || zone == u"GMT" || zone == u"Z") {
        offset = 0;
    } else if (zone == u"BST") {
        offset = 3600;
    } else if (zone.size() == 5 && (zone[0] == u'+' || zone[0] == u'-')) {
        const int hh = digits(zone, 1, 2), mm = digits(zone, 3, 2);
        if (hh < 0 || mm < 0 || hh > 14 || mm > 59) return std::nullopt;
        offset = (zone[0] == u'-' ? -1 : 1) * (hh * 3600 + mm * 60);
    } else {
        return std::nullopt;
    }
    return daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second - offset;
}

UtcRange localDayRange(DateTime local) {
    const DateTime midnight = dayStart(local);
    return {utcFromLocal(midnight), utcFromLocal(midnight + 1)};
}

} // namespace vesper::listings
