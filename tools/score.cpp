// The default production's music: 102 bars in D minor at 136 beats a minute,
// written as tables that read like a score, and the expander that turns them
// into the synthesiser's notes, automation and glitches.
#include "score.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Notation
// ---------------------------------------------------------------------------
// A pattern is one or more bars separated by '|'. Each bar is a row of
// evenly spaced steps (16 steps are 16ths, 32 are 32nds, 1 is a whole bar).
// In every kind, '.' is a rest and '-' holds the note before it, across the
// bar line too.
enum PatternKind {
    HITS,  // one character a step: X accent, x normal, o soft, g ghost
    NOTES, // note names: "D5", "Bb4", "C#5"
    ROOT,  // semitones above the bar's chord root: "0", "7", "12"
    CHORD, // "*" the bar's whole chord, or one chord note by index from the
           // bottom: "0".."4", raised an octave by ' and lowered by ,
};

struct Pattern {
    int kind;
    const char *text;
};

// One instrument playing one pattern over bars [first, end). The pattern
// starts at its bar `from` on the part's first bar and repeats.
struct Part {
    int first, end;
    int instrument;
    const Pattern *pattern;
    float velocity;
    int transpose = 0;
    int from = 0;
};

// Chord progressions: one chord a bar from `first`, the list repeating to `end`.
struct Progression {
    int first, end;
    const char *chords;
};

struct ChordShape {
    const char *name;
    const char *root;    // the bass note
    const char *voicing; // pads, stabs and arpeggios, from the bottom
};

struct LanePoint {
    int lane;
    double bar;
    float value;
};

// One character a 16th: '.' leaves the sound alone; R, B, r, z loop the
// first 16th, 8th, 32nd or 64th of the span; C crushes; G gates; S stops the
// tape; '-' continues the glitch before it.
struct GlitchBar {
    int bar;
    const char *steps;
};

// ---------------------------------------------------------------------------
// The sections of the show
// ---------------------------------------------------------------------------
const ScoreSection kSections[] = {
    {"intro", 0, 8},      {"build", 8, 16},      {"drive 1", 16, 32}, {"breakdown", 32, 44}, {"drive 2", 44, 56},
    {"half-time", 56, 64}, {"glitch", 64, 76}, {"anthem", 76, 92},   {"ending", 92, 102},
};

// ---------------------------------------------------------------------------
// Harmony: D minor, the chords voiced so that neighbours share notes
// ---------------------------------------------------------------------------
const ChordShape kChordShapes[] = {
    // name   root   voicing
    {"Dm", "D2", "A3 D4 F4 A4"},
    {"Bb", "Bb1", "Bb3 D4 F4 A4"}, // with the major seventh: softer than the plain triad
    {"F", "F2", "A3 C4 F4 A4"},
    {"C", "C2", "G3 C4 E4 G4"},
    {"Gm", "G1", "Bb3 D4 G4 A4"}, // the ninth on top
    {"A", "A1", "A3 C#4 E4 A4"},   // the major dominant pulls back home to Dm
    {"Dm9", "D2", "D3 A3 E4 F4 A4"},
};

const Progression kProgressions[] = {
    {0, 8, "Dm Dm Bb Bb F F C C"},                             // intro
    {8, 16, "Dm Bb F C Dm Bb F A"},                            // build
    {16, 32, "Dm Bb F C"},                                     // drive 1
    {32, 44, "Bb C Dm Dm Bb C A A Gm Gm A A"},                 // breakdown
    {44, 56, "Dm Bb F C"},                                     // drive 2
    {56, 64, "Gm Gm Dm Dm Bb Bb A A"},                         // half-time
    {64, 76, "Dm Dm Bb Bb F F C C Dm Bb C A"},                 // glitch
    {76, 92, "Bb C Dm Dm Bb C A A Bb C Dm Dm Gm A Dm Dm"},     // anthem
    {92, 102, "Bb C Dm Dm Bb A Dm9 Dm9 Dm9 Dm9"},              // ending
};

