// The capture state, crossbar routing and tuner answers on virtual cards.
#include "capture/capture_commands.h"
#include "capture/capture_state.h"
#include "capture/virtual_card.h"

#include "capture/tests/capture_test_util.h"

#include <gtest/gtest.h>

using namespace vesper::capture;
using vesper::capture::captest::CardsFile;

namespace {

// The hardware of the n-th card of the current description.
std::shared_ptr<VirtualHardware> hardware(size_t index = 0) {
    const VirtualCardSet set = loadVirtualCards();
    return virtualHardware(set.cards.at(index), index);
}

std::string card(const std::string& video, const std::string& extra = "") {
    return R"({"video": ")" + video + R"(", "audio": ")" + video + R"( Audio")" + (extra.empty() ? "" : ", " + extra) +
           "}";
}

std::string cards(const std::vector<std::string>& list) {
    std::string out = R"({"realDevices": false, "cards": [)";
    for (size_t i = 0; i < list.size(); ++i)
        out += (i ? "," : "") + list[i];
    return out + "]}";
}

struct Fixture {
    CaptureState state;
    CaptureCommands cmd{state};
};

} // namespace

TEST(CapgraphNumbers, ReadLikeTheCLibrary) {
    EXPECT_EQ(readNumber("  -12abc"), -12);
    EXPECT_EQ(readNumber("\t+7"), 7);
    EXPECT_EQ(readNumber("abc"), 0);
    EXPECT_EQ(readNumber(""), 0);
    EXPECT_EQ(readNumber(" 1 2"), 1);
    EXPECT_EQ(readNumber("- 5"), 0);
    // Only the first 19 characters take part.
    EXPECT_EQ(readNumber("0000000000000000012345"), 12);
    EXPECT_EQ(readNumber("999999999999999999"), 999999999999999999LL);
    EXPECT_EQ(readNumber("9999999999999999999"), INT64_MAX);              // saturates
    EXPECT_EQ(readNumber("-9999999999999999999"), -999999999999999999LL); // the sign counts as one of 19
    EXPECT_EQ(readLong("99999999999"), 2147483647L);
    EXPECT_EQ(readLong("-99999999999"), -2147483647L - 1);
}

TEST(CapgraphInit, TwiceKeepsTheFirstPair) {
    CardsFile f(cards({card("Card A"), card("Card B")}));
    Fixture x;
    EXPECT_EQ(x.cmd.Init("Card A", "Card A Audio"), "OK");
    EXPECT_EQ(x.cmd.Init("Card B", "Card B Audio"), "OK");
    ASSERT_TRUE(x.state.chosenVideo());
    EXPECT_EQ(x.state.chosenVideo()->entry.info.friendlyName, "Card A");
    EXPECT_TRUE(x.state.previewRunning());
}

TEST(CapgraphInit, UnknownOrMiscasedNameFailsAndAGoodOneThenWorks) {
    CardsFile f(cards({card("Card A")}));
    Fixture x;
    EXPECT_EQ(x.cmd.Init("card a", "Card A Audio"), "Not OK");
    EXPECT_EQ(x.cmd.Init("Card A", "Nope"), "Not OK");
    EXPECT_EQ(x.cmd.Init("", ""), "Not OK");
    EXPECT_FALSE(x.state.initialised);
    EXPECT_EQ(x.state.graph(), nullptr);
    EXPECT_EQ(x.cmd.Init("Card A", "Card A Audio"), "OK");
    EXPECT_TRUE(x.state.initialised);
    EXPECT_NE(x.state.graph(), nullptr);
}

TEST(CapgraphInit, DuplicateNamesUseTheFirstAndAnEleventhDeviceIsNotStored) {
    std::vector<std::string> list{card("Twin", R"("tuner": false)"), card("Twin")};
    for (int i = 2; i < 11; ++i)
        list.push_back(card("Card " + std::to_string(i)));
    CardsFile f(cards(list));
    Fixture x;
    x.state.enumerateDevices();
    EXPECT_EQ(x.state.videoTable()[9].name, "Card 9");
    EXPECT_EQ(x.cmd.Init("Card 10", "Card 10 Audio"), "Not OK");
    EXPECT_EQ(x.cmd.Init("Twin", "Twin Audio"), "OK");
    // The first "Twin" has no tuner.
    EXPECT_EQ(x.cmd.SetChannel("5"), "Not OK");
}

