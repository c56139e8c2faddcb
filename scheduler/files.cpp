#include "scheduler/files.h"

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/variant.h"
#include "scheduler/date_rules.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace slotbook::Files {

namespace {

// A line as it may be quoted in a message: short, control bytes shown as dots.
std::string excerpt(std::string_view text) {
    std::string out;
    for (char c : text.substr(0, 40))
        out += (static_cast<unsigned char>(c) < 32 || c == 127) ? '.' : c;
    if (text.size() > 40) out += "...";
    return out;
}

[[noreturn]] void lineError(int32_t number, long lineNo, const std::string& what) {
    vesper::raiseError(number, kErrorSource,
                       vesper::errorText(number) + " (" + kScheduleFileName + " line " + std::to_string(lineNo) + ": " +
                           what + ")");
}

[[noreturn]] void fileError(int e, const std::string& path) {
    const int32_t n = vesper::fileErrorFromErrno(e);
    vesper::raiseError(n, kErrorSource, vesper::errorText(n) + " (" + path + ": " + std::strerror(e) + ")");
}

// Fast readers for the forms the file itself writes ("4/20/2002 8:00:00 PM",
// "60", "True"); anything else goes through the general conversions, which
// accept what they always did and raise the classic errors.
inline bool digitsAt(std::string_view s, size_t& i, size_t maxDigits, int& value) {
    const size_t start = i;
    value = 0;
    while (i < s.size() && i - start < maxDigits && s[i] >= '0' && s[i] <= '9')
        value = value * 10 + (s[i++] - '0');
    return i > start && (i == s.size() || s[i] < '0' || s[i] > '9');
}

std::optional<DateTime> quickDate(std::string_view s) {
    size_t i = 0;
    int m, d, y;
    if (!digitsAt(s, i, 2, m) || i >= s.size() || s[i++] != '/') return std::nullopt;
    if (!digitsAt(s, i, 2, d) || i >= s.size() || s[i++] != '/') return std::nullopt;
    const size_t ys = i;
    if (!digitsAt(s, i, 4, y) || i - ys != 4) return std::nullopt;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12 || d < 1 || y < 100) return std::nullopt;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (d > kDays[m - 1] + (m == 2 && leap ? 1 : 0)) return std::nullopt;
    long long secs = 0;
    if (i < s.size()) {
        int h, n, sec;
        if (s[i++] != ' ' || !digitsAt(s, i, 2, h) || i >= s.size() || s[i++] != ':') return std::nullopt;
        if (!digitsAt(s, i, 2, n) || i >= s.size() || s[i++] != ':') return std::nullopt;
        if (!digitsAt(s, i, 2, sec) || (s.substr(i) != " AM" && s.substr(i) != " PM")) return std::nullopt;
        if (h < 1 || h > 12 || n > 59 || sec > 59) return std::nullopt;
        secs = (h % 12 + (s[i + 1] == 'P' ? 12 : 0)) * 3600LL + n * 60LL + sec;
    }
    // Days since 30 December 1899 (a civil-calendar day count, March-based).
    const int yy = y - (m <= 2 ? 1 : 0);
    const int era = yy / 400;
    const int yoe = yy - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long days = era * 146097LL + yoe * 365 + yoe / 4 - yoe / 100 + doy - 693899;
    if (days < 0) return vesper::fromSeconds(days * 86400 + secs);
    return static_cast<double>(days) + static_cast<double>(secs) / 86400.0;
}

std::optional<int16_t> quickInt16(std::string_view s) {
    size_t i = s.size() > 1 && s[0] == '-' ? 1 : 0;
    int v;
    if (!digitsAt(s, i, 5, v) || i != s.size()) return std::nullopt;
    const int signedValue = s[0] == '-' ? -v : v;
    if (signedValue < -32768 || signedValue > 32767) return std::nullopt;
    return static_cast<int16_t>(signedValue);
}

void parseEvent(std::string_view line, long lineNo, EventClass& e) {
    // The six fields; anything after a sixth comma is ignored.
    std::array<std::string_view, 6> f;
    size_t count = 0, start = 0;
    for (size_t i = 0; i < line.size() && count < 5; ++i) {
        if (line[i] == ',') {
            f[count++] = line.substr(start, i - start);
            start = i + 1;
        }
    }
    if (count == 5) {
        const size_t end = line.find(',', start);
        f[count++] = line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    } else {
        ++count; // the rest of the line is one more field
    }
    if (count < 6)
        lineError(vesper::err::InvalidCall, lineNo,
                  "6 fields expected, " + std::to_string(count) + " found in \"" + excerpt(line) + "\"");
    const auto convert = [&](int field, auto&& fn) {
        try {
            fn(vesper::Variant(std::string(f[static_cast<size_t>(field - 1)])));
        } catch (const vesper::AutomationError& x) {
            static const char* names[] = {"start", "channel", "duration", "active flag"};
            lineError(x.number(), lineNo,
                      std::string("field ") + std::to_string(field) + ", the " + names[field - 1] + ", \"" +
                          excerpt(f[static_cast<size_t>(field - 1)]) + "\"");
        }
    };
    if (const auto dt = quickDate(f[0])) {
        e.dt = *dt;
    } else {
        convert(1, [&](const vesper::Variant& v) { e.dt = Dates::calendarDate(v.toDate()); });
    }
    if (const auto c = quickInt16(f[1]))
        e.channel = *c;
    else
        convert(2, [&](const vesper::Variant& v) { e.channel = v.toInt16(); });
    if (const auto d = quickInt16(f[2]))
        e.duration = *d;
    else
        convert(3, [&](const vesper::Variant& v) { e.duration = v.toInt16(); });
    if (f[3] == "True")
        e.bActive = true;
    else if (f[3] == "False")
        e.bActive = false;
    else
        convert(4, [&](const vesper::Variant& v) { e.bActive = v.toBool(); });
    e.oRepeat.every.emplace(f[4] == "week" ? std::string_view("weekly") : f[4]);
    e.filename.assign(f[5]);
}

