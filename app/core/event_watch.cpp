#include "app/core/event_watch.h"

#include "app/core/output_files.h"
#include "app/core/settings_store.h"
#include "app/core/status_log.h"

#include "platform/clock.h"

#include <QString>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <regex>
#include <unistd.h>

namespace vesper {

namespace {

long long secs(DateTime dt) { return toSeconds(dt); }

std::string clockText(DateTime dt) { return formatDate(dt, "hh:mm:ss AMPM"); }

std::string megabytes(double bytes) { return std::to_string((long long)std::llround(bytes / 1e6)) + " MB"; }

// On unless switched off in so many words ("False", "0").
bool flag(const char* name) {
    const std::string text = RegGetSetting2(kWatchKey, name, "True");
    return !(text == "0" || QString::fromStdString(text).compare("False", Qt::CaseInsensitive) == 0);
}

// Whether a new file can be made in the folder; empty when it can.
std::string folderUnwritable(const std::string& folder) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    path += ".vesper-write-check-" + std::to_string(::getpid());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return std::strerror(errno);
    ::close(fd);
    ::unlink(path.c_str());
    return {};
}

long long fileSize(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? -1 : (long long)size;
}

// Device busy or missing: worth trying again while the event lasts.
bool deviceCode(int32_t code) {
    const auto c = uint32_t(code);
    return c == 0x80040205u || c == 0x80040201u || c == 0x80040202u;
}

} // namespace

WatchSettings WatchSettings::load() {
    WatchSettings s;
    s.preEventCheck = flag("bPreEventCheck");
    s.recordingWatch = flag("bRecordingWatch");
    s.notify = flag("bNotify");
    s.retry = flag("bRetry");
    s.sleepWatch = flag("bSleepWatch");
    s.failedList = flag("bFailedList");
    return s;
}

double profileBitRate(const std::string& profileName) {
    if (profileName == "H.264 Medium") return 384000;
    if (profileName == "H.264 High") return 768000;
    static const std::regex rate(R"(\(([0-9]+(?:\.[0-9]+)?) (Kbps|Mbps)\))");
    std::smatch m;
    if (!std::regex_search(profileName, m, rate)) return 0;
    return std::stod(m[1].str()) * (m[2].str() == "Mbps" ? 1e6 : 1e3);
}

std::string startFailureText(int32_t code) {
    switch (uint32_t(code)) {
    case 0: return "the encoder did not start";
    case 0x80040201u: return "the video device is missing";
    case 0x80040202u: return "the audio device is missing";
    case 0x80040203u: return "the encoder does not know the chosen profile";
    case 0x80040204u:
        return "the recording's file cannot be created (a folder that is missing or not writable, or "
               "a full disk)";
    case 0x80040205u: return "the TV card is in use by another program or cannot deliver";
    default: {
        char buf[64];
        std::snprintf(buf, sizeof buf, "the encoder did not start (code %X)", uint32_t(code));
        return buf;
    }
    }
}

EventWatch::EventWatch(WatchProbe& probe, WatchSettings settings, const std::string& listPath)
    : m_probe(probe), m_settings(settings), m_list(listPath) {}

void EventWatch::log(const std::string& code, const std::string& text) {
    LogStatus(code + ":W00:Watch() " + text);
    std::fprintf(stderr, "vesper: %s\n", text.c_str());
}

void EventWatch::notice(const std::string& summary, const std::string& body) {
    if (onNotice) onNotice({summary, body});
}

long long EventWatch::listEntry(const std::string& name, DateTime start, DateTime end, int16_t channel, bool missed,
                                const std::string& reason, const std::string& action) {
    if (!m_settings.failedList) return 0;
    watch::FailedEvent e;
    e.when = now();
    e.start = start;
    e.end = end;
    e.channel = channel;
    e.name = name;
    e.missed = missed;
    e.reason = reason;
    e.action = action;
    const long long id = m_list.add(e);
    if (!id) log("LS0159:ERROR", m_list.lastError());
    if (onListChanged) onListChanged();
    return id;
}

void EventWatch::updateEntry() {
    if (!m_rec.entry) return;
    std::string action;
    for (const std::string& d : m_rec.done)
        action += (action.empty() ? "" : "; ") + d;
    if (!m_list.setAction(m_rec.entry, action)) log("LS0159:ERROR", m_list.lastError());
    if (onListChanged) onListChanged();
}

// --- the check before an event ----------------------------------------------------

bool EventWatch::beforeAnEvent(const RecordingEngine& engine) const {
    if (engine.m_bRecording || engine.m_dtNextStart == 0) return false;
    const long long T = secs(now()), start = secs(engine.m_dtNextStart);
    return T < start && T >= start - kPreEventCheckSeconds;
}

