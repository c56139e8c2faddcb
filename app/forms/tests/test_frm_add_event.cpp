// The Add Event window offscreen: its controls by name, captions, lists and
// tool tips, the field checks on leaving a field, and the dialog seam.
#include "app/core/schedule_commands.h"
#include "app/core/settings_store.h"
#include "app/core/tests/real_schedule_test.h"
#include "app/forms/frm_add_event.h"
#include "platform/ui/qt_ui_seam.h"

#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/testing/qt_application.h"
#include "platform/testing/test_env.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <filesystem>

using namespace vesper;

namespace {

// The main window's operations, carried out by the schedule commands on the
// real scheduler.
struct CommandsWindow : MainWindowOps {
    explicit CommandsWindow(ScheduleCommands& c) : commands(c) {}
    void AddEvent(DateTime dt, int16_t ch, int16_t d, bool a, const std::string& ev, const std::string& f) override {
        commands.AddEvent(dt, ch, d, a, ev, f);
    }
    void AddEventExternal(DateTime dt, int16_t ch, int16_t d, bool a, const std::string& ev,
                          const std::string& f) override {
        commands.AddEventExternal(dt, ch, d, a, ev, f);
    }
    void UpdateEvent(DateTime k, DateTime dt, int16_t ch, int16_t d, bool a, const std::string& ev,
                     const std::string& f) override {
        commands.UpdateEvent(k, dt, ch, d, a, ev, f);
    }
    void UpdateEvent_temp(DateTime k, DateTime dt, int16_t ch, int16_t d, bool a, const std::string& ev,
                          const std::string& f) override {
        commands.UpdateEvent_temp(k, dt, ch, d, a, ev, f);
    }
    void SaveScheduleToDisk() override {
        ++saves;
        commands.SaveScheduleToDisk();
    }
    ObjectPtr SchedulerObject() override { return commands.SchedulerObject(); }
    void SetIgnorEvents(bool) override {}
    void SetEncoderProfileLabelToolTip() override {}
    void AttachTVScreen() override {}
    void SetChannelForFormVesper(const std::string&) override {}
    ScheduleCommands& commands;
    int saves = 0;
};

using test::schedulePath;

class AddEventWindow : public test::RealScheduleTest {
protected:
    // Wednesday 17 April 2030, 6:10 PM.
    AddEventWindow() : RealScheduleTest(makeDate(2030, 4, 17, 18, 10, 0)) {}
    void SetUp() override {
        vesper::test::application();
        registry::deleteKey(std::string(settings::kRoot) + "\\AddEvent");
        RealScheduleTest::SetUp();
    }

    ScheduleCommands commands{program, [this] { return scheduler; }, [] {}};
    CommandsWindow window{commands};
};

QStringList items(QComboBox* c) {
    QStringList out;
    for (int i = 0; i < c->count(); ++i)
        out << c->itemText(i);
    return out;
}

// Types into a box as the user does: the box has the focus, then the focus
// moves on to `next`.
void typeAndLeave(QComboBox* box, const char* text, QWidget* next) {
    QWidget* dialog = box->window();
    dialog->show();
    dialog->activateWindow();
    QApplication::setActiveWindow(dialog);
    box->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    box->setEditText(QString::fromUtf8(text));
    next->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
}

} // namespace