TEST(CapgraphInit, OpensBuildsRunsAndRoutesToTheTuner) {
    CardsFile f(cards({card("Card A")}));
    hardware()->route(0, 0, 1); // composite before
    Fixture x;
    ASSERT_EQ(x.cmd.Init("Card A", "Card A Audio"), "OK");
    EXPECT_TRUE(x.state.previewBuilt());
    EXPECT_TRUE(x.state.previewRunning());
    EXPECT_NE(x.state.videoWindow(), nullptr);
    EXPECT_NE(x.state.audioCaptureFilter(), nullptr);
    EXPECT_TRUE(x.state.audioRelevant());
    EXPECT_EQ(x.state.routeCount(), 3);
    EXPECT_EQ(hardware()->routedConnector(), PhysConn_Video_Tuner);
    EXPECT_EQ(runningDeviceSources(), 1);
    EXPECT_EQ(x.cmd.Release(), "OK");
    EXPECT_EQ(runningDeviceSources(), 0);
}

TEST(CapgraphLifecycle, EveryMethodBeforeInitAndAfterRelease) {
    CardsFile f(cards({card("Card A")}));
    Fixture x;
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(x.cmd.Start("null", "null"), "OK");
        EXPECT_EQ(x.cmd.Stop(), "OK");
        EXPECT_EQ(x.cmd.SetChannel("5"), "Not OK");
        EXPECT_EQ(x.cmd.SetCountryCode("1"), "OK");
        EXPECT_EQ(x.cmd.SetInputType("0"), "OK");
        EXPECT_EQ(x.cmd.SetTVTunerProperties("1", "1"), "OK");
        EXPECT_EQ(x.cmd.SetVideoStandard("1"), "OK");
        EXPECT_EQ(x.cmd.SetTest("anything"), "OK");
        EXPECT_EQ(x.cmd.InitPreview("12345", "0", "0", "10", "10"), "Not OK");
        EXPECT_EQ(x.cmd.SetPreview("1"), "Not OK");
        EXPECT_EQ(x.cmd.ResizePreview("0", "0", "10", "10"), "Not OK");
        EXPECT_EQ(x.cmd.SetVideoInput("1"), "OK");
        EXPECT_EQ(x.cmd.Release(), "OK");
        EXPECT_EQ(x.cmd.Release(), "OK");
        EXPECT_EQ(x.state.graph(), nullptr);
        EXPECT_FALSE(x.state.previewRunning());
        // Second round: the same after a full Init and Release.
        ASSERT_EQ(x.cmd.Init("Card A", "Card A Audio"), "OK");
        ASSERT_EQ(x.cmd.Release(), "OK");
    }
    // Release then Init opens the devices again.
    EXPECT_EQ(x.cmd.Init("Card A", "Card A Audio"), "OK");
    EXPECT_TRUE(x.state.previewRunning());
}

TEST(CapgraphLifecycle, StopAndStartRunAgainWithoutRebuilding) {
    CardsFile f(cards({card("Card A")}));
    Fixture x;
    ASSERT_EQ(x.cmd.Init("Card A", "Card A Audio"), "OK");
    VideoWindow* window = x.state.videoWindow();
    EXPECT_EQ(x.cmd.Stop(), "OK");
    EXPECT_FALSE(x.state.previewRunning());
    EXPECT_EQ(runningDeviceSources(), 0);
    EXPECT_FALSE(x.state.haltPreview()); // not running: nothing to stop
    EXPECT_EQ(x.cmd.Start("null", "null"), "OK");
    EXPECT_TRUE(x.state.previewRunning());
    EXPECT_EQ(x.state.videoWindow(), window);
    EXPECT_EQ(runningDeviceSources(), 1);
}

