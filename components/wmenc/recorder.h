// One recording: subscribes to a video and an audio device, and encodes what
// they deliver into a file of the profile's kind on a thread of its own, so
// that the caller's thread never waits for the encoder.
#pragma once

#include "components/wmenc/media.h"
#include "components/wmenc/profiles.h"
#include "components/wmenc/wmv_writer.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vesper::wmenc {

// Why a recording could not start: the code that the encoder component
// reports through IStart (see encoder_codes.h).
struct StartFailure {
    int32_t code = 0;
    std::string text;
};

class Recorder {
public:
    struct Settings {
        std::string path;
        Profile profile;
        std::string videoDevice;
        std::string audioDevice; // empty: a recording without sound
    };
    enum class State { Idle, Recording, Finishing, Done, Failed };

    // `seconds` is the clock the deliveries are stamped by when their source
    // gives no time or one that cannot be trusted (a steady clock by default;
    // tests drive their own).
    explicit Recorder(MediaSource& source, std::function<double()> seconds = {});
    // Stops and completes the file; never leaves a thread behind.
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Creates the file and starts recording; false with the reason when it
    // cannot. Time zero of the file is this call.
    bool start(const Settings& settings, StartFailure* failure);
    // Ends the deliveries and lets the worker complete the file (trailer and
    // index) without waiting for it.
    void stop();
    // Waits until the file is complete or failed; false on timeout.
    bool waitFinished(double timeoutSeconds);

    State state() const;
    // From start until the file is complete (or has failed).
    bool busy() const;
    // The failure that ended the recording early (disk full, a writer that
    // died: kErrWriterDied), if any.
    WriteError failure() const;
    // Why a device stopped delivering during the recording; empty when none did.
    std::string deviceLost() const;
    WriterStats stats() const;
    int64_t queueDrops() const;
    // Which video encoder the recording uses; empty before it started.
    std::string videoEncoder() const;

private:
    struct Inbox;
    void run();
    void finishNow();

    MediaSource& m_source;
    std::shared_ptr<Inbox> m_inbox;
    std::unique_ptr<Subscription> m_videoSub;
    std::unique_ptr<Subscription> m_audioSub;
    std::thread m_worker;
    std::string m_path;
    Container m_container = Container::Asf;
    std::string m_videoEncoder;
    WmvWriter m_writer;
};

} // namespace vesper::wmenc
