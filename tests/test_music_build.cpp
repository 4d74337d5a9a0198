// The production's music as the builder makes it: the score against the demo
// clock, the renderer's determinism and levels, the arrangement checked by
// measurement (drum onsets, section levels, the fade), the limiter, glitches,
// and MP3 files that decode to the exact length.
#include <gtest/gtest.h>

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

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

Stereo renderBars(int first, int end)
{
    Stereo s;
    synRender(song(), scoreBarSample(first), scoreBarSample(end), &s.left, &s.right);
    return s;
}

double peak(const Stereo &s, size_t begin = 0, size_t end = SIZE_MAX)
{
    end = std::min(end, s.left.size());
    double p = 0.0;
    for (size_t i = begin; i < end; i++)
        p = std::max(p, (double)std::max(std::fabs(s.left[i]), std::fabs(s.right[i])));
    return p;
}

double rmsDb(const Stereo &s, size_t begin = 0, size_t end = SIZE_MAX)
{
    end = std::min(end, s.left.size());
    double sum = 0.0;
    for (size_t i = begin; i < end; i++)
        sum += (double)s.left[i] * s.left[i] + (double)s.right[i] * s.right[i];
    return 10.0 * std::log10(sum / (2.0 * (double)std::max<size_t>(1, end - begin)) + 1e-30);
}

// Samples from the start of a render at `firstBar` to a point `bars` later.
size_t at(int firstBar, double bars)
{
    int64_t tick = (int64_t)std::llround((firstBar + bars) * SCORE_TICKS_PER_BAR);
    return (size_t)(scoreTickSample(tick) - scoreBarSample(firstBar));
}

// The mix below about 70 Hz, where only the kick and the basses live: pads,
// leads and arpeggios stay out of it. Energy sums for windows of the render.
struct KickBand {
    std::vector<double> sum; // sum[i]: energy of samples [0, i)

    explicit KickBand(const Stereo &s)
    {
        const float a = 1.0f - std::exp(-2.0f * 3.14159265f * 70.0f / SYN_RATE);
        float z1 = 0, z2 = 0, z3 = 0;
        sum.assign(s.left.size() + 1, 0.0);
        for (size_t i = 0; i < s.left.size(); i++) {
            float x = 0.5f * (s.left[i] + s.right[i]);
            z1 += a * (x - z1);
            z2 += a * (z1 - z2);
            z3 += a * (z2 - z3);
            sum[i + 1] = sum[i] + (double)z3 * z3;
        }
    }
    double db(size_t from, size_t to) const
    {
        return 10.0 * std::log10((sum[to] - sum[from]) / (double)(to - from) + 1e-30);
    }
    // Kick-like: loud in the 50 ms after the position and clearly louder than
    // in the 50 ms before it.
    bool hitAt(size_t at) const { return db(at, at + W) > -35.0 && db(at, at + W) > db(at - W, at) + 3.0; }
    // The loudest 50 ms window before `end`, stepping by 5 ms.
    double loudestDb(size_t end = SIZE_MAX) const
    {
        double loudest = -300.0;
        for (size_t i = 0; i + W < std::min(end, sum.size()); i += SYN_RATE / 200)
            loudest = std::max(loudest, db(i, i + W));
        return loudest;
    }
    static const size_t W = SYN_RATE / 20;
};

} // namespace

TEST(MusicScore, BarsLandOnTheDemoClockRows)
{
    // 22.666... rows a second, 40 rows a bar: bar b starts at row 40 b.
    const double rowsPerSecond = 22.666666666666668;
    for (int bar = 0; bar <= SCORE_BARS; bar++) {
        double expected = SCORE_ROWS_PER_BAR * bar / rowsPerSecond * SYN_RATE;
        EXPECT_NEAR((double)scoreBarSample(bar), expected, 0.5) << "bar " << bar;
    }
    EXPECT_TRUE(scoreBarSample(SCORE_BARS) == 180 * SYN_RATE && song().length == 180 * SYN_RATE);
    // A beat is 10 rows: 19455.88 samples.
    EXPECT_NEAR((double)scoreTickSample(SCORE_TICKS_PER_BAR / 4), 60.0 / SCORE_BPM * SYN_RATE, 0.5);

    int count;
    const ScoreSection *sections = scoreSections(&count);
    ASSERT_EQ(count, 9);
    for (int i = 0; i < count; i++)
        EXPECT_EQ(sections[i].firstBar, i ? sections[i - 1].endBar : 0) << sections[i].name;
    EXPECT_EQ(sections[count - 1].endBar, SCORE_BARS);
}

