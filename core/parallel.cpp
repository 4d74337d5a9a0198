// A minimal fork-join over the machine's cores, for start-up tables.
#include "core/parallel.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

void parallelFor(int count, void (*body)(int i, void *context), void *context)
{
    if (count <= 0)
        return;
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    int workers = (int)std::min<unsigned>(cores, (unsigned)count);
    // Pieces are handed out one at a time, so uneven pieces balance out.
    std::atomic<int> next{0};
    auto work = [&] {
        for (int i = next++; i < count; i = next++)
            body(i, context);
    };
    std::vector<std::thread> threads;
    for (int w = 1; w < workers; w++)
        threads.emplace_back(work);
    work();
    for (std::thread &t : threads)
        t.join();
}
