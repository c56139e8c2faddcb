#include "app/core/vesper_core.h"

#include "app/core/handover_server.h"
#include "app/core/kept_recordings.h"
#include "app/core/mod_encoder.h"
#include "app/core/programme_guide.h"
#include "app/core/remote_access.h"
#include "app/core/remote_api.h"
#include "app/core/remote_server.h"
#include "app/core/schedule_commands.h"
#include "app/core/status_log.h"
#include "app/core/watch_service.h"
#include "app/core/xml_program_event.h"

#include "platform/handover/handover_protocol.h"

#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace vesper {

const char* endReasonText(EndReason reason) {
    switch (reason) {
    case EndReason::Exit: return "exit";
    case EndReason::CloseBox: return "close box";
    case EndReason::Signal: return "termination signal";
    case EndReason::Logout: return "end of the desktop session";
    case EndReason::FailureExit: return "failure exit";
    case EndReason::Discard: return "discarded";
    case EndReason::Test: return "test";
    }
    return "";
}

VesperCore::VesperCore(Program& program, ObjectPtr scheduler, MainView& view, QObject* parent)
    : QObject(parent), m_program(program), m_view(view) {
    setObjectName("VesperCore");
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1000);
    Timer2 = new QTimer(this);
    Timer2->setObjectName("Timer2");
    Timer2->setInterval(250);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Tick(); });
    connect(Timer2, &QTimer::timeout, this, [this] { Timer2Tick(); });

    m_tuner = std::make_unique<ModTuner>(m_program, *this);
    m_encoder = std::make_unique<ModEncoder>(m_program, *m_tuner);
    m_engine = std::make_unique<RecordingEngine>(m_program, *this);
    m_engine->setScheduler(std::move(scheduler));
    m_engine->setTiming(&m_eventTiming, &m_timingSettings);
    m_cutter = std::make_unique<StreamCutter>();
    m_engine->setCutter(m_cutter.get());
    m_keeper = std::make_unique<SpaceKeeper>(m_program);
    m_engine->setSpaceMaker(m_keeper.get());
    m_preview = std::make_unique<PreviewControl>(m_program, *this);
    m_watch = std::make_unique<WatchService>(*this, desktopSessionBus(), machineSystemBus(), this);
    m_commands = std::make_shared<ScheduleCommands>(
        m_program, [this] { return m_engine->scheduler(); },
        [this] {
            m_engine->SetNextEvent();
            m_view.render();
        });
    // A programme chosen in the guide takes the way of a sent document.
    m_guide = std::make_unique<ProgrammeGuide>(
        *m_commands, [this](const std::string& document) { m_view.handOverDocument(document); });
    m_remoteApi = std::make_unique<remote::RemoteApi>(*this);
}

VesperCore::~VesperCore() { delete m_remote; }

// --- ticks -------------------------------------------------------------------

void VesperCore::Timer1Tick() {
    m_watch->beforeTick();
    m_engine->Timer1Tick();
    m_watch->afterTick();
    m_view.render();
}

void VesperCore::Timer2Tick() {
    if (onTimer2) onTimer2();
    ProcessHandOver();
    if (m_bExitPending && !m_engine->m_bSettingNextEvent && !m_engine->busy()) {
        m_bExitPending = false;
        m_view.closeWindow();
    }
}

void VesperCore::ProcessHandOver() {
    // One dialog at a time: a document waits while any modal window is open
    // (the Add Event dialog, a message box), and while start-up, a
    // recording's start or stop, or the next event is in progress.
    const bool busy = m_view.modalOpen() || m_bFormLoading || m_engine->busy() || m_engine->m_bSettingNextEvent;
    ExternalAddWindow window;
    window.showNormalOnScheduleTab = [this] { m_view.showNormalOnScheduleTab(); };
    window.showAddEventDialog = [this] { m_view.showAddEventDialog(); };
    ProcessExternalEvent(m_program, m_inbox, busy, window);
    m_bExternalPending = m_inbox.pending();
}

bool VesperCore::handOverTextChanged(const std::string& text) {
    if (onHandOverText) onHandOverText(text);
    // A document waits for Timer2 and the box goes back to the marker.
    if (!m_inbox.onHiddenTextChanged(text)) return false;
    m_bExternalPending = true;
    return true;
}

