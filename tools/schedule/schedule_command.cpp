#include "tools/schedule/schedule_command.h"

#include "listings/guide_settings.h"
#include "listings/guide_store.h"
#include "listings/xmltv_time.h"
#include "platform/automation.h"
#include "platform/clock.h"
#include "platform/component_setup.h"
#include "platform/dates.h"
#include "platform/handover/main_program_keys.h"
#include "platform/recording_files.h"
#include "platform/registry.h"
#include "platform/variant.h"
#include "platform/watch/failed_events.h"

#include <QFileInfo>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <iomanip>
#include <optional>
#include <ostream>
#include <sstream>

namespace vesper::schedule {

namespace {

constexpr const char* kProgId = "Slotbook.EventsObj";

const char* const kUsage =
    "usage: vesper-schedule COMMAND [ARGUMENTS]\n"
    "\n"
    "  list [-l]                        the schedule, in start order (-l adds the row number,\n"
    "                                   the full start and the active flag)\n"
    "  add WHEN CHANNEL LENGTH [REPEAT [FILENAME]]\n"
    "                                   adds an event unless it conflicts with another\n"
    "  update EVENT [--when WHEN] [--channel N] [--length LENGTH] [--repeat WORD] [--file NAME]\n"
    "                                   changes an event unless it would conflict\n"
    "  cancel EVENT                     cancels one occurrence: a one-time event is removed,\n"
    "                                   a repeating one moves to its next occurrence\n"
    "  remove EVENT                     removes the event, whatever its repeat rule\n"
    "  next                             the next recording event\n"
    "  count                            the number of events\n"
    "  guide TEXT [--limit N]           programmes of the guide whose title holds TEXT (any case)\n"
    "                                   that have not ended, in start order (at most N, 50)\n"
    "  failed                           the recordings that failed or were missed, and what\n"
    "                                   was done about each, oldest first\n"
    "\n"
    "  WHEN      a date and time: \"4/20/2030 8:00 PM\", \"4/20/2030 20:00\", \"2030-04-20 20:00\"\n"
    "  EVENT     the start of an event (as WHEN), or N for row N of the list\n"
    "  CHANNEL   2 to 181\n"
    "  LENGTH    minutes (90) or hours and minutes (1:30), up to 32767 minutes\n"
    "  REPEAT    once (the default), day, weekdays or weekly\n"
    "  FILENAME  the recording's file name (default.wmv, as in the Add Event dialog);\n"
    "            characters a file name cannot hold become \"_\" and \".wmv\" is added\n"
    "            when missing; with an H.264 profile chosen in Vesper the file is\n"
    "            written as .mp4 (News.wmv records News.mp4)\n"
    "\n"
    "Exit codes: 0 done, 1 refused (conflict, expired or no such event; nothing changed),\n"
    "2 bad arguments (nothing changed), 3 the scheduler failed; for guide: 0 matches shown,\n"
    "1 no programme matches, 2 bad arguments, 3 no guide or one that cannot be read;\n"
    "for failed: 0 shown, 1 the list is empty.\n";

// The refresh pause lets a window program process its messages; a command has
// none, so the pause passes on the clock without waiting.
class CommandClock : public Clock {
public:
    // Moves "now" to `when` (tests fix the date the command runs at).
    void startAt(DateTime when) { m_offsetDays = when - m_system.now(); }
    DateTime now() override { return m_system.now() + m_offsetDays + m_skipped / 86400.0; }
    double monotonic() override { return m_system.monotonic() + m_skipped; }
    void sleep(double seconds) override {
        if (seconds > 0) m_skipped += seconds;
    }

private:
    SystemClock m_system;
    double m_offsetDays = 0;
    double m_skipped = 0;
};

struct BadArgument {
    std::string message;
};

struct Event {
    DateTime dt = 0;
    int16_t channel = 0;
    int16_t duration = 0;
    bool active = true;
    std::string every;
    std::string filename;
};

DateTime parseWhen(const std::string& text, const char* what = "WHEN") {
    const auto dt = parseDate(text);
    if (!dt)
        throw BadArgument{std::string(what) + " \"" + text + "\" is not a date and time (try \"4/20/2030 8:00 PM\")"};
    if (dayStart(*dt) == 0 && *dt >= 0 && *dt < 1)
        throw BadArgument{std::string(what) + " \"" + text + "\" needs a date as well as a time"};
    return *dt;
}

int16_t parseChannel(const std::string& text) {
    double v = 0;
    if (!parseNumber(text, v) || v != std::floor(v) || v < 2 || v > 181)
        throw BadArgument{"CHANNEL \"" + text + "\" is not a channel (2 to 181)"};
    return static_cast<int16_t>(v);
}

int16_t parseDuration(const std::string& text) {
    const int m = parseLength(text);
    if (m < 1) throw BadArgument{"LENGTH \"" + text + "\" is not a length (minutes such as 90, or 1:30)"};
    return static_cast<int16_t>(m);
}

std::string parseRepeat(const std::string& text) {
    if (text == "once" || text == "day" || text == "weekdays" || text == "weekly") return text;
    throw BadArgument{"REPEAT \"" + text + "\" is not a repeat rule (once, day, weekdays or weekly)"};
}

std::string longWhen(DateTime dt) { return formatDate(dt, "dddd,  mmmm d,  hh:mm:ss AMPM"); }

// The profile Vesper records with when it names its files differently from
// the schedule (an H.264 profile picked through "Advance ..."); else empty:
// the quality words stand for Windows Media profiles.
std::string namingProfile() {
    const std::string key = std::string(mainprogram::kSettingsRoot) + mainprogram::kEncoderKey;
    const auto text = [&](const char* name) {
        const auto v = registry::queryValue(key, name);
        if (!v || v->type != registry::ValueType::String) return std::string();
        return v->text.substr(0, v->text.find('\0'));
    };
    if (text(mainprogram::kProfileChoice) != mainprogram::kAdvanceChoice) return {};
    const std::string profile = text(mainprogram::kAdvanceProfile);
    return isH264Profile(profile) ? profile : std::string();
}

// " (records News.mp4)" when the profile writes another name than the schedule's.
std::string recordsAs(const std::string& filename, const std::string& profile) {
    if (profile.empty() || filename.empty()) return {};
    return " (records " + recordingFileName(filename, profile) + ")";
}

// The main window's text for a refused event.
void conflictMessage(std::ostream& err, bool adding, const Event& e, const Args& a) {
    err << (adding ? "The event being added:" : "The event being updated:") << "\n"
        << "Filename: " << e.filename << "\n"
        << "    When: " << longWhen(e.dt) << "\n"
        << "Duration: " << e.duration << "\n"
        << "  Repeat: " << e.every << "\n"
        << "\n"
        << "CONFLICTS with this existing event:\n"
        << "Filename: " << a[3].toString() << "\n"
        << "    When: " << longWhen(a[1].toDate()) << "\n"
        << "Duration: " << a[2].toString() << "\n"
        << "  Repeat: " << a[4].toString() << "\n"
        << "\n"
        << (adding ? "Event was not added!" : "Event was not updated!") << "\n";
}

void showEvent(std::ostream& out, const Event& e) {
    out << "Filename: " << e.filename << "\n"
        << "    When: " << longWhen(e.dt) << "\n"
        << " Channel: " << e.channel << "\n"
        << "Duration: " << e.duration << "\n"
        << "  Repeat: " << e.every << "\n";
    if (const std::string profile = namingProfile(); !profile.empty() && !e.filename.empty())
        out << " Records: " << recordingFileName(e.filename, profile) << " (" << profile << ")\n";
}

class Session {
public:
    explicit Session(ObjectPtr o) : m_o(std::move(o)) {}

