// The main program without its window: the tuner and encoder modules, the
// recording engine, the live TV preview, the schedule's commands, the
// hand-over inbox and server, the two timers, the user's options, and the
// one way out. The window is a MainView: it shows what the core holds and
// passes the user's choices on.
#pragma once

#include "app/core/external_event_inbox.h"
#include "app/core/mod_tuner.h"
#include "app/core/options.h"
#include "app/core/preview_control.h"
#include "app/core/program.h"
#include "app/core/recording_engine.h"
#include "app/core/run_cutter.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>

class QTimer;

namespace vesper {

class HandoverServer;
namespace remote {
class RemoteApi;
class RemoteServer;
} // namespace remote
class ModEncoder;
class ProgrammeGuide;
class ScheduleCommands;
class SpaceKeeper;
class WatchService;

// What the core asks of the main window.
class MainView {
public:
    virtual ~MainView() = default;
    // The engine's or the preview's display changed.
    virtual void render() = 0;
    virtual bool isMinimized() = 0;
    virtual void restoreNormal() = 0;
    virtual std::string mainWindowHandle() = 0;
    virtual std::string tvWindowHandle() = 0;
    virtual bool firstTabShown() = 0;
    virtual void showTvWindow() = 0;
    virtual void unloadTvWindow() = 0;
    virtual void hideTvWindow() = 0;
    virtual void AdjustOverlayScreen() = 0;
    // A modal window (a dialog, a message box) is open.
    virtual bool modalOpen() = 0;
    // Normal window state on the schedule tab, for a sent program event.
    virtual void showNormalOnScheduleTab() = 0;
    // The Add Event dialog in the mode word's mode.
    virtual void showAddEventDialog() = 0;
    // A document reached the hand-over socket: it becomes the hidden box's text.
    virtual void handOverDocument(const std::string& document) = 0;
    // Closes the window (the exit that waited for a start or stop sequence).
    virtual void closeWindow() = 0;
};

// Why the program ends.
// Discard: the program's objects go without a close (nothing saved); Test: a
// window made without the start-up ends (its schedule saved, no settings).
enum class EndReason { Exit, CloseBox, Signal, Logout, FailureExit, Discard, Test };
const char* endReasonText(EndReason reason);

class VesperCore : public QObject, public RecordingHost, public PreviewHost, public TunerForm {
    Q_OBJECT
public:
    VesperCore(Program& program, ObjectPtr scheduler, MainView& view, QObject* parent = nullptr);
    ~VesperCore() override;

    Program& program() { return m_program; }
    RecordingEngine& engine() { return *m_engine; }
    PreviewControl& preview() { return *m_preview; }
    ModTuner& tuner() { return *m_tuner; }
    ModEncoder& encoder() { return *m_encoder; }
    ScheduleCommands& commands() { return *m_commands; }
    ExternalEventInbox& inbox() { return m_inbox; }
    Options& options() { return m_options; }
    HandoverServer* handOverServer() { return m_handOver; }
    ProgrammeGuide& guide() { return *m_guide; }
    // Each event's margins and keep mark, and the options of the others.
    TimingSettings& timingSettings() { return m_timingSettings; }
    EventTimingStore& eventTiming() { return m_eventTiming; }
    EventTiming eventTimingOf(const EventRecord* event) const;
    // Gives an event of the schedule its options (and forgets those of events
    // no longer scheduled); nothing when the schedule does not hold it.
    void setEventTiming(const EventRecord& event, const EventTiming& timing);
    // The recordings kept until space is needed, which make room before each start.
    SpaceKeeper& keeper() { return *m_keeper; }
    // The watch over events and recordings (notices, failed list, sleep).
    WatchService& watch() { return *m_watch; }
    QTimer* Timer1;
    QTimer* Timer2;

    // Program state that the start-up and shut-down drive.
    bool m_bFormLoading = false;
    bool m_bSettingsValid = false;
    bool m_bExitPending = false;
    bool m_bExternalPending = false;
    // The profile chosen in the window (the tool tip of cmbEncodingProfileName).
    std::string m_sProfileName;
    // The window chose a profile: the next event's file name follows it.
    void setProfileName(const std::string& name);

    bool recording() override { return m_engine->m_bRecording; }
    bool settingNextEvent() const { return m_engine->m_bSettingNextEvent; }
    void setScheduler(ObjectPtr scheduler) { m_engine->setScheduler(std::move(scheduler)); }

