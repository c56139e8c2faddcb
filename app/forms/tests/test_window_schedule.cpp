// The schedule's commands through the main window offscreen, on the real
// "Slotbook.EventsObj" registered in the test's hive: what each command asks,
// what it does to the schedule, the file, the grid and the next event shown,
// and what happens when the schedule changes under a dialog or a question.
#include "app/core/tests/test_engine_support.h"
#include "app/forms/frm_add_event.h"
#include "app/forms/frm_vesper.h"
#include "app/forms/tests/window_without_card.h"
#include "platform/testing/qt_application.h"

#include "platform/registry.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <filesystem>

namespace vesper::test {
namespace {

// Answers like RecordingUiSeam, after running `during` (once) inside the
// question, as the ticks do while a real message box is open.
class SeamWithHook : public RecordingUiSeam {
public:
    MsgBoxResult message(const MessageRequest& request) override {
        if (auto hook = std::exchange(during, {})) hook();
        return RecordingUiSeam::message(request);
    }
    std::function<void()> during;
};

std::string schedulePath() { return joinPath(testFolder(), "Schedule.txt"); }

const DateTime kFri8pm = makeDate(2030, 4, 19, 20, 0, 0);

class WindowSchedule : public ::testing::Test {
protected:
    void SetUp() override {
        vesper::test::application();
        setClock(&clock);
        setUiSeam(&seam);
        registry::deleteKey(std::string(settings::kRoot) + "\\AddEvent");
        ASSERT_TRUE(registerComponent(ENGINE_PATH));
        ASSERT_NO_FATAL_FAILURE(openWindowWithoutCard(program, scheduler, window, "schedule-out"));
        window->SSTab1->setCurrentIndex(1);
    }
    void TearDown() override {
        window.reset();
        std::filesystem::remove(schedulePath());
        setUiSeam(nullptr);
        setClock(nullptr);
    }

    // What the Add Event dialog opens with in its "AddEvent" mode.
    void dialogSettings(const char* hour, const char* minute, bool pm, const char* lengthHour, const char* lengthMinute,
                        const char* channel, const char* repeat, const char* output) {
        RegSaveSetting2(settings::AddEventStartHour, hour);
        RegSaveSetting2(settings::AddEventStartMinute, minute);
        RegSaveSetting2(settings::AddEventStartPM, pm ? "True" : "False");
        RegSaveSetting2(settings::AddEventStartAM, pm ? "False" : "True");
        RegSaveSetting2(settings::AddEventDurationHour, lengthHour);
        RegSaveSetting2(settings::AddEventDurationMinute, lengthMinute);
        RegSaveSetting2(settings::AddEventChannel, channel);
        RegSaveSetting2(settings::AddEventRepeat, repeat);
        RegSaveSetting2(settings::AddEventOutput, output);
        RegSaveSetting2(settings::AddEventDtWhen, "2030-04-19");
    }
    std::vector<std::string> grid() const { return gridTexts(*window); }
    std::string file() const { return readFile(schedulePath()); }
    void select(int gridRow) { window->MSFlexGrid1->setCurrentCell(gridRow, 0); }
    // A double click on a row of the grid, as the mouse makes it.
    void doubleClickRow(int gridRow) {
        QWidget* viewport = window->MSFlexGrid1->viewport();
        const QPoint p = window->MSFlexGrid1->visualItemRect(window->MSFlexGrid1->item(gridRow, 0)).center();
        const auto send = [&](QEvent::Type type) {
            QMouseEvent e(type, QPointF(p), viewport->mapToGlobal(QPointF(p)), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &e);
        };
        send(QEvent::MouseButtonPress);
        send(QEvent::MouseButtonRelease);
        send(QEvent::MouseButtonDblClick);
        send(QEvent::MouseButtonRelease);
    }
    // Shows the next Add Event dialog for real and runs `user` in it once it
    // is open.
    void inTheDialog(std::function<void(frmAddEvent&)> user) {
        seam.showModals = true;
        auto* poll = new QTimer(window.get());
        QObject::connect(poll, &QTimer::timeout, poll, [poll, user] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* dlg = qobject_cast<frmAddEvent*>(w); dlg && dlg->isVisible()) {
                    poll->stop();
                    poll->deleteLater();
                    user(*dlg);
                    // Never leave the test waiting on a dialog the user did not close.
                    if (dlg->isVisible()) {
                        ADD_FAILURE() << "the dialog is still open";
                        dlg->reject();
                    }
                    return;
                }
        });
        poll->start(10);
    }

