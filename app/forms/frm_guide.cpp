#include "app/forms/frm_guide.h"

#include "app/core/vesper_core.h"

#include "listings/xmltv_time.h"
#include "platform/clock.h"
#include "platform/ui/qt_ui_seam.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>

namespace vesper {

using listings::Programme;

namespace {

constexpr int kNameWidth = 120, kHeaderHeight = 22, kRowHeight = 36, kPixelsPerMinute = 3;

QString q(const std::string& s) { return QString::fromStdString(s); }

template <class T> T* named(T* w, const char* name) {
    w->setObjectName(name);
    return w;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption) {
    return named(new QPushButton(QString::fromUtf8(caption), parent), name);
}

QString timeText(qint64 utc) { return q(formatDate(listings::localTime(utc), "h:nn AMPM")); }

QString programmeLine(const Programme& p) {
    const QString channel = p.tunerChannel ? QString::number(p.tunerChannel) + " " + p.channelName : p.channelName;
    return q(formatDate(listings::localTime(p.startUtc), "ddd mmm d  h:nn AMPM")) + "  " + channel + "  " + p.title;
}

} // namespace

// --- the grid ------------------------------------------------------------------

GuideGridView::GuideGridView(QWidget* parent) : QWidget(parent) {
    setObjectName("grdGuide");
    setMouseTracking(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GuideGridView::setDay(DateTime localDay, const QList<Programme>& programmes) {
    m_day = dayStart(localDay);
    const listings::UtcRange range = listings::localDayRange(m_day);
    m_begin = range.begin;
    m_end = range.end;
    m_programmes = programmes;
    m_channels.clear();
    m_channelNames.clear();
    for (const Programme& p : m_programmes)
        if (m_channels.isEmpty() || m_channels.last() != p.tunerChannel) {
            m_channels << p.tunerChannel;
            m_channelNames << QString::number(p.tunerChannel) + "  " + p.channelName;
        }
    m_selected = -1;
    setFixedSize(xOf(m_end) + 1, kHeaderHeight + std::max<int>(m_channels.size(), 1) * kRowHeight + 1);
    update();
    emit selectionChanged();
}

void GuideGridView::setScheduled(const QSet<qint64>& ids) {
    if (ids == m_scheduled) return;
    m_scheduled = ids;
    update();
}

void GuideGridView::setNow(qint64 nowUtc) {
    if (nowUtc / 60 == m_now / 60) return;
    m_now = nowUtc;
    update();
}

std::optional<Programme> GuideGridView::selected() const {
    if (m_selected < 0 || m_selected >= m_programmes.size()) return std::nullopt;
    return m_programmes[m_selected];
}

bool GuideGridView::select(qint64 programmeId) {
    for (int i = 0; i < m_programmes.size(); ++i)
        if (m_programmes[i].id == programmeId) {
            m_selected = i;
            update();
            emit selectionChanged();
            return true;
        }
    return false;
}

int GuideGridView::xOf(qint64 utc) const { return kNameWidth + int((utc - m_begin) * kPixelsPerMinute / 60); }

int GuideGridView::nowX() const { return m_now >= m_begin && m_now < m_end ? xOf(m_now) : -1; }

QRect GuideGridView::rectOf(const Programme& p) const {
    const int row = int(m_channels.indexOf(p.tunerChannel));
    if (row < 0 || p.stopUtc <= m_begin || p.startUtc >= m_end) return {};
    const int left = xOf(std::max(p.startUtc, m_begin));
    const int right = xOf(std::min(p.stopUtc, m_end));
    return QRect(left, kHeaderHeight + row * kRowHeight, std::max(right - left, 2), kRowHeight - 1);
}

QRect GuideGridView::programmeRect(qint64 programmeId) const {
    for (const Programme& p : m_programmes)
        if (p.id == programmeId) return rectOf(p);
    return {};
}

int GuideGridView::programmeAt(const QPoint& point) const {
    // The names and the hours lie over the programmes.
    const QRect seen = visibleRegion().boundingRect();
    if (seen.contains(point) && (point.x() < seen.left() + kNameWidth || point.y() < seen.top() + kHeaderHeight))
        return -1;
    for (int i = 0; i < m_programmes.size(); ++i)
        if (rectOf(m_programmes[i]).contains(point)) return i;
    return -1;
}

void GuideGridView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect area = event->rect();
    painter.fillRect(area, palette().base());
    const QFontMetrics metrics = painter.fontMetrics();

    // The hours and the channels' names stay in sight while the grid scrolls.
    const QRect seen = visibleRegion().boundingRect();
    const int left = seen.left(), top = seen.top();
    for (qint64 t = m_begin; t < m_end; t += 1800) {
        const int x = xOf(t);
        if (x + 100 < area.left() || x > area.right()) continue;
        painter.setPen(palette().mid().color());
        painter.drawLine(x, top + kHeaderHeight, x, height());
    }

    for (int i = 0; i < m_programmes.size(); ++i) {
        const Programme& p = m_programmes[i];
        const QRect r = rectOf(p);
        if (!r.intersects(area)) continue;
        const bool scheduled = m_scheduled.contains(p.id);
        painter.fillRect(r.adjusted(1, 1, 0, 0), scheduled ? QColor(255, 200, 200) : QColor(225, 235, 250));
        painter.setPen(i == m_selected ? QPen(QColor(0, 70, 200), 2) : QPen(palette().mid().color()));
        painter.drawRect(r.adjusted(1, 1, -1, -1));
        painter.setPen(palette().text().color());
        const QRect text = r.adjusted(4, 2, -3, -2);
        // A scheduled programme says so in its first line.
        const QString title = (scheduled ? QString::fromUtf8("\u25cf REC ") : QString()) + p.title;
        painter.drawText(text, Qt::AlignLeft | Qt::AlignTop, metrics.elidedText(title, Qt::ElideRight, text.width()));
        painter.drawText(text, Qt::AlignLeft | Qt::AlignBottom,
                         metrics.elidedText(timeText(p.startUtc), Qt::ElideRight, text.width()));
    }

    // The hours across, a mark each half hour.
    painter.fillRect(QRect(area.left(), top, area.width(), kHeaderHeight), palette().window());
    for (qint64 t = m_begin; t < m_end; t += 1800) {
        const int x = xOf(t);
        if (x + 100 < area.left() || x > area.right()) continue;
        painter.setPen(palette().mid().color());
        painter.drawLine(x, top + ((t - m_begin) % 3600 ? kHeaderHeight / 2 : 0), x, top + kHeaderHeight);
        if ((t - m_begin) % 3600 == 0) {
            painter.setPen(palette().text().color());
            painter.drawText(x + 3, top + kHeaderHeight - 6, timeText(t));
        }
    }

    // The channels down the left.
    painter.fillRect(QRect(left, top, kNameWidth, height() - top), palette().window());
    painter.setPen(palette().text().color());
    for (int row = 0; row < m_channels.size(); ++row) {
        const QRect r(left + 4, kHeaderHeight + row * kRowHeight, kNameWidth - 8, kRowHeight);
        if (r.bottom() < top + kHeaderHeight) continue;
        painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(m_channelNames[row], Qt::ElideRight, r.width()));
    }
    if (m_channels.isEmpty())
        painter.drawText(QRect(left + kNameWidth + 8, kHeaderHeight, 400, kRowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         tr("No programmes on this day"));

    if (const int x = nowX(); x >= left + kNameWidth) {
        painter.setPen(QPen(Qt::red, 2));
        painter.drawLine(x, top, x, height());
    }
}

void GuideGridView::mousePressEvent(QMouseEvent* event) {
    const int i = programmeAt(event->position().toPoint());
    if (i < 0) return;
    m_selected = i;
    update();
    emit selectionChanged();
}

void GuideGridView::mouseDoubleClickEvent(QMouseEvent* event) {
    const int i = programmeAt(event->position().toPoint());
    if (i < 0) return;
    m_selected = i;
    update();
    emit selectionChanged();
    emit recordRequested(m_programmes[i]);
}

bool GuideGridView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int i = programmeAt(help->pos());
        if (i < 0) {
            QToolTip::hideText();
            return true;
        }
        const Programme& p = m_programmes[i];
        QString tip = p.title + (p.subTitle.isEmpty() ? QString() : ": " + p.subTitle) + "\n" + timeText(p.startUtc) +
                      " - " + timeText(p.stopUtc);
        if (!p.categories.isEmpty()) tip += "  (" + p.categories.join(", ") + ")";
        if (!p.description.isEmpty()) tip += "\n" + p.description.left(500);
        QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QWidget::event(event);
}

// --- the window ------------------------------------------------------------------

frmGuide::frmGuide(VesperCore& core, QWidget* parent)
    : QWidget(parent, Qt::Window), m_core(core), m_guide(core.guide()) {
    setObjectName("frmGuide");
    setWindowTitle("Programme Guide");
    resize(900, 560);

    auto* top = new QHBoxLayout;
    cmdGuidePrevDay = button(this, "cmdGuidePrevDay", "<");
    cmdGuidePrevDay->setToolTip(" Previous day ");
    lblGuideDay = named(new QLabel(this), "lblGuideDay");
    lblGuideDay->setMinimumWidth(220);
    lblGuideDay->setAlignment(Qt::AlignCenter);
    cmdGuideNextDay = button(this, "cmdGuideNextDay", ">");
    cmdGuideNextDay->setToolTip(" Next day ");
    cmdGuideToday = button(this, "cmdGuideToday", "&Today");
    txtGuideSearch = named(new QLineEdit(this), "txtGuideSearch");
    txtGuideSearch->setPlaceholderText("Title");
    cmdGuideSearch = button(this, "cmdGuideSearch", "&Search");
    for (QWidget* w : {static_cast<QWidget*>(cmdGuidePrevDay), static_cast<QWidget*>(lblGuideDay),
                       static_cast<QWidget*>(cmdGuideNextDay), static_cast<QWidget*>(cmdGuideToday)})
        top->addWidget(w);
    top->addStretch();
    top->addWidget(txtGuideSearch);
    top->addWidget(cmdGuideSearch);

    grdGuide = new GuideGridView;
    scrGuide = named(new QScrollArea(this), "scrGuide");
    scrGuide->setWidget(grdGuide);
    // The names and hours are painted where the view stands: all of it again.
    for (QScrollBar* bar : {scrGuide->horizontalScrollBar(), scrGuide->verticalScrollBar()})
        connect(bar, &QScrollBar::valueChanged, grdGuide, qOverload<>(&QWidget::update));
    lstGuideSearch = named(new QListWidget(this), "lstGuideSearch");
    lstGuideSearch->setMaximumHeight(120);
    lstGuideSearch->setVisible(false);
    lstGuideSearch->setToolTip(" Double click to record ");
    lblGuideDetails = named(new QLabel(this), "lblGuideDetails");
    lblGuideDetails->setWordWrap(true);
    lblGuideDetails->setMinimumHeight(36);
    lblGuideDetails->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* buttons = new QHBoxLayout;
    cmdGuideRecord = button(this, "cmdGuideRecord", "&Record");
    cmdGuideRecord->setToolTip(" Add the selected programme to the schedule ");
    cmdGuideSeries = button(this, "cmdGuideSeries", "Record Se&ries");
    cmdGuideSeries->setToolTip(" Record every showing of this title on this channel ");
    cmdGuideChannels = button(this, "cmdGuideChannels", "&Channels...");
    cmdGuideImport = button(this, "cmdGuideImport", "&Import Now");
    cmdGuideClose = button(this, "cmdGuideClose", "Close");
    for (QPushButton* b : {cmdGuideRecord, cmdGuideSeries, cmdGuideChannels, cmdGuideImport})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(cmdGuideClose);

    lblGuideStatus = named(new QLabel(this), "lblGuideStatus");
    lblGuideStatus->setWordWrap(true);
    lstGuideProblems = named(new QListWidget(this), "lstGuideProblems");
    lstGuideProblems->setMaximumHeight(80);
    lstGuideProblems->setToolTip(" Series showings that were not scheduled ");
    cmdGuideClearProblems = button(this, "cmdGuideClearProblems", "C&lear List");
    auto* problems = new QHBoxLayout;
    problems->addWidget(lstGuideProblems, 1);
    problems->addWidget(cmdGuideClearProblems, 0, Qt::AlignTop);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(scrGuide, 1);
    layout->addWidget(lstGuideSearch);
    layout->addWidget(lblGuideDetails);
    layout->addLayout(buttons);
    layout->addWidget(lblGuideStatus);
    layout->addLayout(problems);

    connect(cmdGuidePrevDay, &QPushButton::clicked, this, [this] { showDay(grdGuide->day() - 1); });
    connect(cmdGuideNextDay, &QPushButton::clicked, this, [this] { showDay(grdGuide->day() + 1); });
    connect(cmdGuideToday, &QPushButton::clicked, this, [this] { showDay(now()); });
    connect(cmdGuideSearch, &QPushButton::clicked, this, [this] { search(txtGuideSearch->text()); });
    connect(txtGuideSearch, &QLineEdit::returnPressed, this, [this] { search(txtGuideSearch->text()); });
    connect(grdGuide, &GuideGridView::selectionChanged, this, [this] {
        m_searchChosen = false;
        showDetails();
    });
    connect(grdGuide, &GuideGridView::recordRequested, this, [this] { recordSelected(); });
    connect(lstGuideSearch, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0) return;
        const qint64 id = lstGuideSearch->item(row)->data(Qt::UserRole).toLongLong();
        const auto p = m_guide.store() ? m_guide.store()->programme(id) : std::nullopt;
        if (!p) return;
        if (p->tunerChannel != 0) {
            if (dayStart(listings::localTime(p->startUtc)) != grdGuide->day())
                showDay(listings::localTime(p->startUtc));
            grdGuide->select(id);
            const QRect r = grdGuide->programmeRect(id);
            scrGuide->ensureVisible(r.center().x(), r.center().y(), r.width() / 2 + 20, r.height());
        }
        m_searchChosen = true;
        showDetails();
    });
    connect(lstGuideSearch, &QListWidget::itemActivated, this, [this] { recordSelected(); });
    connect(cmdGuideRecord, &QPushButton::clicked, this, &frmGuide::recordSelected);
    connect(cmdGuideSeries, &QPushButton::clicked, this, &frmGuide::recordSeriesSelected);
    connect(cmdGuideChannels, &QPushButton::clicked, this, &frmGuide::openChannels);
    connect(cmdGuideImport, &QPushButton::clicked, this, [this] { m_guide.importNow(); });
    connect(cmdGuideClose, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdGuideClearProblems, &QPushButton::clicked, this, [this] { m_guide.clearSeriesProblems(); });
    connect(&m_guide, &ProgrammeGuide::changed, this, [this] {
        showStatus();
        refreshScheduled();
    });
    // A new import renumbers the programmes: the day is read again.
    connect(&m_guide, &ProgrammeGuide::importFinished, this, [this](bool ok) {
        if (ok) showDay(grdGuide->day());
    });
    // The schedule changes under the window (an Add Event dialog, the
    // recording tick); the marks and the now line follow it.
    m_poll = new QTimer(this);
    m_poll->setInterval(500);
    connect(m_poll, &QTimer::timeout, this, [this] {
        grdGuide->setNow(listings::utcFromLocal(now()));
        if (m_core.engine().display.gridVersion != m_gridVersion) refreshScheduled();
    });
    m_poll->start();
    showStatus();
}