bool skipped(std::string_view line) { return line.empty() || line.front() == '\'' || line.substr(0, 3) == "VER"; }

// Line breaks cannot live inside a field: the line would split on reading and
// the whole schedule would fail to load.
std::string fieldText(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        if (c == '\r' || c == '\n') c = ' ';
    return out;
}

int anchor;

} // namespace

std::string componentFolder() { return vesper::programFolder(vesper::libraryFolder(&anchor)); }

std::string schedulePath() { return vesper::joinPath(componentFolder(), kScheduleFileName); }

std::string eventLine(const EventClass& e) {
    std::string s = vesper::generalDate(e.dt);
    s += ',';
    s += std::to_string(e.channel);
    s += ',';
    s += std::to_string(e.duration);
    s += e.bActive ? ",True," : ",False,";
    s += fieldText(e.oRepeat.word());
    s += ',';
    s += fieldText(e.filename);
    return s;
}

EventCollection LoadSchedule(const std::string& path) {
    // A first start finds no file: it is created empty.
    // Not blocking: a pipe in the file's place must not hang the caller.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) fileError(errno, path);
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) fileError(errno, path);
    if (S_ISDIR(st.st_mode)) fileError(EISDIR, path);
    // Devices and pipes are no schedule (and /dev/zero would never end).
    if (!S_ISREG(st.st_mode))
        vesper::raiseError(vesper::err::PathFileAccessError, kErrorSource,
                           vesper::errorText(vesper::err::PathFileAccessError) + " (" + path + " is not a file)");

    std::vector<EventClass> records;
    if (st.st_size > 0)
        records.reserve(std::min<size_t>(EventCollection::kMaxCount, static_cast<size_t>(st.st_size) / 40 + 1));
    std::string carried; // the start of a line that continues in the next chunk
    long lineNo = 0;
    const auto finishLine = [&](std::string_view line) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (skipped(line)) return;
        if (records.size() >= static_cast<size_t>(EventCollection::kMaxCount))
            lineError(vesper::err::Overflow, lineNo,
                      "more than " + std::to_string(EventCollection::kMaxCount) + " events");
        parseEvent(line, lineNo, records.emplace_back());
    };

    const size_t bufferSize = std::clamp<size_t>(static_cast<size_t>(st.st_size) + 1, 4096, 1 << 20);
    const std::unique_ptr<char[]> buffer(new char[bufferSize]);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.get(), bufferSize);
        if (n < 0) {
            if (errno == EINTR) continue;
            fileError(errno, path);
        }
        if (n == 0) break;
        std::string_view chunk(buffer.get(), static_cast<size_t>(n));
        while (!chunk.empty()) {
            const size_t nl = chunk.find('\n');
            const std::string_view piece = chunk.substr(0, nl);
            // A line past the limit fails at once: memory and time stay bounded
            // whatever the file holds.
            if (carried.size() + piece.size() > kMaxLineLength + 1)
                lineError(vesper::err::InvalidCall, lineNo + 1,
                          "the line is longer than " + std::to_string(kMaxLineLength) + " characters");
            if (nl != std::string_view::npos && carried.empty()) {
                finishLine(piece);
            } else {
                carried.append(piece);
                if (nl == std::string_view::npos) break;
                finishLine(carried);
                carried.clear();
            }
            chunk.remove_prefix(nl + 1);
        }
    }
    if (!carried.empty()) finishLine(carried);

    EventCollection events;
    events.addAllSorted(std::move(records));
    return events;
}

void SaveSchedule(const EventCollection& events, const std::string& path) {
    std::string text = "VER1.0\r\n";
    text.reserve(static_cast<size_t>(events.Count()) * 64 + 8);
    for (const EventClass& e : events) {
        text += eventLine(e);
        text += "\r\n";
    }
    try {
        vesper::writeFileAtomically(path, text);
    } catch (const vesper::AutomationError& e) {
        vesper::raiseError(e.number(), kErrorSource, e.description());
    }
}

} // namespace slotbook::Files
