// The schedule commands on the real scheduler component, with the messages
// answered through the recording seam; the grid's columns.
#include "app/core/schedule_commands.h"
#include "app/core/schedule_grid.h"
#include "app/core/settings_store.h"
#include "app/core/tests/real_schedule_test.h"
#include "app/forms/grid_view.h"
#include "platform/ui/qt_ui_seam.h"

#include "platform/clock.h"
#include "platform/testing/qt_application.h"
#include "platform/testing/test_env.h"

#include <QHeaderView>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <filesystem>

using namespace vesper;

namespace {

using test::schedulePath;

class ScheduleCommandsTest : public test::RealScheduleTest {
protected:
    // Friday 19 April 2030, noon.
    ScheduleCommandsTest() : RealScheduleTest(makeDate(2030, 4, 19, 12, 0, 0)) {}
    std::string file() {
        commands.SaveScheduleToDisk();
        return test::readFile(schedulePath());
    }

    int nextEventRuns = 0;
    ScheduleCommands commands{program, [this] { return scheduler; }, [this] { ++nextEventRuns; }};
};

const DateTime kFri8pm = makeDate(2030, 4, 19, 20, 0);

} // namespace

TEST_F(ScheduleCommandsTest, AddingReportsAConflictWithBothEventsInEveryMode) {
    commands.AddEvent(kFri8pm, 3, 60, true, "weekly", "News.wmv");
    commands.AddEventExternal(makeDate(2030, 4, 19, 21, 0), 5, 30, true, "once", "Late.wmv");
    EXPECT_EQ(nextEventRuns, 2);
    EXPECT_TRUE(ui.messages.empty());
    const std::string before = file();
    EXPECT_EQ(before, "VER1.0\r\n4/19/2030 8:00:00 PM,3,60,True,weekly,News.wmv\r\n"
                      "4/19/2030 9:00:00 PM,5,30,True,once,Late.wmv\r\n");

    commands.AddEvent(makeDate(2030, 4, 19, 20, 30), 7, 45, true, "once", "Clash.wmv");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Add Event");
    EXPECT_EQ(ui.messages[0].iconName(), "critical");
    EXPECT_EQ(ui.messages[0].buttonsName(), "OK");
    EXPECT_EQ(ui.messages[0].prompt, "The event being added:\r\n"
                                     "Filename: Clash.wmv\r\n"
                                     "    When: Friday,  April 19,  08:30:00 PM\r\n"
                                     "Duration: 45\r\n"
                                     "  Repeat: once\r\n"
                                     "\r\n"
                                     "CONFLICTS with this existing event:\r\n"
                                     "Filename: News.wmv\r\n"
                                     "    When: Friday,  April 19,  08:00:00 PM\r\n"
                                     "Duration: 60\r\n"
                                     "  Repeat: weekly\r\n"
                                     "\r\n"
                                     "Event was not added!");
    // The weekly event is met again a week later.
    commands.AddEventExternal(makeDate(2030, 4, 26, 19, 45), 7, 30, true, "once", "Ext.wmv");
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].title, "Add Event External");
    EXPECT_NE(ui.messages[1].prompt.find("Filename: News.wmv"), std::string::npos);
    EXPECT_EQ(nextEventRuns, 2);
    EXPECT_EQ(file(), before);
}

TEST_F(ScheduleCommandsTest, UpdatingKeepsTheScheduleOnAConflict) {
    commands.AddEvent(kFri8pm, 3, 60, true, "weekdays", "Fri.wmv");
    commands.AddEvent(makeDate(2030, 4, 19, 21, 0), 4, 30, true, "once", "Once.wmv");
    const std::string before = file();
    // Longer, into the next event.
    commands.UpdateEvent(kFri8pm, kFri8pm, 3, 90, true, "weekdays", "Fri.wmv");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Update Event");
    const std::string& p = ui.messages[0].prompt;
    EXPECT_EQ(p.rfind("The event being updated:\r\nFilename: Fri.wmv\r\n", 0), 0u) << p;
    EXPECT_NE(p.find("CONFLICTS with this existing event:\r\nFilename: Once.wmv\r\n"
                     "    When: Friday,  April 19,  09:00:00 PM\r\nDuration: 30\r\n  Repeat: once"),
              std::string::npos)
        << p;
    EXPECT_EQ(p.substr(p.size() - 24), "\r\nEvent was not updated!");
    EXPECT_EQ(file(), before);
    // The same times with another name: the event does not conflict with itself.
    commands.UpdateEvent(kFri8pm, kFri8pm, 6, 60, true, "weekdays", "Friday.wmv");
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(rows()[0].filename, "Friday.wmv");
    EXPECT_EQ(rows()[0].chnl, "6");
    // The event went while its dialog was open (finished and removed): the
    // update keeps the user's entry as a new event rather than losing it.
    Args gone{Variant::date(makeDate(2030, 4, 19, 21, 0))};
    scheduler->call("IRemoveEvent", gone);
    commands.UpdateEvent(makeDate(2030, 4, 19, 21, 0), makeDate(2030, 4, 19, 22, 0), 4, 30, true, "once", "Once.wmv");
    EXPECT_EQ(ui.messages.size(), 1u);
    ASSERT_EQ(rows().size(), 2u);
    EXPECT_EQ(rows()[1].when, "Fri,  Apr 19,  10:00 PM");
    // The field-by-field update nobody calls still works.
    commands.UpdateEvent_temp(kFri8pm, kFri8pm, 0, 0, false, "", "Renamed.wmv");
    EXPECT_EQ(rows()[0].filename, "Renamed.wmv");
    EXPECT_EQ(rows()[0].chnl, "6");
}

