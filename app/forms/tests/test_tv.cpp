// Live TV: the TV window's channel keys, its caption and place, and the
// preview's states (off, pane, TV window) with what each step asks of the
// tuner client.
#include "app/core/preview_control.h"
#include "app/core/settings_store.h"
#include "app/forms/frm_tv.h"
#include "platform/testing/qt_application.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScreen>

#include <gtest/gtest.h>

namespace vesper {
namespace {

using Key = TvChannelKeys::Key;

TEST(TvChannelKeys, TypedChannelsAreConfirmedWithEnter) {
    TvChannelKeys k(5);
    EXPECT_EQ(k.press(Key::Digit, '1'), std::nullopt);
    EXPECT_EQ(k.shown(), "1");
    k.press(Key::Digit, '2');
    EXPECT_EQ(k.shown(), "12");
    EXPECT_EQ(k.press(Key::Enter), std::optional<int16_t>(12));
    EXPECT_EQ(k.channel(), 12);
    EXPECT_EQ(k.shown(), "12");

    for (char c : std::string("200"))
        k.press(Key::Digit, c);
    EXPECT_EQ(k.press(Key::Enter), std::nullopt);
    EXPECT_EQ(k.shown(), "12");
    for (char c : std::string("1234"))
        k.press(Key::Digit, c);
    EXPECT_EQ(k.press(Key::Enter), std::nullopt); // four characters: refused, not cut
    EXPECT_EQ(k.channel(), 12);
    EXPECT_EQ(k.press(Key::Enter), std::nullopt); // nothing typed
    // "1" alone is below the lowest channel.
    k.press(Key::Digit, '1');
    EXPECT_EQ(k.press(Key::Enter), std::nullopt);
    EXPECT_EQ(k.shown(), "12");
}

TEST(TvChannelKeys, ArrowsWrapEscapeAndBackspace) {
    TvChannelKeys k(181);
    EXPECT_EQ(k.press(Key::Right), std::optional<int16_t>(2));
    EXPECT_EQ(k.press(Key::Left), std::optional<int16_t>(181));
    EXPECT_EQ(k.press(Key::Left), std::optional<int16_t>(180));

    k.press(Key::Digit, '4');
    k.press(Key::Digit, '7');
    k.press(Key::Backspace);
    EXPECT_EQ(k.shown(), "4");
    k.press(Key::Digit, '2');
    EXPECT_EQ(k.press(Key::Enter), std::optional<int16_t>(42));

    k.press(Key::Digit, '9');
    k.press(Key::Escape);
    EXPECT_EQ(k.shown(), "42");
    // After Escape the typed text is the channel; the next digit starts anew.
    k.press(Key::Digit, '7');
    EXPECT_EQ(k.shown(), "7");
    k.press(Key::Backspace);
    k.press(Key::Backspace); // nothing left: no change
    EXPECT_EQ(k.shown(), "");
}

TEST(TvCaption, ShowsTheInputWhenNotTheTuner) {
    EXPECT_EQ(tvCaption("12", "TV Tuner"), " Vesper Home TV - channel = 12");
    EXPECT_EQ(tvCaption("3", "Composite1"), " Vesper Home TV - channel = 3   (Composite1)");
}

// Records what the preview logic asks for.
class FakePreviewHost : public PreviewHost {
public:
    std::vector<std::string> calls;
    bool isRecording = false;
    bool firstTab = true;

