// The preview window painted into a window of the caller, on the offscreen
// platform: placement, clamping, visibility, and the picture itself.
#include "capture/capture_commands.h"
#include "capture/video_renderer.h"
#include "capture/virtual_card.h"
#include "platform/testing/qt_application.h"

#include "capture/tests/capture_test_util.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

using namespace vesper::capture;
using vesper::capture::captest::CardsFile;
using vesper::capture::captest::eventually;

namespace {

const QColor kBackground(12, 200, 34);

std::unique_ptr<QWidget> ownerWindow(int w = 640, int h = 480) {
    vesper::test::application();
    auto win = std::make_unique<QWidget>();
    win->setAutoFillBackground(true);
    QPalette p = win->palette();
    p.setColor(QPalette::Window, kBackground);
    win->setPalette(p);
    win->resize(w, h);
    win->show();
    return win;
}

std::string handle(QWidget* w) { return QString::number(w->winId()).toStdString(); }

QWidget* preview(QWidget* owner) { return owner->findChild<QWidget*>("CapgraphPreview"); }

// Share of the rectangle's pixels that are not the owner's background.
double pictureShare(QWidget* owner, const QRect& area) {
    const QImage img = owner->grab().toImage();
    long other = 0, all = 0;
    for (int y = area.top(); y <= area.bottom(); y += 4)
        for (int x = area.left(); x <= area.right(); x += 4) {
            ++all;
            if (img.pixelColor(x, y) != kBackground) ++other;
        }
    return all ? double(other) / all : 0;
}

struct Fixture {
    Fixture()
        : f(R"({"realDevices": false, "cards": [{"video": "Card A", "audio": "Card A Audio",
                                                       "width": 320, "height": 240, "moving": false}]})") {
        vesper::test::application();
    }
    VideoRendererFilter* renderer() { return dynamic_cast<VideoRendererFilter*>(state.videoWindow()); }
    bool waitPainted(long more) {
        const long target = renderer()->framesPainted() + more;
        const bool ok = eventually([&] {
            QCoreApplication::processEvents();
            return renderer()->framesPainted() >= target;
        });
        if (!ok)
            std::fprintf(stderr, "frames received %ld, painted %ld\n", renderer()->framesReceived(),
                         renderer()->framesPainted());
        return ok;
    }
    CardsFile f;
    CaptureState state;
    CaptureCommands cmd{state};
};

} // namespace

TEST(PreviewWindow, PlacedHiddenThenShownWithThePicture) {
    Fixture x;
    auto win = ownerWindow();
    ASSERT_EQ(x.cmd.Init("Card A", "Card A Audio"), "OK");
    ASSERT_EQ(x.cmd.InitPreview(handle(win.get()), "326", "79", "202", "152"), "OK");
    QWidget* child = preview(win.get());
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->geometry(), QRect(326, 79, 202, 152));
    EXPECT_FALSE(child->isVisible());
    EXPECT_LT(pictureShare(win.get(), QRect(326, 79, 202, 152)), 0.01);

    EXPECT_EQ(x.cmd.SetPreview("1"), "OK");
    EXPECT_EQ(x.cmd.SetPreview("1"), "OK");
    EXPECT_TRUE(child->isVisible());
    ASSERT_TRUE(x.waitPainted(2));
    EXPECT_GT(pictureShare(win.get(), QRect(326, 79, 202, 152)), 0.9);
    // Nothing outside the pane.
    EXPECT_LT(pictureShare(win.get(), QRect(0, 0, 300, 70)), 0.01);

    EXPECT_EQ(x.cmd.SetPreview("0"), "OK");
    EXPECT_FALSE(child->isVisible());
    EXPECT_LT(pictureShare(win.get(), QRect(326, 79, 202, 152)), 0.01);
    for (const char* bad : {"true", " 1", "", "01", "2"})
        EXPECT_EQ(x.cmd.SetPreview(bad), "Not OK") << bad;
    EXPECT_FALSE(child->isVisible());
}

