// The recording tick, the next event and the guard, driven without a display
// by a test clock and the scheduler in process.
#include "app/core/tests/test_engine_support.h"

#include "platform/paths.h"

#include <filesystem>

namespace vesper::test {
namespace {

const DateTime kEight = makeDate(2004, 4, 20, 20, 0, 0); // a Tuesday

DateTime at(int hour, int minute, int second) { return makeDate(2004, 4, 20, hour, minute, second); }

class Engine : public EngineTest {};

TEST_F(Engine, RecordsOnFirstTickInsideWindowAndStopsAtItsEnd) {
    addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
    engine.SetNextEvent();
    EXPECT_EQ(engine.display.lblWhen, "Apr 20");
    EXPECT_EQ(engine.display.lblDay, "Tuesday");
    EXPECT_EQ(engine.display.lblStart, "08:00 PM");
    EXPECT_EQ(engine.display.lblStop, "08:30 PM");
    EXPECT_EQ(engine.display.lblLength, "0:30 minutes");
    EXPECT_EQ(engine.display.lblChannel, "5");
    EXPECT_EQ(engine.display.lblEventCount, "1");
    EXPECT_TRUE(engine.display.eventButtonsEnabled);
    ASSERT_EQ(engine.display.gridRows.size(), 1u);
    EXPECT_EQ(engine.display.gridRows[0].when, "Tue,  Apr 20,  08:00 PM");

    // The window is open at both ends: 20:00:00 itself does not start.
    tickAt(at(19, 59, 59));
    tickAt(kEight);
    EXPECT_FALSE(engine.m_bRecording);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(engine.display.lblNowToday, "Tuesday  |  April 20, 2004  |  08:00:00 PM");

    clearLog();
    tickAt(at(20, 0, 1));
    EXPECT_TRUE(engine.m_bRecording);
    const std::vector<std::string> start{"PreviewOff",
                                         "ApplyVideoInput",
                                         "SetChnl 5",
                                         "EncoderInit",
                                         "Output " + outputPath("News.wmv"),
                                         "Video Vesper Virtual TV Card",
                                         "Audio Vesper Virtual TV Card Audio",
                                         "Profile Video for broadband NTSC (384 Kbps)",
                                         "EncoderStart"};
    EXPECT_EQ(host.calls, start);
    EXPECT_EQ(program.g_sChannel, "5");
    EXPECT_EQ(program.g_sChannelPrevious, "2");
    EXPECT_EQ(engine.display.txtChannel, "5");
    EXPECT_EQ(engine.display.lblReady, "Recording ...");
    EXPECT_EQ(engine.display.lblReadyColour, 255);
    EXPECT_EQ(engine.display.lblNextRecording, "Currently Recording This Event");
    EXPECT_EQ(engine.display.lblNextRecordingWidth, 3000);
    EXPECT_EQ(engine.display.lblNextRecordingLeft, 120);
    EXPECT_TRUE(engine.display.cmdCancelRecordingEnabled);
    EXPECT_FALSE(engine.display.cmdRecordNowEnabled);
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{"LS0061:INFO:F00:Tmr1() BeforeEncStr", "LS0101:INFO:F00:Tmr1() e = 0",
                                        "LS0062:INFO:F00:Tmr1() AfterEncStr"}));

