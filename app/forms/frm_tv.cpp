#include "app/forms/frm_tv.h"

#include "app/core/settings_store.h"

#include "platform/variant.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vesper {

std::string tvCaption(const std::string& channelText, const std::string& inputName) {
    std::string caption = std::string(kTvCaptionPrefix) + " - channel = " + channelText;
    if (inputName != "TV Tuner") caption += "   (" + inputName + ")";
    return caption;
}

void TvChannelKeys::setChannel(int16_t channel) {
    m_channel = channel;
    m_shown = std::to_string(channel);
}

std::optional<int16_t> TvChannelKeys::press(Key key, char digit) {
    switch (key) {
    case Key::Left:
    case Key::Right: {
        int next = m_channel + (key == Key::Left ? -1 : 1);
        if (next < kLowestChannel) next = kHighestChannel;
        if (next > kHighestChannel) next = kLowestChannel;
        setChannel(int16_t(next));
        return m_channel;
    }
    case Key::Digit:
        if (digit < '0' || digit > '9') return std::nullopt;
        if (m_typingFinished) {
            m_typed.clear();
            m_typingFinished = false;
        }
        m_typed += digit;
        m_shown = m_typed;
        return std::nullopt;
    case Key::Enter: {
        // Three digits at most: anything longer is refused, not cut.
        const int number = (!m_typed.empty() && m_typed.size() < 4) ? std::atoi(m_typed.c_str()) : 0;
        m_typingFinished = true;
        if (number < kLowestChannel || number > kHighestChannel) {
            m_shown = std::to_string(m_channel);
            return std::nullopt;
        }
        setChannel(int16_t(number));
        m_typed.clear();
        return m_channel;
    }
    case Key::Escape:
        m_typingFinished = true;
        m_typed = std::to_string(m_channel);
        m_shown = m_typed;
        return std::nullopt;
    case Key::Backspace:
        if (!m_typed.empty()) {
            m_typed.pop_back();
            m_shown = m_typed;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

namespace {

// A stored value in twips; `fallback` when it is no number.
// A stored place or size in twips; the setting's default when the stored
// text is no number.
double storedTwips(const settings::Setting& setting) {
    double v = 0;
    if (parseNumber(RegGetSetting2(setting), v) && std::isfinite(v)) return v;
    return std::atof(setting.defaultValue);
}

} // namespace

QRect fitOnDesktop(const QRectF& wanted, const QRect& desktop) {
    if (desktop.isEmpty() || wanted.width() <= 0 || wanted.height() <= 0) return wanted.toRect();
    // Never larger than the desktop and never too small to see, in the
    // picture's shape; then moved inside.
    double scale = std::min({1.0, desktop.width() / wanted.width(), desktop.height() / wanted.height()});
    scale = std::max({scale, kTvMinimumWidth / wanted.width(), kTvMinimumWidth / kTvAspect / wanted.height()});
    const int w = std::min(int(wanted.width() * scale), desktop.width());
    const int h = std::min(int(wanted.height() * scale), desktop.height());
    const double x = std::clamp(wanted.x(), double(desktop.left()), double(desktop.left() + desktop.width() - w));
    const double y = std::clamp(wanted.y(), double(desktop.top()), double(desktop.top() + desktop.height() - h));
    return QRect(int(x), int(y), w, h);
}

frmTV::frmTV(Program& program, TvWindowHost& host, QWidget* parent)
    : QWidget(parent, Qt::Window), m_program(program), m_host(host) {
    setObjectName("frmTV");
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFocusPolicy(Qt::StrongFocus);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
}

double frmTV::twipsPerPixelX() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const double dpi = s ? s->logicalDotsPerInchX() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

double frmTV::twipsPerPixelY() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const double dpi = s ? s->logicalDotsPerInchY() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

void frmTV::load() {
    if (m_loaded) return;
    m_loaded = true;
    m_closedByUser = false;
    m_keys = TvChannelKeys(int16_t(std::atoi(m_program.g_sChannel.c_str())));
    SetCaptionForFormTV(m_keys.shown());

    const double tx = twipsPerPixelX(), ty = twipsPerPixelY();
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    QRect desktop = s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
    QRectF wanted;
    if (m_host.rememberSizePosition()) {
        const double top = storedTwips(settings::sTop), left = storedTwips(settings::sLeft);
        double width = storedTwips(settings::sWidth);
        if (width <= 0) width = std::atof(settings::sWidth.defaultValue);
        wanted = QRectF(left / tx, top / ty, width / tx, width / tx / kTvAspect);
        // On a desktop of several screens, the screen that holds the place.
        const QPointF at = wanted.topLeft();
        if (const QScreen* there = QGuiApplication::screenAt(
                QPoint(int(std::clamp(at.x(), -1e6, 1e6)), int(std::clamp(at.y(), -1e6, 1e6)))))
            desktop = there->availableGeometry();
    } else {
        const QRect area = s ? s->geometry() : QRect(0, 0, 1024, 768);
        const int screenW = int(area.width() * tx), screenH = int(area.height() * ty);
        wanted =
            QRectF(int(((screenW - 9000) / 2) / tx), int(((screenH - 7200) / 2) / ty), int(9000 / tx), int(7200 / ty));
    }
    const QRect placed = fitOnDesktop(wanted, desktop);
    resize(placed.size());
    move(placed.topLeft());
    m_lastState = windowState();
}

void frmTV::unload() {
    if (!m_loaded) return;
    m_unloading = true;
    try {
        m_host.TunerInitPreview(m_host.mainWindowHandle(), "326", "79", "202", "152", "0");
        if (m_closedByUser) m_host.TunerSetPreview("0");
    } catch (const std::exception&) {
        // The picture's owner is gone with the capture component; nothing to move.
    }
    if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))) {
        const double tx = twipsPerPixelX(), ty = twipsPerPixelY();
        RegSaveSetting2(settings::sTop, std::to_string(int(y() * ty)));
        RegSaveSetting2(settings::sLeft, std::to_string(int(x() * tx)));
        RegSaveSetting2(settings::sHeight, std::to_string(int(height() * ty)));
        RegSaveSetting2(settings::sWidth, std::to_string(int(width() * tx)));
    }
    m_loaded = false;
    hide();
    m_unloading = false;
}

