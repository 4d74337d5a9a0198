// The default production's music as a score: sections, chords, patterns,
// melodies, automation and glitches in tables, and their expansion into the
// synthesiser's notes (synth.h).
#pragma once

#include <cstdint>
#include <string>

#include "synth.h"

// The music is the demo's clock: 136 beats a minute and 4 beats a bar, which
// the engine counts as 10 tracker rows a beat (22.67 rows a second).
enum {
    SCORE_BARS = 102,
    SCORE_TICKS_PER_BAR = 96, // the finest grid: 16ths are 6 ticks, 32nds 3, 8th triplets 8
    SCORE_ROWS_PER_BAR = 40,
};
constexpr double SCORE_BPM = 136.0;

struct ScoreSection {
    const char *name;
    int firstBar, endBar;
};

// The sections of the show, in order, covering bars 0..SCORE_BARS.
const ScoreSection *scoreSections(int *count);

// The first sample of a tick (rounded to the nearest sample), of a bar.
int64_t scoreTickSample(int64_t tick);
int64_t scoreBarSample(int bar);

// Fills the song from the tables. False with a reason naming the table entry
// when one does not parse.
bool scoreBuild(SynSong *song, std::string *error);
