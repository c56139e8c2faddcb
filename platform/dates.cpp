#include "platform/dates.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace vesper {

namespace {

constexpr long long kSecondsPerDay = 86400;

const std::array<const char*, 12> kMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                                                 "July",    "August",   "September", "October", "November", "December"};
const std::array<const char*, 7> kDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                              "Thursday", "Friday", "Saturday"};

// Days from 1 March 0000-based civil calendar (proleptic Gregorian).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

const long long kEpochDays = daysFromCivil(1899, 12, 30);

long long floorDiv(long long a, long long b) {
    long long q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

std::string pad2(int v) {
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

bool ieq(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool startsWithI(std::string_view s, size_t pos, std::string_view what) {
    return s.size() - pos >= what.size() && ieq(s.substr(pos, what.size()), what);
}

} // namespace

long long toSeconds(DateTime dt) {
    // Negative automation dates keep the time of day as a positive fraction:
    // -1.25 is 29 December 1899, 06:00.
    if (dt >= 0) return std::llround(dt * kSecondsPerDay);
    const double day = std::ceil(dt);
    const double frac = day - dt;
    return static_cast<long long>(day) * kSecondsPerDay + std::llround(frac * kSecondsPerDay);
}

DateTime fromSeconds(long long seconds) {
    const long long day = floorDiv(seconds, kSecondsPerDay);
    const long long sec = seconds - day * kSecondsPerDay;
    if (day >= 0) return static_cast<double>(day) + static_cast<double>(sec) / kSecondsPerDay;
    return static_cast<double>(day) - static_cast<double>(sec) / kSecondsPerDay;
}

DateTime makeDate(int year, int month, int day, int hour, int minute, int second) {
    // Roll the month into the year first, then let the day count carry over.
    long long m0 = static_cast<long long>(month) - 1;
    long long y = year + floorDiv(m0, 12);
    m0 -= floorDiv(m0, 12) * 12;
    const long long days = daysFromCivil(y, static_cast<unsigned>(m0 + 1), 1) + (day - 1) - kEpochDays;
    const long long secs = days * kSecondsPerDay + hour * 3600LL + minute * 60LL + second;
    return fromSeconds(secs);
}

DateTime makeDate(const DateParts& p) { return makeDate(p.year, p.month, p.day, p.hour, p.minute, p.second); }

DateParts splitDate(DateTime dt) {
    const long long secs = toSeconds(dt);
    const long long day = floorDiv(secs, kSecondsPerDay);
    long long rest = secs - day * kSecondsPerDay;
    DateParts p;
    civilFromDays(day + kEpochDays, p.year, p.month, p.day);
    p.hour = static_cast<int>(rest / 3600);
    rest %= 3600;
    p.minute = static_cast<int>(rest / 60);
    p.second = static_cast<int>(rest % 60);
    return p;
}

DateTime roundToSecond(DateTime dt) { return fromSeconds(toSeconds(dt)); }

int weekday(DateTime dt) {
    const long long day = floorDiv(toSeconds(dt), kSecondsPerDay);
    // 30 December 1899 was a Saturday (7).
    long long w = (day + 6) % 7;
    if (w < 0) w += 7;
    return static_cast<int>(w) + 1;
}

DateTime dayStart(DateTime dt) { return fromSeconds(floorDiv(toSeconds(dt), kSecondsPerDay) * kSecondsPerDay); }

DateTime weekStart(DateTime dt) {
    const long long day = floorDiv(toSeconds(dt), kSecondsPerDay) - (weekday(dt) - 1);
    return fromSeconds(day * kSecondsPerDay);
}

DateTime timeOfDay(DateTime dt) {
    const long long secs = toSeconds(dt);
    return static_cast<double>(secs - floorDiv(secs, kSecondsPerDay) * kSecondsPerDay) / kSecondsPerDay;
}

DateTime fromUnixLocal(long long unixSeconds) {
    time_t t = static_cast<time_t>(unixSeconds);
    struct tm lt {};
    localtime_r(&t, &lt);
    return makeDate(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min, lt.tm_sec);
}

long long toUnixLocal(DateTime dt) {
    const DateParts p = splitDate(dt);
    struct tm lt {};
    lt.tm_year = p.year - 1900;
    lt.tm_mon = p.month - 1;
    lt.tm_mday = p.day;
    lt.tm_hour = p.hour;
    lt.tm_min = p.minute;
    lt.tm_sec = p.second;
    lt.tm_isdst = -1;
    return static_cast<long long>(mktime(&lt));
}

long long firstInstantOf(DateTime dt) {
    const long long wall = toSeconds(dt);
    auto wallAt = [](long long u) { return toSeconds(fromUnixLocal(u)); };
    auto offsetAt = [&](long long u) { return wallAt(u) - u; };
    // Offsets change at most once within a day on either side of a wall time.
    const long long guess = toUnixLocal(dt);
    long long lo = guess - 86400, hi = guess + 86400;
    const long long before = offsetAt(lo), after = offsetAt(hi);
    if (before == after) return wall - before;
    // The change: the first instant with the later offset.
    while (hi - lo > 1) {
        const long long mid = lo + (hi - lo) / 2;
        (offsetAt(mid) == before ? lo : hi) = mid;
    }
    const long long change = hi;
    if (wall - before < change) return wall - before; // first pass, or no change met
    if (wall - after >= change) return wall - after;
    return change; // skipped
}

std::string shortDate(DateTime dt) {
    const DateParts p = splitDate(dt);
    return std::to_string(p.month) + "/" + std::to_string(p.day) + "/" + std::to_string(p.year);
}

std::string longTime(DateTime dt) {
    const DateParts p = splitDate(dt);
    const int h12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
    return std::to_string(h12) + ":" + pad2(p.minute) + ":" + pad2(p.second) + (p.hour < 12 ? " AM" : " PM");
}

std::string generalDate(DateTime dt) {
    const long long secs = toSeconds(dt);
    const long long day = floorDiv(secs, kSecondsPerDay);
    const bool hasTime = secs != day * kSecondsPerDay;
    if (day == 0 && hasTime) return longTime(dt);
    if (!hasTime) return shortDate(dt);
    return shortDate(dt) + " " + longTime(dt);
}

std::string formatDate(DateTime dt, std::string_view f) {
    const DateParts p = splitDate(dt);
    // A format with an AM/PM designator shows hours on the 12-hour clock.
    bool twelve = false;
    for (size_t i = 0; i < f.size(); ++i)
        if (startsWithI(f, i, "AMPM") || startsWithI(f, i, "AM/PM") || startsWithI(f, i, "A/P")) twelve = true;

    struct Token {
        char kind; // d m y h n s a (am/pm) or 0 for literal
        size_t len;
        std::string text;
    };
    std::vector<Token> tokens;
    for (size_t i = 0; i < f.size();) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(f[i])));
        if (startsWithI(f, i, "AMPM")) {
            tokens.push_back({'a', 0, {}});
            i += 4;
        } else if (startsWithI(f, i, "AM/PM")) {
            const bool lower = f[i] == 'a';
            tokens.push_back({'a', lower ? 1u : 0u, {}});
            i += 5;
        } else if (startsWithI(f, i, "A/P")) {
            const bool lower = f[i] == 'a';
            tokens.push_back({'p', lower ? 1u : 0u, {}});
            i += 3;
        } else if (c == 'd' || c == 'm' || c == 'y' || c == 'h' || c == 'n' || c == 's') {
            size_t j = i;
            while (j < f.size() && std::tolower(static_cast<unsigned char>(f[j])) == c)
                ++j;
            tokens.push_back({c, j - i, {}});
            i = j;
        } else if (f[i] == '\\' && i + 1 < f.size()) {
            tokens.push_back({0, 0, std::string(1, f[i + 1])});
            i += 2;
        } else if (f[i] == '"') {
            size_t j = f.find('"', i + 1);
            if (j == std::string_view::npos) j = f.size();
            tokens.push_back({0, 0, std::string(f.substr(i + 1, j - i - 1))});
            i = j + 1;
        } else {
            tokens.push_back({0, 0, std::string(1, f[i])});
            ++i;
        }
    }
    // "m" or "mm" right after an hour, or right before seconds, means minutes.
    for (size_t t = 0; t < tokens.size(); ++t) {
        if (tokens[t].kind != 'm' || tokens[t].len > 2) continue;
        char prev = 0, next = 0;
        for (size_t k = t; k-- > 0;)
            if (tokens[k].kind) {
                prev = tokens[k].kind;
                break;
            }
        for (size_t k = t + 1; k < tokens.size(); ++k)
            if (tokens[k].kind) {
                next = tokens[k].kind;
                break;
            }
        if (prev == 'h' || next == 's') tokens[t].kind = 'n';
    }

    const int hour = twelve ? (p.hour % 12 == 0 ? 12 : p.hour % 12) : p.hour;
    const int wd = weekday(dt);
    std::string out;
    for (const Token& t : tokens) {
        switch (t.kind) {
        case 0: out += t.text; break;
        case 'd':
            if (t.len == 1)
                out += std::to_string(p.day);
            else if (t.len == 2)
                out += pad2(p.day);
            else if (t.len == 3)
                out += std::string(kDayNames[wd - 1]).substr(0, 3);
            else if (t.len == 4)
                out += kDayNames[wd - 1];
            else if (t.len == 5)
                out += shortDate(dt);
            else
                out += std::string(kDayNames[wd - 1]) + ", " + kMonthNames[p.month - 1] + " " + pad2(p.day) + ", " +
                       std::to_string(p.year);
            break;
        case 'm':
            if (t.len == 1)
                out += std::to_string(p.month);
            else if (t.len == 2)
                out += pad2(p.month);
            else if (t.len == 3)
                out += std::string(kMonthNames[p.month - 1]).substr(0, 3);
            else
                out += kMonthNames[p.month - 1];
            break;
        case 'y':
            if (t.len == 1) {
                out += std::to_string(static_cast<long long>(dayStart(dt) - makeDate(p.year, 1, 1)) + 1);
            } else if (t.len <= 3) {
                out += pad2(p.year % 100);
            } else {
                std::string y = std::to_string(p.year);
                while (y.size() < 4)
                    y = "0" + y;
                out += y;
            }
            break;
        case 'h': out += t.len == 1 ? std::to_string(hour) : pad2(hour); break;
        case 'n': out += t.len == 1 ? std::to_string(p.minute) : pad2(p.minute); break;
        case 's': out += t.len == 1 ? std::to_string(p.second) : pad2(p.second); break;
        case 'a':
            if (t.len == 1)
                out += p.hour < 12 ? "am" : "pm";
            else
                out += p.hour < 12 ? "AM" : "PM";
            break;
        case 'p':
            if (t.len == 1)
                out += p.hour < 12 ? "a" : "p";
            else
                out += p.hour < 12 ? "A" : "P";
            break;
        }
    }
    return out;
}

