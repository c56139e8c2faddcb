#include "platform/ui/qt_ui_seam.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QString>

namespace vesper {

namespace {

QtUiSeam g_qtSeam;
QPointer<QWidget> g_mainWindow;
// The owner a form passed for the box being shown now.
QPointer<QWidget> g_owner;

QWidget* boxOwner() {
    if (g_owner) return g_owner;
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    if (g_mainWindow && g_mainWindow->isVisible()) return g_mainWindow;
    return QApplication::activeWindow();
}

QMessageBox::StandardButton toQt(MsgBoxResult r) {
    switch (r) {
    case vbOK: return QMessageBox::Ok;
    case vbCancel: return QMessageBox::Cancel;
    case vbAbort: return QMessageBox::Abort;
    case vbRetry: return QMessageBox::Retry;
    case vbIgnore: return QMessageBox::Ignore;
    case vbYes: return QMessageBox::Yes;
    case vbNo: return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

// Message texts use CR LF; a label wants plain line feeds.
QString displayText(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

void setUpBox(QMessageBox& box, const MessageRequest& request) {
    box.setWindowTitle(QString::fromStdString(request.title.empty() ? std::string("Vesper") : request.title));
    box.setText(displayText(request.prompt));
    switch (request.style & 0x70) {
    case vbCritical: box.setIcon(QMessageBox::Critical); break;
    case vbQuestion: box.setIcon(QMessageBox::Question); break;
    case vbExclamation: box.setIcon(QMessageBox::Warning); break;
    case vbInformation: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    QMessageBox::StandardButtons buttons;
    for (MsgBoxResult r : request.buttons())
        buttons |= toQt(r);
    box.setStandardButtons(buttons);
    box.setDefaultButton(toQt(request.defaultButton()));
}

} // namespace

MsgBoxResult QtUiSeam::message(const MessageRequest& request) {
    QMessageBox box(boxOwner());
    setUpBox(box, request);
    const int pressed = box.exec();
    for (MsgBoxResult r : request.buttons())
        if (pressed == toQt(r)) return r;
    // Closed with Escape or the close box.
    return request.cancelButton();
}

void QtUiSeam::notice(const MessageRequest& request) {
    const QString text = displayText(request.prompt);
    // One box of a kind at a time: a guard that fires on every tick must not
    // stack up boxes while nobody is there to answer them.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* open = qobject_cast<QMessageBox*>(w); open && open->isVisible() && open->text() == text) return;
    auto* box = new QMessageBox(boxOwner());
    box->setAttribute(Qt::WA_DeleteOnClose);
    setUpBox(*box, request);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
}

bool QtUiSeam::closeAll() {
    bool closed = false;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(w);
        if (!dialog || !dialog->isVisible() || dialog->windowModality() == Qt::NonModal) continue;
        // reject() ends the dialog's own wait; a box shown without waiting
        // just goes.
        dialog->reject();
        closed = true;
    }
    return closed;
}

MessageBoxOwnerScope::MessageBoxOwnerScope(QWidget* owner) : m_previous(g_owner) { g_owner = owner; }

MessageBoxOwnerScope::~MessageBoxOwnerScope() { g_owner = m_previous; }

void installQtUiSeam() { setProgramUiSeam(&g_qtSeam); }

void setMessageBoxOwner(QWidget* mainWindow) { g_mainWindow = mainWindow; }

MsgBoxResult MsgBox(QWidget* owner, const std::string& prompt, int style, const std::string& title) {
    MessageBoxOwnerScope scope(owner);
    return MsgBox(prompt, style, title);
}

void MsgBoxNoWait(QWidget* owner, const std::string& prompt, int style, const std::string& title) {
    MessageBoxOwnerScope scope(owner);
    MsgBoxNoWait(prompt, style, title);
}

} // namespace vesper
