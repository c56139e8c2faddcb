// The Add Event dialog's rules without a window: the time arithmetic, the
// field checks, the quick picks, OK and the remembered settings.
#include "app/core/add_event_rules.h"
#include "app/core/settings_store.h"
#include "platform/ui/ui_seam.h"
#include "scheduler/event_rules.h"

#include "platform/clock.h"
#include "platform/registry.h"

#include <gtest/gtest.h>

using namespace vesper;
using F = AddEventRules::Field;

namespace {

// What the dialog asked of the main window.
struct FakeWindow : MainWindowOps {
    std::vector<std::string> calls;
    EventRecord last;
    DateTime key = 0;
    void AddEvent(DateTime dt, int16_t ch, int16_t d, bool a, const std::string& ev, const std::string& f) override {
        calls.push_back("AddEvent");
        last = {dt, ch, d, a, ev, f};
    }
    void AddEventExternal(DateTime dt, int16_t ch, int16_t d, bool a, const std::string& ev,
                          const std::string& f) override {
        calls.push_back("AddEventExternal");
        last = {dt, ch, d, a, ev, f};
    }
    void UpdateEvent(DateTime k, DateTime dt, int16_t ch, int16_t d, bool a, const std::string& ev,
                     const std::string& f) override {
        calls.push_back("UpdateEvent");
        key = k;
        last = {dt, ch, d, a, ev, f};
    }
    void UpdateEvent_temp(DateTime, DateTime, int16_t, int16_t, bool, const std::string&, const std::string&) override {
        calls.push_back("UpdateEvent_temp");
    }
    void SaveScheduleToDisk() override { calls.push_back("SaveScheduleToDisk"); }
    ObjectPtr SchedulerObject() override { return nullptr; }
    void SetIgnorEvents(bool) override {}
    void SetEncoderProfileLabelToolTip() override {}
    void AttachTVScreen() override {}
    void SetChannelForFormVesper(const std::string&) override {}
};

class AddEventRulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        registry::deleteKey(std::string(settings::kRoot) + "\\AddEvent");
        setClock(&clock);
        setUiSeam(&ui);
    }
    void TearDown() override {
        setClock(nullptr);
        setUiSeam(nullptr);
    }
    AddEventRules open(const std::string& modeWord) {
        program.modeWord = modeWord;
        AddEventRules r(program);
        r.Load();
        return r;
    }
    // Wednesday 17 April 2030, 6:10:20 PM.
    TestClock clock{makeDate(2030, 4, 17, 18, 10, 20)};
    RecordingUiSeam ui;
    Program program;
    FakeWindow window;
};

} // namespace

TEST_F(AddEventRulesTest, StartLengthAndEndStayConsistentAcrossMidnight) {
    AddEventRules r = open(mode::AddEvent);
    r.fields.startHour = "11";
    r.fields.startMinute = ":30";
    r.fields.startPM = true;
    r.SetDuration(60);
    EXPECT_EQ(r.fields.durationHour, "1");
    EXPECT_EQ(r.fields.durationUnit, "Hours");
    EXPECT_EQ(r.fields.untilHour, "12");
    EXPECT_EQ(r.fields.untilMinute, ":30");
    EXPECT_FALSE(r.fields.untilPM);
    // Choosing 1:00 AM takes the end on the next day.
    r.fields.untilHour = "1";
    r.fields.untilMinute = ":00";
    r.untilChosen();
    EXPECT_EQ(r.fields.durationHour, "1");
    EXPECT_EQ(r.fields.durationMinute, ":30");
    EXPECT_EQ(r.DurationMinutes(), 90);

    // 12 AM is just after midnight, 12 PM just after noon.
    r.fields.startHour = "12";
    r.fields.startMinute = ":05";
    r.fields.startPM = false;
    EXPECT_EQ(r.StartText(), "4/17/2030 12:05 AM");
    EXPECT_EQ(*r.startTime(), makeDate(2030, 4, 17, 0, 5));
    r.fields.startPM = true;
    EXPECT_EQ(*r.startTime(), makeDate(2030, 4, 17, 12, 5));
    // An empty hours box is read as one hour.
    r.fields.durationHour = "";
    r.fields.durationMinute = ":15";
    EXPECT_EQ(r.DurationMinutes(), 75);
    EXPECT_EQ(r.fields.durationHour, "1");
}

