// Reading XMLTV: times with their offsets, the samples written for these
// tests, and files that must be refused while the previous guide stays.
#include "listings/guide_store.h"
#include "listings/tests/generated_listings.h"
#include "listings/tests/listings_test_support.h"
#include "listings/xmltv_time.h"

#include <QBuffer>
#include <QFile>

#include <gtest/gtest.h>

using namespace vesper::listings;
using namespace vesper::listings::test;

TEST(XmltvTime, ReadsOffsetsAndShortFormsAndRefusesTheRest) {
    const qint64 evening = utc(2004, 4, 20, 18);
    const struct {
        const char* text;
        std::optional<qint64> utc;
    } cases[] = {
        {"20040420200000 +0200", evening},
        {"20040420130000 -0500", evening},
        {"200404201800", evening},
        {"2004042018", evening},
        {"20040420180000", evening},
        {"20040420180000 UTC", evening},
        {"20040420190000 BST", evening},
        {"  20040420235959 +0545 ", utc(2004, 4, 20, 18, 14) + 59},
        {"20040229", utc(2004, 2, 29)},
        {"20030229", std::nullopt}, // no such day
        {"20040420240000", std::nullopt},
        {"20040420200000 +2400", std::nullopt},
        {"20040420200000 CEST", std::nullopt}, // a zone name we cannot know
        {"2004042020000", std::nullopt},
        {"20040420200000+0200", evening}, // the blank is optional in practice
        {"", std::nullopt},
        {"tomorrow", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseXmltvTime(QString::fromUtf8(c.text)), c.utc) << c.text;
}

TEST(XmltvImport, ReadsTheSampleWithOffsetsMissingStopsAndCategories) {
    GuideStore store;
    ASSERT_TRUE(store.open(freshDatabase())) << store.error().toStdString();
    const ImportResult r = store.importXmltvFile(sample("sample.xml"));
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.programmes, 9);
    EXPECT_EQ(r.channels, 4);
    EXPECT_EQ(r.stopsFilled, 3);
    EXPECT_EQ(r.summary(), "Imported 9 programmes on 4 channels");

    const auto all = store.search("", 100); // a blank search finds nothing
    EXPECT_TRUE(all.isEmpty());
    const auto find = [&](const char* title) {
        const auto found = store.search(title, 10);
        EXPECT_FALSE(found.isEmpty()) << title;
        return found.value(0);
    };
    const Programme film = find("Late Film"), owls = find("Night Owls");
    EXPECT_EQ(film.startUtc, utc(2030, 3, 30, 19));
    EXPECT_FALSE(film.stopGiven);
    EXPECT_EQ(film.stopUtc, owls.startUtc); // the next programme on its channel
    EXPECT_EQ(film.subTitle, "The Long Night");
    EXPECT_EQ(film.categories, QStringList({"Movie", "Drama"}));
    EXPECT_EQ(film.channelName, "KXYZ");
    EXPECT_EQ(film.tunerChannel, 12);
    const Programme report = find("World Report");
    EXPECT_EQ(report.startUtc, utc(2030, 3, 31, 3));
    EXPECT_EQ(report.stopUtc, find("Breakfast").startUtc);
    // The last programme of its channel gets the default length.
    EXPECT_EQ(find("Cable Talk").lengthMinutes(), 30);
    // Without a zone, XMLTV means UTC.
    EXPECT_EQ(find("Breakfast").startUtc, utc(2030, 3, 31, 6));
    // The first of several languages' titles.
    EXPECT_EQ(find("The News").title, "The News");
    EXPECT_TRUE(store.search("Nachrichten", 10).isEmpty());

    const auto details = store.programme(film.id);
    ASSERT_TRUE(details.has_value());
    EXPECT_EQ(details->description, "A film that runs until the next programme starts.");
    EXPECT_FALSE(store.programme(-1).has_value());
}

