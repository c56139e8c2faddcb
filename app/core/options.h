// The options the user sets in the main window (the Options tab, the TV
// window, the recording and device choices), each declared once: its stored
// value, how the value is written, the control it belongs to, and whether a
// click stores it at once. Start-up reads them through this table, the window
// binds its controls through it, and unload writes them back through it.
#pragma once

#include "app/core/settings_layout.h"

#include <map>
#include <string>

namespace vesper {

// How a value is written: "True"/"False", "1"/"0", or text as it stands.
enum class SettingForm { TrueFalse, ZeroOne, Text };

struct OptionSetting {
    settings::Setting setting;
    SettingForm form;
    const char* control; // the object name of the control that shows it
    bool storedOnClick;  // written as soon as the user changes it
};

inline constexpr OptionSetting kOptionSettings[] = {
    {settings::chkAppExitWarning, SettingForm::ZeroOne, "chkAppExitWarning", true},
    {settings::chkTVSizePosition, SettingForm::ZeroOne, "chkTVSizePosition", true},
    {settings::optAttachTvWindow, SettingForm::TrueFalse, "optAttachTvWindow", false},
    {settings::optTunOffTvWindow, SettingForm::TrueFalse, "optTunOffTvWindow", false},
    {settings::chkOverwriteFiles, SettingForm::TrueFalse, "chkOverwriteFiles", false},
    {settings::chkExtChangeChnl, SettingForm::ZeroOne, "chkExtChangeChnl", false},
    {settings::optTuner, SettingForm::TrueFalse, "optTuner", false},
    {settings::optComposite1, SettingForm::TrueFalse, "optComposite1", false},
    {settings::optSVideo, SettingForm::TrueFalse, "optSVideo", false},
    {settings::VideoSource, SettingForm::Text, "cmbVideoSource", false},
    {settings::AudioSource, SettingForm::Text, "cmbAudioSource", false},
    {settings::ProfileName, SettingForm::Text, "cmbEncodingProfileName", false},
    {settings::OutputLocation, SettingForm::Text, "txtOutputDir", false},
};

// The table's row of a control; null when the control has no stored option.
const OptionSetting* optionForControl(const std::string& control);

// The options' current values, by control name. Each starts at its
// declared default.
class Options {
public:
    Options();

    bool flag(const char* control) const;
    std::string text(const char* control) const;
    void setFlag(const char* control, bool value);
    void setText(const char* control, const std::string& value);
    // The user clicked the control: its value is written at once when its
    // row says so.
    void clicked(const char* control) const;

    // Reads the stored values of the rows listed (all when empty). The TV
    // window's two choices exclude each other: "attach" wins.
    void load(std::initializer_list<const char*> controls = {});
    // Writes every value.
    void save() const;

private:
    void store(const OptionSetting& row) const;
    std::map<std::string, std::string> m_values; // stored form
};

} // namespace vesper