TEST_F(AddEventRulesTest, AnEndFiveHoursOnDisablesOkUntilALengthIsPicked) {
    AddEventRules r = open(mode::AddEvent); // 8:00 PM for 0:30
    r.fields.untilHour = "1";
    r.fields.untilMinute = ":00";
    r.fields.untilPM = false; // 1:00 AM: 300 minutes
    r.untilChosen();
    EXPECT_FALSE(r.fields.okEnabled);
    EXPECT_EQ(r.fields.durationMinute, ":30"); // nothing else changed
    EXPECT_EQ(r.Ok(window), AddEventRules::OkResult::Refused);
    EXPECT_TRUE(window.calls.empty());
    r.fields.untilHour = "12";
    r.fields.untilMinute = ":59";
    r.untilChosen();
    EXPECT_TRUE(r.fields.okEnabled);
    EXPECT_EQ(r.DurationMinutes(), 299);
    // The end quick pick may not enable OK with an end it just refused.
    clock.set(makeDate(2030, 4, 17, 9, 10, 0)); // next half hour 9:30 AM: 10:30 hours before 8 PM
    r.quickPickUntil();
    EXPECT_FALSE(r.fields.okEnabled);
    r.quickPickDuration();
    EXPECT_TRUE(r.fields.okEnabled);
    EXPECT_EQ(r.fields.untilHour, "8");
    EXPECT_EQ(r.fields.untilMinute, ":30");
}

TEST_F(AddEventRulesTest, FieldChecksRefuseBadEntriesAndNormaliseGoodOnes) {
    AddEventRules r = open(mode::AddEvent);
    r.fields.durationMinute = "90";
    EXPECT_TRUE(r.checkField(F::DurationMinute));
    EXPECT_EQ(r.fields.durationHour, "1");
    EXPECT_EQ(r.fields.durationMinute, ":30");
    EXPECT_EQ(r.fields.durationUnit, "Hours");
    EXPECT_EQ(r.fields.untilHour, "9");

    r.fields.startMinute = "7";
    EXPECT_TRUE(r.checkField(F::StartMinute));
    EXPECT_EQ(r.fields.startMinute, ":07");
    EXPECT_EQ(r.fields.untilMinute, ":37");
    r.fields.startMinute = ":7.9";
    EXPECT_TRUE(r.checkField(F::StartMinute));
    EXPECT_EQ(r.fields.startMinute, ":07");

    r.fields.channel = " 5.7 ";
    EXPECT_TRUE(r.checkField(F::Channel));
    EXPECT_EQ(r.fields.channel, "5"); // shows what will be scheduled

    const std::pair<F, std::vector<std::string>> refused[] = {
        {F::DurationMinute, {"300", "-1", "", "abc", "1e9", "\xd9\xa3", " : ", "999999999999999999999"}},
        {F::StartMinute, {"60", "-5", "", "x", "\xef\xbc\x95", ":-1"}},
        {F::UntilMinute, {"75", "", "::5"}},
        {F::StartHour, {"0", "13", "", "-1", "1e99", "twelve", "\xd9\xa5"}},
        {F::UntilHour, {"0", "13", " "}},
        {F::DurationHour, {"-1", "x", "1000"}},
        {F::Channel, {"1", "182", "", "-2", "5x", "\xd9\xa5", "99999999999", "nan"}},
    };
    for (const auto& [field, texts] : refused)
        for (const auto& t : texts) {
            const AddEventFields before = r.fields;
            std::string* box = field == F::DurationMinute ? &r.fields.durationMinute
                               : field == F::StartMinute  ? &r.fields.startMinute
                               : field == F::UntilMinute  ? &r.fields.untilMinute
                               : field == F::StartHour    ? &r.fields.startHour
                               : field == F::UntilHour    ? &r.fields.untilHour
                               : field == F::DurationHour ? &r.fields.durationHour
                                                          : &r.fields.channel;
            *box = t;
            EXPECT_FALSE(r.checkField(field)) << t;
            EXPECT_EQ(*box, t) << "a refused entry stays for the user to correct";
            // OK refuses it too and names the field; nothing is scheduled.
            EXPECT_EQ(r.Ok(window), AddEventRules::OkResult::Refused) << t;
            EXPECT_EQ(r.refusedField, field) << t;
            r.fields = before;
        }
    EXPECT_TRUE(window.calls.empty());
}

