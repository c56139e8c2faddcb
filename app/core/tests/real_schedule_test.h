// A test on the real scheduler component, registered in the test's own hive,
// with the test clock and the recording message seam installed.
#pragma once

#include "app/core/program.h"
#include "app/core/schedule_grid.h"
#include "platform/ui/ui_seam.h"

#include "platform/clock.h"
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vesper::test {

inline std::string schedulePath() { return testFolder() + "/Schedule.txt"; }

class RealScheduleTest : public ::testing::Test {
protected:
    explicit RealScheduleTest(DateTime start) : clock(start) {}
    void SetUp() override {
        ASSERT_TRUE(registerComponent(SLOTBOOK_PATH));
        std::filesystem::remove(schedulePath());
        setClock(&clock);
        setUiSeam(&ui);
        scheduler = TryCreateObject("Slotbook.EventsObj");
        ASSERT_TRUE(scheduler);
        scheduler->call("Initialize");
    }
    void TearDown() override {
        setClock(nullptr);
        setUiSeam(nullptr);
    }
    std::vector<GridRow> rows() { return readScheduleRows(*scheduler); }

    TestClock clock;
    RecordingUiSeam ui;
    Program program;
    ObjectPtr scheduler;
};

} // namespace vesper::test
