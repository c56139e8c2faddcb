#include "app/forms/keep_controls.h"

#include "app/core/kept_recordings.h"
#include "app/forms/frm_vesper.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>
#include <QTabWidget>

namespace vesper {

namespace {

void showKept(QLabel* next, QListWidget* list, const SpaceKeeper& keeper) {
    const auto kept = keeper.nextToGo();
    const QString text = kept ? QString::fromStdString("Next to go when space is needed: " + describeKept(*kept))
                              : QStringLiteral("Nothing is kept until space is needed");
    next->setText(text);
    next->setToolTip(kept ? QString::fromStdString(kept->path) : text);
    list->clear();
    const auto deletions = keeper.deletions();
    // The newest first.
    for (auto it = deletions.rbegin(); it != deletions.rend(); ++it) {
        auto* item = new QListWidgetItem(QString::fromStdString(describeDeletion(*it)), list);
        item->setToolTip(QString::fromStdString(explainDeletion(*it)));
    }
}

void addSummaryControls(frmVesper& window, QWidget* tab) {
    // The deletions share the column of the failed recordings, below them.
    QRect column(530, 24, 166, 184);
    if (auto* failed = tab->findChild<QListWidget*>("lstFailedEvents")) {
        column = failed->geometry();
        failed->setGeometry(column.x(), column.y(), column.width(), column.height() / 2 - 10);
    }
    const int top = column.y() + column.height() / 2 - 6;
    auto* caption = new QLabel(QStringLiteral("Deleted to make room:"), tab);
    caption->setObjectName("lblKeptDeleted");
    caption->setGeometry(column.x(), top, column.width(), 18);
    auto* list = new QListWidget(tab);
    list->setObjectName("lstKeptDeleted");
    list->setGeometry(column.x(), top + 18, column.width(), column.bottom() + 1 - top - 18);
    list->setToolTip(QStringLiteral(" Recordings deleted to make room for later ones, newest first "));
    // Beside the preview's caption, above the watch's notice.
    auto* next = new QLabel(tab);
    next->setObjectName("lblKeptNext");
    next->setGeometry(396, 210, 300, 34);
    next->setWordWrap(true);

    SpaceKeeper& keeper = window.core().keeper();
    showKept(next, list, keeper);
    keeper.onChanged = [next, list, &keeper] { showKept(next, list, keeper); };
}

void addTimingControls(frmVesper& window, QWidget* tab) {
    TimingSettings& timing = window.core().timingSettings();
    // A row beside the exit warning.
    QWidget* parent = tab->findChild<QGroupBox*>("Frame3");
    auto* frame = new QFrame(parent ? parent : tab);
    frame->setObjectName("fraTiming");
    frame->setGeometry(184, 102, 496, 28);
    frame->setToolTip(QStringLiteral(" What a new event gets, and an event that was given nothing of its own "));
    auto* row = new QHBoxLayout(frame);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    auto* start = newMarginBox(frame, "updnDefaultStartMargin", timing.defaults.startMarginSeconds,
                               " Seconds a new event records before its start ");
    auto* end = newMarginBox(frame, "updnDefaultEndMargin", timing.defaults.endMarginSeconds,
                             " Seconds a new event records after its end ");
    for (QSpinBox* box : {start, end})
        box->setFixedWidth(64);
    auto* keep = new QCheckBox(QStringLiteral("Keep until space is needed"), frame);
    keep->setObjectName("chkDefaultKeepUntilSpace");
    keep->setChecked(timing.defaults.keepUntilSpaceNeeded);
    keep->setToolTip(QStringLiteral(" A new event's recordings are deleted, oldest first, when a later recording "
                                    "needs the space "));
    row->addStretch(1);
    row->addWidget(new QLabel(QStringLiteral("New events:"), frame));
    row->addWidget(new QLabel(QStringLiteral("Early:"), frame));
    row->addWidget(start);
    row->addWidget(new QLabel(QStringLiteral("Late:"), frame));
    row->addWidget(end);
    row->addWidget(keep);

    const auto store = [&timing, start, end, keep] {
        timing.defaults = {start->value(), end->value(), keep->isChecked()};
        timing.save();
    };
    QObject::connect(start, &QSpinBox::valueChanged, frame, store);
    QObject::connect(end, &QSpinBox::valueChanged, frame, store);
    QObject::connect(keep, &QCheckBox::toggled, frame, store);
}

} // namespace

QSpinBox* newMarginBox(QWidget* parent, const char* name, int seconds, const char* tip) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(0, kMaxMarginSeconds);
    box->setSingleStep(30);
    box->setSuffix(" s");
    box->setValue(seconds);
    box->setToolTip(tip);
    return box;
}

void addKeepControls(frmVesper& window) {
    // Found by name, whichever way the window's layout was built.
    auto* tabs = window.findChild<QTabWidget*>("SSTab1");
    if (!tabs || tabs->count() < 4) return;
    addSummaryControls(window, tabs->widget(0));
    addTimingControls(window, tabs->widget(3));
}

} // namespace vesper