// ---------------------------------------------------------------------------
// Drum patterns
// ---------------------------------------------------------------------------
const Pattern kickFour = {HITS, "X...X...X...X..."};
const Pattern kickHalf = {HITS, "X.........x....."};
const Pattern kickBroken = {HITS, "X...X...X..xX...|X...X...X...X.x."};
const Pattern backbeat = {HITS, "....X.......X..."};
const Pattern backbeatHalf = {HITS, "........X......."};
const Pattern backbeatBroken = {HITS, "....X..g....X.gx|....X.......X.Xg"};
const Pattern snareRoll = {HITS, "o...o...o...o...x.x.x.x.xXXXXXXX"}; // 32nds: 8ths, 16ths, then 32nds
const Pattern hatOffbeat = {HITS, "..x...x...x...x."};
const Pattern hatEighths = {HITS, "x.o.x.o.x.o.x.o."};
const Pattern hatSixteenths = {HITS, "goxogoxogoxogoxo"};
const Pattern hatGlitch = {HITS, "goxogoxxgoxogxxx"};
const Pattern openOffbeat = {HITS, "..X...X...X...X."};
const Pattern shaker = {HITS, "gox.gox.gox.goxo"};
const Pattern crash = {HITS, "X"};
const Pattern riseTwoBars = {HITS, "X|-"};

// ---------------------------------------------------------------------------
// Bass
// ---------------------------------------------------------------------------
const Pattern subWhole = {ROOT, "0"};
const Pattern bassOffbeat = {ROOT, ". . 0 0 . . 0 12 . . 0 0 . . 0 12"};
const Pattern bassRolling = {ROOT, ". 0 0 12 . 0 0 12 . 0 0 12 . 0 7 12"}; // high before the beat: the kick owns the low end
const Pattern bassHalf = {ROOT, "0 - - - - - . 0 . . 0 - 12 - 7 -"};
const Pattern bassGlitch = {ROOT, "0 . . 0 . . 12 . 0 0 . . 12 . 7 .|0 . . 0 . 0 12 . . 0 . 0 12 12 7 ."};

// ---------------------------------------------------------------------------
// Chords and arpeggios
// ---------------------------------------------------------------------------
const Pattern padHold = {CHORD, "*"};      // pads tie over while the chord's notes stay
const Pattern padRoot = {ROOT, "12"};      // the root under the pad, an octave above the bass
const Pattern stabDrive = {CHORD, ". . * . . * . . . . * . . . * ."};
const Pattern stabAnthem = {CHORD, "* . . * . . * . . . * . . * . ."};
const Pattern arpSparse = {CHORD, "0 . . 2 . . 3' . . . . . . . . .|1 . . 3 . . 2' . . . . . 0' . . ."};
const Pattern arpSixteenths = {CHORD, "0 1 2 3 0' 3 2 1 0 1 2 3 0' 3 2 1"};
const Pattern arpGlitch = {CHORD, "0 0' 2 . 3 0' . 2 0 . 3 0' 2 . 1' ."};

// ---------------------------------------------------------------------------
// Melodies
// ---------------------------------------------------------------------------
// The theme, over Bb C Dm Dm Bb C A A, heard first in the breakdown and sung
// out in the anthem.
const Pattern themeA = {NOTES,
                        "A4 - - Bb4 - - D5 - F5 - - - E5 - D5 -|"
                        "E5 - - D5 - - C5 - G4 - - - C5 - E5 -|"
                        "F5 - - E5 - - D5 - A4 - - - - - - -|"
                        ". . . . D5 - E5 - F5 - - - A5 - - -|"
                        "A5 - - G5 - - F5 - D5 - - - F5 - G5 -|"
                        "G5 - - F5 - - E5 - C5 - - - E5 - G5 -|"
                        "E5 - - - - - C#5 - A4 - - - - - - -|"
                        ". . . . . . . . E5 - F5 - E5 - C#5 -"};
