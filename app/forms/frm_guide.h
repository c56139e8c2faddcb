// frmGuide: the programme guide's grid (channels by time, one local day at a
// time, with the now line), its title search, and recording from it; and
// frmGuideChannels, which maps the listings' channels to tuner channels.
// Both are thin over the core's ProgrammeGuide.
#pragma once

#include "app/core/programme_guide.h"

#include "platform/dates.h"

#include <QList>
#include <QSet>
#include <QWidget>

#include <optional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace vesper {

class VesperCore;

// The painted grid: a row per tuner channel, the day's hours across.
class GuideGridView : public QWidget {
    Q_OBJECT
public:
    explicit GuideGridView(QWidget* parent = nullptr);

    // The local day (midnight) and its programmes, by tuner channel then start.
    void setDay(DateTime localDay, const QList<listings::Programme>& programmes);
    void setScheduled(const QSet<qint64>& ids);
    void setNow(qint64 nowUtc);

    DateTime day() const { return m_day; }
    const QList<listings::Programme>& programmes() const { return m_programmes; }
    const QSet<qint64>& scheduled() const { return m_scheduled; }
    // The tuner channels shown, top to bottom.
    const QList<int>& channels() const { return m_channels; }
    std::optional<listings::Programme> selected() const;
    bool select(qint64 programmeId);
    // Where a programme is drawn (empty when it is not on this day).
    QRect programmeRect(qint64 programmeId) const;
    // The now line's x, -1 when now is not on this day.
    int nowX() const;
    // The x of a UTC instant.
    int xOf(qint64 utc) const;

signals:
    void selectionChanged();
    // A double click on a programme.
    void recordRequested(const listings::Programme& programme);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    int programmeAt(const QPoint& p) const;
    QRect rectOf(const listings::Programme& p) const;

    DateTime m_day = 0;
    qint64 m_begin = 0, m_end = 0;
    qint64 m_now = 0;
    QList<listings::Programme> m_programmes;
    QList<int> m_channels;
    QList<QString> m_channelNames;
    QSet<qint64> m_scheduled;
    int m_selected = -1;
};

class frmGuide : public QWidget {
    Q_OBJECT
public:
    explicit frmGuide(VesperCore& core, QWidget* parent = nullptr);

    // Shows the local day holding `localDay`.
    void showDay(DateTime localDay);
    // Lists the programmes whose title holds the text.
    void search(const QString& text);
    // Refreshes the marks of scheduled programmes.
    void refreshScheduled();
    // Hands the selected programme (or the chosen search result) to the Add
    // Event dialog; records every showing of its title on its channel.
    void recordSelected();
    void recordSeriesSelected();
    void showStatus();

    // The controls, by their names.
    QPushButton *cmdGuidePrevDay, *cmdGuideToday, *cmdGuideNextDay;
    QLabel* lblGuideDay;
    QLineEdit* txtGuideSearch;
    QPushButton* cmdGuideSearch;
    QScrollArea* scrGuide;
    GuideGridView* grdGuide;
    QListWidget* lstGuideSearch;
    QLabel* lblGuideDetails;
    QPushButton *cmdGuideRecord, *cmdGuideSeries, *cmdGuideChannels, *cmdGuideImport, *cmdGuideClose;
    QLabel* lblGuideStatus;
    QListWidget* lstGuideProblems;
    QPushButton* cmdGuideClearProblems;

private:
    std::optional<listings::Programme> chosen() const;
    void showDetails();
    void openChannels();

    VesperCore& m_core;
    ProgrammeGuide& m_guide;
    QTimer* m_poll;
    int m_gridVersion = -1;
    bool m_searchChosen = false;
};

class frmGuideChannels : public QWidget {
    Q_OBJECT
public:
    frmGuideChannels(ProgrammeGuide& guide, QWidget* parent = nullptr);
    // Keeps the numbers shown (the values "None" and 2 to 181).
    void apply();

    QTableWidget* grdGuideChannels;
    QPushButton *cmdGuideChannelDefault, *cmdGuideChannelsOK, *cmdGuideChannelsCancel;

signals:
    void applied();

private:
    QSpinBox* spin(int row) const;

    ProgrammeGuide& m_guide;
    QList<listings::Channel> m_channels;
    QSet<int> m_reset;
};

// Opens (or brings forward) the guide window of the main window `owner`.
frmGuide* showGuideWindow(VesperCore& core, QWidget* owner);

} // namespace vesper