    host.calls.clear();
    tickAt(at(20, 29, 59));
    EXPECT_TRUE(host.calls.empty());
    clearLog();
    tickAt(at(20, 30, 0));
    EXPECT_FALSE(engine.m_bRecording);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"EncoderStop", "enableDetachTV"}));
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{"LS0060:INFO:F00:Tmr1() BeforeEncStp", "LS0049:INFO:F00:Tmr1() AfterEncStp",
                                        "LS0050:INFO:F00:Tmr1() AfterSetNxtEvnt"}));
    EXPECT_EQ(engine.display.lblReady, "Ready ...");
    EXPECT_EQ(engine.display.lblReadyColour, 32768);
    EXPECT_EQ(engine.display.lblNextRecording, "Next Recording Event");
    EXPECT_EQ(engine.display.lblNextRecordingWidth, 2000);
    EXPECT_EQ(engine.display.lblNextRecordingLeft, 620);
    EXPECT_FALSE(engine.display.cmdCancelRecordingEnabled);
    EXPECT_TRUE(engine.display.cmdRecordNowEnabled);
    // The finished "once" event is gone: nothing is next.
    EXPECT_EQ(eventCount(*scheduler), 0);
    EXPECT_EQ(engine.display.lblWhen, "Empty");
    EXPECT_EQ(engine.display.lblDay, "N/A");
    EXPECT_EQ(engine.display.lblOutput, "Windows Media Video");
    EXPECT_FALSE(engine.display.eventButtonsEnabled);
    EXPECT_EQ(engine.m_dtNextStart, 0);

    host.calls.clear();
    tickAt(at(21, 0, 0));
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(Engine, ProgramStartedDuringAnEventRecordsTheRestOnlyAfterTheHold) {
    addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
    engine.m_bHoldSchedule = true;
    clock.set(at(20, 10, 0));
    engine.SetNextEvent();
    tickAt(at(20, 10, 3));
    EXPECT_FALSE(engine.m_bRecording);
    engine.m_bHoldSchedule = false;
    tickAt(at(20, 10, 4));
    EXPECT_TRUE(engine.m_bRecording);
    EXPECT_EQ(host.count("Output " + outputPath("News.wmv")), 1u);
}

TEST_F(Engine, BackToBackEventsRecordEachIntoItsOwnFile) {
    addEvent(*scheduler, kEight, 5, 30, "once", "First.wmv");
    addEvent(*scheduler, at(20, 30, 0), 7, 30, "once", "Second.wmv");
    engine.SetNextEvent();
    tickAt(at(20, 0, 1));
    tickAt(at(20, 30, 0)); // stops the first; the refresh's pause moves the clock on
    EXPECT_FALSE(engine.m_bRecording);
    EXPECT_EQ(engine.display.lblOutput, "Second. ..");
    tickAt(at(20, 30, 3));
    EXPECT_TRUE(engine.m_bRecording);
    EXPECT_EQ(host.count("Output " + outputPath("First.wmv")), 1u);
    EXPECT_EQ(host.count("Output " + outputPath("Second.wmv")), 1u);
    EXPECT_EQ(host.count("SetChnl 7"), 1u);
    tickAt(at(21, 0, 0));
    EXPECT_EQ(host.count("EncoderStop"), 2u);
    EXPECT_EQ(eventCount(*scheduler), 0);
}

TEST_F(Engine, LowDiskSpaceWarnsAheadAndCancelsAOnceEventAtItsTime) {
    freeBytes = 249999999;
    addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
    host.minimized = true;
    engine.SetNextEvent();
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_EQ(seam.messages[0].prompt, "Insuficient disk space!\r\nPlease make room or change folder location");
    EXPECT_EQ(seam.messages[0].title, "Error!");
    EXPECT_EQ(seam.messages[0].iconName(), "critical");
    EXPECT_EQ(host.count("restoreNormal"), 1u);
    EXPECT_FALSE(engine.m_bSettingNextEvent);
    EXPECT_EQ(engine.display.freeSpaceColour, 192);

    tickAt(at(20, 0, 1));
    ASSERT_GE(seam.messages.size(), 2u);
    EXPECT_EQ(seam.messages.back().prompt, "Insuficient disk space!\r\nCurrent recording event has been CANCELED!");
    EXPECT_EQ(seam.messages.back().title, "Error!");
    EXPECT_EQ(eventCount(*scheduler), 0);
    EXPECT_FALSE(engine.m_bRecording);
    EXPECT_EQ(host.count("EncoderInit"), 0u);
}