TEST(CapgraphLifecycle, DeviceThatVanishedOrIsHeldElsewhere) {
    CardsFile f(cards({card("Card A"), card("Held", R"("busy": true)")}));
    {
        Fixture x;
        x.state.enumerateDevices();
        f.rewrite(cards({}));
        // Found in the table, gone when opened: the lookup still answers yes.
        EXPECT_TRUE(x.state.selectDevicesByName("Card A", "Card A Audio"));
        EXPECT_EQ(x.state.graph(), nullptr);
        EXPECT_EQ(x.state.videoWindow(), nullptr);
        EXPECT_EQ(x.cmd.SetChannel("3"), "Not OK");
        EXPECT_EQ(x.cmd.SetPreview("1"), "Not OK");
        EXPECT_EQ(x.cmd.Start("", ""), "OK");
        EXPECT_EQ(x.cmd.SetVideoInput("2"), "OK");
    }
    f.rewrite(cards({card("Card A"), card("Held", R"("busy": true)")}));
    Fixture y;
    EXPECT_EQ(y.cmd.Init("Held", "Held Audio"), "OK");
    EXPECT_TRUE(y.state.previewBuilt());
    EXPECT_FALSE(y.state.previewRunning());
    EXPECT_EQ(y.cmd.SetChannel("4"), "OK"); // the tuner answers even when the stream cannot run
    EXPECT_EQ(y.cmd.Start("", ""), "OK");
    EXPECT_FALSE(y.state.previewRunning());
}

TEST(CapgraphLifecycle, StreamCarryingItsSoundOpensNoAudioDevice) {
    CardsFile f(cards({card("DV", R"("streamCarriesAudio": true)")}));
    Fixture x;
    ASSERT_EQ(x.cmd.Init("DV", "DV Audio"), "OK");
    EXPECT_FALSE(x.state.audioRelevant());
    EXPECT_EQ(x.state.audioCaptureFilter(), nullptr);
    EXPECT_TRUE(x.state.previewRunning());
}

TEST(CrossbarRouting, OneCrossbarEachInputKindWithItsSound) {
    CardsFile f(cards({card("Card A")}));
    Fixture x;
    ASSERT_EQ(x.cmd.Init("Card A", "Card A Audio"), "OK");
    CrossbarRouter* router = x.state.router();
    ASSERT_NE(router, nullptr);
    // Audio inputs never start a route.
    ASSERT_EQ(router->routeCount(), 3);
    EXPECT_EQ(router->inputType(0), PhysConn_Video_Tuner);
    EXPECT_EQ(router->inputType(1), PhysConn_Video_Composite);
    EXPECT_EQ(router->inputType(2), PhysConn_Video_SVideo);
    const Route& r1 = router->routingList()[1];
    ASSERT_EQ(r1.size(), 1u);
    EXPECT_EQ(r1[0].videoInput, 1);
    EXPECT_EQ(r1[0].audioInput, 4);
    EXPECT_EQ(r1[0].audioOutput, 1);
    EXPECT_EQ(r1[0].depth, 0);

    auto hw = hardware();
    struct Case {
        const char* kind;
        long route;
        long connector;
        long audioIn;
    } cases[] = {{"0", 0, PhysConn_Video_Tuner, 3},     {"1", 2, PhysConn_Video_SVideo, 4},
                 {"2", 1, PhysConn_Video_Composite, 4}, {"3", 1, PhysConn_Video_Composite, 4},
                 {"-4", 0, PhysConn_Video_Tuner, 3},    {"abc", 0, PhysConn_Video_Tuner, 3},
                 {"9", 0, PhysConn_Video_Tuner, 3}};
    for (const auto& c : cases) {
        EXPECT_EQ(x.cmd.SetVideoInput(c.kind), "OK");
        EXPECT_EQ(router->currentRoute(), c.route) << c.kind;
        EXPECT_EQ(hw->routedConnector(), c.connector) << c.kind;
        EXPECT_EQ(hw->routedInput(0, 1), c.audioIn) << c.kind;
    }
    std::string name;
    EXPECT_EQ(router->routeName(2, &name, 64), kS_OK);
    EXPECT_EQ(name, "Video SVideo");
    EXPECT_EQ(router->routeName(2, &name, 6), kS_OK);
    EXPECT_EQ(name, "Video");
    EXPECT_EQ(router->routeName(3, &name, 64), kE_FAIL);
    EXPECT_EQ(router->selectRoute(-1), kE_FAIL);
    EXPECT_EQ(router->selectRoute(3), kE_FAIL);
}

