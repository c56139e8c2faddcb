// frmAddEvent: the Add and Update Event dialog, a thin window over
// AddEventRules that keeps the controls' names.
#pragma once

#include "app/core/add_event_rules.h"
#include "app/core/main_window_ops.h"
#include "app/core/program.h"

#include <QDialog>

class QCalendarWidget;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QCheckBox;
class QSpinBox;

namespace vesper {

class frmAddEvent : public QDialog {
    Q_OBJECT
public:
    // Loads the rules in program.modeWord's mode and shows them.
    frmAddEvent(Program& program, MainWindowOps& window, QWidget* parent = nullptr);
    ~frmAddEvent() override;

    AddEventRules& rules() { return m_rules; }
    // Every way of closing (OK, Cancel, Esc, the window's close button)
    // remembers the mode's settings.
    void done(int r) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void showFields(const AddEventFields& f); // fields -> controls, without running handlers
    void take();                              // controls -> fields
    void refresh();                           // after a rule ran: show the fields again
    bool checkField(QObject* field);          // the field checks on leaving a field
    void focusField(const std::string& name);
    void onOk();

    Program& m_program;
    MainWindowOps& m_window;
    AddEventRules m_rules;
    bool m_showing = false;
    bool m_closed = false;

public:
    // The controls, by their names.
    QGroupBox* fraWhen = nullptr;
    QCalendarWidget* mvWhen = nullptr;
    QGroupBox* fraStart = nullptr;
    QComboBox* cmbStartHour = nullptr;
    QComboBox* cmbStartMinute = nullptr;
    QRadioButton* optStartAM = nullptr;
    QRadioButton* optStartPM = nullptr;
    QPushButton* cmdStart = nullptr;
    QComboBox* cmbDurationHour = nullptr;
    QComboBox* cmbDurationMinute = nullptr;
    QLabel* lblDurationUnit = nullptr;
    QPushButton* cmdDuration = nullptr;
    QGroupBox* fraStop = nullptr;
    QComboBox* cmbUntilHour = nullptr;
    QComboBox* cmbUntilMinute = nullptr;
    QRadioButton* optUntilAM = nullptr;
    QRadioButton* optUntilPM = nullptr;
    QPushButton* cmdUntil = nullptr;
    QComboBox* cmbChannel = nullptr;
    QComboBox* cmbRepeat = nullptr;
    QLineEdit* txtOutput = nullptr;
    QPushButton* cmdFilenameQuickPick = nullptr;
    // Our own: the event's margins and whether its recordings may make room.
    QGroupBox* fraPadding = nullptr;
    QSpinBox* updnStartMargin = nullptr;
    QSpinBox* updnEndMargin = nullptr;
    QCheckBox* chkKeepUntilSpace = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
};

// Opens the dialog modally in program.modeWord's mode (through scriptedModal
// first: answered "OK", the entry is confirmed with the values as loaded;
// otherwise it is closed without any operation).
void ShowAddEventDialog(Program& program, MainWindowOps& window, QWidget* parent = nullptr);

} // namespace vesper
