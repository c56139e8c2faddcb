#include "app/core/recording_engine.h"

#include "app/core/encoder_profiles.h"
#include "app/core/output_files.h"
#include "app/core/settings_store.h"
#include "app/core/status_log.h"
#include "platform/ui/ui_seam.h"

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/recording_files.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace vesper {

namespace {

constexpr const char* kLowDiskAtEvent = "Insuficient disk space!\r\nCurrent recording event has been CANCELED!";
constexpr const char* kLowDiskAhead = "Insuficient disk space!\r\nPlease make room or change folder location";

// How long before a start margin the encoder starts: about its start-up time.
constexpr int kStartLeadSeconds = 5;

// Comparisons in whole seconds: the dates are doubles and an event's end is a
// sum of them.
long long secs(DateTime dt) { return toSeconds(dt); }

// The instant an event from `start` to `end` (wall-clock times) ends: its
// length after the first instant of its start.
long long instantEnd(DateTime start, DateTime end) { return firstInstantOf(start) + secs(end) - secs(start); }

std::string hexCode(int32_t e) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X", static_cast<uint32_t>(e));
    return buf;
}

} // namespace

std::string lengthText(int16_t durationMinutes) {
    std::string unit;
    if (durationMinutes == 1)
        unit = " minute";
    else if (durationMinutes >= 2 && durationMinutes <= 59)
        unit = " minutes";
    else if (durationMinutes == 60)
        unit = " hour";
    else
        unit = " hours";
    return formatDate(double(durationMinutes) / 1440.0, "h:mm") + unit;
}

std::string recordedFileName(const std::string& scheduledName, const std::string& profileName) {
    // The Windows Media rule (".wmv" appended) is the schedule's, applied when
    // the event was added: the name is used as it stands.
    if (scheduledName.empty() || !isH264Profile(profileName)) return scheduledName;
    return recordingFileName(scheduledName, profileName);
}

RecordingEngine::RecordingEngine(Program& program, RecordingHost& host) : m_program(program), m_host(host) {}

Object& RecordingEngine::sched() {
    if (!m_oScheduler) raiseError(err::ObjectNotSet, "Vesper");
    return *m_oScheduler;
}

void RecordingEngine::fitLabel(const std::string& text, std::string& caption, std::string& toolTip) {
    const LabelFit fit = SetLabelTextFit(m_nLabelMaxLength, text);
    caption = fit.caption;
    toolTip = fit.toolTip;
}

void RecordingEngine::ShowFreeDiskSpace(const std::string& folder) {
    const std::string path = folder.empty() ? m_sOutputFolder : folder;
    std::string root;
    if (!GetRootPath(path, root)) {
        display.lblFreeDiskSpace = "?";
        display.freeSpaceColour = kColourLowSpace;
        return;
    }
    const double bytes = freeBytesOnRoot(m_program, root);
    m_program.g_dFreeBytes = bytes;
    const FreeSpaceText t = freeSpaceText(bytes);
    display.lblFreeDiskSpace = t.text;
    display.freeSpaceColour = t.colour;
}

void RecordingEngine::OutputDirChanged(const std::string& text) {
    display.txtOutputDir = text;
    fitLabel(text, display.lblDir, display.lblDirToolTip);
    m_sOutputFolder = text;
    ShowFreeDiskSpace(m_sOutputFolder);
    changed();
}

