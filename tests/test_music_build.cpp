// The production's music as the builder makes it: the score against the demo
// clock, the renderer's determinism and levels, the arrangement checked by
// measurement (drum onsets, the ducking, the fade), echoes, the limiter,
// glitches, and MP3 files that decode to the exact length.
#include <gtest/gtest.h>

#include <mpg123.h>

#include <cmath>
#include <numeric>

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

// Samples from the start of a render at `bar` to a point n bars later.
size_t at(int bar, double n) { return scoreTickSample(std::llround((bar + n) * SCORE_TICKS_PER_BAR)) - scoreBarSample(bar); }

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
double rmsDb(const Stereo &s, size_t begin = 0, size_t end = SIZE_MAX) { return rmsDb(s.left, s.right, begin, end); }

// The mix below about 70 Hz, where only the kick and the basses live: loud
// in the 50 ms after a position and clearly louder than in the 50 ms before.
struct KickBand {
    std::vector<float> low;
    explicit KickBand(const Stereo &s)
    {
        const float a = 1.0f - std::exp(-2.0f * 3.14159265f * 70.0f / SYN_RATE);
        float z1 = 0, z2 = 0, z3 = 0;
        for (size_t i = 0; i < s.left.size(); i++)
            z1 += a * (0.5f * (s.left[i] + s.right[i]) - z1), z2 += a * (z1 - z2), z3 += a * (z2 - z3), low.push_back(z3);
    }
    bool hitAt(size_t at) const
    {
        const double after = rmsDb(low, low, at, at + SYN_RATE / 20);
        return after > -35.0 && after > rmsDb(low, low, at - SYN_RATE / 20, at) + 3.0;
    }
};

} // namespace

TEST(MusicScore, BarsLandOnTheClockAndNotesStayOrderedInsideTheSong)
{
    // 22.666... rows a second, 40 rows a bar: bar b starts at row 40 b; a beat is 10 rows.
    for (int bar = 0; bar <= SCORE_BARS; bar++)
        EXPECT_NEAR((double)scoreBarSample(bar), SCORE_ROWS_PER_BAR * bar / 22.666666666666668 * SYN_RATE, 0.5) << bar;
    EXPECT_TRUE(scoreBarSample(SCORE_BARS) == 180 * SYN_RATE && song().length == 180 * SYN_RATE);
    const SynSong &s = song();
    for (size_t i = 0; i < s.notes.size(); i++) {
        // Melodic instruments stay between the lowest bass and a bright arpeggio.
        const SynNote &n = s.notes[i];
        ASSERT_TRUE((i == 0 || s.notes[i - 1].start <= n.start) && n.start >= 0 && n.length > 0 &&
                    n.start + n.length <= s.length && n.instrument >= 0 && n.instrument < SYN_INSTRUMENTS &&
                    n.velocity > 0.0f && n.velocity <= 1.0f && (n.instrument < SYN_SUB || (n.pitch >= 28 && n.pitch <= 96)))
            << "note " << i;
    }
    for (int lane = 0; lane < SYN_LANES; lane++)
        EXPECT_TRUE(!s.lanes[lane].empty() && std::is_sorted(s.lanes[lane].begin(), s.lanes[lane].end(),
                                                             [](auto &a, auto &b) { return a.sample < b.sample; })) << lane;
    // Glitches belong to the glitch section and never overlap.
    ASSERT_FALSE(s.glitches.empty());
    for (size_t i = 0; i < s.glitches.size(); i++) {
        const SynGlitch &g = s.glitches[i];
        EXPECT_TRUE(g.start >= scoreBarSample(64) && g.start + g.length <= scoreBarSample(76) && g.slice > 0 &&
                    (i == 0 || s.glitches[i - 1].start + s.glitches[i - 1].length <= g.start)) << i;
    }
}

