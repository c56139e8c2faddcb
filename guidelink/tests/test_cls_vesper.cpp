#include "guidelink/cls_vesper.h"

#include "platform/testing/qt_test_support.h"
#include "platform/ui/qt_ui_seam.h"

#include <QDomDocument>

#include <gtest/gtest.h>

using namespace vesper;
using namespace vesper::guidelink;

namespace {

const std::string kLink =
    "http://tv.example.com/tvpdb?d=tvi&id=1&TITLE=The+News+(KXYZ+12)&ST=20040307T200000Z&DUR=0130";

TEST(Guidelink, LinkValues) {
    EXPECT_EQ(linkValue(kLink, "title"), "The+News+(KXYZ+12)");
    EXPECT_EQ(linkValue(kLink, "DUR"), "0130");
    EXPECT_EQ(linkValue(kLink, "MISSING"), "");
    EXPECT_EQ(linkValue("http://x/?TITLE=A=B+(K+3)", "TITLE"), "A=B+(K+3)"); // first key after "?"
    EXPECT_EQ(linkValue("a=1&&TITLE=X", "TITLE"), "");                       // stops at an empty pair
    EXPECT_EQ(linkValue("TITLE=X&broken", "TITLE"), "X");                    // found before the bad pair
    EXPECT_THROW(linkValue("http://x/?a=1&broken&TITLE=X", "TITLE"), AutomationError);
    EXPECT_THROW(linkValue("http://example.com/page", "TITLE"), AutomationError);
}

TEST(Guidelink, PercentDecoding) {
    EXPECT_EQ(percentDecode("The%20News"), "The News");
    EXPECT_EQ(percentDecode("100%+sure%zz%"), "100+surezz");
    EXPECT_EQ(percentDecode("50%2"), "502");
    EXPECT_EQ(percentDecode("Am%C3%A9lie"), "Am\xC3\xA9lie"); // UTF-8 as browsers write it
    EXPECT_EQ(percentDecode("Am%E9lie"), "Am\xC3\xA9lie");    // an old page's 8-bit code
    EXPECT_EQ(percentDecode("Law+%26+Order"), "Law+&+Order");
}

TEST(Guidelink, DecodingListings) {
    auto l = decodeListing(kLink);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->channel, 12);
    EXPECT_EQ(l->station, "KXYZ");
    EXPECT_EQ(l->programTitle, "The News");
    EXPECT_EQ(l->fileName, "KXYZ - The News");
    EXPECT_EQ(l->start, "2004-03-07T20:00:00Z");
    EXPECT_EQ(l->duration, "01:30");

    const std::string st = "&ST=20040307T200000Z";
    for (std::string title : {"The+News+(KXYZ)", "The+News", "No+Channel+(KXYZ+0)", "Big+(K+99999)", "Neg+(K+-3)"})
        EXPECT_FALSE(decodeListing("x=1&TITLE=" + title + st)) << title;
    EXPECT_FALSE(decodeListing("x=1" + st));     // no TITLE at all
    l = decodeListing("x=1&TITLE=A+(K+5%" + st); // a "%" at the very end is dropped
    ASSERT_TRUE(l);
    EXPECT_EQ(l->channel, 5);

    // Real-looking titles: parentheses, ampersands, accents.
    l = decodeListing("x=1&TITLE=Law+%26+Order%3A+SVU+(Repeat)+(WNBC+4)" + st);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->channel, 4);
    EXPECT_EQ(l->station, "WNBC");
    EXPECT_EQ(l->programTitle, "Law & Order: SVU (Repeat)");
    l = decodeListing("x=1&TITLE=Am%C3%A9lie+(KQED+HD+9%29" + st);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->channel, 9);
    EXPECT_EQ(l->station, "KQED+HD");
    EXPECT_EQ(l->programTitle, "Am\xC3\xA9lie");
    // No blank before "(": the whole decoded title is the program title.
    l = decodeListing("x=1&TITLE=News(K+7)" + st);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->programTitle, "News(K+7)");
    EXPECT_EQ(l->duration, "");
    l = decodeListing("x=1&TITLE=" + std::string(5000, 'x') + "+(K+7)" + st);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->programTitle.size(), 5000u);
}

