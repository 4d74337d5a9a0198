// Starts in the middle of the show: after the replay of the frames before
// it, a start draws the frames a run from the beginning draws at the same
// times, in every section of the default production and at two frame rates.

#include <sys/wait.h>

#include "effecthost.h"
#include "host/host.h"
#include "host/music.h"
#include "host/preroll.h"
#include "host/screen.h"

// One seen frame of a grid, as an offline run draws it; the hash of its
// picture band.
static uint64_t drawSeen(Screen *screen, const FrameGrid *grid, int64_t frame)
{
    double t = gridTime(grid, frame);
    FrameRequest request = {musicPositionAt(t), t, 0, 0, 1};
    hostDrawFrameAt(screen, &request);
    return frameHash(screen->buffer0);
}

// Runs f in a child process, which starts from the state this process has
// (the start-up state, when nothing has been drawn yet); the words it
// returns come back through a pipe.
static std::vector<uint64_t> inChild(const std::function<std::vector<uint64_t>()> &f)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return {};
    fflush(stdout);
    pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        std::vector<uint64_t> words;
        captured([&] { words = f(); });
        ssize_t size = (ssize_t)(words.size() * sizeof(uint64_t));
        _exit(write(pipeEnds[1], words.data(), (size_t)size) == size ? 0 : 1); // no exit handlers: no write-back
    }
    close(pipeEnds[1]);
    std::vector<uint64_t> words;
    uint64_t word;
    while (read(pipeEnds[0], &word, sizeof word) == (ssize_t)sizeof word)
        words.push_back(word);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? words : std::vector<uint64_t>{};
}

static const int kSeen = 3; // frames compared at each start

// The seen frames from a start, after the replay.
static std::vector<uint64_t> framesFrom(Screen *screen, double start, double fps, PrerollReport *report)
{
    FrameGrid grid;
    int64_t first;
    gridFor(start, fps, &grid, &first);
    prerollTo(screen, &grid, first, first + kSeen, report);
    std::vector<uint64_t> hashes;
    for (int i = 0; i < kSeen; i++)
        hashes.push_back(drawSeen(screen, &grid, first + i));
    return hashes;
}

// For each start, the frames there and the two after it: from a start with
// its replay, from a start without one, from seeks in one running show (in
// another order, with frames of other moments drawn between them), and from
// a run from 0.
static void expectStartsMatchTheShow(double fps, const std::vector<double> &starts)
{
    Screen *screen = effectTestHost();
    ASSERT_NE(screen, nullptr) << "no production tree (VANTOREL_PRODUCTION_TREE)";
    const int seen = kSeen;
    std::vector<std::vector<uint64_t>> started, cold;
    for (double start : starts) {
        started.push_back(inChild([&] {
            PrerollReport report;
            return framesFrom(screen, start, fps, &report);
        }));
        cold.push_back(inChild([&] {
            FrameGrid grid = {start, fps};
            std::vector<uint64_t> hashes;
            for (int i = 0; i < seen; i++)
                hashes.push_back(drawSeen(screen, &grid, i));
            return hashes;
        }));
    }

    // Later starts first, each seek after a few frames of the moment before,
    // and the whole round twice: the second finds the states the first kept.
    std::vector<uint64_t> seeks = inChild([&] {
        prerollKeepStates(screen);
        std::vector<uint64_t> hashes(starts.size() * seen * 2);
        for (int round = 0; round < 2; round++) {
            for (size_t n = 0; n < starts.size(); n++) {
                size_t s = (n * 5 + 3) % starts.size(); // every start once, scrambled
                const FrameGrid away = {starts[(s + 1) % starts.size()] + 0.37, fps};
                for (int i = 0; i < 4; i++)
                    drawSeen(screen, &away, i);
                PrerollReport report;
                std::vector<uint64_t> frames = framesFrom(screen, starts[s], fps, &report);
                std::copy(frames.begin(), frames.end(), hashes.begin() + (round * starts.size() + s) * seen);
            }
        }
        hashes.push_back((uint64_t)prerollKeptStates());
        return hashes;
    });

    const FrameGrid fromZero = {0.0, fps};
    const int64_t last = (int64_t)std::llround(starts.back() * fps) + seen;
    std::map<int64_t, uint64_t> show;
    captured([&] {
        for (int64_t j = 0; j < last; j++)
            show[j] = drawSeen(screen, &fromZero, j);
    });
    int coldDiffers = 0;
    ASSERT_EQ(seeks.size(), starts.size() * seen * 2 + 1) << "the seeks failed";
    EXPECT_GT(seeks.back(), 0u) << "no state was kept";
    for (size_t s = 0; s < starts.size(); s++) {
        ASSERT_EQ(started[s].size(), (size_t)seen) << "the start at " << starts[s] << " failed";
        const int64_t first = std::llround(starts[s] * fps);
        for (int i = 0; i < seen; i++) {
            const uint64_t expected = show[first + i];
            EXPECT_EQ(started[s][i], expected) << "start " << starts[s] << " s, frame " << i << " at " << fps << " fps";
            for (int round = 0; round < 2; round++)
                EXPECT_EQ(seeks[(round * starts.size() + s) * seen + i], expected)
                    << "seek " << round << " to " << starts[s] << " s, frame " << i << " at " << fps << " fps";
            coldDiffers += cold[s].size() == (size_t)seen && cold[s][i] != expected;
        }
    }
    // Without the replay, the particles and the pictures drawn over earlier
    // ones would differ: the comparison can see what the replay brings back.
    EXPECT_GT(coldDiffers, 0);
    // Not a blank show: the frames differ from each other.
    std::set<uint64_t> distinct;
    for (const auto &frame : show)
        distinct.insert(frame.second);
    EXPECT_GT(distinct.size(), show.size() * 9 / 10);
}

// One start in every section (intro, the two drives, the curl particles early
// and late, the particles, the mosaic, the greetings, the ending).
TEST(ExactStart, EverySectionAtFiveFramesASecond)
{
    expectStartsMatchTheShow(5.0, {14, 40, 61, 77, 90, 105, 120, 150, 170});
}

TEST(ExactStart, EverySectionAtTwelveFramesASecond)
{
    expectStartsMatchTheShow(12.0, {20, 33, 66, 72, 95, 101, 131, 140, 176});
}

TEST(ExactStart, GridsOfStarts)
{
    FrameGrid grid;
    int64_t first;
    gridFor(65.0, 30.0, &grid, &first); // on the grid of a run from 0
    EXPECT_EQ(grid.origin, 0.0);
    EXPECT_EQ(first, 1950);
    EXPECT_EQ(gridTime(&grid, first), 65.0);
    EXPECT_EQ(gridBegin(&grid), 0);
    gridFor(0.1, 60.0, &grid, &first);
    EXPECT_EQ(first, 6);
    gridFor(10.01, 30.0, &grid, &first); // between two frames: the grid through the start
    EXPECT_EQ(grid.origin, 10.01);
    EXPECT_EQ(first, 0);
    const int64_t begin = gridBegin(&grid);
    EXPECT_EQ(begin, -300);
    EXPECT_GE(gridTime(&grid, begin), 0.0);
    EXPECT_LT(gridTime(&grid, begin - 1), 0.0);
}
