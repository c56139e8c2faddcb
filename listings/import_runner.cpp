#include "listings/import_runner.h"

#include "listings/guide_settings.h"
#include "platform/clock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>
#include <QTimer>

namespace vesper::listings {

namespace {

// The end of the grabber's error output kept for the message.
constexpr qsizetype kStderrTail = 4096;

QString lastLine(const QByteArray& text) {
    const QStringList lines = QString::fromUtf8(text).split(u'\n', Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last().trimmed();
}

} // namespace

ImportRunner::ImportRunner(const QString& databasePath, QObject* parent)
    : QObject(parent), m_databasePath(databasePath) {
    qRegisterMetaType<ImportResult>();
}

ImportRunner::~ImportRunner() {
    m_cancel = true;
    stopGrabber();
    if (m_worker.joinable()) m_worker.join();
    delete m_spool;
}

void ImportRunner::stopGrabber() {
    if (!m_process) return;
    m_process->disconnect(this);
    m_process->kill();
    m_process->waitForFinished(5000);
    m_process->deleteLater();
    m_process = nullptr;
    delete m_timer;
    m_timer = nullptr;
}

void ImportRunner::finishLater(const QString& error) {
    ImportResult result;
    result.error = error;
    QMetaObject::invokeMethod(
        this, [this, result] { finish(result); }, Qt::QueuedConnection);
}

void ImportRunner::finish(const ImportResult& result) {
    m_running = false;
    delete m_spool;
    m_spool = nullptr;
    recordImportResult(result, now());
    emit finished(result);
}

bool ImportRunner::startFile(const QString& xmltvPath) {
    if (m_running) return false;
    m_running = true;
    m_cancel = false;
    if (xmltvPath.trimmed().isEmpty())
        finishLater("no XMLTV file is set");
    else
        startWorker(xmltvPath, {});
    return true;
}

bool ImportRunner::startFromSettings() {
    const GuideSettings s = readGuideSettings();
    if (!s.grabberCommand.trimmed().isEmpty()) return startGrabber(s.grabberCommand);
    if (m_running) return false;
    if (s.xmltvFile.trimmed().isEmpty()) {
        m_running = true;
        finishLater(QStringLiteral("neither an XMLTV file nor a grabber is set (%1 or %2 under HKEY_CURRENT_USER\\%3)")
                        .arg(kXmltvFileValue, kGrabberCommandValue, kGuideKey));
        return true;
    }
    return startFile(s.xmltvFile);
}

bool ImportRunner::startGrabber(const QString& commandLine) {
    if (m_running) return false;
    m_running = true;
    m_cancel = false;
    m_received = 0;
    m_overflow = m_timedOut = false;
    m_stderrTail.clear();
    const QStringList words = QProcess::splitCommand(commandLine);
    if (words.isEmpty()) {
        finishLater("no grabber command is set");
        return true;
    }
    m_program = words.first();
    // The output goes beside the database: the same disk, and a folder the
    // user can look into if something is left behind.
    m_spool = new QTemporaryFile(QFileInfo(m_databasePath).absolutePath() + "/guide-grab-XXXXXX.xml");
    if (!m_spool->open()) {
        finishLater(QStringLiteral("the grabber's output cannot be written to %1: %2")
                        .arg(QFileInfo(m_databasePath).absolutePath(), m_spool->errorString()));
        return true;
    }
    m_process = new QProcess(this);
    m_process->setProgram(m_program);
    m_process->setArguments(words.mid(1));
    m_process->setStandardInputFile(QProcess::nullDevice());
    connect(m_process, &QProcess::readyReadStandardOutput, this, &ImportRunner::readGrabberOutput);
    connect(m_process, &QProcess::readyReadStandardError, this, [this] {
        m_stderrTail += m_process->readAllStandardError();
        if (m_stderrTail.size() > kStderrTail) m_stderrTail = m_stderrTail.right(kStderrTail);
    });
    connect(m_process, &QProcess::finished, this,
            [this](int code, QProcess::ExitStatus status) { grabberEnded(code, status == QProcess::CrashExit); });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart) return;
        const QString why = m_process->errorString();
        stopGrabber();
        finish(ImportResult{false, QStringLiteral("the grabber \"%1\" could not be started: %2").arg(m_program, why)});
    });
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        m_process->kill();
    });
    m_timer->start(std::chrono::seconds(m_timeoutSeconds));
    m_process->start();
    return true;
}

void ImportRunner::readGrabberOutput() {
    const QByteArray chunk = m_process->readAllStandardOutput();
    if (m_overflow) return;
    m_received += chunk.size();
    if (m_received > m_limits.maxBytes) {
        // No use reading further: the import will be refused.
        m_overflow = true;
        m_process->kill();
        return;
    }
    if (m_spool->write(chunk) != chunk.size()) {
        m_overflow = true;
        m_process->kill();
    }
}

void ImportRunner::grabberEnded(int exitCode, bool crashed) {
    readGrabberOutput();
    const bool overflow = m_overflow, timedOut = m_timedOut;
    const bool written = m_spool->flush();
    const QString program = m_program;
    stopGrabber();
    QString error;
    if (m_cancel)
        error = "the import was cancelled";
    else if (overflow && m_received > m_limits.maxBytes)
        error = QStringLiteral("the grabber \"%1\" wrote more than the limit of %2 MiB")
                    .arg(program)
                    .arg(m_limits.maxBytes / (1024 * 1024));
    else if (overflow || !written)
        error = QStringLiteral("the grabber's output cannot be written: %1").arg(m_spool->errorString());
    else if (timedOut)
        error = QStringLiteral("the grabber \"%1\" did not finish within %2 minutes and was stopped")
                    .arg(program)
                    .arg(m_timeoutSeconds / 60.0);
    else if (crashed)
        error = QStringLiteral("the grabber \"%1\" crashed").arg(program);
    else if (exitCode != 0)
        error = QStringLiteral("the grabber \"%1\" ended with exit code %2").arg(program).arg(exitCode);
    if (!error.isEmpty()) {
        if (const QString said = lastLine(m_stderrTail); !said.isEmpty() && !m_cancel) error += ": " + said;
        finish(ImportResult{false, error});
        return;
    }
    startWorker(m_spool->fileName(), QStringLiteral("the output of \"%1\"").arg(program));
}

void ImportRunner::startWorker(const QString& path, const QString& label) {
    if (m_worker.joinable()) m_worker.join();
    m_worker = std::thread([this, path, label, databasePath = m_databasePath, limits = m_limits] {
        ImportResult result;
        GuideStore store;
        if (!store.open(databasePath)) {
            result.error = store.error();
        } else if (label.isEmpty()) {
            result = store.importXmltvFile(path, limits, &m_cancel);
        } else {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                result.error = file.errorString();
            else
                result = store.importXmltv(file, limits, &m_cancel);
            if (!result.ok) result.error = label + ": " + result.error;
        }
        // Back in the runner's thread; dropped if the runner is gone by then.
        QMetaObject::invokeMethod(
            this,
            [this, result] {
                if (m_worker.joinable()) m_worker.join();
                finish(result);
            },
            Qt::QueuedConnection);
    });
}

void ImportRunner::cancel() {
    if (!m_running) return;
    m_cancel = true;
    if (m_process) m_process->kill();
}

} // namespace vesper::listings