// Its answer, over Bb C Dm Dm Gm A Dm Dm, closing on the tonic.
const Pattern themeB = {NOTES,
                        "A4 - - Bb4 - - D5 - F5 - - - E5 - D5 -|"
                        "E5 - - D5 - - C5 - G4 - - - C5 - E5 -|"
                        "F5 - - E5 - - D5 - A5 - - - - - - -|"
                        ". . . . A5 - G5 - F5 - - - E5 - - -|"
                        "D5 - - Bb4 - - G4 - D5 - - - G5 - - -|"
                        "F5 - - E5 - - C#5 - A4 - - - E5 - - -|"
                        "D5 - - - - - - - - - - - - - - -|"
                        ". . . . . . . . . . . . . . . ."};
// Drive 2's riff over Dm Bb F C: straight 8ths that outline each chord.
const Pattern riff = {NOTES,
                      "A4 - D5 - F5 - A4 - E5 - F5 - D5 - C5 -|"
                      "F4 - Bb4 - D5 - F4 - C5 - D5 - Bb4 - A4 -|"
                      "C5 - F5 - A5 - C5 - G5 - A5 - F5 - E5 -|"
                      "G4 - C5 - E5 - G4 - D5 - E5 - G5 - - -"};

// ---------------------------------------------------------------------------
// The arrangement
// ---------------------------------------------------------------------------
const Part kParts[] = {
    // bars    instrument   pattern          velocity  transpose  from
    // intro: ambient pads, a sparse arpeggio in the echoes
    {0, 16, SYN_PAD, &padHold, 0.9f},
    {0, 16, SYN_PAD, &padRoot, 0.7f},
    {2, 12, SYN_ARP, &arpSparse, 0.55f, 12},

    // build: shaker and hats, sub bass, the filter opening, a roll into the drop
    {8, 16, SYN_SUB, &subWhole, 0.8f},
    {8, 16, SYN_SHAKER, &shaker, 0.8f},
    {12, 15, SYN_HAT, &hatOffbeat, 0.8f},
    {12, 16, SYN_ARP, &arpSixteenths, 0.4f, 12},
    {14, 16, SYN_RISER, &riseTwoBars, 0.8f},
    {15, 16, SYN_SNARE, &snareRoll, 0.8f},

    // drive 1: the full beat, offbeat bass, chord stabs
    {16, 32, SYN_KICK, &kickFour, 1.0f},
    {16, 32, SYN_SNARE, &backbeat, 0.85f},
    {16, 32, SYN_CLAP, &backbeat, 0.8f},
    {16, 32, SYN_HAT, &hatSixteenths, 0.9f},
    {20, 32, SYN_OPENHAT, &openOffbeat, 0.7f},
    {16, 32, SYN_BASS, &bassOffbeat, 0.9f},
    {16, 32, SYN_STAB, &stabDrive, 0.85f},
    {24, 32, SYN_PAD, &padHold, 0.6f},
    {24, 32, SYN_ARP, &arpSixteenths, 0.35f, 12},
    {16, 17, SYN_CRASH, &crash, 0.9f},
    {24, 25, SYN_CRASH, &crash, 0.7f},

    // breakdown: pads and the theme; no kick for four bars, then a soft one
    {32, 33, SYN_CRASH, &crash, 0.8f},
    {32, 44, SYN_PAD, &padHold, 1.0f},
    {32, 44, SYN_PAD, &padRoot, 0.7f},
    {32, 40, SYN_LEAD, &themeA, 0.75f},
    {32, 40, SYN_SHAKER, &shaker, 0.6f},
    {36, 44, SYN_KICK, &kickFour, 0.6f},
    {36, 44, SYN_SUB, &subWhole, 0.6f},
    {36, 43, SYN_HAT, &hatOffbeat, 0.7f},
    {40, 43, SYN_CLAP, &backbeat, 0.6f},
    {40, 44, SYN_ARP, &arpSixteenths, 0.5f, 12},
    {42, 44, SYN_RISER, &riseTwoBars, 0.8f},
    {43, 44, SYN_SNARE, &snareRoll, 0.85f},

    // drive 2: full energy, rolling bass, the riff
    {44, 45, SYN_CRASH, &crash, 0.9f},
    {52, 53, SYN_CRASH, &crash, 0.7f},
    {44, 56, SYN_KICK, &kickFour, 1.0f},
    {44, 56, SYN_SNARE, &backbeat, 0.85f},
    {44, 56, SYN_CLAP, &backbeat, 0.85f},
    {44, 56, SYN_HAT, &hatSixteenths, 1.0f},
    {44, 56, SYN_OPENHAT, &openOffbeat, 0.75f},
    {44, 56, SYN_BASS, &bassRolling, 0.9f},
    {44, 56, SYN_LEAD, &riff, 0.8f},
    {44, 56, SYN_PAD, &padHold, 0.6f},

    // half-time: the beat at half speed, arpeggios to the front
    {56, 57, SYN_CRASH, &crash, 0.7f},
    {56, 64, SYN_KICK, &kickHalf, 1.0f},
    {56, 64, SYN_SNARE, &backbeatHalf, 0.9f},
    {56, 64, SYN_CLAP, &backbeatHalf, 0.7f},
    {56, 64, SYN_HAT, &hatEighths, 0.8f},
    {56, 64, SYN_BASS, &bassHalf, 0.85f},
    {56, 64, SYN_ARP, &arpSixteenths, 0.8f, 12},
    {56, 64, SYN_PAD, &padHold, 0.8f},

    // glitch: broken beat and bass under filters, stutters and crushes
    {64, 76, SYN_KICK, &kickBroken, 1.0f},
    {64, 76, SYN_SNARE, &backbeatBroken, 0.85f},
    {64, 76, SYN_HAT, &hatGlitch, 0.9f},
    {64, 76, SYN_BASS, &bassGlitch, 0.9f},
    {64, 76, SYN_ARP, &arpGlitch, 0.8f, 12},
    {64, 76, SYN_PAD, &padHold, 0.6f},

    // anthem: everything, big chords and the theme with its answer
    {76, 77, SYN_CRASH, &crash, 1.0f},
    {84, 85, SYN_CRASH, &crash, 0.8f},
    {76, 92, SYN_KICK, &kickFour, 1.0f},
    {76, 92, SYN_SNARE, &backbeat, 0.9f},
    {76, 92, SYN_CLAP, &backbeat, 0.9f},
    {76, 92, SYN_HAT, &hatSixteenths, 1.0f},
    {76, 92, SYN_OPENHAT, &openOffbeat, 0.8f},
    {76, 92, SYN_BASS, &bassRolling, 0.9f},
    {76, 92, SYN_PAD, &padHold, 0.8f},
    {76, 92, SYN_PAD, &padRoot, 0.6f},
    {76, 92, SYN_STAB, &stabAnthem, 0.8f},
    {76, 84, SYN_LEAD, &themeA, 1.0f},
    {84, 92, SYN_LEAD, &themeB, 1.0f},
    {76, 92, SYN_ARP, &arpSixteenths, 0.3f, 12},

    // ending: the drums leave, the theme once more, a last chord fades out
    {92, 93, SYN_CRASH, &crash, 0.8f},
    {92, 100, SYN_PAD, &padHold, 1.0f},
    {92, 100, SYN_PAD, &padRoot, 0.7f},
    {92, 96, SYN_LEAD, &themeA, 0.6f},
    {92, 98, SYN_ARP, &arpSparse, 0.5f, 12},
};

