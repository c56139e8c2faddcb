// The recording engine: the one-second tick that starts and stops recordings
// of the next event, the next event itself as the scheduler delivers it, the
// low-disk guard and what the main window shows about all of it. A plain class
// so that it runs without a display; the window renders `display`.
#pragma once

#include "app/core/event_timing.h"
#include "app/core/output_files.h"
#include "app/core/program.h"
#include "app/core/schedule_grid.h"

#include "platform/automation.h"
#include "platform/dates.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vesper {

// Classic colour values the window shows.
inline constexpr int kColourRecording = 255; // pure red
inline constexpr int kColourReady = 32768;   // green 128

// The heading above the next event, with its size and place in twips.
inline constexpr const char* kHeadingRecording = "Currently Recording This Event";
inline constexpr const char* kHeadingReady = "Next Recording Event";

inline constexpr const char* kClockFormat = "dddd  |  mmmm d, yyyy  |  hh:mm:ss AMPM";

// What the engine needs from around it: the preview, the tuner and the
// encoder (which the window forwards to modTuner, modEncoder and its preview
// logic), the window's current choices, and a few window operations.
class RecordingHost {
public:
    virtual ~RecordingHost() = default;

    virtual void PreviewOff() = 0;
    virtual void PreviewOn() = 0;
    virtual void ApplyVideoInput() = 0;
    virtual void SetChnl(int16_t channel) = 0;
    // The stop sequence enables the detach link again.
    virtual void enableDetachTV() = 0;

    virtual bool EncoderInit() = 0;
    virtual void EncoderSetOutputFilename(const std::string& path) = 0;
    virtual void EncoderSetVideoSource(const std::string& name) = 0;
    virtual void EncoderSetAudioSource(const std::string& name) = 0;
    virtual void EncoderSetProfileName(const std::string& name) = 0;
    virtual bool EncoderStart(int32_t& e) = 0;
    virtual void EncoderStop() = 0;

    virtual bool attachTvWindowOption() = 0; // optAttachTvWindow selected
    virtual bool overwriteFiles() = 0;       // chkOverwriteFiles checked
    virtual std::string videoSourceText() = 0;
    virtual std::string audioSourceText() = 0;
    virtual std::string profileName() = 0; // tool tip of cmbEncodingProfileName
    // Which video encoder the started recording uses, in the encoder's words
    // ("x264 (software)"); empty when it cannot tell.
    virtual std::string EncoderVideoEncoder() { return {}; }

    virtual bool isMinimized() = 0;
    virtual void restoreNormal() = 0;
    // `display` has changed; the window shows it.
    virtual void displayChanged() = 0;
};

// What the main window shows about recording, the next event and the disk.
struct RecordingDisplay {
    std::string lblReady = "Ready ...";
    int lblReadyColour = kColourReady;
    std::string lblNextRecording = kHeadingReady;
    int lblNextRecordingWidth = 2000; // twips
    int lblNextRecordingLeft = 620;   // twips
    bool cmdCancelRecordingEnabled = false;
    bool cmdRecordNowEnabled = true;

    std::string lblNowToday = " Today is:";

    std::string lblChannel;
    std::string lblOutput;
    std::string lblOutputToolTip;
    std::string lblWhen = "Empty";
    std::string lblDay;
    std::string lblStart;
    std::string lblStop;
    std::string lblLength;
    std::string lblEventCount;
    bool eventButtonsEnabled = false; // cmdEditEvent, cmdCancelSelectedEvent, cmdDeleteEvent

    std::string lblDir;
    std::string lblDirToolTip;
    std::string txtOutputDir;

    std::string lblFreeDiskSpace; // both free-space labels
    int freeSpaceColour = kColourLowSpace;

    // The channel controls, as the start sequence tunes them.
    std::string txtChannel;
    int16_t updnChannel = 2;

    std::vector<GridRow> gridRows;
    int gridVersion = 0; // grows with every refill
};

class RecordingEngine;

// Told of each start and stop of a recording and of an event the low-disk
// guard cancels (the watch over recordings); asks nothing back.
class RecordingObserver {
public:
    virtual ~RecordingObserver() = default;
    // After a start sequence, whether or not the encoder started (`code` is
    // its IStart code).
    virtual void recordingStarted(const RecordingEngine& engine, const std::string& outputFile, bool started,
                                  int32_t code) = 0;
    // After the encoder stopped, before the next event is set.
    virtual void recordingStopped(const RecordingEngine& engine) = 0;
    // Before the guard cancels the event at its time.
    virtual void cancelledForLowDisk(const RecordingEngine& engine) = 0;
};