namespace {

struct Cursor {
    std::string_view s;
    size_t i = 0;
    void skipBlanks() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
    }
    bool atEnd() const { return i >= s.size(); }
    // Reads 1 to maxDigits decimal digits.
    std::optional<int> number(size_t maxDigits = 4) {
        size_t j = i;
        int v = 0;
        while (j < s.size() && j - i < maxDigits && std::isdigit(static_cast<unsigned char>(s[j])))
            v = v * 10 + (s[j++] - '0');
        if (j == i) return std::nullopt;
        if (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) return std::nullopt;
        i = j;
        return v;
    }
    bool eat(char c) {
        if (i < s.size() && s[i] == c) {
            ++i;
            return true;
        }
        return false;
    }
};

int daysInMonth(int y, int m) {
    static const int dm[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
    return dm[m - 1];
}

bool validDay(int y, int m, int d) {
    return y >= 100 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= daysInMonth(y, m);
}

int expandYear(int y, size_t digits) {
    if (digits > 2) return y;
    return y < 30 ? 2000 + y : 1900 + y;
}

// Reads "h:mm[:ss][ AM|PM]" into seconds of the day.
std::optional<long long> parseTime(Cursor& c) {
    auto h = c.number(2);
    if (!h || !c.eat(':')) return std::nullopt;
    auto n = c.number(2);
    if (!n) return std::nullopt;
    int s = 0;
    if (c.eat(':')) {
        auto sv = c.number(2);
        if (!sv) return std::nullopt;
        s = *sv;
    }
    c.skipBlanks();
    int hour = *h;
    if (startsWithI(c.s, c.i, "AM") || startsWithI(c.s, c.i, "PM")) {
        const bool pm = std::tolower(static_cast<unsigned char>(c.s[c.i])) == 'p';
        c.i += 2;
        if (hour < 1 || hour > 12) return std::nullopt;
        hour = hour % 12 + (pm ? 12 : 0);
    }
    if (hour > 23 || *n > 59 || s > 59) return std::nullopt;
    return hour * 3600LL + *n * 60LL + s;
}

} // namespace

