// The main window's side of the hand-over: documents sent to its socket reach
// the hidden box, wait for Timer2 and open the Add Event dialog in its
// external mode, one dialog at a time.
#include "app/core/handover_server.h"
#include "app/core/xml_program_event.h"
#include "app/forms/frm_vesper.h"
#include "platform/testing/qt_test_support.h"

#include "platform/handover/handover_client.h"
#include "platform/ui/qt_ui_seam.h"

#include "platform/paths.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

using namespace vesper;

namespace {

std::string doc(const std::string& fields) {
    return "<?xml version=\"1.0\"?><TvProgramEvents><TvProgramEvent>" + fields + "</TvProgramEvent></TvProgramEvents>";
}

std::string channelDoc(int channel) {
    return doc("<channel>" + std::to_string(channel) +
               "</channel><duration>01:30</duration>"
               "<filename>KXYZ - The News</filename>"
               "<start>2004-03-07T20:00:00Z</start>");
}

handover::SendResult send(const std::string& document) {
    return handover::sendToMainProgram(instanceRuntimePath("socket"), document);
}

class HandoverWindow : public ::testing::Test {
protected:
    void SetUp() override {
        test::qtApp();
        setUiSeam(&ui);
        frmVesperOptions options;
        options.startTimers = false;
        options.fillDevicesAndProfile = false;
        window = std::make_unique<frmVesper>(program, nullptr, options);
        QObject::connect(window->Timer2, &QTimer::timeout, [this] { ++ticks; });
        ASSERT_TRUE(window->core().StartHandOver());
    }
    void TearDown() override {
        window.reset();
        setUiSeam(nullptr);
    }
    // Lets Timer2 run a few more ticks.
    void tick(int n) {
        const int until = ticks + n;
        ASSERT_TRUE(test::spinUntil([&] { return ticks >= until; }));
    }
    std::string marker() const { return window->txtHiddenTextBox80916654->text().toStdString(); }

    RecordingUiSeam ui;
    Program program;
    std::unique_ptr<frmVesper> window;
    int ticks = 0;
};

TEST_F(HandoverWindow, TwoDocumentsWithinOneTickOpenTheDialogOnceWithTheSecond) {
    EXPECT_EQ(window->core().handOverServer()->serverPath().toStdString(), instanceRuntimePath("socket"));
    EXPECT_EQ(marker(), kHandOverMarker);
    // Timer2 is not running yet: both arrive within one period.
    EXPECT_EQ(send(channelDoc(5)), handover::SendResult::Accepted);
    EXPECT_EQ(send(channelDoc(8)), handover::SendResult::Accepted);
    EXPECT_TRUE(window->core().m_bExternalPending);
    EXPECT_EQ(marker(), kHandOverMarker);

    window->Timer2->start();
    ASSERT_TRUE(test::spinUntil([&] { return !ui.modals.empty(); }));
    tick(3);
    ASSERT_EQ(ui.modals.size(), 1u);
    EXPECT_EQ(ui.modals[0].form, "frmAddEvent");
    EXPECT_EQ(ui.modals[0].caption, "Add Event [External]");
    EXPECT_NE(ui.modals[0].contents.find("cmbChannel: 8\n"), std::string::npos) << ui.modals[0].contents;
    EXPECT_NE(ui.modals[0].contents.find("txtOutput: KXYZ - The News"), std::string::npos);
    EXPECT_EQ(program.modeWord, "AddEventExternal");
    EXPECT_EQ(window->SSTab1->currentIndex(), 1);
    EXPECT_FALSE(window->core().m_bExternalPending);

    // Setting the marker itself does nothing.
    window->txtHiddenTextBox80916654->setText(QString::fromLatin1(kHandOverMarker));
    tick(2);
    EXPECT_EQ(ui.modals.size(), 1u);

    // A long document written over several lines arrives whole (the box
    // would cut it at 32767 characters) and is read as sent.
    const std::string title(40000, 'x');
    EXPECT_EQ(send("<?xml version=\"1.0\"?>\n<TvProgramEvents>\n  <TvProgramEvent>\n    <channel>9</channel>\n"
                   "    <title>" +
                   title + "</title>\n  </TvProgramEvent>\n</TvProgramEvents>\n"),
              handover::SendResult::Accepted);
    ASSERT_TRUE(test::spinUntil([&] { return ui.modals.size() == 2; }));
    EXPECT_NE(ui.modals[1].contents.find("cmbChannel: 9\n"), std::string::npos) << ui.modals[1].contents;
    EXPECT_NE(ui.modals[1].contents.find("txtOutput: " + std::string(200, 'x')), std::string::npos);
    EXPECT_TRUE(ui.messages.empty());

    // A document that cannot be read: the parser's message and no dialog.
    EXPECT_EQ(send(doc("<title>Tom <3 Jerry</title>")), handover::SendResult::Accepted);
    ASSERT_TRUE(test::spinUntil([&] { return !ui.messages.empty(); }));
    tick(2);
    EXPECT_EQ(ui.messages[0].prompt.rfind("loadXML() failed:  ", 0), 0u);
    EXPECT_EQ(ui.modals.size(), 2u);
    EXPECT_EQ(marker(), kHandOverMarker);
}

TEST_F(HandoverWindow, DocumentWhileADialogIsOpenWaitsUntilItHasClosed) {
    ui.showModals = true; // the real dialogs, modal
    std::vector<std::string> shown;
    int state = 0, polls = 0, from = 0;
    std::vector<bool> pendingWhileOpen;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        ++polls;
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        const bool addEventOpen = dialog && dialog->objectName() == "frmAddEvent";
        switch (state) {
        case 0: // the user's own Add Event dialog: Timer2 keeps ticking meanwhile
            if (!addEventOpen) return;
            shown.push_back(dialog->windowTitle().toStdString());
            state = 1;
            from = ticks;
            EXPECT_EQ(send(channelDoc(5)), handover::SendResult::Accepted);
            return;
        case 1:
            if (ticks < from + 3) return;
            pendingWhileOpen.push_back(window->core().m_bExternalPending);
            EXPECT_EQ(ui.modals.size(), 1u);
            state = 2;
            dialog->reject();
            return;
        case 2: // the external dialog: a second document waits for it too
            if (!addEventOpen) return;
            shown.push_back(dialog->findChild<QComboBox*>("cmbChannel")->currentText().toStdString());
            state = 3;
            from = polls;
            EXPECT_EQ(send(channelDoc(8)), handover::SendResult::Accepted);
            return;
        case 3:
            if (polls < from + 15) return;
            pendingWhileOpen.push_back(window->core().m_bExternalPending);
            EXPECT_EQ(ui.modals.size(), 2u);
            state = 4;
            dialog->reject();
            return;
        case 4:
            if (!addEventOpen) return;
            shown.push_back(dialog->findChild<QComboBox*>("cmbChannel")->currentText().toStdString());
            state = 5;
            dialog->reject();
            return;
        }
    });
    poll.start();
    window->Timer2->start();
    QTimer::singleShot(0, window->cmdAddEvent, &QPushButton::click);
    ASSERT_TRUE(test::spinUntil([&] { return state == 5 && !QApplication::activeModalWidget(); }, 60000));
    EXPECT_EQ(pendingWhileOpen, (std::vector<bool>{true, true}));
    EXPECT_EQ(shown, (std::vector<std::string>{"Add Event", "5", "8"}));
    EXPECT_EQ(ui.modals.size(), 3u);
    EXPECT_FALSE(window->core().m_bExternalPending);
}

} // namespace