TEST(MusicScore, PadsHoldTheNotesThatNeighbouringChordsShare)
{
    // Intro: Dm Dm Bb Bb F F C C. A pad note is struck once and held for as
    // long as the chords keep it; restruck every bar, slow pads would pulse.
    // D3 under Dm only (the root layer); A3 too, Bb has Bb3 instead; D4 in Dm
    // and Bb; F4 in Dm, Bb and F; A4 likewise (C tops out at G4). A3 comes
    // back with F at bar 4 as a new note.
    for (const auto &c : {std::array<int, 3>{50, 0, 2}, {57, 0, 2}, {62, 0, 4}, {65, 0, 6}, {69, 0, 6}, {57, 4, 6}}) {
        int found = 0; // pitch, first and end bar
        for (const SynNote &n : song().notes)
            found += n.instrument == SYN_PAD && n.start == scoreBarSample(c[1]) && (int)n.pitch == c[0] &&
                     n.start + n.length == scoreBarSample(c[2]);
        EXPECT_EQ(found, 1) << "pitch " << c[0] << " at bar " << c[1];
    }
}

TEST(MusicRender, DeterministicInRangeAtTheCeilingKicksOnTheBeatAndFadingOut)
{
    Stereo a = renderBars(16, 17), longer = renderBars(16, 18);
    Stereo odd = render(song(), scoreBarSample(16), scoreBarSample(16) + 1001); // ends inside a block and the lookahead
    ASSERT_TRUE(a.left.size() == (size_t)(scoreBarSample(17) - scoreBarSample(16)) && a.left == renderBars(16, 17).left);
    EXPECT_TRUE(std::equal(a.left.begin(), a.left.end(), longer.left.begin()) &&
                std::equal(a.right.begin(), a.right.end(), longer.right.begin()) &&
                std::equal(odd.left.begin(), odd.left.end(), a.left.begin()));
    for (int first : {44, 76, 84}) { // the loudest sections
        const Stereo s = renderBars(first, first + 2);
        EXPECT_TRUE(std::max(peak(s.left), peak(s.right)) <= song().ceiling && peak(s.left) > song().ceiling * 0.7) << first;
    }
    // A kick on every beat of drive 1 (and none off the beat), none in the
    // intro or the breakdown's first four bars, a soft one after them.
    Stereo intro = renderBars(0, 8), breakdown = renderBars(32, 38);
    KickBand driveKicks(longer), introKicks(intro), breakdownKicks(breakdown);
    for (int beat = 1; beat < 16; beat++)
        EXPECT_TRUE(!introKicks.hitAt(at(0, beat * 0.25)) && !breakdownKicks.hitAt(at(32, beat * 0.25)) &&
                    (beat >= 8 || (driveKicks.hitAt(at(16, beat * 0.25)) && !driveKicks.hitAt(at(16, beat * 0.25 + 0.125)) &&
                                   breakdownKicks.hitAt(at(32, 4 + beat * 0.25))))) << "beat " << beat;
    EXPECT_TRUE(rmsDb(intro) < rmsDb(longer) - 6.0 && rmsDb(intro) > -40.0) << "the intro sits well below the beat";
    // The ending plays at first, then fades bar by bar to silence before the last sample.
    Stereo end = renderBars(92, SCORE_BARS);
    EXPECT_TRUE(rmsDb(end, 0, at(92, 2)) > -30.0 && rmsDb(end, at(92, 9), at(92, 10)) < -60.0);
    EXPECT_LT(std::max(peak(end.left, end.left.size() - SYN_RATE / 2), peak(end.right, end.left.size() - SYN_RATE / 2)), 1e-4);
    for (int bar = 5; bar < 9; bar++)
        EXPECT_LT(rmsDb(end, at(92, bar + 1), at(92, bar + 2)), rmsDb(end, at(92, bar), at(92, bar + 1))) << 92 + bar;
}

