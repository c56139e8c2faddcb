#include "capture/video_renderer.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <gst/video/video.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>

namespace vesper::capture {

namespace {

QWidget* findWindow(intptr_t handle) {
    if (handle <= 0 || !QCoreApplication::instance()) return nullptr;
    // Windows exist only in a widget application.
    if (!QCoreApplication::instance()->inherits("QApplication")) return nullptr;
    // Widgets belong to the application's thread; a call from elsewhere
    // cannot place one.
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) return nullptr;
    return QWidget::find(static_cast<WId>(handle));
}

// QPainter draws Format_RGB32 onto a window without converting it; in memory
// that is GStreamer's BGRx on a little-endian machine.
constexpr GstVideoFormat kPaintFormat = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? GST_VIDEO_FORMAT_BGRx : GST_VIDEO_FORMAT_xRGB;

// One converted picture: a QImage and a GstBuffer over the same bytes, so
// that the converter writes straight into what the painter draws.
struct Picture {
    QImage image;
    GstBuffer* buffer = nullptr;

    Picture() = default;
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    ~Picture() { release(); }

    void release() {
        if (buffer) gst_buffer_unref(buffer);
        buffer = nullptr;
        image = QImage();
    }
    bool fit(int w, int h) {
        if (buffer && image.width() == w && image.height() == h) return true;
        release();
        image = QImage(w, h, QImage::Format_RGB32);
        if (image.isNull()) return false;
        buffer = gst_buffer_new_wrapped_full(GstMemoryFlags(0), image.bits(), image.sizeInBytes(), 0,
                                             image.sizeInBytes(), nullptr, nullptr);
        return buffer != nullptr;
    }
};

} // namespace

// Shared by the renderer (GUI thread), its widget (GUI thread) and its stream
// handler (a streaming thread): the target size, whether frames are wanted,
// and a few pictures handed round without copying: the one on screen, those
// waiting to be painted, and the one being converted. A short queue rides
// out the bursts a live source sends after a stall: each frame is painted,
// a few milliseconds late, rather than replaced by the next one.
class PreviewSurface {
public:
    QPointer<QWidget> widget; // touched on the GUI thread only
    std::atomic<bool> wanted{false};
    std::atomic<int> width{0}, height{0};
    // Every frame from the device; frames while the picture was wanted;
    // those painted; those lost (pushed out of the queue, or not converted).
    std::atomic<long> received{0}, delivered{0}, painted{0}, dropped{0};
    std::weak_ptr<PreviewSurface> self;

    ~PreviewSurface() { resetConverters(); }

    // Streaming thread: converts the sample into a free picture at (about)
    // the widget's size and queues it for painting.
    void present(GstSample* sample) {
        ++received;
        if (!wanted.load()) return;
        const int w = width.load(), h = height.load();
        if (w <= 0 || h <= 0 || w > 8192 || h > 8192) return;
        if (!QCoreApplication::instance()) return;
        ++delivered;
        int slot = 0;
        {
            std::lock_guard lock(m_mutex);
            while (slot == m_showing ||
                   std::find(m_waiting, m_waiting + m_waitingCount, slot) != m_waiting + m_waitingCount)
                ++slot;
        }
        if (!convert(sample, w, h, m_pictures[slot])) {
            ++dropped;
            return;
        }
        {
            std::lock_guard lock(m_mutex);
            if (m_waitingCount == kWaiting) {
                // The window does not keep up: the oldest waiting frame goes.
                std::copy(m_waiting + 1, m_waiting + kWaiting, m_waiting);
                --m_waitingCount;
                ++dropped;
            }
            m_waiting[m_waitingCount++] = slot;
        }
        requestPaint();
    }

    // GUI thread, while painting: the next picture, or the one shown last,
    // or null before the first.
    const QImage* take() {
        bool more = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_waitingCount > 0) {
                m_showing = m_waiting[0];
                std::copy(m_waiting + 1, m_waiting + m_waitingCount, m_waiting);
                --m_waitingCount;
                ++painted;
                more = m_waitingCount > 0;
            }
        }
        if (more) requestPaint();
        return m_showing >= 0 ? &m_pictures[m_showing].image : nullptr;
    }

    // GUI thread: a new widget starts black, not with another window's picture.
    void forgetShown() {
        std::lock_guard lock(m_mutex);
        m_showing = -1;
    }