void frmGuide::showDay(DateTime localDay) {
    listings::GuideStore* store = m_guide.store();
    const QList<Programme> programmes = store ? store->dayProgrammes(localDay) : QList<Programme>{};
    grdGuide->setDay(localDay, programmes);
    grdGuide->setNow(listings::utcFromLocal(now()));
    m_gridVersion = m_core.engine().display.gridVersion;
    grdGuide->setScheduled(m_guide.scheduledProgrammes(programmes));
    lblGuideDay->setText(q(formatDate(grdGuide->day(), "dddd, mmmm d, yyyy")));
    // Today opens at the now line, another day in the evening.
    const int x =
        grdGuide->nowX() >= 0 ? grdGuide->nowX() : grdGuide->xOf(listings::utcFromLocal(grdGuide->day() + 18.0 / 24));
    scrGuide->horizontalScrollBar()->setValue(std::max(x - kNameWidth - 60, 0));
    if (!store) showStatus();
}

void frmGuide::search(const QString& text) {
    lstGuideSearch->clear();
    const QString t = text.trimmed();
    lstGuideSearch->setVisible(!t.isEmpty());
    if (t.isEmpty()) return;
    listings::GuideStore* store = m_guide.store();
    const QList<Programme> found = store ? store->search(t, 200, listings::utcFromLocal(now())) : QList<Programme>{};
    for (const Programme& p : found) {
        auto* item = new QListWidgetItem(programmeLine(p), lstGuideSearch);
        item->setData(Qt::UserRole, p.id);
    }
    if (found.isEmpty()) new QListWidgetItem(tr("Nothing found"), lstGuideSearch);
}

