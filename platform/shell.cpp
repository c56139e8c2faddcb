#include "platform/shell.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <memory>

namespace vesper {

namespace {
DesktopShell g_desktopShell;
Shell* g_shell = &g_desktopShell;

// An opener that is still running after this long has handed the target to
// a program (a browser in the foreground keeps it running): how it ends
// then says nothing about the opening.
constexpr qint64 kOpenerVerdictMs = 30000;

// Runs xdg-open on the url and watches its exit code. Without xdg-open, Qt's
// own means (a $BROWSER, the desktop's tools) are tried, which report only
// what they know at once.
bool openWithDesktop(const QUrl& url, Shell::LateFailure lateFailure) {
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty() || !QCoreApplication::instance())
        return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) && QDesktopServices::openUrl(url);
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProgram(opener);
    process->setArguments({url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)});
    // No pipes: a browser started in the foreground outlives us and must
    // not write into a closed pipe.
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(process, &QProcess::finished, process,
                     [process, clock, lateFailure](int code, QProcess::ExitStatus status) {
                         process->deleteLater();
                         if (!lateFailure || clock->elapsed() > kOpenerVerdictMs) return;
                         if (status != QProcess::NormalExit)
                             lateFailure("xdg-open was stopped before it found a program for it.");
                         else if (code != 0)
                             lateFailure("xdg-open found no program for it (exit code " + std::to_string(code) + ").");
                     });
    process->start();
    if (process->waitForStarted()) return true;
    delete process;
    return false;
}

bool openLocal(const std::string& path, Shell::LateFailure lateFailure) {
    if (path.empty()) return false;
    return openWithDesktop(QUrl::fromLocalFile(QString::fromStdString(path)), std::move(lateFailure));
}
} // namespace

bool DesktopShell::openUrl(const std::string& url, LateFailure lateFailure) {
    const QUrl u(QString::fromStdString(url), QUrl::StrictMode);
    if (!u.isValid() || u.scheme().isEmpty()) return false;
    return openWithDesktop(u, std::move(lateFailure));
}

bool DesktopShell::openTextFile(const std::string& path, LateFailure lateFailure) {
    return openLocal(path, std::move(lateFailure));
}

bool DesktopShell::openFolder(const std::string& path, LateFailure lateFailure) {
    return openLocal(path, std::move(lateFailure));
}

bool DesktopShell::openMail(const std::string& mailtoUrl, LateFailure lateFailure) {
    const QUrl u(QString::fromStdString(mailtoUrl));
    if (u.scheme() != QLatin1String("mailto")) return false;
    return openWithDesktop(u, std::move(lateFailure));
}

bool DesktopShell::startCommand(const std::string& commandLine) {
    const auto words = splitCommandLine(commandLine);
    if (words.empty()) return false;
    QStringList args;
    for (size_t i = 1; i < words.size(); ++i)
        args << QString::fromStdString(words[i]);
    return QProcess::startDetached(QString::fromStdString(words[0]), args);
}

Shell& shell() { return *g_shell; }

void setShell(Shell* s) { g_shell = s ? s : &g_desktopShell; }

std::vector<std::string> splitCommandLine(const std::string& line) {
    std::vector<std::string> words;
    std::string cur;
    bool inQuotes = false, have = false;
    for (char c : line) {
        if (c == '"') {
            inQuotes = !inQuotes;
            have = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (have) words.push_back(cur);
            cur.clear();
            have = false;
        } else {
            cur += c;
            have = true;
        }
    }
    if (have) words.push_back(cur);
    return words;
}

} // namespace vesper
