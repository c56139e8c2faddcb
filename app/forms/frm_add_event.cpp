#include "app/forms/frm_add_event.h"

#include "app/forms/keep_controls.h"
#include "platform/ui/qt_ui_seam.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTextCharFormat>
#include <QTimer>
#include <QVBoxLayout>

namespace vesper {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

QDate toQDate(DateTime dt) {
    const DateParts p = splitDate(dt);
    return QDate(p.year, p.month, p.day);
}

DateTime fromQDate(const QDate& d) { return makeDate(d.year(), d.month(), d.day()); }

template <typename W> W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QComboBox* combo(const char* name, const std::vector<std::string>& items, bool editable) {
    auto* c = named(new QComboBox, name);
    c->setEditable(editable);
    c->setInsertPolicy(QComboBox::NoInsert);
    for (const auto& i : items)
        c->addItem(q(i));
    return c;
}

void setComboText(QComboBox* c, const std::string& text) {
    if (c->isEditable()) {
        const int i = c->findText(q(text));
        if (i >= 0) c->setCurrentIndex(i);
        c->setEditText(q(text));
    } else {
        c->setCurrentIndex(c->findText(q(text)));
    }
}

} // namespace

frmAddEvent::frmAddEvent(Program& program, MainWindowOps& window, QWidget* parent)
    : QDialog(parent), m_program(program), m_window(window), m_rules(program) {
    setObjectName("frmAddEvent");
    m_rules.Load();
    m_rules.timing = window.eventTiming(m_rules.editedEvent());
    build();
    showFields(m_rules.fields);
    if (const auto notice = m_rules.channelNotice()) {
        // Said once the dialog is up, with the channel box ready to correct.
        QTimer::singleShot(0, this, [this, text = *notice] {
            MsgBox(this, text, vbExclamation, m_rules.caption());
            focusField("cmbChannel");
            cmbChannel->lineEdit()->selectAll();
        });
    }
}

frmAddEvent::~frmAddEvent() = default;