TEST(PreviewWindow, ClampingResizeAndMovingToAnotherWindow) {
    Fixture x;
    auto win = ownerWindow();
    ASSERT_EQ(x.cmd.Init("Card A", "Card A Audio"), "OK");
    EXPECT_EQ(x.cmd.ResizePreview("0", "0", "100", "100"), "Not OK"); // not placed yet
    EXPECT_EQ(x.cmd.InitPreview("0", "0", "0", "10", "10"), "Not OK");
    EXPECT_EQ(x.cmd.InitPreview("-7", "0", "0", "10", "10"), "Not OK");
    ASSERT_EQ(x.cmd.InitPreview(handle(win.get()), "-3", "-4", "-5", "-1"), "OK");
    EXPECT_EQ(preview(win.get())->geometry(), QRect(0, 0, 150, 100));
    ASSERT_EQ(x.cmd.InitPreview(handle(win.get()), "5", "6", "0", "0"), "OK");
    EXPECT_EQ(preview(win.get())->geometry(), QRect(5, 6, 0, 0));

    EXPECT_EQ(x.cmd.ResizePreview("0", "0", "320", "240"), "OK");
    EXPECT_EQ(preview(win.get())->geometry(), QRect(0, 0, 320, 240));
    EXPECT_EQ(x.cmd.ResizePreview("10", "10", "99999999999", "-2"), "OK");
    EXPECT_EQ(preview(win.get())->geometry().topLeft(), QPoint(10, 10));

    // The TV window takes the picture over; the main window loses it.
    auto tv = ownerWindow(400, 300);
    ASSERT_EQ(x.cmd.InitPreview(handle(tv.get()), "0", "0", "400", "300"), "OK");
    EXPECT_EQ(preview(win.get()), nullptr);
    ASSERT_NE(preview(tv.get()), nullptr);
    EXPECT_EQ(x.cmd.SetPreview("1"), "OK");
    ASSERT_TRUE(x.waitPainted(2));
    EXPECT_GT(pictureShare(tv.get(), QRect(0, 0, 400, 300)), 0.9);
    // Odd sizes and enlarging are painted as well.
    for (auto [w, h] : {std::pair{201, 151}, std::pair{399, 299}}) {
        ASSERT_EQ(x.cmd.ResizePreview("0", "0", std::to_string(w), std::to_string(h)), "OK");
        ASSERT_TRUE(x.waitPainted(2));
        EXPECT_GT(pictureShare(tv.get(), QRect(0, 0, w, h)), 0.9) << w;
    }
}

TEST(PreviewWindow, HandlesThatNameNoWindowAndOwnersThatGoAway) {
    Fixture x;
    ASSERT_EQ(x.cmd.Init("Card A", "Card A Audio"), "OK");
    // A handle naming no window is taken as given; the picture has nowhere to go.
    EXPECT_EQ(x.cmd.InitPreview("987654321", "0", "0", "100", "100"), "OK");
    EXPECT_EQ(x.cmd.SetPreview("1"), "OK");
    EXPECT_EQ(x.cmd.InitPreview("99999999999999999999999", "0", "0", "100", "100"), "OK");
    EXPECT_EQ(x.cmd.ResizePreview("1", "1", "50", "50"), "OK");

    auto win = ownerWindow();
    ASSERT_EQ(x.cmd.InitPreview(handle(win.get()), "0", "0", "100", "100"), "OK");
    EXPECT_EQ(x.cmd.SetPreview("1"), "OK");
    ASSERT_TRUE(x.waitPainted(1));
    win.reset(); // the owner closes while frames keep coming
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(x.cmd.ResizePreview("0", "0", "120", "90"), "OK");
    EXPECT_EQ(x.cmd.SetPreview("0"), "OK");
    EXPECT_EQ(x.cmd.SetPreview("1"), "OK");
    EXPECT_EQ(x.cmd.Release(), "OK");
    // Placed stays set: a later resize places whatever window then exists.
    EXPECT_EQ(x.cmd.ResizePreview("0", "0", "120", "90"), "Not OK"); // no video window now
    ASSERT_EQ(x.cmd.Init("Card A", "Card A Audio"), "OK");
    EXPECT_EQ(x.cmd.ResizePreview("0", "0", "120", "90"), "OK");
}