private:
    // Any thread: one repaint request on its way is enough, it paints the next picture.
    void requestPaint() {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app || m_updatePosted.exchange(true)) return;
        std::weak_ptr<PreviewSurface> weak = self;
        QMetaObject::invokeMethod(
            app,
            [weak] {
                auto s = weak.lock();
                if (!s) return;
                s->m_updatePosted = false;
                if (s->widget) s->widget->update();
            },
            Qt::QueuedConnection);
    }

    static GstVideoConverter* makeConverter(const GstVideoInfo* in, const GstVideoInfo* out) {
        return gst_video_converter_new(
            in, out,
            gst_structure_new("options", GST_VIDEO_CONVERTER_OPT_THREADS, G_TYPE_UINT, 1u,
                              GST_VIDEO_CONVERTER_OPT_RESAMPLER_METHOD, GST_TYPE_VIDEO_RESAMPLER_METHOD,
                              GST_VIDEO_RESAMPLER_METHOD_LINEAR, GST_VIDEO_CONVERTER_OPT_DITHER_METHOD,
                              GST_TYPE_VIDEO_DITHER_METHOD, GST_VIDEO_DITHER_NONE, nullptr));
    }

    static void sizedLike(GstVideoInfo* info, GstVideoFormat format, int w, int h, const GstVideoInfo& like) {
        gst_video_info_set_format(info, format, w, h);
        // Only size and format change on the way.
        GST_VIDEO_INFO_FPS_N(info) = GST_VIDEO_INFO_FPS_N(&like);
        GST_VIDEO_INFO_FPS_D(info) = GST_VIDEO_INFO_FPS_D(&like);
        GST_VIDEO_INFO_INTERLACE_MODE(info) = GST_VIDEO_INFO_INTERLACE_MODE(&like);
    }

    void resetConverters() {
        if (m_scaler) gst_video_converter_free(m_scaler);
        if (m_converter) gst_video_converter_free(m_converter);
        if (m_mid) gst_buffer_unref(m_mid);
        m_scaler = m_converter = nullptr;
        m_mid = nullptr;
    }

    // The size the picture is converted at for a widget of w x h. Within a
    // pixel or two of the device's own size nothing is scaled: the painter
    // makes up the difference at the edges, far cheaper than resampling the
    // whole picture (the TV window keeps an aspect one row off the card's).
    // Otherwise the widget's size, made even where the
    // device's format subsamples its colour, so that both steps stay on
    // GStreamer's fast paths (the extra column or row is cropped).
    static QSize convertSize(const GstVideoInfo& in, int w, int h) {
        const int iw = GST_VIDEO_INFO_WIDTH(&in), ih = GST_VIDEO_INFO_HEIGHT(&in);
        if (std::abs(w - iw) <= 2 && std::abs(h - ih) <= 2) return {iw, ih};
        if (GST_VIDEO_INFO_FORMAT(&in) == kPaintFormat) return {w, h};
        return {w + (w & 1), h + (h & 1)};
    }

    // Two steps, cheapest first: scale in the device's own format (fewer
    // bytes), then convert the small picture to the painter's format.
    bool prepare(const GstVideoInfo& in, int w, int h) {
        if (m_converter && gst_video_info_is_equal(&in, &m_in) && w == m_forWidth && h == m_forHeight) return true;
        resetConverters();
        m_in = in;
        m_forWidth = w;
        m_forHeight = h;
        const QSize size = convertSize(in, w, h);
        sizedLike(&m_out, kPaintFormat, size.width(), size.height(), in);
        const GstVideoInfo* convertFrom = &m_in;
        if (size != QSize(GST_VIDEO_INFO_WIDTH(&in), GST_VIDEO_INFO_HEIGHT(&in)) &&
            GST_VIDEO_INFO_FORMAT(&in) != kPaintFormat) {
            sizedLike(&m_midInfo, GST_VIDEO_INFO_FORMAT(&in), size.width(), size.height(), in);
            m_scaler = makeConverter(&m_in, &m_midInfo);
            m_mid = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&m_midInfo), nullptr);
            if (m_scaler && m_mid) {
                convertFrom = &m_midInfo;
            } else {
                // A format that cannot be scaled on its own goes in one step.
                if (m_scaler) gst_video_converter_free(m_scaler);
                if (m_mid) gst_buffer_unref(m_mid);
                m_scaler = nullptr;
                m_mid = nullptr;
            }
        }
        m_converter = makeConverter(convertFrom, &m_out);
        if (!m_converter) resetConverters();
        return m_converter != nullptr;
    }

    bool convert(GstSample* sample, int w, int h, Picture& picture) {
        GstCaps* caps = gst_sample_get_caps(sample);
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        if (!caps || !buffer) return false;
        GstVideoInfo in;
        if (!gst_video_info_from_caps(&in, caps) || !prepare(in, w, h)) return false;
        if (!picture.fit(GST_VIDEO_INFO_WIDTH(&m_out), GST_VIDEO_INFO_HEIGHT(&m_out))) return false;
        if (picture.image.bytesPerLine() != GST_VIDEO_INFO_PLANE_STRIDE(&m_out, 0)) return false;
        GstVideoFrame src, mid, dst;
        if (!gst_video_frame_map(&src, &m_in, buffer, GST_MAP_READ)) return false;
        bool ok = gst_video_frame_map(&dst, &m_out, picture.buffer, GST_MAP_WRITE);
        if (ok && m_scaler) {
            ok = gst_video_frame_map(&mid, &m_midInfo, m_mid, GST_MAP_READWRITE);
            if (ok) {
                gst_video_converter_frame(m_scaler, &src, &mid);
                gst_video_converter_frame(m_converter, &mid, &dst);
                gst_video_frame_unmap(&mid);
            }
            gst_video_frame_unmap(&dst);
        } else if (ok) {
            gst_video_converter_frame(m_converter, &src, &dst);
            gst_video_frame_unmap(&dst);
        }
        gst_video_frame_unmap(&src);
        return ok;
    }

    // Converters: streaming thread only.
    GstVideoConverter* m_scaler = nullptr;
    GstVideoConverter* m_converter = nullptr;
    GstBuffer* m_mid = nullptr;
    GstVideoInfo m_in{};
    GstVideoInfo m_midInfo{};
    GstVideoInfo m_out{};
    int m_forWidth = 0, m_forHeight = 0;

    // Which picture is where; the streaming thread writes only a picture
    // that is neither shown nor waiting, the GUI thread reads only the shown one.
    std::mutex m_mutex;
    static constexpr int kWaiting = 3;
    Picture m_pictures[kWaiting + 2];
    int m_waiting[kWaiting] = {};
    int m_waitingCount = 0;
    int m_showing = -1;
    std::atomic<bool> m_updatePosted{false};
};