bool VesperCore::StartHandOver() {
    if (!m_handOver) {
        m_handOver = new HandoverServer(this);
        // A received document takes the way a sender's text always took: it
        // becomes the hidden box's text.
        connect(m_handOver, &HandoverServer::documentReceived, this,
                [this](const QString& document) { m_view.handOverDocument(document.toStdString()); });
    }
    if (m_handOver->listen()) return true;
    LogStatus("LS0131:ERROR:F00:StartHandOver():the hand-over socket could not be opened: " +
              m_handOver->serverPath().toStdString());
    return false;
}

bool VesperCore::StartRemoteAccess() {
    delete m_remote;
    m_remote = nullptr;
    const remote::Settings s = remote::loadSettings();
    if (!s.enabled || m_ended) return true;
    if (s.tokenHash.isEmpty()) {
        LogStatus("LS0141:ERROR:F00:StartRemoteAccess():remote access is on but has no token yet");
        return false;
    }
    QHostAddress address;
    if (!address.setAddress(s.address)) {
        LogStatus("LS0141:ERROR:F00:StartRemoteAccess():not an address: " + s.address.toStdString());
        return false;
    }
    m_remote = new remote::RemoteServer([this](const remote::Request& r) { return m_remoteApi->handle(r); },
                                        s.tokenHash, {}, this);
    QString error;
    if (m_remote->start(address, s.port, s.certificate, s.privateKey, &error)) return true;
    LogStatus("LS0141:ERROR:F00:StartRemoteAccess():" + s.address.toStdString() + ":" + std::to_string(s.port) + ": " +
              error.toStdString());
    delete m_remote;
    m_remote = nullptr;
    return false;
}

void VesperCore::SetNextEventSoon() {
    if (m_nextEventPending) return;
    m_nextEventPending = true;
    QTimer::singleShot(0, this, [this] {
        m_nextEventPending = false;
        if (m_ended) return;
        m_engine->SetNextEvent();
        m_view.render();
    });
}

// --- options -------------------------------------------------------------------

int16_t VesperCore::chosenVideoInput() const {
    return m_options.flag("optSVideo") ? 1 : m_options.flag("optComposite1") ? 2 : 0;
}

void VesperCore::videoInputChosen(int16_t index) {
    static const char* names[3] = {"TV Tuner", "S-Video", "Composite1"};
    guarded("TunerSetVideoInput", [&] { m_tuner->TunerSetVideoInput(std::to_string(index)); });
    m_tuner->settings.videoInputIndex = index;
    m_tuner->settings.useExternalPlugin = index != 0;
    if (index == 0 && !m_engine->m_bRecording && !m_program.g_bPreview) {
        guarded("TunerStart", [&] { m_tuner->TunerStart(); });
        guarded("TunerStp", [&] { m_tuner->TunerStp(); });
    }
    if (!m_bFormLoading) m_tuner->settings.videoInputName = names[index];
}

bool VesperCore::attachTvWindowOption() { return m_options.flag("optAttachTvWindow"); }
bool VesperCore::overwriteFiles() { return m_options.flag("chkOverwriteFiles"); }
std::string VesperCore::videoSourceText() { return m_options.text("cmbVideoSource"); }
std::string VesperCore::audioSourceText() { return m_options.text("cmbAudioSource"); }

// --- the modules ---------------------------------------------------------------

void VesperCore::PreviewOff() { m_preview->PreviewOff(); }
void VesperCore::PreviewOn() { m_preview->PreviewOn(); }
void VesperCore::ApplyVideoInput() { m_tuner->TunerSetVideoInput(std::to_string(chosenVideoInput())); }
void VesperCore::SetChnl(int16_t channel) { m_tuner->SetChnl(channel); }
void VesperCore::enableDetachTV() { m_preview->display.lblDetachTVEnabled = true; }
bool VesperCore::EncoderInit() { return m_encoder->EncoderInit(); }
void VesperCore::EncoderSetOutputFilename(const std::string& path) { m_encoder->EncoderSetOutputFilename(path); }
void VesperCore::EncoderSetVideoSource(const std::string& name) { m_encoder->EncoderSetVideoSource(name); }
void VesperCore::EncoderSetAudioSource(const std::string& name) { m_encoder->EncoderSetAudioSource(name); }
void VesperCore::EncoderSetProfileName(const std::string& name) { m_encoder->EncoderSetProfileName(name); }
bool VesperCore::EncoderStart(int32_t& e) { return m_encoder->EncoderStart(e); }
void VesperCore::EncoderStop() { m_encoder->EncoderStop(); }
std::string VesperCore::EncoderVideoEncoder() { return m_encoder->EncoderVideoEncoder(); }