void RecordingEngine::Timer1Tick() {
    ShowFreeDiskSpace();
    const DateTime t = now();
    display.lblNowToday = formatDate(t, kClockFormat);

    // A tick that arrives inside a wait of a start or stop sequence, inside
    // a message box of the guard, or while the next event is being read only
    // updates the clock and the disk space.
    if (m_bBusy || m_bReadingNextEvent || m_bHoldSchedule) {
        changed();
        return;
    }

    // Windows are judged on instants, so that a daylight-saving change
    // neither repeats a recording nor stretches or cuts it: an event lasts
    // its length in elapsed time from the first instant its start shows on
    // the wall clock (the change itself when the change skips its start).
    // Its margins widen the window on either side.
    // With a start margin the encoder is started a little earlier still, so
    // that its first picture, which takes a few seconds, falls inside the margin.
    const long long U = clock().unixNow();
    const int lead = m_nextTiming.startMarginSeconds > 0 ? kStartLeadSeconds : 0;
    const bool inWindow = m_dtNextEnd > m_dtNextStart &&
                          U > firstInstantOf(m_dtNextStart) - m_nextTiming.startMarginSeconds - lead &&
                          U < instantEnd(m_dtNextStart, m_dtNextEnd) + m_nextTiming.endMarginSeconds;

    // A running recording ends when the clock reaches its end or when its
    // event is no longer the next one (cancelled). A clock set back before
    // its start does not end it. The event edited while it records (a new
    // start or length, the same file, the clock still inside its window) is
    // the same recording: it goes on until the new end rather than start
    // again over its own file. Once its event has ended, the schedule moves
    // on: what remains is its end margin.
    if (m_bRecording) {
        bool stillNext = m_dtNextStart != 0 && secs(m_dtNextStart) == secs(m_dtRecStart);
        if (!stillNext && inWindow && m_sNextFileName == m_sRecFileName && U < instantEnd(m_dtRecStart, m_dtRecEnd)) {
            stillNext = true;
            m_dtRecStart = m_dtNextStart;
            m_started.insert(secs(m_dtNextStart));
        }
        if (stillNext) m_dtRecEnd = m_dtNextEnd;
        const long long eventEnd = instantEnd(m_dtRecStart, m_dtRecEnd);
        if (!stillNext && U < eventEnd) {
            stopSequence();
            changed();
            return;
        }
        if (U >= eventEnd && endOfRecording(U, eventEnd)) {
            changed();
            return;
        }
    }

    if (inWindow || m_bRecording) {
        // Recordings let go make room before each start and before the guard
        // would fire; the guard stays the last line.
        const bool starting = !m_bRecording && !m_started.count(secs(m_dtNextStart));
        if (starting || m_program.g_dFreeBytes < kLowDiskBytes) makeRoom(starting);
        if (m_program.g_dFreeBytes < kLowDiskBytes) {
            lowDiskAtEventTime();
        } else if (starting) {
            startSequence();
        }
    }
    changed();
}

EventTiming RecordingEngine::timingOf(const EventRecord& e) const {
    const EventTiming defaults = m_timingSettings ? m_timingSettings->defaults : EventTiming{};
    return m_timingStore && e.dt != 0 ? m_timingStore->forEvent(eventTimingKey(e), defaults) : defaults;
}

bool RecordingEngine::eventAfterRecording(Upcoming& out) const {
    if (m_dtNextStart != 0 && secs(m_dtNextStart) > secs(m_dtRecStart)) {
        out = {m_dtNextStart, m_dtNextEnd, m_nNextChannel, m_sNextFileName, m_nextTiming};
        return true;
    }
    if (!m_following || secs(m_following->start) <= secs(m_dtRecStart)) return false;
    out = *m_following;
    return true;
}

bool RecordingEngine::endOfRecording(long long U, long long eventEnd) {
    const long long marginEnd = eventEnd + m_recTiming.endMarginSeconds;
    long long stopAt = marginEnd;
    Upcoming next;
    if (eventAfterRecording(next)) {
        const long long nextFrom = firstInstantOf(next.start) - next.timing.startMarginSeconds;
        if (nextFrom < marginEnd && next.channel == m_nRecChannel) {
            // One run: the following event takes it over once its own margin
            // has begun and the schedule has let the ended event go.
            if (U > eventEnd && U >= nextFrom) {
                joinFollowing(next);
                return true;
            }
        } else if (nextFrom < marginEnd) {
            // Another channel: the later event's start wins over this end margin.
            stopAt = std::max(eventEnd, nextFrom);
        }
        if (U >= stopAt && stopAt < marginEnd)
            LogStatus("LS0171:INFO:F00:Tmr1() end margin of " + m_sRecFileName + " cut by " +
                      std::to_string(marginEnd - stopAt) + " s: " + next.fileName + " on channel " +
                      std::to_string(next.channel) + " starts");
    }
    if (U < stopAt) return false;
    stopSequence();
    return true;
}

