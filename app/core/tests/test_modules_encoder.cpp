#include "app/core/mod_encoder.h"
#include "app/core/tests/fake_object.h"

#include "platform/clock.h"

#include <gtest/gtest.h>

using namespace vesper;
using test::FakeObject;

namespace {

struct Form : TunerForm {
    std::string videoSourceText() override { return "Card"; }
    std::string audioSourceText() override { return "Card Audio"; }
    std::string mainWindowHandle() override { return "7"; }
};

class Encoder : public ::testing::Test {
protected:
    void SetUp() override {
        clock.set(makeDate(2004, 3, 5, 20, 0, 0));
        setClock(&clock);
        capture = std::make_shared<FakeObject>();
        factory.add("Capgraph.Command", capture);
        // Every recording gets a new encoder object; the last one is kept here.
        factory.makers["Encwrap.clsCommand"] = [this] {
            encoder = std::make_shared<FakeObject>();
            encoder->defaultAnswer = Variant();
            encoder->answer("IIndexerRunning", Variant(false));
            script(*encoder);
            return encoder;
        };
        program.createObject = factory.factory();
        tuner.m_oTuner = capture;
        test::startStatusLog();
    }
    void TearDown() override { setClock(nullptr); }

    TestClock clock;
    Program program;
    Form form;
    test::FakeFactory factory;
    std::shared_ptr<FakeObject> capture, encoder;
    std::function<void(FakeObject&)> script = [](FakeObject&) {};
    ModTuner tuner{program, form};
    ModEncoder enc{program, tuner};
};

const std::string kNoObject = "Vesper:91:Object variable or With block variable not set";

} // namespace

TEST_F(Encoder, ARecordingPassesItsValuesStartsAndStops) {
    script = [](FakeObject& o) {
        // IStart reports its code through its by-reference argument.
        o.handlers["IStart"] = [](Args& a) -> Variant {
            Variant code(int32_t(0));
            std::swap(a.at(0), code);
            return true;
        };
    };
    ASSERT_TRUE(enc.EncoderInit());
    enc.EncoderSetOutputFilename("/rec/News.wmv");
    enc.EncoderSetVideoSource("Card");
    enc.EncoderSetAudioSource("Card Audio");
    enc.EncoderSetProfileName("Video for broadband NTSC (384 Kbps)");
    int32_t e = 7;
    const double before = clock.monotonic();
    EXPECT_TRUE(enc.EncoderStart(e));
    EXPECT_EQ(e, 0);
    EXPECT_GE(clock.monotonic() - before, 1.0); // the second before IStart
    EXPECT_EQ(capture->calls.back(), "Start(null,null)");
    EXPECT_EQ(encoder->calls,
              (std::vector<std::string>{"ISetOutputFilename(/rec/News.wmv)", "ISetVideoSource(Card)",
                                        "ISetAudioSource(Card Audio)",
                                        "ISetProfileName(Video for broadband NTSC (384 Kbps))", "IStart(7)"}));

    const auto first = encoder;
    enc.EncoderStop();
    EXPECT_EQ(first->members(),
              (std::vector<std::string>{"ISetOutputFilename", "ISetVideoSource", "ISetAudioSource", "ISetProfileName",
                                        "IStart", "ISetAutoIndex", "IStop", "IIndexerRunning"}));
    EXPECT_EQ(first->calls[5], "ISetAutoIndex(True)");
    EXPECT_EQ(enc.m_oEncoder, nullptr);
    EXPECT_EQ(capture->calls.back(), "Stop()");
    EXPECT_EQ(test::statusLogCodes(), (std::vector<std::string>{"LS0070", "LS0071", "LS0072", "LS0081", "LS0073"}));

    // The next recording gets an object of its own.
    ASSERT_TRUE(enc.EncoderInit());
    EXPECT_NE(enc.m_oEncoder, first);
    EXPECT_EQ(factory.created["Encwrap.clsCommand"], 2);
}

TEST_F(Encoder, AnIndexerThatNeverFinishesIsAbandonedOnceAfterTenSeconds) {
    script = [](FakeObject& o) { o.answer("IIndexerRunning", Variant(true)); };
    ASSERT_TRUE(enc.EncoderInit());
    const auto first = encoder;
    const double before = clock.monotonic();
    enc.EncoderStop();
    const double waited = clock.monotonic() - before;
    EXPECT_GT(waited, kIndexerWaitSeconds);
    EXPECT_LT(waited, kIndexerWaitSeconds + 2.0);
    EXPECT_GT(first->count("IIndexerRunning"), 10u);
    EXPECT_EQ(test::statusLogLines(),
              (std::vector<std::string>{
                  "LS0070:INFO:M06:EncoderStop() AutoIndex true", "LS0071:INFO:M06:EncoderStop() Stop",
                  "LS0074:ERROR:M06:EncoderStop() indexer too long", "LS0072:INFO:M06:EncoderStop() IndexerRunning",
                  "LS0081:INFO:M21:TunerStp() ObjectTuner Stop", "LS0073:INFO:M06:EncoderStop() StpCapgraph"}));
    EXPECT_EQ(enc.m_oEncoder, nullptr);
}

