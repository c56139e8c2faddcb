#include "platform/shell.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace vesper {

namespace {
DesktopShell g_desktopShell;
Shell* g_shell = &g_desktopShell;

bool openLocal(const std::string& path) {
    if (path.empty()) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}
} // namespace

bool DesktopShell::openUrl(const std::string& url) {
    const QUrl u(QString::fromStdString(url), QUrl::StrictMode);
    if (!u.isValid() || u.scheme().isEmpty()) return false;
    return QDesktopServices::openUrl(u);
}

bool DesktopShell::openTextFile(const std::string& path) { return openLocal(path); }

bool DesktopShell::openFolder(const std::string& path) { return openLocal(path); }

bool DesktopShell::openMail(const std::string& mailtoUrl) {
    const QUrl u(QString::fromStdString(mailtoUrl));
    if (u.scheme() != QLatin1String("mailto")) return false;
    return QDesktopServices::openUrl(u);
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
