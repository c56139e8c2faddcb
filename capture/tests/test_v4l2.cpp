// Real cards without hardware: the channel tables and the V4L2 ioctl
// sequences through a fake ioctl layer.
#include "capture/capture_commands.h"
#include "capture/channel_tables.h"
#include "capture/v4l2_card.h"
#include "capture/v4l2_io.h"

#include "capture/tests/capture_test_util.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using namespace vesper::capture;
using vesper::capture::captest::CardsFile;

namespace {

class FakeCard : public V4l2Io {
public:
    bool vanished = false;
    bool lowUnits = false;
    bool unterminatedNames = false; // names fill their field with no NUL
    int input = 0;
    v4l2_std_id standard = V4L2_STD_NTSC_M;
    uint32_t frequency = 0;
    std::vector<std::string> calls;
    int opened = 0;

    std::vector<std::string> deviceNodes() override { return {"/dev/video7"}; }
    int open(const std::string& path) override {
        if (vanished || path != "/dev/video7") {
            errno = ENOENT;
            return -1;
        }
        ++opened;
        return 42;
    }
    int close(int) override {
        --opened;
        return 0;
    }
    int ioctl(int fd, unsigned long request, void* arg) override {
        if (fd != 42) return fail(EBADF);
        switch (request) {
        case VIDIOC_QUERYCAP: {
            calls.push_back("QUERYCAP");
            auto* c = static_cast<v4l2_capability*>(arg);
            *c = {};
            std::strcpy(reinterpret_cast<char*>(c->card), "Fake TV Card");
            c->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_TUNER;
            return 0;
        }
        case VIDIOC_ENUMINPUT: {
            auto* in = static_cast<v4l2_input*>(arg);
            calls.push_back("ENUMINPUT " + std::to_string(in->index));
            const char* names[] = {"Television", "Composite1", "S-Video"};
            if (in->index > 2) return fail(EINVAL);
            const uint32_t i = in->index;
            *in = {};
            in->index = i;
            std::strcpy(reinterpret_cast<char*>(in->name), names[i]);
            if (unterminatedNames)
                std::memset(in->name + std::strlen(names[i]), '_', sizeof in->name - std::strlen(names[i]));
            in->type = i == 0 ? V4L2_INPUT_TYPE_TUNER : V4L2_INPUT_TYPE_CAMERA;
            in->tuner = 0;
            return 0;
        }
        case VIDIOC_S_INPUT:
            input = *static_cast<int*>(arg);
            calls.push_back("S_INPUT " + std::to_string(input));
            return 0;
        case VIDIOC_G_INPUT: *static_cast<int*>(arg) = input; return 0;
        case VIDIOC_G_TUNER: {
            auto* t = static_cast<v4l2_tuner*>(arg);
            calls.push_back("G_TUNER " + std::to_string(t->index));
            if (t->index != 0) return fail(EINVAL);
            t->type = V4L2_TUNER_ANALOG_TV;
            t->capability = lowUnits ? V4L2_TUNER_CAP_LOW : 0;
            t->rangelow = lowUnits ? 44000000 / 62 : 44 * 16;
            t->rangehigh = lowUnits ? 0xFFFFFFFF : 958 * 16;
            return 0;
        }
        case VIDIOC_S_FREQUENCY: {
            auto* f = static_cast<v4l2_frequency*>(arg);
            frequency = f->frequency;
            calls.push_back("S_FREQUENCY " + std::to_string(f->tuner) + " " + std::to_string(f->frequency));
            return 0;
        }
        case VIDIOC_S_STD:
            standard = *static_cast<v4l2_std_id*>(arg);
            calls.push_back("S_STD");
            return 0;
        default: return fail(ENOTTY);
        }
    }

private:
    static int fail(int e) {
        errno = e;
        return -1;
    }
};

struct RealCardFixture {
    RealCardFixture() : f(R"({"cards": [{"audio": "Fake Audio"}]})") { setV4l2Io(&card); }
    ~RealCardFixture() { setV4l2Io(nullptr); }
    FakeCard card;
    CardsFile f;
};

bool contains(const std::vector<std::string>& calls, const std::string& c) {
    return std::find(calls.begin(), calls.end(), c) != calls.end();
}

} // namespace