TEST(Guidelink, StartTimes) {
    EXPECT_EQ(listingStartToUtc("20040307T150000Z-05"), "2004-03-07T20:00:00Z");
    EXPECT_EQ(listingStartToUtc("20040307T200000z"), "2004-03-07T20:00:00Z");
    EXPECT_EQ(listingStartToUtc("20040307T230000Z+5"), "2004-03-07T18:00:00Z");
    struct Case {
        const char* zone;
        const char* st;
        const char* utc;
    } cases[] = {
        {"America/New_York", "20040307T150000", "2004-03-07T20:00:00Z"}, // winter: 5 hours
        {"America/New_York", "20040707T160000", "2004-07-07T20:00:00Z"}, // summer: 4 hours
        {"Asia/Kolkata", "20040307T200000", "2004-03-07T14:30:00Z"},     // half an hour too
        {"UTC", "20040307T200000", "2004-03-07T20:00:00Z"},
    };
    for (const auto& c : cases) {
        test::ZoneScope zone(c.zone);
        EXPECT_EQ(listingStartToUtc(c.st), c.utc) << c.zone;
    }
    for (std::string bad : {"", "2004", "20041345T999999Z", "20050229T100000", "2004-3-7T20:00", "20040307T200000ZX"})
        EXPECT_THROW(listingStartToUtc(bad), AutomationError) << bad;
    EXPECT_THROW(decodeListing("x=1&TITLE=A+(K+5)&ST=tomorrow"), AutomationError);
    EXPECT_THROW(decodeListing("x=1&TITLE=A+(K+5)"), AutomationError);
}

TEST(Guidelink, DocumentByteForByte) {
    EXPECT_EQ(programEventDocument(*decodeListing(kLink)),
              "<?xml version=\"1.0\"?><TvProgramEvents><TvProgramEvent><channel>12</channel>"
              "<duration>01:30</duration><filename>KXYZ - The News</filename><start>2004-03-07T20:00:00Z</start>"
              "</TvProgramEvent></TvProgramEvents>");
    const auto l = decodeListing("x=1&TITLE=Tom+%3C3+%22Jerry%22+%26+%27Friends%27%01+(K%26B+5)&ST=20040307T200000Z");
    ASSERT_TRUE(l);
    const std::string doc = programEventDocument(*l);
    EXPECT_EQ(doc, "<?xml version=\"1.0\"?><TvProgramEvents><TvProgramEvent><channel>5</channel>"
                   "<filename>K&amp;B - Tom &lt;3 &quot;Jerry&quot; &amp; &apos;Friends&apos; </filename>"
                   "<start>2004-03-07T20:00:00Z</start></TvProgramEvent></TvProgramEvents>");
    QDomDocument dom;
    ASSERT_TRUE(dom.setContent(QString::fromStdString(doc)));
    EXPECT_EQ(dom.documentElement().firstChildElement().firstChildElement("filename").text().toStdString(),
              "K&B - Tom <3 \"Jerry\" & 'Friends' ");
}

// The message component as the enabler sees it.
class FakePipe : public DispatchObject {
public:
    FakePipe() : DispatchObject("Msgpipe") {
        method("IIsAppLoadComplete", [this](Args&) -> Variant {
            calls.push_back("ready?");
            return readyAfter >= 0 && checks++ >= readyAfter;
        });
        method("IStartApp", [this](Args&) -> Variant {
            calls.push_back("start");
            return startable;
        });
        method("IWaitInSeconds", [this](Args& a) -> Variant {
            calls.push_back("wait " + a.at(0).toString());
            return true;
        });
        method("ISendMessage", [this](Args& a) -> Variant {
            sent.push_back(a.at(0).toString());
            return takes;
        });
    }
    int readyAfter = 0; // checks before it answers True; -1 never
    int checks = 0;
    bool startable = true;
    bool takes = true;
    std::vector<std::string> calls;
    std::vector<std::string> sent;
};

