#include "app/core/encoder_profiles.h"

#include "app/core/status_log.h"

#include "platform/recording_files.h"

#include <algorithm>

namespace vesper {

namespace {

constexpr size_t kLabelLength = 40;

std::string firstCharacters(const std::string& text, size_t count, bool& cut) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (n == count) {
                cut = true;
                return text.substr(0, i);
            }
            ++n;
        }
    }
    cut = false;
    return text;
}

} // namespace

std::string profileNameForChoice(const std::string& choice, const std::string& advanceProfile) {
    if (choice == kProfileChoices[0]) return "Video for broadband NTSC (256 Kbps)";
    if (choice == kProfileChoices[1]) return "Video for broadband NTSC (384 Kbps)";
    if (choice == kProfileChoices[2]) return "Video for broadband NTSC (768 Kbps)";
    if (choice == kProfileChoices[3]) return advanceProfile;
    return {};
}

std::vector<std::string> GetEncoderProfileList(Program& program) {
    LogStatus("LS0089:INFO:M05:GetEncoderProfileList() Enter");
    std::vector<std::string> list;
    ErrorTrap trap;
    trap.step([&] {
        // The engine lists its profiles once a source group with both kinds of
        // source exists.
        ObjectPtr engine = program.createObject("WMEncEng.WMEncoder");
        if (!engine) raiseError(err::CannotCreateObject, "Vesper");
        ObjectPtr groups = engine->get("SourceGroupCollection").toObject();
        if (!groups) raiseError(err::ObjectNotSet, "Vesper");
        Args name{Variant("SG_1")};
        ObjectPtr group = groups->call("Add", name).toObject();
        if (!group) raiseError(err::ObjectNotSet, "Vesper");
        Args audio{Variant(int16_t(1))};
        group->call("AddSource", audio);
        Args video{Variant(int16_t(2))};
        group->call("AddSource", video);
        ObjectPtr profiles = engine->get("ProfileCollection").toObject();
        if (!profiles) raiseError(err::ObjectNotSet, "Vesper");
        const int32_t count = profiles->get("Count").toInt32();
        for (int32_t i = 0; i < count; ++i) {
            Args index{Variant(i)};
            ObjectPtr profile = profiles->call("Item", index).toObject();
            if (!profile) raiseError(err::ObjectNotSet, "Vesper");
            list.push_back(profile->get("name").toString());
            // The bit rate is for the estimates only: an engine without one
            // leaves it unknown.
            try {
                const int32_t rate = profile->get("Bitrate").toInt32();
                if (rate > 0) program.profileBitRates[list.back()] = rate;
            } catch (const std::exception&) {
            }
        }
    });
    if (trap.failed()) LogStatus("LS0090:ERROR:M05:GetEncoderProfileList() - " + trap.text());
    LogStatus("LS0091:INFO:M05:GetEncoderProfileList() Exit");
    // An empty name would end the list for its readers.
    list.erase(std::remove(list.begin(), list.end(), std::string()), list.end());
    // Our H.264 profiles follow the Windows Media ones, which stay first and
    // in their order; a sort by character codes would put them in between.
    const auto ours =
        std::stable_partition(list.begin(), list.end(), [](const std::string& name) { return !isH264Profile(name); });
    std::sort(list.begin(), ours);
    return list;
}

double estimatedRecordingBytes(const Program& program, const std::string& profileName, int durationMinutes) {
    const auto rate = program.profileBitRates.find(profileName);
    if (rate == program.profileBitRates.end()) return -1;
    return double(rate->second) / 8.0 * 60.0 * double(durationMinutes);
}

LabelFit profileLabelText(const std::string& profileName) {
    bool cut = false;
    const std::string head = firstCharacters(profileName, kLabelLength, cut);
    return {cut ? head + " ..." : profileName, profileName};
}

} // namespace vesper