    void TunerStart() override { calls.push_back("TunerStart"); }
    void TunerStp() override { calls.push_back("TunerStp"); }
    void TunerSetPreview(const std::string& s) override { calls.push_back("SetPreview " + s); }
    void TunerInitPreview(const std::string& h, const std::string& l, const std::string& t, const std::string& w,
                          const std::string& ht, const std::string& s) override {
        calls.push_back("InitPreview " + h + " " + l + " " + t + " " + w + " " + ht + " " + s);
    }
    std::string mainWindowHandle() override { return "100"; }
    std::string tvWindowHandle() override { return "200"; }
    bool recording() override { return isRecording; }
    bool firstTabShown() override { return firstTab; }
    void showTvWindow() override { calls.push_back("showTv"); }
    void unloadTvWindow() override { calls.push_back("unloadTv"); }
    void hideTvWindow() override { calls.push_back("hideTv"); }
    void AdjustOverlayScreen() override { calls.push_back("Adjust"); }
    void displayChanged() override {}
    std::vector<std::string> take() { return std::exchange(calls, {}); }
};

using Calls = std::vector<std::string>;

class Preview : public ::testing::Test {
protected:
    Program program;
    FakePreviewHost host;
    PreviewControl preview{program, host};
};

TEST_F(Preview, PaneOnAndOff) {
    preview.cmdPreviewClick();
    EXPECT_TRUE(program.g_bPreview);
    EXPECT_EQ(host.take(), (Calls{"TunerStart", "InitPreview 100 326 79 202 152 1"}));
    EXPECT_TRUE(preview.display.channelControlsVisible);
    EXPECT_EQ(preview.display.lblChannelToolTip, " DblClk for Preview to this Channel ");
    EXPECT_TRUE(preview.display.lblDetachTVVisible);
    EXPECT_EQ(preview.display.lblDetachTVToolTip, " Click to detach into a resizable TV screen! ");

    preview.cmdPreviewClick();
    EXPECT_FALSE(program.g_bPreview);
    EXPECT_EQ(host.take(), (Calls{"SetPreview 0", "TunerStp"}));
    EXPECT_FALSE(preview.display.channelControlsVisible);
    EXPECT_EQ(preview.display.lblChannelToolTip, "");
    EXPECT_FALSE(preview.display.lblDetachTVVisible);

    // While recording the graph is neither started nor stopped here.
    host.isRecording = true;
    preview.cmdPreviewClick();
    preview.cmdPreviewClick();
    EXPECT_EQ(host.take(), (Calls{"InitPreview 100 326 79 202 152 1", "SetPreview 0"}));
}

TEST_F(Preview, DetachAttachAndTheTvWindowRemembered) {
    preview.cmdPreviewClick();
    host.take();
    preview.lblDetachTVClick();
    EXPECT_TRUE(program.g_bTvPreviewDetach);
    EXPECT_TRUE(preview.followResize);
    EXPECT_EQ(host.take(), (Calls{"showTv", "InitPreview 200 0 0 202 152 1", "Adjust"}));
    EXPECT_EQ(preview.display.lblDetachTVCaption, "Attach TV");
    EXPECT_EQ(preview.display.lblDetachTVToolTip, " Click to attach into a small non-resizable TV screen! ");

    // Off while detached: the TV window goes, the choice stays.
    preview.cmdPreviewClick();
    EXPECT_EQ(host.take(), (Calls{"SetPreview 0", "TunerStp", "unloadTv", "SetPreview 0"}));
    EXPECT_TRUE(program.g_bTvPreviewDetach);
    preview.cmdPreviewClick();
    EXPECT_EQ(host.take(), (Calls{"TunerStart", "showTv", "InitPreview 200 0 0 202 152 1", "Adjust"}));

    preview.lblDetachTVClick();
    EXPECT_FALSE(program.g_bTvPreviewDetach);
    EXPECT_FALSE(preview.followResize);
    EXPECT_EQ(host.take(), (Calls{"unloadTv", "SetPreview 1"}));
    EXPECT_EQ(preview.display.lblDetachTVCaption, "Detach TV");
}

TEST_F(Preview, MinimisingOnAnotherTabHidesThePictureUntilTheFirstTab) {
    preview.cmdPreviewClick();
    preview.lblDetachTVClick();
    host.take();
    host.firstTab = false;
    preview.SSTab1Click(1);
    EXPECT_TRUE(host.take().empty()); // detached: the picture stays in the TV window
    EXPECT_TRUE(preview.display.cmdEpgPaneVisible);
    preview.AttachTVScreen();
    EXPECT_EQ(host.take(), (Calls{"InitPreview 100 326 79 202 152 0", "hideTv"}));
    EXPECT_TRUE(program.g_bPreview);
    EXPECT_FALSE(program.g_bTvPreviewDetach);
    host.firstTab = true;
    preview.SSTab1Click(0);
    EXPECT_EQ(host.take(), (Calls{"SetPreview 1"}));
    EXPECT_FALSE(preview.display.cmdEpgPaneVisible);
    preview.SSTab1Click(2);
    EXPECT_EQ(host.take(), (Calls{"SetPreview 0"}));
    preview.AttachTVScreen(); // attached already: nothing
    EXPECT_TRUE(host.take().empty());
}

TEST_F(Preview, ClosingTheTvWindowSwitchesThePreviewOff) {
    preview.cmdPreviewClick();
    preview.lblDetachTVClick();
    host.take();
    preview.tvClosedByUser();
    EXPECT_FALSE(program.g_bPreview);
    EXPECT_FALSE(program.g_bTvPreviewDetach);
    EXPECT_EQ(host.take(), (Calls{"SetPreview 0", "TunerStp", "unloadTv", "SetPreview 0"}));
    EXPECT_EQ(preview.display.lblDetachTVCaption, "Detach TV");
    EXPECT_FALSE(preview.display.lblDetachTVVisible);
}

TEST_F(Preview, RestoredAfterARecordingStartsInThePane) {
    preview.cmdPreviewClick();
    preview.lblDetachTVClick();
    host.take();
    // What the tick does with optAttachTvWindow: off, flags kept, on.
    host.isRecording = false;
    const bool p = program.g_bPreview, d = program.g_bTvPreviewDetach;
    preview.PreviewOff();
    program.g_bPreview = p;
    program.g_bTvPreviewDetach = d;
    preview.PreviewOn();
    EXPECT_EQ(host.take(), (Calls{"SetPreview 0", "TunerStp", "unloadTv", "SetPreview 0", "SetPreview 1",
                                  "InitPreview 100 326 79 202 152 1"}));
    EXPECT_TRUE(program.g_bPreview);
    EXPECT_FALSE(program.g_bTvPreviewDetach);
    EXPECT_TRUE(preview.display.channelControlsVisible);
    EXPECT_EQ(preview.display.lblDetachTVCaption, "Detach TV");

    // A preview that was off stays off; the pane gets state 0.
    program.g_bTvPreviewDetach = true;
    program.g_bPreview = false;
    preview.PreviewOn();
    EXPECT_EQ(host.take(), (Calls{"InitPreview 100 326 79 202 152 0"}));
}

// The TV window itself, offscreen.
class FakeTvHost : public TvWindowHost {
public:
    std::vector<std::string> calls;
    bool remember = true;
    bool follow = false;
    std::string inputName = "TV Tuner";
    void SetChnl(int16_t c) override { calls.push_back("SetChnl " + std::to_string(c)); }
    void SetChannelForFormVesper(const std::string& c) override { calls.push_back("Form " + c); }
    std::string videoInputName() override { return inputName; }
    bool rememberSizePosition() override { return remember; }
    bool followResize() override { return follow; }
    void AttachTVScreen() override { calls.push_back("Attach"); }
    void tvClosedByUser() override { calls.push_back("ClosedByUser"); }
    std::string mainWindowHandle() override { return "100"; }
    void TunerResizePreview(const std::string& w, const std::string& h) override {
        calls.push_back("Resize " + w + " " + h);
    }
    void TunerSetPreview(const std::string& s) override { calls.push_back("SetPreview " + s); }
    void TunerInitPreview(const std::string& h, const std::string& l, const std::string& t, const std::string& w,
                          const std::string& ht, const std::string& s) override {
        calls.push_back("InitPreview " + h + " " + l + " " + t + " " + w + " " + ht + " " + s);
    }
};

class TvWindow : public ::testing::Test {
protected:
    void SetUp() override { vesper::test::application(); }
    Program program;
    FakeTvHost host;
};

TEST_F(TvWindow, KeysTuneTheCardAndTheMainWindow) {
    program.g_sChannel = "181";
    frmTV tv(program, host);
    tv.load();
    EXPECT_EQ(tv.windowTitle().toStdString(), " Vesper Home TV - channel = 181");
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(&tv, &right);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"SetChnl 2", "Form 2"}));
    EXPECT_EQ(program.g_sChannel, "2");
    EXPECT_EQ(program.g_sChannelPrevious, "181");
    EXPECT_EQ(tv.windowTitle().toStdString(), " Vesper Home TV - channel = 2");

    host.calls.clear();
    for (const char* k : {"1", "2"}) {
        QKeyEvent digit(QEvent::KeyPress, Qt::Key_0 + (k[0] - '0'), Qt::NoModifier, QString::fromLatin1(k));
        QApplication::sendEvent(&tv, &digit);
    }
    EXPECT_EQ(tv.windowTitle().toStdString(), " Vesper Home TV - channel = 12");
    EXPECT_TRUE(host.calls.empty());
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&tv, &enter);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"SetChnl 12", "Form 12"}));
    EXPECT_EQ(program.g_sChannelPrevious, "2");

    host.inputName = "S-Video";
    tv.SetCaptionForFormTV("12");
    EXPECT_EQ(tv.windowTitle().toStdString(), " Vesper Home TV - channel = 12   (S-Video)");
}

