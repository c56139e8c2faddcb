// The tuner client: the main program's only path to the capture command object
// "Capgraph.Command" and to the change-channel plug-in "Chanplug.clsObject".
// One reference to the command object, brought up lazily with the user's
// settings and the main form's device choice.
#pragma once

#include "app/core/program.h"

#include "platform/automation.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vesper {

// What the tuner client reads from the main form (frmVesper implements it).
class TunerForm {
public:
    virtual ~TunerForm() = default;
    virtual std::string videoSourceText() = 0; // cmbVideoSource text
    virtual std::string audioSourceText() = 0; // cmbAudioSource text
    // Decimal window id of the main window's preview parent.
    virtual std::string mainWindowHandle() = 0;
};

// Restored at start-up, written at shut-down.
struct TunerSettings {
    std::string countryCode = "Default", inputType = "Default", videoStandard = "Default";
    int16_t videoInputIndex = 0;             // 0 tuner, 1 S-Video, 2 composite
    std::string videoInputName = "TV Tuner"; // "TV Tuner", "S-Video", "Composite1"
    bool useExternalPlugin = false;
};

class ModTuner {
public:
    ModTuner(Program& program, TunerForm& form);

    TunerSettings settings;
    ObjectPtr m_oTuner;

    // InitTuner with the form's current device choice.
    bool InitTunerFromForm();
    // The bring-up: Init, tuner properties, channel, preview, video input.
    // Errors are logged (LS0054) and give false; never raises.
    bool InitTuner(const std::string& video, const std::string& audio);
    // InitTuner, then Stop when it succeeded. Never raises.
    bool Default(const std::string& video, const std::string& audio);
    // Tries the pairs video-major up to the first empty name of each list.
    bool ProbeDevicePairs(const std::vector<std::string>& videos, const std::vector<std::string>& audios,
                          std::string& chosenVideo, std::string& chosenAudio);
    // Tunes the card, and the plug-in when enabled. Never raises.
    void SetChnl(int16_t channel);
    // Releases the capture state and drops the object (also when Release fails).
    void TunerRelease();

    // These four do not trap errors: an AutomationError reaches the caller.
    void TunerStart();
    void TunerStp();
    void TunerSetPreview(const std::string& state);
    void TunerSetVideoInput(const std::string& index);

    // Forwarded to the object; without an object they do nothing.
    void TunerInitPreview(const std::string& hwnd, const std::string& left, const std::string& top,
                          const std::string& width, const std::string& height, const std::string& state);
    void TunerResizePreview(const std::string& width, const std::string& height);

private:
    // Calls a member of the command object with text arguments; its answer.
    std::string command(const char* member, std::vector<std::string> texts);

    Program& m_program;
    TunerForm& m_form;
};

// Waits the elapsed time while the user interface processes its events.
void WaitSeconds(int16_t seconds);

// True when a "Chanplug.clsObject" can be created (the object is dropped).
bool ChangeChannelPluginDetected(Program& program);

// The leading number of a text, as the classic Val reads it ("12abc" is 12,
// "abc" is 0); clipped to the 32-bit range.
long leadingNumber(const std::string& text);

} // namespace vesper
