#include "app/core/device_list.h"
#include "app/core/mod_tuner.h"
#include "app/core/tests/fake_object.h"

#include "platform/clock.h"

#include <gtest/gtest.h>

using namespace vesper;
using test::FakeObject;

namespace {

struct Form : TunerForm {
    std::string video = "Card", audio = "Card Audio", handle = "4242";
    std::string videoSourceText() override { return video; }
    std::string audioSourceText() override { return audio; }
    std::string mainWindowHandle() override { return handle; }
};

class Tuner : public ::testing::Test {
protected:
    void SetUp() override {
        clock.set(makeDate(2004, 3, 5, 20, 0, 0));
        setClock(&clock);
        test::startStatusLog();
        capture = std::make_shared<FakeObject>();
        factory.add("Capgraph.Command", capture);
        program.createObject = factory.factory();
    }
    void TearDown() override { setClock(nullptr); }

    TestClock clock;
    Program program;
    Form form;
    test::FakeFactory factory;
    std::shared_ptr<FakeObject> capture;
    ModTuner tuner{program, form};
};

} // namespace

TEST_F(Tuner, BringUpSendsTheSettingsChannelAndPaneInOrder) {
    tuner.settings.countryCode = "1";
    tuner.settings.inputType = "DEFAULT"; // any letter case means "not set"
    tuner.settings.videoStandard = "16";
    tuner.settings.videoInputIndex = 2;
    program.g_sChannel = "200"; // outside the card's range: tunes the lowest channel
    program.g_bPreview = true;
    const double before = clock.monotonic();

    EXPECT_TRUE(tuner.InitTuner("Card", "Card Audio"));
    EXPECT_EQ(capture->calls,
              (std::vector<std::string>{"Init(Card,Card Audio)", "SetCountryCode(1)", "SetVideoStandard(16)",
                                        "SetChannel(2)", "InitPreview(4242,326,79,202,152)", "SetVideoInput(2)"}));
    EXPECT_EQ(program.g_sChannel, "200");
    EXPECT_FALSE(program.g_bPreview);
    EXPECT_EQ(tuner.m_oTuner, capture);
    EXPECT_DOUBLE_EQ(clock.monotonic() - before, 2.0); // the two one-second settling waits
    EXPECT_TRUE(test::statusLogLines().empty());

    // A channel in range is sent as stored; the answer is compared in upper case.
    tuner.TunerRelease();
    capture->calls.clear();
    capture->answer("Init", Variant("ok"));
    program.g_sChannel = "0";
    EXPECT_TRUE(tuner.InitTuner("Card", "Card Audio"));
    EXPECT_EQ(capture->made("SetChannel(2)"), 1u);
    tuner.TunerRelease();
    capture->calls.clear();
    program.g_sChannel = "181 ";
    EXPECT_TRUE(tuner.InitTuner("Card", "Card Audio"));
    EXPECT_EQ(capture->made("SetChannel(181 )"), 1u);
}

TEST_F(Tuner, EachFailedStepLogsReleasesAndLeavesNoObject) {
    struct Case {
        const char* member;
        const char* line;
    };
    for (const Case c :
         {Case{"Init", "LS0076:ERROR:M21:InitTuner() Init"}, Case{"SetChannel", "LS0088:ERROR:M21:InitTuner() SetChnl"},
          Case{"InitPreview", "LS0077:ERROR:M21:InitTuner() Preview"}}) {
        test::startStatusLog();
        capture->handlers.clear();
        capture->calls.clear();
        capture->answer(c.member, Variant("Not OK"));
        EXPECT_FALSE(tuner.InitTuner("Card", "Card Audio")) << c.member;
        EXPECT_EQ(test::statusLogLines(), std::vector<std::string>{c.line});
        EXPECT_EQ(capture->members().back(), "Release");
        EXPECT_EQ(tuner.m_oTuner, nullptr);
    }

    // Without the component there is nothing to release.
    test::startStatusLog();
    factory.makers.clear();
    EXPECT_FALSE(tuner.InitTuner("Card", "Card Audio"));
    EXPECT_EQ(test::statusLogLines(), std::vector<std::string>{"LS0075:ERROR:M21:InitTuner() obj is null"});
}

