// The production's music as the builder makes it: the score against the demo
// clock, the renderer's determinism and levels, echoes, the limiter, and MP3
// files that decode to the exact length.

#include <mpg123.h>

#include "mp3encode.h"
#include "platform/audio.h"
#include "score.h"
#include "synth.h"
#include "testutil.h"

namespace {

struct Stereo {
    std::vector<float> left, right;
};

const SynSong &song()
{
    static SynSong built;
    static std::string error;
    static bool made = scoreBuild(&built, &error);
    EXPECT_TRUE(made) << error;
    return built;
}

Stereo render(const SynSong &s, int64_t begin, int64_t end) { Stereo o; return synRender(s, begin, end, &o.left, &o.right), o; }
Stereo renderBars(int first, int end) { return render(song(), scoreBarSample(first), scoreBarSample(end)); }

double peak(const std::vector<float> &x, size_t begin = 0) // NaN counts as infinite
{
    double p = 0.0;
    for (size_t i = begin; i < x.size(); i++)
        p = std::isnan(x[i]) ? INFINITY : std::max(p, (double)std::fabs(x[i]));
    return p;
}

// Mean power of [begin, end) of both channels (or of one), in dB.
double rmsDb(const std::vector<float> &l, const std::vector<float> &r, size_t begin, size_t end)
{
    double sum = 0.0;
    end = std::min(end, l.size());
    for (size_t i = begin; i < end; i++)
        sum += (double)l[i] * l[i] + (double)r[i] * r[i];
    return 10.0 * std::log10(sum / (2.0 * (double)std::max<size_t>(1, end - begin)) + 1e-30);
}

} // namespace

TEST(MusicScore, BarsLandOnTheClockAndNotesStayOrderedInsideTheSong)
{
    // 22.666... rows a second, 40 rows a bar: bar b starts at row 40 b; a beat is 10 rows.
    for (int bar = 0; bar <= SCORE_BARS; bar++)
        EXPECT_NEAR((double)scoreBarSample(bar), SCORE_ROWS_PER_BAR * bar / 22.666666666666668 * SYN_RATE, 0.5) << bar;
    const SynSong &s = song();
    EXPECT_EQ(std::make_tuple(scoreBarSample(SCORE_BARS), s.length), std::make_tuple(180 * SYN_RATE, 180 * SYN_RATE));
    for (size_t i = 0; i < s.notes.size(); i++) {
        const SynNote &n = s.notes[i]; // in order from sample 0, inside the song
        SCOPED_TRACE(testing::Message() << "note " << i);
        ASSERT_LE(i == 0 ? 0 : s.notes[i - 1].start, n.start);
        ASSERT_GT(n.length, 0);
        ASSERT_LE(n.start + n.length, s.length);
        ASSERT_GE(n.instrument, 0);
        ASSERT_LT(n.instrument, SYN_INSTRUMENTS);
        ASSERT_GT(n.velocity, 0.0f);
        ASSERT_LE(n.velocity, 1.0f);
        if (n.instrument < SYN_SUB) { // melodic: between the lowest bass and a bright arpeggio
            ASSERT_GE(n.pitch, 28);
            ASSERT_LE(n.pitch, 96);
        }
    }
    for (int lane = 0; lane < SYN_LANES; lane++) {
        const auto &p = s.lanes[lane];
        EXPECT_FALSE(p.empty()) << lane;
        EXPECT_TRUE(std::is_sorted(p.begin(), p.end(), [](auto &a, auto &b) { return a.sample < b.sample; })) << lane;
    }
    // Glitches belong to the glitch section and never overlap.
    ASSERT_FALSE(s.glitches.empty());
    for (size_t i = 0; i < s.glitches.size(); i++) {
        const SynGlitch &g = s.glitches[i], *before = i == 0 ? nullptr : &s.glitches[i - 1];
        EXPECT_GE(g.start, before ? before->start + before->length : scoreBarSample(64)) << i;
        EXPECT_LE(g.start + g.length, scoreBarSample(76)) << i;
        EXPECT_GT(g.slice, 0) << i;
    }
}

TEST(MusicRender, DeterministicInRangeAtTheCeilingAndSilentAtTheEnd)
{
    Stereo a = renderBars(16, 17), longer = renderBars(16, 18);
    Stereo odd = render(song(), scoreBarSample(16), scoreBarSample(16) + 1001); // ends inside a block and the lookahead
    ASSERT_EQ(a.left.size(), (size_t)(scoreBarSample(17) - scoreBarSample(16)));
    EXPECT_TRUE(a.left == renderBars(16, 17).left) << "a second rendering differs";
    EXPECT_TRUE(std::equal(a.left.begin(), a.left.end(), longer.left.begin())) << "a longer rendering differs";
    EXPECT_TRUE(std::equal(a.right.begin(), a.right.end(), longer.right.begin())) << "a longer rendering differs";
    EXPECT_TRUE(std::equal(odd.left.begin(), odd.left.end(), a.left.begin())) << "a rendering of 1001 samples differs";
    for (int first : {44, 76, 84}) { // the loudest sections
        const Stereo s = renderBars(first, first + 2);
        EXPECT_LE(std::max(peak(s.left), peak(s.right)), song().ceiling) << first;
        EXPECT_GT(peak(s.left), song().ceiling * 0.7) << first;
    }
    // The ending fades to silence before the last sample.
    Stereo end = renderBars(SCORE_BARS - 1, SCORE_BARS);
    EXPECT_LT(std::max(peak(end.left, end.left.size() - SYN_RATE / 2), peak(end.right, end.left.size() - SYN_RATE / 2)), 1e-4);
}