TEST(CrossbarRouting, TwoCrossbarsInSeriesListTheUpstreamOneFirst) {
    CardsFile f(cards({card("Series", R"("crossbars": [
        {"inputs": ["Video Composite", "Video SVideo"], "outputs": ["Video Decoder"]},
        {"inputs": ["Video Tuner", "Video Composite", "Audio Tuner"], "outputs": ["Video Composite"],
         "feeds": {"input": 0, "output": 0}}])")}));
    Fixture x;
    ASSERT_EQ(x.cmd.Init("Series", "Series Audio"), "OK");
    CrossbarRouter* router = x.state.router();
    ASSERT_NE(router, nullptr);
    ASSERT_EQ(router->routeCount(), 3);
    const auto& routes = router->routingList();
    ASSERT_EQ(routes[0].size(), 2u);
    EXPECT_EQ(routes[0][0].depth, 1);
    EXPECT_EQ(routes[0][0].inputType, PhysConn_Video_Tuner);
    EXPECT_EQ(routes[0][1].depth, 0);
    EXPECT_EQ(routes[0][1].videoInput, 0);
    EXPECT_EQ(routes[1].size(), 2u);
    EXPECT_EQ(routes[1][0].inputType, PhysConn_Video_Composite);
    EXPECT_EQ(routes[2].size(), 1u);
    EXPECT_EQ(routes[2][0].inputType, PhysConn_Video_SVideo);

    auto hw = hardware();
    EXPECT_EQ(hw->routedConnector(), PhysConn_Video_Tuner);
    EXPECT_EQ(x.cmd.SetVideoInput("2"), "OK");
    EXPECT_EQ(hw->routedInput(1, 0), 1);
    EXPECT_EQ(hw->routedInput(0, 0), 0);
    EXPECT_EQ(hw->routedConnector(), PhysConn_Video_Composite);
    EXPECT_EQ(x.cmd.SetVideoInput("1"), "OK");
    EXPECT_EQ(hw->routedConnector(), PhysConn_Video_SVideo);
    // The tuner is found through both crossbars.
    EXPECT_EQ(x.cmd.SetChannel("7"), "OK");
    EXPECT_EQ(hw->channel(), 7);
}

TEST(CrossbarRouting, SingleRouteAndAnUnmatchedKindKeepsTheRouting) {
    CardsFile f(cards({card("Solo", R"("crossbars": [{"inputs": ["Video Tuner"], "outputs": ["Video Decoder"]}])")}));
    Fixture x;
    ASSERT_EQ(x.cmd.Init("Solo", "Solo Audio"), "OK");
    ASSERT_EQ(x.state.routeCount(), 1);
    auto hw = hardware();
    hw->route(0, 0, -1);
    EXPECT_EQ(x.cmd.SetVideoInput("1"), "OK"); // route 1 does not exist
    EXPECT_EQ(hw->routedInput(0, 0), -1);
    EXPECT_EQ(x.cmd.SetVideoInput("0"), "OK");
    EXPECT_EQ(hw->routedInput(0, 0), 0);
}

TEST(CrossbarRouting, LastMatchWinsAndAChoiceAbove15FallsBackToRoute1) {
    std::string many = R"("crossbars": [{"inputs": [)";
    for (int i = 0; i < 17; ++i)
        many += std::string(i ? "," : "") + "\"Video Composite\"";
    many += R"(], "outputs": ["Video Decoder"]}])";
    CardsFile f(cards({card("Two", R"("crossbars": [{"inputs": ["Video Composite", "Video Composite", "Video Tuner"],
                                                     "outputs": ["Video Decoder"]}])"),
                       card("Many", many)}));
    {
        Fixture x;
        ASSERT_EQ(x.cmd.Init("Two", "Two Audio"), "OK");
        EXPECT_EQ(x.cmd.SetVideoInput("2"), "OK");
        EXPECT_EQ(x.state.router()->currentRoute(), 1);
    }
    Fixture y;
    ASSERT_EQ(y.cmd.Init("Many", "Many Audio"), "OK");
    ASSERT_EQ(y.state.routeCount(), 17);
    EXPECT_EQ(y.cmd.SetVideoInput("2"), "OK");
    EXPECT_EQ(y.state.router()->currentRoute(), 1);
    EXPECT_EQ(hardware(1)->routedInput(0, 0), 1);
}