    int count() { return m_o->call("ICount").toInt16(); }

    Event get(int index) {
        Args a(6);
        a.push_back(Variant(static_cast<int16_t>(index)));
        m_o->call("IGetEvent", a);
        Event e;
        e.dt = a[0].toDate();
        e.channel = a[1].toInt16();
        e.duration = a[2].toInt16();
        e.active = a[3].toBool();
        e.every = a[4].toString();
        e.filename = a[5].toString();
        return e;
    }

    // The row of an EVENT argument, 0 when no event matches.
    int find(const std::string& text) {
        const int n = count();
        // A row number: a date always has separators, a row never.
        const std::string digits = !text.empty() && text[0] == '#' ? text.substr(1) : text;
        if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos) {
            if (digits.size() > 5 || std::stol(digits) < 1)
                throw BadArgument{"EVENT \"" + text + "\" is not a row number of the list"};
            const long v = std::stol(digits);
            return v <= n ? static_cast<int>(v) : 0;
        }
        const long long key = toSeconds(parseWhen(text, "EVENT"));
        for (int i = 1; i <= n; ++i)
            if (toSeconds(get(i).dt) == key) return i;
        return 0;
    }

    void save() { m_o->call("IPersistentSave"); }
    Object& object() { return *m_o; }

private:
    ObjectPtr m_o;
};

std::vector<std::string> gridRow(const Event& e) {
    return {formatDate(e.dt, "ddd,  mmm d,  ") + formatDate(e.dt, "hh:mm AMPM"), std::to_string(e.channel),
            formatDate(fromSeconds(60LL * e.duration), "h:mm"), e.every, e.filename};
}

void printTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> widths;
    for (const auto& r : rows)
        for (size_t c = 0; c < r.size(); ++c) {
            if (widths.size() <= c) widths.push_back(0);
            widths[c] = std::max(widths[c], r[c].size());
        }
    for (const auto& r : rows) {
        std::string line;
        for (size_t c = 0; c < r.size(); ++c) {
            line += r[c];
            if (c + 1 < r.size()) line += std::string(widths[c] - r[c].size() + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out << line << "\n";
    }
}

int cmdList(Session& s, const std::vector<std::string>& args, std::ostream& out) {
    bool full = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "-l" || args[i] == "--long")
            full = true;
        else
            throw BadArgument{"list takes only -l, not \"" + args[i] + "\""};
    }
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> header{"When", "Chnl", "Len", "Repeat", "Filename [Title]"};
    if (full) {
        header.insert(header.begin(), "#");
        header.insert(header.end() - 1, {"Start", "Active"});
    }
    rows.push_back(header);
    const int n = s.count();
    for (int i = 1; i <= n; ++i) {
        const Event e = s.get(i);
        std::vector<std::string> row = gridRow(e);
        if (full) {
            row.insert(row.begin(), std::to_string(i));
            row.insert(row.end() - 1, {generalDate(e.dt), e.active ? "True" : "False"});
        }
        rows.push_back(row);
    }
    printTable(out, rows);
    return Ok;
}