TEST(MusicScore, ExpandsIntoOrderedNotesLanesAndGlitchesInsideTheSong)
{
    const SynSong &s = song();
    ASSERT_GT(s.notes.size(), 2000u);
    for (size_t i = 0; i < s.notes.size(); i++) {
        const SynNote &n = s.notes[i];
        ASSERT_TRUE((i == 0 || s.notes[i - 1].start <= n.start) && n.start >= 0 && n.length > 0 &&
                    n.start + n.length <= s.length && n.instrument >= 0 && n.instrument < SYN_INSTRUMENTS &&
                    n.velocity > 0.0f && n.velocity <= 1.0f)
            << "note " << i;
        // Melodic instruments stay between the lowest bass and a bright arpeggio.
        EXPECT_TRUE(n.instrument < SYN_SUB || (n.pitch >= 28.0f && n.pitch <= 96.0f)) << "note " << i;
    }
    for (int lane = 0; lane < SYN_LANES; lane++) {
        ASSERT_FALSE(s.lanes[lane].empty()) << "lane " << lane;
        for (size_t i = 1; i < s.lanes[lane].size(); i++)
            EXPECT_LE(s.lanes[lane][i - 1].sample, s.lanes[lane][i].sample) << "lane " << lane;
    }
    // Glitches belong to the glitch section and never overlap.
    ASSERT_FALSE(s.glitches.empty());
    for (size_t i = 0; i < s.glitches.size(); i++) {
        const SynGlitch &g = s.glitches[i];
        EXPECT_TRUE(g.start >= scoreBarSample(64) && g.start + g.length <= scoreBarSample(76) && g.slice > 0) << i;
        EXPECT_TRUE(i == 0 || s.glitches[i - 1].start + s.glitches[i - 1].length <= g.start) << i;
    }
}

TEST(MusicScore, PadsHoldTheNotesThatNeighbouringChordsShare)
{
    // Intro: Dm Dm Bb Bb F F C C. A pad note is struck once and held for as
    // long as the chords keep it; restruck every bar, slow pads would pulse.
    // D3 under Dm only (the root layer); A3 too, Bb has Bb3 instead; D4 in Dm
    // and Bb; F4 in Dm, Bb and F; A4 likewise (C tops out at G4). A3 comes
    // back with F at bar 4 as a new note.
    const int cases[][3] = {{50, 0, 2}, {57, 0, 2}, {62, 0, 4}, {65, 0, 6}, {69, 0, 6}, {57, 4, 6}}; // pitch, bars
    for (const auto &c : cases) {
        int found = 0;
        for (const SynNote &n : song().notes) {
            if (n.instrument == SYN_PAD && n.start == scoreBarSample(c[1]) && (int)n.pitch == c[0]) {
                EXPECT_EQ(n.start + n.length, scoreBarSample(c[2])) << "pitch " << c[0];
                found++;
            }
        }
        EXPECT_EQ(found, 1) << "pitch " << c[0] << " at bar " << c[1];
    }
}

TEST(MusicRender, IsDeterministicAndIndependentOfWhereTheRangeEnds)
{
    Stereo a = renderBars(16, 17), b = renderBars(16, 17), longer = renderBars(16, 18);
    ASSERT_EQ(a.left.size(), (size_t)(scoreBarSample(17) - scoreBarSample(16)));
    ASSERT_EQ(longer.left.size(), (size_t)(scoreBarSample(18) - scoreBarSample(16)));
    EXPECT_TRUE(a.left == b.left && a.right == b.right);
    EXPECT_TRUE(std::equal(a.left.begin(), a.left.end(), longer.left.begin()) &&
                std::equal(a.right.begin(), a.right.end(), longer.right.begin()));
    // An odd range that ends inside a block and in the limiter's lookahead.
    Stereo odd;
    synRender(song(), scoreBarSample(16), scoreBarSample(16) + 1001, &odd.left, &odd.right);
    EXPECT_TRUE(std::equal(odd.left.begin(), odd.left.end(), a.left.begin()));
}

TEST(MusicRender, LoudestSectionsStayUnderTheCeilingButUseIt)
{
    for (int first : {44, 76, 84}) {
        Stereo s = renderBars(first, first + 2);
        // peak() would pass NaN: every comparison with it is false.
        EXPECT_TRUE(peak(s) <= song().ceiling && peak(s) > song().ceiling * 0.7) << "bar " << first;
        EXPECT_TRUE(std::all_of(s.left.begin(), s.left.end(), [](float x) { return std::isfinite(x); }));
    }
}

