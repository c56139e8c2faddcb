// The background import as the main program runs it: files and grabbers, the
// settings it reads and records, and grabbers that fail in every way.
#include "listings/guide_settings.h"
#include "listings/import_runner.h"
#include "listings/tests/listings_test_support.h"
#include "platform/clock.h"
#include "platform/registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace vesper::listings;
using namespace vesper::listings::test;

namespace {

QCoreApplication& application() {
    if (auto* app = QCoreApplication::instance()) return *app;
    static int argc = 1;
    static char name[] = "listings_tests";
    static char* argv[] = {name, nullptr};
    return *new QCoreApplication(argc, argv);
}

class Runner : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        vesper::setClock(&clock);
        database = freshDatabase();
        folder = QFileInfo(database).absolutePath();
    }
    void TearDown() override { vesper::setClock(nullptr); }

    // Runs the import to its end; the result.
    ImportResult run(ImportRunner& runner, const std::function<bool(ImportRunner&)>& start) {
        std::optional<ImportResult> result;
        QObject::connect(&runner, &ImportRunner::finished, [&](const ImportResult& r) { result = r; });
        EXPECT_TRUE(start(runner));
        EXPECT_FALSE(result.has_value()); // never from inside the start call
        QElapsedTimer t;
        t.start();
        while (!result && t.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        EXPECT_FALSE(runner.isRunning());
        return result.value_or(ImportResult{false, "no result"});
    }
    ImportResult runGrabber(const std::string& script, const ImportLimits& limits = {}) {
        const std::string path =
            vesper::test::writeFile(folder.toStdString() + "/grab" + std::to_string(++scripts) + ".sh", script);
        ImportRunner runner(database);
        runner.setLimits(limits);
        return run(runner,
                   [&](ImportRunner& r) { return r.startGrabber("sh \"" + QString::fromStdString(path) + "\""); });
    }
    int programmes() {
        GuideStore store;
        return store.open(database) ? store.programmeCount() : -1;
    }
    QStringList leftovers() { return QDir(folder).entryList({"guide-grab-*"}); }

    vesper::TestClock clock{vesper::makeDate(2030, 3, 30, 12)};
    QString database, folder;
    int scripts = 0;
};

} // namespace

TEST_F(Runner, ImportsAFileInTheBackgroundAndRecordsTheResult) {
    ImportRunner runner(database);
    const ImportResult r = run(runner, [](ImportRunner& r) { return r.startFile(sample("sample.xml")); });
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(programmes(), 9);
    const GuideSettings s = readGuideSettings();
    EXPECT_EQ(s.lastImport, "3/30/2030 12:00:00 PM");
    EXPECT_EQ(s.lastImportResult, "Imported 9 programmes on 4 channels");
}

TEST_F(Runner, ReadsTheSourceFromTheSettings) {
    ImportRunner runner(database);
    ImportResult r = run(runner, [](ImportRunner& r) { return r.startFromSettings(); });
    EXPECT_NE(r.error.indexOf("neither an XMLTV file nor a grabber is set (sXmltvFile or sGrabberCommand under "
                              "HKEY_CURRENT_USER\\Software\\Orvane\\Vesper\\1.0\\Guide)"),
              -1)
        << r.error.toStdString();
    EXPECT_EQ(readGuideSettings().lastImportResult, r.summary());

    ASSERT_TRUE(writeGuideSource(sample("sample.xml"), ""));
    EXPECT_TRUE(run(runner, [](ImportRunner& r) { return r.startFromSettings(); }).ok);
    EXPECT_EQ(programmes(), 9);

    // A grabber, when set, goes before the file.
    const std::string grabber = vesper::test::writeFile(folder.toStdString() + "/tv_grab_test",
                                                        "cat '" + sample("newer.xml").toStdString() + "'\n");
    ASSERT_TRUE(writeGuideSource(sample("sample.xml"), "sh \"" + QString::fromStdString(grabber) + "\""));
    r = run(runner, [](ImportRunner& r) { return r.startFromSettings(); });
    EXPECT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(programmes(), 3);
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(Runner, AFailingGrabberKeepsThePreviousGuide) {
    ASSERT_TRUE(runGrabber("cat '" + sample("sample.xml").toStdString() + "'\n").ok);
    const std::string header = "printf '<?xml version=\"1.0\"?>\\n<tv>\\n'\n";
    // A 200 MB stream is stopped at the limit (1 MiB here, to spare the disk).
    ImportLimits small;
    small.maxBytes = 1024 * 1024;
    const struct {
        const char* name;
        std::string script;
        const char* error;
        ImportLimits limits;
    } cases[] = {
        {"exit code",
         "echo 'tv_grab_test: no network' >&2\nexit 3\n",
         "ended with exit code 3: tv_grab_test: no network",
         {}},
        {"huge",
         header + "yes '<programme start=\"20300401000000\" channel=\"x\"><title>T</title></programme>' | "
                  "head -c 200000000\n",
         "wrote more than the limit of 1 MiB", small},
        {"malformed",
         header + "echo '<programme start=\"20300401000000\" channel=\"x\"><title>T</title>'\n",
         "the output of \"sh\": line 4, column 0: the XML is malformed: Premature end of document",
         {}},
        {"nothing", "exit 0\n", "the output of \"sh\": the listings are empty", {}},
        {"killed", "kill -9 $$\n", "the grabber \"sh\" crashed", {}},
    };
    for (const auto& c : cases) {
        const ImportResult r = runGrabber(c.script, c.limits);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_NE(r.error.indexOf(QString::fromUtf8(c.error)), -1) << c.name << ": " << r.error.toStdString();
        EXPECT_EQ(programmes(), 9) << c.name;
        EXPECT_TRUE(leftovers().isEmpty()) << c.name;
    }

    ImportRunner runner(database);
    ImportResult r = run(runner, [](ImportRunner& r) { return r.startGrabber("/nonexistent/tv_grab_none --days 7"); });
    EXPECT_NE(r.error.indexOf("the grabber \"/nonexistent/tv_grab_none\" could not be started"), -1)
        << r.error.toStdString();
    r = run(runner, [](ImportRunner& r) {
        const bool started = r.startGrabber("sleep 30");
        EXPECT_FALSE(r.startFile(sample("newer.xml"))); // one at a time
        r.cancel();
        return started;
    });
    EXPECT_EQ(r.error, "the import was cancelled");
    EXPECT_EQ(programmes(), 9);
    EXPECT_TRUE(leftovers().isEmpty());
}