// Nobody answers the low-disk box: the cancelled recording still stops on the
// next tick and the following event starts on time while the box is open.
TEST_F(Engine, AnUnansweredLowDiskBoxNeverHoldsTheTick) {
    struct AwaySeam : RecordingUiSeam {
        std::function<void()> whileOpen;
        MsgBoxResult message(const MessageRequest& request) override {
            if (whileOpen && request.prompt.find("CANCELED") != std::string::npos) std::exchange(whileOpen, nullptr)();
            return RecordingUiSeam::message(request);
        }
    } away;
    setUiSeam(&away);
    addEvent(*scheduler, kEight, 5, 2, "once", "A.wmv");
    addEvent(*scheduler, at(20, 5, 0), 7, 2, "once", "B.wmv");
    engine.SetNextEvent();
    tickAt(at(20, 0, 1));
    ASSERT_TRUE(engine.m_bRecording);
    away.whileOpen = [&] {
        // The user is away; time passes and room is made elsewhere.
        freeBytes = 2000000000LL;
        for (int s = 61 + 2; s <= 6 * 60 + 30; s += 2)
            tickAt(at(20, 0, 0) + s / 86400.0);
        EXPECT_EQ(host.count("EncoderStop"), 1u);
        EXPECT_EQ(host.count("Output " + outputPath("B.wmv")), 1u);
    };
    freeBytes = 1000;
    tickAt(at(20, 1, 0));
    EXPECT_FALSE(away.whileOpen) << "the box was not shown";
    EXPECT_EQ(host.count("EncoderStart"), 2u);
    EXPECT_EQ(eventCount(*scheduler), 1); // B, still recording
}

TEST_F(Engine, DiskFillingUpEndsARunningRecordingAndSkipsOneOccurrence) {
    addEvent(*scheduler, kEight, 5, 30, "day", "News.wmv");
    engine.SetNextEvent();
    tickAt(at(20, 0, 1));
    ASSERT_TRUE(engine.m_bRecording);
    freeBytes = 1000;
    tickAt(at(20, 5, 0));
    tickAt(at(20, 5, 1));
    EXPECT_FALSE(engine.m_bRecording);
    EXPECT_EQ(host.count("EncoderStop"), 1u);
    // The series moved on to tomorrow.
    EXPECT_EQ(toSeconds(engine.m_dtNextStart), toSeconds(makeDate(2004, 4, 21, 20, 0, 0)));
    // The measurement failing counts as a full disk.
    freeBytes = -1;
    engine.ShowFreeDiskSpace();
    EXPECT_EQ(program.g_dFreeBytes, -1);
}

TEST_F(Engine, CancelRecordingAsksThenStopsOnTheNextTick) {
    addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
    engine.SetNextEvent();
    engine.CancelRecording(); // not recording: nothing is asked
    EXPECT_TRUE(seam.messages.empty());
    tickAt(at(20, 0, 1));

    seam.answers = {vbNo};
    engine.CancelRecording();
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_EQ(seam.messages[0].prompt, "Are you sure you want to CANCEL current recording?\r\n\r\nYou cannot resume!");
    EXPECT_EQ(seam.messages[0].title, "Confirm!");
    EXPECT_EQ(seam.messages[0].buttonsName(), "YesNo");
    EXPECT_EQ(seam.messages[0].defaultButton(), vbNo);
    EXPECT_EQ(eventCount(*scheduler), 1);

    seam.answers = {vbYes};
    clock.set(at(20, 10, 0));
    engine.CancelRecording();
    EXPECT_EQ(eventCount(*scheduler), 0);
    // Still the recording display until the next tick stops the encoder.
    EXPECT_TRUE(engine.m_bRecording);
    EXPECT_EQ(host.count("EncoderStop"), 0u);
    tickAt(at(20, 10, 3));
    EXPECT_FALSE(engine.m_bRecording);
    EXPECT_EQ(host.count("EncoderStop"), 1u);
}

