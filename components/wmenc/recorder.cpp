#include "components/wmenc/recorder.h"

#include "components/wmenc/asf_file.h"
#include "components/wmenc/encoder_codes.h"
#include "components/wmenc/mp4_file.h"
#include "platform/errors.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace vesper::wmenc {

namespace {

// Deliveries waiting for the encoder beyond these are dropped (oldest first):
// a worker that falls behind must not eat the memory.
constexpr size_t kMaxQueuedPictures = 90;
constexpr size_t kMaxQueuedSoundRuns = 1000;
// A source timestamp this far from the arrival time is not trusted.
constexpr double kMaxClockDisagreement = 1.0;

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

struct Recorder::Inbox {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable finished;
    std::deque<VideoInput> video;
    std::deque<AudioInput> audio;
    bool accepting = false;
    bool stopRequested = false;
    State state = State::Idle;
    WriteError failure;
    std::string deviceLost;
    WriterStats stats;
    int64_t drops = 0;
    std::function<double()> seconds = steadySeconds;
    double startedAt = 0;
    // Recording time at which the writer dies (0: never).
    double writerDiesAt = 0;
    std::string writerDeath;
    // Source time to recording time, one offset per stream. The capture
    // layer runs each device in its own pipeline, so the streams' timelines
    // are unrelated; each is tied to the steady clock at its first delivery,
    // counted from the moment its first sample was taken (a run of sound is
    // delivered when its last sample is in).
    bool anchored[2] = {false, false};
    double offset[2] = {0, 0};

    // Called with the mutex held.
    double recordingTime(int stream, double sourceSeconds, double durationSeconds) {
        const double taken = seconds() - startedAt - durationSeconds;
        if (std::isnan(sourceSeconds)) return taken;
        double t = sourceSeconds + offset[stream];
        if (!anchored[stream] || std::abs(t - taken) > kMaxClockDisagreement) {
            // The first delivery, or the source's clock jumped: start afresh.
            anchored[stream] = true;
            offset[stream] = taken - sourceSeconds;
            t = taken;
        }
        return t;
    }