TEST(MusicRender, KickOnEveryBeatOfDriveOneNoneInTheIntroOrTheBreakdownsFirstFourBars)
{
    Stereo intro = renderBars(0, 8), drive = renderBars(16, 18), breakdown = renderBars(32, 38);
    EXPECT_LT(KickBand(intro).loudestDb(), -40.0);
    EXPECT_LT(KickBand(breakdown).loudestDb(at(32, 4) - SYN_RATE / 100), -40.0); // up to 10 ms before bar 36
    KickBand driveKicks(drive), breakdownKicks(breakdown);
    for (int beat = 1; beat < 8; beat++) {
        EXPECT_TRUE(driveKicks.hitAt(at(16, beat * 0.25))) << "beat " << beat;
        // Off the beat, drive 1 has bass but no kick.
        EXPECT_FALSE(driveKicks.hitAt(at(16, beat * 0.25 + 0.125))) << "after beat " << beat;
        EXPECT_TRUE(breakdownKicks.hitAt(at(32, 4 + beat * 0.25))) << "breakdown beat " << 16 + beat;
    }
    // The intro sits well below the full beat.
    EXPECT_LT(rmsDb(intro), rmsDb(drive) - 6.0);
    EXPECT_GT(rmsDb(intro), -40.0);
}

TEST(MusicRender, EndingFadesToSilenceBeforeTheLastSample)
{
    Stereo s = renderBars(92, SCORE_BARS);
    EXPECT_GT(rmsDb(s, 0, at(92, 2)), -30.0); // the ending still plays at first
    EXPECT_LT(rmsDb(s, at(92, 9), at(92, 10)), -60.0);
    EXPECT_LT(peak(s, s.left.size() - SYN_RATE / 2), std::pow(10.0, -80.0 / 20.0));
    // The fade is gradual: each bar of its last four is quieter than the one before.
    for (int bar = 97; bar < 101; bar++)
        EXPECT_LT(rmsDb(s, at(92, bar + 1 - 92), at(92, bar + 2 - 92)),
                  rmsDb(s, at(92, bar - 92), at(92, bar + 1 - 92)))
            << "bar " << bar + 1;
}

TEST(MusicRender, GlitchLoopsRepeatTheFirstSlice)
{
    // Bar 66 loops its 9th 16th over four 16ths ("........R---....").
    Stereo s = renderBars(66, 67);
    size_t slice = at(66, 1.0 / 16.0);
    size_t first = at(66, 8.0 / 16.0);
    auto correlation = [&](size_t a, size_t b) {
        // Inside the slice, clear of the fades at its edges.
        double ab = 0, aa = 0, bb = 0;
        for (size_t i = 200; i + 200 < slice; i++) {
            ab += (double)s.left[a + i] * s.left[b + i];
            aa += (double)s.left[a + i] * s.left[a + i];
            bb += (double)s.left[b + i] * s.left[b + i];
        }
        return ab / std::sqrt(aa * bb + 1e-30);
    };
    for (int k = 1; k < 4; k++)
        EXPECT_GT(correlation(first, first + k * slice), 0.98) << "repeat " << k;
    // Plain 16ths elsewhere in the bar are not copies of one another.
    EXPECT_LT(correlation(at(66, 0.0), at(66, 1.0 / 16.0)), 0.9);
}

TEST(MusicRender, KickDucksThePadsAsDeepAsTheSidechainLaneSays)
{
    // Only the dry pads sound (the effect returns are not ducked); the kicks
    // still drive the ducking.
    SynSong pads = song();
    for (int c = 0; c < SYN_INSTRUMENTS; c++)
        if (c != SYN_PAD)
            pads.channels[c].gain = 0.0f;
    pads.channels[SYN_PAD].delay = pads.channels[SYN_PAD].reverb = 0.0f;
    // The mean level change from just before each kick to just after it.
    auto dipDb = [&](int first, int measured) {
        Stereo s;
        synRender(pads, scoreBarSample(first), scoreBarSample(measured + 2), &s.left, &s.right);
        double sum = 0.0;
        int count = 0;
        for (int bar = measured; bar < measured + 2; bar++) {
            for (int beat = 1; beat < 4; beat++) { // clear of the chord changes on the bar line
                size_t kick = at(first, bar - first + beat * 0.25);
                double after = rmsDb(s, kick + SYN_RATE / 200, kick + SYN_RATE / 40);
                double before = rmsDb(s, kick - SYN_RATE * 3 / 50, kick - SYN_RATE / 100);
                sum += after - before;
                count++;
            }
        }
        return sum / count;
    };
    // Drive 1 ducks the pads fully; the breakdown's soft kick at half depth.
    double drive = dipDb(24, 26), breakdown = dipDb(32, 36);
    EXPECT_LT(drive, -5.0);
    EXPECT_LT(breakdown, -1.5);
    EXPECT_GT(breakdown, drive + 2.0);
}