// The question stays open while the ticks go on; the recording ends meanwhile.
TEST_F(Engine, CancelRecordingAnsweredAfterTheEndLeavesTheNextEventAlone) {
    addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
    addEvent(*scheduler, at(21, 0, 0), 7, 30, "once", "Late.wmv");
    engine.SetNextEvent();
    tickAt(at(20, 0, 1));
    struct SlowAnswer : RecordingUiSeam {
        std::function<void()> meanwhile;
        MsgBoxResult message(const MessageRequest& r) override {
            if (meanwhile) meanwhile();
            return RecordingUiSeam::message(r);
        }
    } slow;
    slow.answers = {vbYes};
    slow.meanwhile = [&] { tickAt(at(20, 30, 0)); };
    setUiSeam(&slow);
    engine.CancelRecording();
    setUiSeam(&seam);
    EXPECT_FALSE(engine.m_bRecording);
    EXPECT_EQ(eventCount(*scheduler), 1);
    EXPECT_EQ(toSeconds(engine.m_dtNextStart), toSeconds(at(21, 0, 0)));
}

TEST_F(Engine, WeekdaySeriesWritesOneFilePerWeekday) {
    addEvent(*scheduler, kEight, 5, 30, "weekdays", "News.wmv");
    engine.SetNextEvent();
    EXPECT_EQ(engine.m_sOutputFile, outputPath("News Tu.wmv"));
    tickAt(at(20, 0, 1));
    EXPECT_EQ(host.count("Output " + outputPath("News Tu.wmv")), 1u);
}

// An H.264 profile names the file ".mp4" wherever the name is made: the next
// event's label and path, a profile chosen meanwhile, the weekday suffix, the
// numbering of duplicates; a running recording keeps its name.
TEST_F(Engine, AnH264ProfileRecordsUnderItsOwnExtension) {
    host.profile = "H.264 Medium";
    host.videoEncoder = "x264 (software)";
    host.overwrite = false;
    engine.SetNextEvent();
    EXPECT_EQ(engine.display.lblOutput, kNoEventMp4OutputText);
    host.profile = "Video for broadband NTSC (384 Kbps)";
    engine.ProfileChanged();
    EXPECT_EQ(engine.display.lblOutput, kNoEventOutputText);

    addEvent(*scheduler, kEight, 5, 30, "weekdays", "News.wmv");
    engine.SetNextEvent();
    EXPECT_EQ(engine.m_sOutputFile, outputPath("News Tu.wmv"));
    host.profile = "H.264 High";
    engine.ProfileChanged();
    EXPECT_EQ(engine.m_sOutputFile, outputPath("News Tu.mp4"));
    EXPECT_EQ(engine.display.lblOutputToolTip, "  News Tu.mp4  ");

    writeFile(outputPath("News Tu.mp4"), "an earlier showing");
    clearLog();
    tickAt(at(20, 0, 1));
    EXPECT_EQ(host.count("Output " + outputPath("News Tu-040420.mp4")), 1u);
    EXPECT_EQ(host.count("Profile H.264 High"), 1u);
    EXPECT_EQ(logLinesWith({"LS0101", "LS0163", "LS0062"}),
              (std::vector<std::string>{"LS0101:INFO:F00:Tmr1() e = 0",
                                        "LS0163:INFO:F00:Tmr1() video encoder: x264 (software)",
                                        "LS0062:INFO:F00:Tmr1() AfterEncStr"}));
    host.profile = "Video for broadband NTSC (384 Kbps)";
    engine.ProfileChanged();
    EXPECT_EQ(engine.display.lblOutputToolTip, "  News Tu.mp4  ");

    // A profile chosen after the next event was set still names its file.
    tickAt(at(20, 30, 0));
    clock.set(at(19, 0, 0) + 1);
    engine.SetNextEvent();
    EXPECT_EQ(engine.m_sOutputFile, outputPath("News We.wmv"));
    host.profile = "H.264 Medium";
    tickAt(at(20, 0, 1) + 1);
    EXPECT_EQ(host.count("Output " + outputPath("News We.mp4")), 1u);
}

