// frmTV: the detached, resizable TV window. The capture component paints the
// picture into it; the window keeps the picture's aspect, takes channel keys
// and remembers its place and size.
#pragma once

#include "app/core/program.h"

#include <QRect>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <string>

namespace vesper {

inline constexpr const char* kTvCaptionPrefix = " Vesper Home TV";
// Width over height of the picture the window keeps.
inline constexpr double kTvAspect = 1.3289473;

// The TV window's place on the desktop: `wanted` (pixels, from the stored
// twips) shrunk to the desktop in the picture's shape, kept at least
// kTvMinimumWidth wide, and moved inside `desktop`, so that no stored value
// opens the window off-screen.
inline constexpr int kTvMinimumWidth = 160;
QRect fitOnDesktop(const QRectF& wanted, const QRect& desktop);

// " Vesper Home TV - channel = 12", with the input name appended when the
// picture does not come from the tuner.
std::string tvCaption(const std::string& channelText, const std::string& inputName);

// The TV window's channel keys: arrows step with wrap-around, digits are
// typed and confirmed with Enter, Escape drops them, Backspace removes one.
class TvChannelKeys {
public:
    enum class Key { Left, Right, Digit, Enter, Escape, Backspace };

    explicit TvChannelKeys(int16_t channel = kLowestChannel) : m_channel(channel) {}

    // The channel to tune now, if the key asks for one.
    std::optional<int16_t> press(Key key, char digit = 0);
    // What the caption shows as the channel: the channel or the typed text.
    const std::string& shown() const { return m_shown; }
    int16_t channel() const { return m_channel; }
    void setChannel(int16_t channel);
    const std::string& typed() const { return m_typed; }

private:
    int16_t m_channel;
    std::string m_typed;
    bool m_typingFinished = true;
    std::string m_shown = std::to_string(m_channel);
};

// What the TV window needs from the main window.
class TvWindowHost {
public:
    virtual ~TvWindowHost() = default;
    virtual void SetChnl(int16_t channel) = 0;
    virtual void SetChannelForFormVesper(const std::string& channel) = 0;
    virtual std::string videoInputName() = 0;
    virtual bool rememberSizePosition() = 0; // chkTVSizePosition checked
    virtual bool followResize() = 0;
    virtual void AttachTVScreen() = 0;
    virtual void tvClosedByUser() = 0;
    virtual std::string mainWindowHandle() = 0;
    virtual void TunerResizePreview(const std::string& width, const std::string& height) = 0;
    virtual void TunerSetPreview(const std::string& state) = 0;
    virtual void TunerInitPreview(const std::string& hwnd, const std::string& left, const std::string& top,
                                  const std::string& width, const std::string& height, const std::string& state) = 0;
};

class frmTV : public QWidget {
    Q_OBJECT
public:
    frmTV(Program& program, TvWindowHost& host, QWidget* parent = nullptr);

    // Loading and unloading as the window's life: place, size, flags.
    void load();
    void unload();
    bool loaded() const { return m_loaded; }
    bool closedByUser() const { return m_closedByUser; }

    void SetCaptionForFormTV(const std::string& channelText);
    void AdjustOverlayScreen();
    // Handles one channel key as the window's key handler does.
    void channelKey(TvChannelKeys::Key key, char digit = 0);
    const TvChannelKeys& keys() const { return m_keys; }
    // Screen twips per pixel (horizontal, vertical).
    double twipsPerPixelX() const;
    double twipsPerPixelY() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void tune(int16_t channel);

    Program& m_program;
    TvWindowHost& m_host;
    TvChannelKeys m_keys;
    bool m_loaded = false;
    bool m_closedByUser = false;
    bool m_adjusting = false;
    bool m_unloading = false;
    Qt::WindowStates m_lastState = Qt::WindowNoState;
};

} // namespace vesper
