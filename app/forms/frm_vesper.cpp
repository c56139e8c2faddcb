#include "app/forms/frm_vesper.h"

#include "app/core/device_list.h"
#include "app/core/diagnostics.h"
#include "app/core/encoder_profiles.h"
#include "app/core/handover_server.h"
#include "app/core/mod_encoder.h"
#include "app/core/output_files.h"
#include "app/core/remote_access.h"
#include "app/core/remote_server.h"
#include "app/core/schedule_commands.h"
#include "app/core/settings_store.h"
#include "app/core/status_log.h"
#include "app/core/xml_program_event.h"
#include "app/forms/frm_add_event.h"
#include "app/forms/frm_dir_select.h"
#include "app/forms/frm_select_profile.h"
#include "app/forms/grid_view.h"
#include "app/forms/guide_controls.h"
#include "app/forms/keep_controls.h"
#include "app/forms/watch_controls.h"
#include "platform/handover/handover_protocol.h"
#include "platform/ui/qt_ui_seam.h"

#include "platform/paths.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace vesper {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
QString q(const char* s) { return QString::fromUtf8(s); }

// "color: #rrggbb" of a classic colour value (blue in the high byte).
QString colourStyle(int value) {
    const int r = value & 0xFF, g = (value >> 8) & 0xFF, b = (value >> 16) & 0xFF;
    return QStringLiteral("color: rgb(%1, %2, %3);").arg(r).arg(g).arg(b);
}

// Style sheets are applied only when they change: the tick renders every
// second and a new style sheet re-polishes the widget.
void applyStyleSheet(QWidget* w, const QString& sheet) {
    if (w->styleSheet() != sheet) w->setStyleSheet(sheet);
}

// The numeric value of channel text as a 16-bit integer; nullopt when it
// does not fit (a 16-bit conversion would overflow).
std::optional<int16_t> channelValue(const std::string& text) {
    const long v = leadingNumber(text);
    if (v < -32768 || v > 32767) return std::nullopt;
    return int16_t(v);
}

// The schedule page: the grid at the top left, and to its right the guide
// pane's button with the pane's frame below it. Pixels.
constexpr int kGridLeft = 6, kGridTop = 6, kGridHeight = 276, kPageMargin = 6;
constexpr int kEpgButtonWidth = 40, kEpgButtonHeight = 26;
// The page's width inside the tab control until the control lays it out.
constexpr int kSchedulePageWidth = 706;

} // namespace

frmVesper::frmVesper(Program& program, ObjectPtr scheduler, frmVesperOptions options, QWidget* parent)
    : QWidget(parent), m_program(program), m_options(options) {
    setObjectName("frmVesper");
    setWindowTitle(q(kAppTitle));
    m_sCleanExitName = std::string("bExitNormally.") + kVersionText;

    m_core = std::make_unique<VesperCore>(m_program, std::move(scheduler), *this);
    // The timers are the core's; the window holds them so that they are found
    // by their names among its controls.
    Timer1 = m_core->Timer1;
    Timer2 = m_core->Timer2;
    Timer1->setParent(this);
    Timer2->setParent(this);

    buildLayout();
    connectControls();
    addGuideControls(*this);
    addWatchControls(*this);
    addKeepControls(*this);

    if (m_options.fillDevicesAndProfile) {
        FillDeviceBoxes();
        cmbEncodingProfileName->setCurrentIndex(1);
        ApplyProfileChoice();
    }
    render();
    if (m_options.startTimers) {
        Timer1->start();
        Timer2->start();
    }
}

frmVesper::~frmVesper() {
    Timer1->stop();
    Timer2->stop();
    if (m_tv) {
        m_tv->unload();
        delete m_tv;
        m_tv = nullptr;
    }
}

double frmVesper::twipsPerPixel() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const double dpi = s ? s->logicalDotsPerInchX() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