TEST_F(Engine, ExistingFilesAreKeptWhenOverwritingIsOff) {
    writeFile(outputPath("News.wmv"), "old");
    writeFile(outputPath("News-040420.wmv"), "older");
    addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
    engine.SetNextEvent();
    host.overwrite = false;
    tickAt(at(20, 0, 1));
    EXPECT_EQ(host.count("Output " + outputPath("News-040420-000.wmv")), 1u);
}

TEST_F(Engine, LengthWordsAndLongFileNames) {
    EXPECT_EQ(lengthText(1), "0:01 minute");
    EXPECT_EQ(lengthText(45), "0:45 minutes");
    EXPECT_EQ(lengthText(60), "1:00 hour");
    EXPECT_EQ(lengthText(90), "1:30 hours");
    EXPECT_EQ(lengthText(0), "0:00 hours");

    addEvent(*scheduler, kEight, 5, 30, "once", "Evening News.wmv");
    engine.SetNextEvent();
    EXPECT_EQ(engine.display.lblOutput, "Evening ..");
    EXPECT_EQ(engine.display.lblOutputToolTip, "  Evening News.wmv  ");
}

TEST_F(Engine, FailingEncoderStillShowsTheRecordingAndStopsAtTheEnd) {
    host.initResult = false;
    host.startResult = false;
    host.startCode = int32_t(0x80040201u);
    addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
    engine.SetNextEvent();
    clearLog();
    tickAt(at(20, 0, 1));
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{"LS0100:ERROR:F00:Tmr1() Encoder Failed to Initialize1",
                                        "LS0061:INFO:F00:Tmr1() BeforeEncStr", "LS0063:ERROR:F00:Tmr1() NotEncStr",
                                        "LS0102:ERROR:F00:Tmr1() e = 80040201", "LS0062:INFO:F00:Tmr1() AfterEncStr"}));
    EXPECT_EQ(engine.display.lblReady, "Recording ...");
    tickAt(at(20, 30, 1));
    EXPECT_FALSE(engine.m_bRecording);
    EXPECT_EQ(host.count("EncoderStop"), 1u);
}

TEST_F(Engine, ClockSetBackDuringARecordingNeitherStopsNorRestartsIt) {
    addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
    engine.SetNextEvent();
    tickAt(at(20, 0, 1));
    tickAt(at(20, 10, 0));
    // Daylight saving's last hour: the clock goes back an hour.
    tickAt(at(19, 10, 0));
    tickAt(at(19, 59, 59));
    EXPECT_TRUE(engine.m_bRecording);
    EXPECT_EQ(host.count("EncoderStop"), 0u);
    tickAt(at(20, 0, 5));
    tickAt(at(20, 29, 59));
    EXPECT_EQ(host.count("EncoderInit"), 1u);
    tickAt(at(20, 30, 0));
    EXPECT_FALSE(engine.m_bRecording);
    EXPECT_EQ(host.count("EncoderStop"), 1u);
}

TEST_F(Engine, ClockSetForwardDuringARecordingStopsIt) {
    addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
    engine.SetNextEvent();
    tickAt(at(20, 0, 1));
    tickAt(at(21, 0, 1));
    EXPECT_FALSE(engine.m_bRecording);
    EXPECT_EQ(eventCount(*scheduler), 0);
    tickAt(at(21, 0, 5));
    EXPECT_EQ(host.count("EncoderInit"), 1u);
}

// An event that comes back as the next one after it was recorded (another
// event went before it for a while) is not recorded again over its own file.
TEST_F(Engine, AnEventIsNeverStartedTwiceInOneRun) {
    addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
    engine.SetNextEvent();
    tickAt(at(20, 0, 1));
    addEvent(*scheduler, at(19, 59, 0), 9, 5, "once", "Short.wmv");
    clock.set(at(20, 0, 30));
    engine.SetNextEvent();
    tickAt(at(20, 0, 33)); // the recording's event is no longer next
    EXPECT_EQ(host.count("EncoderStop"), 1u);
    tickAt(at(20, 0, 36));
    EXPECT_EQ(host.count("Output " + outputPath("Short.wmv")), 1u);
    tickAt(at(20, 4, 0));
    EXPECT_EQ(host.count("EncoderStop"), 2u);
    // The first event is next again and still inside its window.
    EXPECT_EQ(toSeconds(engine.m_dtNextStart), toSeconds(kEight));
    tickAt(at(20, 4, 5));
    EXPECT_EQ(host.count("Output " + outputPath("News.wmv")), 1u);
    EXPECT_FALSE(engine.m_bRecording);
}

