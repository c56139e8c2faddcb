#include "capture/device_stream.h"

#include "capture/device_catalog.h"
#include "capture/v4l2_card.h"
#include "capture/v4l2_io.h"

#include <gst/app/gstappsink.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace vesper::capture {

void ensureGstreamer() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (!gst_is_initialized()) gst_init(nullptr, nullptr);
    });
}

// ---- Enumeration ----

namespace {

void addV4l2Devices(std::vector<CatalogEntry>& out) {
    V4l2Io& io = v4l2Io();
    for (const std::string& node : io.deviceNodes()) {
        const int fd = io.open(node);
        if (fd < 0) continue;
        v4l2_capability cap{};
        const bool ok = io.ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
        io.close(fd);
        if (!ok) continue;
        const uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
        if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) continue;
        CatalogEntry e;
        e.source = CatalogEntry::Source::V4l2;
        e.node = node;
        e.info.friendlyName = v4l2Text(cap.card);
        e.info.kind = MediaKind::Video;
        e.info.location = node;
        out.push_back(std::move(e));
    }
}

void addGstAudioDevices(std::vector<CatalogEntry>& out) {
    ensureGstreamer();
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Audio/Source", nullptr);
    GList* devices = gst_device_monitor_get_devices(monitor);
    for (GList* l = devices; l; l = l->next) {
        GstDevice* d = GST_DEVICE(l->data);
        gchar* name = gst_device_get_display_name(d);
        GstStructure* props = gst_device_get_properties(d);
        // Loop-back monitors of sound outputs are not capture devices.
        gboolean monitorOfOutput = FALSE;
        if (props) {
            const gchar* cls = gst_structure_get_string(props, "device.class");
            if (cls && std::strcmp(cls, "monitor") == 0) monitorOfOutput = TRUE;
            gst_structure_free(props);
        }
        if (name && !monitorOfOutput) {
            CatalogEntry e;
            e.source = CatalogEntry::Source::GstDevice;
            e.info.friendlyName = name;
            e.info.kind = MediaKind::Audio;
            gchar* objName = gst_object_get_name(GST_OBJECT(d));
            e.info.location = objName ? objName : name;
            g_free(objName);
            gst_object_ref(d);
            e.gstDevice = std::shared_ptr<GstDevice>(d, [](GstDevice* p) { gst_object_unref(p); });
            out.push_back(std::move(e));
        }
        g_free(name);
    }
    g_list_free_full(devices, gst_object_unref);
    gst_object_unref(monitor);
}

void addVirtualDevices(const VirtualCardSet& set, MediaKind kind, std::vector<CatalogEntry>& out) {
    for (size_t i = 0; i < set.cards.size(); ++i) {
        const VirtualCardDescription& c = set.cards[i];
        const bool has = kind == MediaKind::Video ? c.hasVideo : c.hasAudio;
        if (!has) continue;
        CatalogEntry e;
        e.source = CatalogEntry::Source::Virtual;
        e.card = c;
        e.cardIndex = i;
        e.info.friendlyName = kind == MediaKind::Video ? c.video : c.audio;
        e.info.kind = kind;
        e.info.isVirtual = true;
        e.info.streamCarriesAudio = kind == MediaKind::Video && c.streamCarriesAudio;
        e.info.location = "virtual:" + std::to_string(i);
        out.push_back(std::move(e));
    }
}

void addRealDevices(MediaKind kind, std::vector<CatalogEntry>& out) {
    if (kind == MediaKind::Video)
        addV4l2Devices(out);
    else
        addGstAudioDevices(out);
}

// The first entry of that name (with a stream that carries sound, if asked).
std::optional<CatalogEntry> firstNamed(std::vector<CatalogEntry>& entries, const std::string& name,
                                       bool carryingAudio = false) {
    for (auto& e : entries)
        if (e.info.friendlyName == name && (!carryingAudio || e.info.streamCarriesAudio)) return std::move(e);
    return std::nullopt;
}

} // namespace