void frmVesper::buildLayout() {
    // The fixed layout is the form's design (frm_vesper.ui); what follows
    // depends on the program's texts and on this screen.
    setupUi(this);
    setWindowTitle(q(kAppTitle));

    txtHiddenTextBox80916654->setText(q(kHandOverMarker));
    txtHiddenTextBox80916654->setVisible(false);
    // A whole document fits: the line edit would cut it at 32767 characters.
    txtHiddenTextBox80916654->setMaxLength(static_cast<int>(handover::kHandOverMaxBytes));
    lblVersion->setText(q(std::string("v") + kVersionText));
    lblNextRecording->setText(q(kHeadingReady));
    lblDetachTV->setText(q(kDetachCaption));
    for (const char* choice : kProfileChoices)
        cmbEncodingProfileName->addItem(q(choice));
    updnChannel->setRange(kLowestChannel, kHighestChannel);

    QFont big = lblChannel->font();
    big.setPointSize(big.pointSize() + 10);
    big.setBold(true);
    lblChannel->setFont(big);
    lblOutput->setMinimumWidth(124);
    // The preview pane is black until a picture comes.
    QPalette black = picPreview->palette();
    black.setColor(QPalette::Window, Qt::black);
    picPreview->setPalette(black);

    // The link labels are one control array: one name, told apart by Index.
    QLabel* const links[] = {lblCustom_0, lblCustom_1, lblCustom_2, lblCustom_3};
    for (int i = 0; i < 4; ++i) {
        lblCustom[i] = links[i];
        lblCustom[i]->setObjectName("lblCustom");
        lblCustom[i]->setProperty("Index", i);
    }

    // The grid's design width leaves the closed pane's button its room on
    // the page at this screen's scale.
    const int gridWidth =
        kSchedulePageWidth - kPageMargin - kEpgButtonWidth -
        int(std::ceil((GuidePaneLayout::kPaneRoom + GuidePaneLayout::kButtonOffset) / twipsPerPixel()));
    MSFlexGrid1->setGeometry(kGridLeft, kGridTop, gridWidth, kGridHeight);
    setUpGridColumns(MSFlexGrid1, twipsPerPixel());
    SSTab1Tab1->installEventFilter(this);
    layoutGuidePane(GuidePaneLayout(int(gridWidth * twipsPerPixel() + 0.5)));

    txtChannel->setVisible(false);
    updnChannel->setVisible(false);
    lblDetachTV->setVisible(false);
    cmdEpgPane->setVisible(false);
    txtChannel->setText(q(m_program.g_sChannel));
    if (auto v = channelValue(m_program.g_sChannel)) updnChannel->setValue(*v);
}