void RecordingEngine::joinFollowing(const Upcoming& next) {
    // The ended event's part runs to its own end margin; the following
    // event's part starts at its start margin; the run goes on.
    RunPart& ended = m_run.parts.back();
    ended.to = instantEnd(m_dtRecStart, m_dtRecEnd) + m_recTiming.endMarginSeconds;
    RunPart part;
    part.eventName = next.fileName;
    part.from = std::max(m_run.parts.front().from, firstInstantOf(next.start) - next.timing.startMarginSeconds);
    part.keep = next.timing.keepUntilSpaceNeeded;
    part.path = m_sOutputFolder + recordedFileName(next.fileName, m_runProfile);
    guarded("preparing the output file", [&] {
        PrepareOutputFile(part.path, m_host.overwriteFiles(), now());
        // Two parts of one run never share a file.
        for (const RunPart& p : m_run.parts)
            if (p.path == part.path) MakeUniqueFileName(part.path);
    });
    if (m_spaceMaker) guarded("listing the recording", [&] { m_spaceMaker->recordingStarting(part.path); });
    m_run.parts.push_back(part);
    LogStatus("LS0170:INFO:F00:Tmr1() " + next.fileName + " joins the recording of " + m_sRecFileName + " on channel " +
              std::to_string(m_nRecChannel) + "; the run is cut into both files when it ends");

    m_dtRecStart = next.start;
    m_dtRecEnd = next.end;
    m_recTiming = next.timing;
    m_sRecFileName = next.fileName;
    m_started.insert(secs(next.start));
    // The watch follows the event now recorded, in the same file.
    if (m_observer) m_observer->recordingStarted(*this, m_run.file, true, 0);
    // The schedule lets the ended event go; the recording is the next event's.
    SetNextEvent();
}

void RecordingEngine::finishRun(long long U) {
    if (m_run.parts.empty()) return;
    RecordedRun run = std::move(m_run);
    m_run = {};
    run.stopped = U;
    run.parts.back().to = U;
    SpaceMaker* maker = m_spaceMaker;
    const auto listed = [maker](const RunPart& part, bool made) {
        if (maker && made)
            guarded("listing the recording", [&] { maker->recordingCompleted(part.path, part.eventName, part.keep); });
    };
    if (run.parts.size() == 1) {
        listed(run.parts.front(), true);
        return;
    }
    if (m_cutter) {
        m_cutter->cut(run, listed);
        return;
    }
    // Nobody to cut it: the run stays whole in its first file, kept only
    // when every event in it may go.
    RunPart whole = run.parts.front();
    for (const RunPart& p : run.parts)
        whole.keep = whole.keep && p.keep;
    LogStatus("LS0172:WARNING:F00:Tmr1() " + run.file + " holds " + std::to_string(run.parts.size()) +
              " events: it could not be cut");
    listed(whole, true);
}

void RecordingEngine::makeRoom(bool wholeEvent) {
    if (!m_spaceMaker) return;
    const DateTime start = wholeEvent || !m_bRecording ? m_dtNextStart : m_dtRecStart;
    const DateTime end = wholeEvent || !m_bRecording ? m_dtNextEnd : m_dtRecEnd;
    const EventTiming& timing = wholeEvent || !m_bRecording ? m_nextTiming : m_recTiming;
    const long long to = instantEnd(start, end) + timing.endMarginSeconds;
    const long long from = wholeEvent ? firstInstantOf(start) - timing.startMarginSeconds : clock().unixNow();
    const int minutes = int(std::max(0LL, (to - from + 59) / 60));
    const double estimate = std::max(0.0, estimatedRecordingBytes(m_program, m_host.profileName(), minutes));
    const std::string name = wholeEvent || !m_bRecording ? m_sNextFileName : m_sRecFileName;
    guarded("making room", [&] { m_spaceMaker->makeRoom(m_sOutputFolder, estimate + kLowDiskBytes, name); });
    ShowFreeDiskSpace();
}