TEST_F(ScheduleCommandsTest, CancelAndDeleteConfirmFirst) {
    commands.AddEvent(kFri8pm, 3, 60, true, "weekly", "News.wmv");
    commands.AddEvent(makeDate(2030, 4, 19, 22, 0), 5, 30, true, "once", "Late.wmv");
    const std::string before = file();
    nextEventRuns = 0;

    // Another page showing, or no such row: nothing at all.
    commands.CancelSelected(1, false);
    commands.DeleteSelected(3, true);
    commands.DeleteSelected(0, true);
    EXPECT_TRUE(ui.messages.empty());

    // No is the default answer and changes nothing.
    commands.CancelSelected(1, true);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Confirm!");
    EXPECT_EQ(ui.messages[0].style, vbYesNo | vbQuestion | vbDefaultButton2);
    EXPECT_EQ(ui.messages[0].prompt, "\r\nAre you sure you want to CANCEL this event?\r\n\r\n"
                                     "Filename: News.wmv\r\n"
                                     "    When: Friday,  April 19,  08:00:00 PM\r\n"
                                     " Channel: 3\r\n"
                                     "  Repeat: weekly");
    EXPECT_EQ(file(), before);
    EXPECT_EQ(nextEventRuns, 0);

    // Cancelling the weekly event keeps the series, a week on.
    ui.answers.push_back(vbYes);
    commands.CancelSelected(1, true);
    EXPECT_EQ(nextEventRuns, 1);
    auto r = rows();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1].when, "Fri,  Apr 26,  08:00 PM");

    // Deleting removes the whole series.
    ui.answers.push_back(vbYes);
    commands.DeleteSelected(2, true);
    EXPECT_EQ(ui.messages.back().prompt.substr(0, 47), "\r\nAre you sure you want to DELETE this event?\r\n");
    EXPECT_EQ(nextEventRuns, 2);
    EXPECT_EQ(file(), "VER1.0\r\n4/19/2030 10:00:00 PM,5,30,True,once,Late.wmv\r\n");
}

TEST_F(ScheduleCommandsTest, EditReadsTheRowAgainAndRecordNowFillsTheRecord) {
    commands.AddEvent(kFri8pm, 3, 45, true, "once", "A.wmv");
    commands.AddEvent(makeDate(2030, 4, 19, 21, 0), 4, 30, true, "weekly", "B.wmv");
    const auto shown = rows();
    ASSERT_TRUE(commands.PrepareEdit(2, shown[1]));
    EXPECT_EQ(program.modeWord, "UpdateEvent");
    EXPECT_EQ(program.currentEvent.dt, makeDate(2030, 4, 19, 21, 0));
    EXPECT_EQ(program.currentEvent.filename, "B.wmv");
    EXPECT_EQ(shown[0].len, "0:45");

    // The first event finished and went while the grid still showed it.
    program.modeWord.clear();
    Args a{Variant::date(kFri8pm)};
    scheduler->call("IRemoveEvent", a);
    EXPECT_FALSE(commands.PrepareEdit(1, shown[0]));
    EXPECT_FALSE(commands.PrepareEdit(2, shown[1]));
    EXPECT_TRUE(program.modeWord.empty());
    EXPECT_TRUE(commands.PrepareEdit(1, shown[1]));
    EXPECT_FALSE(commands.PrepareEdit(7, shown[1]));

    clock.set(makeDate(2030, 4, 19, 9, 5, 33));
    commands.PrepareRecordNow();
    EXPECT_EQ(program.modeWord, "AddEventRecordNow");
    const EventRecord& e = program.currentEvent;
    EXPECT_EQ(e.dt, makeDate(2030, 4, 19, 9, 5, 33));
    EXPECT_EQ(e.channel, 2);
    EXPECT_EQ(e.duration, 30);
    EXPECT_TRUE(e.bActive);
    EXPECT_EQ(e.every, "once");
    EXPECT_EQ(e.filename, "RecordNow-300419-0905");
}

