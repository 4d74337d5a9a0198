// Profiling timers: statistics, growth of the sample table, the registry.
#include "testutil.h"

#include "host/timer.h"

TEST(Timer, StatisticsLeaveTheFirst200SamplesOutOfTheAverage)
{
    testing::internal::CaptureStdout();
    TimerNode *node = timerCreateNode("test_stats");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[timerCreateNode :  239]\"Created test_stats\"\n");
    ASSERT_NE(node, nullptr);

    timernodeAddValue(node, 0.5f);
    EXPECT_EQ(node->minimum, 0.5f);
    EXPECT_EQ(node->maximum, 0.5f);
    for (int i = 1; i < 200; i++)
        timernodeAddValue(node, 1.0f);
    EXPECT_EQ(node->average, 0.0f);
    timernodeAddValue(node, 0.25f); // the 201st
    EXPECT_EQ(node->average, 0.25f);
    timernodeAddValue(node, 0.75f);
    EXPECT_EQ(node->average, 0.5f);
    EXPECT_EQ(node->minimum, 0.25f);
    EXPECT_EQ(node->maximum, 1.0f);
    EXPECT_EQ(node->last, 0.75f);
    EXPECT_EQ(node->count, 202);
}

TEST(Timer, SampleTableGrowsInStepsOfTenThousandKeepingEverySample)
{
    TimerNode *node = timerCreateNode("test_growth");
    ASSERT_NE(node, nullptr);
    for (int i = 0; i < 20001; i++)
        timernodeAddValue(node, (float)i);
    EXPECT_EQ(node->capacity, 30000);
    EXPECT_EQ(node->count, 20001);
    for (int i = 0; i < 20001; i += 997)
        ASSERT_EQ(node->samples[i], (float)i);
    timernodeAddValue(nullptr, 1.0f); // ignored
}

TEST(Timer, SecondCreationOfANameIsRefused)
{
    TimerNode *node = timerCreateNode("test_twice");
    ASSERT_NE(node, nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(timerCreateNode("test_twice"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[timerCreateNode :  221]\"Timer node already created:test_twice (test_twice)\"\n");
    EXPECT_EQ(timerFindNode("test_twice"), node);
    EXPECT_EQ(timerFindNode("test_never"), nullptr);
}

TEST(Timer, FrameMeasurementRunsFromBeginToEnd)
{
    testing::internal::CaptureStdout();
    timerBeginFrame();
    std::string out = testing::internal::GetCapturedStdout();
    TimerNode *frame = timerFindNode("frame");
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(out, "[timerCreateNode :  239]\"Created frame\"\n");
    int before = frame->count;
    timerEndFrame();
    EXPECT_EQ(frame->count, before + 1);
    EXPECT_GE(frame->last, 0.0f);
    timerBeginFrame(); // no second "Created" line
    EXPECT_EQ(timerFindNode("frame"), frame);
}