std::vector<std::string> EventWatch::checkFailures(RecordingEngine& engine) {
    std::vector<std::string> failures;
    if (std::string why = m_probe.devicesOpen(); !why.empty()) failures.push_back(why);
    if (std::string why = m_probe.tunerTakes(engine.m_nNextChannel); !why.empty()) failures.push_back(why);
    const std::string folder = engine.m_sOutputFolder;
    if (std::string why = folderUnwritable(folder); !why.empty())
        failures.push_back("the recordings folder " + folder + " cannot be written to (" + why + ")");
    const double length = double(secs(engine.m_dtNextEnd) - secs(engine.m_dtNextStart));
    const double need = m_probe.bitRate() / 8.0 * length + kLowDiskBytes;
    const double free = m_probe.freeBytes(folder);
    if (free < need)
        failures.push_back("the disk has " + megabytes(std::max(free, 0.0)) + " free, the recording needs about " +
                           megabytes(need) + " with the reserve");
    return failures;
}

void EventWatch::preEventCheck(RecordingEngine& engine, long long T) {
    if (!beforeAnEvent(engine)) return;
    const long long start = secs(engine.m_dtNextStart);
    if (start != m_checkedStart) {
        m_checkedStart = start;
        m_nextCheck = T;
        m_checkFailing.clear();
    }
    if (T < m_nextCheck) return;
    m_nextCheck = T + kRecheckSeconds;
    std::string reasons;
    for (const std::string& f : checkFailures(engine))
        reasons += (reasons.empty() ? "" : "; ") + f;
    const std::string name = engine.nextFileName();
    const std::string when = formatDate(engine.m_dtNextStart, "hh:mm AMPM");
    if (!reasons.empty() && reasons != m_checkFailing) {
        log("LS0150:ERROR", "the check before " + name + " failed: " + reasons);
        notice("May not record: " + name, "Starts at " + when + " on channel " + std::to_string(engine.m_nNextChannel) +
                                              ", but " + reasons + ". Vesper checks again each minute.");
    } else if (reasons.empty() && !m_checkFailing.empty()) {
        log("LS0151:INFO", "the check before " + name + " passes again");
        notice("Ready to record: " + name, "The problem found before " + when + " is gone.");
    }
    m_checkFailing = reasons;
}

// --- the running recording ------------------------------------------------------------

void EventWatch::recordingStarted(const RecordingEngine& engine, const std::string& outputFile, bool started,
                                  int32_t code) {
    const long long T = secs(now());
    if (!m_rec.active || secs(m_rec.start) != secs(engine.recordingStart())) {
        m_rec = Running{};
        m_rec.active = true;
        m_rec.start = engine.recordingStart();
        m_rec.end = engine.recordingEnd();
        m_rec.channel = engine.m_nNextChannel;
        m_rec.name = engine.recordingFileName();
    }
    m_rec.file = outputFile;
    m_rec.lastSize = -1;
    m_rec.lastGrowth = T;
    m_rec.signalChecked = false;
    if (started && code == 0) {
        m_rec.segmentStart = now();
        if (!m_rec.failing.empty()) {
            log("LS0153:INFO",
                m_rec.name + ": recording again (retry " + std::to_string(m_rec.retries) + ") into " + outputFile);
            m_rec.done.push_back("recording again from " + clockText(now()) + " into " + outputFile);
            updateEntry();
            notice("Recording again: " + m_rec.name, "Vesper records the rest of the event into " + outputFile + ".");
            m_rec.failing.clear();
        }
        return;
    }
    fail(startFailureText(code), deviceCode(code), false, T + kRetrySeconds);
}

void EventWatch::fail(const std::string& reason, bool retriable, bool wasRecording, long long retryAt) {
    const bool retry = retriable && m_settings.retry && retryAt < secs(m_rec.end);
    if (wasRecording)
        m_rec.done.push_back("recorded from " + clockText(m_rec.segmentStart) + " to " + clockText(now()) + " into " +
                             m_rec.file);
    if (m_rec.failing.empty()) {
        log("LS0152:ERROR", m_rec.name + ": " + reason);
        m_rec.done.push_back(retry ? "retrying every 10 s" : "not retried");
        if (!m_rec.entry) {
            std::string action;
            for (const std::string& d : m_rec.done)
                action += (action.empty() ? "" : "; ") + d;
            m_rec.entry = listEntry(m_rec.name, m_rec.start, m_rec.end, m_rec.channel, false, reason, action);
        } else {
            updateEntry();
        }
        const std::string body =
            reason + "." +
            (retry ? " Vesper tries again every 10 seconds until " + formatDate(m_rec.end, "hh:mm AMPM") + "." : "");
        notice((wasRecording ? "Recording failed: " : "Not recording: ") + m_rec.name, body);
    } else {
        log("LS0154:ERROR", m_rec.name + ": retry " + std::to_string(m_rec.retries) + " failed: " + reason);
        if (!m_rec.done.empty() && m_rec.done.back().rfind("retries: ", 0) == 0) m_rec.done.pop_back();
        m_rec.done.push_back("retries: " + std::to_string(m_rec.retries));
        updateEntry();
    }
    m_rec.failing = reason;
    m_rec.retriable = retry;
    m_rec.nextRetry = retryAt;
}

