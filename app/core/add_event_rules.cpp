#include "app/core/add_event_rules.h"

#include "app/core/settings_store.h"
#include "app/core/status_log.h"
#include "platform/ui/ui_seam.h"
#include "scheduler/event_rules.h"

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/variant.h"

#include <algorithm>
#include <cmath>

namespace vesper {

namespace {

std::vector<std::string> numbers(int from, int to) {
    std::vector<std::string> out;
    for (int i = from; i <= to; ++i)
        out.push_back(std::to_string(i));
    return out;
}

std::string pad2(long v) { return v < 10 ? "0" + std::to_string(v) : std::to_string(v); }

// The integer part of a typed number, when the text is a number at all
// (classic rules: blanks, sign, decimals, exponent); unicode digits, words and
// empty boxes are not.
std::optional<long> integerPart(const std::string& text) {
    double v = 0;
    if (!parseNumber(text, v) || !std::isfinite(v) || std::fabs(v) > 1e9) return std::nullopt;
    return static_cast<long>(std::trunc(v));
}

std::optional<long> afterColon(const std::string& text) {
    const std::string rest = !text.empty() && text[0] == ':' ? text.substr(1) : text;
    double v = 0;
    if (!parseNumber(rest, v) || v < 0) return std::nullopt;
    return integerPart(rest);
}

// 12-hour form of an hour of the day: 0 gives 12, 13 to 23 give 1 to 11.
std::string hour12(int hour) { return std::to_string(hour == 0 ? 12 : hour > 12 ? hour - 12 : hour); }

bool inList(const std::vector<std::string>& list, const std::string& s) {
    return std::find(list.begin(), list.end(), s) != list.end();
}

// The largest length a 16-bit duration holds.
constexpr long kMaxDuration = 32767;
// The automation date of 31 December 9999, the last day a date can hold.
constexpr double kLastDay = 2958465;

} // namespace

const std::vector<std::string>& startHourItems() {
    static const auto items = numbers(1, 12);
    return items;
}
const std::vector<std::string>& startMinuteItems() {
    static const std::vector<std::string> items{":00", ":30"};
    return items;
}
const std::vector<std::string>& durationHourItems() {
    static const auto items = numbers(0, 4);
    return items;
}
const std::vector<std::string>& durationMinuteItems() {
    static const std::vector<std::string> items{":00", ":15", ":30", ":45"};
    return items;
}
const std::vector<std::string>& repeatItems() {
    static const std::vector<std::string> items{"once", "weekdays", "weekly"};
    return items;
}

DateTime nextWholeHalfHour(DateTime t) {
    const DateParts p = splitDate(t);
    const long long base = toSeconds(t) - p.second;
    const int add = p.minute < 30 ? 30 - p.minute : 60 - p.minute;
    return fromSeconds(base + 60LL * add);
}

AddEventRules::AddEventRules(Program& program) : m_program(program) {}

std::string AddEventRules::caption() const {
    if (m_mode == mode::AddEvent) return "Add Event";
    if (m_mode == mode::AddEventRecordNow) return "Add Event [Record Now!]";
    if (m_mode == mode::AddEventExternal) return "Add Event [External]";
    return "Update Event";
}

std::string AddEventRules::okCaption() const {
    return m_mode == mode::AddEvent || m_mode == mode::AddEventRecordNow || m_mode == mode::AddEventExternal
               ? "&Add"
               : "&Update";
}

std::string AddEventRules::whenCaption() const { return " When: [ " + formatDate(fields.when, "dddd,  mmm d") + " ]"; }

std::vector<std::string> AddEventRules::channelItems() const { return numbers(kLowestChannel, kHighestChannel); }

std::vector<std::string> AddEventRules::repeatList() const {
    std::vector<std::string> items = repeatItems();
    // An event made elsewhere ("day" through the schedule file or the command)
    // keeps its word when it is edited.
    if (m_mode == mode::UpdateEvent || m_mode == mode::AddEventExternal || m_mode == mode::AddEventRecordNow)
        if (!inList(items, m_extraRepeat) && m_hasExtraRepeat) items.push_back(m_extraRepeat);
    return items;
}

DateTime AddEventRules::firstDay() const { return std::min(dayStart(now()), m_firstDayOfRecord); }

void AddEventRules::Load() {
    m_mode = m_program.modeWord;
    // Any word other than the three add modes opens for update.
    if (m_mode != mode::AddEvent && m_mode != mode::AddEventRecordNow && m_mode != mode::AddEventExternal)
        m_mode = mode::UpdateEvent;
    m_firstDayOfRecord = dayStart(now());
    fields = AddEventFields{};
    fields.when = dayStart(now());
    ErrorTrap trap;
    trap.step([&] {
        if (m_mode == mode::AddEvent)
            loadSaved();
        else
            loadRecord(m_mode == mode::AddEventRecordNow);
    });
    eventsEnabled = true;
    trap.step([&] { UpdateUntil(); });
    m_openingFileName = fields.output;
    if (trap.failed()) LogStatus("LS0058:ERROR:F02:FLoad() Exit - " + trap.text());
}

void AddEventRules::loadSaved() {
    using namespace settings;
    const auto valid = [&](Field f, const std::string& text, const std::string& fallback) {
        const auto n = normalized(f, text);
        return n ? *n : fallback;
    };
    fields.output = RegGetSetting2(AddEventOutput);
    fields.channel = valid(Field::Channel, RegGetSetting2(AddEventChannel), AddEventChannel.defaultValue);
    fields.repeat = RegGetSetting2(AddEventRepeat);
    if (!inList(repeatItems(), fields.repeat)) fields.repeat = AddEventRepeat.defaultValue;
    fields.startHour = valid(Field::StartHour, RegGetSetting2(AddEventStartHour), AddEventStartHour.defaultValue);
    fields.startMinute =
        valid(Field::StartMinute, RegGetSetting2(AddEventStartMinute), AddEventStartMinute.defaultValue);
    fields.startPM = settingToBool(RegGetSetting2(AddEventStartPM));
    fields.durationHour =
        valid(Field::DurationHour, RegGetSetting2(AddEventDurationHour), AddEventDurationHour.defaultValue);
    fields.durationMinute =
        valid(Field::DurationMinute, RegGetSetting2(AddEventDurationMinute), AddEventDurationMinute.defaultValue);
    if (!fields.durationMinute.empty() && fields.durationMinute[0] != ':') fields.durationMinute = ":30";
    fields.durationUnit = integerPart(fields.durationHour).value_or(0) != 0 ? "Hours" : "Minutes";

    // The end boxes are recomputed from start and length at the end of loading.
    eventsEnabled = false;
    fields.untilHour = RegGetSetting2(AddEventUntilHour);
    fields.untilMinute = RegGetSetting2(AddEventUntilMinute);
    fields.untilPM = settingToBool(RegGetSetting2(AddEventUntilPM));

    const DateTime today = dayStart(now());
    DateTime day = today;
    double n = 0;
    if (parseNumber(RegGetSetting2(AddEventDblWhen.key, AddEventDblWhen.name, numberToText(now())), n) &&
        std::isfinite(n) && n >= 0 && n <= kLastDay)
        day = dayStart(n);
    if (auto d = parseDate(RegGetSetting2(AddEventDtWhen.key, AddEventDtWhen.name, formatDate(today, "yyyy-mm-dd"))))
        if (*d >= 0 && *d <= kLastDay) day = dayStart(*d);
    fields.when = day < today ? today : day;
}

void AddEventRules::loadRecord(bool recordNow) {
    const EventRecord& e = m_program.currentEvent;
    fields.when = dayStart(e.dt);
    // The calendar offers no earlier day than the edited event's own.
    m_firstDayOfRecord = std::min(m_firstDayOfRecord, fields.when);
    eventsEnabled = false;
    SetStart(e.dt);
    SetDuration(std::max<int>(e.duration, 0));
    fields.output = e.filename;
    if (recordNow) {
        const std::string ch = m_program.g_bPreview ? m_program.g_sChannel : RegGetSetting2(settings::RecordNowChannel);
        fields.channel = normalized(Field::Channel, ch).value_or(std::to_string(kLowestChannel));
    } else if (m_mode == mode::AddEventExternal && !m_program.refusedChannel.empty()) {
        fields.channel = m_program.refusedChannel;
    } else {
        fields.channel = std::to_string(e.channel);
    }
    fields.repeat = e.every;
    m_extraRepeat = e.every;
    m_hasExtraRepeat = !inList(repeatItems(), e.every);
    fields.startEnabled = !recordNow;
}

std::optional<std::string> AddEventRules::channelNotice() const {
    // Record Now and the saved settings always open on a channel of the list.
    if (m_mode != mode::AddEventExternal && m_mode != mode::UpdateEvent) return std::nullopt;
    if (normalized(Field::Channel, fields.channel)) return std::nullopt;
    return "Channel " + fields.channel + " is outside the channels Vesper can tune (" + std::to_string(kLowestChannel) +
           " to " + std::to_string(kHighestChannel) + ").\r\n\r\n" +
           "Type the channel to record in the Channel box: the event is not scheduled on any other channel.";
}

std::optional<DateTime> AddEventRules::readTime(const std::string& hour, const std::string& minute, bool pm) const {
    const auto h = integerPart(hour);
    const auto m = afterColon(minute);
    if (!h || *h < 1 || *h > 12 || !m || *m > 59) return std::nullopt;
    return parseDate(shortDate(fields.when) + " " + std::to_string(*h) + ":" + pad2(*m) + " " + (pm ? "PM" : "AM"));
}

std::string AddEventRules::StartText() const {
    return shortDate(fields.when) + " " + fields.startHour + fields.startMinute + " " + (fields.startPM ? "PM" : "AM");
}

std::string AddEventRules::UntilText() const {
    return shortDate(fields.when) + " " + fields.untilHour + fields.untilMinute + " " + (fields.untilPM ? "PM" : "AM");
}

std::optional<DateTime> AddEventRules::startTime() const {
    return readTime(fields.startHour, fields.startMinute, fields.startPM);
}

std::optional<DateTime> AddEventRules::untilTime() const {
    return readTime(fields.untilHour, fields.untilMinute, fields.untilPM);
}

int AddEventRules::DurationMinutes() {
    if (fields.durationHour.empty()) fields.durationHour = durationHourItems()[1];
    const long h = std::max(0L, integerPart(fields.durationHour).value_or(0));
    const long m = afterColon(fields.durationMinute).value_or(0);
    return static_cast<int>(std::min(kMaxDuration, h * 60 + m));
}

void AddEventRules::UpdateUntil() {
    const auto start = startTime();
    if (!start) return;
    const DateTime end = fromSeconds(toSeconds(*start) + 60LL * DurationMinutes());
    const DateParts p = splitDate(end);
    fields.untilMinute = ":" + pad2(p.minute);
    fields.untilHour = hour12(p.hour);
    fields.untilPM = p.hour >= 12;
    // The end now agrees with the length again.
    fields.okEnabled = true;
}

void AddEventRules::UpdateDuration() {
    if (!eventsEnabled) return;
    const auto start = startTime();
    const auto until = untilTime();
    if (!start || !until) return;
    long long from = toSeconds(*start), to = toSeconds(*until);
    if (to < from) to += 86400;
    const long long minutes = (to - from) / 60;
    if (minutes >= 300) {
        fields.okEnabled = false;
        return;
    }
    fields.durationHour = std::to_string(minutes / 60);
    fields.durationMinute = ":" + pad2(static_cast<long>(minutes % 60));
    fields.okEnabled = true;
}

void AddEventRules::SetDuration(int minutes) {
    minutes = std::clamp(minutes, 0, static_cast<int>(kMaxDuration));
    fields.durationHour = std::to_string(minutes / 60);
    fields.durationMinute = ":" + pad2(minutes % 60);
    fields.durationUnit = minutes / 60 != 0 ? "Hours" : "Minutes";
    UpdateUntil();
}

void AddEventRules::SetStart(DateTime dt) {
    const DateParts p = splitDate(dt);
    fields.startHour = hour12(p.hour);
    fields.startMinute = ":" + pad2(p.minute);
    fields.startPM = p.hour >= 12;
}

void AddEventRules::SetUntil(DateTime dt) {
    const DateParts p = splitDate(dt);
    fields.untilHour = hour12(p.hour);
    fields.untilMinute = ":" + pad2(p.minute);
    fields.untilPM = p.hour >= 12;
}

std::optional<std::string> AddEventRules::normalized(Field f, const std::string& text) const {
    switch (f) {
    case Field::StartHour:
    case Field::UntilHour: {
        const auto h = integerPart(text);
        if (!h || *h < 1 || *h > 12) return std::nullopt;
        return std::to_string(*h);
    }
    case Field::StartMinute:
    case Field::UntilMinute: {
        const auto m = afterColon(text);
        if (!m || *m > 59) return std::nullopt;
        return ":" + pad2(*m);
    }
    case Field::DurationHour: {
        if (text.empty()) return text; // taken as "1" when the length is read
        const auto h = integerPart(text);
        double v = 0;
        if (!h || !parseNumber(text, v) || v < 0 || *h * 60 > kMaxDuration) return std::nullopt;
        return std::to_string(*h);
    }
    case Field::DurationMinute: {
        const auto m = afterColon(text);
        if (!m || *m >= 300) return std::nullopt;
        return *m < 60 ? ":" + pad2(*m) : std::to_string(*m);
    }
    case Field::Channel: {
        const auto c = integerPart(text);
        if (!c || *c < kLowestChannel || *c > kHighestChannel) return std::nullopt;
        return std::to_string(*c);
    }
    case Field::None: break;
    }
    return text;
}

std::string* AddEventRules::text(Field f) {
    switch (f) {
    case Field::StartHour: return &fields.startHour;
    case Field::StartMinute: return &fields.startMinute;
    case Field::DurationHour: return &fields.durationHour;
    case Field::DurationMinute: return &fields.durationMinute;
    case Field::UntilHour: return &fields.untilHour;
    case Field::UntilMinute: return &fields.untilMinute;
    case Field::Channel: return &fields.channel;
    case Field::None: break;
    }
    return nullptr;
}

bool AddEventRules::checkField(Field f) {
    std::string* t = text(f);
    if (!t) return true;
    const auto n = normalized(f, *t);
    if (!n) return false;
    if (f == Field::DurationMinute && (*n).front() != ':') {
        // 60 to 299 typed into the minutes: a total length.
        SetDuration(std::stoi(*n));
        return true;
    }
    *t = *n;
    switch (f) {
    case Field::StartHour:
    case Field::StartMinute: UpdateUntil(); break;
    case Field::DurationHour:
        fields.durationUnit = integerPart(fields.durationHour).value_or(0) != 0 ? "Hours" : "Minutes";
        UpdateUntil();
        break;
    case Field::DurationMinute: UpdateUntil(); break;
    case Field::UntilHour:
    case Field::UntilMinute: UpdateDuration(); break;
    default: break;
    }
    return true;
}

void AddEventRules::startChosen() { UpdateUntil(); }

void AddEventRules::durationChosen(bool hourItem) {
    if (hourItem) fields.durationUnit = integerPart(fields.durationHour).value_or(0) != 0 ? "Hours" : "Minutes";
    UpdateUntil();
    if (eventsEnabled) fields.okEnabled = true;
}

void AddEventRules::untilChosen() { UpdateDuration(); }

void AddEventRules::quickPickStart() {
    const DateTime t = now();
    const DateTime half = nextWholeHalfHour(t);
    static constexpr int kAdd[4] = {0, 0, 30, 60};
    const DateTime start = m_pickStart == 0 ? t : fromSeconds(toSeconds(half) + 60LL * kAdd[m_pickStart]);
    m_pickStart = (m_pickStart + 1) % 4;
    // The day goes with the time: just before midnight the next half hour is
    // tomorrow's.
    fields.when = dayStart(start);
    SetStart(start);
    UpdateUntil();
}

void AddEventRules::quickPickDuration() {
    static constexpr int kMinutes[3] = {30, 60, 120};
    SetDuration(kMinutes[m_pickDuration]);
    m_pickDuration = (m_pickDuration + 1) % 3;
    fields.okEnabled = true;
}

void AddEventRules::quickPickUntil() {
    static constexpr int kAdd[4] = {0, 30, 60, 90};
    const DateTime until = fromSeconds(toSeconds(nextWholeHalfHour(now())) + 60LL * kAdd[m_pickUntil]);
    m_pickUntil = (m_pickUntil + 1) % 4;
    SetUntil(until);
    // Enabled first: an end 5 hours or more after the start disables OK again.
    fields.okEnabled = true;
    if (eventsEnabled) UpdateDuration();
}

void AddEventRules::quickPickFilename() {
    fields.output = m_pickFilename == 0 ? "QuickPick-" + formatDate(now(), "YYMMDD-hhnn") : m_openingFileName;
    m_pickFilename = (m_pickFilename + 1) % 2;
}

AddEventRules::OkResult AddEventRules::Ok(MainWindowOps& window) {
    // A field typed into but not left yet (Enter pressed OK) is checked as if
    // it had been left, so that the event is the one the dialog then shows.
    refusedField = Field::None;
    for (Field f : {Field::StartHour, Field::StartMinute, Field::DurationHour, Field::DurationMinute, Field::UntilHour,
                    Field::UntilMinute, Field::Channel}) {
        const auto n = normalized(f, *text(f));
        if (n && *n == *text(f)) continue;
        if (!checkField(f)) {
            refusedField = f;
            return OkResult::Refused;
        }
    }
    if (!fields.okEnabled || !inList(repeatList(), fields.repeat)) return OkResult::Refused;
    const auto start = startTime();
    if (!start) {
        refusedField = Field::StartHour;
        return OkResult::Refused;
    }
    const int duration = DurationMinutes();
    if (eventExpired(*start, duration, now())) {
        MsgBox(expiredMessage(StartText()), vbCritical, "Oops");
        return OkResult::Expired;
    }
    const auto channel = static_cast<int16_t>(*integerPart(fields.channel));
    fields.output = scheduledFileName(fields.output);
    const auto length = static_cast<int16_t>(duration);
    ErrorTrap trap;
    trap.step([&] {
        if (m_mode == mode::AddEvent || m_mode == mode::AddEventRecordNow)
            window.AddEvent(*start, channel, length, true, fields.repeat, fields.output);
        else if (m_mode == mode::AddEventExternal)
            window.AddEventExternal(*start, channel, length, true, fields.repeat, fields.output);
        else
            window.UpdateEvent(m_program.currentEvent.dt, *start, channel, length, true, fields.repeat, fields.output);
    });
    trap.step([&] { window.SaveScheduleToDisk(); });
    trap.step([&] {
        const EventRecord added{*start, channel, length, true, fields.repeat, fields.output};
        window.setEventTiming(added, timing, editedEvent());
    });
    if (trap.failed()) LogStatus("LS0118:ERROR:F02:cmdOK_Click() Exit - " + trap.text());
    return OkResult::Done;
}

const EventRecord* AddEventRules::editedEvent() const {
    const bool adding =
        m_mode == mode::AddEvent || m_mode == mode::AddEventRecordNow || m_mode == mode::AddEventExternal;
    return adding ? nullptr : &m_program.currentEvent;
}

void AddEventRules::SaveSettings() {
    using namespace settings;
    if (m_mode == mode::AddEventRecordNow) {
        RegSaveSetting2(RecordNowChannel, fields.channel);
        return;
    }
    if (m_mode != mode::AddEvent && m_mode != mode::AddEventExternal) return;
    const auto b = [](bool v) { return std::string(v ? "True" : "False"); };
    RegSaveSetting2(AddEventOutput, fields.output);
    RegSaveSetting2(AddEventChannel, fields.channel);
    RegSaveSetting2(AddEventRepeat, fields.repeat);
    RegSaveSetting2(AddEventStartHour, fields.startHour);
    RegSaveSetting2(AddEventStartMinute, fields.startMinute);
    RegSaveSetting2(AddEventStartAM, b(!fields.startPM));
    RegSaveSetting2(AddEventStartPM, b(fields.startPM));
    RegSaveSetting2(AddEventDurationHour, fields.durationHour);
    RegSaveSetting2(AddEventDurationMinute, fields.durationMinute);
    RegSaveSetting2(AddEventUntilHour, fields.untilHour);
    RegSaveSetting2(AddEventUntilMinute, fields.untilMinute);
    RegSaveSetting2(AddEventDblWhen, numberToText(dayStart(fields.when)));
    RegSaveSetting2(AddEventDtWhen, formatDate(fields.when, "yyyy-mm-dd"));
}

std::string AddEventRules::contents() const {
    const auto b = [](bool v) { return std::string(v ? "True" : "False"); };
    return "mvWhen: " + shortDate(fields.when) + "\n" + "cmbStartHour: " + fields.startHour + "\n" +
           "cmbStartMinute: " + fields.startMinute + "\n" + "optStartPM: " + b(fields.startPM) + "\n" +
           "cmbDurationHour: " + fields.durationHour + "\n" + "cmbDurationMinute: " + fields.durationMinute + "\n" +
           "lblDurationUnit: " + fields.durationUnit + "\n" + "cmbUntilHour: " + fields.untilHour + "\n" +
           "cmbUntilMinute: " + fields.untilMinute + "\n" + "optUntilPM: " + b(fields.untilPM) + "\n" +
           "cmbChannel: " + fields.channel + "\n" + "cmbRepeat: " + fields.repeat + "\n" +
           "txtOutput: " + fields.output;
}

} // namespace vesper