void RecordingEngine::lowDiskAtEventTime() {
    m_bBusy = true;
    if (m_host.isMinimized()) m_host.restoreNormal();
    if (m_observer) m_observer->cancelledForLowDisk(*this);
    // The event is cancelled at once and the box does not hold the tick: a
    // recorder left alone must stop the cancelled recording on the next tick
    // and start the following event on time, whether or not anybody answers.
    // In an end margin the event is over: the recording stops, and no other
    // event is cancelled in its place.
    const bool margin = inEndMargin();
    if (!margin) CancelCurrentEvent();
    m_bBusy = false;
    if (margin) stopSequence();
    MsgBoxNoWait(kLowDiskAtEvent, vbCritical | vbOKOnly, "Error!");
}

void RecordingEngine::startSequence() {
    m_bBusy = true;
    Program& p = m_program;
    // The event this sequence records: the schedule may change while it
    // waits (a click on the grid), and the next tick must judge the
    // recording by its own event.
    const DateTime start = m_dtNextStart, end = m_dtNextEnd;
    const std::string fileName = m_sNextFileName;
    const EventTiming timing = m_nextTiming;
    // The file is named by the profile it is recorded with, whatever was
    // chosen since the next event was set.
    const std::string profile = m_host.profileName();
    nameOutputFile(profile);

    if (m_host.attachTvWindowOption()) {
        const bool preview = p.g_bPreview, detach = p.g_bTvPreviewDetach;
        guarded("PreviewOff", [&] { m_host.PreviewOff(); });
        p.g_bPreview = preview;
        p.g_bTvPreviewDetach = detach;
        guarded("PreviewOn", [&] { m_host.PreviewOn(); });
    } else {
        guarded("PreviewOff", [&] { m_host.PreviewOff(); });
    }

    p.g_sChannelPrevious = p.g_sChannel;
    p.g_sChannel = std::to_string(m_nNextChannel);
    display.txtChannel = p.g_sChannel;
    display.updnChannel = m_nNextChannel;
    changed();

    guarded("ApplyVideoInput", [&] { m_host.ApplyVideoInput(); });
    guarded("SetChnl", [&] { m_host.SetChnl(m_nNextChannel); });

    bool initialised = false;
    guarded("EncoderInit", [&] { initialised = m_host.EncoderInit(); });
    if (!initialised) LogStatus("LS0100:ERROR:F00:Tmr1() Encoder Failed to Initialize1");

    // The folder may have gone since the next event was set (deleted while
    // the program runs): record into the program's folder, as SetNextEvent
    // would, rather than hand the encoder a path it cannot write.
    guarded("checking the output folder", [&] {
        const std::filesystem::path file(m_sOutputFile);
        if (FolderExists(file.parent_path().string())) return;
        OutputDirChanged(programFolder());
        AddTrailingBackslash(m_sOutputFolder);
        m_sOutputFile = m_sOutputFolder + file.filename().string();
    });
    guarded("preparing the output file", [&] {
        // What this event's window already recorded (a run that crashed or
        // was killed inside it) is never overwritten: the restart records
        // into a name of its own, as with overwriting off. The setting keeps
        // its meaning for the files of earlier showings.
        const double sinceStart = double(secs(now()) - secs(start));
        const bool overwrite = m_host.overwriteFiles() && !WrittenWithin(m_sOutputFile, sinceStart);
        PrepareOutputFile(m_sOutputFile, overwrite, now());
    });
    if (m_spaceMaker) guarded("listing the recording", [&] { m_spaceMaker->recordingStarting(m_sOutputFile); });

    guarded("EncoderSetOutputFilename", [&] { m_host.EncoderSetOutputFilename(m_sOutputFile); });
    guarded("EncoderSetVideoSource", [&] { m_host.EncoderSetVideoSource(m_host.videoSourceText()); });
    guarded("EncoderSetAudioSource", [&] { m_host.EncoderSetAudioSource(m_host.audioSourceText()); });
    guarded("EncoderSetProfileName", [&] { m_host.EncoderSetProfileName(profile); });

    LogStatus("LS0061:INFO:F00:Tmr1() BeforeEncStr");
    // Kept until the file is complete, so that the start after a crash can
    // complete it.
    RegSaveSetting2(settings::sRecordingFile, m_sOutputFile);
    int32_t e = 0;
    bool started = false;
    guarded("EncoderStart", [&] { started = m_host.EncoderStart(e); });
    if (!started) LogStatus("LS0063:ERROR:F00:Tmr1() NotEncStr");
    if (e != 0)
        LogStatus("LS0102:ERROR:F00:Tmr1() e = " + hexCode(e));
    else
        LogStatus("LS0101:INFO:F00:Tmr1() e = 0");
    if (started) {
        // Hardware or software encoding is the encoder's choice: the log says
        // which it made.
        std::string encoder;
        guarded("EncoderVideoEncoder", [&] { encoder = m_host.EncoderVideoEncoder(); });
        if (!encoder.empty()) LogStatus("LS0163:INFO:F00:Tmr1() video encoder: " + encoder);
    }
    LogStatus("LS0062:INFO:F00:Tmr1() AfterEncStr");

    m_bRecording = true;
    m_dtRecStart = start;
    m_dtRecEnd = end;
    m_started.insert(secs(start));
    m_sRecFileName = fileName;
    m_recTiming = timing;
    m_nRecChannel = m_nNextChannel;
    m_runProfile = profile;
    const long long U = clock().unixNow();
    m_run = {m_sOutputFile, 0, {RunPart{m_sOutputFile, fileName, U, 0, timing.keepUntilSpaceNeeded}}};
    // An event on another channel that ran into this one's start margin
    // kept the card: the margin lost is said.
    const long long marginFrom = firstInstantOf(start) - timing.startMarginSeconds;
    if (m_lastStop > marginFrom && m_nLastChannel != m_nNextChannel && timing.startMarginSeconds > 0)
        LogStatus("LS0173:INFO:F00:Tmr1() start margin of " + fileName + " cut by " +
                  std::to_string(std::min<long long>(m_lastStop - marginFrom, timing.startMarginSeconds)) +
                  " s: " + m_sLastFileName + " on channel " + std::to_string(m_nLastChannel) + " ran until then");

    display.lblReadyColour = kColourRecording;
    display.lblReady = "Recording ...";
    display.lblNextRecordingWidth = 3000;
    display.lblNextRecordingLeft = 120;
    display.lblNextRecording = kHeadingRecording;
    display.cmdCancelRecordingEnabled = true;
    display.cmdRecordNowEnabled = false;
    m_bBusy = false;
    if (m_observer) m_observer->recordingStarted(*this, m_sOutputFile, started, e);
}

