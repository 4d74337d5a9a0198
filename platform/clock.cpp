// The performance counter: the steady clock in nanoseconds.
#include <chrono>
#include <thread>

#include "platform/platform.h"

uint64_t platformCounter(void)
{
    return (uint64_t)std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

uint64_t platformFrequency(void)
{
    return 1000000000u;
}

double platformSecondsSince(uint64_t counter)
{
    return (double)(platformCounter() - counter) / (double)platformFrequency();
}

void platformSleep(int milliseconds)
{
    if (milliseconds > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void platformSleepUntil(uint64_t counter)
{
    // The steady clock's epoch is the counter's, so the deadline carries over.
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::nanoseconds(counter)));
}
