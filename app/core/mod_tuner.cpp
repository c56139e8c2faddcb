#include "app/core/mod_tuner.h"

#include "app/core/status_log.h"

#include "platform/clock.h"

#include <algorithm>
#include <cctype>
#include <climits>

namespace vesper {

namespace {

constexpr const char* kCaptureProgId = "Capgraph.Command";
constexpr const char* kPluginProgId = "Chanplug.clsObject";

// The preview pane's rectangle in the main window.
constexpr const char* kPaneLeft = "326";
constexpr const char* kPaneTop = "79";
constexpr const char* kPaneWidth = "202";
constexpr const char* kPaneHeight = "152";

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return s;
}

bool isOk(const std::string& answer) { return upper(answer) == "OK"; }

bool isDefault(const std::string& setting) {
    std::string s = setting;
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s == "default";
}

// The tuner procedures' exit lines carry the number and description only.
void logExit(const char* exitText, const ErrorTrap& trap) {
    if (trap.failed()) LogStatus(std::string(exitText) + std::to_string(trap.number()) + ":" + trap.description());
}

[[noreturn]] void noObject() { raiseError(err::ObjectNotSet, "Vesper"); }

// Creates a component through the program's factory; a factory that raises
// counts as no object.
ObjectPtr create(Program& program, const char* progId) {
    try {
        return program.createObject(progId);
    } catch (const std::exception&) {
        return nullptr;
    }
}

} // namespace

long leadingNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        value = std::min<long long>(value * 10 + (text[i] - '0'), LLONG_MAX / 20);
        ++i;
    }
    if (negative) value = -value;
    return static_cast<long>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

ModTuner::ModTuner(Program& program, TunerForm& form) : m_program(program), m_form(form) {}

std::string ModTuner::command(const char* member, std::vector<std::string> texts) {
    if (!m_oTuner) noObject();
    Args args;
    for (auto& t : texts)
        args.emplace_back(std::move(t));
    const Variant answer = m_oTuner->call(member, args);
    if (answer.isOmitted() || answer.type() == Variant::Type::Null) return {};
    return answer.toString();
}

bool ModTuner::InitTunerFromForm() { return InitTuner(m_form.videoSourceText(), m_form.audioSourceText()); }

bool ModTuner::InitTuner(const std::string& video, const std::string& audio) {
    ErrorTrap trap;
    bool result = false;
    // A failing step leaves no object behind.
    auto giveUp = [&](const char* message) {
        LogStatus(message);
        trap.step([&] { TunerRelease(); });
        m_oTuner.reset();
        logExit("LS0054:ERROR:M21:Init() Exit - ", trap);
        return false;
    };

    if (!m_oTuner) m_oTuner = create(m_program, kCaptureProgId);
    if (!m_oTuner) {
        LogStatus("LS0075:ERROR:M21:InitTuner() obj is null");
        return false;
    }

    std::string answer;
    trap.step([&] { answer = command("Init", {video, audio}); });
    if (!isOk(answer)) return giveUp("LS0076:ERROR:M21:InitTuner() Init");

    WaitSeconds(1);

    if (!isDefault(settings.countryCode)) trap.step([&] { command("SetCountryCode", {settings.countryCode}); });
    if (!isDefault(settings.inputType)) trap.step([&] { command("SetInputType", {settings.inputType}); });
    if (!isDefault(settings.videoStandard)) trap.step([&] { command("SetVideoStandard", {settings.videoStandard}); });

    // A stored channel outside the card's range tunes the lowest channel; the
    // stored text stays as it is.
    const long channel = leadingNumber(m_program.g_sChannel);
    const std::string tune =
        channel >= kLowestChannel && channel <= kHighestChannel ? m_program.g_sChannel : std::to_string(kLowestChannel);
    answer.clear();
    trap.step([&] { answer = command("SetChannel", {tune}); });
    if (!isOk(answer)) return giveUp("LS0088:ERROR:M21:InitTuner() SetChnl");

    answer.clear();
    trap.step([&] {
        answer = command("InitPreview", {m_form.mainWindowHandle(), kPaneLeft, kPaneTop, kPaneWidth, kPaneHeight});
    });
    if (!isOk(answer)) return giveUp("LS0077:ERROR:M21:InitTuner() Preview");

    trap.step([&] { TunerSetVideoInput(std::to_string(settings.videoInputIndex)); });
    m_program.g_bPreview = false;
    WaitSeconds(1);
    result = true;
    logExit("LS0054:ERROR:M21:Init() Exit - ", trap);
    return result;
}