// First of the tests that tune the fake card: its tuner settings live for
// the process, so this one sees them as the card powers on.
TEST(V4l2Card, PowersOnAtCableAndSaysWhyItRefusesAChannel) {
    RealCardFixture x;
    CaptureState state;
    CaptureCommands cmd(state);
    ASSERT_EQ(cmd.Init("Fake TV Card", "Fake Audio"), "OK");
    EXPECT_EQ(cmd.SetChannel("95"), "OK"); // cable A-5, not in the off-air plan
    EXPECT_EQ(x.card.frequency, 1460u);    // 91.25 MHz
    EXPECT_EQ(cmd.SetChannel("125"), "OK");
    EXPECT_EQ(x.card.frequency, 12788u); // 799.25 MHz
    // T7 (8.25 MHz) lies below the tuner's range: refused, said, still "OK".
    testing::internal::CaptureStderr();
    EXPECT_EQ(cmd.SetChannel("171"), "OK");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(x.card.frequency, 12788u);
    EXPECT_NE(err.find("Capgraph: channel 171 refused (country 1, cable): the card cannot tune 8.25 MHz"),
              std::string::npos)
        << err;
    EXPECT_EQ(cmd.Release(), "OK");
}

TEST(V4l2Card, UnitsConnectorsAndStandards) {
    EXPECT_EQ(v4l2FrequencyUnits(55250000, false), 884u); // 55.25 MHz / 62.5 kHz
    EXPECT_EQ(v4l2FrequencyUnits(175250000, false), 2804u);
    EXPECT_EQ(v4l2FrequencyUnits(175250000, true), 2804000u);
    v4l2_input in{};
    in.type = V4L2_INPUT_TYPE_TUNER;
    EXPECT_EQ(connectorForV4l2Input(in), 1);
    in.type = V4L2_INPUT_TYPE_CAMERA;
    for (auto [name, type] :
         {std::pair{"S-Video", 3L}, {"SVideo 1", 3L}, {"Composite1", 2L}, {"CVBS", 2L}, {"Camera 1", 9L}}) {
        std::strcpy(reinterpret_cast<char*>(in.name), name);
        EXPECT_EQ(connectorForV4l2Input(in), type) << name;
    }
    EXPECT_EQ(v4l2StandardFor(0x1), V4L2_STD_NTSC_M);
    EXPECT_EQ(v4l2StandardFor(0x2), V4L2_STD_NTSC_M_JP);
    EXPECT_EQ(v4l2StandardFor(0x10), V4L2_STD_PAL_B);
    EXPECT_EQ(v4l2StandardFor(0x100), V4L2_STD_PAL_I);
    EXPECT_EQ(v4l2StandardFor(0x40000), V4L2_STD_SECAM_L);
    EXPECT_EQ(v4l2StandardFor(0x3), 0u);
}

