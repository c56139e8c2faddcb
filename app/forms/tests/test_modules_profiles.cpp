#include "app/core/encoder_profiles.h"
#include "app/core/tests/fake_object.h"
#include "app/forms/frm_dir_select.h"
#include "app/forms/frm_select_profile.h"
#include "platform/testing/qt_application.h"
#include "platform/ui/qt_ui_seam.h"

#include <QApplication>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>

using namespace vesper;
using test::FakeObject;

namespace {

// An engine double whose profile collection holds the given names.
std::shared_ptr<FakeObject> engineWithProfiles(const std::vector<std::string>& names, int failAt = -1) {
    auto group = std::make_shared<FakeObject>();
    auto groups = std::make_shared<FakeObject>();
    groups->answer("Add", Variant(ObjectPtr(group)));
    auto profiles = std::make_shared<FakeObject>();
    profiles->answer("Count", Variant(int32_t(names.size())));
    profiles->handlers["Item"] = [names, failAt](Args& a) -> Variant {
        const int32_t i = a[0].toInt32();
        if (i == failAt) throw AutomationError(9, "WMEncEng.WMEncoder", "Subscript out of range");
        auto p = std::make_shared<FakeObject>();
        p->answer("name", Variant(names.at(size_t(i))));
        return Variant(ObjectPtr(p));
    };
    auto engine = std::make_shared<FakeObject>();
    engine->answer("SourceGroupCollection", Variant(ObjectPtr(groups)));
    engine->answer("ProfileCollection", Variant(ObjectPtr(profiles)));
    engine->handlers["group"] = [group](Args&) { return Variant(ObjectPtr(group)); };
    return engine;
}

} // namespace

TEST(Profiles, QualityWordsAndTheLabel) {
    EXPECT_EQ(profileNameForChoice("Low", "X"), "Video for broadband NTSC (256 Kbps)");
    EXPECT_EQ(profileNameForChoice("Medium", "X"), "Video for broadband NTSC (384 Kbps)");
    EXPECT_EQ(profileNameForChoice("High", "X"), "Video for broadband NTSC (768 Kbps)");
    EXPECT_EQ(profileNameForChoice("Advance ...", "My profile"), "My profile");
    EXPECT_EQ(profileNameForChoice("medium", "X"), "");

    const std::string name45 = "Windows Media Video 8 for Local Area Network!";
    ASSERT_EQ(name45.size(), 45u);
    const LabelFit fit = profileLabelText(name45);
    EXPECT_EQ(fit.caption, name45.substr(0, 40) + " ...");
    EXPECT_EQ(fit.toolTip, name45);
    const std::string name40 = name45.substr(0, 40);
    EXPECT_EQ(profileLabelText(name40).caption, name40);
}

TEST(Profiles, MoreThanSeventyNamesAreAllKeptSortedByCharacterCodes) {
    test::startStatusLog();
    std::vector<std::string> names;
    for (int i = 74; i >= 0; --i)
        names.push_back("Profile " + std::to_string(i));
    names.push_back("video for broadband");
    names.push_back("Video for broadband");
    Program program;
    test::FakeFactory factory;
    auto engine = engineWithProfiles(names);
    factory.add("WMEncEng.WMEncoder", engine);
    program.createObject = factory.factory();

    const auto list = GetEncoderProfileList(program);
    ASSERT_EQ(list.size(), 77u);
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
    EXPECT_EQ(list[0], "Profile 0");
    EXPECT_EQ(list[1], "Profile 1");
    EXPECT_EQ(list[2], "Profile 10");
    EXPECT_EQ(list[75], "Video for broadband"); // upper case sorts before lower case
    EXPECT_EQ(list[76], "video for broadband");
    EXPECT_EQ(engine->calls.front(), "SourceGroupCollection()");
    EXPECT_EQ(test::statusLogLines(), (std::vector<std::string>{"LS0089:INFO:M05:GetEncoderProfileList() Enter",
                                                                "LS0091:INFO:M05:GetEncoderProfileList() Exit"}));
}

TEST(Profiles, AMissingOrFailingEngineIsLoggedAndGivesWhatWasRead) {
    test::startStatusLog();
    Program program;
    test::FakeFactory factory;
    program.createObject = factory.factory();
    EXPECT_TRUE(GetEncoderProfileList(program).empty());
    EXPECT_EQ(test::statusLogLines(),
              (std::vector<std::string>{
                  "LS0089:INFO:M05:GetEncoderProfileList() Enter",
                  "LS0090:ERROR:M05:GetEncoderProfileList() - Vesper:429:ActiveX component can't create object",
                  "LS0091:INFO:M05:GetEncoderProfileList() Exit"}));

    test::startStatusLog();
    factory.add("WMEncEng.WMEncoder", engineWithProfiles({"C", "A", "B"}, 2));
    EXPECT_EQ(GetEncoderProfileList(program), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(test::statusLogCodes(), (std::vector<std::string>{"LS0089", "LS0090", "LS0091"}));
}

// The engine's own list: the Windows Media profiles first and in their order,
// then ours; the estimates take each profile's bit rate.
TEST(Profiles, TheEnginesH264ProfilesFollowTheClassicOnesAndHaveTheirEstimates) {
    test::startStatusLog();
    ASSERT_TRUE(test::registerComponent(ENGINE_PATH));
    Program program;
    const auto list = GetEncoderProfileList(program);
    ASSERT_GE(list.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(list.end() - 2, list.end()),
              (std::vector<std::string>{"H.264 Medium", "H.264 High"}));
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end() - 2));
    EXPECT_EQ(list[0], "Video for broadband NTSC (1.5 Mbps)");

    const double hour = 3600.0 / 8;
    EXPECT_EQ(estimatedRecordingBytes(program, "H.264 High", 60), 768000 * hour);
    EXPECT_EQ(estimatedRecordingBytes(program, "H.264 Medium", 60), 384000 * hour);
    EXPECT_EQ(estimatedRecordingBytes(program, "Video for broadband NTSC (2 Mbps)", 30), 2000000 * hour / 2);
    EXPECT_EQ(estimatedRecordingBytes(program, "No such profile", 60), -1);
    EXPECT_EQ(test::statusLogCodes(), (std::vector<std::string>{"LS0089", "LS0091"}));
}