TEST_F(AddEventRulesTest, QuickPicksCycleOnTheClock) {
    AddEventRules r = open(mode::AddEvent);
    // Start: now, the next whole half hour, +30, +60, then now again.
    const char* starts[] = {"6:10 PM", "6:30 PM", "7:00 PM", "7:30 PM", "6:10 PM"};
    for (const char* s : starts) {
        r.quickPickStart();
        EXPECT_EQ(r.fields.startHour + r.fields.startMinute + (r.fields.startPM ? " PM" : " AM"), s);
    }
    EXPECT_EQ(nextWholeHalfHour(makeDate(2030, 4, 17, 20, 0, 0)), makeDate(2030, 4, 17, 20, 30));
    EXPECT_EQ(nextWholeHalfHour(makeDate(2030, 4, 17, 20, 30, 59)), makeDate(2030, 4, 17, 21, 0));
    // Length: 30, 60, 120, 30.
    for (int m : {30, 60, 120, 30}) {
        r.quickPickDuration();
        EXPECT_EQ(r.DurationMinutes(), m);
    }
    // End: the next whole half hour plus 0, 30, 60, 90.
    const char* ends[] = {"6:30", "7:00", "7:30", "8:00", "6:30"};
    for (const char* e : ends) {
        r.quickPickUntil();
        EXPECT_EQ(r.fields.untilHour + r.fields.untilMinute, e);
    }
    // File name: a dated name, then back to the name shown at opening.
    r.fields.output = "typed.wmv";
    r.quickPickFilename();
    EXPECT_EQ(r.fields.output, "QuickPick-300417-1810");
    r.quickPickFilename();
    EXPECT_EQ(r.fields.output, "default.wmv");

    // Just before midnight the next half hour is tomorrow's, and so is the day.
    clock.set(makeDate(2030, 4, 17, 23, 50, 0));
    AddEventRules late = open(mode::AddEvent);
    late.quickPickStart();
    late.quickPickStart();
    EXPECT_EQ(*late.startTime(), makeDate(2030, 4, 18, 0, 0));
}

TEST_F(AddEventRulesTest, OkCleansTheNameAndRefusesWhatHasEnded) {
    AddEventRules r = open(mode::AddEvent); // today 8:00 PM for 30 minutes
    r.fields.output = "News & Weather: Late";
    r.fields.channel = "5";
    ASSERT_EQ(r.Ok(window), AddEventRules::OkResult::Done);
    EXPECT_EQ(r.fields.output, "News And Weather_ Late.wmv");
    ASSERT_EQ(window.calls, (std::vector<std::string>{"AddEvent", "SaveScheduleToDisk"}));
    EXPECT_EQ(window.last.dt, makeDate(2030, 4, 17, 20, 0));
    EXPECT_EQ(window.last.channel, 5);
    EXPECT_EQ(window.last.duration, 30);
    EXPECT_TRUE(window.last.bActive);
    EXPECT_EQ(window.last.every, "once");

    // Fields typed into but not left are checked as if left.
    window.calls.clear();
    r.fields.startMinute = "7";
    r.fields.durationMinute = "90";
    ASSERT_EQ(r.Ok(window), AddEventRules::OkResult::Done);
    EXPECT_EQ(window.last.dt, makeDate(2030, 4, 17, 20, 7));
    EXPECT_EQ(window.last.duration, 90);
    EXPECT_EQ(r.fields.untilHour + r.fields.untilMinute, "9:37");

    // Started but not ended: accepted. Ended a minute ago: refused.
    window.calls.clear();
    r.fields.startHour = "5";
    r.fields.startMinute = ":45";
    r.fields.durationMinute = ":30";
    ASSERT_EQ(r.Ok(window), AddEventRules::OkResult::Done);
    window.calls.clear();
    r.fields.durationMinute = ":24";
    EXPECT_EQ(r.Ok(window), AddEventRules::OkResult::Expired);
    EXPECT_TRUE(window.calls.empty());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Oops");
    EXPECT_EQ(ui.messages[0].iconName(), "critical");
    EXPECT_EQ(ui.messages[0].prompt, "The event on (4/17/2030 5:45 PM) you're trying to add has EXPIRED.\r\n"
                                     "The event cannot be added!");
}