// Makes room on the output folder's disk by deleting recordings their events
// let go ("keep until space is needed"), oldest first. The engine asks before
// each start and before its low-disk guard fires, and tells it of each file
// it starts and completes.
class SpaceMaker {
public:
    virtual ~SpaceMaker() = default;
    // Deletes such recordings until `neededBytes` are free on the disk of
    // `folder` or none is left; true when that much is free.
    virtual bool makeRoom(const std::string& folder, double neededBytes, const std::string& forEvent) = 0;
    // A recording starts into `path`: whatever was kept under that name is
    // being replaced.
    virtual void recordingStarting(const std::string& path) = 0;
    // A recording into `path` for the event named `eventName` is complete;
    // `keep`: it may make room later.
    virtual void recordingCompleted(const std::string& path, const std::string& eventName, bool keep) = 0;
};

// One run of the encoder and the files it becomes. Back-to-back events on one
// channel whose margins meet are recorded in one run, so that neither loses
// a second at the boundary, and cut apart by stream copy once it ends.
struct RunPart {
    std::string path;      // the file this part becomes (the first: the run's own file)
    std::string eventName; // the event's file name as scheduled (weekday suffix applied)
    long long from = 0;    // instants: what of the run belongs to this part
    long long to = 0;
    bool keep = false; // the event's "keep until space is needed"
};
struct RecordedRun {
    std::string file;      // where the encoder wrote the run
    long long stopped = 0; // the instant the encoder stopped
    std::vector<RunPart> parts;
};

class RunCutter {
public:
    virtual ~RunCutter() = default;
    // Cuts the run's file into its parts (the first keeps the run's file,
    // shortened to its part) and calls `done` for each part, on the caller's
    // thread, saying whether its file was made. A run that could not be cut
    // stays whole in its file: nothing recorded is lost.
    virtual void cut(const RecordedRun& run, std::function<void(const RunPart& part, bool made)> done) = 0;
};

// lblLength: the duration added to midnight as "h:mm" and its unit word.
std::string lengthText(int16_t durationMinutes);

// lblOutput without a next event, for the Windows Media profiles and for ours.
inline constexpr const char* kNoEventOutputText = "Windows Media Video";
inline constexpr const char* kNoEventMp4OutputText = "H.264 MP4 Video";

// The name an event's file is recorded under with the profile: the Windows
// Media profiles take the scheduled name as it stands, the others the name
// their extension asks for ("News.wmv" records "News.mp4").
std::string recordedFileName(const std::string& scheduledName, const std::string& profileName);

class RecordingEngine {
public:
    RecordingEngine(Program& program, RecordingHost& host);

    void setScheduler(ObjectPtr scheduler) { m_oScheduler = std::move(scheduler); }
    void setObserver(RecordingObserver* observer) { m_observer = observer; }
    void setSpaceMaker(SpaceMaker* maker) { m_spaceMaker = maker; }
    void setCutter(RunCutter* cutter) { m_cutter = cutter; }
    // Where each event's own margins and keep mark are, and the options of
    // the others; without them every event is timed by its start and length.
    void setTiming(const EventTimingStore* store, const TimingSettings* settings) {
        m_timingStore = store;
        m_timingSettings = settings;
    }
    ObjectPtr scheduler() const { return m_oScheduler; }

    // The Timer1 tick.
    void Timer1Tick();
    // Reads the next event from the scheduler and shows it; never raises.
    void SetNextEvent();
    // Cancels the first event of the schedule (this occurrence) and sets the
    // next event.
    void CancelCurrentEvent();
    // cmdCancelRecording: asks, then cancels the event being recorded; the
    // next tick stops the encoder.
    void CancelRecording();
    // The recording runs in its end margin: its event is over, and
    // cancelling the first event of the schedule would cancel another.
    bool inEndMargin() const;
    // Cancels the event being recorded, as Cancel Recording does after its
    // question; in the end margin only the recording stops.
    void CancelRunningEvent();
    // The program ends: a running recording stops and its file is completed,
    // without moving on to the next event. Nothing while a start or stop
    // sequence runs (the end waits for it).
    void EndRecordingForExit();
    void ShowNoNextEvent();
    // Another profile was chosen: the next event's file name and lblOutput
    // follow it (a running recording keeps its file).
    void ProfileChanged();
    // Measures the folder's drive (empty: the output folder) into the labels
    // and g_dFreeBytes.
    void ShowFreeDiskSpace(const std::string& folder = {});
    // txtOutputDir's text changed (by the user or by the program).
    void OutputDirChanged(const std::string& text);
    // SetLabelTextFit with the program's one maximum length.
    void fitLabel(const std::string& text, std::string& caption, std::string& toolTip);