TEST_F(Engine, TicksInsideASequenceDoNotStartOrStopAgain) {
    addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
    engine.SetNextEvent();
    int nested = 0;
    host.duringStart = [&] {
        ++nested;
        engine.Timer1Tick();
        clock.advance(1);
        engine.Timer1Tick();
    };
    tickAt(at(20, 0, 1));
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(host.count("EncoderInit"), 1u);

    // A tick while the low-disk message is open shows no second one; it
    // stops the cancelled recording.
    struct ReentrantSeam : RecordingUiSeam {
        std::function<void()> inside;
        MsgBoxResult message(const MessageRequest& r) override {
            if (inside && r.prompt.find("CANCELED") != std::string::npos) std::exchange(inside, nullptr)();
            return RecordingUiSeam::message(r);
        }
    } reentrant;
    reentrant.inside = [&] {
        clock.advance(1);
        engine.Timer1Tick();
    };
    setUiSeam(&reentrant);
    freeBytes = 10;
    tickAt(at(20, 5, 0));
    const auto cancelled = std::count_if(reentrant.messages.begin(), reentrant.messages.end(), [](const auto& m) {
        return m.prompt == "Insuficient disk space!\r\nCurrent recording event has been CANCELED!";
    });
    EXPECT_EQ(cancelled, 1);
    EXPECT_FALSE(engine.m_bRecording);
    EXPECT_EQ(host.count("EncoderStop"), 1u);
    setUiSeam(&seam);
}