TEST_F(Tuner, ErrorsInsideTheBringUpAreLoggedOnceWithNumberAndDescription) {
    tuner.settings.countryCode = "1";
    capture->fail("SetCountryCode", 5, "Capgraph.Command", "bad country");
    EXPECT_TRUE(tuner.InitTuner("Card", "Card Audio"));
    EXPECT_EQ(test::statusLogLines(), std::vector<std::string>{"LS0054:ERROR:M21:Init() Exit - 5:bad country"});

    // An Init that raises reads as an answer that is not "OK".
    test::startStatusLog();
    tuner.TunerRelease();
    capture->fail("Init", 91, "Capgraph.Command", "gone");
    EXPECT_FALSE(tuner.InitTuner("Card", "Card Audio"));
    EXPECT_EQ(test::statusLogLines(), (std::vector<std::string>{"LS0076:ERROR:M21:InitTuner() Init",
                                                                "LS0054:ERROR:M21:Init() Exit - 91:gone"}));
    EXPECT_EQ(tuner.m_oTuner, nullptr);
}

TEST_F(Tuner, DefaultStopsAfterABringUpAndProbingGoesVideoMajor) {
    EXPECT_TRUE(tuner.Default("Card", "Card Audio"));
    EXPECT_EQ(capture->members().back(), "Stop");

    tuner.TunerRelease();
    capture->calls.clear();
    capture->handlers["Init"] = [](Args& a) {
        return Variant(a[0].toString() == "V1" && a[1].toString() == "A1" ? "OK" : "Not OK");
    };
    std::string video, audio;
    EXPECT_TRUE(tuner.ProbeDevicePairs({"V0", "V1", "", "V2"}, {"A0", "A1", ""}, video, audio));
    EXPECT_EQ(video, "V1");
    EXPECT_EQ(audio, "A1");
    std::vector<std::string> inits;
    for (const auto& call : capture->calls)
        if (call.rfind("Init(", 0) == 0) inits.push_back(call);
    EXPECT_EQ(inits, (std::vector<std::string>{"Init(V0,A0)", "Init(V0,A1)", "Init(V1,A0)", "Init(V1,A1)"}));

    // Names after the first empty one are never tried.
    tuner.TunerRelease();
    capture->calls.clear();
    capture->handlers["Init"] = [](Args& a) { return Variant(a[0].toString() == "V2" ? "OK" : "Not OK"); };
    EXPECT_FALSE(tuner.ProbeDevicePairs({"V0", "", "V2"}, {"A0"}, video, audio));
    EXPECT_EQ(capture->count("Init"), 1u);
}

TEST_F(Tuner, ChannelChangeBringsTheTunerUpAndUsesThePluginWhenEnabled) {
    tuner.SetChnl(5);
    EXPECT_EQ(capture->calls.front(), "Init(Card,Card Audio)");
    EXPECT_EQ(capture->calls.back(), "SetChannel(5)");

    // Enabled but not installed: the card is tuned and nothing is logged.
    tuner.settings.useExternalPlugin = true;
    tuner.SetChnl(7);
    EXPECT_EQ(capture->calls.back(), "SetChannel(7)");
    EXPECT_TRUE(test::statusLogLines().empty());

    // Installed: a fresh plug-in object for each change, given the channel as text.
    auto plugin = std::make_shared<FakeObject>();
    factory.add("Chanplug.clsObject", plugin);
    tuner.SetChnl(12);
    tuner.SetChnl(13);
    EXPECT_EQ(plugin->calls, (std::vector<std::string>{"ChangeChannel(12)", "ChangeChannel(13)"}));
    EXPECT_EQ(factory.created["Chanplug.clsObject"], 2);
    EXPECT_TRUE(ChangeChannelPluginDetected(program));

    // A failing card still lets the plug-in change the box; one log line.
    capture->fail("SetChannel", 438, "Capgraph.Command", "Object doesn't support this property or method");
    tuner.SetChnl(20);
    EXPECT_EQ(plugin->calls.back(), "ChangeChannel(20)");
    EXPECT_EQ(test::statusLogLines(),
              std::vector<std::string>{"LS0056:ERROR:M21:SetChnl() Exit - 438:Object doesn't support this "
                                       "property or method"});

    factory.makers.erase("Chanplug.clsObject");
    EXPECT_FALSE(ChangeChannelPluginDetected(program));
}