    // Friday 19 April 2030, noon.
    TestClock clock{makeDate(2030, 4, 19, 12, 0, 0)};
    SeamWithHook seam;
    Program program;
    ObjectPtr scheduler;
    std::unique_ptr<frmVesper> window;
};

TEST_F(WindowSchedule, AddEditCancelAndDeleteFromTheGrid) {
    // Add: the dialog confirmed as it opens; the file written, the grid and
    // the next event shown.
    dialogSettings("8", ":00", true, "1", ":00", "3", "weekly", "News");
    seam.modalAnswers = {"OK"};
    window->cmdAddEvent->click();
    ASSERT_EQ(seam.modals.size(), 1u);
    EXPECT_EQ(seam.modals[0].form, "frmAddEvent");
    EXPECT_EQ(seam.modals[0].caption, "Add Event");
    EXPECT_EQ(file(), "VER1.0\r\n4/19/2030 8:00:00 PM,3,60,True,weekly,News.wmv\r\n");
    EXPECT_EQ(grid(), (std::vector<std::string>{"Fri,  Apr 19,  08:00 PM|3|1:00|weekly|News.wmv"}));
    EXPECT_EQ(window->lblEventCount->text(), "1");
    EXPECT_EQ(window->lblWhen->text(), "Apr 19");
    EXPECT_EQ(window->lblDay->text(), "Friday");
    EXPECT_EQ(window->lblStart->text(), "08:00 PM");
    EXPECT_EQ(window->lblStop->text(), "09:00 PM");
    EXPECT_EQ(window->lblLength->text(), "1:00 hour");
    EXPECT_EQ(window->lblChannel->text(), "3");
    EXPECT_TRUE(window->cmdEditEvent->isEnabled());
    EXPECT_TRUE(window->cmdDeleteEvent->isEnabled());

    dialogSettings("10", ":00", true, "0", ":45", "5", "once", "Late");
    seam.modalAnswers = {"OK"};
    window->cmdAddEvent->click();
    EXPECT_EQ(grid(), (std::vector<std::string>{"Fri,  Apr 19,  08:00 PM|3|1:00|weekly|News.wmv",
                                                "Fri,  Apr 19,  10:00 PM|5|0:45|once|Late.wmv"}));
    EXPECT_EQ(window->lblEventCount->text(), "2");

    // Edit with the button, in the real dialog: the second row, moved to 11.
    select(1);
    inTheDialog([](frmAddEvent& dlg) {
        EXPECT_EQ(dlg.windowTitle(), "Update Event");
        EXPECT_EQ(dlg.txtOutput->text(), "Late.wmv");
        dlg.cmbStartHour->setEditText("11");
        dlg.cmbChannel->setEditText("9");
        dlg.cmdOK->click();
    });
    window->cmdEditEvent->click();
    EXPECT_TRUE(seam.messages.empty());
    EXPECT_EQ(file(), "VER1.0\r\n4/19/2030 8:00:00 PM,3,60,True,weekly,News.wmv\r\n"
                      "4/19/2030 11:00:00 PM,9,45,True,once,Late.wmv\r\n");
    EXPECT_EQ(grid()[1], "Fri,  Apr 19,  11:00 PM|9|0:45|once|Late.wmv");

    // Edit by activating the first row: the event opens for update and,
    // confirmed unchanged, does not conflict with itself.
    seam.showModals = false;
    seam.modalAnswers = {"OK"};
    doubleClickRow(0);
    ASSERT_EQ(seam.modals.size(), 4u);
    EXPECT_EQ(seam.modals[3].caption, "Update Event");
    EXPECT_EQ(program.modeWord, "UpdateEvent");
    EXPECT_EQ(program.currentEvent.filename, "News.wmv");
    EXPECT_TRUE(seam.messages.empty());
    EXPECT_EQ(grid().size(), 2u);

    // Enter on the selected row activates it too.
    seam.modalAnswers = {"Cancel"};
    select(1);
    window->MSFlexGrid1->setFocus();
    QTest::keyClick(window->MSFlexGrid1, Qt::Key_Return);
    ASSERT_EQ(seam.modals.size(), 5u);
    EXPECT_EQ(seam.modals[4].caption, "Update Event");
    EXPECT_EQ(program.currentEvent.filename, "Late.wmv");

    // Cancel and Delete do nothing while another page is shown.
    window->SSTab1->setCurrentIndex(0);
    select(0);
    window->cmdCancelSelectedEvent->click();
    window->cmdDeleteEvent->click();
    EXPECT_TRUE(seam.messages.empty());
    window->SSTab1->setCurrentIndex(1);

    // Cancel: asked, No changes nothing, Yes moves the weekly event a week on.
    const std::string saved = file();
    const std::vector<std::string> before = grid();
    select(0);
    seam.answers = {vbNo};
    window->cmdCancelSelectedEvent->click();
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_EQ(seam.messages[0].title, "Confirm!");
    EXPECT_EQ(seam.messages[0].style, vbYesNo | vbQuestion | vbDefaultButton2);
    EXPECT_EQ(seam.messages[0].prompt, "\r\nAre you sure you want to CANCEL this event?\r\n\r\n"
                                       "Filename: News.wmv\r\n"
                                       "    When: Friday,  April 19,  08:00:00 PM\r\n"
                                       " Channel: 3\r\n"
                                       "  Repeat: weekly");
    EXPECT_EQ(grid(), before);
    seam.answers = {vbYes};
    window->cmdCancelSelectedEvent->click();
    EXPECT_EQ(grid(), (std::vector<std::string>{"Fri,  Apr 19,  11:00 PM|9|0:45|once|Late.wmv",
                                                "Fri,  Apr 26,  08:00 PM|3|1:00|weekly|News.wmv"}));
    EXPECT_EQ(window->lblStart->text(), "11:00 PM");
    EXPECT_EQ(window->lblChannel->text(), "9");
    // Neither command writes the file; the next save does.
    EXPECT_EQ(file(), saved);

    // Delete: the weekly series goes whole.
    select(1);
    seam.answers = {vbNo};
    window->cmdDeleteEvent->click();
    EXPECT_EQ(grid().size(), 2u);
    seam.answers = {vbYes};
    window->cmdDeleteEvent->click();
    ASSERT_EQ(seam.messages.size(), 4u);
    EXPECT_EQ(seam.messages[3].prompt, "\r\nAre you sure you want to DELETE this event?\r\n\r\n"
                                       "Filename: News.wmv\r\n"
                                       "    When: Friday,  April 26,  08:00:00 PM\r\n"
                                       " Channel: 3\r\n"
                                       "  Repeat: weekly");
    EXPECT_EQ(grid(), (std::vector<std::string>{"Fri,  Apr 19,  11:00 PM|9|0:45|once|Late.wmv"}));
    EXPECT_EQ(window->lblEventCount->text(), "1");
    window->SaveScheduleToDisk();
    EXPECT_EQ(file(), "VER1.0\r\n4/19/2030 11:00:00 PM,9,45,True,once,Late.wmv\r\n");

    // The last one deleted: nothing left to edit.
    seam.answers = {vbYes};
    window->cmdDeleteEvent->click();
    EXPECT_TRUE(grid().empty());
    EXPECT_EQ(window->lblWhen->text(), "Empty");
    EXPECT_EQ(window->lblDay->text(), "N/A");
    EXPECT_FALSE(window->cmdEditEvent->isEnabled());
    EXPECT_FALSE(window->cmdCancelSelectedEvent->isEnabled());
    const size_t asked = seam.messages.size();
    window->SSTab1->setCurrentIndex(1);
    window->cmdEditEvent->click();
    window->cmdDeleteEvent->click();
    EXPECT_EQ(seam.messages.size(), asked);
}

