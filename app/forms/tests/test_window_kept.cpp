// The window's view of the recordings kept until space is needed, and the
// timing new events get, stored from the Options tab.
#include "app/core/kept_recordings.h"
#include "app/core/tests/test_engine_support.h"
#include "app/core/watch_service.h"
#include "app/forms/frm_vesper.h"
#include "app/forms/tests/window_without_card.h"
#include "platform/testing/qt_application.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>

namespace vesper::test {
namespace {

class KeptWindow : public ::testing::Test {
protected:
    void SetUp() override {
        vesper::test::application();
        setClock(&clock);
        setUiSeam(&seam);
        std::filesystem::remove(joinPath(testFolder(), kKeptRecordingsFileName));
        ASSERT_NO_FATAL_FAILURE(openWindowWithoutCard(program, scheduler, window, "kept-out"));
        folder = window->txtOutputDir->text().toStdString();
    }
    void TearDown() override {
        window.reset();
        setUiSeam(nullptr);
        setClock(nullptr);
    }
    template <typename T> T* find(const char* name) { return window->findChild<T*>(name); }

    TestClock clock{makeDate(2030, 12, 1, 21, 0, 0)};
    RecordingUiSeam seam;
    Program program;
    ObjectPtr scheduler;
    std::unique_ptr<frmVesper> window;
    std::string folder;
};

TEST_F(KeptWindow, ShowsWhatWouldGoNextAndWhatWasDeleted) {
    auto* next = find<QLabel>("lblKeptNext");
    auto* deleted = find<QListWidget>("lstKeptDeleted");
    ASSERT_TRUE(next && deleted);
    EXPECT_EQ(next->text(), "Nothing is kept until space is needed");
    EXPECT_EQ(deleted->count(), 0);

    SpaceKeeper& keeper = window->core().keeper();
    const std::string news = writeFile(joinPath(folder, "News Tu.wmv"), std::string(190000, 'n'));
    keeper.recordingCompleted(news, "News Tu.wmv", true);
    EXPECT_EQ(next->text(), "Next to go when space is needed: News Tu.wmv (Dec 1, 0 MB)");
    EXPECT_EQ(next->toolTip().toStdString(), news);
    // The watch's check counts it as room the start can have.
    program.freeBytes = [](const std::string&) { return 1000; };
    EXPECT_DOUBLE_EQ(window->core().watch().freeBytes(folder), 1000 + 190000);

    clock.set(makeDate(2030, 12, 2, 19, 59, 0));
    program.freeBytes = [news](const std::string&) { return std::filesystem::exists(news) ? 0 : 300000000; };
    EXPECT_TRUE(keeper.makeRoom(folder, 250000000, "Film.wmv"));
    EXPECT_EQ(next->text(), "Nothing is kept until space is needed");
    ASSERT_EQ(deleted->count(), 1);
    EXPECT_EQ(deleted->item(0)->text(), "News Tu.wmv (Dec 2, 0 MB)");
    EXPECT_EQ(deleted->item(0)->toolTip().toStdString(), "Deleted Dec 2 07:59 PM to make room for Film.wmv: " + news);
    EXPECT_DOUBLE_EQ(window->core().watch().freeBytes(folder), 300000000);
}

TEST_F(KeptWindow, TheOptionsTabStoresTheTimingOfNewEvents) {
    auto* start = find<QSpinBox>("updnDefaultStartMargin");
    auto* end = find<QSpinBox>("updnDefaultEndMargin");
    auto* keep = find<QCheckBox>("chkDefaultKeepUntilSpace");
    ASSERT_TRUE(start && end && keep);
    EXPECT_EQ(start->value(), 0);
    EXPECT_FALSE(keep->isChecked());
    start->setValue(120);
    end->setValue(300);
    keep->setChecked(true);
    const EventTiming stored = TimingSettings::load().defaults;
    EXPECT_EQ(stored, (EventTiming{120, 300, true}));
    EXPECT_EQ(window->core().timingSettings().defaults, stored);
    EXPECT_EQ(window->core().eventTimingOf(nullptr), stored);
}

} // namespace
} // namespace vesper::test
