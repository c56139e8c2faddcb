// No silent failures: a check some minutes before each event, a watch over
// the running recording, retries of a start or a recording that failed, and
// the events missed while the computer slept or its clock jumped. Every
// failure is notified (through `onNotice`), logged and kept in the list of
// failed recordings. A plain class on the program's clock; the core's tick
// drives it, and what it needs of the devices goes through WatchProbe.
#pragma once

#include "app/core/recording_engine.h"

#include "platform/dates.h"
#include "platform/watch/failed_events.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace vesper {

// The settings, under our own key "\Watch" of the product key; each feature
// is on unless its value says "False".
struct WatchSettings {
    bool preEventCheck = true;  // bPreEventCheck
    bool recordingWatch = true; // bRecordingWatch
    bool notify = true;         // bNotify: desktop notifications (else the status line and standard error)
    bool retry = true;          // bRetry
    bool sleepWatch = true;     // bSleepWatch: the lock against sleep, missed starts
    bool failedList = true;     // bFailedList

    static WatchSettings load();
};
inline constexpr const char* kWatchKey = "\\Watch";

// The check runs this long before an event's start, then each minute.
inline constexpr int kPreEventCheckSeconds = 300;
inline constexpr int kRecheckSeconds = 60;
inline constexpr int kRetrySeconds = 10;
inline constexpr int kNoGrowthSeconds = 15;

// An error the running encoder raised (its number and words), none while it writes.
struct RecordingFault {
    int32_t number = 0;
    std::string text;
    bool failed() const { return number != 0 || !text.empty(); }
};

// What the watch asks of the program around it.
class WatchProbe {
public:
    virtual ~WatchProbe() = default;
    // Empty when the chosen video and audio devices open (or are already ours).
    virtual std::string devicesOpen() = 0;
    // Empty when the tuner takes the channel, or when it cannot be tried now.
    virtual std::string tunerTakes(int16_t channel) = 0;
    virtual double freeBytes(const std::string& folder) = 0;
    // The chosen profile's bits a second; 0 when unknown.
    virtual double bitRate() = 0;
    virtual RecordingFault recordingFault() = 0;
    // The tuned channel's signal: 1 yes, 0 no, -1 cannot tell.
    virtual int signalPresent() = 0;
    // Starts the running event's recording again; false when it cannot now.
    virtual bool restartRecording() = 0;
};

struct WatchNotice {
    std::string summary;
    std::string body;
};

class EventWatch : public RecordingObserver {
public:
    explicit EventWatch(WatchProbe& probe, WatchSettings settings = WatchSettings::load(),
                        const std::string& listPath = {});

    const WatchSettings& settings() const { return m_settings; }
    watch::FailedEventList& list() { return m_list; }

    // Each notice, once; the caller shows it.
    std::function<void(const WatchNotice&)> onNotice;
    // The list of failed recordings changed.
    std::function<void()> onListChanged;

    // The core's tick, after the engine's. Never waits.
    void tick(RecordingEngine& engine);
    // Before the engine's tick: a move of the wall clock from `from` to `to`
    // (asleep: the computer slept meanwhile) that passed the next event's start.
    void clockMoved(const RecordingEngine& engine, DateTime from, DateTime to, bool asleep);
    // From the check before the next event until its start.
    bool beforeAnEvent(const RecordingEngine& engine) const;

    // RecordingObserver
    void recordingStarted(const RecordingEngine& engine, const std::string& outputFile, bool started,
                          int32_t code) override;
    void recordingStopped(const RecordingEngine& engine) override;
    void cancelledForLowDisk(const RecordingEngine& engine) override;

private:
    struct Running {
        bool active = false;
        DateTime start = 0, end = 0;
        int16_t channel = 0;
        std::string name, file;
        long long entry = 0; // in the list, once something failed
        std::vector<std::string> done;
        std::string failing; // the failure being retried
        bool retriable = false;
        long long nextRetry = 0;
        int retries = 0;
        DateTime segmentStart = 0;
        long long lastSize = -1;
        long long lastGrowth = 0;
        bool signalChecked = false;
    };

    void preEventCheck(RecordingEngine& engine, long long T);
    std::vector<std::string> checkFailures(RecordingEngine& engine);
    void watchRecording(long long T);
    void fail(const std::string& reason, bool retriable, bool wasRecording, long long retryAt);
    void updateEntry();
    long long listEntry(const std::string& name, DateTime start, DateTime end, int16_t channel, bool missed,
                        const std::string& reason, const std::string& action);
    void notice(const std::string& summary, const std::string& body);
    void log(const std::string& code, const std::string& text);

    WatchProbe& m_probe;
    WatchSettings m_settings;
    watch::FailedEventList m_list;
    Running m_rec;
    // The check before the next event.
    long long m_checkedStart = 0;
    long long m_nextCheck = 0;
    std::string m_checkFailing;
    // Starts already listed as missed.
    std::set<long long> m_missed;
};

// The bits a second a profile name tells ("(384 Kbps)", "(1.5 Mbps)"; the
// H.264 profiles as the Medium and High they match); 0 when it does not.
double profileBitRate(const std::string& profileName);

// An IStart code in plain words.
std::string startFailureText(int32_t code);

} // namespace vesper