void frmGuide::refreshScheduled() {
    m_gridVersion = m_core.engine().display.gridVersion;
    grdGuide->setScheduled(m_guide.scheduledProgrammes(grdGuide->programmes()));
}

std::optional<Programme> frmGuide::chosen() const {
    if (m_searchChosen && lstGuideSearch->currentItem()) {
        const QVariant id = lstGuideSearch->currentItem()->data(Qt::UserRole);
        if (id.isValid() && m_guide.store()) return m_guide.store()->programme(id.toLongLong());
        return std::nullopt;
    }
    return grdGuide->selected();
}

void frmGuide::showDetails() {
    const auto p = chosen();
    if (!p) {
        lblGuideDetails->clear();
        return;
    }
    QString text = "<b>" + p->title.toHtmlEscaped() + "</b>";
    if (!p->subTitle.isEmpty()) text += ": " + p->subTitle.toHtmlEscaped();
    text += "  " + timeText(p->startUtc) + " - " + timeText(p->stopUtc) + ", " + p->channelName.toHtmlEscaped();
    if (!p->description.isEmpty()) text += "<br>" + p->description.left(300).toHtmlEscaped();
    lblGuideDetails->setText(text);
}

void frmGuide::recordSelected() {
    if (const auto p = chosen()) m_guide.record(*p);
}