void checkNotExpired(const Event& e, const std::string& whenText) {
    if (eventExpired(e.dt, e.duration, now())) throw BadArgument{expiredMessage(whenText, "\n")};
}

// The arguments of IAddEvent2 and IUpdateEvent2: the result and the four
// outputs of a conflicting event (the first of them also takes the start of
// the event to update), then the event.
Args addOrUpdateArgs(DateTime key, const Event& e) {
    return {Variant(false),    Variant::date(key),  Variant(int16_t(0)), Variant(""),
            Variant(""),       Variant::date(e.dt), Variant(e.channel),  Variant(e.duration),
            Variant(e.active), Variant(e.every),    Variant(e.filename)};
}

std::string summary(const Event& e) {
    return generalDate(e.dt) + ", channel " + std::to_string(e.channel) + ", " + std::to_string(e.duration) +
           " minutes, " + e.every + (e.filename.empty() ? "" : ", " + e.filename) +
           recordsAs(e.filename, namingProfile());
}

int cmdAdd(Session& s, const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() < 4 || args.size() > 6) throw BadArgument{"add needs WHEN CHANNEL LENGTH [REPEAT [FILENAME]]"};
    Event e;
    e.dt = parseWhen(args[1]);
    e.channel = parseChannel(args[2]);
    e.duration = parseDuration(args[3]);
    e.every = args.size() > 4 ? parseRepeat(args[4]) : "once";
    e.filename = scheduledFileName(args.size() > 5 ? args[5] : kDefaultOutputName);
    checkNotExpired(e, generalDate(e.dt));
    Args a = addOrUpdateArgs(0, e);
    s.object().call("IAddEvent2", a);
    if (!a[0].toBool()) {
        conflictMessage(err, true, e, a);
        return Refused;
    }
    s.save();
    out << "Added: " << summary(e) << "\n";
    return Ok;
}

int noSuchEvent(std::ostream& err, const std::string& text) {
    const bool row = text.find_first_not_of("#0123456789") == std::string::npos;
    err << "vesper-schedule: no event " << (row ? "in row " + text : "starts at " + text) << "; nothing changed\n";
    return Refused;
}