void frmVesper::connectControls() {
    connect(txtHiddenTextBox80916654, &QLineEdit::textChanged, this, [this](const QString& text) {
        // A document waits for Timer2 and the box goes back to the marker
        // (which brings us here once more, to do nothing).
        if (m_core->handOverTextChanged(text.toStdString())) txtHiddenTextBox80916654->setText(q(kHandOverMarker));
    });
    bindOptions();
    bindRemoteAccess();

    connect(cmdCancelRecording, &QPushButton::clicked, this, [this] {
        m_core->engine().CancelRecording();
        render();
    });
    connect(cmdPreview, &QPushButton::clicked, this, [this] { m_core->preview().cmdPreviewClick(); });
    connect(SSTab1, &QTabWidget::currentChanged, this, [this](int index) { m_core->preview().SSTab1Click(index); });

    // Output folder: the change rule, the focus rules, opening it.
    connect(txtOutputDir, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (m_rendering) return;
        m_core->engine().OutputDirChanged(text.toStdString());
    });
    txtOutputDir->installEventFilter(this);
    connect(cmdOpenFolder, &QPushButton::clicked, this, [this] { OpenOutputFolder(); });
    connect(cmdDirPick, &QPushButton::clicked, this, [this] { cmdDirPickClick(); });
    for (QLabel* l :
         {lblDir, lblLocationLabel, lblFreeDiskSpace, lblFreeDiskSpace2, lblChannel, lblDetachTV, lblExtChangeChnl})
        l->installEventFilter(this);

    // Profiles.
    connect(cmbEncodingProfileName, &QComboBox::activated, this, [this](int) { ApplyProfileChoice(); });
    connect(cmdAdvance, &QPushButton::clicked, this, [this] { cmdAdvanceClick(); });

    // Channel entry.
    txtChannel->installEventFilter(this);
    connect(updnChannel, &QSpinBox::valueChanged, this, [this](int v) {
        if (!m_rendering) updnChannelChanged(v);
    });

    // Video input and the plug-in.
    connect(optTuner, &QRadioButton::clicked, this, [this] { videoInputChosen(0); });
    connect(optSVideo, &QRadioButton::clicked, this, [this] { videoInputChosen(1); });
    connect(optComposite1, &QRadioButton::clicked, this, [this] { videoInputChosen(2); });
    connect(chkExtChangeChnl, &QCheckBox::clicked, this, [this](bool checked) {
        if (!m_core->m_bFormLoading) m_core->tuner().settings.useExternalPlugin = checked;
    });

    // The schedule's commands.
    connect(cmdAddEvent, &QPushButton::clicked, this, [this] { cmdAddEventClick(); });
    connect(cmdEditEvent, &QPushButton::clicked, this, [this] { cmdEditEventClick(); });
    // Activating a row (a double click, or Enter on the selected row) edits it.
    connect(MSFlexGrid1, &QAbstractItemView::activated, this, [this](const QModelIndex&) {
        if (!m_bIgnoreGridEvents) cmdEditEventClick();
    });
    connect(cmdCancelSelectedEvent, &QPushButton::clicked, this,
            [this] { m_core->commands().CancelSelected(selectedRow(), SSTab1->currentIndex() == 1); });
    connect(cmdDeleteEvent, &QPushButton::clicked, this,
            [this] { m_core->commands().DeleteSelected(selectedRow(), SSTab1->currentIndex() == 1); });
    connect(cmdRecordNow, &QPushButton::clicked, this, [this] { cmdRecordNowClick(); });
    connect(cmdExit, &QPushButton::clicked, this, [this] {
        if (onExitClick)
            onExitClick();
        else
            close();
    });
}

// --- options -------------------------------------------------------------------

void frmVesper::bindOptions() {
    Options& options = m_core->options();
    for (const OptionSetting& row : kOptionSettings) {
        const char* name = row.control;
        QWidget* control = findChild<QWidget*>(q(name));
        if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            button->setChecked(options.flag(name));
            connect(button, &QAbstractButton::toggled, this, [&options, name](bool on) { options.setFlag(name, on); });
            // The start-up restores the boxes without storing them.
            connect(button, &QAbstractButton::clicked, this, [this, &options, name] {
                if (!m_core->m_bFormLoading) options.clicked(name);
            });
        } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
            connect(combo, &QComboBox::currentTextChanged, this,
                    [&options, name](const QString& text) { options.setText(name, text.toStdString()); });
        } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            connect(edit, &QLineEdit::textChanged, this,
                    [&options, name](const QString& text) { options.setText(name, text.toStdString()); });
        }
    }
}

void frmVesper::bindRemoteAccess() {
    showRemoteAccess();
    connect(chkRemoteAccess, &QCheckBox::clicked, this, [this](bool on) {
        remote::saveEnabled(on);
        // The first switch-on makes the token the page asks for.
        const bool first = on && remote::loadSettings().tokenHash.isEmpty();
        const QByteArray token = first ? remote::renewToken() : QByteArray();
        const bool started = m_core->StartRemoteAccess();
        showRemoteAccess();
        if (!started) {
            const remote::Settings s = remote::loadSettings();
            MsgBox("Remote access could not be started on " + s.address.toStdString() + ":" + std::to_string(s.port) +
                       ".\r\nAnother program may use that port; see the status log.",
                   vbExclamation, "Remote Access");
        } else if (first) {
            showRemoteToken(token);
        }
    });
    connect(cmdRemoteToken, &QPushButton::clicked, this, [this] {
        const QByteArray token = remote::renewToken();
        if (remote::loadSettings().enabled) m_core->StartRemoteAccess();
        showRemoteAccess();
        showRemoteToken(token);
    });
}

