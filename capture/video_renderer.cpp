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
#include <mutex>

namespace vesper::capture {

namespace {

// The child window the picture is painted into.
class PreviewWidget : public QWidget {
public:
    explicit PreviewWidget(QWidget* parent) : QWidget(parent) {
        setObjectName("CapgraphPreview");
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        // Clicks and keys belong to the owner window (its channel keys).
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    void setFrame(QImage image) {
        m_frame = std::move(image);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        if (m_frame.isNull()) {
            p.fillRect(rect(), Qt::black);
            return;
        }
        if (m_frame.size() == size())
            p.drawImage(0, 0, m_frame);
        else
            p.drawImage(rect(), m_frame);
    }

private:
    QImage m_frame;
};

QWidget* findWindow(intptr_t handle) {
    if (handle <= 0 || !QCoreApplication::instance()) return nullptr;
    // Windows exist only in a widget application.
    if (!QCoreApplication::instance()->inherits("QApplication")) return nullptr;
    // Widgets belong to the application's thread; a call from elsewhere
    // cannot place one.
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) return nullptr;
    return QWidget::find(static_cast<WId>(handle));
}

} // namespace

// Shared by the renderer (GUI thread) and its stream handler (a streaming
// thread): the target size, whether frames are wanted, and the widget.
class PreviewSurface {
public:
    ~PreviewSurface() { reset(); }

    QPointer<PreviewWidget> widget; // touched on the GUI thread only
    std::atomic<bool> wanted{false};
    std::atomic<int> width{0}, height{0};
    std::atomic<bool> pending{false};
    std::atomic<long> received{0}, painted{0};

    // Streaming thread: converts the sample to the widget's size and hands
    // it to the GUI thread, dropping frames while one is still on its way.
    void present(GstSample* sample) {
        ++received;
        if (!wanted.load() || pending.load()) return;
        const int w = width.load(), h = height.load();
        if (w <= 0 || h <= 0 || w > 8192 || h > 8192) return;
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return;
        QImage image = convert(sample, w, h);
        if (image.isNull()) return;
        pending = true;
        std::weak_ptr<PreviewSurface> self = m_self;
        QMetaObject::invokeMethod(
            app,
            [self, image = std::move(image)]() mutable {
                auto s = self.lock();
                if (!s) return;
                s->pending = false;
                if (s->widget) {
                    s->widget->setFrame(std::move(image));
                    ++s->painted;
                }
            },
            Qt::QueuedConnection);
    }

    std::weak_ptr<PreviewSurface> m_self;

private:
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

    void reset() {
        if (m_scaler) gst_video_converter_free(m_scaler);
        if (m_converter) gst_video_converter_free(m_converter);
        if (m_mid) gst_buffer_unref(m_mid);
        m_scaler = m_converter = nullptr;
        m_mid = nullptr;
    }

    // Two steps, cheapest first: scale in the device's own format (fewer
    // bytes), then convert the small picture to the window's format.
    bool prepare(const GstVideoInfo& in, int w, int h) {
        if (m_converter && gst_video_info_is_equal(&in, &m_in) && w == GST_VIDEO_INFO_WIDTH(&m_out) &&
            h == GST_VIDEO_INFO_HEIGHT(&m_out))
            return true;
        reset();
        m_in = in;
        sizedLike(&m_out, GST_VIDEO_FORMAT_BGRx, w, h, in);
        const GstVideoInfo* convertFrom = &m_in;
        if (w != GST_VIDEO_INFO_WIDTH(&in) || h != GST_VIDEO_INFO_HEIGHT(&in)) {
            sizedLike(&m_midInfo, GST_VIDEO_INFO_FORMAT(&in), w, h, in);
            // Formats with subsampled chroma need even sizes; odd ones go in one step.
            if (GST_VIDEO_INFO_FORMAT(&in) != GST_VIDEO_FORMAT_BGRx && w % 2 == 0 && h % 2 == 0) {
                m_scaler = makeConverter(&m_in, &m_midInfo);
                m_mid = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&m_midInfo), nullptr);
                if (m_scaler && m_mid) convertFrom = &m_midInfo;
            }
        }
        m_converter = makeConverter(convertFrom, &m_out);
        if (!m_converter) reset();
        return m_converter != nullptr;
    }

    QImage convert(GstSample* sample, int w, int h) {
        GstCaps* caps = gst_sample_get_caps(sample);
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        if (!caps || !buffer) return {};
        GstVideoInfo in;
        if (!gst_video_info_from_caps(&in, caps) || !prepare(in, w, h)) return {};
        QImage image(w, h, QImage::Format_RGB32);
        if (image.bytesPerLine() != GST_VIDEO_INFO_PLANE_STRIDE(&m_out, 0)) return {};
        GstVideoFrame src, mid, dst;
        if (!gst_video_frame_map(&src, &m_in, buffer, GST_MAP_READ)) return {};
        GstBuffer* out = gst_buffer_new_wrapped_full(GstMemoryFlags(0), image.bits(), image.sizeInBytes(), 0,
                                                     image.sizeInBytes(), nullptr, nullptr);
        bool ok = gst_video_frame_map(&dst, &m_out, out, GST_MAP_WRITE);
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
        gst_buffer_unref(out);
        gst_video_frame_unmap(&src);
        return ok ? image : QImage();
    }

    GstVideoConverter* m_scaler = nullptr;
    GstVideoConverter* m_converter = nullptr;
    GstBuffer* m_mid = nullptr;
    GstVideoInfo m_in{};
    GstVideoInfo m_midInfo{};
    GstVideoInfo m_out{};
};

// ---- VideoRendererFilter ----

VideoRendererFilter::VideoRendererFilter() : Filter("Video Renderer"), m_surface(std::make_shared<PreviewSurface>()) {
    m_surface->m_self = m_surface;
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
    PreviewWidget* w = m_surface->widget.data();
    if (owner && (!w || w->parentWidget() != owner)) {
        delete w;
        w = new PreviewWidget(owner);
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

bool ownerClientRect(intptr_t owner, Rect* rect) {
    QWidget* w = findWindow(owner);
    if (!w || !rect) return false;
    const QRect r = w->rect();
    *rect = Rect{r.left(), r.top(), r.right() + 1, r.bottom() + 1};
    return true;
}

} // namespace vesper::capture