TEST_F(TvWindow, PlaceAndSizeInTwips) {
    host.remember = false;
    {
        frmTV tv(program, host);
        tv.load();
        EXPECT_NEAR(tv.width() * tv.twipsPerPixelX(), 9000, 30);
        EXPECT_NEAR(tv.height() * tv.twipsPerPixelY(), 7200, 30);
        const QRect screen = tv.screen()->geometry();
        EXPECT_NEAR(tv.x() + tv.width() / 2.0, screen.width() / 2.0, 2);
    }

    host.remember = true;
    const double tx = [&] {
        frmTV probe(program, host);
        return probe.twipsPerPixelX();
    }();
    RegSaveSetting2(settings::sTop, std::to_string(int(30 * tx)));
    RegSaveSetting2(settings::sLeft, std::to_string(int(40 * tx)));
    RegSaveSetting2(settings::sWidth, std::to_string(int(640 * tx)));
    frmTV tv(program, host);
    tv.load();
    EXPECT_EQ(tv.width(), 640);
    EXPECT_EQ(tv.height(), int(640 / kTvAspect));
    EXPECT_EQ(tv.pos(), QPoint(40, 30));
    tv.move(50, 60);
    tv.resize(400, 301);
    tv.unload();
    EXPECT_EQ(host.calls.back(), "InitPreview 100 326 79 202 152 0");
    EXPECT_EQ(RegGetSetting2(settings::sLeft), std::to_string(int(50 * tx)));
    EXPECT_EQ(RegGetSetting2(settings::sWidth), std::to_string(int(400 * tx)));
    EXPECT_FALSE(tv.loaded());
}