bool RecordingEngine::restartRecording() {
    if (!m_bRecording || m_bBusy || m_bReadingNextEvent || m_bHoldSchedule) return false;
    m_bBusy = true;
    guarded("EncoderStop", [&] { m_host.EncoderStop(); });
    finishRun(clock().unixNow());
    m_bBusy = false;
    // The start sequence records the next event, which is still this one.
    m_bRecording = false;
    m_sOutputFile = m_sOutputFolder + m_sRecFileName;
    startSequence();
    changed();
    return true;
}

void RecordingEngine::stopSequence() {
    m_bBusy = true;
    display.lblReady = "Indexing ...";
    changed();

    LogStatus("LS0060:INFO:F00:Tmr1() BeforeEncStp");
    guarded("EncoderStop", [&] { m_host.EncoderStop(); });
    RegSaveSetting2(settings::sRecordingFile, "");
    m_lastStop = clock().unixNow();
    m_nLastChannel = m_nRecChannel;
    m_sLastFileName = m_sRecFileName;
    finishRun(m_lastStop);
    LogStatus("LS0049:INFO:F00:Tmr1() AfterEncStp");
    if (m_observer) m_observer->recordingStopped(*this);

    display.cmdCancelRecordingEnabled = false;
    display.cmdRecordNowEnabled = true;
    m_host.enableDetachTV();

    m_bRecording = false;
    m_dtRecStart = m_dtRecEnd = 0;

    display.lblReadyColour = kColourReady;
    display.lblReady = "Ready ...";
    display.lblNextRecordingWidth = 2000;
    display.lblNextRecordingLeft = 620;
    display.lblNextRecording = kHeadingReady;
    changed();

    SetNextEvent();
    LogStatus("LS0050:INFO:F00:Tmr1() AfterSetNxtEvnt");
    m_bBusy = false;
}

