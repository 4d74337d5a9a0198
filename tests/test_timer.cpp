// Profiling timers: statistics, growth of the sample table, the registry.
#include "testutil.h"

#include "host/timer.h"

TEST(Timer, StatisticsLeaveTheFirst200SamplesOutOfTheAverage)
{
    TimerNode *node = nullptr;
    EXPECT_EQ(captured([&] { node = timerCreateNode("test_stats"); }), "[timerCreateNode :  239]\"Created test_stats\"\n");
    ASSERT_NE(node, nullptr);
    timernodeAddValue(node, 0.5f);
    EXPECT_EQ(std::make_pair(node->minimum, node->maximum), std::make_pair(0.5f, 0.5f));
    for (int i = 1; i < 200; i++)
        timernodeAddValue(node, 1.0f);
    EXPECT_EQ(node->average, 0.0f);
    timernodeAddValue(node, 0.25f); // the 201st
    EXPECT_EQ(node->average, 0.25f);
    timernodeAddValue(node, 0.75f);
    EXPECT_EQ(std::make_tuple(node->count, node->average, node->minimum, node->maximum, node->last),
              std::make_tuple(202, 0.5f, 0.25f, 1.0f, 0.75f));
}

TEST(Timer, SampleTableGrowsInStepsOfTenThousandKeepingEverySample)
{
    TimerNode *node = timerCreateNode("test_growth");
    ASSERT_NE(node, nullptr);
    for (int i = 0; i < 20001; i++)
        timernodeAddValue(node, (float)i);
    EXPECT_EQ(std::make_pair(node->capacity, node->count), std::make_pair(30000, 20001));
    for (int i = 0; i < 20001; i += 997)
        ASSERT_EQ(node->samples[i], (float)i);
    timernodeAddValue(nullptr, 1.0f); // ignored
}

TEST(Timer, SecondCreationOfANameIsRefused)
{
    TimerNode *node = timerCreateNode("test_twice");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(captured([] { EXPECT_EQ(timerCreateNode("test_twice"), nullptr); }),
              "[timerCreateNode :  221]\"Timer node already created:test_twice (test_twice)\"\n");
    EXPECT_EQ(timerFindNode("test_twice"), node);
    EXPECT_EQ(timerFindNode("test_never"), nullptr);
}

TEST(Timer, FrameMeasurementRunsFromBeginToEnd)
{
    EXPECT_EQ(captured(timerBeginFrame), "[timerCreateNode :  239]\"Created frame\"\n");
    TimerNode *frame = timerFindNode("frame");
    ASSERT_NE(frame, nullptr);
    int before = frame->count;
    timerEndFrame();
    EXPECT_EQ(frame->count, before + 1);
    EXPECT_GE(frame->last, 0.0f);
    timerBeginFrame(); // no second "Created" line
    EXPECT_EQ(timerFindNode("frame"), frame);
}