EventTiming VesperCore::eventTimingOf(const EventRecord* event) const {
    if (!event) return m_timingSettings.defaults;
    return m_eventTiming.forEvent(eventTimingKey(*event), m_timingSettings.defaults);
}

void VesperCore::setEventTiming(const EventRecord& event, const EventTiming& timing) {
    const ObjectPtr scheduler = m_engine->scheduler();
    if (!scheduler) return;
    const std::string key = eventTimingKey(event);
    std::vector<std::string> live;
    try {
        for (const EventRecord& e : readScheduleEvents(*scheduler))
            live.push_back(eventTimingKey(e));
    } catch (const AutomationError& e) {
        LogStatus("LS0164:ERROR:F00:setEventTiming() " + e.logText());
        return;
    }
    // A refused change (a conflict) leaves the schedule, and so the options
    // of its events, as they were.
    if (std::find(live.begin(), live.end(), key) == live.end()) return;
    // An edited event's old options go with those of the events no longer
    // scheduled.
    if (!m_eventTiming.set(key, timing, live))
        LogStatus("LS0165:ERROR:F00:setEventTiming() " + m_eventTiming.lastError());
}

void VesperCore::setProfileName(const std::string& name) {
    if (name == m_sProfileName) return;
    m_sProfileName = name;
    m_engine->ProfileChanged();
}
void VesperCore::TunerStart() { m_tuner->TunerStart(); }
void VesperCore::TunerStp() { m_tuner->TunerStp(); }
void VesperCore::TunerSetPreview(const std::string& state) { m_tuner->TunerSetPreview(state); }
void VesperCore::TunerInitPreview(const std::string& hwnd, const std::string& left, const std::string& top,
                                  const std::string& width, const std::string& height, const std::string& state) {
    m_tuner->TunerInitPreview(hwnd, left, top, width, height, state);
}

// --- the way out -----------------------------------------------------------------

void VesperCore::endProgram(EndReason reason, const std::function<void()>& save) {
    if (m_ended) return;
    m_ended = true;
    m_endReason = reason;
    // Nothing may start while the program goes, and senders see at once that
    // nobody takes documents any more.
    Timer1->stop();
    Timer2->stop();
    if (m_handOver) m_handOver->close();
    m_guide->stop();
    delete m_remote;
    m_remote = nullptr;
    // What the program saves (its clean-exit marker, its settings when they
    // are valid) is the caller's; a discarded program saves nothing.
    if (reason != EndReason::Discard && save) guarded("saving the settings", save);
    if (ObjectPtr scheduler = m_engine->scheduler()) {
        const bool keep = reason != EndReason::Discard && reason != EndReason::FailureExit;
        if (keep && (m_bSettingsValid || reason == EndReason::Test)) {
            try {
                scheduler->call("IPersistentSave");
            } catch (const AutomationError& e) {
                // Too late for a message: the session may be ending.
                std::fprintf(stderr, "vesper: the schedule was not saved: %s\n", e.logText().c_str());
            }
        }
        m_engine->setScheduler(nullptr);
    }
    guarded("closing the TV window", [this] { m_view.unloadTvWindow(); });
    // A recording still running ends properly, so that its file is complete.
    guarded("ending the recording", [this] { m_engine->EndRecordingForExit(); });
    // Runs of back-to-back events are cut apart before the program goes.
    guarded("cutting the recordings", [this] { m_cutter->finish(); });
    guarded("releasing the tuner", [this] { m_tuner->TunerRelease(); });
    guarded("releasing the encoder", [this] { m_encoder->EncoderRelease(); });
    m_program.g_bAppUnloading = true;
}

} // namespace vesper
