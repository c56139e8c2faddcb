#include "app/core/external_event_inbox.h"
#include "app/core/xml_program_event.h"
#include "platform/testing/event_loop.h"
#include "scheduler/event_rules.h"

#include "app/core/settings_store.h"
#include "platform/ui/ui_seam.h"

#include "platform/paths.h"
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vesper;

namespace {

std::string doc(const std::string& fields) {
    return "<?xml version=\"1.0\"?><TvProgramEvents><TvProgramEvent>" + fields + "</TvProgramEvent></TvProgramEvents>";
}

class SetXmlTest : public ::testing::Test {
protected:
    void SetUp() override {
        setUiSeam(&ui);
        program.currentEvent = EventRecord{};
        program.currentEvent.filename = "untouched";
        RegSaveSetting2(settings::bLogStatus, "True");
        std::filesystem::remove(joinPath(test::testFolder(), "LogStatus.txt"));
    }
    void TearDown() override { setUiSeam(nullptr); }

    std::string log() {
        const std::string path = joinPath(test::testFolder(), "LogStatus.txt");
        return std::filesystem::exists(path) ? test::readFile(path) : std::string();
    }
    void expectRefused(const std::string& document, const std::string& why = {}) {
        ui.messages.clear();
        EXPECT_FALSE(SetXML(program, document)) << why;
        ASSERT_EQ(ui.messages.size(), 1u) << why;
        EXPECT_EQ(ui.messages[0].prompt.rfind("loadXML() failed:  ", 0), 0u) << ui.messages[0].prompt;
        EXPECT_EQ(ui.messages[0].iconName(), "critical");
        EXPECT_EQ(program.currentEvent.filename, "untouched") << why;
    }

