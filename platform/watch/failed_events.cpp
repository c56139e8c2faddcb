#include "platform/watch/failed_events.h"

#include "platform/files.h"
#include "platform/paths.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <sstream>

namespace vesper::watch {

namespace {

constexpr const char* kHeader = "# Vesper: recordings that failed or were missed (one a line, fields by tabs)";
constexpr size_t kFields = 9;

// A text field on one line: tabs, line ends and backslashes escaped.
std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

bool number(const std::string& text, long long& out) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, out);
    return r.ec == std::errc() && r.ptr == end && !text.empty();
}

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> fields;
    size_t from = 0;
    for (;;) {
        const size_t tab = line.find('\t', from);
        fields.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
        if (tab == std::string::npos) return fields;
        from = tab + 1;
    }
}

std::string line(const FailedEvent& e) {
    std::ostringstream out;
    out << e.id << '\t' << toSeconds(e.when) << '\t' << toSeconds(e.start) << '\t' << toSeconds(e.end) << '\t'
        << e.channel << '\t' << escape(e.name) << '\t' << (e.missed ? "missed" : "failed") << '\t' << escape(e.reason)
        << '\t' << escape(e.action) << '\n';
    return out.str();
}

} // namespace

FailedEventList::FailedEventList(std::string path)
    : m_path(path.empty() ? joinPath(programFolder(), kFailedEventsFileName) : std::move(path)) {}

std::vector<FailedEvent> FailedEventList::entries() const {
    std::vector<FailedEvent> list;
    std::string text;
    try {
        text = readFile(m_path);
    } catch (const std::exception&) {
        return list; // none yet, or unreadable: an empty list
    }
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        if (l.empty() || l[0] == '#') continue;
        const std::vector<std::string> f = split(l);
        if (f.size() != kFields) continue;
        FailedEvent e;
        long long when = 0, start = 0, end = 0, channel = 0;
        if (!number(f[0], e.id) || !number(f[1], when) || !number(f[2], start) || !number(f[3], end) ||
            !number(f[4], channel) || (f[6] != "missed" && f[6] != "failed"))
            continue;
        e.when = fromSeconds(when);
        e.start = fromSeconds(start);
        e.end = fromSeconds(end);
        e.channel = int(channel);
        e.name = unescape(f[5]);
        e.missed = f[6] == "missed";
        e.reason = unescape(f[7]);
        e.action = unescape(f[8]);
        list.push_back(std::move(e));
    }
    return list;
}

bool FailedEventList::write(const std::vector<FailedEvent>& list) {
    std::string text = std::string(kHeader) + "\n";
    const size_t from = list.size() > kFailedEventsKept ? list.size() - kFailedEventsKept : 0;
    for (size_t i = from; i < list.size(); ++i)
        text += line(list[i]);
    try {
        writeFileAtomically(m_path, text);
    } catch (const std::exception& e) {
        m_lastError = "the list of failed recordings (" + m_path + ") cannot be written: " + e.what();
        return false;
    }
    m_lastError.clear();
    return true;
}

long long FailedEventList::add(FailedEvent entry) {
    std::vector<FailedEvent> list = entries();
    long long last = 0;
    for (const FailedEvent& e : list)
        last = std::max(last, e.id);
    entry.id = last + 1;
    list.push_back(entry);
    return write(list) ? entry.id : 0;
}

bool FailedEventList::setAction(long long id, const std::string& action) {
    std::vector<FailedEvent> list = entries();
    for (FailedEvent& e : list) {
        if (e.id != id) continue;
        e.action = action;
        return write(list);
    }
    m_lastError = "the entry is no longer in the list";
    return false;
}

std::string describe(const FailedEvent& e) {
    std::string text = formatDate(e.start, "ddd mmm d hh:mm AMPM") + "  ch " + std::to_string(e.channel) + "  " +
                       e.name + "  " + (e.missed ? "missed: " : "failed: ") + e.reason;
    if (!e.action.empty()) text += "; " + e.action;
    return text;
}

} // namespace vesper::watch