    // Queues what a device delivered, stamped with its recording time; the
    // oldest goes (and counts as dropped) when the writer lags this far.
    template <class Input>
    void deliver(std::deque<Input>& queue, size_t limit, int stream, Input&& in, double durationSeconds) {
        std::lock_guard lock(mutex);
        if (!accepting) return;
        in.seconds = recordingTime(stream, in.seconds, durationSeconds);
        if (queue.size() >= limit) {
            queue.pop_front();
            ++drops;
        }
        queue.push_back(std::move(in));
        wake.notify_one();
    }
};

Recorder::Recorder(MediaSource& source, std::function<double()> seconds)
    : m_source(source), m_inbox(std::make_shared<Inbox>()) {
    if (seconds) m_inbox->seconds = std::move(seconds);
}

Recorder::~Recorder() {
    stop();
    if (m_worker.joinable()) m_worker.join();
    m_writer.abandon();
}

bool Recorder::start(const Settings& settings, StartFailure* failure) {
    auto fail = [&](int32_t code, std::string text) {
        if (failure) *failure = {code, std::move(text)};
        m_videoSub.reset();
        m_audioSub.reset();
        std::lock_guard lock(m_inbox->mutex);
        m_inbox->accepting = false;
        return false;
    };
    {
        std::lock_guard lock(m_inbox->mutex);
        if (m_inbox->state != State::Idle) {
            if (failure) *failure = {kStartAlreadyStarted, "this recording has already been started"};
            return false;
        }
        m_inbox->startedAt = m_inbox->seconds();
        m_inbox->accepting = true;
    }
    std::weak_ptr<Inbox> weak = m_inbox;
    std::string why;
    // A device that goes away ends its deliveries; the recording keeps what
    // came before and goes on with the other device until it is stopped.
    auto lost = [weak](const std::string& device) {
        return [weak, device](const std::string& reason) {
            if (auto inbox = weak.lock()) {
                std::lock_guard lock(inbox->mutex);
                if (inbox->deviceLost.empty()) inbox->deviceLost = "the device \"" + device + "\" stopped: " + reason;
            }
        };
    };
    m_videoSub = m_source.subscribeVideo(
        settings.videoDevice,
        [weak](VideoInput&& in) {
            if (auto inbox = weak.lock()) inbox->deliver(inbox->video, kMaxQueuedPictures, 0, std::move(in), 0.0);
        },
        lost(settings.videoDevice), &why);
    if (!m_videoSub)
        return fail(kStartDeviceFailed, "the video device \"" + settings.videoDevice + "\" failed: " + why);
    if (!settings.audioDevice.empty()) {
        m_audioSub = m_source.subscribeAudio(
            settings.audioDevice,
            [weak](AudioInput&& in) {
                const double duration = in.sampleRate > 0 ? double(in.samples) / in.sampleRate : 0.0;
                if (auto inbox = weak.lock())
                    inbox->deliver(inbox->audio, kMaxQueuedSoundRuns, 1, std::move(in), duration);
            },
            lost(settings.audioDevice), &why);
        if (!m_audioSub)
            return fail(kStartDeviceFailed, "the audio device \"" + settings.audioDevice + "\" failed: " + why);
    }
    // A dying writer stands for the encoder's own crash: the earlier of the
    // two devices' faults, when either has one.
    for (const std::string& device : {settings.videoDevice, settings.audioDevice}) {
        const double after = device.empty() ? 0 : m_source.writerDiesAfter(device);
        std::lock_guard lock(m_inbox->mutex);
        if (after > 0 && (m_inbox->writerDiesAt == 0 || after < m_inbox->writerDiesAt)) {
            m_inbox->writerDiesAt = after;
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%g s", after);
            m_inbox->writerDeath = std::string("the encoder's writer died ") + seconds +
                                   " into the recording (the fault \"writerDiesAfter\" of \"" + device +
                                   "\"); the file holds what was written before, without its index";
        }
    }
    m_path = settings.path;
    m_container = settings.profile.container;
    if (!m_writer.open(settings.path, settings.profile, !settings.audioDevice.empty())) {
        const WriteError e = m_writer.error();
        return fail(kStartCannotCreateFile, e.text);
    }
    m_videoEncoder = m_writer.encoderDescription();
    {
        std::lock_guard lock(m_inbox->mutex);
        m_inbox->state = State::Recording;
    }
    m_worker = std::thread([this] { run(); });
    return true;
}

void Recorder::stop() {
    // Unsubscribing first guarantees that no delivery arrives afterwards.
    m_videoSub.reset();
    m_audioSub.reset();
    std::lock_guard lock(m_inbox->mutex);
    m_inbox->accepting = false;
    m_inbox->stopRequested = true;
    m_inbox->wake.notify_all();
}

void Recorder::run() {
    Inbox& box = *m_inbox;
    for (;;) {
        std::unique_lock lock(box.mutex);
        box.wake.wait(lock, [&] { return !box.video.empty() || !box.audio.empty() || box.stopRequested; });
        if (box.video.empty() && box.audio.empty()) break; // stop requested, all written
        // Earliest first, so that the sound's clock check sees the right order.
        const bool takeVideo =
            !box.video.empty() && (box.audio.empty() || !(box.audio.front().seconds < box.video.front().seconds));
        VideoInput picture;
        AudioInput sound;
        if (takeVideo) {
            picture = std::move(box.video.front());
            box.video.pop_front();
        } else {
            sound = std::move(box.audio.front());
            box.audio.pop_front();
        }
        const double at = takeVideo ? picture.seconds : sound.seconds;
        const bool dies = box.writerDiesAt > 0 && at >= box.writerDiesAt;
        lock.unlock();
        const bool ok = !dies && (takeVideo ? m_writer.addVideo(picture) : m_writer.addAudio(sound));
        picture = {};
        sound = {};
        lock.lock();
        box.stats = m_writer.stats();
        if (!ok) {
            // Keep what reached the file; nothing more will be written.
            box.failure = dies ? WriteError{kErrWriterDied, box.writerDeath} : m_writer.error();
            box.accepting = false;
            box.video.clear();
            box.audio.clear();
            lock.unlock();
            m_writer.abandon();
            lock.lock();
            box.state = State::Failed;
            box.finished.notify_all();
            return;
        }
    }
    {
        std::lock_guard lock(box.mutex);
        box.state = State::Finishing;
    }
    finishNow();
}

void Recorder::finishNow() {
    bool ok = m_writer.finish();
    WriteError failure = m_writer.error();
    if (ok) {
        // Trust the file, not the calls: a completion that did not reach the
        // disk is a failure the caller must hear of.
        std::string problem;
        if (m_container == Container::Mp4) {
            if (const Mp4FileInfo info = inspectMp4(m_path); !info.complete) problem = info.problem;
        } else if (const AsfFileInfo info = inspectAsf(m_path); !info.complete) {
            problem = info.problem;
        }
        if (!problem.empty()) {
            ok = false;
            failure = {err::DiskFull, "\"" + m_path + "\" could not be completed: " + problem};
            if (m_container == Container::Mp4) trimTornFragment(m_path);
        }
    }
    std::lock_guard lock(m_inbox->mutex);
    m_inbox->stats = m_writer.stats();
    if (!ok) m_inbox->failure = failure;
    m_inbox->state = ok ? State::Done : State::Failed;
    m_inbox->finished.notify_all();
}

bool Recorder::waitFinished(double timeoutSeconds) {
    std::unique_lock lock(m_inbox->mutex);
    return m_inbox->finished.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), [&] {
        return m_inbox->state == State::Done || m_inbox->state == State::Failed || m_inbox->state == State::Idle;
    });
}

Recorder::State Recorder::state() const {
    std::lock_guard lock(m_inbox->mutex);
    return m_inbox->state;
}

bool Recorder::busy() const {
    const State s = state();
    return s == State::Recording || s == State::Finishing;
}

WriteError Recorder::failure() const {
    std::lock_guard lock(m_inbox->mutex);
    return m_inbox->failure;
}

std::string Recorder::deviceLost() const {
    std::lock_guard lock(m_inbox->mutex);
    return m_inbox->deviceLost;
}

WriterStats Recorder::stats() const {
    std::lock_guard lock(m_inbox->mutex);
    return m_inbox->stats;
}

std::string Recorder::videoEncoder() const { return m_videoEncoder; }

int64_t Recorder::queueDrops() const {
    std::lock_guard lock(m_inbox->mutex);
    return m_inbox->drops;
}

} // namespace vesper::wmenc