void RecordingEngine::EndRecordingForExit() {
    if (!m_bRecording || m_bBusy) return;
    m_bBusy = true;
    m_bRecording = false;
    guarded("EncoderStop", [&] { m_host.EncoderStop(); });
    RegSaveSetting2(settings::sRecordingFile, "");
    finishRun(clock().unixNow());
    if (m_observer) m_observer->recordingStopped(*this);
    m_dtRecStart = m_dtRecEnd = 0;
    m_bBusy = false;
}

void RecordingEngine::SetNextEvent() {
    m_bSettingNextEvent = true;
    m_bReadingNextEvent = true;
    ErrorTrap pending;

    try {
        sched().call("IRefresh");
    } catch (const AutomationError& e) {
        LogStatus("LS0064:ERROR:F00:SetNextEvent() Sch Refresh - " + e.logText());
    }

    DateTime dt = 0;
    int16_t duration = 0, channel = 0;
    std::string every, filename;
    try {
        Args a{Variant::date(0), Variant(int16_t(0)),    Variant(int16_t(0)),
               Variant(false),   Variant(std::string()), Variant(std::string())};
        sched().call("INextEvent", a);
        dt = a[0].toDate();
        duration = a[1].toInt16();
        channel = a[2].toInt16();
        every = a[4].toString();
        filename = a[5].toString();
    } catch (const AutomationError& e) {
        LogStatus("LS0065:ERROR:F00:SetNextEvent() Sch NxtEvnt - " + e.logText());
    }

    m_nextTiming = timingOf({dt, channel, duration, true, every, filename});
    if (every == "weekdays") pending.step([&] { filename = WeekdayFileName(dt, filename); });
    const DateTime end = dt + double(duration) / 1440.0;

    display.lblChannel = std::to_string(channel);
    display.lblWhen = formatDate(dt, "mmm d");
    display.lblDay = formatDate(dt, "dddd");
    display.lblStart = formatDate(dt, "hh:mm AMPM");
    display.lblStop = formatDate(end, "hh:mm AMPM");
    display.lblLength = lengthText(duration);

    m_dtNextStart = dt;
    m_dtNextEnd = end;
    m_nNextChannel = channel;
    m_sNextFileName = filename;

    if (!FolderExists(m_sOutputFolder)) OutputDirChanged(programFolder());
    AddTrailingBackslash(m_sOutputFolder);
    m_sNextOutputName = recordedFileName(filename, m_host.profileName());
    m_sOutputFile = m_sOutputFolder + m_sNextOutputName;
    fitLabel(m_sNextOutputName, display.lblOutput, display.lblOutputToolTip);

    try {
        const std::vector<EventRecord> events = readScheduleEvents(sched());
        display.gridRows.clear();
        for (const EventRecord& e : events)
            display.gridRows.push_back(gridRow(e));
        ++display.gridVersion;
        // The event after the next one: a recording's end margin is judged
        // against it (the schedule is in start order).
        m_following.reset();
        for (const EventRecord& e : events) {
            if (dt == 0 || secs(e.dt) <= secs(dt)) continue;
            const std::string name = e.every == "weekdays" ? WeekdayFileName(e.dt, e.filename) : e.filename;
            m_following = Upcoming{e.dt, e.dt + double(e.duration) / 1440.0, e.channel, name, timingOf(e)};
            break;
        }
    } catch (const AutomationError& e) {
        LogStatus("LS0066:ERROR:F00:SetNextEvent() Sch Populate - " + e.logText());
    }

    pending.step([&] {
        const int16_t count = sched().call("ICount").toInt16();
        display.lblEventCount = std::to_string(count);
        if (count != 0)
            display.eventButtonsEnabled = true;
        else
            ShowNoNextEvent();
    });

    m_bReadingNextEvent = false;
    ShowFreeDiskSpace(m_sOutputFolder);
    if (m_program.g_dFreeBytes < kLowDiskBytes && m_dtNextStart != 0 && !m_bRecording) makeRoom(true);
    changed();
    if (m_program.g_dFreeBytes < kLowDiskBytes) {
        if (m_host.isMinimized()) m_host.restoreNormal();
        m_bSettingNextEvent = false;
        MsgBoxNoWait(kLowDiskAhead, vbCritical | vbOKOnly, "Error!");
        return;
    }

    m_bSettingNextEvent = false;
    if (pending.failed()) LogStatus("LS0053:ERROR:F00:SetNextEvent() Exit - " + pending.text());
}

