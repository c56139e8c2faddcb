#include "platform/ui/ui_seam.h"

#include "platform/testing/test_env.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

using namespace vesper;

namespace {

std::vector<nlohmann::json> readLines(const std::string& path) {
    std::vector<nlohmann::json> out;
    std::istringstream in(test::readFile(path));
    for (std::string line; std::getline(in, line);)
        out.push_back(nlohmann::json::parse(line));
    return out;
}

} // namespace

TEST(UiSeam, DefaultButtonFollowsTheStyle) {
    EXPECT_EQ(MessageRequest({"", "", vbYesNo | vbQuestion | vbDefaultButton2}).defaultButton(), vbNo);
    EXPECT_EQ(MessageRequest({"", "", vbYesNo}).defaultButton(), vbYes);
    EXPECT_EQ(MessageRequest({"", "", vbCritical}).defaultButton(), vbOK);
    EXPECT_EQ(MessageRequest({"", "", vbYesNoCancel | vbDefaultButton3}).defaultButton(), vbCancel);
}

TEST(UiSeam, ScriptedSeamLogsEveryBoxAndAnswersInOrder) {
    const std::string log = test::makeFolder("ui") + "/ui.jsonl";
    ScriptedUiSeam seam(log, "Yes,,Cancel,Bogus");
    setUiSeam(&seam);
    EXPECT_EQ(MsgBox("Are you sure?\r\nReally", vbYesNo | vbQuestion | vbDefaultButton2, "Confirm!"), vbYes);
    // An empty answer takes the default button.
    EXPECT_EQ(MsgBox("Sure?", vbYesNo | vbDefaultButton2, "Confirm!"), vbNo);
    EXPECT_EQ(scriptedModal({"frmAddEvent", "Add Event", "Channel: 5", "Cancel"}).value(), "Cancel");
    // An answer the box does not offer takes the default, as does the end of the list.
    EXPECT_EQ(MsgBox("Oops", vbCritical, "Error!"), vbOK);
    EXPECT_EQ(MsgBox("Again", vbOKCancel | vbDefaultButton2), vbCancel);
    setUiSeam(nullptr);

    const auto lines = readLines(log);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0]["title"], "Confirm!");
    EXPECT_EQ(lines[0]["text"], "Are you sure?\r\nReally");
    EXPECT_EQ(lines[0]["icon"], "question");
    EXPECT_EQ(lines[0]["buttons"], "YesNo");
    EXPECT_EQ(lines[0]["default"], "No");
    EXPECT_EQ(lines[0]["answer"], "Yes");
    EXPECT_EQ(lines[2]["kind"], "modal");
    EXPECT_EQ(lines[2]["form"], "frmAddEvent");
    EXPECT_EQ(lines[3]["icon"], "critical");
    EXPECT_EQ(lines[3]["answer"], "OK");
}

TEST(UiSeam, RecordingSeamKeepsRequests) {
    RecordingUiSeam seam;
    seam.answers.push_back(vbYes);
    setUiSeam(&seam);
    EXPECT_EQ(MsgBox("a", vbYesNo | vbDefaultButton2, "t"), vbYes);
    EXPECT_EQ(MsgBox("b", vbYesNo | vbDefaultButton2, "t"), vbNo);
    EXPECT_EQ(scriptedModal({"frmTV", "TV", ""}).value(), "OK");
    setUiSeam(nullptr);
    ASSERT_EQ(seam.messages.size(), 2u);
    EXPECT_EQ(seam.messages[1].prompt, "b");
    ASSERT_EQ(seam.modals.size(), 1u);
}