TEST_F(TvWindow, AnyStoredPlaceOpensOnTheDesktopAndIsStoredBackSo) {
    struct Case {
        const char *top, *left, *width;
    };
    const Case cases[] = {
        {"-1000000000", "0", "1000000000"},   // far above, wider than any screen
        {"1000000000", "1000000000", "9000"}, // far below and to the right
        {"0", "-99999999999999999999", "1"},  // off to the left, one twip wide
        {"abc", "1e308", "NaN"},              // not numbers
    };
    for (const Case& c : cases) {
        RegSaveSetting2(settings::sTop, c.top);
        RegSaveSetting2(settings::sLeft, c.left);
        RegSaveSetting2(settings::sWidth, c.width);
        QRect placed;
        {
            frmTV tv(program, host);
            tv.load();
            const QRect desktop = tv.screen()->availableGeometry();
            placed = tv.geometry();
            EXPECT_TRUE(desktop.contains(placed)) << c.top << " " << c.left << " " << c.width;
            EXPECT_GE(placed.width(), kTvMinimumWidth);
            tv.unload();
        }
        // What is stored back opens in the same place.
        frmTV again(program, host);
        again.load();
        EXPECT_EQ(again.pos(), placed.topLeft()) << c.top << " " << c.left << " " << c.width;
        EXPECT_EQ(again.width(), placed.width());
        again.unload();
    }
}

TEST_F(TvWindow, FollowsResizeWithTheAspectKeptAndMinimisesIntoThePane) {
    frmTV tv(program, host);
    tv.load();
    tv.show();
    host.follow = true;
    host.calls.clear();
    tv.resize(532, 100);
    QApplication::processEvents();
    EXPECT_EQ(tv.height(), int(532 / kTvAspect));
    ASSERT_FALSE(host.calls.empty());
    EXPECT_EQ(host.calls.back(), "SetPreview 1");
    EXPECT_NE(std::find(host.calls.begin(), host.calls.end(), "Resize 532 " + std::to_string(tv.height())),
              host.calls.end());

    host.calls.clear();
    tv.setWindowState(Qt::WindowMinimized);
    QApplication::processEvents();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"Attach"}));

    // The close box: the main window switches the preview off.
    host.follow = false;
    tv.setWindowState(Qt::WindowNoState);
    host.calls.clear();
    QCloseEvent close;
    QApplication::sendEvent(&tv, &close);
    EXPECT_TRUE(tv.closedByUser());
    EXPECT_EQ(host.calls.front(), "ClosedByUser");
    EXPECT_NE(std::find(host.calls.begin(), host.calls.end(), "SetPreview 0"), host.calls.end());
    EXPECT_FALSE(tv.loaded());
}

} // namespace
} // namespace vesper
