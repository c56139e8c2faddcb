#include "app/forms/watch_controls.h"

#include "app/core/watch_service.h"
#include "app/forms/frm_vesper.h"

#include <QLabel>
#include <QListWidget>
#include <QTabWidget>

namespace vesper {

namespace {

void fillList(QListWidget* list, EventWatch& watch) {
    list->clear();
    const auto entries = watch.list().entries();
    // The newest first: the one that matters is at the top.
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const QString text = QString::fromStdString(watch::describe(*it));
        auto* item = new QListWidgetItem(text, list);
        item->setToolTip(text);
    }
}

} // namespace

void addWatchControls(frmVesper& window) {
    // Found by name, whichever way the window's layout was built.
    auto* tabs = window.findChild<QTabWidget*>("SSTab1");
    if (!tabs || !tabs->widget(0)) return;
    QWidget* tab = tabs->widget(0);
    auto* caption = new QLabel(QStringLiteral("Failed or missed:"), tab);
    caption->setObjectName("lblFailedEvents");
    caption->setGeometry(530, 4, 166, 18);
    auto* list = new QListWidget(tab);
    list->setObjectName("lstFailedEvents");
    list->setGeometry(530, 24, 166, 184);
    list->setToolTip(QStringLiteral(" Recordings that failed or were missed, newest first "));
    auto* notice = new QLabel(tab);
    notice->setObjectName("lblWatchNotice");
    notice->setGeometry(230, 248, 466, 30);
    notice->setWordWrap(true);
    notice->setStyleSheet("color: #b00000;");

    WatchService& service = window.core().watch();
    fillList(list, service.watch());
    service.onListChanged = [list, &service] { fillList(list, service.watch()); };
    service.onStatusNotice = [notice](const std::string& line) {
        notice->setText(QString::fromStdString(line));
        notice->setToolTip(QString::fromStdString(line));
    };
    service.onOpenRequested = [&window, tabs] {
        window.restoreNormal();
        tabs->setCurrentIndex(0);
        window.raise();
        window.activateWindow();
    };
}

} // namespace vesper