TEST(V4l2Card, EnumeratedRoutedTunedAndStandardSet) {
    RealCardFixture x;
    const auto video = enumerateDevices(MediaKind::Video);
    ASSERT_EQ(video.size(), 1u);
    EXPECT_EQ(video[0].friendlyName, "Fake TV Card");
    EXPECT_EQ(video[0].location, "/dev/video7");
    EXPECT_EQ(x.card.opened, 0); // enumeration closes what it opens

    {
        CaptureState state;
        CaptureCommands cmd(state);
        x.card.calls.clear();
        x.card.input = 2;
        ASSERT_EQ(cmd.Init("Fake TV Card", "Fake Audio"), "OK");
        EXPECT_EQ(x.card.calls.at(0), "QUERYCAP");
        EXPECT_TRUE(contains(x.card.calls, "ENUMINPUT 3"));
        // Routed to the tuner at bring-up.
        EXPECT_EQ(x.card.input, 0);
        ASSERT_EQ(state.routeCount(), 3);
        EXPECT_EQ(state.router()->inputType(0), 1);
        EXPECT_EQ(state.router()->inputType(1), 2);
        EXPECT_EQ(state.router()->inputType(2), 3);
        EXPECT_EQ(cmd.SetVideoInput("1"), "OK");
        EXPECT_EQ(x.card.input, 2);
        EXPECT_EQ(cmd.SetVideoInput("2"), "OK");
        EXPECT_EQ(x.card.input, 1);

        x.card.calls.clear();
        EXPECT_EQ(cmd.SetChannel("7"), "OK");
        EXPECT_EQ(x.card.calls, (std::vector<std::string>{"G_TUNER 0", "S_FREQUENCY 0 2804"}));
        EXPECT_EQ(cmd.SetTVTunerProperties("1", "1"), "OK"); // US cable
        EXPECT_EQ(cmd.SetChannel("95"), "OK");
        EXPECT_EQ(x.card.frequency, 1460u); // 91.25 MHz
        x.card.lowUnits = true;
        EXPECT_EQ(cmd.SetChannel("95"), "OK");
        EXPECT_EQ(x.card.frequency, 1460000u);
        x.card.lowUnits = false;
        EXPECT_EQ(cmd.SetCountryCode("81"), "OK");
        EXPECT_EQ(cmd.SetInputType("1"), "OK"); // antenna
        EXPECT_EQ(cmd.SetChannel("1"), "OK");
        EXPECT_EQ(x.card.frequency, 1460u); // Japan 1: 91.25 MHz
        x.card.calls.clear();
        EXPECT_EQ(cmd.SetChannel("200"), "OK"); // no such channel: refused, still "OK"
        EXPECT_TRUE(x.card.calls.empty());

        EXPECT_EQ(cmd.SetVideoStandard("256"), "OK");
        EXPECT_EQ(x.card.standard, V4L2_STD_PAL_I);
        EXPECT_EQ(cmd.SetVideoStandard("3"), "Not OK");
        EXPECT_EQ(x.card.standard, V4L2_STD_PAL_I);
        EXPECT_EQ(cmd.Release(), "OK");
    }
    EXPECT_EQ(x.card.opened, 0);
}

TEST(V4l2Card, InputNamesThatFillTheirFieldAreReadToItsEnd) {
    RealCardFixture x;
    x.card.unterminatedNames = true;
    CaptureState state;
    CaptureCommands cmd(state);
    ASSERT_EQ(cmd.Init("Fake TV Card", "Fake Audio"), "OK");
    ASSERT_EQ(state.routeCount(), 3);
    EXPECT_EQ(state.router()->inputType(2), 3); // still S-Video
    bool seen = false;
    for (const auto& f : state.graph()->filters())
        for (const auto& pin : f->pins())
            if (pin->name().rfind("S-Video", 0) == 0) {
                EXPECT_EQ(pin->name(), "S-Video" + std::string(32 - 7, '_'));
                seen = true;
            }
    EXPECT_TRUE(seen);
    EXPECT_EQ(cmd.Release(), "OK");
}

TEST(V4l2Card, DeviceThatVanishedBeforeOpening) {
    RealCardFixture x;
    CaptureState state;
    CaptureCommands cmd(state);
    state.enumerateDevices();
    x.card.vanished = true;
    EXPECT_TRUE(state.selectDevicesByName("Fake TV Card", "Fake Audio"));
    EXPECT_EQ(state.graph(), nullptr);
    EXPECT_EQ(cmd.SetChannel("5"), "Not OK");
    EXPECT_EQ(cmd.SetVideoInput("1"), "OK");
    EXPECT_EQ(cmd.InitPreview("1", "0", "0", "1", "1"), "Not OK");
}