int cmdUpdate(Session& s, const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() < 2) throw BadArgument{"update needs EVENT and at least one change"};
    // Parse every change before touching anything.
    std::optional<DateTime> when;
    std::optional<int16_t> channel, duration;
    std::optional<std::string> every, file;
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& o = args[i];
        if (i + 1 >= args.size()) throw BadArgument{"\"" + o + "\" needs a value"};
        const std::string& v = args[++i];
        if (o == "--when")
            when = parseWhen(v);
        else if (o == "--channel")
            channel = parseChannel(v);
        else if (o == "--length")
            duration = parseDuration(v);
        else if (o == "--repeat")
            every = parseRepeat(v);
        else if (o == "--file")
            file = scheduledFileName(v);
        else
            throw BadArgument{"unknown option \"" + o + "\" for update"};
    }
    if (args.size() == 2) throw BadArgument{"update needs at least one change (--when, --channel, --length, ...)"};
    const int row = s.find(args[1]);
    if (!row) return noSuchEvent(err, args[1]);
    const Event old = s.get(row);
    Event e = old;
    if (when) e.dt = *when;
    if (channel) e.channel = *channel;
    if (duration) e.duration = *duration;
    if (every) e.every = *every;
    if (file) e.filename = *file;
    e.active = true; // edited events are active, as in the Add Event dialog
    checkNotExpired(e, generalDate(e.dt));
    Args a = addOrUpdateArgs(old.dt, e);
    s.object().call("IUpdateEvent2", a);
    if (!a[0].toBool()) {
        conflictMessage(err, false, e, a);
        return Refused;
    }
    s.save();
    out << "Updated: " << summary(e) << "\n";
    return Ok;
}

int cmdCancelOrRemove(Session& s, const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const bool cancel = args[0] == "cancel";
    if (args.size() != 2) throw BadArgument{args[0] + " needs one EVENT"};
    const int row = s.find(args[1]);
    if (!row) return noSuchEvent(err, args[1]);
    const Event e = s.get(row);
    Args a{Variant::date(e.dt)};
    s.object().call(cancel ? "ICancelEvent" : "IRemoveEvent", a);
    s.save();
    out << (cancel ? "Cancelled" : "Removed") << ": " << generalDate(e.dt) << ", channel " << e.channel << ", "
        << e.every << (e.filename.empty() ? "" : ", " + e.filename) << "\n";
    return Ok;
}

int cmdNext(Session& s, const std::vector<std::string>& args, std::ostream& out) {
    if (args.size() != 1) throw BadArgument{"next takes no arguments"};
    if (s.count() == 0) {
        out << "The schedule is empty.\n";
        return Ok;
    }
    Args a(6);
    s.object().call("INextEvent", a);
    Event e;
    e.dt = a[0].toDate();
    e.duration = a[1].toInt16(); // the duration comes second, the channel third
    e.channel = a[2].toInt16();
    e.every = a[4].toString();
    e.filename = a[5].toString();
    showEvent(out, e);
    return Ok;
}

// Searches the guide the main program imports; it needs no scheduler.
int cmdGuide(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() < 2) throw BadArgument{"guide needs the TEXT to look for in the titles"};
    int limit = 50;
    for (size_t i = 2; i < args.size(); ++i) {
        if (args[i] != "--limit") throw BadArgument{"guide takes TEXT and --limit N, not \"" + args[i] + "\""};
        if (i + 1 >= args.size()) throw BadArgument{"\"--limit\" needs a value"};
        const std::string& v = args[++i];
        if (v.empty() || v.size() > 5 || v.find_first_not_of("0123456789") != std::string::npos || std::stoi(v) < 1)
            throw BadArgument{"--limit \"" + v + "\" is not a number of programmes (1 or more)"};
        limit = std::stoi(v);
    }
    const QString text = QString::fromStdString(args[1]).trimmed();
    if (text.isEmpty()) throw BadArgument{"guide needs a TEXT that is not blank"};

    const QString path = listings::GuideStore::defaultPath();
    if (!QFileInfo::exists(path)) {
        err << "vesper-schedule: there is no guide yet (" << path.toStdString()
            << "): Vesper imports it from the XMLTV file or grabber set under HKEY_CURRENT_USER\\"
            << listings::kGuideKey << "\n";
        return SchedulerFailed;
    }
    listings::GuideStore store;
    if (!store.open(path)) {
        err << "vesper-schedule: " << store.error().toStdString() << "\n";
        return SchedulerFailed;
    }
    const QList<listings::Programme> found = store.search(text, limit, listings::utcFromLocal(now()));
    if (!store.error().isEmpty()) {
        err << "vesper-schedule: the guide cannot be read: " << store.error().toStdString() << "\n";
        return SchedulerFailed;
    }
    if (found.isEmpty()) {
        err << "vesper-schedule: no programme in the guide matches \"" << text.toStdString() << "\"\n";
        return Refused;
    }
    std::vector<std::vector<std::string>> rows{{"When", "Chnl", "Station", "Len", "Title"}};
    for (const listings::Programme& p : found) {
        const DateTime start = listings::localTime(p.startUtc);
        rows.push_back({formatDate(start, "ddd,  mmm d,  ") + formatDate(start, "hh:mm AMPM"),
                        p.tunerChannel ? std::to_string(p.tunerChannel) : "-", p.channelName.toStdString(),
                        formatDate(fromSeconds(60LL * p.lengthMinutes()), "h:mm"), p.title.toStdString()});
    }
    printTable(out, rows);
    return Ok;
}

} // namespace

