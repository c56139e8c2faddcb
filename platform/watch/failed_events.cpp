#include "platform/watch/failed_events.h"

#include "platform/files.h"
#include "platform/paths.h"

#include <algorithm>
#include <exception>
#include <sstream>

namespace vesper::watch {

namespace {

constexpr const char* kHeader = "# Vesper: recordings that failed or were missed (one a line, fields by tabs)";
constexpr size_t kFields = 9;

std::string line(const FailedEvent& e) {
    std::ostringstream out;
    out << e.id << '\t' << toSeconds(e.when) << '\t' << toSeconds(e.start) << '\t' << toSeconds(e.end) << '\t'
        << e.channel << '\t' << escapeField(e.name) << '\t' << (e.missed ? "missed" : "failed") << '\t'
        << escapeField(e.reason) << '\t' << escapeField(e.action) << '\n';
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
        const std::vector<std::string> f = splitFields(l);
        if (f.size() != kFields) continue;
        FailedEvent e;
        long long when = 0, start = 0, end = 0, channel = 0;
        if (!parseWhole(f[0], e.id) || !parseWhole(f[1], when) || !parseWhole(f[2], start) || !parseWhole(f[3], end) ||
            !parseWhole(f[4], channel) || (f[6] != "missed" && f[6] != "failed"))
            continue;
        e.when = fromSeconds(when);
        e.start = fromSeconds(start);
        e.end = fromSeconds(end);
        e.channel = int(channel);
        e.name = unescapeField(f[5]);
        e.missed = f[6] == "missed";
        e.reason = unescapeField(f[7]);
        e.action = unescapeField(f[8]);
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