TEST_F(Engine, SchedulerFailuresAreLoggedAndTheTickGoesOn) {
    engine.setScheduler(nullptr);
    clearLog();
    engine.SetNextEvent();
    const std::string why = "Vesper:91:Object variable or With block variable not set";
    EXPECT_EQ(logLines(), (std::vector<std::string>{"LS0064:ERROR:F00:SetNextEvent() Sch Refresh - " + why,
                                                    "LS0065:ERROR:F00:SetNextEvent() Sch NxtEvnt - " + why,
                                                    "LS0066:ERROR:F00:SetNextEvent() Sch Populate - " + why,
                                                    "LS0053:ERROR:F00:SetNextEvent() Exit - " + why}));
    EXPECT_FALSE(engine.m_bSettingNextEvent);
    tickAt(at(20, 0, 1));
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(Engine, DeletedOutputFolderFallsBackToTheProgramFolder) {
    addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
    const std::string gone = makeFolder("gone");
    engine.OutputDirChanged(gone);
    std::filesystem::remove_all(gone);
    engine.SetNextEvent();
    EXPECT_EQ(engine.display.txtOutputDir, programFolder());
    EXPECT_EQ(engine.m_sOutputFolder, programFolder() + "/");
    EXPECT_EQ(engine.m_sOutputFile, programFolder() + "/News.wmv");
}

// The event being recorded edited from the grid: lengthened, shortened or
// moved with the clock still inside it, the one recording follows it; moved
// past the clock, it stops and records the new time in its turn.
TEST_F(Engine, EditingTheEventBeingRecordedKeepsOneRecording) {
    addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
    engine.SetNextEvent();
    tickAt(at(20, 0, 1));
    const auto update = [&](DateTime key, DateTime start, int16_t duration) {
        Args a{Variant::date(key),
               Variant::date(start),
               Variant(int16_t(5)),
               Variant(duration),
               Variant(true),
               Variant(std::string("once")),
               Variant(std::string("News.wmv"))};
        scheduler->call("IUpdateEvent", a);
        engine.SetNextEvent();
    };
    update(kEight, kEight, 60);
    tickAt(at(20, 30, 0));
    EXPECT_TRUE(engine.m_bRecording);
    update(kEight, at(19, 55, 0), 65);
    tickAt(at(20, 40, 0));
    EXPECT_TRUE(engine.m_bRecording);
    update(at(19, 55, 0), at(19, 55, 0), 50);
    tickAt(at(20, 44, 59));
    EXPECT_TRUE(engine.m_bRecording);
    tickAt(at(20, 45, 0));
    EXPECT_FALSE(engine.m_bRecording);
    EXPECT_EQ(host.count("EncoderInit"), 1u);
    EXPECT_EQ(host.count("EncoderStop"), 1u);

    addEvent(*scheduler, at(21, 0, 0), 5, 30, "once", "Late.wmv");
    engine.SetNextEvent();
    tickAt(at(21, 0, 1));
    update(at(21, 0, 0), at(22, 0, 0), 30);
    tickAt(at(21, 5, 0));
    EXPECT_FALSE(engine.m_bRecording);
    tickAt(at(22, 0, 1));
    EXPECT_TRUE(engine.m_bRecording);
    EXPECT_EQ(host.count("EncoderInit"), 3u);
}

// The event is deleted from the grid while its encoder starts: the
// recording stops on the next tick and the following event keeps its turn.
TEST_F(Engine, AnEventDeletedWhileItsRecordingStartsStopsIt) {
    addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
    addEvent(*scheduler, at(20, 30, 0), 6, 30, "once", "Late.wmv");
    engine.SetNextEvent();
    host.duringStart = [&] {
        host.duringStart = {};
        Args a{Variant::date(kEight)};
        scheduler->call("IRemoveEvent", a);
        engine.SetNextEvent();
    };
    tickAt(at(20, 0, 1));
    EXPECT_TRUE(engine.m_bRecording);
    tickAt(at(20, 0, 2));
    EXPECT_FALSE(engine.m_bRecording);
    tickAt(at(20, 30, 1));
    EXPECT_TRUE(engine.m_bRecording);
    EXPECT_EQ(host.count("Output " + outputPath("Late.wmv")), 1u);
}

// The folder goes after the next event was set: the recording is made in
// the program's folder rather than lost.
TEST_F(Engine, OutputFolderDeletedBeforeTheStartRecordsIntoTheProgramFolder) {
    addEvent(*scheduler, kEight, 5, 30, "once", "News.wmv");
    const std::string gone = makeFolder("gone-later");
    engine.OutputDirChanged(gone);
    engine.SetNextEvent();
    EXPECT_EQ(engine.m_sOutputFile, gone + "/News.wmv");
    std::filesystem::remove_all(gone);
    tickAt(at(20, 0, 1));
    EXPECT_TRUE(engine.m_bRecording);
    EXPECT_EQ(host.count("Output " + programFolder() + "/News.wmv"), 1u);
    EXPECT_EQ(engine.display.txtOutputDir, programFolder());
}

TEST_F(Engine, FreeSpaceLabels) {
    freeBytes = 2000000000LL;
    engine.ShowFreeDiskSpace();
    EXPECT_EQ(engine.display.freeSpaceColour, 32768);
    EXPECT_EQ(program.g_dFreeBytes, 2000000000.0);
    freeBytes = 600000000LL;
    engine.ShowFreeDiskSpace();
    EXPECT_EQ(engine.display.freeSpaceColour, 65535);
    // No root at all: "?" and the old measurement kept.
    engine.m_sOutputFolder.clear();
    engine.ShowFreeDiskSpace();
    EXPECT_EQ(engine.display.lblFreeDiskSpace, "?");
    EXPECT_EQ(engine.display.freeSpaceColour, 192);
    EXPECT_EQ(program.g_dFreeBytes, 600000000.0);
}

} // namespace
} // namespace vesper::test