class SchTest : public ::testing::Test {
protected:
    void SetUp() override { setUiSeam(&ui); }
    void TearDown() override { setUiSeam(nullptr); }
    SchOutcome run(const std::string& link = kLink) {
        return sch(link, [this](const std::string& id) -> ObjectPtr {
            created.push_back(id);
            return pipe;
        });
    }
    RecordingUiSeam ui;
    std::shared_ptr<FakePipe> pipe = std::make_shared<FakePipe>();
    std::vector<std::string> created;
};

TEST_F(SchTest, SendsToARunningProgram) {
    EXPECT_EQ(run().result, SchResult::Sent);
    EXPECT_EQ(created, std::vector<std::string>{"Msgpipe.clsObject"});
    EXPECT_EQ(pipe->calls, std::vector<std::string>{"ready?"});
    ASSERT_EQ(pipe->sent.size(), 1u);
    EXPECT_EQ(pipe->sent[0], programEventDocument(*decodeListing(kLink)));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SchTest, StartsTheProgramAndWaitsForIt) {
    pipe->readyAfter = 3;
    EXPECT_EQ(run().result, SchResult::Sent);
    EXPECT_EQ(pipe->calls,
              (std::vector<std::string>{"ready?", "start", "ready?", "wait 1", "ready?", "wait 1", "ready?"}));
    EXPECT_EQ(pipe->sent.size(), 1u);
}

TEST_F(SchTest, NothingSentIsNeverSuccess) {
    pipe->readyAfter = -1;
    pipe->startable = false;
    auto outcome = run();
    EXPECT_EQ(outcome.result, SchResult::NotSent);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].prompt, "Application could not be started!");
    EXPECT_EQ(ui.messages[0].title, "Notice");
    EXPECT_EQ(ui.messages[0].iconName(), "critical");

    ui.messages.clear();
    pipe->calls.clear();
    pipe->startable = true;
    outcome = run();
    EXPECT_EQ(outcome.result, SchResult::NotSent);
    EXPECT_EQ(std::count(pipe->calls.begin(), pipe->calls.end(), "ready?"), 1 + 46);
    EXPECT_EQ(std::count(pipe->calls.begin(), pipe->calls.end(), "wait 1"), 46);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].prompt.find("\r\nafter 45 seconds. Program will terminate."), std::string::npos);
    EXPECT_EQ(ui.messages[0].iconName(), "none");

    ui.messages.clear();
    pipe->readyAfter = 0;
    pipe->checks = 0;
    pipe->takes = false;
    EXPECT_EQ(run().result, SchResult::NotSent);
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(pipe->sent.size(), 1u);
}

TEST_F(SchTest, NoChannelAndErrors) {
    EXPECT_EQ(run("x=1&TITLE=Nothing+here&ST=20040307T200000Z").result, SchResult::NoChannel);
    EXPECT_TRUE(created.empty());
    EXPECT_THROW(run("x=1&TITLE=A+(K+5)&ST=bad"), AutomationError);
    EXPECT_TRUE(pipe->sent.empty());
    try {
        sch(kLink, [](const std::string&) { return ObjectPtr(); });
        ADD_FAILURE();
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.number(), 429);
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST(Guidelink, AutomationClass) {
    ObjectPtr o(newClsVesper());
    Args noChannel{Variant(std::string("x=1&TITLE=none"))};
    EXPECT_FALSE(o->call("sch", noChannel).toBool());
    Args link{Variant(kLink)};
    EXPECT_THROW(o->call("sch", link), AutomationError); // no message component registered here
}

} // namespace