void frmGuide::recordSeriesSelected() {
    const auto p = chosen();
    if (!p) return;
    const std::string question = "Record every showing of \"" + p->title.toStdString() + "\" on " +
                                 p->channelName.toStdString() + "?\r\n\r\nShowings that conflict with the schedule " +
                                 "are listed in this window.";
    if (MsgBox(question, vbYesNo | vbQuestion, "Record Series") != vbYes) return;
    m_guide.recordSeries(*p);
    refreshScheduled();
}

void frmGuide::showStatus() {
    lblGuideStatus->setText(m_guide.status());
    const QStringList problems = m_guide.seriesProblems();
    lstGuideProblems->clear();
    lstGuideProblems->addItems(problems);
    lstGuideProblems->setVisible(!problems.isEmpty());
    cmdGuideClearProblems->setVisible(!problems.isEmpty());
}

void frmGuide::openChannels() {
    auto* w = findChild<frmGuideChannels*>();
    if (!w) {
        w = new frmGuideChannels(m_guide, this);
        w->setAttribute(Qt::WA_DeleteOnClose);
        connect(w, &frmGuideChannels::applied, this, [this] { showDay(grdGuide->day()); });
    }
    w->show();
    w->raise();
    w->activateWindow();
}

// --- the channels ------------------------------------------------------------------

