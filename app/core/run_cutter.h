// Cuts a recorded run into the files of its events by stream copy (ffmpeg,
// no re-encoding), in the background: the tick never waits for a cut.
#pragma once

#include "app/core/recording_engine.h"

#include <QObject>

#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vesper {

// Cuts `run` now: each later part into its file, then the first part left in
// the run's file. A part whose cut failed leaves the run's file whole (the
// first part is never shortened then). Which parts were made, and what
// failed (empty when nothing did).
struct CutOutcome {
    std::vector<bool> made;
    std::string error;
};
CutOutcome cutRun(const RecordedRun& run);

class StreamCutter : public QObject, public RunCutter {
public:
    explicit StreamCutter(QObject* parent = nullptr);
    ~StreamCutter() override;

    void cut(const RecordedRun& run, std::function<void(const RunPart& part, bool made)> done) override;
    // Waits for the cuts under way and reports them (the program ends).
    void finish();

private:
    struct Job;
    void deliver(bool wait);

    std::mutex m_mutex;
    std::list<std::unique_ptr<Job>> m_jobs;
};

} // namespace vesper