// ---------------------------------------------------------------------------
// Automation
// ---------------------------------------------------------------------------
const LanePoint kLanePoints[] = {
    // the pads open through the intro and breathe with each section
    {SYN_LANE_PAD, 0, 350},   {SYN_LANE_PAD, 8, 2400},   {SYN_LANE_PAD, 16, 1500},  {SYN_LANE_PAD, 32, 1200},
    {SYN_LANE_PAD, 40, 3500}, {SYN_LANE_PAD, 44, 1800},  {SYN_LANE_PAD, 56, 2200},  {SYN_LANE_PAD, 64, 1500},
    {SYN_LANE_PAD, 76, 3500}, {SYN_LANE_PAD, 92, 3000},  {SYN_LANE_PAD, 101, 700},
    // the bass brightens with the energy
    {SYN_LANE_BASS, 16, 450}, {SYN_LANE_BASS, 32, 700},  {SYN_LANE_BASS, 44, 800},  {SYN_LANE_BASS, 56, 550},
    {SYN_LANE_BASS, 64, 700}, {SYN_LANE_BASS, 76, 850},
    // build: the master closes for the last half bar of the intro, then opens up to the drop
    {SYN_LANE_LOWPASS, 7.5, 20000}, {SYN_LANE_LOWPASS, 8, 1100}, {SYN_LANE_LOWPASS, 16, 20000},
    // glitch: the master swept down and up
    {SYN_LANE_LOWPASS, 64, 20000}, {SYN_LANE_LOWPASS, 64.01, 900}, {SYN_LANE_LOWPASS, 66, 5000},
    {SYN_LANE_LOWPASS, 67, 700}, {SYN_LANE_LOWPASS, 69, 9000}, {SYN_LANE_LOWPASS, 70, 1200},
    {SYN_LANE_LOWPASS, 72, 12000}, {SYN_LANE_LOWPASS, 73, 1500}, {SYN_LANE_LOWPASS, 75, 20000},
    // thin the breakdown's last bar and the glitch section from below
    {SYN_LANE_HIGHPASS, 43, 20}, {SYN_LANE_HIGHPASS, 43.9, 400}, {SYN_LANE_HIGHPASS, 44, 20},
    {SYN_LANE_HIGHPASS, 64, 20}, {SYN_LANE_HIGHPASS, 64.01, 140}, {SYN_LANE_HIGHPASS, 75.5, 140},
    {SYN_LANE_HIGHPASS, 76, 20},
    // the breakdown's soft kick only nudges the pads
    {SYN_LANE_SIDECHAIN, 32, 1.0f}, {SYN_LANE_SIDECHAIN, 32, 0.5f}, {SYN_LANE_SIDECHAIN, 44, 0.5f},
    {SYN_LANE_SIDECHAIN, 44, 1.0f},
    // ending: fade to silence before the last bar is out
    {SYN_LANE_GAIN, 96, 0}, {SYN_LANE_GAIN, 99, -5}, {SYN_LANE_GAIN, 101, -30}, {SYN_LANE_GAIN, 101.6, -90},
};