TEST(XmltvImport, RefusesBadFilesAndKeepsThePreviousGuide) {
    GuideStore store;
    ASSERT_TRUE(store.open(freshDatabase()));
    ASSERT_TRUE(store.importXmltvFile(sample("sample.xml")).ok);
    ASSERT_EQ(store.programmeCount(), 9);

    const std::string head = "<?xml version=\"1.0\"?>\n";
    const std::string laughs =
        head + "<!DOCTYPE tv [\n <!ENTITY a \"hahahahahahahahahahaha\">\n"
               " <!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">\n"
               " <!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">\n"
               " <!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">\n"
               " <!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">\n"
               " <!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">\n"
               " <!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">\n"
               " <!ENTITY h \"&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;\">\n"
               " <!ENTITY i \"&h;&h;&h;&h;&h;&h;&h;&h;&h;&h;\">\n]>\n"
               "<tv><channel id=\"x\"><display-name>&i;</display-name></channel>"
               "<programme start=\"20300401000000\" channel=\"x\"><title>&i;</title></programme></tv>\n";
    const std::string programme = "<programme start=\"20300401000000\" channel=\"x\"><title>T</title></programme>";
    std::string nested = head + "<tv>" + programme + "<credits>";
    for (int i = 0; i < 100; ++i)
        nested += "<x>";
    const struct {
        const char* name;
        std::string xml;
        const char* error;
    } cases[] = {
        {"malformed", head + "<tv><programme start=\"20300401000000\" channel=\"x\"><title>T</programme></tv>",
         "line 2, column 70: the XML is malformed: Opening and ending tag mismatch"},
        {"cut off", head + "<tv>" + programme + "<programme start=\"2030", "the XML is malformed"},
        {"billion laughs", laughs, "line 12: the document declares entities in its DOCTYPE"},
        {"external entity",
         head + "<!DOCTYPE tv [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><tv><title>&x;</title></tv>",
         "declares entities"},
        {"undeclared entity", head + "<tv>" + programme + "<x>&nbsp;</x></tv>", "malformed"},
        {"wrong root", head + "<html><body/></html>", "the root element is <html>, not <tv>"},
        {"channel without id", head + "<tv><channel><display-name>4</display-name></channel></tv>",
         "line 2: a <channel> without an \"id\" attribute"},
        {"no start", head + "<tv>\n<programme channel=\"x\"><title>T</title></programme></tv>",
         "line 3: a <programme> without a \"start\" attribute"},
        {"no channel", head + "<tv><programme start=\"20300401000000\"><title>T</title></programme></tv>",
         "without a \"channel\" attribute"},
        {"no title", head + "<tv>\n<programme start=\"20300401000000\" channel=\"x\">\n<desc>D</desc></programme></tv>",
         "line 3: a <programme> without a <title>"},
        {"bad start", head + "<tv><programme start=\"1 April 2030\" channel=\"x\"><title>T</title></programme></tv>",
         "the start time \"1 April 2030\" is not an XMLTV time"},
        {"bad stop",
         head +
             "<tv><programme start=\"20300401000000\" stop=\"2030041\" channel=\"x\"><title>T</title></programme></tv>",
         "the stop time \"2030041\""},
        {"long text", head + "<tv>" + programme + "<desc>" + std::string(70000, 'x') + "</desc></tv>",
         "a text longer than 65536 characters"},
        {"deep nesting", nested, "elements nest too deeply"},
        {"no programmes", head + "<tv><channel id=\"x\"/></tv>", "the listings hold no programmes"},
        {"empty", "", "the listings are empty"},
        {"not XML", std::string("\x89PNG\r\n\x1a\n\0\0", 10), "the XML is malformed"},
    };
    for (const auto& c : cases) {
        QByteArray bytes = QByteArray::fromStdString(c.xml);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        const ImportResult r = store.importXmltv(buffer);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_NE(r.error.indexOf(QString::fromUtf8(c.error)), -1) << c.name << ": " << r.error.toStdString();
        EXPECT_TRUE(r.summary().endsWith("the previous guide is kept")) << c.name;
        EXPECT_EQ(store.programmeCount(), 9) << c.name;
        EXPECT_EQ(store.search("news", 10).size(), 4) << c.name;
        EXPECT_EQ(store.channels().size(), 4) << c.name;
    }
}

TEST(XmltvImport, RefusesAHugeFileBeforeReadingIt) {
    GuideStore store;
    ASSERT_TRUE(store.open(freshDatabase()));
    ASSERT_TRUE(store.importXmltvFile(sample("sample.xml")).ok);
    // 200 MB on paper, next to nothing on the disk: the size alone refuses it.
    const QString path = QString::fromStdString(vesper::test::testFolder()) + "/huge.xml";
    QFile huge(path);
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    huge.write("<?xml version=\"1.0\"?>\n<tv>\n");
    ASSERT_TRUE(huge.resize(200LL * 1000 * 1000));
    huge.close();
    const ImportResult r = store.importXmltvFile(path);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "huge.xml: the listings are 190.7 MiB, more than the limit of 100.0 MiB");
    EXPECT_EQ(store.programmeCount(), 9);

    const ImportResult missing = store.importXmltvFile(path + ".none");
    EXPECT_NE(missing.error.indexOf("does not exist"), -1) << missing.error.toStdString();
    EXPECT_EQ(store.programmeCount(), 9);
}

TEST(XmltvImport, ReadsAWeekOfFiftyChannels) {
    GuideStore store;
    ASSERT_TRUE(store.open(freshDatabase()));
    const QString path = QString::fromStdString(
        vesper::test::writeFile(vesper::test::testFolder() + "/week.xml", generatedListings(50, 7)));
    const ImportResult r = store.importXmltvFile(path);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.programmes, 50 * (7 * 1440 / 50));
    EXPECT_EQ(r.channels, 50);
    EXPECT_EQ(r.stopsFilled, 0);
    // Every channel's programmes are back to back in UTC, whatever its zone.
    const auto news = store.search("the news", 1000);
    ASSERT_FALSE(news.isEmpty());
    for (const Programme& p : news)
        EXPECT_EQ((p.startUtc - utc(2030, 4, 1)) % (50 * 60), 0) << p.channelId.toStdString();
}

TEST(XmltvImport, SamplesAreValidXmltv) {
    // The samples and the generator's output must be what real grabbers
    // write, as xmltv-util's validator judges (with Debian's copy of the DTD,
    // not the network's).
    const std::string small =
        vesper::test::writeFile(vesper::test::testFolder() + "/small.xml", generatedListings(3, 1));
    for (const std::string& file : {sample("sample.xml").toStdString(), sample("newer.xml").toStdString(), small}) {
        std::string out;
        EXPECT_EQ(
            vesper::test::runCommand("tv_validate_file --dtd-file /usr/share/xmltv/xmltv.dtd '" + file + "'", &out), 0)
            << file << ":\n"
            << out;
    }
}
