#include "app/core/guide_links.h"
#include "app/core/settings_store.h"
#include "app/forms/frm_config_epg.h"
#include "platform/testing/qt_application.h"
#include "platform/ui/qt_ui_seam.h"

#include "platform/shell.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace vesper;

namespace {

class GuideLinks : public ::testing::Test {
protected:
    void SetUp() override {
        vesper::test::application();
        registry::deleteKey(std::string(settings::kRoot) + "\\EPG");
        setShell(&sh);
        setUiSeam(&ui);
    }
    void TearDown() override {
        setShell(nullptr);
        setUiSeam(nullptr);
    }
    void set(int i, const char* name, const std::string& value) {
        RegSaveSetting2(settings::epgCustomKey(i), name, value);
    }
    RecordingShell sh;
    RecordingUiSeam ui;
};

QComboBox* box(QDialog& d, const char* name, int index) {
    for (auto* c : d.findChildren<QComboBox*>(name))
        if (c->property("index").toInt() == index) return c;
    return nullptr;
}

} // namespace

TEST_F(GuideLinks, DefaultsAreTheFourSitesAndEachOpensItsAddress) {
    const char* names[] = {"TV Guide\u00ae", "Yahoo! TV", "MSN TV", "Zap2it"};
    for (int i = 0; i < kGuideLinkCount; ++i) {
        const GuideLink l = readGuideLink(i);
        EXPECT_EQ(l.caption, names[i]);
        EXPECT_EQ(l.toolTip, " Click to goto the site ");
        EXPECT_EQ(l.selected, "sURL");
        EXPECT_EQ(l.appPathName, "");
        EXPECT_EQ(l.url.rfind("https://", 0), 0u);
        const LinkOpening o = OpenGuideLink(i);
        EXPECT_EQ(o.kind, LinkOpening::Url);
        EXPECT_TRUE(o.ok);
    }
    ASSERT_EQ(sh.requests.size(), 4u);
    EXPECT_EQ(sh.requests[3].kind, "url");
    EXPECT_EQ(sh.requests[3].target, kGuideSites[3].url);
    // No link beyond the four.
    EXPECT_EQ(OpenGuideLink(4).kind, LinkOpening::Nothing);
    EXPECT_EQ(OpenGuideLink(-1).kind, LinkOpening::Nothing);
    EXPECT_EQ(sh.requests.size(), 4u);
}

TEST_F(GuideLinks, SelectedChoosesTheTarget) {
    set(0, "sSelected", "sAppPathName");
    set(0, "sAppPathName", "\"/opt/my guide/guide\" --today");
    set(1, "sSelected", "sAppPathName"); // no program: the address instead
    set(1, "sURL", "www.example.org/tv");
    set(2, "sSelected", "nothing");
    set(3, "sSelected", "surl"); // compared exactly
    EXPECT_EQ(OpenGuideLink(0).kind, LinkOpening::Command);
    EXPECT_EQ(OpenGuideLink(1).kind, LinkOpening::Url);
    EXPECT_EQ(OpenGuideLink(2).kind, LinkOpening::Nothing);
    EXPECT_EQ(OpenGuideLink(3).kind, LinkOpening::Nothing);
    ASSERT_EQ(sh.requests.size(), 2u);
    EXPECT_EQ(sh.requests[0].kind, "command");
    EXPECT_EQ(sh.requests[0].target, "\"/opt/my guide/guide\" --today");
    EXPECT_EQ(sh.requests[1].target, "http://www.example.org/tv");

    // An empty address opens nothing.
    set(2, "sSelected", "sURL");
    set(2, "sURL", "   ");
    EXPECT_FALSE(OpenGuideLink(2).ok);
    EXPECT_EQ(sh.requests.size(), 2u);
}

TEST(GuideLinkAddress, SchemeIsKeptOrAdded) {
    EXPECT_EQ(guideLinkAddress(" https://a.example/x "), "https://a.example/x");
    EXPECT_EQ(guideLinkAddress("mailto:me@example.org"), "mailto:me@example.org");
    EXPECT_EQ(guideLinkAddress("www.site.com:8080/tv"), "http://www.site.com:8080/tv");
    EXPECT_EQ(guideLinkAddress("tvguide.com"), "http://tvguide.com");
    EXPECT_EQ(guideLinkAddress(""), "");
}