std::vector<CatalogEntry> catalogDevices(MediaKind kind) {
    std::vector<CatalogEntry> out;
    const VirtualCardSet set = loadVirtualCards();
    addVirtualDevices(set, kind, out);
    if (set.realDevices) addRealDevices(kind, out);
    return out;
}

std::vector<DeviceInfo> enumerateDevices(MediaKind kind) {
    std::vector<DeviceInfo> out;
    for (auto& e : catalogDevices(kind))
        out.push_back(std::move(e.info));
    return out;
}

// ---- Sources and subscribers ----

namespace {

// Set while a thread delivers samples, so that a subscription destroyed from
// inside its own handler does not stop the pipeline from its own thread.
thread_local bool t_delivering = false;

// The virtual picture's patterns (videotestsrc's values) and the tone's level.
constexpr int kBarsPattern = 0;
constexpr int kSnowPattern = 1;
constexpr double kToneVolume = 0.2;

struct Subscriber {
    SampleHandler onSample;
    EndHandler onEnd;
    std::recursive_mutex callMutex; // held while a handler runs
    bool active = true;
    bool ended = false;
};

class Source {
public:
    Source(std::string key, GstElement* pipeline, GstElement* sink, GstElement* overlay, GstElement* tone,
           GstElement* pattern, std::shared_ptr<VirtualHardware> hw)
        : m_key(std::move(key)), m_pipeline(pipeline), m_overlay(overlay), m_tone(tone), m_pattern(pattern),
          m_hw(std::move(hw)) {
        if (m_hw) m_vanishAfter = m_hw->description().vanishAfter;
        GstAppSinkCallbacks cb{};
        cb.new_sample = &Source::onNewSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &cb, this, nullptr);
        GstBus* bus = gst_element_get_bus(m_pipeline);
        gst_bus_set_sync_handler(bus, &Source::onBusMessage, this, nullptr);
        gst_object_unref(bus);
        applyHardware();
    }

    ~Source() { stop(); }

    const std::string& key() const { return m_key; }

    // The stream ended for good (an error or its end): a new subscriber needs
    // a source of its own, as a card plugged in again would give.
    bool ended() const { return m_ended.load(); }

    bool start(std::string* why) {
        m_startedAt = std::chrono::steady_clock::now();
        if (gst_element_set_state(m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            // The bus thread writes the error text; read it under the lock.
            std::lock_guard lock(m_mutex);
            if (why) *why = m_lastError.empty() ? "the device cannot be started" : m_lastError;
            return false;
        }
        return true;
    }

    void stop() {
        if (!m_pipeline) return;
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        GstBus* bus = gst_element_get_bus(m_pipeline);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_object_unref(m_pipeline);
        m_pipeline = nullptr;
    }

    void add(const std::shared_ptr<Subscriber>& s) {
        std::lock_guard lock(m_mutex);
        m_subscribers.push_back(s);
    }
    // True when the last subscriber left.
    bool remove(const std::shared_ptr<Subscriber>& s) {
        std::lock_guard lock(m_mutex);
        m_subscribers.erase(std::remove(m_subscribers.begin(), m_subscribers.end(), s), m_subscribers.end());
        return m_subscribers.empty();
    }

private:
    std::vector<std::shared_ptr<Subscriber>> snapshot() {
        std::lock_guard lock(m_mutex);
        return m_subscribers;
    }

    void applyHardware() {
        if (!m_hw) return;
        const unsigned gen = m_hw->generation();
        if (gen == m_appliedGeneration) return;
        m_appliedGeneration = gen;
        if (m_overlay) {
            // The overlay reads markup: a card named "A & B" must show as such.
            gchar* text = g_markup_escape_text(m_hw->overlayText().c_str(), -1);
            g_object_set(m_overlay, "text", text, nullptr);
            g_free(text);
        }
        if (m_tone) g_object_set(m_tone, "freq", m_hw->toneFrequency(), nullptr);
        // A channel without a carrier: snow and silence, as a tuner gives.
        const bool noSignal = m_hw->showsNoSignal();
        if (m_pattern) g_object_set(m_pattern, "pattern", noSignal ? kSnowPattern : kBarsPattern, nullptr);
        if (m_tone) g_object_set(m_tone, "volume", noSignal ? 0.0 : kToneVolume, nullptr);
    }

    // The card's "vanishAfter" fault: once the stream has run that long it
    // fails as a real card's does when it is unplugged.
    bool vanishesNow() {
        if (m_vanishAfter <= 0 || m_ended.load()) return false;
        const std::chrono::duration<double> ran = std::chrono::steady_clock::now() - m_startedAt;
        if (ran.count() < m_vanishAfter) return false;
        GError* err = g_error_new(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ,
                                  "the device was unplugged (the virtual card's fault \"vanishAfter\")");
        gst_element_post_message(m_pipeline, gst_message_new_error(GST_OBJECT(m_pipeline), err, nullptr));
        g_error_free(err);
        return true;
    }

    static GstFlowReturn onNewSample(GstAppSink* sink, gpointer self) {
        auto* src = static_cast<Source*>(self);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample) return GST_FLOW_EOS;
        if (src->m_ended.load() || src->vanishesNow()) {
            gst_sample_unref(sample);
            return GST_FLOW_EOS; // a stream that ended delivers nothing more
        }
        src->applyHardware();
        t_delivering = true;
        for (const auto& s : src->snapshot()) {
            std::lock_guard call(s->callMutex);
            if (s->active && !s->ended && s->onSample) s->onSample(sample);
        }
        t_delivering = false;
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }

