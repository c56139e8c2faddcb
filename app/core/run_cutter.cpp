#include "app/core/run_cutter.h"

#include "app/core/status_log.h"

#include <QByteArray>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace vesper {

namespace {

// A cut of a long run copies gigabytes: generous, but never forever.
constexpr int kToolMilliseconds = 30 * 60 * 1000;

bool runTool(const QString& program, const QStringList& args, QByteArray& out, std::string& error) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        error = program.toStdString() + " could not be started (is it installed?)";
        return false;
    }
    p.closeWriteChannel();
    if (!p.waitForFinished(kToolMilliseconds)) {
        p.kill();
        p.waitForFinished(5000);
        error = program.toStdString() + " did not finish";
        return false;
    }
    out = p.readAllStandardOutput();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        error = program.toStdString() + ": " + QString::fromUtf8(p.readAllStandardError()).trimmed().toStdString();
        if (error.size() > 400) error.resize(400);
        return false;
    }
    return true;
}

QString seconds(double s) { return QString::number(std::max(0.0, s), 'f', 3); }

// Beside the target, hidden, with its extension (ffmpeg picks the format by it).
std::string tempBeside(const std::string& path, size_t index) {
    const std::filesystem::path p(path);
    return (p.parent_path() /
            (".vesper-cut-" + std::to_string(::getpid()) + "-" + std::to_string(index) + "-" + p.filename().string()))
        .string();
}

bool copyPart(const std::string& source, double from, double length, const std::string& target, size_t index,
              std::string& error) {
    const std::string temp = tempBeside(target, index);
    QStringList args{"-nostdin", "-v", "error", "-y"};
    if (from > 0) args << "-ss" << seconds(from);
    args << "-i" << QString::fromStdString(source) << "-t" << seconds(length) << "-map"
         << "0"
         << "-c"
         << "copy" << QString::fromStdString(temp);
    QByteArray out;
    std::error_code ec;
    if (!runTool("ffmpeg", args, out, error)) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        error = "cannot name \"" + target + "\": " + ec.message();
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace

CutOutcome cutRun(const RecordedRun& run) {
    CutOutcome outcome;
    outcome.made.assign(run.parts.size(), false);
    if (run.parts.empty()) return outcome;
    outcome.made[0] = true; // the run's own file, whole at worst

    QByteArray out;
    if (!runTool("ffprobe",
                 {"-v", "error", "-show_entries", "format=duration", "-of", "default=noprint_wrappers=1:nokey=1",
                  QString::fromStdString(run.file)},
                 out, outcome.error))
        return outcome;
    bool ok = false;
    const double duration = QString::fromUtf8(out).trimmed().toDouble(&ok);
    if (!ok || duration <= 0) {
        outcome.error = "\"" + run.file + "\" has no length to cut";
        return outcome;
    }
    // The file's first picture came this long after the encoder was asked to
    // start; its times count from the instant it holds first.
    const double mediaStart = double(run.stopped) - duration;

    for (size_t i = 1; i < run.parts.size(); ++i) {
        const RunPart& part = run.parts[i];
        const double from = double(part.from) - mediaStart;
        if (!copyPart(run.file, from, double(part.to - part.from), part.path, i, outcome.error)) return outcome;
        outcome.made[i] = true;
    }
    // Every later part is safe: the first is shortened to its own.
    const double firstLength = double(run.parts[0].to) - mediaStart;
    if (firstLength < duration && !copyPart(run.file, 0, firstLength, run.file, 0, outcome.error)) return outcome;
    return outcome;
}

struct StreamCutter::Job {
    RecordedRun run;
    std::function<void(const RunPart&, bool)> done;
    CutOutcome outcome;
    bool finished = false;
    std::thread worker;
};

StreamCutter::StreamCutter(QObject* parent) : QObject(parent) {}

StreamCutter::~StreamCutter() { finish(); }

void StreamCutter::cut(const RecordedRun& run, std::function<void(const RunPart& part, bool made)> done) {
    auto job = std::make_unique<Job>();
    job->run = run;
    job->done = std::move(done);
    Job* j = job.get();
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    j->worker = std::thread([this, j] {
        CutOutcome outcome = cutRun(j->run);
        {
            std::lock_guard lock(m_mutex);
            j->outcome = std::move(outcome);
            j->finished = true;
        }
        QMetaObject::invokeMethod(
            this, [this] { deliver(false); }, Qt::QueuedConnection);
    });
}

void StreamCutter::finish() { deliver(true); }

void StreamCutter::deliver(bool wait) {
    for (;;) {
        std::unique_ptr<Job> job;
        {
            std::lock_guard lock(m_mutex);
            for (auto it = m_jobs.begin(); it != m_jobs.end(); ++it) {
                if (!(*it)->finished && !wait) continue;
                job = std::move(*it);
                m_jobs.erase(it);
                break;
            }
        }
        if (!job) return;
        if (job->worker.joinable()) job->worker.join();
        const RecordedRun& run = job->run;
        if (job->outcome.error.empty()) {
            std::string files;
            for (const RunPart& p : run.parts)
                files += (files.empty() ? "" : ", ") + std::filesystem::path(p.path).filename().string();
            LogStatus("LS0174:INFO:F00:Tmr1() one run cut into " + files);
        } else {
            LogStatus("LS0175:ERROR:F00:Tmr1() " + run.file +
                      " kept whole, its events not cut apart: " + job->outcome.error);
            std::fprintf(stderr, "vesper: %s holds several events and could not be cut apart: %s\n", run.file.c_str(),
                         job->outcome.error.c_str());
        }
        // A run left whole holds every event: it may only go when each may.
        RunPart first = run.parts[0];
        if (!job->outcome.error.empty())
            for (const RunPart& p : run.parts)
                first.keep = first.keep && p.keep;
        for (size_t i = 0; i < run.parts.size(); ++i)
            if (job->done) job->done(i == 0 ? first : run.parts[i], job->outcome.made[i]);
    }
}

} // namespace vesper