const GlitchBar kGlitchBars[] = {
    {65, "............r-r-"}, {66, "........R---...."}, {67, "....C---....z-z-"},
    {69, "R---....r-r-r-r-"}, {70, "....G.G.....R---"}, {71, "C-------zzzz...."},
    {72, "........r-r-R---"}, {73, "R-R-....C---G.G."}, {74, "....r-r-....zzzz"},
    {75, "R---B---S-------"},
};

// ---------------------------------------------------------------------------
// The mixing desk: gain, pan, sidechain depth, echo send, reverb send
// ---------------------------------------------------------------------------
const SynChannel kDesk[SYN_INSTRUMENTS] = {
    {0.60f, 0.0f, 0.0f, 0.0f, 0.0f},   // kick
    {0.36f, 0.0f, 0.0f, 0.0f, 0.15f},  // snare
    {0.30f, 0.0f, 0.0f, 0.05f, 0.25f}, // clap
    {0.14f, 0.25f, 0.2f, 0.0f, 0.05f}, // hat
    {0.10f, -0.2f, 0.3f, 0.0f, 0.08f}, // open hat
    {0.14f, -0.3f, 0.2f, 0.1f, 0.1f},  // shaker
    {0.13f, 0.0f, 0.0f, 0.0f, 0.2f},   // crash
    {0.08f, 0.0f, 0.0f, 0.0f, 0.3f},   // riser
    {0.16f, 0.0f, 0.8f, 0.0f, 0.0f},   // sub
    {0.28f, 0.0f, 0.85f, 0.0f, 0.0f},  // bass
    {0.25f, 0.0f, 0.6f, 0.1f, 0.45f},  // pad
    {0.18f, 0.0f, 0.5f, 0.25f, 0.35f}, // stab
    {0.15f, 0.0f, 0.4f, 0.45f, 0.3f},  // arp
    {0.24f, 0.0f, 0.3f, 0.3f, 0.35f},  // lead
};