TEST(MusicRender, EchoesBounceBetweenTheChannels)
{
    SynSong song;
    song.notes.push_back({0, 2000, SYN_ARP, 67.0f, 1.0f}); // G4: the arpeggio's centre pan
    for (SynChannel &c : song.channels)
        c = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    song.channels[SYN_ARP] = {1.0f, 0.0f, 0.0f, 0.5f, 0.0f};
    song.echoSamples = 15000;
    song.echoFeedback = 0.5f;
    song.ceiling = 1.0f;
    song.length = 70000;
    Stereo s;
    synRender(song, 0, song.length, &s.left, &s.right);
    auto channelDb = [&](const std::vector<float> &x, size_t from) {
        double sum = 0.0;
        for (size_t i = from; i < from + 4000; i++)
            sum += (double)x[i] * x[i];
        return 10.0 * std::log10(sum + 1e-30);
    };
    // The first repeat comes back on the left, the second on the right, the
    // third on the left again, each quieter than the one before.
    const size_t d = 15000;
    EXPECT_GT(channelDb(s.left, d), channelDb(s.right, d) + 10.0);
    EXPECT_GT(channelDb(s.right, 2 * d), channelDb(s.left, 2 * d) + 10.0);
    EXPECT_GT(channelDb(s.left, 3 * d), channelDb(s.right, 3 * d) + 10.0);
    EXPECT_LT(channelDb(s.right, 2 * d), channelDb(s.left, d));
    EXPECT_LT(channelDb(s.left, 3 * d), channelDb(s.right, 2 * d));
}

TEST(MusicLimiter, HoldsABurstAtTheCeilingAndLeavesQuietSoundAlone)
{
    const size_t n = SYN_RATE * 2;
    const size_t burst = SYN_RATE / 2, burstEnd = SYN_RATE / 2 + SYN_RATE / 10;
    std::vector<float> l(n), r(n);
    for (size_t i = 0; i < n; i++) {
        float level = i >= burst && i < burstEnd ? 3.0f : 0.5f;
        l[i] = level * (float)std::sin(2.0 * M_PI * 110.0 * (double)i / SYN_RATE);
        r[i] = -l[i];
    }
    std::vector<float> inL = l;
    synLimit(&l, &r, 0.8f);
    double p = peak({l, r});
    EXPECT_LE(p, 0.8f);
    EXPECT_GT(p, 0.75); // the burst is brought down to the ceiling, not below it
    // Well before the burst the signal passes bit for bit and in time.
    for (size_t i = 0; i < burst - 1000; i++)
        ASSERT_EQ(l[i], inL[i]) << i;
    // A second after the burst the gain has recovered.
    for (size_t i = burstEnd + SYN_RATE; i < n; i++)
        ASSERT_NEAR(l[i], inL[i], 0.01f) << i;
}

TEST(MusicMp3, DecodesToExactlyTheRenderedSamplesWithoutClippingAndRefusesUnequalChannels)
{
    Stereo s = renderBars(76, 78);
    std::string bytes, again, error;
    ASSERT_TRUE(mp3Encode(s.left, s.right, &bytes, &error)) << error;
    ASSERT_TRUE(mp3Encode(s.left, s.right, &again, &error)) << error;
    EXPECT_TRUE(bytes == again);

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
    mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
    mpg123_format_none(decoder);
    mpg123_format(decoder, SYN_RATE, MPG123_STEREO, MPG123_ENC_FLOAT_32);
    ASSERT_EQ(mpg123_open(decoder, (dir / "music.mp3").c_str()), MPG123_OK);
    std::vector<float> decoded;
    unsigned char buffer[16384];
    for (;;) {
        size_t got = 0;
        int status = mpg123_read(decoder, buffer, sizeof buffer, &got);
        const float *f = (const float *)buffer;
        decoded.insert(decoded.end(), f, f + got / sizeof(float));
        if (status != MPG123_OK && status != MPG123_NEW_FORMAT)
            break;
    }
    mpg123_delete(decoder);
    EXPECT_EQ(decoded.size(), 2 * s.left.size());
    double p = peak({decoded, decoded});
    EXPECT_TRUE(p < 0.99 && p > 0.5) << p;
    // Channels of different lengths are refused.
    error.clear();
    EXPECT_FALSE(mp3Encode(std::vector<float>(1000), std::vector<float>(999), &bytes, &error));
    EXPECT_FALSE(error.empty());
}