TEST(MusicRender, GlitchLoopsRepeatTheFirstSliceAndKicksDuckThePads)
{
    // Bar 66 loops its 9th 16th over four 16ths ("........R---...."); plain
    // 16ths elsewhere in the bar are not copies of one another.
    Stereo s = renderBars(66, 67);
    const size_t slice = at(66, 1.0 / 16.0), first = at(66, 8.0 / 16.0);
    auto dot = [&](size_t a, size_t b) { // inside the slice, clear of the fades at its edges
        return std::inner_product(&s.left[a + 200], &s.left[a + slice - 200], &s.left[b + 200], 0.0);
    };
    auto correlation = [&](size_t a, size_t b) { return dot(a, b) / std::sqrt(dot(a, a) * dot(b, b) + 1e-30); };
    for (int k = 1; k < 4; k++)
        EXPECT_GT(correlation(first, first + k * slice), 0.98) << "repeat " << k;
    EXPECT_LT(correlation(at(66, 0.0), at(66, 1.0 / 16.0)), 0.9);

    // Only the dry pads sound (the effect returns are not ducked); the kicks
    // still drive the ducking. The mean level change from just before each
    // kick to just after it, clear of the chord changes on the bar line.
    SynSong pads = song();
    for (int c = 0; c < SYN_INSTRUMENTS; c++)
        pads.channels[c].gain = c == SYN_PAD ? pads.channels[c].gain : 0.0f;
    pads.channels[SYN_PAD].delay = pads.channels[SYN_PAD].reverb = 0.0f;
    auto dipDb = [&](int first, int measured) {
        Stereo p = render(pads, scoreBarSample(first), scoreBarSample(measured + 2));
        double sum = 0.0;
        for (int kick = 0; kick < 6; kick++) {
            size_t k = at(first, measured - first + kick / 3 + (kick % 3 + 1) * 0.25);
            sum += rmsDb(p, k + SYN_RATE / 200, k + SYN_RATE / 40) - rmsDb(p, k - SYN_RATE * 3 / 50, k - SYN_RATE / 100);
        }
        return sum / 6;
    };
    // Drive 1 ducks the pads fully; the breakdown's soft kick at half depth.
    double drive = dipDb(24, 26), breakdown = dipDb(32, 36);
    EXPECT_TRUE(drive < -5.0 && breakdown < -1.5 && breakdown > drive + 2.0) << drive << " " << breakdown;
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
    EXPECT_TRUE(db(1, s.left) > db(1, s.right) + 10 && db(2, s.right) > db(2, s.left) + 10 && db(3, s.left) > db(3, s.right) + 10);
    EXPECT_TRUE(db(2, s.right) < db(1, s.left) && db(3, s.left) < db(2, s.right));

    // A burst at three times the level is held at the ceiling, not below it;
    // well before it the signal passes bit for bit and in time, and a second
    // after it the gain has recovered.
    const size_t n = SYN_RATE * 2, burst = SYN_RATE / 2, burstEnd = burst + SYN_RATE / 10;
    std::vector<float> l(n), r(n);
    for (size_t i = 0; i < n; i++)
        l[i] = (i >= burst && i < burstEnd ? 3.0f : 0.5f) * (float)std::sin(2.0 * M_PI * 110.0 * (double)i / SYN_RATE), r[i] = -l[i];
    std::vector<float> in = l;
    synLimit(&l, &r, 0.8f);
    EXPECT_TRUE(peak(l) <= 0.8f && peak(r) <= 0.8f && peak(l) > 0.75);
    EXPECT_TRUE(std::equal(l.begin(), l.begin() + burst - 1000, in.begin()));
    for (size_t i = burstEnd + SYN_RATE; i < n; i++)
        ASSERT_NEAR(l[i], in[i], 0.01f) << i;
}

TEST(MusicMp3, DecodesToExactlyTheRenderedSamplesWithoutClippingAndRefusesUnequalChannels)
{
    Stereo s = renderBars(76, 78);
    std::string bytes, again, error;
    ASSERT_TRUE(mp3Encode(s.left, s.right, &bytes, &error) && mp3Encode(s.left, s.right, &again, &error) && bytes == again)
        << error;
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
    EXPECT_TRUE(decoded.size() == 2 * s.left.size() && peak(decoded) < 0.99 && peak(decoded) > 0.5) << decoded.size();
    error.clear();
    EXPECT_TRUE(!mp3Encode(std::vector<float>(1000), std::vector<float>(999), &bytes, &error) && !error.empty());
}