TEST_F(Tuner, StopKeepsThePreviewRunningAndReportsItsSteps) {
    // No object yet: brought up from the form, then stopped.
    tuner.TunerStp();
    EXPECT_EQ(test::statusLogCodes(), (std::vector<std::string>{"LS0080", "LS0081"}));
    EXPECT_EQ(capture->members().back(), "Stop");

    // While the preview is on the graph keeps running and nothing is logged.
    test::startStatusLog();
    capture->calls.clear();
    program.g_bPreview = true;
    tuner.TunerStp();
    EXPECT_TRUE(capture->calls.empty());
    EXPECT_TRUE(test::statusLogLines().empty());

    program.g_bPreview = false;
    capture->answer("Stop", Variant("Not OK"));
    tuner.TunerStp();
    EXPECT_EQ(test::statusLogLines(), (std::vector<std::string>{"LS0081:INFO:M21:TunerStp() ObjectTuner Stop",
                                                                "LS0079:ERROR:M21:ObjTunerStp() returned not ok :("}));

    // A bring-up that fails is reported and nothing is stopped.
    test::startStatusLog();
    tuner.TunerRelease();
    factory.makers.clear();
    tuner.TunerStp();
    EXPECT_EQ(test::statusLogCodes(), (std::vector<std::string>{"LS0080", "LS0075", "LS0078"}));
}

TEST_F(Tuner, ForwardedCallsAndTheirErrors) {
    tuner.TunerStart(); // brings the tuner up first
    EXPECT_EQ(capture->calls.back(), "Start(null,null)");
    tuner.TunerInitPreview("99", "0", "0", "640", "480", "");
    EXPECT_EQ(capture->calls.back(), "InitPreview(99,0,0,640,480)");
    tuner.TunerInitPreview("99", "0", "0", "640", "480", "1");
    EXPECT_EQ(capture->calls.back(), "SetPreview(1)");
    tuner.TunerResizePreview("320", "240");
    EXPECT_EQ(capture->calls.back(), "ResizePreview(0,0,320,240)");
    tuner.TunerSetVideoInput("1");
    EXPECT_EQ(capture->calls.back(), "SetVideoInput(1)");

    // These do not trap: the caller sees the component's error.
    capture->fail("SetPreview", 5, "Capgraph.Command", "no window");
    EXPECT_THROW(tuner.TunerSetPreview("1"), AutomationError);

    // A failing Release still drops the object.
    capture->fail("Release", 5);
    EXPECT_THROW(tuner.TunerRelease(), AutomationError);
    EXPECT_EQ(tuner.m_oTuner, nullptr);

    // Without the component the preview cannot be set: error 91 reaches the caller.
    factory.makers.clear();
    try {
        tuner.TunerSetPreview("1");
        FAIL() << "no error";
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.number(), 91);
    }
    EXPECT_NO_THROW(tuner.TunerSetVideoInput("0"));
    EXPECT_NO_THROW(tuner.TunerResizePreview("1", "1"));
}

TEST(TunerHelpers, WaitSecondsMovesTheClockAndValReadsLeadingNumbers) {
    TestClock clock(makeDate(2004, 3, 5));
    setClock(&clock);
    const double before = clock.monotonic();
    WaitSeconds(3);
    EXPECT_DOUBLE_EQ(clock.monotonic() - before, 3.0);
    setClock(nullptr);

    EXPECT_EQ(leadingNumber("12abc"), 12);
    EXPECT_EQ(leadingNumber("  -3"), -3);
    EXPECT_EQ(leadingNumber("abc"), 0);
    EXPECT_EQ(leadingNumber(""), 0);
    EXPECT_EQ(leadingNumber("99999999999999999999"), 2147483647);
}