    RecordingDisplay display;

    bool m_bRecording = false;
    bool m_bHoldSchedule = false;
    bool m_bSettingNextEvent = false;
    DateTime m_dtNextStart = 0;
    DateTime m_dtNextEnd = 0;
    int16_t m_nNextChannel = 0;
    std::string m_sOutputFolder;
    std::string m_sOutputFile;

    // A start, stop or low-disk message is in progress.
    bool busy() const { return m_bBusy; }
    // The event being recorded (its start and end).
    DateTime recordingStart() const { return m_dtRecStart; }
    DateTime recordingEnd() const { return m_dtRecEnd; }
    const std::string& recordingFileName() const { return m_sRecFileName; }
    const std::string& nextFileName() const { return m_sNextFileName; }
    // The next event's margins and keep mark.
    const EventTiming& nextTiming() const { return m_nextTiming; }
    // Stops the running recording's encoder and starts the event again into
    // a file of its own (the same name rules as any start inside the
    // event's window). False, doing nothing, when no recording runs or a
    // sequence is in progress.
    bool restartRecording();

private:
    void startSequence();
    void stopSequence();
    void lowDiskAtEventTime();
    // Names the next event's file (m_sOutputFile, lblOutput) by the profile.
    void nameOutputFile(const std::string& profile);
    // The event after the one being recorded (the next one once the schedule
    // has moved past the recording); false when there is none.
    struct Upcoming {
        DateTime start = 0, end = 0;
        int16_t channel = 0;
        std::string fileName;
        EventTiming timing;
    };
    bool eventAfterRecording(Upcoming& out) const;
    // An event's own margins and keep mark, else the defaults.
    EventTiming timingOf(const EventRecord& e) const;
    // The margin phase of a recording (its event's end has passed): joins
    // the following event on the same channel, or stops at the end margin,
    // cut short by an event on another channel. True when it stopped or joined.
    bool endOfRecording(long long now, long long eventEnd);
    void joinFollowing(const Upcoming& following);
    // The encoder stopped at `now`: the run's files are cut and listed.
    void finishRun(long long now);
    // Asks the space maker for what the next event needs (its estimated size
    // plus the reserve) and measures the disk again.
    void makeRoom(bool wholeEvent);
    Object& sched();
    void changed() { m_host.displayChanged(); }

    Program& m_program;
    RecordingHost& m_host;
    ObjectPtr m_oScheduler;
    RecordingObserver* m_observer = nullptr;
    SpaceMaker* m_spaceMaker = nullptr;
    RunCutter* m_cutter = nullptr;
    const EventTimingStore* m_timingStore = nullptr;
    const TimingSettings* m_timingSettings = nullptr;
    EventTiming m_nextTiming, m_recTiming;

    bool m_bBusy = false;
    // SetNextEvent is reading the schedule: the next event is not settled.
    bool m_bReadingNextEvent = false;
    DateTime m_dtRecStart = 0;
    DateTime m_dtRecEnd = 0;
    // The next event's file name, and that of the event being recorded.
    std::string m_sNextFileName, m_sRecFileName;
    // The running encoder's run: its file, profile, channel and parts.
    RecordedRun m_run;
    std::string m_runProfile;
    int16_t m_nRecChannel = 0;
    // When the last recording stopped (an instant), for the start margin it cut.
    long long m_lastStop = 0;
    int16_t m_nLastChannel = 0;
    std::string m_sLastFileName;
    // The event after the next one, as the schedule was last read.
    std::optional<Upcoming> m_following;
    // The next event's file name as m_sOutputFile ends in it (the profile's
    // extension applied).
    std::string m_sNextOutputName;
    // Starts (whole seconds) already recorded in this run: a clock set back
    // must not record an event a second time over its own file.
    std::set<long long> m_started;
    // SetLabelTextFit's one maximum length, 0 until first used.
    int16_t m_nLabelMaxLength = 0;
};

} // namespace vesper