TEST(FileNames, TheScheduledNameIsCleanedAndEndsInWmv) {
    EXPECT_EQ(scheduledFileName("News & Weather: Late"), "News And Weather_ Late.wmv");
    EXPECT_EQ(scheduledFileName("Show.WMV"), "Show.WMV");
    EXPECT_EQ(scheduledFileName("a/b\\c"), "a_b_c.wmv");
    EXPECT_EQ(scheduledFileName("../../etc/passwd"), ".._.._etc_passwd.wmv");
    EXPECT_EQ(scheduledFileName("tab\there\x01"), "tab_here_.wmv");
    EXPECT_EQ(scheduledFileName("Caf\xc3\xa9 \xe2\x82\xac"), "Caf_ _.wmv"); // one "_" per character
    EXPECT_EQ(scheduledFileName("?*<>|"), "_____.wmv");
    // Nothing but blanks and dots would be a hidden or nameless file.
    for (const char* hidden : {"", " ", ".", "..", ".wmv", " . .WMV"})
        EXPECT_EQ(scheduledFileName(hidden), "default.wmv") << hidden;
    const std::string longName(300, 'x');
    const std::string cut = scheduledFileName(longName);
    EXPECT_EQ(cut, std::string(kMaxFileStemLength, 'x') + ".wmv");
    EXPECT_EQ(scheduledFileName(longName + ".wmv"), cut);

    EXPECT_FALSE(eventExpired(makeDate(2030, 1, 1, 20, 0), 30, makeDate(2030, 1, 1, 20, 30)));
    EXPECT_TRUE(eventExpired(makeDate(2030, 1, 1, 20, 0), 30, makeDate(2030, 1, 1, 20, 30, 1)));
}