int parseLength(const std::string& text) {
    const size_t colon = text.find(':');
    const auto digits = [](const std::string& s) {
        return !s.empty() && s.size() <= 6 &&
               std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    long total;
    if (colon == std::string::npos) {
        if (!digits(text)) return -1;
        total = std::stol(text);
    } else {
        const std::string h = text.substr(0, colon), m = text.substr(colon + 1);
        if (!digits(h) || !digits(m) || m.size() != 2 || std::stol(m) > 59) return -1;
        total = std::stol(h) * 60 + std::stol(m);
    }
    return total >= 0 && total <= 32767 ? static_cast<int>(total) : -1;
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
        (args.empty() ? err : out) << kUsage;
        return args.empty() ? BadArguments : Ok;
    }
    static const std::vector<std::string> commands{"list", "add",   "update", "cancel", "remove",
                                                   "next", "count", "guide",  "failed"};
    if (std::find(commands.begin(), commands.end(), args[0]) == commands.end()) {
        err << "vesper-schedule: unknown command \"" << args[0] << "\"\n\n" << kUsage;
        return BadArguments;
    }
    CommandClock commandClock;
    if (const char* at = std::getenv(kNowVariable); at && *at) {
        try {
            commandClock.startAt(parseWhen(at, kNowVariable));
        } catch (const BadArgument& e) {
            err << "vesper-schedule: " << e.message << "\n";
            return BadArguments;
        }
    }
    setClock(&commandClock);
    struct RestoreClock {
        ~RestoreClock() { setClock(nullptr); }
    } restore;

    if (args[0] == "failed") {
        if (args.size() > 1) {
            err << "vesper-schedule: failed takes no arguments\n(vesper-schedule --help shows the usage)\n";
            return BadArguments;
        }
        const watch::FailedEventList list;
        const auto entries = list.entries();
        if (entries.empty()) {
            err << "vesper-schedule: no recording has failed or been missed (" << list.path() << ")\n";
            return Refused;
        }
        for (const watch::FailedEvent& e : entries)
            out << formatDate(e.when, "yyyy-mm-dd hh:mm:ss") << "  " << watch::describe(e) << "\n";
        return Ok;
    }

    if (args[0] == "guide") {
        try {
            return cmdGuide(args, out, err);
        } catch (const BadArgument& b) {
            err << "vesper-schedule: " << b.message << "\n(vesper-schedule --help shows the usage)\n";
            return BadArguments;
        }
    }

    // A damaged or busy hive is no unregistered scheduler.
    if (const registry::HiveHealth hive = registry::checkHive(); !hive.usable()) {
        err << "vesper-schedule: " << registry::hiveProblemText(hive) << "\n";
        return SchedulerFailed;
    }
    registerBundledComponents();
    std::string why;
    ObjectPtr o = TryCreateObject(kProgId, &why);
    if (!o) {
        err << "vesper-schedule: cannot create \"" << kProgId << "\": " << why
            << "\n(register the Slotbook component with: regsvr " << bundledComponentPath("Slotbook.so") << ")\n";
        return SchedulerFailed;
    }
    try {
        try {
            o->call("Initialize");
        } catch (const AutomationError& e) {
            err << "vesper-schedule: the schedule could not be read (nothing was changed): " << e.logText() << "\n";
            return SchedulerFailed;
        }
        Session s(o);
        const std::string& c = args[0];
        if (c == "list") return cmdList(s, args, out);
        if (c == "add") return cmdAdd(s, args, out, err);
        if (c == "update") return cmdUpdate(s, args, out, err);
        if (c == "cancel" || c == "remove") return cmdCancelOrRemove(s, args, out, err);
        if (c == "next") return cmdNext(s, args, out);
        if (args.size() != 1) throw BadArgument{"count takes no arguments"};
        out << s.count() << "\n";
        return Ok;
    } catch (const BadArgument& b) {
        // An expired event is refused like a conflict; the rest is misuse.
        const bool expired = b.message.find("EXPIRED") != std::string::npos;
        err << (expired ? "" : "vesper-schedule: ") << b.message << "\n";
        if (!expired) err << "(vesper-schedule --help shows the usage; nothing was changed)\n";
        return expired ? Refused : BadArguments;
    } catch (const AutomationError& e) {
        err << "vesper-schedule: the scheduler failed: " << e.logText() << "\n";
        return SchedulerFailed;
    }
}

} // namespace vesper::schedule