bool ModTuner::Default(const std::string& video, const std::string& audio) {
    ErrorTrap trap;
    bool result = false;
    trap.step([&] {
        result = InitTuner(video, audio);
        if (result) command("Stop", {});
    });
    logExit("LS0055:ERROR:M21:Default() Exit - ", trap);
    return result;
}

bool ModTuner::ProbeDevicePairs(const std::vector<std::string>& videos, const std::vector<std::string>& audios,
                                std::string& chosenVideo, std::string& chosenAudio) {
    for (const auto& video : videos) {
        if (video.empty()) break;
        for (const auto& audio : audios) {
            if (audio.empty()) break;
            if (Default(video, audio)) {
                chosenVideo = video;
                chosenAudio = audio;
                return true;
            }
        }
    }
    return false;
}

void ModTuner::SetChnl(int16_t channel) {
    ErrorTrap trap;
    const std::string text = std::to_string(channel);
    if (!m_oTuner) trap.step([&] { InitTunerFromForm(); });
    trap.step([&] { command("SetChannel", {text}); });
    if (settings.useExternalPlugin) {
        // A missing plug-in is silent: the card has been tuned anyway.
        if (ObjectPtr plugin = create(m_program, kPluginProgId)) {
            trap.step([&] {
                Args args{Variant(text)};
                plugin->call("ChangeChannel", args);
            });
        }
    }
    logExit("LS0056:ERROR:M21:SetChnl() Exit - ", trap);
}

void ModTuner::TunerRelease() {
    if (!m_oTuner) return;
    ObjectPtr tuner = std::move(m_oTuner);
    m_oTuner.reset();
    Args none;
    tuner->call("Release", none);
}

void ModTuner::TunerStart() {
    if (!m_oTuner) InitTunerFromForm();
    if (m_oTuner) command("Start", {"null", "null"});
}

void ModTuner::TunerStp() {
    if (!m_oTuner) {
        LogStatus("LS0080:INFO:M21:TunerStp() InitTunerObject");
        if (!InitTunerFromForm()) LogStatus("LS0078:ERROR:M21:TunerStp() InitTuner returned false");
    }
    // While the user watches the preview the graph keeps running.
    if (m_oTuner && !m_program.g_bPreview) {
        LogStatus("LS0081:INFO:M21:TunerStp() ObjectTuner Stop");
        if (!isOk(command("Stop", {}))) LogStatus("LS0079:ERROR:M21:ObjTunerStp() returned not ok :(");
    }
}

void ModTuner::TunerSetPreview(const std::string& state) {
    if (!m_oTuner) TunerStart();
    command("SetPreview", {state});
}

void ModTuner::TunerSetVideoInput(const std::string& index) {
    if (m_oTuner) command("SetVideoInput", {index});
}

void ModTuner::TunerInitPreview(const std::string& hwnd, const std::string& left, const std::string& top,
                                const std::string& width, const std::string& height, const std::string& state) {
    if (!m_oTuner) return;
    command("InitPreview", {hwnd, left, top, width, height});
    if (!state.empty()) command("SetPreview", {state});
}

void ModTuner::TunerResizePreview(const std::string& width, const std::string& height) {
    if (m_oTuner) command("ResizePreview", {"0", "0", width, height});
}

void WaitSeconds(int16_t seconds) { waitSeconds(seconds); }

bool ChangeChannelPluginDetected(Program& program) { return create(program, kPluginProgId) != nullptr; }

} // namespace vesper