constexpr int kEchoTicks = 18; // a dotted 8th: the echo falls between the 16ths
constexpr float kEchoFeedback = 0.42f;
constexpr float kCeiling = 0.84f; // -1.5 dBFS leaves the encoder room for its overshoots

// ---------------------------------------------------------------------------
// Expansion
// ---------------------------------------------------------------------------

struct Expansion {
    std::vector<SynNote> notes; // start and length in ticks until the end
    const ChordShape *chords[SCORE_BARS] = {};
    std::string *error;
};

bool fail(std::string *error, const std::string &why)
{
    *error = why;
    return false;
}

// "Bb4" -> 70. -1 when it is not a note name.
int noteNumber(const std::string &name)
{
    static const int semitone[7] = {9, 11, 0, 2, 4, 5, 7}; // A..G
    if (name.size() < 2 || name[0] < 'A' || name[0] > 'G')
        return -1;
    int n = semitone[name[0] - 'A'];
    size_t i = 1;
    if (name[i] == '#' || name[i] == 'b')
        n += name[i++] == '#' ? 1 : -1;
    if (i + 1 != name.size() || !isdigit((unsigned char)name[i]))
        return -1;
    return 12 * (name[i] - '0' + 1) + n;
}

std::vector<std::string> split(const std::string &text, char sep)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(sep, start);
        out.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return out;
        start = at + 1;
    }
}

std::vector<std::string> words(const std::string &text)
{
    std::vector<std::string> out;
    for (const std::string &w : split(text, ' '))
        if (!w.empty())
            out.push_back(w);
    return out;
}

// The pitches a token asks for over a chord; empty for rests and holds.
bool tokenPitches(const Pattern &p, const std::string &token, const ChordShape *chord, int transpose,
                  std::vector<int> *pitches, float *velocity, std::string *why)
{
    pitches->clear();
    *velocity = 1.0f;
    if (token == "." || token == "-")
        return true;
    if (p.kind == HITS) {
        static const char levels[] = "Xxog";
        static const float velocities[] = {1.0f, 0.78f, 0.5f, 0.3f};
        const char *at = strchr(levels, token[0]);
        if (token.size() != 1 || !at)
            return fail(why, "unknown hit '" + token + "'");
        *velocity = velocities[at - levels];
        pitches->push_back(60);
        return true;
    }
    if (p.kind == NOTES) {
        int n = noteNumber(token);
        if (n < 0)
            return fail(why, "unknown note '" + token + "'");
        pitches->push_back(n + transpose);
        return true;
    }
    if (!chord)
        return fail(why, "no chord for a chord-relative pattern");
    if (p.kind == ROOT) {
        char *end;
        long offset = strtol(token.c_str(), &end, 10);
        if (*end || end == token.c_str())
            return fail(why, "bad interval '" + token + "'");
        pitches->push_back(noteNumber(chord->root) + (int)offset + transpose);
        return true;
    }
    std::vector<std::string> voicing = words(chord->voicing);
    if (token == "*") {
        for (const std::string &n : voicing)
            pitches->push_back(noteNumber(n) + transpose);
        return true;
    }
    if (!isdigit((unsigned char)token[0]) || (size_t)(token[0] - '0') >= voicing.size())
        return fail(why, "bad chord note '" + token + "'");
    int n = noteNumber(voicing[(size_t)(token[0] - '0')]) + transpose;
    for (size_t i = 1; i < token.size(); i++) {
        if (token[i] != '\'' && token[i] != ',')
            return fail(why, "bad chord note '" + token + "'");
        n += token[i] == '\'' ? 12 : -12;
    }
    pitches->push_back(n);
    return true;
}