void RecordingEngine::ShowNoNextEvent() {
    display.eventButtonsEnabled = false;
    display.lblWhen = "Empty";
    display.lblDay = "N/A";
    display.lblOutput = isH264Profile(m_host.profileName()) ? kNoEventMp4OutputText : kNoEventOutputText;
    m_dtNextStart = 0;
    m_dtNextEnd = 0;
}

void RecordingEngine::nameOutputFile(const std::string& profile) {
    const std::string name = recordedFileName(m_sNextFileName, profile);
    if (name == m_sNextOutputName) return;
    const size_t old = m_sNextOutputName.size();
    if (m_sOutputFile.size() >= old && m_sOutputFile.compare(m_sOutputFile.size() - old, old, m_sNextOutputName) == 0)
        m_sOutputFile.replace(m_sOutputFile.size() - old, old, name);
    m_sNextOutputName = name;
    fitLabel(name, display.lblOutput, display.lblOutputToolTip);
}

void RecordingEngine::ProfileChanged() {
    if (m_bRecording || m_bBusy || m_bReadingNextEvent) return;
    const std::string profile = m_host.profileName();
    if (m_dtNextStart != 0) {
        nameOutputFile(profile);
    } else if (display.lblOutput == kNoEventOutputText || display.lblOutput == kNoEventMp4OutputText) {
        display.lblOutput = isH264Profile(profile) ? kNoEventMp4OutputText : kNoEventOutputText;
    } else {
        return;
    }
    changed();
}

void RecordingEngine::CancelCurrentEvent() {
    ErrorTrap trap;
    trap.step([&] {
        Args a{Variant::date(0), Variant(int16_t(0)),    Variant(int16_t(0)),
               Variant(false),   Variant(std::string()), Variant(std::string())};
        sched().call("INextEvent", a);
        Args c{Variant::date(a[0].toDate())};
        sched().call("ICancelEvent", c);
    });
    SetNextEvent();
}

void RecordingEngine::CancelRecording() {
    if (!m_bRecording) return;
    const DateTime recording = m_dtRecStart;
    const MsgBoxResult r = MsgBox("Are you sure you want to CANCEL current recording?\r\n\r\nYou cannot resume!",
                                  vbYesNo | vbQuestion | vbDefaultButton2, "Confirm!");
    if (r != vbYes) return;
    // The ticks go on while the question is open: a recording that has ended
    // meanwhile must not take the following event with it.
    if (!m_bRecording || m_dtRecStart != recording) return;
    CancelRunningEvent();
}

bool RecordingEngine::inEndMargin() const {
    return m_bRecording && m_dtRecEnd > m_dtRecStart && clock().unixNow() >= instantEnd(m_dtRecStart, m_dtRecEnd);
}

void RecordingEngine::CancelRunningEvent() {
    if (!inEndMargin()) {
        CancelCurrentEvent();
    } else if (!m_bBusy) {
        stopSequence();
    }
    changed();
}

} // namespace vesper