void EventWatch::watchRecording(long long T) {
    if (!m_rec.failing.empty()) {
        if (!m_rec.retriable || T < m_rec.nextRetry || T >= secs(m_rec.end)) return;
        ++m_rec.retries;
        m_rec.nextRetry = T + kRetrySeconds;
        log("LS0155:INFO", m_rec.name + ": retry " + std::to_string(m_rec.retries));
        m_probe.restartRecording();
        return;
    }
    if (!m_settings.recordingWatch) return;
    const RecordingFault fault = m_probe.recordingFault();
    if (fault.failed()) {
        // A full disk takes no retry: the low-disk guard decides about it.
        fail(fault.text.empty() ? "the encoder stopped" : fault.text, fault.number != 61, true, T);
        return;
    }
    const long long size = fileSize(m_rec.file);
    if (size > m_rec.lastSize) {
        m_rec.lastSize = size;
        m_rec.lastGrowth = T;
    } else if (T - m_rec.lastGrowth >= kNoGrowthSeconds) {
        fail("the recording's file has not grown for " + std::to_string(kNoGrowthSeconds) + " seconds", true, true, T);
        return;
    }
    if (!m_rec.signalChecked && T - secs(m_rec.segmentStart) >= 2) {
        m_rec.signalChecked = true;
        if (m_probe.signalPresent() == 0) {
            const std::string reason = "there is no signal on channel " + std::to_string(m_rec.channel);
            log("LS0156:ERROR", m_rec.name + ": " + reason);
            m_rec.done.push_back("recording goes on regardless");
            if (!m_rec.entry)
                m_rec.entry = listEntry(m_rec.name, m_rec.start, m_rec.end, m_rec.channel, false, reason,
                                        "recording goes on regardless");
            else
                updateEntry();
            notice("No signal: " + m_rec.name, "There is no signal on channel " + std::to_string(m_rec.channel) +
                                                   ": the recording shows snow and silence. Check the aerial or "
                                                   "the channel.");
        }
    }
}

void EventWatch::recordingStopped(const RecordingEngine&) {
    if (!m_rec.active) return;
    if (m_rec.entry) {
        if (m_rec.failing.empty())
            m_rec.done.push_back("recorded from " + clockText(m_rec.segmentStart) + " to " + clockText(now()) +
                                 " into " + m_rec.file);
        else
            m_rec.done.push_back("not recorded from then to the event's end");
        updateEntry();
    }
    m_rec = Running{};
}

void EventWatch::cancelledForLowDisk(const RecordingEngine& engine) {
    const std::string reason = "the disk has less than " + megabytes(kLowDiskBytes) + " free";
    const std::string name = engine.nextFileName();
    log("LS0157:ERROR", name + ": " + reason + "; the event was cancelled");
    if (m_rec.active && m_rec.entry) {
        m_rec.done.push_back("cancelled at " + clockText(now()) + ": " + reason);
        updateEntry();
    } else {
        listEntry(name, engine.m_dtNextStart, engine.m_dtNextEnd, engine.m_nNextChannel, false, reason,
                  "the event was cancelled");
    }
    notice("Recording cancelled: " + name, "The disk is full (" + reason + "). Make room or choose another folder.");
}

// --- sleep and clock jumps -------------------------------------------------------------

void EventWatch::clockMoved(const RecordingEngine& engine, DateTime from, DateTime to, bool asleep) {
    if (!m_settings.sleepWatch || engine.m_dtNextStart == 0) return;
    const long long start = secs(engine.m_dtNextStart);
    if (!(secs(from) < start && start <= secs(to)) || m_missed.count(start)) return;
    m_missed.insert(start);
    const std::string name = engine.nextFileName();
    const std::string reason = (asleep ? "the computer was asleep at the start (from "
                                       : "the clock moved forward past "
                                         "the start (from ") +
                               clockText(from) + " to " + clockText(to) + ")";
    const bool rest = secs(to) < secs(engine.m_dtNextEnd);
    const std::string action = rest ? "recording the rest from " + clockText(to) : "the event had ended";
    log("LS0158:ERROR", name + ": missed: " + reason);
    listEntry(name, engine.m_dtNextStart, engine.m_dtNextEnd, engine.m_nNextChannel, true, reason, action);
    notice("Missed the start: " + name,
           reason + "." +
               (rest ? " Vesper records the rest until " + formatDate(engine.m_dtNextEnd, "hh:mm AMPM") + "." : ""));
}

// --- the tick ----------------------------------------------------------------------------

void EventWatch::tick(RecordingEngine& engine) {
    if (engine.busy() || engine.m_bSettingNextEvent || engine.m_bHoldSchedule) return;
    const long long T = secs(now());
    if (engine.m_bRecording && m_rec.active)
        watchRecording(T);
    else if (m_settings.preEventCheck)
        preEventCheck(engine, T);
}

} // namespace vesper
