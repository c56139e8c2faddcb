#include "app/core/device_list.h"

#include "app/core/status_log.h"

namespace vesper {

namespace {

// The list has room for 25 names and its empty terminator; each plug-in lists
// at most 24 resources.
constexpr size_t kMaxDevices = 25;
constexpr int32_t kMaxResourcesPerPlugin = 24;

} // namespace

std::vector<std::string> GetDeviceList(Program& program, const std::string& typeName) {
    std::vector<std::string> list;
    ErrorTrap trap;
    trap.step([&] {
        ObjectPtr engine = program.createObject("WMEncEng.WMEncoder");
        if (!engine) raiseError(err::CannotCreateObject, "Vesper");
        ObjectPtr plugins = engine->get("SourcePluginInfoManager").toObject();
        if (!plugins) raiseError(err::ObjectNotSet, "Vesper");
        const int32_t count = plugins->get("Count").toInt32();
        for (int32_t i = 0; i < count; ++i) {
            Args index{Variant(i)};
            ObjectPtr info = plugins->call("Item", index).toObject();
            if (!info) continue;
            if (info->get("SchemeType").toString() != "DEVICE") continue;
            if (!info->get("Resources").toBool()) continue;
            const bool wanted = info->get("name").toString() == typeName;
            const int32_t resources = info->get("Count").toInt32();
            for (int32_t j = 0; j < resources; ++j) {
                Args at{Variant(j)};
                const std::string name = info->call("Item", at).toString();
                if (!wanted || j >= kMaxResourcesPerPlugin) continue;
                if (name.empty() || name == "Default_Video_Device" || name == "Default_Audio_Device") continue;
                if (list.size() >= kMaxDevices) continue;
                list.push_back(name);
            }
        }
    });
    if (trap.failed()) LogStatus("LS0107:ERROR:M21:GetDeviceList() Exit - " + trap.text());
    return list;
}

} // namespace vesper