TEST_F(AddEventWindow, EveryControlHasItsNameListAndTip) {
    program.modeWord = mode::AddEvent;
    frmAddEvent dlg(program, window);
    EXPECT_EQ(dlg.objectName(), "frmAddEvent");
    EXPECT_EQ(dlg.windowTitle(), "Add Event");
    for (const char* name :
         {"mvWhen",     "fraWhen",      "fraStart",        "cmbStartHour",         "cmbStartMinute",  "optStartAM",
          "optStartPM", "cmdStart",     "cmbDurationHour", "cmbDurationMinute",    "lblDurationUnit", "cmdDuration",
          "fraStop",    "cmbUntilHour", "cmbUntilMinute",  "optUntilAM",           "optUntilPM",      "cmdUntil",
          "cmbChannel", "cmbRepeat",    "txtOutput",       "cmdFilenameQuickPick", "cmdOK",           "cmdCancel"})
        EXPECT_TRUE(dlg.findChild<QWidget*>(name)) << name;

    EXPECT_EQ(dlg.mvWhen->minimumDate(), QDate(2030, 4, 17));
    EXPECT_EQ(dlg.mvWhen->selectedDate(), QDate(2030, 4, 17));
    EXPECT_EQ(dlg.fraWhen->title(), " When: [ Wednesday,  Apr 17 ]");
    EXPECT_EQ(items(dlg.cmbStartHour).join(","), "1,2,3,4,5,6,7,8,9,10,11,12");
    EXPECT_EQ(items(dlg.cmbStartMinute).join(","), ":00,:30");
    EXPECT_EQ(items(dlg.cmbDurationHour).join(","), "0,1,2,3,4");
    EXPECT_EQ(items(dlg.cmbDurationMinute).join(","), ":00,:15,:30,:45");
    EXPECT_EQ(items(dlg.cmbRepeat).join(","), "once,weekdays,weekly");
    EXPECT_EQ(dlg.cmbChannel->count(), 180);
    EXPECT_EQ(dlg.cmbChannel->itemText(0), "2");
    EXPECT_EQ(dlg.cmbChannel->itemText(179), "181");
    EXPECT_EQ(dlg.cmbDurationMinute->toolTip(), " You can enter or type-in total minutes greater than 59");
    EXPECT_EQ(dlg.cmdStart->toolTip(), "QuickPick! Now -> whole :30 interval");
    EXPECT_EQ(dlg.cmdDuration->toolTip(), "QuickPick! :30 -> 1:00 -> 2:00");
    EXPECT_EQ(dlg.cmdUntil->toolTip(), "QuickPick! Next whole :30 interval");
    EXPECT_EQ(dlg.cmdFilenameQuickPick->toolTip(), "QuickPick! Filename based on current  Date/Time");
    EXPECT_EQ(dlg.cmdOK->text(), "&Add");
    EXPECT_EQ(dlg.cmdCancel->text(), "&Cancel");
    EXPECT_EQ(dlg.txtOutput->text(), "default.wmv");
    EXPECT_EQ(dlg.txtOutput->toolTip(), "default.wmv");
    EXPECT_EQ(dlg.cmbUntilHour->currentText(), "8");
    EXPECT_EQ(dlg.cmbUntilMinute->currentText(), ":30");
    EXPECT_TRUE(dlg.optUntilPM->isChecked());

    // Leaving a field runs its check: 90 minutes is a total length.
    typeAndLeave(dlg.cmbDurationMinute, "90", dlg.txtOutput);
    EXPECT_EQ(dlg.cmbDurationHour->currentText(), "1");
    EXPECT_EQ(dlg.cmbDurationMinute->currentText(), ":30");
    EXPECT_EQ(dlg.lblDurationUnit->text(), "Hours");
    EXPECT_EQ(dlg.cmbUntilHour->currentText(), "9");
    // A minute typed without its colon.
    typeAndLeave(dlg.cmbDurationMinute, "1", dlg.txtOutput);
    EXPECT_EQ(dlg.cmbDurationMinute->currentText(), ":01");
    EXPECT_EQ(dlg.cmbUntilMinute->currentText(), ":01");
    // A refused entry stays for the user to correct, and OK schedules nothing.
    typeAndLeave(dlg.cmbChannel, "5\xd9\xa3", dlg.txtOutput);
    EXPECT_EQ(dlg.cmbChannel->currentText(), "5\xd9\xa3");
    EXPECT_TRUE(dlg.cmbChannel->hasFocus());
    dlg.cmdOK->click();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(window.saves, 0);
    EXPECT_TRUE(rows().empty());

    // An end 5 hours on disables OK; the length quick pick enables it again.
    dlg.cmbChannel->setEditText("4");
    dlg.cmbUntilHour->setCurrentIndex(0); // 1 (AM after the next click)
    dlg.optUntilAM->click();
    emit dlg.cmbUntilHour->activated(0);
    EXPECT_FALSE(dlg.cmdOK->isEnabled());
    dlg.cmdDuration->click();
    EXPECT_TRUE(dlg.cmdOK->isEnabled());
    EXPECT_EQ(dlg.cmbUntilHour->currentText(), "8");

    // OK schedules what the window shows, saves the file and closes.
    dlg.txtOutput->setText("News & Weather: Late");
    dlg.cmdOK->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.txtOutput->text(), "News And Weather_ Late.wmv");
    EXPECT_EQ(test::readFile(schedulePath()),
              "VER1.0\r\n4/17/2030 8:00:00 PM,4,30,True,once,News And Weather_ Late.wmv\r\n");
    EXPECT_EQ(RegGetSetting2(settings::AddEventChannel), "4");
}