void frmTV::SetCaptionForFormTV(const std::string& channelText) {
    setWindowTitle(QString::fromStdString(tvCaption(channelText, m_host.videoInputName())));
}

void frmTV::AdjustOverlayScreen() {
    if (m_adjusting) return;
    m_adjusting = true;
    // Only a normal window takes the picture's aspect; a maximised one shows
    // the picture as large as it is. Qt's sizes are the client area's, so the
    // picture fills it exactly: no allowance for a caption bar is taken off.
    if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
        resize(width(), int(width() / kTvAspect));
    try {
        m_host.TunerResizePreview(std::to_string(int16_t(width())), std::to_string(int16_t(height())));
        m_host.TunerSetPreview("1");
    } catch (const std::exception&) {
    }
    m_adjusting = false;
}

void frmTV::tune(int16_t channel) {
    const std::string text = std::to_string(channel);
    try {
        m_host.SetChnl(channel);
    } catch (const std::exception&) {
    }
    m_host.SetChannelForFormVesper(text);
    m_program.g_sChannelPrevious = m_program.g_sChannel;
    m_program.g_sChannel = text;
}

void frmTV::channelKey(TvChannelKeys::Key key, char digit) {
    if (auto channel = m_keys.press(key, digit)) tune(*channel);
    SetCaptionForFormTV(m_keys.shown());
}

void frmTV::keyPressEvent(QKeyEvent* event) {
    using K = TvChannelKeys::Key;
    switch (event->key()) {
    case Qt::Key_Left: channelKey(K::Left); return;
    case Qt::Key_Right: channelKey(K::Right); return;
    case Qt::Key_Return:
    case Qt::Key_Enter: channelKey(K::Enter); return;
    case Qt::Key_Escape: channelKey(K::Escape); return;
    case Qt::Key_Backspace: channelKey(K::Backspace); return;
    default: break;
    }
    const QString text = event->text();
    if (text.size() == 1 && text[0].isDigit() && text[0].unicode() < 128) {
        channelKey(K::Digit, char(text[0].unicode()));
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmTV::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_host.followResize() && !m_adjusting && !(windowState() & Qt::WindowMinimized)) AdjustOverlayScreen();
}

void frmTV::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    const Qt::WindowStates state = windowState();
    const bool justMinimized = (state & Qt::WindowMinimized) && !(m_lastState & Qt::WindowMinimized);
    m_lastState = state;
    if (!m_host.followResize()) return;
    if (justMinimized)
        m_host.AttachTVScreen();
    else if (!(state & Qt::WindowMinimized))
        AdjustOverlayScreen();
}

void frmTV::closeEvent(QCloseEvent* event) {
    if (!m_unloading && m_loaded) {
        m_closedByUser = true;
        m_host.tvClosedByUser();
        unload();
    }
    event->accept();
}

} // namespace vesper
