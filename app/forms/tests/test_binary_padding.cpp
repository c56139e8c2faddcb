// Two adjacent one-minute events on one channel of the virtual card, each with
// a start and an end margin, recorded by the real program: one run of the
// encoder, cut into two files that each hold their event with both margins.
#include "app/forms/tests/test_startup_binary_support.h"

#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vesper;
using vesper::test::VesperRun;

TEST(BinaryPadding, AdjacentEventsOnOneChannelAreCutFromOneRunWithTheirMargins) {
    VesperRun run("padding");
    run.traceOn();
    run.env["VESPER_TEST_NOW"] = "4/20/2030 7:59:35 PM";
    test::writeFile(run.file("Schedule.txt"), "VER1.0\r\n"
                                              "4/20/2030 8:00:00 PM,5,1,True,once,first.wmv\r\n"
                                              "4/20/2030 8:01:00 PM,5,1,True,once,second.wmv\r\n");
    // 15 s before and after each.
    test::writeFile(run.file("EventTiming.txt"), "15\t15\t-\tfirst.wmv | 5 | once | 2030-04-20 20:00\n"
                                                 "15\t15\t-\tsecond.wmv | 5 | once | 2030-04-20 20:01\n");
    run.start();
    ASSERT_TRUE(
        run.waitFor([&] { return run.logged("LS0174:INFO:F00:Tmr1() one run cut into first.wmv, second.wmv"); }, 330))
        << run.output();
    EXPECT_TRUE(run.logged("LS0170:INFO:F00:Tmr1() second.wmv joins the recording of first.wmv on channel 5"));
    EXPECT_EQ(run.terminate(), 0) << run.output();

    // The encoder starts a few seconds before the first's margin, to be
    // running by then; the second begins at the key picture at or before its
    // margin (one each 8 s).
    const double first = test::mediaSeconds(run.file("MyTV/first.wmv"));
    const double second = test::mediaSeconds(run.file("MyTV/second.wmv"));
    EXPECT_GT(first, 90.0 - 3.0);
    EXPECT_LT(first, 90.0 + 6.0);
    EXPECT_GT(second, 90.0 - 0.5);
    EXPECT_LT(second, 90.0 + 8.5);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(run.file("MyTV")), {}), 2);
}