namespace {

// The child window the picture is painted into.
class PreviewWidget : public QWidget {
public:
    PreviewWidget(QWidget* parent, std::shared_ptr<PreviewSurface> surface)
        : QWidget(parent), m_surface(std::move(surface)) {
        setObjectName("CapgraphPreview");
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        // Clicks and keys belong to the owner window (its channel keys).
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    const PreviewSurface& surface() const { return *m_surface; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QImage* picture = m_surface->take();
        if (!picture) {
            p.fillRect(rect(), Qt::black);
            return;
        }
        // A picture within two pixels of the window's size is copied as it is
        // (cropped where larger), its last column and row repeated where
        // smaller; scaling all of it to gain a row would cost far more. Any
        // other size (a resize on its way) is stretched, unfiltered.
        const QSize extra = picture->size() - size();
        if (std::abs(extra.width()) > 2 || std::abs(extra.height()) > 2) {
            p.drawImage(rect(), *picture);
            return;
        }
        p.drawImage(0, 0, *picture);
        const int pw = picture->width(), ph = picture->height();
        if (pw < width()) p.drawImage(QRect(pw, 0, width() - pw, ph), *picture, QRect(pw - 1, 0, 1, ph));
        if (ph < height()) p.drawImage(QRect(0, ph, width(), height() - ph), *picture, QRect(0, ph - 1, pw, 1));
    }

private:
    std::shared_ptr<PreviewSurface> m_surface;
};

} // namespace

// ---- VideoRendererFilter ----

VideoRendererFilter::VideoRendererFilter() : Filter("Video Renderer"), m_surface(std::make_shared<PreviewSurface>()) {
    m_surface->self = m_surface;
    addPin(PinDirection::Input, PinCategory::None, MediaType::Any, "Input");
}

VideoRendererFilter::~VideoRendererFilter() {
    m_subscription.reset(); // no frame arrives after this
    m_surface->wanted = false;
    delete m_surface->widget.data();
}

void* VideoRendererFilter::query(Interface i, Pin*) {
    return i == Interface::VideoWindow ? static_cast<VideoWindow*>(this) : nullptr;
}

HRESULT VideoRendererFilter::run() {
    if (m_subscription) return kS_OK;
    Pin* in = pins().front().get();
    Filter* source = in->connectedTo() ? in->connectedTo()->filter() : nullptr;
    const std::string device = source ? source->streamDevice() : std::string();
    if (device.empty()) return kE_FAIL;
    std::weak_ptr<PreviewSurface> surface = m_surface;
    m_subscription = subscribeDeviceStream(device, MediaKind::Video, [surface](GstSample* s) {
        if (auto p = surface.lock()) p->present(s);
    });
    if (!m_subscription) return kE_FAIL;
    if (m_autoShow) {
        m_visible = true;
        apply();
    }
    return kS_OK;
}

HRESULT VideoRendererFilter::stop() {
    m_subscription.reset();
    return kS_OK;
}

void VideoRendererFilter::apply() {
    QWidget* owner = findWindow(m_owner);
    QWidget* w = m_surface->widget.data();
    if (owner && (!w || w->parentWidget() != owner)) {
        delete w;
        m_surface->forgetShown();
        w = new PreviewWidget(owner, m_surface);
        m_surface->widget = w;
    } else if (!owner && w) {
        // The owner went away or was taken back: the picture goes with it.
        delete w;
        w = nullptr;
    }
    // Absurd places and sizes are kept within what a window can take.
    const int left = static_cast<int>(std::clamp(m_left, -(1L << 24), 1L << 24));
    const int top = static_cast<int>(std::clamp(m_top, -(1L << 24), 1L << 24));
    const int width = static_cast<int>(std::clamp(m_width, 0L, (1L << 24) - 1));
    const int height = static_cast<int>(std::clamp(m_height, 0L, (1L << 24) - 1));
    if (w) {
        w->setGeometry(left, top, width, height);
        w->setVisible(m_visible);
        if (m_visible) w->raise();
    }
    m_surface->width = width;
    m_surface->height = height;
    m_surface->wanted = w && m_visible;
}

HRESULT VideoRendererFilter::putOwner(intptr_t owner) {
    m_owner = owner;
    apply();
    return owner == 0 || m_surface->widget ? kS_OK : kE_INVALIDARG;
}
HRESULT VideoRendererFilter::getOwner(intptr_t* owner) {
    if (!owner) return kE_POINTER;
    *owner = m_owner;
    return kS_OK;
}
HRESULT VideoRendererFilter::putWindowStyle(long) {
    // The picture is always a child widget of its owner; there is no other style.
    return kS_OK;
}
HRESULT VideoRendererFilter::putWindowState(long showCommand) {
    m_visible = showCommand != kSW_HIDE;
    apply();
    return kS_OK;
}
HRESULT VideoRendererFilter::setWindowPosition(long left, long top, long width, long height) {
    m_left = left;
    m_top = top;
    m_width = width;
    m_height = height;
    apply();
    return kS_OK;
}
HRESULT VideoRendererFilter::getWindowPosition(long* left, long* top, long* width, long* height) {
    if (!left || !top || !width || !height) return kE_POINTER;
    *left = m_left;
    *top = m_top;
    *width = m_width;
    *height = m_height;
    return kS_OK;
}
HRESULT VideoRendererFilter::putAutoShow(bool on) {
    m_autoShow = on;
    return kS_OK;
}
HRESULT VideoRendererFilter::getAutoShow(bool* on) {
    if (!on) return kE_POINTER;
    *on = m_autoShow;
    return kS_OK;
}
HRESULT VideoRendererFilter::putVisible(bool visible) {
    m_visible = visible;
    apply();
    return kS_OK;
}
HRESULT VideoRendererFilter::getVisible(bool* visible) {
    if (!visible) return kE_POINTER;
    *visible = m_visible;
    return kS_OK;
}

long VideoRendererFilter::framesReceived() const { return m_surface->received.load(); }
long VideoRendererFilter::framesPainted() const { return m_surface->painted.load(); }

bool previewFrames(const QWidget* widget, PreviewFrames* frames) {
    auto* w = dynamic_cast<const PreviewWidget*>(widget);
    if (!w || !frames) return false;
    frames->received = w->surface().delivered.load();
    frames->shown = w->surface().painted.load();
    frames->dropped = w->surface().dropped.load();
    return true;
}

bool ownerClientRect(intptr_t owner, Rect* rect) {
    QWidget* w = findWindow(owner);
    if (!w || !rect) return false;
    const QRect r = w->rect();
    *rect = Rect{r.left(), r.top(), r.right() + 1, r.bottom() + 1};
    return true;
}

} // namespace vesper::capture
