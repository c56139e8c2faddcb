#include "app/core/event_timing.h"

#include "app/core/settings_store.h"

#include "platform/files.h"
#include "platform/paths.h"

#include <QString>

#include <algorithm>
#include <charconv>
#include <exception>
#include <set>
#include <sstream>

namespace vesper {

namespace {

constexpr const char* kHeader = "# Vesper: each event's margins in seconds and whether its recordings may make room "
                                "(start margin, end margin, keep, the event; fields by tabs)";

bool flagText(const std::string& text) {
    return QString::fromStdString(text).compare("True", Qt::CaseInsensitive) == 0 || text == "1";
}

int storedMargin(const char* name) {
    int seconds = 0;
    return parseMargin(RegGetSetting2(kTimingKey, name, "0"), seconds) ? seconds : 0;
}

} // namespace

bool parseMargin(const std::string& text, int& seconds) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    if (text.empty() || r.ec != std::errc() || r.ptr != end || value < 0 || value > kMaxMarginSeconds) return false;
    seconds = value;
    return true;
}

TimingSettings TimingSettings::load() {
    TimingSettings s;
    s.defaults.startMarginSeconds = storedMargin("nStartMarginSeconds");
    s.defaults.endMarginSeconds = storedMargin("nEndMarginSeconds");
    s.defaults.keepUntilSpaceNeeded = flagText(RegGetSetting2(kTimingKey, "bKeepUntilSpaceNeeded", "False"));
    return s;
}

void TimingSettings::save() const {
    RegSaveSetting2(kTimingKey, "nStartMarginSeconds", std::to_string(defaults.startMarginSeconds));
    RegSaveSetting2(kTimingKey, "nEndMarginSeconds", std::to_string(defaults.endMarginSeconds));
    RegSaveSetting2(kTimingKey, "bKeepUntilSpaceNeeded", defaults.keepUntilSpaceNeeded ? "True" : "False");
}

std::string eventTimingKey(DateTime start, int16_t channel, const std::string& every, const std::string& filename) {
    // A "once" event keeps its start; the others move on by their rule and
    // keep their time of day (a weekly one its weekday too).
    const char* when = every == "once" ? "yyyy-mm-dd hh:nn" : every == "weekly" ? "ddd hh:nn" : "hh:nn";
    std::string key = filename + " | " + std::to_string(channel) + " | " + every + " | " + formatDate(start, when);
    std::replace(key.begin(), key.end(), '\n', ' ');
    std::replace(key.begin(), key.end(), '\r', ' ');
    return key;
}

EventTimingStore::EventTimingStore(std::string path)
    : m_path(path.empty() ? joinPath(programFolder(), kEventTimingFileName) : std::move(path)) {
    std::string text;
    try {
        text = readFile(m_path);
    } catch (const std::exception&) {
        return; // none yet, or unreadable: no event has options of its own
    }
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        // Three fields, then the key (the rest of the line, tabs and all).
        size_t from = 0;
        std::string field[3];
        bool whole = true;
        for (auto& f : field) {
            const size_t tab = line.find('\t', from);
            if (tab == std::string::npos) {
                whole = false;
                break;
            }
            f = line.substr(from, tab - from);
            from = tab + 1;
        }
        EventTiming t;
        if (!whole || from >= line.size() || !parseMargin(field[0], t.startMarginSeconds) ||
            !parseMargin(field[1], t.endMarginSeconds) || (field[2] != "keep" && field[2] != "-"))
            continue;
        t.keepUntilSpaceNeeded = field[2] == "keep";
        m_entries[line.substr(from)] = t;
    }
}

EventTiming EventTimingStore::forEvent(const std::string& key, const EventTiming& defaults) const {
    const auto it = m_entries.find(key);
    return it == m_entries.end() ? defaults : it->second;
}

bool EventTimingStore::set(const std::string& key, const EventTiming& timing) {
    auto it = m_entries.find(key);
    if (it != m_entries.end() && it->second == timing) return true;
    m_entries[key] = timing;
    return save();
}

bool EventTimingStore::keepOnly(const std::vector<std::string>& keys) {
    const std::set<std::string> live(keys.begin(), keys.end());
    return std::erase_if(m_entries, [&](const auto& entry) { return !live.count(entry.first); }) == 0 || save();
}

bool EventTimingStore::set(const std::string& key, const EventTiming& timing, const std::vector<std::string>& keys) {
    const std::set<std::string> live(keys.begin(), keys.end());
    bool changed = std::erase_if(m_entries, [&](const auto& entry) { return !live.count(entry.first); }) != 0;
    auto it = m_entries.find(key);
    if (it == m_entries.end() || !(it->second == timing)) {
        m_entries[key] = timing;
        changed = true;
    }
    return !changed || save();
}

bool EventTimingStore::save() {
    std::ostringstream out;
    out << kHeader << '\n';
    for (const auto& [key, t] : m_entries)
        out << t.startMarginSeconds << '\t' << t.endMarginSeconds << '\t' << (t.keepUntilSpaceNeeded ? "keep" : "-")
            << '\t' << key << '\n';
    try {
        writeFileAtomically(m_path, out.str());
        m_error.clear();
        return true;
    } catch (const std::exception& e) {
        m_error = m_path + ": " + e.what();
        return false;
    }
}

} // namespace vesper