bool expandPart(Expansion *x, const Part &part, int index)
{
    std::string where = "part " + std::to_string(index) + " (bar " + std::to_string(part.first) + ")";
    if (part.first < 0 || part.end > SCORE_BARS || part.first >= part.end)
        return fail(x->error, where + ": bars out of range");
    std::vector<std::string> bars = split(part.pattern->text, '|');
    // Notes still sounding at the end of the last step, which a hold extends.
    std::vector<size_t> open;
    int64_t openEnd = -1;
    for (int bar = part.first; bar < part.end; bar++) {
        const std::string &text = bars[(size_t)(bar - part.first + part.from) % bars.size()];
        std::vector<std::string> steps;
        if (part.pattern->kind == HITS) {
            for (char c : text)
                steps.push_back(std::string(1, c));
        } else {
            steps = words(text);
        }
        if (steps.empty() || SCORE_TICKS_PER_BAR % (int)steps.size() != 0)
            return fail(x->error, where + ": " + std::to_string(steps.size()) + " steps do not divide a bar");
        int64_t step = SCORE_TICKS_PER_BAR / (int64_t)steps.size();
        for (size_t s = 0; s < steps.size(); s++) {
            int64_t tick = (int64_t)bar * SCORE_TICKS_PER_BAR + (int64_t)s * step;
            std::vector<int> pitches;
            float velocity;
            std::string why;
            if (!tokenPitches(*part.pattern, steps[s], x->chords[bar], part.transpose, &pitches, &velocity, &why))
                return fail(x->error, where + ", bar " + std::to_string(bar) + ": " + why);
            if (steps[s] == "-") {
                if (openEnd == tick) {
                    for (size_t i : open)
                        x->notes[i].length += step;
                    openEnd += step;
                }
                continue;
            }
            std::vector<size_t> sounding;
            for (int pitch : pitches) {
                // A pad holds a note the new chord shares instead of striking it again.
                size_t tied = SIZE_MAX;
                if (part.instrument == SYN_PAD && openEnd == tick)
                    for (size_t i : open)
                        if ((int)x->notes[i].pitch == pitch)
                            tied = i;
                if (tied != SIZE_MAX) {
                    x->notes[tied].length += step;
                    sounding.push_back(tied);
                } else {
                    x->notes.push_back({tick, step, part.instrument, (float)pitch, velocity * part.velocity});
                    sounding.push_back(x->notes.size() - 1);
                }
            }
            open = sounding;
            openEnd = open.empty() ? -1 : tick + step;
        }
    }
    return true;
}

bool expandChords(Expansion *x)
{
    for (const Progression &p : kProgressions) {
        std::vector<std::string> names = words(p.chords);
        if (p.first < 0 || p.end > SCORE_BARS || names.empty())
            return fail(x->error, "progression at bar " + std::to_string(p.first) + ": bad range or no chords");
        for (int bar = p.first; bar < p.end; bar++) {
            const std::string &name = names[(size_t)(bar - p.first) % names.size()];
            const ChordShape *shape = nullptr;
            for (const ChordShape &c : kChordShapes)
                if (name == c.name)
                    shape = &c;
            if (!shape)
                return fail(x->error, "progression at bar " + std::to_string(p.first) + ": unknown chord " + name);
            x->chords[bar] = shape;
        }
    }
    for (const ChordShape &c : kChordShapes) {
        if (noteNumber(c.root) < 0)
            return fail(x->error, std::string("chord ") + c.name + ": bad root");
        for (const std::string &n : words(c.voicing))
            if (noteNumber(n) < 0)
                return fail(x->error, std::string("chord ") + c.name + ": bad note " + n);
    }
    return true;
}

