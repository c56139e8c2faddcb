// The rules of the start-up and shut-down, without a window: the checkpoints
// of the start-up trace, the stored values it restores, the device block, the
// clean-exit marker, the interrupted recording and the exit button's rule.
#pragma once

#include "app/core/program.h"

#include <optional>
#include <string>
#include <vector>

namespace vesper {

// The switch of the start-up trace's log.
inline constexpr const char* kAppInit = "bLogStatusAppInit";

// A whole number with leading blanks and nothing after it; nullopt otherwise.
std::optional<long> wholeNumber(const std::string& text);

// "LS0008:INFO:F00:Form_Load():OK01" ... "LS0036:INFO:F00:Form_Load():OK29 - All Ok".
std::string checkpointMessage(int n);
// Logs a checkpoint on the start-up trace.
void Checkpoint(int n);

// Reads the clean-exit marker of this version: missing or "True" means the
// last run ended normally, and "False" is stored until this run ends so.
bool ReadCleanExitMarker(const std::string& markerName);

// A stored window coordinate (twips): negative, beyond the screen or not a
// number falls back to 5.
int windowCoordinate(const std::string& stored, int screenExtentTwips);

// A stored channel outside 2..181 (or not a number) becomes "2", and the
// stored text with it.
std::string RestoreChannel(const char* valueName);
// A tuner property read as "<not_exist>" (in any case) reads again as "Default".
std::string RestoreTunerProperty(const char* valueName);

// What the device block needs from the rest of the program.
class DeviceBlockHost {
public:
    virtual ~DeviceBlockHost() = default;
    virtual std::vector<std::string> deviceList(const std::string& typeName) = 0;
    virtual void readProfiles() = 0;
    virtual void restoreTuner() = 0; // tuner properties, channel, video input, plug-in
    virtual bool probePairs(const std::vector<std::string>& videos, const std::vector<std::string>& audios,
                            std::string& video, std::string& audio) = 0;
    virtual bool bringUp(const std::string& video, const std::string& audio) = 0; // modTuner Default
    virtual void createDefaultOutputFolder() = 0;
    virtual void fillDeviceBoxes(const std::vector<std::string>& videos, const std::vector<std::string>& audios,
                                 const std::string& video, const std::string& audio) = 0;
};

// The devices and tuner part of the start-up, checkpoints OK07 to OK16.
enum class DeviceOutcome { Ok, SavedPairFailed, NoVideo, NoAudio, TunerFailed };
struct DeviceBlockResult {
    DeviceOutcome outcome = DeviceOutcome::Ok;
    std::string video, audio; // the pair in use
    std::vector<std::string> videos, audios;
};
DeviceBlockResult RunDeviceBlock(DeviceBlockHost& host, bool firstRun);
// "n2", "n3", "n4" for the fatal outcomes, else empty.
std::string noticeCode(DeviceOutcome outcome);

// Completes the file that a run cut off by a crash or a kill was recording
// (rebuilt by the encoder engine as vesper-repair does), logs it and forgets
// it. Nothing when no recording was cut off.
void CompleteInterruptedRecording(Program& program);

// The exit button's rule.
enum class ExitDecision { Refuse, Ask, Unload, Defer };
ExitDecision cmdExitDecision(bool recording, bool settingNextEvent, bool exitWarning);

} // namespace vesper
