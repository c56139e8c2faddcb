// Every settings value of the main program: its key under the product root,
// its name and its default, spelt once. Callers read and write through
// RegGetSetting2 / RegSaveSetting2 with these.
#pragma once

#include "platform/handover/main_program_keys.h"

#include <string>

namespace vesper::settings {

// The product key under HKEY_CURRENT_USER.
inline constexpr const char* kRoot = mainprogram::kSettingsRoot;

// Sentinels: a default that tells an absent value from any stored text, and
// the device name stored when the user chose none.
inline constexpr const char* kNotExist = "<not_exist>";
inline constexpr const char* kNotSpecified = "<not_specified>";

// A value: relative key (with its leading backslash), value name, default.
// An empty default means "none" (callers pass kNotExist or their own).
struct Setting {
    const char* key;
    const char* name;
    const char* defaultValue;
};

namespace key {
inline constexpr const char* Application = "\\Application";
inline constexpr const char* Status = mainprogram::kStatusKey;
inline constexpr const char* Properties = mainprogram::kPropertiesKey;
inline constexpr const char* UI = "\\Application\\UI";
inline constexpr const char* Options = "\\Application\\Options";
inline constexpr const char* StartupPosition = "\\Application\\StartupPosition";
inline constexpr const char* Tuner = "\\Tuner";
inline constexpr const char* TunerProperties = "\\Tuner\\Properties";
inline constexpr const char* TunerCurrentSettings = "\\Tuner\\CurrentSettings";
inline constexpr const char* EncoderCurrentSettings = mainprogram::kEncoderKey;
inline constexpr const char* EPG = "\\EPG";
inline constexpr const char* EPGCustom = "\\EPG\\Custom"; // followed directly by 0 to 3
inline constexpr const char* AddEventCurrentSettings = "\\AddEvent\\CurrentSettings";
inline constexpr const char* AddEventRecordNowCurrentSettings = "\\AddEvent\\RecordNow\\CurrentSettings";
inline constexpr const char* TVWindow = "\\TVWindow";
inline constexpr const char* Recovery = "\\Recovery";
} // namespace key

// "\Application"
inline constexpr Setting CurrentVersion{key::Application, "CurrentVersion", ""};

// "\Application\Status"
inline constexpr Setting bAppLoadFirstTime{key::Status, "bAppLoadFirstTime", "True"};
// The value name is this word followed directly by the version text.
inline constexpr Setting bAppLoadFirstTimeVersion{key::Status, "bAppLoadFirstTimeVersion", "True"};
inline constexpr Setting bAppLoadComplete{key::Status, mainprogram::kAppLoadComplete, ""};
inline constexpr Setting bLogStatus{key::Status, "bLogStatus", "False"};
inline constexpr Setting bLogStatusAppInit{key::Status, "bLogStatusAppInit", "False"};
inline constexpr Setting bLogStatusAppProfile{key::Status, "bLogStatusAppProfile", "False"};
inline constexpr Setting bFormLoadComplete{key::Status, "bFormLoadComplete", "False"};
inline constexpr Setting dtFormLoadNext{key::Status, "dtFormLoadNext", ""};
// The value name is "bExitNormally." followed directly by the version text.
inline constexpr Setting bExitNormally{key::Status, "bExitNormally.", ""};
inline constexpr Setting bReminderNotYetShown{key::Status, "bReminderNotYetShown", ""};

// "\Application\Properties"
inline constexpr Setting AppTitle{key::Properties, "AppTitle", ""};
inline constexpr Setting AppPath{key::Properties, mainprogram::kAppPath, ""};
inline constexpr Setting bSingleProcessorAffinity{key::Properties, "bSingleProcessorAffinity", "True"};

// "\Application\UI"
inline constexpr Setting bHideWelcomeIcon{key::UI, "bHideWelcomeIcon", "False"};
inline constexpr Setting bHideDonateIcon{key::UI, "bHideDonateIcon", "False"};
inline constexpr Setting ColorScheme{key::UI, "ColorScheme", "default"};

// "\Application\Options"
inline constexpr Setting chkAppExitWarning{key::Options, "chkAppExitWarning", "1"};
inline constexpr Setting chkTVSizePosition{key::Options, "chkTVSizePosition", "1"};
inline constexpr Setting optAttachTvWindow{key::Options, "optAttachTvWindow", "False"};
inline constexpr Setting optTunOffTvWindow{key::Options, "optTunOffTvWindow", "True"};

// "\Application\StartupPosition" (twips)
inline constexpr Setting Top{key::StartupPosition, "Top", "5"};
inline constexpr Setting Left{key::StartupPosition, "Left", "5"};

// "\Tuner"
inline constexpr Setting sVideoDeviceName{key::Tuner, "sVideoDeviceName", kNotExist};

// "\Tuner\Properties"
inline constexpr Setting CountryCode{key::TunerProperties, "CountryCode", "Default"};
inline constexpr Setting InputType{key::TunerProperties, "InputType", "Default"};
inline constexpr Setting VideoStandard{key::TunerProperties, "VideoStandard", "Default"};
inline constexpr Setting Channel{key::TunerProperties, "Channel", "2"};
inline constexpr Setting ChannelPrevious{key::TunerProperties, "ChannelPrevious", "2"};

// "\Tuner\CurrentSettings"
inline constexpr Setting optTuner{key::TunerCurrentSettings, "optTuner", "True"};
inline constexpr Setting optComposite1{key::TunerCurrentSettings, "optComposite1", "False"};
inline constexpr Setting optSVideo{key::TunerCurrentSettings, "optSVideo", "False"};
inline constexpr Setting chkExtChangeChnl{key::TunerCurrentSettings, "chkExtChangeChnl", "1"};
inline constexpr Setting VideoSource{key::TunerCurrentSettings, "VideoSource", "Default_Video_Device"};
inline constexpr Setting AudioSource{key::TunerCurrentSettings, "AudioSource", "Default_Audio_Device"};

// "\Encoder\CurrentSettings"; the default of OutputLocation is the
// installation folder followed by "\MyTV" (see defaultOutputLocation()).
inline constexpr Setting OutputLocation{key::EncoderCurrentSettings, "OutputLocation", ""};
inline constexpr const char* kOutputFolderName = "MyTV";
inline constexpr Setting ProfileName{key::EncoderCurrentSettings, mainprogram::kProfileChoice, "Medium"};
inline constexpr Setting Advance{key::EncoderCurrentSettings, mainprogram::kAdvanceProfile,
                                 "Video for broadband NTSC (256 Kbps)"};
inline constexpr Setting chkOverwriteFiles{key::EncoderCurrentSettings, "chkOverwriteFiles", "True"};

// "\EPG" and "\EPG\Custom0" to "\EPG\Custom3" (defaults of the custom links
// are the built-in guide sites of their index).
inline constexpr Setting sPaneState{key::EPG, "sPaneState", "open"};
inline constexpr const char* sCaption = "sCaption";
inline constexpr const char* sToolTipText = "sToolTipText";
inline constexpr const char* sURL = "sURL";
inline constexpr const char* sSelected = "sSelected";
inline constexpr const char* sSelectedDefault = "sURL";
inline constexpr const char* sAppPathName = "sAppPathName";
std::string epgCustomKey(int index);

// "\AddEvent\CurrentSettings": last values of the Add Event dialog. The
// defaults of dblWhen ("now") and dtWhen ("today", "YYYY-MM-DD") are computed
// by the dialog.
inline constexpr Setting AddEventOutput{key::AddEventCurrentSettings, "Output", "default.wmv"};
inline constexpr Setting AddEventChannel{key::AddEventCurrentSettings, "Channel", "2"};
inline constexpr Setting AddEventRepeat{key::AddEventCurrentSettings, "Repeat", "once"};
inline constexpr Setting AddEventStartHour{key::AddEventCurrentSettings, "StartHour", "8"};
inline constexpr Setting AddEventStartMinute{key::AddEventCurrentSettings, "StartMinute", ":00"};
inline constexpr Setting AddEventStartAM{key::AddEventCurrentSettings, "StartAM", "False"};
inline constexpr Setting AddEventStartPM{key::AddEventCurrentSettings, "StartPM", "True"};
inline constexpr Setting AddEventDurationHour{key::AddEventCurrentSettings, "DurationHour", "0"};
inline constexpr Setting AddEventDurationMinute{key::AddEventCurrentSettings, "DurationMinute", ":30"};
inline constexpr Setting AddEventUntilHour{key::AddEventCurrentSettings, "UntilHour", "0"};
inline constexpr Setting AddEventUntilMinute{key::AddEventCurrentSettings, "UntilMinute", ":30"};
inline constexpr Setting AddEventUntilAM{key::AddEventCurrentSettings, "UntilAM", "False"};
inline constexpr Setting AddEventUntilPM{key::AddEventCurrentSettings, "UntilPM", "True"};
inline constexpr Setting AddEventDblWhen{key::AddEventCurrentSettings, "dblWhen", ""};
inline constexpr Setting AddEventDtWhen{key::AddEventCurrentSettings, "dtWhen", ""};
inline constexpr Setting RecordNowChannel{key::AddEventRecordNowCurrentSettings, "Channel", "2"};

// "\TVWindow" (twips)
inline constexpr Setting sTop{key::TVWindow, "sTop", "0"};
inline constexpr Setting sLeft{key::TVWindow, "sLeft", "0"};
inline constexpr Setting sWidth{key::TVWindow, "sWidth", "9000"};
inline constexpr Setting sHeight{key::TVWindow, "sHeight", ""};

// "\Recovery" (our own): the file a recording is writing, from just before
// its start until it has been completed, so that a start after a crash can
// complete what the interrupted run was writing.
inline constexpr Setting sRecordingFile{key::Recovery, "sRecordingFile", ""};

} // namespace vesper::settings
