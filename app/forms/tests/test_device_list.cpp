#include "app/core/device_list.h"
#include "app/core/mod_tuner.h"
#include "app/core/tests/fake_object.h"
#include "app/forms/grid_view.h"
#include "platform/testing/qt_application.h"

#include "platform/clock.h"

#include <QApplication>
#include <QComboBox>
#include <QWidget>

#include <gtest/gtest.h>

using namespace vesper;
using test::FakeObject;

namespace {

// A list answering Count and Item(i).
std::shared_ptr<FakeObject> list(std::vector<Variant> items) {
    auto o = std::make_shared<FakeObject>();
    o->answer("Count", Variant(int32_t(items.size())));
    o->handlers["Item"] = [items](Args& a) { return items.at(size_t(a[0].toInt32())); };
    return o;
}

std::shared_ptr<FakeObject> plugin(const std::string& name, const std::string& scheme, bool resources,
                                   const std::vector<std::string>& names) {
    std::vector<Variant> items(names.begin(), names.end());
    auto o = list(items);
    o->answer("name", Variant(name));
    o->answer("SchemeType", Variant(scheme));
    o->answer("Resources", Variant(resources));
    return o;
}

std::shared_ptr<FakeObject> engineWith(std::vector<Variant> plugins) {
    auto engine = std::make_shared<FakeObject>();
    engine->answer("SourcePluginInfoManager", Variant(ObjectPtr(list(std::move(plugins)))));
    return engine;
}

std::vector<std::string> numbered(const std::string& prefix, int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i)
        out.push_back(prefix + std::to_string(i));
    return out;
}

} // namespace

TEST(DeviceList, TakesDeviceResourcesOfTheWantedTypeOnly) {
    test::startStatusLog();
    Program program;
    test::FakeFactory factory;
    program.createObject = factory.factory();
    std::vector<std::string> videos = {"Card A", "Default_Video_Device", "Card B", "Default_Audio_Device"};
    factory.add("WMEncEng.WMEncoder",
                engineWith({Variant(ObjectPtr(plugin("File Source", "FILE", true, {"Card F"}))),
                            Variant(ObjectPtr(plugin("Video Capture Device", "DEVICE", false, {"Card R"}))),
                            Variant(ObjectPtr(plugin("Video Capture Device", "DEVICE", true, videos))),
                            Variant(ObjectPtr(plugin("Audio Capture Device", "DEVICE", true, {"Card A Audio"})))}));
    EXPECT_EQ(GetDeviceList(program, kVideoDeviceType), (std::vector<std::string>{"Card A", "Card B"}));
    EXPECT_EQ(GetDeviceList(program, kAudioDeviceType), std::vector<std::string>{"Card A Audio"});
    EXPECT_TRUE(test::statusLogLines().empty());
}

TEST(DeviceList, KeepsAtMost24NamesPerPluginAnd25InAll) {
    Program program;
    test::FakeFactory factory;
    program.createObject = factory.factory();
    factory.add("WMEncEng.WMEncoder",
                engineWith({Variant(ObjectPtr(plugin("Video Capture Device", "DEVICE", true, numbered("A", 30)))),
                            Variant(ObjectPtr(plugin("Video Capture Device", "DEVICE", true, numbered("B", 5))))}));
    const auto names = GetDeviceList(program, kVideoDeviceType);
    ASSERT_EQ(names.size(), 25u);
    EXPECT_EQ(names[23], "A23");
    EXPECT_EQ(names[24], "B0");
}

TEST(DeviceList, AMissingOrFailingEngineGivesWhatWasReadAndIsLogged) {
    test::startStatusLog();
    Program program;
    test::FakeFactory factory;
    program.createObject = factory.factory();
    EXPECT_TRUE(GetDeviceList(program, kVideoDeviceType).empty());
    EXPECT_EQ(test::statusLogLines(),
              std::vector<std::string>{
                  "LS0107:ERROR:M21:GetDeviceList() Exit - Vesper:429:ActiveX component can't create object"});

    auto broken = plugin("Video Capture Device", "DEVICE", true, {"Card A", "Card B"});
    broken->handlers["Item"] = [](Args& a) -> Variant {
        if (a[0].toInt32() == 1) throw AutomationError(5, "WMEncEng.WMEncoder", "gone");
        return Variant("Card A");
    };
    factory.add("WMEncEng.WMEncoder", engineWith({Variant(ObjectPtr(broken))}));
    EXPECT_EQ(GetDeviceList(program, kVideoDeviceType), std::vector<std::string>{"Card A"});
}

TEST(DeviceList, FillComboStopsAtTheFirstEmptyNameAndSelectsTheFirst) {
    vesper::test::application();
    QComboBox combo;
    FillCombo(&combo, {"Card A", "Card B", "", "Card C"});
    ASSERT_EQ(combo.count(), 2);
    EXPECT_EQ(combo.currentText(), "Card A");
    QComboBox empty;
    FillCombo(&empty, {});
    EXPECT_EQ(empty.count(), 0);
    EXPECT_EQ(empty.currentIndex(), -1);
}

#ifdef CAPGRAPH_PATH
namespace {
struct WidgetForm : TunerForm {
    QWidget* pane;
    std::string videoSourceText() override { return "Vesper Virtual TV Card"; }
    std::string audioSourceText() override { return "Vesper Virtual TV Audio"; }
    std::string mainWindowHandle() override { return std::to_string(pane->winId()); }
};
} // namespace

// One bring-up of the real capture component on the built-in virtual card,
// and the device list of the real encoder engine.
TEST(RealComponents, BringUpOnTheVirtualCard) {
    vesper::test::application();
    ASSERT_TRUE(test::registerComponent(CAPGRAPH_PATH));
    ASSERT_TRUE(test::registerComponent(ENGINE_PATH));
    test::startStatusLog();
    Program program;
    const auto videos = GetDeviceList(program, kVideoDeviceType);
    const auto audios = GetDeviceList(program, kAudioDeviceType);
    ASSERT_FALSE(videos.empty());
    EXPECT_NE(std::find(videos.begin(), videos.end(), "Vesper Virtual TV Card"), videos.end());
    EXPECT_NE(std::find(audios.begin(), audios.end(), "Vesper Virtual TV Audio"), audios.end());

    QWidget window;
    window.resize(640, 480);
    window.show();
    WidgetForm form;
    form.pane = &window;
    ModTuner tuner(program, form);
    program.g_sChannel = "5";
    EXPECT_TRUE(tuner.InitTunerFromForm());
    tuner.SetChnl(6);
    tuner.TunerStart();
    tuner.TunerStp();
    tuner.TunerRelease();
    EXPECT_EQ(tuner.m_oTuner, nullptr);
    EXPECT_EQ(test::statusLogCodes(), std::vector<std::string>{"LS0081"});

    // A name the card does not have is refused.
    EXPECT_FALSE(tuner.InitTuner("No Such Card", "Vesper Virtual TV Audio"));
    EXPECT_EQ(test::statusLogCodes().back(), "LS0076");
}
#endif
