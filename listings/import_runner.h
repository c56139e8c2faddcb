// Runs an XMLTV import in the background: a file, or a grabber command (a
// tv_grab_* program writing XMLTV to its standard output) started through
// QProcess. Nothing blocks the caller's thread: the grabber's output is
// written to a temporary file beside the guide database as it comes, and the
// file is read into the database in a thread of its own. The result arrives
// through `finished` in the caller's event loop (never from inside a start
// call), and is recorded in the guide's settings (sLastImport,
// sLastImportResult). A failed import keeps the previous guide.
//
// The main program keeps one runner, starts it with startFromSettings() when
// it starts and then once a day, and reads the guide through a GuideStore of
// its own when `finished` reports success.
#pragma once

#include "listings/guide_store.h"
#include "listings/xmltv_import.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <thread>

class QProcess;
class QTemporaryFile;
class QTimer;

namespace vesper::listings {

class ImportRunner : public QObject {
    Q_OBJECT
public:
    explicit ImportRunner(const QString& databasePath = GuideStore::defaultPath(), QObject* parent = nullptr);
    // Stops a running grabber and waits for the database to be left as it was.
    ~ImportRunner() override;

    void setLimits(const ImportLimits& limits) { m_limits = limits; }
    // How long a grabber may run (one hour unless set).
    void setGrabberTimeoutSeconds(int seconds) { m_timeoutSeconds = seconds; }

    bool isRunning() const { return m_running; }
    // Each start returns false, and starts nothing, while an import runs.
    bool startFile(const QString& xmltvPath);
    // The command line is split into words at blanks, "double quotes"
    // keeping a word with blanks together; it is not run through a shell.
    bool startGrabber(const QString& commandLine);
    // The settings' grabber when one is set, else their file; with neither,
    // the import fails (through `finished`).
    bool startFromSettings();
    // Stops the running import, which then fails as cancelled.
    void cancel();

signals:
    void finished(const vesper::listings::ImportResult& result);

private:
    void finishLater(const QString& error);
    void finish(const ImportResult& result);
    void readGrabberOutput();
    void grabberEnded(int exitCode, bool crashed);
    void startWorker(const QString& path, const QString& label);
    void stopGrabber();

    QString m_databasePath;
    ImportLimits m_limits;
    int m_timeoutSeconds = 3600;
    bool m_running = false;
    QProcess* m_process = nullptr;
    QTemporaryFile* m_spool = nullptr;
    QTimer* m_timer = nullptr;
    QString m_program;
    qint64 m_received = 0;
    bool m_overflow = false;
    bool m_timedOut = false;
    QByteArray m_stderrTail;
    std::thread m_worker;
    std::atomic_bool m_cancel{false};
};

} // namespace vesper::listings

Q_DECLARE_METATYPE(vesper::listings::ImportResult)