void frmAddEvent::build() {
    setWindowTitle(q(m_rules.caption()));
    setModal(true);

    fraWhen = named(new QGroupBox, "fraWhen");
    mvWhen = named(new QCalendarWidget, "mvWhen");
    mvWhen->setMinimumDate(toQDate(m_rules.firstDay()));
    // The earlier days of the first page cannot be chosen: show them so.
    QTextCharFormat earlier;
    earlier.setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
    for (int d = 1; d <= 42; ++d)
        mvWhen->setDateTextFormat(mvWhen->minimumDate().addDays(-d), earlier);
    mvWhen->setMaximumDate(QDate(9999, 12, 31));
    mvWhen->setFirstDayOfWeek(Qt::Sunday);
    mvWhen->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    (new QVBoxLayout(fraWhen))->addWidget(mvWhen);

    fraStart = named(new QGroupBox("Start:"), "fraStart");
    cmbStartHour = combo("cmbStartHour", startHourItems(), true);
    cmbStartMinute = combo("cmbStartMinute", startMinuteItems(), true);
    optStartAM = named(new QRadioButton("AM"), "optStartAM");
    optStartPM = named(new QRadioButton("PM"), "optStartPM");
    cmdStart = named(new QPushButton("!"), "cmdStart");
    cmdStart->setToolTip(kTipStart);
    auto* startRow = new QHBoxLayout(fraStart);
    for (QWidget* w : std::initializer_list<QWidget*>{cmbStartHour, cmbStartMinute, optStartAM, optStartPM, cmdStart})
        startRow->addWidget(w);

    auto* fraLength = new QGroupBox("Length:");
    cmbDurationHour = combo("cmbDurationHour", durationHourItems(), true);
    cmbDurationMinute = combo("cmbDurationMinute", durationMinuteItems(), true);
    cmbDurationMinute->setToolTip(kTipDurationMinute);
    lblDurationUnit = named(new QLabel("Minutes"), "lblDurationUnit");
    cmdDuration = named(new QPushButton("!"), "cmdDuration");
    cmdDuration->setToolTip(kTipDuration);
    auto* lengthRow = new QHBoxLayout(fraLength);
    for (QWidget* w : std::initializer_list<QWidget*>{cmbDurationHour, cmbDurationMinute, lblDurationUnit, cmdDuration})
        lengthRow->addWidget(w);

    fraStop = named(new QGroupBox("Until:"), "fraStop");
    cmbUntilHour = combo("cmbUntilHour", startHourItems(), true);
    cmbUntilMinute = combo("cmbUntilMinute", startMinuteItems(), true);
    optUntilAM = named(new QRadioButton("AM"), "optUntilAM");
    optUntilPM = named(new QRadioButton("PM"), "optUntilPM");
    cmdUntil = named(new QPushButton("!"), "cmdUntil");
    cmdUntil->setToolTip(kTipUntil);
    auto* stopRow = new QHBoxLayout(fraStop);
    for (QWidget* w : std::initializer_list<QWidget*>{cmbUntilHour, cmbUntilMinute, optUntilAM, optUntilPM, cmdUntil})
        stopRow->addWidget(w);

    cmbChannel = combo("cmbChannel", m_rules.channelItems(), true);
    cmbRepeat = combo("cmbRepeat", m_rules.repeatList(), false);
    cmbRepeat->setCurrentIndex(cmbRepeat->findText("weekly"));
    txtOutput = named(new QLineEdit("default.wmv"), "txtOutput");
    txtOutput->setMaxLength(1024);
    cmdFilenameQuickPick = named(new QPushButton("!"), "cmdFilenameQuickPick");
    cmdFilenameQuickPick->setToolTip(kTipFilename);
    cmdOK = named(new QPushButton(q(m_rules.okCaption())), "cmdOK");
    cmdOK->setDefault(true);
    cmdCancel = named(new QPushButton("&Cancel"), "cmdCancel");

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Channel:"), 0, 0);
    grid->addWidget(cmbChannel, 0, 1);
    grid->addWidget(new QLabel("Repeat:"), 1, 0);
    grid->addWidget(cmbRepeat, 1, 1);
    grid->addWidget(new QLabel("Filename:"), 2, 0);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(txtOutput, 1);
    fileRow->addWidget(cmdFilenameQuickPick);
    grid->addLayout(fileRow, 2, 1);

    fraPadding = named(new QGroupBox("Padding:"), "fraPadding");
    updnStartMargin = newMarginBox(nullptr, "updnStartMargin", m_rules.timing.startMarginSeconds,
                                   " Seconds recorded before the start, for a broadcast that begins early ");
    updnEndMargin = newMarginBox(nullptr, "updnEndMargin", m_rules.timing.endMarginSeconds,
                                 " Seconds recorded after the end, for a broadcast that runs late ");
    chkKeepUntilSpace = named(new QCheckBox("Keep until space is needed"), "chkKeepUntilSpace");
    chkKeepUntilSpace->setChecked(m_rules.timing.keepUntilSpaceNeeded);
    chkKeepUntilSpace->setToolTip(" Its recordings are deleted, oldest first, when a later recording needs the space ");
    auto* padding = new QGridLayout(fraPadding);
    padding->addWidget(new QLabel("Early:"), 0, 0);
    padding->addWidget(updnStartMargin, 0, 1);
    padding->addWidget(new QLabel("Late:"), 0, 2);
    padding->addWidget(updnEndMargin, 0, 3);
    padding->addWidget(chkKeepUntilSpace, 1, 0, 1, 4);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    auto* right = new QVBoxLayout;
    right->addWidget(fraStart);
    right->addWidget(fraLength);
    right->addWidget(fraStop);
    right->addLayout(grid);
    right->addWidget(fraPadding);
    right->addStretch(1);
    right->addLayout(buttons);
    auto* top = new QHBoxLayout(this);
    top->addWidget(fraWhen);
    top->addLayout(right);

    // Field checks when a typed field is left. An editable combo box is its
    // line edit's focus proxy and hands focus events to it directly, so the
    // box itself is watched.
    for (QComboBox* c :
         {cmbStartHour, cmbStartMinute, cmbDurationHour, cmbDurationMinute, cmbUntilHour, cmbUntilMinute, cmbChannel})
        c->installEventFilter(this);

    const auto run = [this](auto rule) {
        return [this, rule] {
            if (m_showing) return;
            take();
            rule();
            refresh();
        };
    };
    connect(mvWhen, &QCalendarWidget::selectionChanged, this, run([this] { m_rules.startChosen(); }));
    connect(cmbStartHour, &QComboBox::activated, this, run([this] { m_rules.startChosen(); }));
    connect(cmbStartMinute, &QComboBox::activated, this, run([this] { m_rules.startChosen(); }));
    connect(optStartAM, &QRadioButton::clicked, this, run([this] { m_rules.startChosen(); }));
    connect(optStartPM, &QRadioButton::clicked, this, run([this] { m_rules.startChosen(); }));
    connect(cmbDurationHour, &QComboBox::activated, this, run([this] { m_rules.durationChosen(true); }));
    connect(cmbDurationMinute, &QComboBox::activated, this, run([this] { m_rules.durationChosen(false); }));
    connect(cmbUntilHour, &QComboBox::activated, this, run([this] { m_rules.untilChosen(); }));
    connect(cmbUntilMinute, &QComboBox::activated, this, run([this] { m_rules.untilChosen(); }));
    connect(optUntilAM, &QRadioButton::clicked, this, run([this] { m_rules.untilChosen(); }));
    connect(optUntilPM, &QRadioButton::clicked, this, run([this] { m_rules.untilChosen(); }));
    connect(cmdStart, &QPushButton::clicked, this, run([this] { m_rules.quickPickStart(); }));
    connect(cmdDuration, &QPushButton::clicked, this, run([this] { m_rules.quickPickDuration(); }));
    connect(cmdUntil, &QPushButton::clicked, this, run([this] { m_rules.quickPickUntil(); }));
    connect(cmdFilenameQuickPick, &QPushButton::clicked, this, run([this] { m_rules.quickPickFilename(); }));
    for (QPushButton* b : {cmdStart, cmdDuration, cmdUntil, cmdFilenameQuickPick})
        b->setMaximumWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("!")) + 24);
    connect(txtOutput, &QLineEdit::textChanged, this, [this](const QString& t) { txtOutput->setToolTip(t); });
    connect(cmdOK, &QPushButton::clicked, this, [this] { onOk(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { reject(); });
}

void frmAddEvent::showFields(const AddEventFields& f) {
    m_showing = true;
    mvWhen->setSelectedDate(toQDate(f.when));
    fraWhen->setTitle(q(m_rules.whenCaption()));
    setComboText(cmbStartHour, f.startHour);
    setComboText(cmbStartMinute, f.startMinute);
    optStartPM->setChecked(f.startPM);
    optStartAM->setChecked(!f.startPM);
    setComboText(cmbDurationHour, f.durationHour);
    setComboText(cmbDurationMinute, f.durationMinute);
    lblDurationUnit->setText(q(f.durationUnit));
    setComboText(cmbUntilHour, f.untilHour);
    setComboText(cmbUntilMinute, f.untilMinute);
    optUntilPM->setChecked(f.untilPM);
    optUntilAM->setChecked(!f.untilPM);
    setComboText(cmbChannel, f.channel);
    setComboText(cmbRepeat, f.repeat);
    if (txtOutput->text() != q(f.output)) txtOutput->setText(q(f.output));
    txtOutput->setToolTip(q(f.output));
    for (QWidget* w : std::initializer_list<QWidget*>{cmbStartHour, cmbStartMinute, optStartAM, optStartPM, cmdStart})
        w->setEnabled(f.startEnabled);
    cmdOK->setEnabled(f.okEnabled);
    m_showing = false;
}

void frmAddEvent::take() {
    AddEventFields& f = m_rules.fields;
    f.when = fromQDate(mvWhen->selectedDate());
    f.startHour = cmbStartHour->currentText().toStdString();
    f.startMinute = cmbStartMinute->currentText().toStdString();
    f.startPM = optStartPM->isChecked();
    f.durationHour = cmbDurationHour->currentText().toStdString();
    f.durationMinute = cmbDurationMinute->currentText().toStdString();
    f.untilHour = cmbUntilHour->currentText().toStdString();
    f.untilMinute = cmbUntilMinute->currentText().toStdString();
    f.untilPM = optUntilPM->isChecked();
    f.channel = cmbChannel->currentText().toStdString();
    f.repeat = cmbRepeat->currentText().toStdString();
    f.output = txtOutput->text().toStdString();
}

void frmAddEvent::refresh() { showFields(m_rules.fields); }

bool frmAddEvent::checkField(QObject* field) {
    using F = AddEventRules::Field;
    const std::pair<QComboBox*, F> map[] = {{cmbStartHour, F::StartHour},
                                            {cmbStartMinute, F::StartMinute},
                                            {cmbDurationHour, F::DurationHour},
                                            {cmbDurationMinute, F::DurationMinute},
                                            {cmbUntilHour, F::UntilHour},
                                            {cmbUntilMinute, F::UntilMinute},
                                            {cmbChannel, F::Channel}};
    for (const auto& [box, f] : map) {
        if (box != field) continue;
        take();
        if (!m_rules.checkField(f)) return false;
        if (f == F::DurationMinute || f == F::DurationHour) m_rules.fields.okEnabled = true;
        refresh();
        return true;
    }
    return true;
}

bool frmAddEvent::eventFilter(QObject* watched, QEvent* event) {
    // Opening a box's list takes the focus only for a moment.
    if (event->type() == QEvent::FocusOut && !m_showing && !m_closed &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
        if (!checkField(watched)) {
            // A refused entry keeps the focus, without a message.
            auto* w = qobject_cast<QWidget*>(watched);
            QTimer::singleShot(0, this, [this, w] {
                if (!m_closed && w) w->setFocus();
            });
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmAddEvent::focusField(const std::string& name) {
    if (auto* w = findChild<QWidget*>(q(name))) w->setFocus();
}

void frmAddEvent::onOk() {
    take();
    m_rules.timing = {updnStartMargin->value(), updnEndMargin->value(), chkKeepUntilSpace->isChecked()};
    const auto result = m_rules.Ok(m_window);
    if (result == AddEventRules::OkResult::Done) {
        refresh();
        accept();
        return;
    }
    if (result == AddEventRules::OkResult::Refused) {
        using F = AddEventRules::Field;
        static const std::pair<F, const char*> names[] = {{F::StartHour, "cmbStartHour"},
                                                          {F::StartMinute, "cmbStartMinute"},
                                                          {F::DurationHour, "cmbDurationHour"},
                                                          {F::DurationMinute, "cmbDurationMinute"},
                                                          {F::UntilHour, "cmbUntilHour"},
                                                          {F::UntilMinute, "cmbUntilMinute"},
                                                          {F::Channel, "cmbChannel"}};
        for (const auto& [f, n] : names)
            if (f == m_rules.refusedField) focusField(n);
    }
}

void frmAddEvent::done(int r) {
    if (!m_closed) {
        m_closed = true;
        take();
        m_rules.SaveSettings();
    }
    QDialog::done(r);
}

void ShowAddEventDialog(Program& program, MainWindowOps& window, QWidget* parent) {
    {
        AddEventRules rules(program);
        rules.Load();
        if (const auto answer = scriptedModal({"frmAddEvent", rules.caption(), rules.contents(), "Cancel"})) {
            if (const auto notice = rules.channelNotice()) MsgBox(parent, *notice, vbExclamation, rules.caption());
            if (*answer == "OK") rules.Ok(window);
            rules.SaveSettings();
            return;
        }
    }
    frmAddEvent dialog(program, window, parent);
    dialog.exec();
}

} // namespace vesper
