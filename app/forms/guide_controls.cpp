#include "app/forms/guide_controls.h"

#include "app/core/programme_guide.h"
#include "app/forms/frm_guide.h"
#include "app/forms/frm_vesper.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace vesper {

namespace {

// Keeps the button across the pane's width below its four links, as the
// pane is laid out again.
class PaneFollower : public QObject {
public:
    PaneFollower(QWidget* pane, QWidget* control) : QObject(control), m_control(control) {
        pane->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) place(static_cast<QWidget*>(watched));
        return false;
    }
    void place(QWidget* pane) { m_control->setGeometry(8, 216, std::max(pane->width() - 16, 1), 24); }

private:
    QWidget* m_control;
};

} // namespace

void addGuideControls(frmVesper& w) {
    QGroupBox* pane = w.fraElectronicProgrammingGuide;
    auto* open = new QPushButton(QStringLiteral("Guide &Grid..."), pane);
    open->setObjectName("cmdGuideGrid");
    open->setToolTip(QStringLiteral(" Open the programme guide grid "));
    (new PaneFollower(pane, open))->place(pane);
    open->setVisible(true);
    VesperCore& core = w.core();
    QObject::connect(open, &QPushButton::clicked, &w, [&w, &core] { showGuideWindow(core, &w); });

    // The import's outcome beside the schedule's commands.
    QWidget* page = w.cmdDeleteEvent->parentWidget();
    const QRect after = w.cmdDeleteEvent->geometry();
    auto* status = new QLabel(page);
    status->setObjectName("lblGuideImport");
    status->setGeometry(after.right() + 10, after.top() + 2, std::max(page->width() - after.right() - 16, 320), 24);
    ProgrammeGuide& guide = core.guide();
    const auto show = [status, &guide] {
        const QString text = guide.status();
        status->setToolTip(text);
        status->setText(status->fontMetrics().elidedText("Guide: " + text, Qt::ElideRight, status->width()));
        status->setStyleSheet(guide.failed() ? QStringLiteral("color: red;") : QString());
        status->setVisible(!text.isEmpty());
    };
    QObject::connect(&guide, &ProgrammeGuide::changed, status, show);
    show();
}

} // namespace vesper