std::optional<DateTime> parseDate(std::string_view text) {
    Cursor c{text};
    c.skipBlanks();
    if (c.atEnd()) return std::nullopt;
    // A time alone is a time on day zero.
    {
        Cursor t = c;
        if (auto secs = parseTime(t)) {
            t.skipBlanks();
            if (t.atEnd()) return fromSeconds(*secs);
        }
    }
    const size_t start = c.i;
    auto a = c.number(4);
    if (!a) return std::nullopt;
    const size_t firstDigits = c.i - start;
    int y, m, d;
    if (firstDigits == 4 && c.eat('-')) {
        auto mm = c.number(2);
        if (!mm || !c.eat('-')) return std::nullopt;
        auto dd = c.number(2);
        if (!dd) return std::nullopt;
        y = *a, m = *mm, d = *dd;
    } else {
        if (firstDigits > 2) return std::nullopt;
        const char sep = c.i < text.size() ? text[c.i] : 0;
        if (sep != '/' && sep != '-') return std::nullopt;
        ++c.i;
        auto dd = c.number(2);
        if (!dd || !c.eat(sep)) return std::nullopt;
        const size_t ys = c.i;
        auto yy = c.number(4);
        if (!yy) return std::nullopt;
        m = *a, d = *dd, y = expandYear(*yy, c.i - ys);
    }
    if (!validDay(y, m, d)) return std::nullopt;
    long long secs = 0;
    c.skipBlanks();
    if (!c.atEnd()) {
        auto t = parseTime(c);
        if (!t) return std::nullopt;
        secs = *t;
        c.skipBlanks();
        if (!c.atEnd()) return std::nullopt;
    }
    return fromSeconds(toSeconds(makeDate(y, m, d)) + secs);
}

