#include "components/encoder_engine/wmencoder.h"

#include "components/wmenc/asf_file.h"
#include "components/wmenc/media.h"
#include "components/wmenc/profiles.h"

#include <memory>

namespace vesper::wmenc {

namespace {

constexpr const char* kSource = "WMEncEng.WMEncoder";

// A read-only list answering Count and Item(i) (from 0), as the engine's
// collections do; an index outside raises error 9.
class ListObject : public DispatchObject {
public:
    explicit ListObject(std::vector<Variant> items) : DispatchObject(kSource), m_items(std::move(items)) {
        property("Count", [this](Args&) { return Variant(int32_t(m_items.size())); });
        method("Item", [this](Args& a) { return item(a); });
        property("length", [this](Args&) { return Variant(int32_t(m_items.size())); });
    }

protected:
    Variant item(Args& a) {
        expectArgs(a, 1, 1);
        const int32_t i = arg(a, 0).toInt32();
        if (i < 0 || size_t(i) >= m_items.size())
            fail(err::SubscriptOutOfRange, "there is no item " + std::to_string(i));
        return m_items[size_t(i)];
    }
    std::vector<Variant> m_items;
};

class ProfileObject : public DispatchObject {
public:
    explicit ProfileObject(const Profile& p) : DispatchObject(kSource) {
        property("name", [n = p.name](Args&) { return Variant(n); });
        property("Description", [p](Args&) {
            return Variant(std::to_string(p.width) + " x " + std::to_string(p.height) + ", " +
                           std::to_string(p.frameRate()).substr(0, 5) + " fps, video " +
                           std::to_string(p.videoBitRate / 1000) + " Kbps, audio " +
                           std::to_string(p.audioBitRate / 1000) + " Kbps " + std::to_string(p.audioSampleRate) +
                           " Hz " + (p.audioChannels == 2 ? "stereo" : "mono"));
        });
        property("Width", [w = p.width](Args&) { return Variant(int32_t(w)); });
        property("Height", [h = p.height](Args&) { return Variant(int32_t(h)); });
        property("FrameRate", [f = p.frameRate()](Args&) { return Variant(f); });
        property("VideoBitrate", [b = p.videoBitRate](Args&) { return Variant(int32_t(b)); });
        property("AudioBitrate", [b = p.audioBitRate](Args&) { return Variant(int32_t(b)); });
        property("Bitrate", [b = p.totalBitRate()](Args&) { return Variant(int32_t(b)); });
        // Ours: the extension of the files the profile writes (".wmv",
        // ".mp4"), and where its pictures are encoded ("software", or "auto":
        // VA-API when a device answers, else software).
        property("Extension", [e = p.extension()](Args&) { return Variant(e); });
        property("VideoEncoding", [auto_ = p.encoding == VideoEncoding::Auto](Args&) {
            return Variant(std::string(auto_ ? "auto" : "software"));
        });
    }
};

// One source plug-in with its resources (for devices: their names).
class PluginInfoObject : public ListObject {
public:
    PluginInfoObject(std::string name, std::string scheme, bool resources, std::vector<Variant> items)
        : ListObject(std::move(items)) {
        property("name", [name](Args&) { return Variant(name); });
        property("SchemeType", [scheme](Args&) { return Variant(scheme); });
        property("Resources", [resources](Args&) { return Variant(resources); });
        property("MediaType", [name](Args&) { return Variant(int32_t(name == kAudioPluginName ? 1 : 2)); });
    }
};

class SourceObject : public DispatchObject {
public:
    explicit SourceObject(int32_t type) : DispatchObject(kSource) {
        property("Type", [type](Args&) { return Variant(type); });
        property(
            "Input", [this](Args&) { return Variant(m_input); }, [this](const Variant& v) { m_input = v.toString(); });
        method("SetInput", [this](Args& a) {
            expectArgs(a, 1, 3);
            m_input = arg(a, 0).toString();
            return Variant();
        });
    }

private:
    std::string m_input;
};

class SourceGroupObject : public DispatchObject {
public:
    explicit SourceGroupObject(std::string name) : DispatchObject(kSource) {
        property("name", [name](Args&) { return Variant(name); });
        method("AddSource", [this](Args& a) {
            expectArgs(a, 1, 1);
            const int32_t type = arg(a, 0).toInt32();
            if (type != 1 && type != 2)
                fail(err::InvalidCall, "a source is of type 1 (audio) or 2 (video), not " + std::to_string(type));
            auto s = std::make_shared<SourceObject>(type);
            m_sources.push_back(s);
            return Variant(ObjectPtr(s));
        });
        property("SourceCount", [this](Args&) { return Variant(int32_t(m_sources.size())); });
        method("Source", [this](Args& a) {
            const int32_t i = arg(a, 0).toInt32();
            if (i < 0 || size_t(i) >= m_sources.size()) fail(err::SubscriptOutOfRange);
            return Variant(ObjectPtr(m_sources[size_t(i)]));
        });
    }

private:
    std::vector<ObjectPtr> m_sources;
};

class SourceGroupCollectionObject : public DispatchObject {
public:
    SourceGroupCollectionObject() : DispatchObject(kSource) {
        method("Add", [this](Args& a) {
            expectArgs(a, 1, 1);
            const std::string name = arg(a, 0).toString();
            for (const auto& [n, g] : m_groups)
                if (n == name) fail(err::InvalidCall, "a source group named \"" + name + "\" already exists");
            auto g = std::make_shared<SourceGroupObject>(name);
            m_groups.emplace_back(name, g);
            return Variant(ObjectPtr(g));
        });
        property("Count", [this](Args&) { return Variant(int32_t(m_groups.size())); });
        method("Item", [this](Args& a) {
            const Variant& key = arg(a, 0);
            if (key.isString()) {
                for (const auto& [n, g] : m_groups)
                    if (n == key.toString()) return Variant(g);
                fail(err::InvalidCall, "there is no source group named \"" + key.toString() + "\"");
            }
            const int32_t i = key.toInt32();
            if (i < 0 || size_t(i) >= m_groups.size()) fail(err::SubscriptOutOfRange);
            return Variant(m_groups[size_t(i)].second);
        });
    }

private:
    std::vector<std::pair<std::string, ObjectPtr>> m_groups;
};

std::vector<Variant> names(const std::vector<std::string>& list, const char* defaultResource) {
    std::vector<Variant> out;
    for (const auto& n : list)
        out.emplace_back(n);
    // The default resource comes last, so that every real device fits into
    // the first places a caller reads.
    out.emplace_back(defaultResource);
    return out;
}

class WMEncoderObject : public DispatchObject {
public:
    WMEncoderObject() : DispatchObject(kSource), m_groups(std::make_shared<SourceGroupCollectionObject>()) {
        property("SourceGroupCollection", [this](Args&) { return Variant(m_groups); });
        property("ProfileCollection", [](Args&) {
            std::vector<Variant> items;
            for (const Profile& p : profiles())
                items.emplace_back(ObjectPtr(std::make_shared<ProfileObject>(p)));
            return Variant(ObjectPtr(std::make_shared<ListObject>(std::move(items))));
        });
        property("SourcePluginInfoManager", [](Args&) {
            // Read the devices afresh: a card plugged in since is listed.
            MediaSource& source = currentMediaSource();
            std::vector<Variant> plugins;
            plugins.emplace_back(ObjectPtr(std::make_shared<PluginInfoObject>(
                kVideoPluginName, "DEVICE", true, names(source.devices(MediaKind::Video), kDefaultVideoResource))));
            plugins.emplace_back(ObjectPtr(std::make_shared<PluginInfoObject>(
                kAudioPluginName, "DEVICE", true, names(source.devices(MediaKind::Audio), kDefaultAudioResource))));
            plugins.emplace_back(
                ObjectPtr(std::make_shared<PluginInfoObject>("File Source", "FILE", false, std::vector<Variant>{})));
            return Variant(ObjectPtr(std::make_shared<ListObject>(std::move(plugins))));
        });
        property("name", [](Args&) { return Variant("Vesper Encoder Engine"); });
        property("RunState", [](Args&) { return Variant(int32_t(5)); }); // stopped
        // Rebuilds a recording that was cut off into a complete, indexed file.
        // True when it was rewritten, false when it was already complete.
        method("RepairFile", [this](Args& a) {
            expectArgs(a, 1, 1);
            const RepairResult r = repairRecording(arg(a, 0).toString());
            if (r.error) fail(r.error.number, r.error.text);
            return Variant(r.repaired);
        });
    }
    std::string className() const override { return "WMEncoder"; }

private:
    ObjectPtr m_groups;
};

} // namespace

Object* newWMEncoder() { return new WMEncoderObject(); }

} // namespace vesper::wmenc
