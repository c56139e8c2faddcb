// The main window over the real scheduler on a machine without a card: the
// schedule's commands, the guide and the remote API need none.
#pragma once

#include "app/forms/frm_vesper.h"

#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <QTableWidget>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vesper::test {

// Registers the scheduler, starts it on an empty schedule and opens the
// window with its recordings folder in the test's folder `outputFolder`.
inline void openWindowWithoutCard(Program& program, ObjectPtr& scheduler, std::unique_ptr<frmVesper>& window,
                                  const char* outputFolder) {
    ASSERT_TRUE(registerComponent(SLOTBOOK_PATH));
    std::filesystem::remove(joinPath(testFolder(), "Schedule.txt"));
    scheduler = TryCreateObject("Slotbook.EventsObj");
    ASSERT_TRUE(scheduler);
    scheduler->call("Initialize");
    program.freeBytes = [](const std::string&) { return 2000000000.0; };
    program.createObject = [](const std::string& progId) -> ObjectPtr {
        if (progId == "Capgraph.Command" || progId == "Encwrap.clsCommand" || progId == "Chanplug.clsObject")
            return nullptr;
        return TryCreateObject(progId);
    };
    window = std::make_unique<frmVesper>(program, scheduler, frmVesperOptions{false, true});
    window->txtOutputDir->setText(QString::fromStdString(makeFolder(outputFolder)));
    window->SetNextEvent();
}

// The schedule grid's rows as "when|chnl|len|repeat|filename".
inline std::vector<std::string> gridTexts(const frmVesper& window) {
    std::vector<std::string> rows;
    for (int r = 0; r < window.MSFlexGrid1->rowCount(); ++r) {
        std::string row;
        for (int c = 0; c < 5; ++c) {
            const QTableWidgetItem* item = window.MSFlexGrid1->item(r, c);
            row += (c ? "|" : "") + (item ? item->text().toStdString() : std::string());
        }
        rows.push_back(row);
    }
    return rows;
}

} // namespace vesper::test