std::string formatNumber(double value, std::string_view f) {
    const size_t first = f.find_first_of("0#");
    if (first == std::string_view::npos) return std::string(f);
    const size_t last = f.find_last_of("0#.,");
    const std::string_view prefix = f.substr(0, first);
    const std::string_view body = f.substr(first, last - first + 1);
    const std::string_view suffix = f.substr(last + 1);

    const size_t dot = body.find('.');
    const std::string_view intPart = body.substr(0, dot);
    const std::string_view decPart = dot == std::string_view::npos ? std::string_view{} : body.substr(dot + 1);
    size_t minInt = 0;
    bool group = false;
    for (char ch : intPart) {
        if (ch == '0') ++minInt;
        if (ch == ',') group = true;
    }
    size_t decimals = 0, minDec = 0;
    for (char ch : decPart) {
        if (ch == '0' || ch == '#') ++decimals;
        if (ch == '0') minDec = decimals;
    }

    const bool negative = value < 0;
    const double scale = std::pow(10.0, static_cast<double>(decimals));
    // Round half away from zero at the last shown decimal.
    const double scaled = std::floor(std::fabs(value) * scale + 0.5 + 1e-9);
    const double intValue = std::floor(scaled / scale);
    long long fracDigits = static_cast<long long>(scaled - intValue * scale + 0.5);

    std::string digits;
    {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.0f", intValue);
        digits = buf;
    }
    if (digits == "0") digits.clear();
    while (digits.size() < minInt)
        digits = "0" + digits;
    if (group && digits.size() > 3) {
        std::string g;
        const size_t n = digits.size();
        for (size_t k = 0; k < n; ++k) {
            g += digits[k];
            if ((n - k - 1) % 3 == 0 && k + 1 < n) g += ',';
        }
        digits = g;
    }
    std::string dec;
    if (decimals > 0) {
        dec = std::to_string(fracDigits);
        while (dec.size() < decimals)
            dec = "0" + dec;
        while (dec.size() > minDec && dec.back() == '0')
            dec.pop_back();
    }
    std::string out(prefix);
    if (negative && (intValue != 0 || fracDigits != 0)) out += "-";
    out += digits;
    if (dot != std::string_view::npos) out += "." + dec;
    out += suffix;
    return out;
}

} // namespace vesper