TEST(GuidePane, OpenAndClosedGeometry) {
    GuidePaneLayout pane(8000);
    EXPECT_TRUE(pane.isOpen());
    EXPECT_EQ(pane.gridWidth(), 8000);
    EXPECT_EQ(pane.buttonLeft(), 8240);
    EXPECT_EQ(pane.buttonToolTip(), "Click to close EPG pane");
    pane.toggle();
    EXPECT_FALSE(pane.isOpen());
    EXPECT_FALSE(pane.frameVisible());
    EXPECT_EQ(pane.gridWidth(), 9305);
    EXPECT_EQ(pane.buttonLeft(), 9545);
    EXPECT_EQ(pane.buttonToolTip(), "Click to open EPG pane");
    EXPECT_EQ(pane.stateText(), "close");
    pane.applyState("open");
    EXPECT_TRUE(pane.frameVisible());
    pane.applyState("garbage");
    EXPECT_TRUE(pane.isOpen());
    pane.applyState("close");
    EXPECT_FALSE(pane.isOpen());
}

TEST_F(GuideLinks, PaneStateIsStoredAndRestored) {
    GuidePaneLayout pane(5000);
    pane.restore();
    EXPECT_TRUE(pane.isOpen());
    pane.close();
    pane.save();
    EXPECT_EQ(RegGetSetting2(settings::sPaneState), "close");
    GuidePaneLayout next(5000);
    next.restore();
    EXPECT_FALSE(next.isOpen());
}

TEST_F(GuideLinks, ConfigDialogSavesNamesAndAddressesOnOkOnly) {
    set(1, "sToolTipText", " my tip ");
    set(2, "sCaption", "My Guide");
    {
        frmConfigEPG d;
        EXPECT_EQ(d.windowTitle(), "Configure EPG");
        QStringList labels;
        for (auto* l : d.findChildren<QLabel*>())
            labels << l->text();
        EXPECT_TRUE(labels.contains("Electronic Program Guides"));
        EXPECT_TRUE(labels.contains("Link Name"));
        EXPECT_TRUE(labels.contains("Cut & Paste Friendly"));
        ASSERT_EQ(d.findChildren<QComboBox*>("cmbLinkName").size(), 4);
        QComboBox* name2 = box(d, "cmbLinkName", 2);
        QComboBox* url0 = box(d, "cmbLinkURL", 0);
        ASSERT_TRUE(name2 && url0);
        EXPECT_EQ(name2->count(), 4);
        EXPECT_EQ(name2->itemText(3), "Zap2it");
        EXPECT_EQ(name2->currentText(), "My Guide");
        EXPECT_EQ(url0->currentText().toStdString(), kGuideSites[0].url);
        EXPECT_EQ(d.findChild<QPushButton*>("cmbCancel")->text(), "&Cancel");

        // Edits, then Esc: nothing is saved.
        name2->setEditText("Typed");
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&d, &esc);
        EXPECT_FALSE(d.saved());
    }
    EXPECT_EQ(readGuideLink(2).caption, "My Guide");
    {
        frmConfigEPG d;
        box(d, "cmbLinkName", 2)->setEditText("Typed Name");
        box(d, "cmbLinkURL", 3)->setEditText("https://listings.example/tv");
        d.findChild<QPushButton*>("cmbCancel")->click();
    }
    EXPECT_EQ(readGuideLink(3).url, kGuideSites[3].url);
    {
        frmConfigEPG d;
        box(d, "cmbLinkName", 2)->setEditText("Typed Name");
        box(d, "cmbLinkURL", 3)->setEditText("https://listings.example/tv");
        d.findChild<QPushButton*>("cmdOK")->click();
        EXPECT_TRUE(d.saved());
    }
    EXPECT_EQ(readGuideLink(2).caption, "Typed Name");
    EXPECT_EQ(readGuideLink(3).url, "https://listings.example/tv");
    // Tool tips and targets are never written by the dialog.
    EXPECT_EQ(readGuideLink(1).toolTip, " my tip ");
    EXPECT_EQ(RegGetSetting2(settings::epgCustomKey(0), settings::sSelected, "<none>"), "<none>");
}

TEST_F(GuideLinks, ScriptedConfigDialogCopiesCaptionsOnOk) {
    set(0, "sCaption", "Mine");
    std::vector<std::string> captions(4);
    auto setCaption = [&captions](int i, const std::string& c) { captions[static_cast<size_t>(i)] = c; };
    EXPECT_FALSE(ShowConfigEPG(nullptr, setCaption)); // default answer: Cancel
    EXPECT_EQ(captions[0], "");
    ui.modalAnswers.push_back("OK");
    EXPECT_TRUE(ShowConfigEPG(nullptr, setCaption));
    EXPECT_EQ(captions[0], "Mine");
    EXPECT_EQ(captions[3], "Zap2it");
    ASSERT_EQ(ui.modals.size(), 2u);
    EXPECT_EQ(ui.modals[0].form, "frmConfigEPG");
    EXPECT_NE(ui.modals[0].contents.find("cmbLinkName(0): Mine\n"), std::string::npos);
}
