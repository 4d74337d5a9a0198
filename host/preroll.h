// Starting in the middle of the show exactly as the show is there. Some
// state carries from frame to frame (the particles, the generator, pictures
// drawn over earlier pictures), so a frame depends on the frames before it
// and on how many there were. Before a start, the frames of the same frame
// grid are replayed from the beginning of the show, but only those whose
// results the frames from the start on still need (fx/carry.h says what each
// step needs).
#pragma once

#include <cstdint>

struct Screen;

// Frame j of a grid shows music time origin + j / fps.
struct FrameGrid {
    double origin;
    double fps;
};
double gridTime(const FrameGrid *grid, int64_t frame);
// The grid's earliest frame at music time 0 or later.
int64_t gridBegin(const FrameGrid *grid);
// The grid for a start at `start` seconds: that of a run from 0 (origin 0)
// when the start lies on it, within a microsecond; otherwise the grid through
// the start (origin start). *first is the start's frame.
void gridFor(double start, double fps, FrameGrid *grid, int64_t *first);

struct PrerollReport {
    int64_t frames;       // grid frames before the start
    int64_t replayed;     // of them, drawn again
    int64_t pictures;     // of those, with the post chain, because their picture was needed
    int64_t probes;       // drawings tried to learn whether they cover the picture
    double planSeconds;   // finding the frames
    double replaySeconds; // drawing them
};

// Brings everything that carries from frame to frame to where a run from
// the grid's beginning has it when frame `first` begins, for the frames first
// to end - 1 to be drawn next. Unless states are kept (below), the state must
// be the start-up state: nothing drawn yet.
void prerollTo(Screen *screen, const FrameGrid *grid, int64_t first, int64_t end, PrerollReport *report);

// For seeks in a running show: the state as it stands now (right after
// start-up) is kept, and from now on every prerollTo starts from a kept state
// and keeps some of the states it passes. prerollForget drops those (not the
// start-up state) after anything that changes the show, a variable set by
// hand for one. prerollKeptStates counts them.
void prerollKeepStates(Screen *screen);
// Keeps, once a second of the grid up to frame end, what any later frame
// could need of the pieces that are kept: afterwards a seek anywhere replays
// from at most a second before it. Costs about one replay of the show's
// longest chains.
void prerollPrepare(Screen *screen, const FrameGrid *grid, int64_t end, PrerollReport *report);
void prerollForget(void);
int prerollKeptStates(void);