namespace {

// A scheduler whose every call fails, as a broken component would.
class FailingScheduler : public Object {
public:
    Variant invoke(std::string_view member, Args&, CallKind) override {
        ++calls;
        if (member == "ICount") return Variant(int16_t(2));
        throw AutomationError(70, "Slotbook.EventsObj", "Permission denied");
    }
    int calls = 0;
};

} // namespace

TEST_F(ScheduleCommandsTest, SchedulerErrorsAreLoggedAndANullSchedulerDoesNothing) {
    RegSaveSetting2(settings::bLogStatus, "True");
    auto failing = std::make_shared<FailingScheduler>();
    ScheduleCommands broken(
        program, [&] { return failing; }, [this] { ++nextEventRuns; });
    broken.AddEvent(kFri8pm, 3, 60, true, "once", "x.wmv");
    broken.AddEventExternal(kFri8pm, 3, 60, true, "once", "x.wmv");
    broken.UpdateEvent(kFri8pm, kFri8pm, 3, 60, true, "once", "x.wmv");
    broken.UpdateEvent_temp(kFri8pm, kFri8pm, 3, 60, true, "once", "x.wmv");
    ui.answers.push_back(vbYes);
    broken.CancelSelected(1, true);
    broken.DeleteSelected(1, true);
    EXPECT_FALSE(broken.PrepareEdit(1, GridRow{}));
    EXPECT_EQ(nextEventRuns, 0);
    EXPECT_TRUE(ui.messages.empty());
    // A failed save is not passed over in silence.
    broken.SaveScheduleToDisk();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Save Schedule");
    EXPECT_NE(ui.messages[0].prompt.find("Permission denied"), std::string::npos);
    RegSaveSetting2(settings::bLogStatus, "False");
    const std::string log = test::readFile(test::testFolder() + "/LogStatus.txt");
    for (const char* code : {"LS0110:ERROR:F00:AddEvent() Exit - Slotbook.EventsObj:70:Permission denied",
                             "LS0111:", "LS0112:", "LS0113:", "LS0114:", "LS0116:", "LS0117:"})
        EXPECT_NE(log.find(code), std::string::npos) << code;

    ScheduleCommands none(
        program, [] { return ObjectPtr{}; }, [this] { ++nextEventRuns; });
    none.AddEvent(kFri8pm, 3, 60, true, "once", "x.wmv");
    none.UpdateEvent(kFri8pm, kFri8pm, 3, 60, true, "once", "x.wmv");
    none.SaveScheduleToDisk();
    none.CancelSelected(1, true);
    EXPECT_FALSE(none.PrepareEdit(1, GridRow{}));
    EXPECT_EQ(nextEventRuns, 0);
    EXPECT_EQ(ui.messages.size(), 1u);
}

TEST(ScheduleGrid, NoColumnCutsItsText) {
    vesper::test::application();
    QTableWidget grid;
    setUpGridColumns(&grid, 15);
    // A large font: the widths follow the font, not the design's twips.
    QFont font = grid.font();
    font.setPointSize(font.pointSize() * 2);
    grid.setFont(font);
    grid.horizontalHeader()->setFont(font);
    grid.resize(400, 200);
    grid.show();
    fillGrid(&grid, {gridRow({makeDate(2030, 4, 20, 21, 30, 0), 181, 1439, true, "weekdays", "Late Night News.wmv"}),
                     gridRow({makeDate(2030, 4, 21, 9, 30, 0), 2, 30, true, "once", "x.wmv"})});
    EXPECT_EQ(grid.item(0, 0)->text(), "Sat,  Apr 20,  09:30 PM");
    // What the view itself says each column needs, for its cells and header.
    const QAbstractItemView& view = grid;
    for (int c = 0; c < 5; ++c) {
        EXPECT_LE(view.sizeHintForColumn(c), grid.columnWidth(c)) << c;
        EXPECT_LE(grid.horizontalHeader()->sectionSizeHint(c), grid.columnWidth(c)) << c;
    }
}
