#include "app/core/startup_rules.h"

#include "app/core/settings_store.h"
#include "app/core/status_log.h"

#include "platform/errors.h"
#include "platform/registry.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>

namespace vesper {

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

} // namespace

std::optional<long> wholeNumber(const std::string& text) {
    long v = 0;
    const char* b = text.data();
    const char* e = b + text.size();
    while (b < e && *b == ' ')
        ++b;
    const auto r = std::from_chars(b, e, v);
    if (r.ec != std::errc() || r.ptr != e) return std::nullopt;
    return v;
}

std::string checkpointMessage(int n) {
    char buf[64];
    if (n == 29) return "LS0036:INFO:F00:Form_Load():OK29 - All Ok";
    std::snprintf(buf, sizeof buf, "LS%04d:INFO:F00:Form_Load():OK%02d", 7 + n, n);
    return buf;
}

void Checkpoint(int n) { LogStatus(checkpointMessage(n), kAppInit); }

bool ReadCleanExitMarker(const std::string& markerName) {
    const std::string v = RegGetSetting2(settings::key::Status, markerName, settings::kNotExist);
    if (v == "False") return false;
    // Missing, "True", or anything this program never wrote: a normal end,
    // and "False" until this run ends normally.
    RegSaveSetting2(settings::key::Status, markerName, "False");
    return true;
}

int windowCoordinate(const std::string& stored, int screenExtentTwips) {
    const auto v = wholeNumber(stored);
    if (!v || *v < 0 || *v > screenExtentTwips) return 5;
    return static_cast<int>(*v);
}

std::string RestoreChannel(const char* valueName) {
    const std::string stored = RegGetSetting2(settings::key::TunerProperties, valueName, "2");
    const auto v = wholeNumber(stored);
    if (v && *v >= kLowestChannel && *v <= kHighestChannel) return std::to_string(*v);
    RegSaveSetting2(settings::key::TunerProperties, valueName, "2");
    return "2";
}

std::string RestoreTunerProperty(const char* valueName) {
    // A stored "<NOT_EXIST>" is no property either.
    const std::string v = RegGetSetting2(settings::key::TunerProperties, valueName, settings::kNotExist);
    return lower(v) == settings::kNotExist ? "Default" : v;
}

DeviceBlockResult RunDeviceBlock(DeviceBlockHost& host, bool firstRun) {
    DeviceBlockResult r;
    r.videos = host.deviceList("Video Capture Device");
    if (r.videos.empty()) {
        LogStatus("LS0043:ERROR:F00:Form_Load():n2:No Video Capture Device detected.");
        r.outcome = DeviceOutcome::NoVideo;
        return r;
    }
    Checkpoint(7);
    r.audios = host.deviceList("Audio Capture Device");
    if (r.audios.empty()) {
        LogStatus("LS0044:ERROR:F00:Form_Load():n3:No Audio Capture Device detected.");
        r.outcome = DeviceOutcome::NoAudio;
        return r;
    }
    Checkpoint(8);
    host.readProfiles();
    Checkpoint(9);
    host.restoreTuner();
    Checkpoint(10);
    if (firstRun) {
        host.createDefaultOutputFolder();
        const bool found = host.probePairs(r.videos, r.audios, r.video, r.audio);
        Checkpoint(11);
        if (!found) {
            LogStatus("LS0045:ERROR:F00:Form_Load():n4:TV Tuner device(s) failed to initialize.");
            r.outcome = DeviceOutcome::TunerFailed;
            return r;
        }
        Checkpoint(12);
        host.bringUp(r.video, r.audio);
        Checkpoint(13);
    } else {
        r.video = RegGetSetting2(settings::VideoSource);
        r.audio = RegGetSetting2(settings::AudioSource);
        const bool up = host.bringUp(r.video, r.audio);
        Checkpoint(14);
        if (!up) {
            LogStatus("LS0046:ERROR:F00:Form_Load():Current device settings failed to initialize. :(");
            r.outcome = DeviceOutcome::SavedPairFailed;
        }
    }
    Checkpoint(15);
    host.fillDeviceBoxes(r.videos, r.audios, r.video, r.audio);
    Checkpoint(16);
    return r;
}

std::string noticeCode(DeviceOutcome outcome) {
    switch (outcome) {
    case DeviceOutcome::NoVideo: return "n2";
    case DeviceOutcome::NoAudio: return "n3";
    case DeviceOutcome::TunerFailed: return "n4";
    default: return {};
    }
}

void CompleteInterruptedRecording(Program& program) {
    const std::string path = RegGetSetting2(settings::sRecordingFile);
    if (path.empty()) return;
    // Forgotten first: a file that cannot be mended must not stop every
    // later start.
    RegSaveSetting2(settings::sRecordingFile, "");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return; // its start failed, or the user moved it
    std::string outcome;
    try {
        ObjectPtr engine = program.createObject("WMEncEng.WMEncoder");
        if (!engine) raiseError(err::CannotCreateObject, "Vesper");
        Args a{Variant(path)};
        outcome = engine->call("RepairFile", a).toBool() ? "completed" : "already complete";
        LogStatus("LS0132:INFO:F00:Form_Load():interrupted recording " + outcome + ": " + path);
    } catch (const AutomationError& e) {
        outcome = "not completed (" + e.logText() + ")";
        LogStatus("LS0133:ERROR:F00:Form_Load():interrupted recording not completed: " + path + " - " + e.logText());
    }
    std::fprintf(stderr, "vesper: the recording cut off by the last run's end was %s: %s\n", outcome.c_str(),
                 path.c_str());
}

ExitDecision cmdExitDecision(bool recording, bool settingNextEvent, bool exitWarning) {
    if (recording && !settingNextEvent) return ExitDecision::Refuse;
    if (exitWarning) return ExitDecision::Ask;
    return settingNextEvent ? ExitDecision::Defer : ExitDecision::Unload;
}

} // namespace vesper