TEST(ProfileDialog, SelectsTheSavedProfileExactlyAndPicksOnSelect) {
    vesper::test::application();
    RecordingUiSeam seam;
    setUiSeam(&seam);
    Program program;
    program.profileList = {"A profile", "Video for broadband NTSC (256 Kbps)", "Z profile"};
    program.g_sAdvanceProfile = "Video for broadband NTSC (256 Kbps)";
    {
        frmSelectProfile dialog(program, nullptr);
        auto* list = dialog.findChild<QListWidget*>("lstProfiles");
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->count(), 3);
        EXPECT_EQ(list->currentRow(), 1);
        // Nobody answers: the dialog is cancelled and nothing changes.
        dialog.exec();
        EXPECT_FALSE(dialog.chosen());
        ASSERT_EQ(seam.modals.size(), 1u);
        EXPECT_EQ(seam.modals[0].form, "frmSelectProfile");
        EXPECT_EQ(seam.modals[0].contents, "lstProfiles: Video for broadband NTSC (256 Kbps)");
        EXPECT_EQ(program.g_sAdvanceProfile, "Video for broadband NTSC (256 Kbps)");

        list->setCurrentRow(2);
        dialog.select();
        EXPECT_EQ(dialog.chosen(), std::optional<std::string>("Z profile"));
        EXPECT_EQ(program.g_sAdvanceProfile, "Z profile");
    }

    // Case matters: a saved name in other letters selects the first entry.
    program.g_sAdvanceProfile = "z PROFILE";
    {
        frmSelectProfile dialog(program, nullptr);
        EXPECT_EQ(dialog.findChild<QListWidget*>("lstProfiles")->currentRow(), 0);
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &escape);
        EXPECT_FALSE(dialog.chosen());
        EXPECT_EQ(program.g_sAdvanceProfile, "z PROFILE");
        // A scripted OK takes the selected entry as it stands.
        seam.modalAnswers.push_back("OK");
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
        EXPECT_EQ(program.g_sAdvanceProfile, "A profile");
    }

    // An empty list (no engine): selecting closes without a change.
    program.profileList.clear();
    {
        frmSelectProfile dialog(program, nullptr);
        dialog.select();
        EXPECT_FALSE(dialog.chosen());
        EXPECT_EQ(program.g_sAdvanceProfile, "A profile");
    }
    setUiSeam(nullptr);
}

TEST(FolderDialog, FollowsExistingFoldersAndKeepsTheLocationAsTyped) {
    vesper::test::application();
    RecordingUiSeam seam;
    setUiSeam(&seam);
    const std::string dir = test::makeFolder("pick");
    const std::string sub = test::makeFolder("pick/sub");
    {
        frmDirSelect dialog(dir, nullptr);
        EXPECT_EQ(dialog.location(), dir);
        EXPECT_EQ(dialog.folder(), dir);
        EXPECT_FALSE(dialog.drive().empty());

        dialog.setLocation(dir + "/typo");
        EXPECT_EQ(dialog.location(), dir + "/typo");
        EXPECT_EQ(dialog.folder(), dir); // the lists stay where they were
        dialog.setLocation(sub);
        EXPECT_EQ(dialog.folder(), sub);
        // The folder list shows it opened down to it.
        auto* tree = dialog.findChild<QTreeView*>("Dir1");
        ASSERT_NE(tree, nullptr);
        auto* model = static_cast<QFileSystemModel*>(tree->model());
        EXPECT_EQ(model->filePath(tree->currentIndex()).toStdString(), sub);
        EXPECT_TRUE(tree->isExpanded(tree->currentIndex().parent()));
        EXPECT_TRUE(tree->isExpanded(tree->currentIndex().parent().parent()));
        dialog.setFolder(dir);
        EXPECT_EQ(dialog.location(), dir);

        // A drive that cannot be read: the error is shown and the lists stay.
        dialog.setDrive(dir + "/no-medium");
        ASSERT_EQ(seam.messages.size(), 1u);
        EXPECT_EQ(seam.messages[0].title, "Oops!");
        EXPECT_EQ(seam.messages[0].style, vbCritical);
        EXPECT_EQ(dialog.folder(), dir);
        EXPECT_EQ(dialog.location(), dir);

        // Not answered: cancelled.
        dialog.setLocation("/not/checked/here");
        dialog.exec();
        EXPECT_FALSE(dialog.chosen());
        EXPECT_EQ(seam.modals.back().contents, "txtLocation: /not/checked/here");
        seam.modalAnswers.push_back("OK");
        dialog.exec();
        EXPECT_EQ(dialog.chosen(), std::optional<std::string>("/not/checked/here"));
    }
    {
        // A folder that does not exist still shows as the location.
        frmDirSelect dialog(dir + "/gone", nullptr);
        EXPECT_EQ(dialog.location(), dir + "/gone");
        EXPECT_EQ(dialog.folder(), "");
    }
    setUiSeam(nullptr);
}