TEST(MusicRender, EchoesBounceBetweenTheChannelsAndTheLimiterHoldsABurst)
{
    SynSong echo{};
    echo.notes.push_back({0, 2000, SYN_ARP, 67.0f, 1.0f}); // G4: the arpeggio's centre pan
    echo.channels[SYN_ARP] = {1.0f, 0.0f, 0.0f, 0.5f, 0.0f};
    echo.echoSamples = 15000, echo.echoFeedback = 0.5f, echo.ceiling = 1.0f, echo.length = 70000;
    Stereo s = render(echo, 0, echo.length);
    // The first repeat comes back on the left, the second on the right, the
    // third on the left again, each quieter than the one before.
    auto db = [&](int repeat, const std::vector<float> &x) { return rmsDb(x, x, 15000 * repeat, 15000 * repeat + 4000); };
    EXPECT_GT(db(1, s.left), db(1, s.right) + 10);
    EXPECT_GT(db(2, s.right), db(2, s.left) + 10);
    EXPECT_GT(db(3, s.left), db(3, s.right) + 10);
    EXPECT_LT(db(2, s.right), db(1, s.left));
    EXPECT_LT(db(3, s.left), db(2, s.right));

    // A burst at three times the level is held at the ceiling, not below it;
    // well before it the signal passes bit for bit and in time, and a second
    // after it the gain has recovered.
    const size_t n = SYN_RATE * 2, burst = SYN_RATE / 2, burstEnd = burst + SYN_RATE / 10;
    std::vector<float> l(n), r(n);
    for (size_t i = 0; i < n; i++)
        l[i] = (i >= burst && i < burstEnd ? 3.0f : 0.5f) * (float)std::sin(2.0 * M_PI * 110.0 * (double)i / SYN_RATE), r[i] = -l[i];
    std::vector<float> in = l;
    synLimit(&l, &r, 0.8f);
    EXPECT_LE(std::max(peak(l), peak(r)), 0.8f);
    EXPECT_GT(peak(l), 0.75);
    EXPECT_TRUE(std::equal(l.begin(), l.begin() + burst - 1000, in.begin()));
    for (size_t i = burstEnd + SYN_RATE; i < n; i++)
        ASSERT_NEAR(l[i], in[i], 0.01f) << i;
}

TEST(MusicMp3, DecodesToTheExactLengthUnclippedAndRefusesUnequalChannels)
{
    Stereo s = renderBars(76, 78);
    std::string bytes, error;
    ASSERT_TRUE(mp3Encode(s.left, s.right, &bytes, &error)) << error; // alike twice: the production build test
    TempDir dir;
    ASSERT_TRUE(writeFile(dir / "music.mp3", bytes));
    // The engine's own view of the length, which becomes the demo's clock.
    AudioStream *stream = audioStreamOpen((dir / "music.mp3").c_str());
    ASSERT_NE(stream, nullptr);
    EXPECT_NEAR(audioStreamLength(stream), (double)s.left.size() / SYN_RATE, 0.5 / SYN_RATE);
    audioStreamClose(stream);
    // Decoded to float: the encoder's overshoot stays under full scale.
    ASSERT_EQ(mpg123_init(), MPG123_OK);
    mpg123_handle *decoder = mpg123_new(nullptr, nullptr);
    mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS | MPG123_FORCE_FLOAT, 0.0);
    ASSERT_EQ(mpg123_open(decoder, (dir / "music.mp3").c_str()), MPG123_OK);
    std::vector<float> decoded;
    float buffer[4096];
    for (int status = MPG123_OK; status == MPG123_OK || status == MPG123_NEW_FORMAT;) {
        size_t got = 0;
        status = mpg123_read(decoder, (unsigned char *)buffer, sizeof buffer, &got);
        decoded.insert(decoded.end(), buffer, buffer + got / sizeof(float));
    }
    mpg123_delete(decoder);
    EXPECT_EQ(decoded.size(), 2 * s.left.size());
    EXPECT_LT(peak(decoded), 0.99);
    EXPECT_GT(peak(decoded), 0.5);
    error.clear();
    EXPECT_FALSE(mp3Encode(std::vector<float>(1000), std::vector<float>(999), &bytes, &error));
    EXPECT_NE(error, "");
}
