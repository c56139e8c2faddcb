#include "scheduler/files.h"

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/variant.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

namespace slotbook::Files {

namespace {

// The automation calendar: 1 January 100 to 31 December 9999.
constexpr double kFirstDate = -657434.0;
constexpr double kLastDate = 2958466.0;

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

EventClass parseEvent(std::string_view line, long lineNo) {
    const std::vector<std::string_view> f = SplitFields(line);
    if (f.size() < 6)
        lineError(vesper::err::InvalidCall, lineNo,
                  "6 fields expected, " + std::to_string(f.size()) + " found in \"" + excerpt(line) + "\"");
    EventClass e;
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
    convert(1, [&](const vesper::Variant& v) {
        const double d = v.toDate();
        if (!(d >= kFirstDate && d < kLastDate)) vesper::raiseError(vesper::err::Overflow);
        e.dt = vesper::roundToSecond(d);
    });
    convert(2, [&](const vesper::Variant& v) { e.channel = v.toInt16(); });
    convert(3, [&](const vesper::Variant& v) { e.duration = v.toInt16(); });
    convert(4, [&](const vesper::Variant& v) { e.bActive = v.toBool(); });
    std::string every(f[4]);
    if (every == "week") every = "weekly";
    e.oRepeat.every = std::move(every);
    e.filename = std::string(f[5]);
    return e;
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

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == ',') {
            fields.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    }
    fields.push_back(line.substr(start));
    return fields;
}

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
    const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) fileError(errno, path);
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) fileError(EISDIR, path);

    std::vector<EventClass> records;
    std::string line;
    long lineNo = 0;
    bool lineTooLong = false;
    const auto finishLine = [&]() {
        ++lineNo;
        if (lineTooLong)
            lineError(vesper::err::InvalidCall, lineNo,
                      "the line is longer than " + std::to_string(kMaxLineLength) + " characters");
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!skipped(line)) {
            if (records.size() >= static_cast<size_t>(EventCollection::kMaxCount))
                lineError(vesper::err::Overflow, lineNo,
                          "more than " + std::to_string(EventCollection::kMaxCount) + " events");
            records.push_back(parseEvent(line, lineNo));
        }
        line.clear();
    };

    std::string buffer(1 << 16, '\0');
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            fileError(errno, path);
        }
        if (n == 0) break;
        std::string_view chunk(buffer.data(), static_cast<size_t>(n));
        while (!chunk.empty()) {
            const size_t nl = chunk.find('\n');
            const std::string_view piece = chunk.substr(0, nl);
            // Past the limit the rest of the line is dropped, and the load fails
            // at its end: memory stays bounded whatever the file holds.
            if (line.size() + piece.size() > kMaxLineLength + 1)
                lineTooLong = true;
            else
                line.append(piece);
            if (nl == std::string_view::npos) break;
            finishLine();
            chunk.remove_prefix(nl + 1);
        }
    }
    if (!line.empty() || lineTooLong) finishLine();

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