frmGuideChannels::frmGuideChannels(ProgrammeGuide& guide, QWidget* parent)
    : QWidget(parent, Qt::Window), m_guide(guide) {
    setObjectName("frmGuideChannels");
    setWindowTitle("Guide Channels");
    resize(480, 420);
    grdGuideChannels = named(new QTableWidget(this), "grdGuideChannels");
    grdGuideChannels->setColumnCount(3);
    grdGuideChannels->setHorizontalHeaderLabels({"Listings channel", "Id", "Tuner channel"});
    grdGuideChannels->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    grdGuideChannels->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdGuideChannels->setSelectionMode(QAbstractItemView::SingleSelection);
    grdGuideChannels->setEditTriggers(QAbstractItemView::NoEditTriggers);
    if (listings::GuideStore* store = m_guide.store()) m_channels = store->channels();
    grdGuideChannels->setRowCount(int(m_channels.size()));
    for (int row = 0; row < m_channels.size(); ++row) {
        const listings::Channel& c = m_channels[row];
        grdGuideChannels->setItem(row, 0, new QTableWidgetItem(c.displayNames.join(" / ")));
        grdGuideChannels->setItem(row, 1, new QTableWidgetItem(c.id));
        auto* s = new QSpinBox;
        // The lowest value stands for "no tuner channel".
        s->setRange(listings::kFirstTunerChannel - 1, listings::kLastTunerChannel);
        s->setSpecialValueText("None");
        s->setValue(c.number ? c.number : listings::kFirstTunerChannel - 1);
        grdGuideChannels->setCellWidget(row, 2, s);
    }
    cmdGuideChannelDefault = button(this, "cmdGuideChannelDefault", "&Default");
    cmdGuideChannelDefault->setToolTip(" The number the channel's names give ");
    cmdGuideChannelsOK = button(this, "cmdGuideChannelsOK", "OK");
    cmdGuideChannelsCancel = button(this, "cmdGuideChannelsCancel", "Cancel");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdGuideChannelDefault);
    buttons->addStretch();
    buttons->addWidget(cmdGuideChannelsOK);
    buttons->addWidget(cmdGuideChannelsCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grdGuideChannels, 1);
    layout->addLayout(buttons);

    connect(cmdGuideChannelDefault, &QPushButton::clicked, this, [this] {
        const int row = grdGuideChannels->currentRow();
        if (row < 0 || row >= m_channels.size()) return;
        const int number = m_channels[row].defaultNumber;
        spin(row)->setValue(number ? number : listings::kFirstTunerChannel - 1);
        m_reset.insert(row);
    });
    connect(cmdGuideChannelsOK, &QPushButton::clicked, this, [this] {
        apply();
        close();
    });
    connect(cmdGuideChannelsCancel, &QPushButton::clicked, this, &QWidget::close);
}