TEST_F(AddEventWindow, TheSeamConfirmsOrCancelsWithTheValuesAsLoaded) {
    program.modeWord = mode::AddEvent;
    RegSaveSetting2(settings::AddEventOutput, "");
    RegSaveSetting2(settings::AddEventChannel, "9");
    ui.modalAnswers.push_back("Cancel");
    ShowAddEventDialog(program, window);
    ASSERT_EQ(ui.modals.size(), 1u);
    EXPECT_EQ(ui.modals[0].form, "frmAddEvent");
    EXPECT_EQ(ui.modals[0].caption, "Add Event");
    EXPECT_EQ(ui.modals[0].defaultAnswer, "Cancel");
    EXPECT_NE(ui.modals[0].contents.find("cmbChannel: 9\n"), std::string::npos) << ui.modals[0].contents;
    EXPECT_EQ(window.saves, 0);
    EXPECT_TRUE(rows().empty());
    EXPECT_EQ(RegGetSetting2(settings::AddEventDtWhen), "2030-04-17"); // closing remembers

    // Confirmed: an empty name becomes the dialog's default name.
    ui.modalAnswers.push_back("OK");
    ShowAddEventDialog(program, window);
    EXPECT_EQ(window.saves, 1);
    EXPECT_EQ(test::readFile(schedulePath()), "VER1.0\r\n4/17/2030 8:00:00 PM,9,30,True,once,default.wmv\r\n");

    // The same again conflicts: the message, the file saved unchanged.
    ui.modalAnswers.push_back("OK");
    ShowAddEventDialog(program, window);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Add Event");
    EXPECT_EQ(rows().size(), 1u);

    // Update from the grid, of an event with a word only the command offers.
    Args a{Variant::date(makeDate(2030, 4, 18, 6, 0)),
           Variant(int16_t(12)),
           Variant(int16_t(400)),
           Variant(true),
           Variant(std::string("day")),
           Variant(std::string("Daily.wmv"))};
    scheduler->call("IAddEvent", a);
    ASSERT_TRUE(commands.PrepareEdit(2, rows()[1]));
    {
        frmAddEvent dlg(program, window);
        EXPECT_EQ(dlg.windowTitle(), "Update Event");
        EXPECT_EQ(dlg.cmdOK->text(), "&Update");
        EXPECT_EQ(dlg.cmbRepeat->currentText(), "day");
        EXPECT_EQ(dlg.cmbDurationHour->currentText(), "6");
        EXPECT_EQ(dlg.mvWhen->selectedDate(), QDate(2030, 4, 18));
        dlg.cmbChannel->setEditText("13");
        dlg.cmdOK->click();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    EXPECT_EQ(rows()[1].chnl, "13");
    EXPECT_EQ(rows()[1].len, "6:40");
    EXPECT_EQ(rows()[1].repeat, "day");

    // Record Now: the start is locked; an answered Cancel schedules nothing.
    commands.PrepareRecordNow();
    {
        frmAddEvent dlg(program, window);
        EXPECT_EQ(dlg.windowTitle(), "Add Event [Record Now!]");
        EXPECT_FALSE(dlg.cmbStartHour->isEnabled());
        EXPECT_FALSE(dlg.cmdStart->isEnabled());
        EXPECT_TRUE(dlg.cmbUntilHour->isEnabled());
        dlg.reject();
    }
    EXPECT_EQ(rows().size(), 2u);
}

TEST_F(AddEventWindow, AListingsChannelOutOfRangeIsShownAndNeverReplaced) {
    // Channel 200 of the listing "The News (KXYZ 200)".
    program.modeWord = mode::AddEventExternal;
    program.currentEvent = {makeDate(2030, 4, 17, 20, 0), 2, 30, true, "once", "KXYZ - The News"};
    program.refusedChannel = "200";
    ui.modalAnswers.push_back("OK");
    ShowAddEventDialog(program, window);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Add Event [External]");
    EXPECT_EQ(ui.messages[0].iconName(), "exclamation");
    EXPECT_EQ(ui.messages[0].prompt.rfind("Channel 200 is outside the channels Vesper can tune (2 to 181).", 0), 0u);
    EXPECT_TRUE(rows().empty());
    EXPECT_EQ(window.saves, 0);

    {
        frmAddEvent dlg(program, window);
        EXPECT_EQ(dlg.cmbChannel->currentText(), "200");
        QApplication::processEvents();
        EXPECT_EQ(ui.messages.size(), 2u);
        dlg.cmdOK->click();
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
        EXPECT_TRUE(rows().empty());
        dlg.cmbChannel->setEditText("12");
        dlg.cmdOK->click();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    ASSERT_EQ(rows().size(), 1u);
    EXPECT_EQ(rows()[0].chnl, "12");

    // A channel in range opens as it is, without a word.
    program.refusedChannel.clear();
    program.currentEvent = {makeDate(2030, 4, 18, 20, 0), 181, 30, true, "once", "Late"};
    ui.modalAnswers.push_back("OK");
    ShowAddEventDialog(program, window);
    EXPECT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(rows().size(), 2u);
}

TEST_F(AddEventWindow, AnExpiredEventKeepsTheDialogOpen) {
    program.modeWord = mode::AddEventExternal;
    program.currentEvent = {makeDate(2030, 4, 17, 17, 0), 5, 30, true, "once", "Gone"};
    frmAddEvent dlg(program, window);
    EXPECT_EQ(dlg.windowTitle(), "Add Event [External]");
    dlg.cmdOK->click();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Oops");
    EXPECT_TRUE(rows().empty());
    EXPECT_EQ(window.saves, 0);
}

// The margins and keep mark: the event's own (or the defaults) shown, and
// given to the event on OK, an update naming the event it replaced.
TEST_F(AddEventWindow, TheEventGetsTheMarginsAndKeepMarkShown) {
    struct TimingWindow : CommandsWindow {
        using CommandsWindow::CommandsWindow;
        EventTiming eventTiming(const EventRecord* event) override {
            asked = event ? event->filename : "(new)";
            return event ? EventTiming{15, 45, false} : EventTiming{30, 60, true};
        }
        void setEventTiming(const EventRecord& e, const EventTiming& t, const EventRecord* previous) override {
            given.push_back(e.filename + " " + std::to_string(t.startMarginSeconds) + " " +
                            std::to_string(t.endMarginSeconds) + (t.keepUntilSpaceNeeded ? " keep" : "") +
                            (previous ? " was " + previous->filename : ""));
        }
        std::string asked;
        std::vector<std::string> given;
    } timed(commands);

    program.modeWord = mode::AddEvent;
    {
        frmAddEvent dlg(program, timed);
        EXPECT_EQ(timed.asked, "(new)");
        EXPECT_EQ(dlg.updnStartMargin->value(), 30);
        EXPECT_TRUE(dlg.chkKeepUntilSpace->isChecked());
        dlg.updnEndMargin->setValue(120);
        dlg.cmdOK->click();
    }
    ASSERT_TRUE(commands.PrepareEdit(1, rows()[0]));
    {
        frmAddEvent dlg(program, timed);
        EXPECT_EQ(timed.asked, "default.wmv");
        EXPECT_EQ(dlg.updnEndMargin->value(), 45);
        EXPECT_FALSE(dlg.chkKeepUntilSpace->isChecked());
        dlg.txtOutput->setText("Renamed");
        dlg.cmdOK->click();
    }
    EXPECT_EQ(timed.given, (std::vector<std::string>{"default.wmv 30 120 keep", "Renamed.wmv 15 45 was default.wmv"}));
}