TEST(CrossbarRouting, CardWithoutCrossbarHasNoRouter) {
    CardsFile f(cards({card("Plain", R"("crossbars": [], "tuner": false)")}));
    Fixture x;
    ASSERT_EQ(x.cmd.Init("Plain", "Plain Audio"), "OK");
    EXPECT_EQ(x.state.router(), nullptr);
    EXPECT_EQ(x.cmd.SetVideoInput("2"), "OK");
    EXPECT_TRUE(x.state.previewRunning());
}

TEST(TunerControl, ChannelShowsInThePictureAndTheTone) {
    CardsFile f(cards({card("Card A")}));
    Fixture x;
    ASSERT_EQ(x.cmd.Init("Card A", "Card A Audio"), "OK");
    auto hw = hardware();
    const double tone = hw->toneFrequency();
    EXPECT_EQ(x.cmd.SetChannel("5"), "OK");
    EXPECT_EQ(hw->channel(), 5);
    EXPECT_NE(hw->overlayText().find("Channel 5"), std::string::npos);
    EXPECT_NE(hw->overlayText().find("Video Tuner"), std::string::npos);
    EXPECT_NE(hw->overlayText().find("NTSC M"), std::string::npos);
    EXPECT_NE(hw->toneFrequency(), tone);
    // No digits reads channel 0, which the tuner refuses: still "OK".
    EXPECT_EQ(x.cmd.SetChannel("abc"), "OK");
    EXPECT_EQ(hw->channel(), 5);
    EXPECT_EQ(x.cmd.SetVideoInput("2"), "OK");
    EXPECT_NE(hw->overlayText().find("Video Composite"), std::string::npos);
}

TEST(TunerControl, CountryCodeAndInputTypeAnswers) {
    CardsFile f(cards({card("Card A")}));
    Fixture x;
    ASSERT_EQ(x.cmd.Init("Card A", "Card A Audio"), "OK");
    auto hw = hardware();
    EXPECT_EQ(x.cmd.SetCountryCode("1000"), "OK");
    EXPECT_EQ(x.cmd.SetCountryCode("0"), "OK");
    EXPECT_EQ(hw->countryCode(), 1);
    EXPECT_EQ(x.cmd.SetCountryCode("81"), "OK");
    EXPECT_EQ(hw->countryCode(), 81);
    EXPECT_EQ(x.cmd.SetCountryCode("999"), "Not OK"); // no such country
    EXPECT_EQ(hw->countryCode(), 81);

    EXPECT_EQ(x.cmd.SetInputType("0"), "OK");
    EXPECT_EQ(hw->inputType(), kTunerInputCable);
    EXPECT_EQ(x.cmd.SetInputType("-1"), "OK");
    EXPECT_EQ(hw->inputType(), kTunerInputCable);
    EXPECT_EQ(x.cmd.SetInputType("1"), "OK");
    EXPECT_EQ(hw->inputType(), kTunerInputAntenna);
    EXPECT_EQ(x.cmd.SetInputType("7"), "Not OK");
}

TEST(TunerControl, TVTunerPropertiesAnswers) {
    // A card of its own, so it starts as powered on.
    CardsFile f(cards({card("Card T")}));
    Fixture x;
    ASSERT_EQ(x.cmd.Init("Card T", "Card T Audio"), "OK");
    auto hw = hardware();
    EXPECT_EQ(x.cmd.SetTVTunerProperties("0", "0"), "OK");
    EXPECT_EQ(hw->inputType(), kTunerInputCable); // country 1 powers on at cable
    EXPECT_EQ(x.cmd.SetTVTunerProperties("0", "2"), "OK");
    EXPECT_EQ(hw->inputType(), kTunerInputAntenna);
    EXPECT_EQ(x.cmd.SetTVTunerProperties("0", "1"), "OK");
    EXPECT_EQ(hw->inputType(), kTunerInputCable);
    EXPECT_EQ(x.cmd.SetTVTunerProperties("44", "2"), "OK");
    EXPECT_EQ(hw->countryCode(), 44);
    EXPECT_EQ(hw->inputType(), kTunerInputAntenna);
    // A refused country still lets the input type through.
    EXPECT_EQ(x.cmd.SetTVTunerProperties("5000", "1"), "Not OK");
    EXPECT_EQ(hw->countryCode(), 44);
    EXPECT_EQ(hw->inputType(), kTunerInputCable);
    // Cable channel S2 (102) in western Europe.
    EXPECT_EQ(x.cmd.SetChannel("102"), "OK");
    EXPECT_NE(hw->overlayText().find("112.25 MHz"), std::string::npos);
}