void frmVesper::showRemoteAccess() {
    const remote::Settings s = remote::loadSettings();
    const remote::RemoteServer* server = m_core->remoteServer();
    chkRemoteAccess->setChecked(s.enabled);
    const QString scheme = s.certificate.isEmpty() ? "http" : "https";
    lblRemoteAccess->setText(server ? scheme + "://" + s.address + ":" + QString::number(server->port()) + "/"
                                    : QString());
}

void frmVesper::showRemoteToken(const QByteArray& token) {
    // Shown once, in a box of its own that is never logged; only its hash is kept.
    auto* box = new QMessageBox(QMessageBox::Information, "Remote Access",
                                "Your access token, shown only this once:\n\n" + QString::fromLatin1(token) +
                                    "\n\nEnter it on the page " + lblRemoteAccess->text() +
                                    " . Any earlier token no longer works.",
                                QMessageBox::Ok, this);
    box->setObjectName("msgRemoteToken");
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void frmVesper::showOptions() {
    Options& options = m_core->options();
    for (const OptionSetting& row : kOptionSettings)
        if (auto* button = findChild<QAbstractButton*>(q(row.control))) button->setChecked(options.flag(row.control));
    // A radio button cannot be unchecked on its own: the options follow
    // what the buttons show.
    for (const OptionSetting& row : kOptionSettings)
        if (auto* button = findChild<QAbstractButton*>(q(row.control)))
            options.setFlag(row.control, button->isChecked());
}

// --- the core's requests -----------------------------------------------------------

bool frmVesper::modalOpen() { return QApplication::activeModalWidget() != nullptr; }

void frmVesper::showNormalOnScheduleTab() {
    showNormal();
    raise();
    activateWindow();
    SSTab1->setCurrentIndex(1);
}

void frmVesper::showAddEventDialog() { ShowAddEventDialog(m_program, *this, this); }

void frmVesper::handOverDocument(const std::string& document) { txtHiddenTextBox80916654->setText(q(document)); }

// --- rendering ---------------------------------------------------------------

void frmVesper::render() {
    if (m_rendering) return;
    m_rendering = true;
    const RecordingDisplay& d = m_core->engine().display;
    const double tpp = twipsPerPixel();

    lblReady->setText(q(d.lblReady));
    applyStyleSheet(lblReady, colourStyle(d.lblReadyColour));
    lblNextRecording->setText(q(d.lblNextRecording));
    const QRect heading(int(d.lblNextRecordingLeft / tpp), lblNextRecording->y(), int(d.lblNextRecordingWidth / tpp),
                        lblNextRecording->height());
    if (lblNextRecording->geometry() != heading) lblNextRecording->setGeometry(heading);
    cmdCancelRecording->setEnabled(d.cmdCancelRecordingEnabled);
    cmdRecordNow->setEnabled(d.cmdRecordNowEnabled);
    lblNowToday->setText(q(d.lblNowToday));

    lblChannel->setText(q(d.lblChannel));
    lblOutput->setText(q(d.lblOutput));
    lblOutput->setToolTip(q(d.lblOutputToolTip));
    lblWhen->setText(q(d.lblWhen));
    lblDay->setText(q(d.lblDay));
    lblStart->setText(q(d.lblStart));
    lblStop->setText(q(d.lblStop));
    lblLength->setText(q(d.lblLength));
    lblEventCount->setText(q(d.lblEventCount));
    cmdEditEvent->setEnabled(d.eventButtonsEnabled);
    cmdCancelSelectedEvent->setEnabled(d.eventButtonsEnabled);
    cmdDeleteEvent->setEnabled(d.eventButtonsEnabled);

    lblDir->setText(q(d.lblDir));
    lblDir->setToolTip(q(d.lblDirToolTip));
    if (txtOutputDir->text() != q(d.txtOutputDir)) txtOutputDir->setText(q(d.txtOutputDir));
    for (QLabel* l : {lblFreeDiskSpace, lblFreeDiskSpace2}) {
        l->setText(q(d.lblFreeDiskSpace));
        applyStyleSheet(l, colourStyle(d.freeSpaceColour));
    }

    if (!d.txtChannel.empty() && txtChannel->text() != q(d.txtChannel) && !txtChannel->hasFocus()) {
        txtChannel->setText(q(d.txtChannel));
        updnChannel->setValue(d.updnChannel);
    }

    if (d.gridVersion != m_renderedGridVersion) {
        m_renderedGridVersion = d.gridVersion;
        fillGrid(MSFlexGrid1, d.gridRows);
    }

    const PreviewDisplay& p = m_core->preview().display;
    txtChannel->setVisible(p.channelControlsVisible);
    updnChannel->setVisible(p.channelControlsVisible);
    lblChannel->setToolTip(q(p.lblChannelToolTip));
    lblDetachTV->setVisible(p.lblDetachTVVisible);
    lblDetachTV->setEnabled(p.lblDetachTVEnabled);
    lblDetachTV->setText(q(p.lblDetachTVCaption));
    lblDetachTV->setToolTip(q(p.lblDetachTVToolTip));
    cmdEpgPane->setVisible(p.cmdEpgPaneVisible);
    m_rendering = false;
}

// --- the engine's procedures -------------------------------------------------

void frmVesper::SetNextEvent() {
    m_core->engine().SetNextEvent();
    render();
}

void frmVesper::CancelCurrentEvent() {
    m_core->engine().CancelCurrentEvent();
    render();
}

void frmVesper::ShowFreeDiskSpace(const std::string& folder) {
    m_core->engine().ShowFreeDiskSpace(folder);
    render();
}

void frmVesper::ValidateOutputFolder() {
    const std::string text = txtOutputDir->text().toStdString();
    const std::string valid = vesper::ValidateOutputFolder(text);
    if (valid != text) txtOutputDir->setText(q(valid));
}

void frmVesper::ResetGridSelection() {
    MSFlexGrid1->clearSelection();
    if (MSFlexGrid1->rowCount() > 0) MSFlexGrid1->setCurrentCell(0, 0, QItemSelectionModel::NoUpdate);
}

void frmVesper::FillDeviceBoxes() {
    FillCombo(cmbVideoSource, GetDeviceList(m_program, kVideoDeviceType));
    FillCombo(cmbAudioSource, GetDeviceList(m_program, kAudioDeviceType));
}

void frmVesper::ShowPluginDetected(bool detected) {
    lblExtChangeChnl->setText(q(detected ? "External Change Channel Plug-In is detected"
                                         : "External Change Channel Plug-In is NOT detected"));
    lblExtChangeChnl->setStyleSheet(colourStyle(detected ? kColourReady : kColourLowSpace));
}

void frmVesper::releaseComponents() { m_core->endProgram(EndReason::Test); }

// --- profiles ----------------------------------------------------------------

void frmVesper::ApplyProfileChoice() {
    const std::string name =
        profileNameForChoice(cmbEncodingProfileName->currentText().toStdString(), m_program.g_sAdvanceProfile);
    cmbEncodingProfileName->setToolTip(q(name));
    SetEncoderProfileLabelToolTip();
}

void frmVesper::SetEncoderProfileLabelToolTip() {
    const LabelFit fit = profileLabelText(cmbEncodingProfileName->toolTip().toStdString());
    lblProfileName->setText(q(fit.caption));
    lblProfileName->setToolTip(q(fit.toolTip));
    m_core->setProfileName(cmbEncodingProfileName->toolTip().toStdString());
}

void frmVesper::cmdAdvanceClick() {
    SSTab1->setCurrentIndex(2);
    frmSelectProfile dialog(m_program, this);
    dialog.exec();
    if (auto chosen = dialog.chosen()) {
        cmbEncodingProfileName->setCurrentIndex(3);
        cmbEncodingProfileName->setToolTip(q(*chosen));
        SetEncoderProfileLabelToolTip();
    }
}

// --- output folder -------------------------------------------------------------

void frmVesper::OpenOutputFolder() {
    const std::string folder = m_core->engine().m_sOutputFolder;
    if (FolderExists(folder))
        OpenOrTell(this, OpenTarget::Folder, folder, kAppTitle);
    else
        MsgBox(this, folder + " does not exist!", vbCritical, "Error!");
}

void frmVesper::cmdDirPickClick() {
    frmDirSelect dialog(txtOutputDir->text().toStdString(), this);
    dialog.exec();
    if (auto chosen = dialog.chosen()) txtOutputDir->setText(q(*chosen));
}

// --- channel entry -------------------------------------------------------------

void frmVesper::txtChannelEnter(bool selectAll) {
    const auto value = channelValue(txtChannel->text().toStdString());
    if (value && *value >= updnChannel->minimum() && *value <= updnChannel->maximum()) {
        const int16_t old = int16_t(leadingNumber(m_program.g_sChannel));
        m_program.g_sChannelPrevious = m_program.g_sChannel;
        m_program.g_sChannel = std::to_string(*value);
        {
            QSignalBlocker block(updnChannel);
            updnChannel->setValue(*value);
        }
        if (*value != old) {
            SetChnl(*value);
            if (m_program.g_bPreview && m_program.g_bTvPreviewDetach && m_tv)
                m_tv->SetCaptionForFormTV(m_program.g_sChannel);
        }
    } else {
        txtChannel->setText(q(m_program.g_sChannel));
    }
    if (selectAll) txtChannel->selectAll();
}

void frmVesper::txtChannelEscape() { txtChannel->setText(q(m_program.g_sChannel)); }

void frmVesper::updnChannelChanged(int value) {
    txtChannel->setText(QString::number(value));
    m_program.g_sChannelPrevious = m_program.g_sChannel;
    m_program.g_sChannel = std::to_string(value);
    SetChnl(int16_t(value));
    if (m_program.g_bPreview && m_program.g_bTvPreviewDetach && m_tv) m_tv->SetCaptionForFormTV(m_program.g_sChannel);
}

void frmVesper::lblChannelDoubleClick() {
    if (!m_program.g_bPreview) return;
    const auto value = channelValue(lblChannel->text().toStdString());
    if (!value || *value < updnChannel->minimum() || *value > updnChannel->maximum()) return;
    if (*value == int16_t(leadingNumber(m_program.g_sChannel))) return;
    m_program.g_sChannelPrevious = m_program.g_sChannel;
    m_program.g_sChannel = std::to_string(*value);
    {
        QSignalBlocker block(updnChannel);
        updnChannel->setValue(*value);
    }
    txtChannel->setText(q(m_program.g_sChannel));
    SetChnl(*value);
    if (m_program.g_bTvPreviewDetach && m_tv) m_tv->SetCaptionForFormTV(m_program.g_sChannel);
}

void frmVesper::SetChannelForFormVesper(const std::string& channel) {
    txtChannel->setText(q(channel));
    if (auto v = channelValue(channel)) {
        QSignalBlocker block(updnChannel);
        updnChannel->setValue(*v);
    }
}

// --- video input -----------------------------------------------------------------

void frmVesper::videoInputChosen(int16_t index) {
    m_core->videoInputChosen(index);
    chkExtChangeChnl->setEnabled(index != 0);
    lblExtChangeChnl->setEnabled(index != 0);
    if (m_core->m_bFormLoading) return;
    lblVideoInput->setText(q(m_core->tuner().settings.videoInputName));
    if (m_program.g_bPreview && m_program.g_bTvPreviewDetach && m_tv) m_tv->SetCaptionForFormTV(m_program.g_sChannel);
}

// --- events ------------------------------------------------------------------------

bool frmVesper::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::Resize && watched == MSFlexGrid1->parentWidget()) {
        placeGuidePane();
        return false;
    }
    if (watched == txtOutputDir) {
        if (type == QEvent::FocusIn) m_sOutputFolderSaved = txtOutputDir->text().toStdString();
        if (type == QEvent::FocusOut && !FolderExists(txtOutputDir->text().toStdString()))
            txtOutputDir->setText(q(m_sOutputFolderSaved));
        return false;
    }
    if (watched == txtChannel) {
        if (type == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                txtChannelEnter(true);
                return true;
            }
            if (key == Qt::Key_Escape) {
                txtChannelEscape();
                return true;
            }
        } else if (type == QEvent::FocusOut) {
            txtChannelEnter(false);
        } else if (type == QEvent::FocusIn) {
            QTimer::singleShot(0, txtChannel, [this] { txtChannel->selectAll(); });
        }
        return false;
    }
    if (type == QEvent::MouseButtonDblClick) {
        if (watched == lblDir || watched == lblLocationLabel) {
            OpenOutputFolder();
            return true;
        }
        if (watched == lblChannel) {
            lblChannelDoubleClick();
            return true;
        }
    }
    if (type == QEvent::MouseButtonRelease) {
        if (watched == lblFreeDiskSpace || watched == lblFreeDiskSpace2) {
            ShowFreeDiskSpace();
            return true;
        }
        if (watched == lblDetachTV && lblDetachTV->isEnabled()) {
            m_core->preview().lblDetachTVClick();
            return true;
        }
        if (watched == lblExtChangeChnl) {
            OpenOrTell(this, OpenTarget::WebPage, std::string(kProductSite) + "/ext_change_chnl.htm", kAppTitle);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmVesper::placePreviewPane() {
    // The capture component paints the pane at a fixed place of this
    // window's client area; the frame under it marks that place on tab 0.
    QWidget* page = picPreview->parentWidget();
    picPreview->move(page->mapFrom(this, QPoint(326, 79)) - QPoint(1, 1));
    picPreview->resize(204, 154);
}

void frmVesper::layoutGuidePane(const GuidePaneLayout& pane) {
    m_guidePane = pane;
    placeGuidePane();
}

void frmVesper::placeGuidePane() {
    if (!m_guidePane) return;
    const GuidePaneLayout& pane = *m_guidePane;
    QWidget* page = MSFlexGrid1->parentWidget();
    const int pageWidth = page->testAttribute(Qt::WA_Resized) ? page->width() : kSchedulePageWidth;
    // Twips map onto the page at the screen's scale; a page too narrow for
    // the closed layout at that scale (a large font setting) maps them
    // smaller, so that the button stays on the page in both states.
    const int room = std::max(pageWidth - kPageMargin - kEpgButtonWidth, 1);
    double scale = 1.0 / twipsPerPixel();
    if (pane.closedButtonLeft() * scale > room) scale = double(room) / pane.closedButtonLeft();
    const auto px = [scale](int twips) { return std::max(int(twips * scale), 0); };

    MSFlexGrid1->resize(std::max(px(pane.gridWidth()), 1), kGridHeight);
    cmdEpgPane->move(px(pane.buttonLeft()), kGridTop);
    cmdEpgPane->setToolTip(q(pane.buttonToolTip()));
    // The open pane: the button at its top, the frame below it, to the
    // page's right margin.
    const int frameLeft = px(pane.designGridWidth() + GuidePaneLayout::kButtonOffset);
    const int frameTop = kGridTop + kEpgButtonHeight + 4;
    const int frameWidth = std::max(pageWidth - kPageMargin - frameLeft, 1);
    fraElectronicProgrammingGuide->setGeometry(frameLeft, frameTop, frameWidth, kGridTop + kGridHeight - frameTop);
    fraElectronicProgrammingGuide->setVisible(pane.frameVisible());
    const int inner = std::max(frameWidth - 16, 1);
    cmdConfigureEPG->setGeometry(8, 22, inner, 26);
    for (int i = 0; i < 4; ++i)
        lblCustom[i]->setGeometry(8, 56 + i * 40, inner, 36);
}

void frmVesper::closeEvent(QCloseEvent* event) {
    if (onQueryUnload && !onQueryUnload(event)) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void frmVesper::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    placePreviewPane();
}

void frmVesper::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placePreviewPane();
}

// --- MainWindowOps ---------------------------------------------------------------

void frmVesper::AddEvent(DateTime dt, int16_t channel, int16_t duration, bool active, const std::string& every,
                         const std::string& filename) {
    m_core->commands().AddEvent(dt, channel, duration, active, every, filename);
}
void frmVesper::AddEventExternal(DateTime dt, int16_t channel, int16_t duration, bool active, const std::string& every,
                                 const std::string& filename) {
    m_core->commands().AddEventExternal(dt, channel, duration, active, every, filename);
}
void frmVesper::UpdateEvent(DateTime dtReturn, DateTime dt, int16_t channel, int16_t duration, bool active,
                            const std::string& every, const std::string& filename) {
    m_core->commands().UpdateEvent(dtReturn, dt, channel, duration, active, every, filename);
}
void frmVesper::UpdateEvent_temp(DateTime dtKey, DateTime dt, int16_t channel, int16_t duration, bool active,
                                 const std::string& every, const std::string& filename) {
    m_core->commands().UpdateEvent_temp(dtKey, dt, channel, duration, active, every, filename);
}
void frmVesper::SaveScheduleToDisk() { m_core->commands().SaveScheduleToDisk(); }
ObjectPtr frmVesper::SchedulerObject() { return m_core->engine().scheduler(); }
void frmVesper::SetIgnorEvents(bool ignore) { m_bIgnoreGridEvents = ignore; }

int frmVesper::selectedRow() const {
    const int row = MSFlexGrid1->currentRow();
    return row < 0 ? 1 : row + 1;
}

void frmVesper::cmdAddEventClick() {
    m_program.modeWord = mode::AddEvent;
    ShowAddEventDialog(m_program, *this, this);
}

void frmVesper::cmdEditEventClick() {
    const int row = selectedRow();
    GridRow shown;
    if (row - 1 < MSFlexGrid1->rowCount()) {
        auto cell = [&](int c) {
            const QTableWidgetItem* item = MSFlexGrid1->item(row - 1, c);
            return item ? item->text().toStdString() : std::string();
        };
        shown = {cell(0), cell(1), cell(2), cell(3), cell(4)};
    }
    if (!m_core->commands().PrepareEdit(row, shown)) {
        // The grid no longer shows the schedule: show it as it is now, with
        // the count and the next event that go with it.
        SetNextEvent();
        return;
    }
    ShowAddEventDialog(m_program, *this, this);
}

void frmVesper::cmdRecordNowClick() {
    m_core->commands().PrepareRecordNow();
    SSTab1->setCurrentIndex(1);
    ShowAddEventDialog(m_program, *this, this);
}

void frmVesper::AttachTVScreen() { m_core->preview().AttachTVScreen(); }

// --- MainView --------------------------------------------------------------------------

bool frmVesper::isMinimized() { return windowState() & Qt::WindowMinimized; }
void frmVesper::restoreNormal() { setWindowState(windowState() & ~Qt::WindowMinimized); }
std::string frmVesper::mainWindowHandle() { return std::to_string(quint64(winId())); }

void frmVesper::TunerResizePreview(const std::string& width, const std::string& height) {
    m_core->tuner().TunerResizePreview(width, height);
}

std::string frmVesper::tvWindowHandle() {
    if (!m_tv) return "0";
    return std::to_string(quint64(m_tv->winId()));
}

bool frmVesper::firstTabShown() { return SSTab1->currentIndex() == 0; }

void frmVesper::showTvWindow() {
    if (!m_tv) m_tv = new frmTV(m_program, *this, this);
    m_tv->load();
    m_tv->setWindowState(Qt::WindowNoState);
    m_tv->show();
    m_tv->raise();
    m_tv->activateWindow();
}

void frmVesper::unloadTvWindow() {
    if (m_tv) m_tv->unload();
}

void frmVesper::hideTvWindow() {
    if (m_tv) m_tv->hide();
}

void frmVesper::AdjustOverlayScreen() {
    if (m_tv) m_tv->AdjustOverlayScreen();
}

// --- TvWindowHost -----------------------------------------------------------------------

std::string frmVesper::videoInputName() { return m_core->tuner().settings.videoInputName; }
bool frmVesper::rememberSizePosition() { return m_core->options().flag("chkTVSizePosition"); }
bool frmVesper::followResize() { return m_core->preview().followResize; }
void frmVesper::tvClosedByUser() { m_core->preview().tvClosedByUser(); }

} // namespace vesper