TEST_F(WindowSchedule, ConflictsShowBothEventsUnderTheirTitles) {
    addEvent(*scheduler, kFri8pm, 3, 60, "weekly", "News.wmv");
    addEvent(*scheduler, makeDate(2030, 4, 19, 22, 0, 0), 5, 30, "once", "Late.wmv");
    window->SetNextEvent();
    window->SaveScheduleToDisk();
    const std::string saved = file();

    dialogSettings("8", ":30", true, "0", ":30", "7", "once", "Clash");
    seam.modalAnswers = {"OK"};
    window->cmdAddEvent->click();
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_EQ(seam.messages[0].title, "Add Event");
    EXPECT_EQ(seam.messages[0].iconName(), "critical");
    EXPECT_EQ(seam.messages[0].prompt, "The event being added:\r\n"
                                       "Filename: Clash.wmv\r\n"
                                       "    When: Friday,  April 19,  08:30:00 PM\r\n"
                                       "Duration: 30\r\n"
                                       "  Repeat: once\r\n"
                                       "\r\n"
                                       "CONFLICTS with this existing event:\r\n"
                                       "Filename: News.wmv\r\n"
                                       "    When: Friday,  April 19,  08:00:00 PM\r\n"
                                       "Duration: 60\r\n"
                                       "  Repeat: weekly\r\n"
                                       "\r\n"
                                       "Event was not added!");
    // The dialog saves all the same: the file keeps the old schedule.
    EXPECT_EQ(file(), saved);
    EXPECT_EQ(grid().size(), 2u);

    // The weekly event is met again a week later by an external event; the
    // message names the series by its start.
    window->AddEventExternal(makeDate(2030, 4, 26, 19, 30, 0), 4, 45, true, "once", "Ext.wmv");
    ASSERT_EQ(seam.messages.size(), 2u);
    EXPECT_EQ(seam.messages[1].title, "Add Event External");
    EXPECT_NE(seam.messages[1].prompt.find("CONFLICTS with this existing event:\r\nFilename: News.wmv\r\n"
                                           "    When: Friday,  April 19,  08:00:00 PM"),
              std::string::npos)
        << seam.messages[1].prompt;

    // Update: the late event lengthened back into the news.
    select(1);
    inTheDialog([](frmAddEvent& dlg) {
        dlg.cmbStartHour->setEditText("8");
        dlg.cmbStartMinute->setEditText(":45");
        dlg.cmdOK->click();
    });
    window->cmdEditEvent->click();
    ASSERT_EQ(seam.messages.size(), 3u);
    EXPECT_EQ(seam.messages[2].title, "Update Event");
    const std::string& p = seam.messages[2].prompt;
    EXPECT_EQ(
        p.rfind("The event being updated:\r\nFilename: Late.wmv\r\n    When: Friday,  April 19,  08:45:00 PM\r\n", 0),
        0u)
        << p;
    EXPECT_NE(p.find("Filename: News.wmv"), std::string::npos) << p;
    EXPECT_EQ(p.substr(p.size() - 24), "\r\nEvent was not updated!");
    EXPECT_EQ(file(), saved);
    EXPECT_EQ(grid()[1], "Fri,  Apr 19,  10:00 PM|5|0:30|once|Late.wmv");
}

