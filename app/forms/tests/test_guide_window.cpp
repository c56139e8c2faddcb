// The guide grid offscreen, on the real scheduler: opened from the guide
// pane, a day's programmes by channel, the title search, a programme recorded
// through the real Add Event dialog in its external mode and then marked, and
// the channel mapping window.
#include "app/core/tests/test_engine_support.h"
#include "app/forms/frm_add_event.h"
#include "app/forms/frm_guide.h"
#include "app/forms/frm_vesper.h"
#include "app/forms/tests/window_without_card.h"
#include "platform/testing/event_loop.h"
#include "platform/testing/qt_application.h"
#include "platform/testing/qt_test_support.h"

#include "listings/tests/listings_test_support.h"
#include "listings/xmltv_time.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <filesystem>

namespace vesper::test {
namespace {

using listings::Programme;

class GuideWindow : public ::testing::Test {
protected:
    void SetUp() override {
        vesper::test::application();
        setClock(&clock);
        setUiSeam(&seam);
        ASSERT_NO_FATAL_FAILURE(openWindowWithoutCard(program, scheduler, window, "guide-out"));
        ASSERT_TRUE(window->core().guide().store()->importXmltvFile(listings::test::sample("sample.xml")).ok);
    }
    void TearDown() override {
        window.reset();
        setUiSeam(nullptr);
        setClock(nullptr);
    }
    frmGuide* openGuide() {
        auto* open = window->fraElectronicProgrammingGuide->findChild<QPushButton*>("cmdGuideGrid");
        if (!open) return nullptr;
        open->click();
        return window->findChild<frmGuide*>("frmGuide");
    }
    std::vector<GridRow> rows() { return readScheduleRows(*scheduler); }

    TimeZoneScope zone{"CET-1CEST,M3.5.0,M10.5.0/3"};
    TestClock clock{makeDate(2030, 3, 30, 12, 0, 0)};
    RecordingUiSeam seam;
    Program program;
    ObjectPtr scheduler;
    std::unique_ptr<frmVesper> window;
};

TEST_F(GuideWindow, OpensFromThePaneShowsADaySearchesAndRecordsThroughTheDialog) {
    // The pane keeps its own controls; the grid's button is beside them.
    EXPECT_EQ(window->fraElectronicProgrammingGuide->findChildren<QLabel*>("lblCustom").size(), 4);
    EXPECT_EQ(window->cmdConfigureEPG->text(), "Configure...");
    frmGuide* guide = openGuide();
    ASSERT_TRUE(guide);
    EXPECT_TRUE(guide->isVisible());
    EXPECT_EQ(guide->lblGuideDay->text(), "Saturday, March 30, 2030");
    EXPECT_EQ(guide->grdGuide->channels(), QList<int>{12});
    QStringList titles;
    for (const Programme& p : guide->grdGuide->programmes())
        titles << p.title;
    EXPECT_EQ(titles, (QStringList{"The News", "Late Film", "Night Owls"}));
    EXPECT_EQ(guide->grdGuide->nowX(), guide->grdGuide->xOf(listings::utcFromLocal(clock.now())));

    // The next day: the night the clocks go forward holds 23 hours.
    guide->cmdGuideNextDay->click();
    EXPECT_EQ(guide->lblGuideDay->text(), "Sunday, March 31, 2030");
    EXPECT_EQ(guide->grdGuide->channels(), (QList<int>{4, 12}));
    EXPECT_EQ(guide->grdGuide->nowX(), -1);
    EXPECT_EQ(guide->grdGuide->width() - 1, guide->grdGuide->xOf(listings::utcFromLocal(makeDate(2030, 4, 1))));
    EXPECT_EQ(guide->grdGuide->xOf(listings::utcFromLocal(makeDate(2030, 4, 1))) -
                  guide->grdGuide->xOf(listings::utcFromLocal(makeDate(2030, 3, 31))),
              23 * 60 * 3);
    guide->cmdGuideToday->click();
    EXPECT_EQ(guide->lblGuideDay->text(), "Saturday, March 30, 2030");

    guide->txtGuideSearch->setText("news");
    guide->cmdGuideSearch->click();
    ASSERT_EQ(guide->lstGuideSearch->count(), 4);
    EXPECT_EQ(guide->lstGuideSearch->item(0)->text(), "Sat Mar 30  7:00 PM  12 KXYZ  The News");
    EXPECT_EQ(guide->lstGuideSearch->item(3)->text(), "Mon Apr 1  8:00 PM  12 KXYZ  NEWSNIGHT");

    // A double click on the programme opens the real dialog, external mode.
    const Programme news = guide->grdGuide->programmes()[0];
    std::string caption, channel, output;
    seam.showModals = true;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<frmAddEvent*>(QApplication::activeModalWidget());
        if (!dialog) return;
        caption = dialog->windowTitle().toStdString();
        channel = dialog->cmbChannel->currentText().toStdString();
        output = dialog->txtOutput->text().toStdString();
        dialog->cmdOK->click();
    });
    poll.start(10);
    window->Timer2->start();
    const QPoint at = guide->grdGuide->programmeRect(news.id).center();
    QTest::mouseDClick(guide->grdGuide, Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_TRUE(spinUntil([&] { return rows().size() == 1; }));
    EXPECT_EQ(caption, "Add Event [External]");
    EXPECT_EQ(channel, "12");
    EXPECT_EQ(output, "The News");
    const GridRow row = rows()[0];
    EXPECT_EQ(row.when, "Sat,  Mar 30,  07:00 PM");
    EXPECT_EQ(row.len, "1:00");
    EXPECT_EQ(row.filename, "The News.wmv");
    // The grid marks it once the schedule has changed.
    ASSERT_TRUE(spinUntil([&] { return guide->grdGuide->scheduled().contains(news.id); }));
    EXPECT_EQ(guide->grdGuide->scheduled().size(), 1);
    EXPECT_TRUE(seam.messages.empty());
}

TEST_F(GuideWindow, ChannelsWindowMapsAChannelToATunerChannel) {
    frmGuide* guide = openGuide();
    ASSERT_TRUE(guide);
    guide->cmdGuideChannels->click();
    auto* channels = guide->findChild<frmGuideChannels*>("frmGuideChannels");
    ASSERT_TRUE(channels);
    QTableWidget* table = channels->grdGuideChannels;
    ASSERT_EQ(table->rowCount(), 4);
    EXPECT_EQ(table->item(2, 1)->text(), "cable.example.org");
    auto* cable = qobject_cast<QSpinBox*>(table->cellWidget(2, 2));
    EXPECT_EQ(cable->text(), "None");
    cable->setValue(20);
    qobject_cast<QSpinBox*>(table->cellWidget(0, 2))->setValue(1); // KXYZ: none
    channels->cmdGuideChannelsOK->click();
    guide->cmdGuideNextDay->click();
    EXPECT_EQ(guide->grdGuide->channels(), (QList<int>{4, 20}));

    // Back to what the names give.
    guide->cmdGuideChannels->click();
    channels = guide->findChild<frmGuideChannels*>("frmGuideChannels");
    ASSERT_TRUE(channels);
    channels->grdGuideChannels->setCurrentCell(0, 0);
    channels->cmdGuideChannelDefault->click();
    EXPECT_EQ(qobject_cast<QSpinBox*>(channels->grdGuideChannels->cellWidget(0, 2))->value(), 12);
    channels->cmdGuideChannelsOK->click();
    EXPECT_EQ(guide->grdGuide->channels(), (QList<int>{4, 12, 20}));
}

} // namespace
} // namespace vesper::test