    // The timers' ticks.
    void Timer1Tick();
    void Timer2Tick();
    // The hidden box's text changed; true when the box must go back to the marker.
    bool handOverTextChanged(const std::string& text);
    // Opens the hand-over socket through which other programs send program
    // events; false (logged) when it could not be opened.
    bool StartHandOver();
    // Starts or stops the remote access server as its settings say (off by
    // default: then no port is open); false (logged) when it should run but
    // could not start.
    bool StartRemoteAccess();
    remote::RemoteServer* remoteServer() { return m_remote; }
    // Sets the next event once control is back in the event loop (several
    // requests in a row set it once): a remote change is answered without
    // waiting for the scheduler's refresh pause.
    void SetNextEventSoon();
    bool nextEventPending() const { return m_nextEventPending; }
    remote::RemoteApi& remoteApi() { return *m_remoteApi; }

    // The video input of the options (0 tuner, 1 S-Video, 2 Composite1).
    int16_t chosenVideoInput() const;
    // The user chose a video input.
    void videoInputChosen(int16_t index);

    // The one way out, whatever the reason: stops the timers and the
    // hand-over socket, saves through `save` and saves the schedule (when the
    // settings are valid; never for a failure exit or a discarded program),
    // unloads the TV window, ends a running recording properly (its file
    // completed), and releases the components. What could not be done is
    // said on standard error. Later calls do nothing.
    void endProgram(EndReason reason, const std::function<void()>& save = {});
    bool ended() const { return m_ended; }
    EndReason endReason() const { return m_endReason; }

    // Hooks of the start-up: run by Timer2 and by the hidden box's change.
    std::function<void()> onTimer2;
    std::function<void(const std::string&)> onHandOverText;

    // RecordingHost
    void PreviewOff() override;
    void PreviewOn() override;
    void ApplyVideoInput() override;
    void SetChnl(int16_t channel) override;
    void enableDetachTV() override;
    bool EncoderInit() override;
    void EncoderSetOutputFilename(const std::string& path) override;
    void EncoderSetVideoSource(const std::string& name) override;
    void EncoderSetAudioSource(const std::string& name) override;
    void EncoderSetProfileName(const std::string& name) override;
    bool EncoderStart(int32_t& e) override;
    void EncoderStop() override;
    bool attachTvWindowOption() override;
    bool overwriteFiles() override;
    std::string videoSourceText() override;
    std::string audioSourceText() override;
    std::string profileName() override { return m_sProfileName; }
    std::string EncoderVideoEncoder() override;
    bool isMinimized() override { return m_view.isMinimized(); }
    void restoreNormal() override { m_view.restoreNormal(); }
    void displayChanged() override { m_view.render(); }

    // PreviewHost
    void TunerStart() override;
    void TunerStp() override;
    void TunerSetPreview(const std::string& state) override;
    void TunerInitPreview(const std::string& hwnd, const std::string& left, const std::string& top,
                          const std::string& width, const std::string& height, const std::string& state) override;
    std::string mainWindowHandle() override { return m_view.mainWindowHandle(); }
    std::string tvWindowHandle() override { return m_view.tvWindowHandle(); }
    bool firstTabShown() override { return m_view.firstTabShown(); }
    void showTvWindow() override { m_view.showTvWindow(); }
    void unloadTvWindow() override { m_view.unloadTvWindow(); }
    void hideTvWindow() override { m_view.hideTvWindow(); }
    void AdjustOverlayScreen() override { m_view.AdjustOverlayScreen(); }

private:
    void ProcessHandOver();

    Program& m_program;
    MainView& m_view;
    Options m_options;
    TimingSettings m_timingSettings = TimingSettings::load();
    EventTimingStore m_eventTiming;
    std::unique_ptr<SpaceKeeper> m_keeper; // before the engine, which uses it
    std::unique_ptr<ModTuner> m_tuner;
    std::unique_ptr<ModEncoder> m_encoder;
    std::unique_ptr<RecordingEngine> m_engine;
    std::unique_ptr<StreamCutter> m_cutter;
    std::unique_ptr<PreviewControl> m_preview;
    std::unique_ptr<WatchService> m_watch; // after the engine, which it observes
    std::shared_ptr<ScheduleCommands> m_commands;
    ExternalEventInbox m_inbox;
    HandoverServer* m_handOver = nullptr;
    std::unique_ptr<ProgrammeGuide> m_guide;
    std::unique_ptr<remote::RemoteApi> m_remoteApi;
    remote::RemoteServer* m_remote = nullptr;
    bool m_nextEventPending = false;
    bool m_ended = false;
    EndReason m_endReason = EndReason::Discard;
};

} // namespace vesper