TEST(PreviewWindow, ChannelChangeShowsInThePicture) {
    Fixture x;
    auto win = ownerWindow(320, 240);
    ASSERT_EQ(x.cmd.Init("Card A", "Card A Audio"), "OK");
    ASSERT_EQ(x.cmd.InitPreview(handle(win.get()), "0", "0", "320", "240"), "OK");
    ASSERT_EQ(x.cmd.SetPreview("1"), "OK");
    auto hw = virtualHardware(loadVirtualCards().cards[0], 0);
    ASSERT_EQ(x.cmd.SetChannel("4"), "OK");
    ASSERT_TRUE(x.waitPainted(5));
    // A still pattern (but for its noise block at the bottom right): only
    // the caption changes with the channel.
    auto still = [&] { return win->grab().toImage().copy(0, 0, 230, 240); };
    const QImage before = still();
    ASSERT_TRUE(x.waitPainted(2));
    EXPECT_EQ(still(), before);
    ASSERT_EQ(x.cmd.SetChannel("11"), "OK");
    EXPECT_NE(hw->overlayText().find("Channel 11"), std::string::npos);
    ASSERT_TRUE(x.waitPainted(5));
    const QImage after = still();
    EXPECT_NE(before.copy(0, 0, 230, 100), after.copy(0, 0, 230, 100));
    EXPECT_EQ(before.copy(0, 140, 230, 100), after.copy(0, 140, 230, 100));
}

TEST(PreviewWindow, PictureFillsTheWindowAtSizesNearAndFarFromTheCards) {
    Fixture x; // a 320x240 card
    auto win = ownerWindow(700, 520);
    ASSERT_EQ(x.cmd.Init("Card A", "Card A Audio"), "OK");
    ASSERT_EQ(x.cmd.InitPreview(handle(win.get()), "0", "0", "10", "10"), "OK");
    ASSERT_EQ(x.cmd.SetPreview("1"), "OK");
    const auto close = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 40;
    };
    // The card's own size, a pixel or two off it either way, odd sizes, far off.
    for (auto [w, h] : {std::pair{320, 240}, {321, 241}, {322, 242}, {319, 239}, {318, 237}, {201, 151}, {641, 481}}) {
        // From a small picture, so that a strip left unpainted would show the owner's background.
        ASSERT_EQ(x.cmd.ResizePreview("0", "0", "10", "10"), "OK");
        ASSERT_TRUE(x.waitPainted(1));
        ASSERT_EQ(x.cmd.ResizePreview("0", "0", std::to_string(w), std::to_string(h)), "OK");
        ASSERT_TRUE(x.waitPainted(2));
        const QImage img = win->grab().toImage();
        // The last column lies in the blue bar, the last row in the bottom
        // left block: each like the picture a few pixels further in.
        for (int y = h / 2; y < h * 63 / 100; y += 2) {
            EXPECT_TRUE(close(img.pixelColor(w - 1, y), img.pixelColor(w - 4, y))) << w << "x" << h << " y " << y;
            EXPECT_GT(img.pixelColor(w - 1, y).blue(), 120) << w << "x" << h << " y " << y;
        }
        for (int xx = w / 20; xx < w / 8; xx += 3)
            EXPECT_TRUE(close(img.pixelColor(xx, h - 1), img.pixelColor(xx, h - 4))) << w << "x" << h << " x " << xx;
        EXPECT_NE(img.pixelColor(w - 1, h - 1), kBackground) << w << "x" << h;
        EXPECT_EQ(img.pixelColor(w, h / 2), kBackground) << w << "x" << h;
    }
}

TEST(PreviewWindow, EveryFrameIsPaintedOrCountedAsDropped) {
    Fixture x;
    auto win = ownerWindow(320, 240);
    PreviewFrames f;
    EXPECT_FALSE(previewFrames(win.get(), &f)); // not a preview
    ASSERT_EQ(x.cmd.Init("Card A", "Card A Audio"), "OK");
    ASSERT_EQ(x.cmd.InitPreview(handle(win.get()), "0", "0", "320", "240"), "OK");
    ASSERT_TRUE(previewFrames(preview(win.get()), &f));
    EXPECT_EQ(f.received, 0); // hidden: nothing is wanted
    ASSERT_EQ(x.cmd.SetPreview("1"), "OK");
    ASSERT_TRUE(x.waitPainted(10));
    ASSERT_EQ(x.cmd.SetPreview("0"), "OK");
    QCoreApplication::processEvents();
    ASSERT_TRUE(previewFrames(preview(win.get()), &f));
    EXPECT_GE(f.shown, 10);
    // A few frames may still wait for their paint.
    EXPECT_LE(f.received - f.shown - f.dropped, 3);
    EXPECT_GE(f.received - f.shown - f.dropped, 0);
    const long received = f.received;
    ASSERT_TRUE(eventually([&] { return x.renderer()->framesReceived() > received + 5; }));
    ASSERT_TRUE(previewFrames(preview(win.get()), &f));
    EXPECT_EQ(f.received, received); // hidden again
}