bool expandGlitches(SynSong *song, std::string *error)
{
    const int64_t step = SCORE_TICKS_PER_BAR / 16;
    for (const GlitchBar &g : kGlitchBars) {
        if (strlen(g.steps) != 16 || g.bar < 0 || g.bar >= SCORE_BARS)
            return fail(error, "glitch bar " + std::to_string(g.bar) + ": needs 16 steps inside the song");
        for (int s = 0; s < 16; s++) {
            char c = g.steps[s];
            if (c == '.' || c == '-')
                continue;
            static const char kinds[] = "RBrzCGS";
            if (!strchr(kinds, c))
                return fail(error, "glitch bar " + std::to_string(g.bar) + ": unknown step '" + c + "'");
            int e = s + 1;
            while (e < 16 && g.steps[e] == '-')
                e++;
            int64_t tick = (int64_t)g.bar * SCORE_TICKS_PER_BAR + s * step;
            SynGlitch glitch;
            glitch.start = scoreTickSample(tick);
            glitch.length = scoreTickSample(tick + (e - s) * step) - glitch.start;
            glitch.kind = c == 'C' ? SYN_GLITCH_CRUSH : c == 'G' ? SYN_GLITCH_GATE : c == 'S' ? SYN_GLITCH_STOP
                                                                                             : SYN_GLITCH_REPEAT;
            // Loop lengths in 64ths of a note: an 8th, a 16th, a 32nd, a 64th.
            int64_t sixtyFourths = c == 'B' ? 8 : c == 'R' ? 4 : c == 'r' ? 2 : 1;
            int64_t stepSamples = scoreTickSample(tick + step) - glitch.start;
            glitch.slice = c == 'C' ? 6 : (stepSamples * sixtyFourths + 2) / 4; // crush: hold 6 samples
            song->glitches.push_back(glitch);
        }
    }
    return true;
}

} // namespace

const ScoreSection *scoreSections(int *count)
{
    *count = (int)(sizeof kSections / sizeof kSections[0]);
    return kSections;
}

int64_t scoreTickSample(int64_t tick)
{
    // samples = tick * rate * 60 * 4 / (BPM * 96), in integers so bar 102 lands exactly on 180 s
    const int64_t num = (int64_t)SYN_RATE * 60 * 4, den = (int64_t)SCORE_BPM * SCORE_TICKS_PER_BAR;
    return (tick * num + den / 2) / den;
}

int64_t scoreBarSample(int bar)
{
    return scoreTickSample((int64_t)bar * SCORE_TICKS_PER_BAR);
}

bool scoreBuild(SynSong *song, std::string *error)
{
    *song = SynSong();
    Expansion x;
    x.error = error;
    if (!expandChords(&x))
        return false;
    int index = 0;
    for (const Part &part : kParts)
        if (!expandPart(&x, part, index++))
            return false;
    for (SynNote &n : x.notes) {
        int64_t end = scoreTickSample(n.start + n.length);
        n.start = scoreTickSample(n.start);
        n.length = end - n.start;
    }
    std::stable_sort(x.notes.begin(), x.notes.end(),
                     [](const SynNote &a, const SynNote &b) { return a.start < b.start; });
    song->notes = x.notes;

    for (const LanePoint &p : kLanePoints) {
        if (p.lane < 0 || p.lane >= SYN_LANES || p.bar < 0.0 || p.bar > SCORE_BARS)
            return fail(error, "lane point at bar " + std::to_string(p.bar) + ": bad lane or bar");
        int64_t sample = scoreTickSample((int64_t)(p.bar * SCORE_TICKS_PER_BAR + 0.5));
        std::vector<SynPoint> &lane = song->lanes[p.lane];
        if (!lane.empty() && lane.back().sample > sample)
            return fail(error, "lane point at bar " + std::to_string(p.bar) + ": out of order");
        lane.push_back({sample, p.value});
    }
    if (!expandGlitches(song, error))
        return false;

    std::copy(kDesk, kDesk + SYN_INSTRUMENTS, song->channels);
    song->echoSamples = scoreTickSample(kEchoTicks);
    song->echoFeedback = kEchoFeedback;
    song->ceiling = kCeiling;
    song->length = scoreBarSample(SCORE_BARS);
    return true;
}
