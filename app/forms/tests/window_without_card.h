// The main window over the real scheduler on a machine without a card: the
// schedule's commands, the guide and the remote API need none.
#pragma once

#include "app/forms/frm_vesper.h"

#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

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

} // namespace vesper::test