TEST_F(Encoder, FailingMembersNeverStopTheSequence) {
    script = [](FakeObject& o) {
        o.fail("ISetProfileName", 5, "Encwrap.clsCommand", "no such profile");
        o.fail("IStart", int32_t(0x80040201), "Encwrap.clsCommand", "Already started");
        o.fail("ISetAutoIndex", 13, "Encwrap.clsCommand", "Type mismatch");
        o.fail("IStop", 5, "Encwrap.clsCommand", "Not started");
        o.fail("IIndexerRunning", 438, "Encwrap.clsCommand", "Object doesn't support this property or method");
    };
    capture->answer("Stop", Variant("Not OK"));
    ASSERT_TRUE(enc.EncoderInit());
    const auto first = encoder;
    enc.EncoderSetOutputFilename("/rec/a.wmv");
    enc.EncoderSetProfileName("Nothing");
    int32_t e = 0;
    EXPECT_FALSE(enc.EncoderStart(e));
    EXPECT_EQ(capture->calls.back(), "Start(null,null)"); // the tuner graph starts anyway
    enc.EncoderStop();
    EXPECT_EQ(first->count("IIndexerRunning"), 1u);
    EXPECT_EQ(enc.m_oEncoder, nullptr);
    EXPECT_EQ(test::statusLogLines(),
              (std::vector<std::string>{
                  "LS0106:ERROR:M06:EncoderSetProfileName() Exit - Encwrap.clsCommand:5:no such profile",
                  "LS0051:ERROR:M06:EncoderStart() Exit - Encwrap.clsCommand:-2147220991:Already started",
                  "LS0070:INFO:M06:EncoderStop() AutoIndex true",
                  "LS0067:ERROR:M06:EncoderStop() AutoIndex true - Encwrap.clsCommand:13:Type mismatch",
                  "LS0071:INFO:M06:EncoderStop() Stop",
                  "LS0068:ERROR:M06:EncoderStop() Stop - Encwrap.clsCommand:5:Not started",
                  "LS0072:INFO:M06:EncoderStop() IndexerRunning",
                  "LS0069:ERROR:M06:EncoderStop() IndexerRunning - Encwrap.clsCommand:438:Object doesn't support "
                  "this property or method",
                  "LS0081:INFO:M21:TunerStp() ObjectTuner Stop",
                  "LS0079:ERROR:M21:ObjTunerStp() returned not ok :(",
                  "LS0073:INFO:M06:EncoderStop() StpCapgraph",
              }));
}

TEST_F(Encoder, WithoutAnEncoderObjectEveryCallFailsSoftly) {
    factory.makers.erase("Encwrap.clsCommand");
    EXPECT_FALSE(enc.EncoderInit());
    enc.EncoderSetOutputFilename("/rec/a.wmv");
    enc.EncoderSetVideoSource("Card");
    enc.EncoderSetAudioSource("Card Audio");
    enc.EncoderSetProfileName("Video for broadband NTSC (384 Kbps)");
    int32_t e = 0;
    EXPECT_FALSE(enc.EncoderStart(e));
    EXPECT_EQ(e, 0);
    enc.EncoderStop();
    EXPECT_EQ(test::statusLogLines(), (std::vector<std::string>{
                                          "LS0103:ERROR:M06:EncoderSetOutputFilename() Exit - " + kNoObject,
                                          "LS0104:ERROR:M06:EncoderSetVideoSource() Exit - " + kNoObject,
                                          "LS0105:ERROR:M06:EncoderSetAudioSource() Exit - " + kNoObject,
                                          "LS0106:ERROR:M06:EncoderSetProfileName() Exit - " + kNoObject,
                                          "LS0051:ERROR:M06:EncoderStart() Exit - " + kNoObject,
                                          "LS0070:INFO:M06:EncoderStop() AutoIndex true",
                                          "LS0067:ERROR:M06:EncoderStop() AutoIndex true - " + kNoObject,
                                          "LS0071:INFO:M06:EncoderStop() Stop",
                                          "LS0068:ERROR:M06:EncoderStop() Stop - " + kNoObject,
                                          "LS0072:INFO:M06:EncoderStop() IndexerRunning",
                                          "LS0069:ERROR:M06:EncoderStop() IndexerRunning - " + kNoObject,
                                          "LS0081:INFO:M21:TunerStp() ObjectTuner Stop",
                                          "LS0073:INFO:M06:EncoderStop() StpCapgraph",
                                      }));

    // A factory that raises counts as no object too.
    factory.makers["Encwrap.clsCommand"] = []() -> ObjectPtr { throw AutomationError(429, "Vesper", "gone"); };
    EXPECT_FALSE(enc.EncoderInit());
}

TEST_F(Encoder, ATunerErrorAtTheEndIsLoggedAndTheObjectIsStillReleased) {
    capture->fail("Stop", 5, "Capgraph.Command", "graph gone");
    ASSERT_TRUE(enc.EncoderInit());
    enc.EncoderStop();
    EXPECT_EQ(enc.m_oEncoder, nullptr);
    const auto lines = test::statusLogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "LS0073:INFO:M06:EncoderStop() StpCapgraph");
    EXPECT_EQ(lines.back(), "LS0052:ERROR:M06:EncoderStop() Exit - Capgraph.Command:5:graph gone");
}