    static GstBusSyncReply onBusMessage(GstBus*, GstMessage* msg, gpointer self) {
        auto* src = static_cast<Source*>(self);
        std::string reason;
        if (GST_MESSAGE_TYPE(msg) == GST_MESSAGE_ERROR) {
            GError* err = nullptr;
            gst_message_parse_error(msg, &err, nullptr);
            reason = err && err->message ? err->message : "the device reported an error";
            if (err) g_error_free(err);
            std::lock_guard lock(src->m_mutex);
            src->m_lastError = reason;
        } else if (GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS) {
            reason = "the device stream ended";
        } else {
            return GST_BUS_DROP;
        }
        src->m_ended = true;
        // Errors come on the streaming thread: a subscription that ends inside
        // its handler must not stop the pipeline from there.
        const bool wasDelivering = t_delivering;
        t_delivering = true;
        for (const auto& s : src->snapshot()) {
            std::lock_guard call(s->callMutex);
            if (s->active && !s->ended) {
                s->ended = true;
                if (s->onEnd) s->onEnd(reason);
            }
        }
        t_delivering = wasDelivering;
        return GST_BUS_DROP;
    }

    std::string m_key;
    GstElement* m_pipeline;
    GstElement* m_overlay;
    GstElement* m_tone;
    GstElement* m_pattern;
    std::shared_ptr<VirtualHardware> m_hw;
    double m_vanishAfter = 0;
    std::chrono::steady_clock::time_point m_startedAt;
    std::atomic<bool> m_ended{false};
    unsigned m_appliedGeneration = 0;
    std::string m_lastError;
    std::mutex m_mutex;
    std::vector<std::shared_ptr<Subscriber>> m_subscribers;
};

class Hub {
public:
    static Hub& instance() {
        static Hub* hub = new Hub; // never destroyed: sources may outlive static objects
        return *hub;
    }

    std::mutex mutex;
    std::map<std::string, std::shared_ptr<Source>> sources;

    // Stops a source from a thread of its own, kept so that the process's end
    // waits for it rather than unload the libraries under a running stop.
    void stopElsewhere(std::shared_ptr<Source> source) {
        std::lock_guard lock(m_stoppersMutex);
        // Threads that have finished are joined as new ones come.
        for (auto it = m_stoppers.begin(); it != m_stoppers.end();) {
            if (it->done->load()) {
                it->thread.join();
                it = m_stoppers.erase(it);
            } else {
                ++it;
            }
        }
        auto done = std::make_shared<std::atomic<bool>>(false);
        m_stoppers.push_back({std::thread([source = std::move(source), done] {
                                  source->stop();
                                  done->store(true);
                              }),
                              done});
    }
    void joinStoppers() {
        std::vector<Stopper> stoppers;
        {
            std::lock_guard lock(m_stoppersMutex);
            stoppers.swap(m_stoppers);
        }
        for (auto& s : stoppers)
            s.thread.join();
    }