    RecordingUiSeam ui;
    Program program;
};

TEST_F(SetXmlTest, DefaultsForMissingFields) {
    ASSERT_TRUE(SetXML(program, doc("")));
    EXPECT_EQ(program.currentEvent.channel, 2);
    EXPECT_EQ(program.currentEvent.filename, "DefaultFilename");
    EXPECT_EQ(program.currentEvent.duration, 30);
    EXPECT_EQ(program.currentEvent.every, "once");
    EXPECT_EQ(program.currentEvent.dt, 0);
    EXPECT_TRUE(program.currentEvent.bActive);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(log(), "");

    ASSERT_TRUE(SetXML(program, doc("<channel>0</channel><repeat>No</repeat><title>Late &amp; Live</title>")));
    EXPECT_EQ(program.currentEvent.channel, 2);
    EXPECT_EQ(program.currentEvent.every, "once");
    EXPECT_EQ(program.currentEvent.filename, "Late And Live");

    ASSERT_TRUE(SetXML(program, doc("<filename>Cops &amp; Robbers: 1/2</filename><title>Other</title>"
                                    "<repeat>weekly</repeat><channel>12</channel>")));
    EXPECT_EQ(program.currentEvent.filename, "Cops And Robbers_ 1_2");
    EXPECT_EQ(program.currentEvent.every, "weekly");
    EXPECT_EQ(program.currentEvent.channel, 12);
}

TEST_F(SetXmlTest, DurationForms) {
    for (auto [text, minutes] : std::vector<std::pair<std::string, int>>{
             {"90", 90}, {"1:30", 90}, {"01:30", 90}, {"130", 130}, {"1:99", 159}}) {
        ASSERT_TRUE(SetXML(program, doc("<duration>" + text + "</duration>")));
        EXPECT_EQ(program.currentEvent.duration, minutes) << text;
    }
    EXPECT_EQ(log(), "");
    for (std::string bad : {"abc", "1234", "-5", "999:00", "x:30"}) {
        ASSERT_TRUE(SetXML(program, doc("<duration>" + bad + "</duration><channel>7</channel>")));
        EXPECT_EQ(program.currentEvent.duration, 0) << bad;
        EXPECT_EQ(program.currentEvent.channel, 7) << bad; // the other fields still arrive
    }
    EXPECT_NE(log().find("LS0057:ERROR:M24:SetXML() Exit - "), std::string::npos);
}

TEST_F(SetXmlTest, StartUsesTheZonesOffsetAtThatInstant) {
    struct Case {
        const char* zone;
        const char* start;
        DateTime local;
    } cases[] = {
        {"America/New_York", "2004-03-07T20:00:00Z", makeDate(2004, 3, 7, 15, 0, 0)}, // EST
        {"America/New_York", "2004-07-07T20:00:00Z", makeDate(2004, 7, 7, 16, 0, 0)}, // EDT
        {"Asia/Kolkata", "2004-03-07T20:00:00Z", makeDate(2004, 3, 8, 1, 30, 0)},     // +5:30
        {"UTC", "2004-03-07T20:00:00Z", makeDate(2004, 3, 7, 20, 0, 0)},
        {"America/New_York", "2004-03-07T20:00:00", makeDate(2004, 3, 7, 15, 0, 0)}, // no Z: still UTC
    };
    for (const auto& c : cases) {
        test::TimeZoneScope zone(c.zone);
        ASSERT_TRUE(SetXML(program, doc(std::string("<start>") + c.start + "</start>")));
        EXPECT_EQ(toSeconds(program.currentEvent.dt), toSeconds(c.local)) << c.zone << " " << c.start;
    }
}

TEST_F(SetXmlTest, UnreadableFieldsAreLoggedAndKeepTheirDefaults) {
    test::TimeZoneScope zone("America/New_York");
    // A number the tuner cannot take is kept aside for the dialog to name;
    // text that is no number is the default channel.
    const std::pair<std::string, std::string> channels[] = {{"99999", "99999"}, {"-3", "-3"}, {" 500 ", "500"},
                                                            {"abc", ""},        {"", ""},     {"7", ""}};
    for (const auto& [channel, refused] : channels) {
        program.refusedChannel = "left over";
        ASSERT_TRUE(SetXML(program, doc("<channel>" + channel + "</channel><start>2004-03-07T20:00:00Z</start>")));
        EXPECT_EQ(program.currentEvent.channel, channel == "7" ? 7 : 2) << channel;
        EXPECT_EQ(program.refusedChannel, refused) << channel;
        EXPECT_EQ(toSeconds(program.currentEvent.dt), toSeconds(makeDate(2004, 3, 7, 15, 0, 0)));
    }
    for (std::string start : {"2004-13-45T99:99:99Z", "2005-02-29T10:00:00Z", "tomorrow", "2004-03-07"}) {
        ASSERT_TRUE(SetXML(program, doc("<start>" + start + "</start><channel>5</channel>")));
        EXPECT_EQ(program.currentEvent.dt, 0) << start;
        EXPECT_EQ(program.currentEvent.channel, 5);
    }
    ASSERT_TRUE(SetXML(program, doc("<repeat>fortnightly</repeat>")));
    EXPECT_EQ(program.currentEvent.every, "once");
    EXPECT_NE(log().find("LS0057:ERROR:M24:SetXML() Exit - Vesper:"), std::string::npos) << log();
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SetXmlTest, UnknownAndRepeatedFieldsAndOtherShapes) {
    ASSERT_TRUE(SetXML(program,
                       "<?xml version=\"1.0\"?><a><b><colour>red</colour><channel>9</channel><channel>11</channel>"
                       "<filename/><title>First</title><title>Second</title></b><b><channel>4</channel></b></a>"));
    EXPECT_EQ(program.currentEvent.channel, 9);
    EXPECT_EQ(program.currentEvent.filename, "First");
    // An empty root, and a title made of characters that are all cleaned.
    ASSERT_TRUE(SetXML(program, "<TvProgramEvents/>"));
    EXPECT_EQ(program.currentEvent.filename, "DefaultFilename");
    ASSERT_TRUE(SetXML(program, doc("<title>Am\xC3\xA9lie (2001) \xE2\x80\x94 Part/1</title>")));
    EXPECT_EQ(program.currentEvent.filename, "Am_lie _2001_ _ Part_1");
    ASSERT_TRUE(SetXML(program, doc("<title>" + std::string(5000, 'x') + "</title>")));
    EXPECT_EQ(program.currentEvent.filename.size(), 200u);
    EXPECT_EQ(scheduledFileName(program.currentEvent.filename), program.currentEvent.filename + ".wmv");
    // The dialog's cut: the part before ".wmv" is cut, the extension kept.
    ASSERT_TRUE(SetXML(program, doc("<filename>" + std::string(300, 'y') + ".WMV</filename>")));
    EXPECT_EQ(program.currentEvent.filename, std::string(200, 'y') + ".WMV");
    EXPECT_EQ(scheduledFileName(program.currentEvent.filename), program.currentEvent.filename);
}

TEST_F(SetXmlTest, HostileDocumentsAreRefusedWithTheParsersReason) {
    expectRefused("", "empty");
    expectRefused(doc("<channel>5</channel>").substr(0, 60), "cut short");
    expectRefused("this is not XML", "not XML");
    expectRefused(doc("<title>Tom <3 Jerry</title>"), "unescaped <");
    expectRefused(doc("<title>" + std::string(10 * 1024 * 1024, 'x') + "</title>"), "10 MB");
    EXPECT_NE(ui.messages[0].prompt.find("65536"), std::string::npos);
    expectRefused("<?xml version=\"1.0\"?><!DOCTYPE TvProgramEvents><TvProgramEvents/>", "doctype");
    EXPECT_NE(ui.messages[0].prompt.find("DOCTYPE"), std::string::npos);
    expectRefused("<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
                  "<r><e><title>&x;</title></e></r>",
                  "external entity");
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
    for (int i = 1; i < 10; ++i) {
        laughs += "<!ENTITY lol" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j)
            laughs += "&lol" + (i == 1 ? std::string() : std::to_string(i - 1)) + ";";
        laughs += "\">";
    }
    laughs += "]><lolz><e><title>&lol9;</title></e></lolz>";
    expectRefused(laughs, "billion laughs");
    expectRefused(doc("<title>&undefined;</title>"), "undefined entity");
}