TEST_F(AddEventRulesTest, ModesTakeTheirValuesAndRememberTheirOwnSettings) {
    // A fresh installation opens on today at 8:00 PM for 30 minutes.
    AddEventRules fresh = open(mode::AddEvent);
    EXPECT_EQ(fresh.caption(), "Add Event");
    EXPECT_EQ(fresh.okCaption(), "&Add");
    EXPECT_EQ(fresh.whenCaption(), " When: [ Wednesday,  Apr 17 ]");
    EXPECT_EQ(fresh.contents(), "mvWhen: 4/17/2030\ncmbStartHour: 8\ncmbStartMinute: :00\noptStartPM: True\n"
                                "cmbDurationHour: 0\ncmbDurationMinute: :30\nlblDurationUnit: Minutes\n"
                                "cmbUntilHour: 8\ncmbUntilMinute: :30\noptUntilPM: True\ncmbChannel: 2\n"
                                "cmbRepeat: once\ntxtOutput: default.wmv");

    // Closing in "AddEvent" mode remembers the entry, day included.
    fresh.fields.when = makeDate(2030, 4, 20);
    fresh.fields.channel = "7";
    fresh.fields.repeat = "weekly";
    fresh.fields.startHour = "9";
    fresh.fields.startPM = false;
    fresh.fields.output = "Morning.wmv";
    fresh.SaveSettings();
    AddEventRules again = open(mode::AddEvent);
    EXPECT_EQ(again.fields.when, makeDate(2030, 4, 20));
    EXPECT_EQ(again.fields.channel, "7");
    EXPECT_EQ(again.fields.repeat, "weekly");
    EXPECT_EQ(again.StartText(), "4/20/2030 9:00 AM");
    EXPECT_EQ(again.fields.output, "Morning.wmv");
    EXPECT_EQ(RegGetSetting2(settings::AddEventDtWhen), "2030-04-20");
    EXPECT_EQ(RegGetSetting2(settings::AddEventStartAM), "True");

    // A saved day before today opens on today; hostile saved values fall back.
    RegSaveSetting2(settings::AddEventDtWhen, "2030-04-01");
    RegSaveSetting2(settings::AddEventDblWhen, "1e300");
    RegSaveSetting2(settings::AddEventChannel, "999");
    RegSaveSetting2(settings::AddEventStartHour, "x");
    RegSaveSetting2(settings::AddEventDurationMinute, "-5");
    RegSaveSetting2(settings::AddEventRepeat, "monthly");
    AddEventRules stale = open(mode::AddEvent);
    EXPECT_EQ(stale.fields.when, makeDate(2030, 4, 17));
    EXPECT_EQ(stale.fields.channel, "2");
    EXPECT_EQ(stale.fields.startHour, "8");
    EXPECT_EQ(stale.fields.durationMinute, ":30");
    EXPECT_EQ(stale.fields.repeat, "once");

    // Record Now: the record, the start locked, the channel shown by the live
    // preview, and only its channel remembered.
    RegSaveSetting2(settings::AddEventOutput, "kept.wmv");
    program.currentEvent = {makeDate(2030, 4, 17, 18, 10, 20), 2, 30, true, "once", "RecordNow-300417-1810"};
    program.g_bPreview = true;
    program.g_sChannel = "12";
    AddEventRules now = open(mode::AddEventRecordNow);
    EXPECT_EQ(now.caption(), "Add Event [Record Now!]");
    EXPECT_FALSE(now.fields.startEnabled);
    EXPECT_EQ(now.fields.channel, "12");
    EXPECT_EQ(now.StartText(), "4/17/2030 6:10 PM");
    EXPECT_EQ(now.fields.untilHour + now.fields.untilMinute, "6:40");
    now.fields.channel = "33";
    ASSERT_EQ(now.Ok(window), AddEventRules::OkResult::Done);
    now.SaveSettings();
    EXPECT_EQ(window.calls.front(), "AddEvent");
    EXPECT_EQ(window.last.filename, "RecordNow-300417-1810.wmv");
    EXPECT_EQ(RegGetSetting2(settings::RecordNowChannel), "33");
    EXPECT_EQ(RegGetSetting2(settings::AddEventOutput), "kept.wmv");
    program.g_bPreview = false;
    EXPECT_EQ(open(mode::AddEventRecordNow).fields.channel, "33");

    // External: the record as it came, remembered like "AddEvent".
    window.calls.clear();
    program.currentEvent = {makeDate(2030, 4, 22, 21, 0), 44, 95, true, "weekly", "Guide Show"};
    AddEventRules ext = open(mode::AddEventExternal);
    EXPECT_EQ(ext.caption(), "Add Event [External]");
    EXPECT_EQ(ext.fields.channel, "44");
    EXPECT_EQ(ext.fields.durationHour + ext.fields.durationMinute, "1:35");
    ASSERT_EQ(ext.Ok(window), AddEventRules::OkResult::Done);
    ext.SaveSettings();
    EXPECT_EQ(window.calls.front(), "AddEventExternal");
    EXPECT_EQ(RegGetSetting2(settings::AddEventOutput), "Guide Show.wmv");

    // Update: keyed by the record's start, keeps a word and a length that only
    // the command offers, and remembers nothing.
    window.calls.clear();
    const DateTime key = makeDate(2030, 4, 23, 6, 0);
    program.currentEvent = {key, 9, 400, true, "day", "Daily.wmv"};
    AddEventRules upd = open("UpdateEvent");
    EXPECT_EQ(upd.caption(), "Update Event");
    EXPECT_EQ(upd.okCaption(), "&Update");
    EXPECT_EQ(upd.repeatList().back(), "day");
    upd.fields.startHour = "7";
    ASSERT_EQ(upd.Ok(window), AddEventRules::OkResult::Done);
    upd.SaveSettings();
    EXPECT_EQ(window.calls.front(), "UpdateEvent");
    EXPECT_EQ(window.key, key);
    EXPECT_EQ(window.last.dt, makeDate(2030, 4, 23, 7, 0));
    EXPECT_EQ(window.last.duration, 400);
    EXPECT_EQ(window.last.every, "day");
    EXPECT_EQ(RegGetSetting2(settings::AddEventOutput), "Guide Show.wmv");
}