    void release(const std::shared_ptr<Source>& source, const std::shared_ptr<Subscriber>& sub) {
        std::shared_ptr<Source> last;
        {
            std::lock_guard lock(mutex);
            if (source->remove(sub)) {
                auto it = sources.find(source->key());
                if (it != sources.end() && it->second == source) sources.erase(it);
                last = source;
            }
        }
        if (!last) return;
        if (t_delivering) {
            // Stopping a pipeline from its own streaming thread would wait for
            // itself: let another thread do it.
            stopElsewhere(std::move(last));
        } else {
            last->stop();
        }
    }

private:
    struct Stopper {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::mutex m_stoppersMutex;
    std::vector<Stopper> m_stoppers;
};

// Sources still running when the process ends (a caller that never let go)
// are stopped before the libraries under them go away.
struct StopSourcesAtExit {
    ~StopSourcesAtExit() {
        std::map<std::string, std::shared_ptr<Source>> running;
        {
            std::lock_guard lock(Hub::instance().mutex);
            running.swap(Hub::instance().sources);
        }
        for (auto& [key, source] : running)
            source->stop();
        Hub::instance().joinStoppers();
    }
} g_stopSourcesAtExit;

class Subscription : public StreamSubscription {
public:
    Subscription(std::shared_ptr<Source> source, std::shared_ptr<Subscriber> sub)
        : m_source(std::move(source)), m_sub(std::move(sub)) {}
    ~Subscription() override {
        {
            std::lock_guard call(m_sub->callMutex); // waits for a handler running elsewhere
            m_sub->active = false;
        }
        Hub::instance().release(m_source, m_sub);
    }

private:
    std::shared_ptr<Source> m_source;
    std::shared_ptr<Subscriber> m_sub;
};

GstElement* parse(const std::string& description, std::string* why) {
    GError* err = nullptr;
    GstElement* p = gst_parse_launch(description.c_str(), &err);
    if (err) {
        if (why) *why = std::string("cannot build the device stream: ") + err->message;
        g_error_free(err);
        if (p) gst_object_unref(p);
        return nullptr;
    }
    return p;
}

const char* kAppSink = "appsink name=sink max-buffers=4 drop=true sync=false enable-last-sample=false";

std::shared_ptr<Source> makeSource(const CatalogEntry& e, MediaKind kind, const std::string& key, std::string* why) {
    std::string description;
    std::shared_ptr<VirtualHardware> hw;
    bool virtualCard = e.source == CatalogEntry::Source::Virtual;
    if (virtualCard) {
        if (e.card.busy) {
            if (why) *why = "the device \"" + e.info.friendlyName + "\" is in use by another program";
            return nullptr;
        }
        hw = virtualHardware(e.card, e.cardIndex);
        if (kind == MediaKind::Video) {
            description = virtualVideoSource(e.card) + " ! " + kAppSink;
        } else {
            description = "audiotestsrc name=tone is-live=true wave=sine volume=" + std::to_string(kToneVolume) +
                          " samplesperbuffer=1600 ! "
                          "audio/x-raw,format=S16LE,rate=48000,channels=2,layout=interleaved ! " +
                          std::string(kAppSink);
        }
    } else if (e.source == CatalogEntry::Source::V4l2) {
        description = "v4l2src name=src device=\"" + e.node + "\" ! video/x-raw ! " + std::string(kAppSink);
    } else {
        description = "audioconvert name=conv ! audio/x-raw,layout=interleaved ! " + std::string(kAppSink);
    }
    GstElement* pipeline = parse(description, why);
    if (!pipeline) return nullptr;
    if (e.source == CatalogEntry::Source::GstDevice) {
        GstElement* src = gst_device_create_element(e.gstDevice.get(), nullptr);
        GstElement* conv = gst_bin_get_by_name(GST_BIN(pipeline), "conv");
        bool linked = src && gst_bin_add(GST_BIN(pipeline), src) && gst_element_link(src, conv);
        if (conv) gst_object_unref(conv);
        if (!linked) {
            if (src && !GST_OBJECT_PARENT(src)) gst_object_unref(src);
            gst_object_unref(pipeline);
            if (why) *why = "the device \"" + e.info.friendlyName + "\" cannot be opened";
            return nullptr;
        }
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    GstElement* overlay = gst_bin_get_by_name(GST_BIN(pipeline), "overlay");
    GstElement* tone = gst_bin_get_by_name(GST_BIN(pipeline), "tone");
    GstElement* pattern = gst_bin_get_by_name(GST_BIN(pipeline), "pattern");
    auto source = std::make_shared<Source>(key, pipeline, sink, overlay, tone, pattern, hw);
    // The pipeline keeps its elements alive.
    for (GstElement* el : {sink, overlay, tone, pattern})
        if (el) gst_object_unref(el);
    return source;
}

} // namespace

std::unique_ptr<StreamSubscription> subscribeDeviceStream(const std::string& friendlyName, MediaKind kind,
                                                          SampleHandler onSample, std::string* why) {
    return subscribeDeviceStream(friendlyName, kind, std::move(onSample), EndHandler{}, why);
}

std::unique_ptr<StreamSubscription> subscribeDeviceStream(const std::string& friendlyName, MediaKind kind,
                                                          SampleHandler onSample, EndHandler onEnd, std::string* why) {
    ensureGstreamer();
    // The first device of that name; an audio request may also be answered by
    // a video device whose stream carries its sound.
    // The catalog's order, virtual cards first; real devices are only probed
    // when no virtual card has the name, and only virtual cards carry sound
    // in their video stream.
    const VirtualCardSet set = loadVirtualCards();
    std::vector<CatalogEntry> entries;
    addVirtualDevices(set, kind, entries);
    std::optional<CatalogEntry> found = firstNamed(entries, friendlyName);
    if (!found && set.realDevices) {
        entries.clear();
        addRealDevices(kind, entries);
        found = firstNamed(entries, friendlyName);
    }
    if (!found && kind == MediaKind::Audio) {
        entries.clear();
        addVirtualDevices(set, MediaKind::Video, entries);
        found = firstNamed(entries, friendlyName, true);
    }
    if (!found) {
        if (why) *why = "no capture device is named \"" + friendlyName + "\"";
        return nullptr;
    }
    const std::string key = std::string(kind == MediaKind::Video ? "video:" : "audio:") + found->info.location;
    auto sub = std::make_shared<Subscriber>();
    sub->onSample = std::move(onSample);
    sub->onEnd = std::move(onEnd);

    Hub& hub = Hub::instance();
    std::lock_guard lock(hub.mutex);
    auto it = hub.sources.find(key);
    std::shared_ptr<Source> source;
    if (it != hub.sources.end() && !it->second->ended()) {
        source = it->second;
        source->add(sub);
    } else {
        source = makeSource(*found, kind, key, why);
        if (!source) return nullptr;
        source->add(sub);
        if (!source->start(why)) return nullptr; // the source stops as it goes
        hub.sources[key] = source;
    }
    return std::make_unique<Subscription>(source, sub);
}

double writerDiesAfter(const std::string& friendlyName) {
    for (const VirtualCardDescription& c : loadVirtualCards().cards)
        if ((c.hasVideo && c.video == friendlyName) || (c.hasAudio && c.audio == friendlyName))
            return c.writerDiesAfter;
    return 0;
}

int runningDeviceSources() {
    Hub& hub = Hub::instance();
    std::lock_guard lock(hub.mutex);
    return static_cast<int>(hub.sources.size());
}

} // namespace vesper::capture