QSpinBox* frmGuideChannels::spin(int row) const {
    return qobject_cast<QSpinBox*>(grdGuideChannels->cellWidget(row, 2));
}

void frmGuideChannels::apply() {
    listings::GuideStore* store = m_guide.store();
    if (!store) return;
    bool ok = true;
    for (int row = 0; row < m_channels.size(); ++row) {
        const listings::Channel& c = m_channels[row];
        const int value = spin(row)->value();
        const int number = value < listings::kFirstTunerChannel ? 0 : value;
        if (m_reset.contains(row) && number == c.defaultNumber)
            ok = store->resetChannelNumber(c.id) && ok;
        else if (number != c.number)
            ok = (number ? store->setChannelNumber(c.id, number) : store->clearChannelNumber(c.id)) && ok;
    }
    if (!ok) MsgBox("Not every channel could be kept: " + store->error().toStdString(), vbCritical, "Guide Channels");
    m_channels = store->channels();
    m_reset.clear();
    emit applied();
}

frmGuide* showGuideWindow(VesperCore& core, QWidget* owner) {
    auto* guide = owner->findChild<frmGuide*>(QString(), Qt::FindDirectChildrenOnly);
    const bool opening = !guide;
    if (opening) {
        guide = new frmGuide(core, owner);
        guide->setAttribute(Qt::WA_DeleteOnClose);
    }
    guide->show();
    // Shown first: a hidden scroll area has no range to scroll to the now line.
    if (opening) guide->showDay(now());
    guide->raise();
    guide->activateWindow();
    return guide;
}

} // namespace vesper