TEST_F(WindowSchedule, EditOnARowWhoseEventWasJustRemovedRefillsTheGridInstead) {
    addEvent(*scheduler, kFri8pm, 3, 30, "once", "News.wmv");
    addEvent(*scheduler, makeDate(2030, 4, 19, 22, 0, 0), 5, 30, "once", "Late.wmv");
    window->SetNextEvent();
    ASSERT_EQ(grid().size(), 2u);
    // The news has been recorded and refreshed away behind the grid's back.
    Args gone{Variant::date(kFri8pm)};
    scheduler->call("IRemoveEvent", gone);
    select(0);
    window->cmdEditEvent->click();
    EXPECT_TRUE(seam.modals.empty());
    EXPECT_EQ(grid(), (std::vector<std::string>{"Fri,  Apr 19,  10:00 PM|5|0:30|once|Late.wmv"}));
    // The count and the next event agree with the grid.
    EXPECT_EQ(window->lblEventCount->text(), "1");
    EXPECT_EQ(window->lblStart->text(), "10:00 PM");

    // The same by a double click on a row that is no longer there.
    addEvent(*scheduler, makeDate(2030, 4, 19, 23, 0, 0), 6, 30, "once", "Night.wmv");
    window->SetNextEvent();
    Args night{Variant::date(makeDate(2030, 4, 19, 23, 0, 0))};
    scheduler->call("IRemoveEvent", night);
    doubleClickRow(1);
    EXPECT_TRUE(seam.modals.empty());
    EXPECT_EQ(grid().size(), 1u);
    EXPECT_EQ(window->lblEventCount->text(), "1");
}