TEST(TunerControl, VideoStandardAnswers) {
    CardsFile f(cards({card("Card A"), card("NoDecoder", R"("decoder": false)")}));
    {
        Fixture x;
        ASSERT_EQ(x.cmd.Init("Card A", "Card A Audio"), "OK");
        auto hw = hardware();
        EXPECT_EQ(x.cmd.SetVideoStandard("-1"), "OK");
        EXPECT_EQ(hw->videoStandard(), AnalogVideo_NTSC_M);
        EXPECT_EQ(x.cmd.SetVideoStandard("16"), "OK");
        EXPECT_EQ(hw->videoStandard(), AnalogVideo_PAL_B);
        EXPECT_NE(hw->overlayText().find("PAL B"), std::string::npos);
        EXPECT_EQ(x.cmd.SetVideoStandard("3"), "Not OK");
        EXPECT_EQ(x.cmd.SetVideoStandard("0"), "Not OK");
        EXPECT_EQ(hw->videoStandard(), AnalogVideo_PAL_B);
    }
    Fixture y;
    ASSERT_EQ(y.cmd.Init("NoDecoder", "NoDecoder Audio"), "OK");
    EXPECT_EQ(y.cmd.SetVideoStandard("16"), "OK");
}

TEST(TunerControl, CardWithoutTuner) {
    CardsFile f(cards({card("NoTuner", R"("tuner": false)")}));
    Fixture x;
    ASSERT_EQ(x.cmd.Init("NoTuner", "NoTuner Audio"), "OK");
    EXPECT_EQ(x.cmd.SetChannel("5"), "Not OK");
    EXPECT_EQ(x.cmd.SetCountryCode("1"), "OK");
    EXPECT_EQ(x.cmd.SetInputType("0"), "OK");
    EXPECT_EQ(x.cmd.SetTVTunerProperties("1", "1"), "OK");
    EXPECT_EQ(x.cmd.SetVideoStandard("1"), "OK");
    // Its crossbar still routes: tuner input present, nothing drives it.
    EXPECT_EQ(x.state.routeCount(), 3);
}

TEST(CapgraphInit, OddButValidCardsAnswerWithoutHarm) {
    CardsFile f(cards({card("AudioOut", R"("crossbars": [{"inputs": ["Video Tuner", "Audio Tuner"],
                                                          "outputs": ["Audio Decoder"]}])"),
                       card("NoInputs", R"("crossbars": [{"inputs": [], "outputs": ["Video Decoder"]}])"),
                       card("Unknown", R"("crossbars": [{"inputs": [77, {"type": 4200, "related": 0}],
                                                         "outputs": [{"type": 12, "related": -1}]}])")}));
    for (const char* name : {"AudioOut", "NoInputs", "Unknown"}) {
        Fixture x;
        ASSERT_EQ(x.cmd.Init(name, std::string(name) + " Audio"), "OK") << name;
        for (const char* kind : {"0", "1", "2", "3"})
            EXPECT_EQ(x.cmd.SetVideoInput(kind), "OK");
        x.cmd.SetChannel("5");
        EXPECT_EQ(x.cmd.Release(), "OK");
    }
    Fixture y;
    ASSERT_EQ(y.cmd.Init("Unknown", "Unknown Audio"), "OK");
    std::string name;
    ASSERT_EQ(y.state.routeCount(), 1);
    EXPECT_EQ(y.state.router()->routeName(0, &name, 64), kS_OK);
    EXPECT_EQ(name, "Unknown");
}
