#include "components/encwrap/command.h"

#include "components/wmenc/encoder_codes.h"
#include "components/wmenc/media.h"
#include "components/wmenc/profiles.h"
#include "components/wmenc/recorder.h"

#include <algorithm>
#include <memory>

namespace vesper::wmenc {

namespace {

constexpr const char* kSource = "Encwrap.clsCommand";

// The device to open for a name, or empty when there is none.
std::string resolve(const std::vector<std::string>& names, const std::string& name, const char* defaultName) {
    if (name == defaultName) return names.empty() ? std::string() : names.front();
    return std::find(names.begin(), names.end(), name) != names.end() ? name : std::string();
}

class EncoderCommand : public DispatchObject {
public:
    EncoderCommand() : DispatchObject(kSource) {
        method("ISetOutputFilename", [this](Args& a) { return setText(a, m_outputFile); });
        method("ISetVideoSource", [this](Args& a) { return setText(a, m_videoDevice); });
        method("ISetAudioSource", [this](Args& a) { return setText(a, m_audioDevice); });
        method("ISetProfileName", [this](Args& a) { return setText(a, m_profileName); });
        method("IStart", [this](Args& a) { return start(a); });
        // The index is written whenever a file is completed, asked for or not:
        // a recording without one cannot be sought, which helps nobody.
        method("ISetAutoIndex", [this](Args& a) {
            expectArgs(a, 1, 1);
            (void)arg(a, 0).toBool(); // converted, so a bad argument is still refused
            return Variant();
        });
        method("IStop", [this](Args& a) { return stop(a); });
        method("IIndexerRunning", [this](Args&) { return indexerRunning(); });
        method("IRecording", [this](Args&) { return recording(); });
        // Ours: which video encoder the recording uses, for the caller's log
        // ("x264 (software)", "VA-API (h264_vaapi on /dev/dri/renderD128)",
        // "WMV2 (software)"); empty until IStart succeeds.
        method("IVideoEncoder",
               [this](Args&) { return Variant(m_recorder ? m_recorder->videoEncoder() : std::string()); });
    }

    ~EncoderCommand() override {
        // Released while recording: the recorder completes the file before it
        // goes (its queue is short, so this takes a moment at most).
        m_recorder.reset();
    }

    std::string className() const override { return "clsCommand"; }

private:
    Variant setText(Args& a, std::string& field) {
        expectArgs(a, 1, 1);
        if (m_recorder)
            fail(kErrAlreadyStarted,
                 "the recording has already been started; a new recording needs a new encoder object");
        field = arg(a, 0).toString();
        return {};
    }

    Variant start(Args& a) {
        expectArgs(a, 1, 1);
        Variant& code = arg(a, 0);
        auto refuse = [&](int32_t c, const std::string& why) {
            code = Variant(c);
            m_lastFailure = why;
            return Variant(false);
        };
        if (m_recorder) return refuse(kStartAlreadyStarted, "the recording has already been started");
        if (m_outputFile.empty()) return refuse(kStartNoOutputFile, "no output file was given");
        const Profile* profile = findProfile(m_profileName);
        if (!profile) return refuse(kStartUnknownProfile, "there is no profile \"" + m_profileName + "\"");
        MediaSource& source = currentMediaSource();
        const std::string video = resolve(source.devices(MediaKind::Video), m_videoDevice, kDefaultVideoResource);
        if (video.empty())
            return refuse(kStartUnknownVideoDevice, "there is no video device \"" + m_videoDevice + "\"");
        const std::string audio = resolve(source.devices(MediaKind::Audio), m_audioDevice, kDefaultAudioResource);
        if (audio.empty())
            return refuse(kStartUnknownAudioDevice, "there is no audio device \"" + m_audioDevice + "\"");

        auto recorder = std::make_unique<Recorder>(source);
        StartFailure failure;
        if (!recorder->start({m_outputFile, *profile, video, audio}, &failure))
            return refuse(failure.code, failure.text);
        m_recorder = std::move(recorder);
        code = Variant(kStartOk);
        return Variant(true);
    }

    Variant stop(Args&) {
        if (!m_recorder)
            fail(kErrNotStarted, m_lastFailure.empty() ? "the encoder was not started"
                                                       : "the encoder was not started: " + m_lastFailure);
        if (m_stopped) fail(kErrAlreadyStopped, "the encoder has already been stopped");
        m_stopped = true;
        m_recorder->stop();
        // A recording that ended early (disk full, ...) says so here; what
        // reached the file stays readable. A failure still to come (the last
        // pictures or the index meet a full disk) is told by IIndexerRunning.
        if (m_recorder->failure()) m_failureTold = true;
        raiseEarlyEnd();
        return {};
    }

    // A recording that ended early, or lost a device, raises why.
    void raiseEarlyEnd() {
        if (const WriteError e = m_recorder->failure()) fail(e.number, e.text);
        if (const std::string lost = m_recorder->deviceLost(); !lost.empty())
            fail(kErrDeviceUnavailable, lost + "; the file holds what was recorded before");
    }

    // Ours, for a watch while recording: True from IStart to IStop while the
    // file is being written; once writing ended early (a writer that died, a
    // full disk) or a device stopped, raises the error IStop will raise.
    Variant recording() {
        if (!m_recorder || m_stopped) return Variant(false);
        raiseEarlyEnd();
        return Variant(m_recorder->state() == Recorder::State::Recording);
    }

    // True only between IStop and the end of the file's completion; the end
    // of a completion that failed is reported once, as an error.
    Variant indexerRunning() {
        if (!m_recorder || !m_stopped) return Variant(false);
        if (m_recorder->busy()) return Variant(true);
        if (const WriteError e = m_recorder->failure(); e && !m_failureTold) {
            m_failureTold = true;
            fail(e.number, e.text + "; the file holds what could be written");
        }
        return Variant(false);
    }

    std::string m_outputFile;
    std::string m_videoDevice;
    std::string m_audioDevice;
    std::string m_profileName;
    std::string m_lastFailure;
    bool m_stopped = false;
    bool m_failureTold = false;
    std::unique_ptr<Recorder> m_recorder;
};

} // namespace

Object* newEncoderCommand() { return new EncoderCommand(); }

} // namespace vesper::wmenc