TEST_F(WindowSchedule, TheScheduleChangesUnderAnOpenDialogOrQuestion) {
    addEvent(*scheduler, kFri8pm, 3, 30, "once", "News.wmv");
    addEvent(*scheduler, makeDate(2030, 4, 19, 21, 0, 0), 5, 30, "once", "Late.wmv");
    clock.set(makeDate(2030, 4, 19, 19, 50, 0));
    window->SetNextEvent();

    // The news is opened for update; while the dialog is open its time passes
    // and the tick's next-event refresh removes it. OK as shown is refused as
    // expired; moved to a later time it is kept as a new event.
    select(0);
    inTheDialog([this](frmAddEvent& dlg) {
        clock.set(makeDate(2030, 4, 19, 20, 31, 0));
        window->SetNextEvent();
        EXPECT_EQ(grid().size(), 1u);
        dlg.cmdOK->click();
        EXPECT_TRUE(dlg.isVisible());
        dlg.cmbStartHour->setEditText("10");
        dlg.cmdOK->click();
    });
    window->cmdEditEvent->click();
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_EQ(seam.messages[0].title, "Oops");
    EXPECT_EQ(seam.messages[0].prompt.find("The event on ("), 0u);
    EXPECT_EQ(grid(), (std::vector<std::string>{"Fri,  Apr 19,  09:00 PM|5|0:30|once|Late.wmv",
                                                "Fri,  Apr 19,  10:00 PM|3|0:30|once|News.wmv"}));
    EXPECT_EQ(file(), "VER1.0\r\n4/19/2030 9:00:00 PM,5,30,True,once,Late.wmv\r\n"
                      "4/19/2030 10:00:00 PM,3,30,True,once,News.wmv\r\n");

    // Delete is asked about the first row; while the question is open the
    // first event goes. Yes then removes nothing else.
    seam.showModals = false;
    select(0);
    seam.during = [this] {
        Args gone{Variant::date(makeDate(2030, 4, 19, 21, 0, 0))};
        scheduler->call("IRemoveEvent", gone);
    };
    seam.answers = {vbYes};
    window->cmdDeleteEvent->click();
    ASSERT_EQ(seam.messages.size(), 2u);
    EXPECT_NE(seam.messages[1].prompt.find("Filename: Late.wmv"), std::string::npos);
    EXPECT_EQ(grid(), (std::vector<std::string>{"Fri,  Apr 19,  10:00 PM|3|0:30|once|News.wmv"}));
}

} // namespace
} // namespace vesper::test