TEST(ExternalEventInbox, MarkerAndPendingDocument) {
    ExternalEventInbox inbox;
    EXPECT_FALSE(inbox.onHiddenTextChanged(kHandOverMarker));
    EXPECT_FALSE(inbox.pending());
    EXPECT_TRUE(inbox.onHiddenTextChanged("first"));
    EXPECT_TRUE(inbox.onHiddenTextChanged("second"));
    EXPECT_FALSE(inbox.onHiddenTextChanged(kHandOverMarker)); // the reset to the marker
    EXPECT_EQ(inbox.takePending().value_or(""), "second");
    EXPECT_FALSE(inbox.takePending().has_value());
}

TEST(ExternalEventInbox, TimerProcessing) {
    RecordingUiSeam ui;
    setUiSeam(&ui);
    Program program;
    ExternalEventInbox inbox;
    std::vector<std::string> calls;
    ExternalAddWindow window;
    window.showNormalOnScheduleTab = [&] { calls.push_back("show"); };
    window.showAddEventDialog = [&] {
        calls.push_back("dialog " + program.modeWord + " " + std::to_string(program.currentEvent.channel));
        // A document arriving while the dialog is open waits for it to close.
        inbox.onHiddenTextChanged(doc("<channel>8</channel>"));
        EXPECT_FALSE(ProcessExternalEvent(program, inbox, false, window));
    };

    EXPECT_FALSE(ProcessExternalEvent(program, inbox, false, window));
    inbox.onHiddenTextChanged(doc("<channel>6</channel>"));
    EXPECT_FALSE(ProcessExternalEvent(program, inbox, true, window)); // the user's own dialog is open
    EXPECT_TRUE(inbox.pending());
    EXPECT_TRUE(ProcessExternalEvent(program, inbox, false, window));
    EXPECT_EQ(calls, (std::vector<std::string>{"show", "dialog AddEventExternal 6"}));
    EXPECT_TRUE(inbox.pending());
    calls.clear();
    window.showAddEventDialog = [&] { calls.push_back("dialog " + std::to_string(program.currentEvent.channel)); };
    EXPECT_TRUE(ProcessExternalEvent(program, inbox, false, window));
    EXPECT_EQ(calls, (std::vector<std::string>{"show", "dialog 8"}));

    // An unreadable document: the message, and no dialog.
    calls.clear();
    inbox.onHiddenTextChanged("<broken");
    EXPECT_TRUE(ProcessExternalEvent(program, inbox, false, window));
    EXPECT_EQ(calls, (std::vector<std::string>{"show"}));
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_FALSE(inbox.pending());
    setUiSeam(nullptr);
}

} // namespace
