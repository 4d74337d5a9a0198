// What an effect test needs around an effect: the program's own start-up,
// offline and silent, in a private copy of the production's asset tree (built
// once per test run by the production fixture).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "fx/fx.h"
#include "testutil.h" // frameHash, writeFramePNG, checkGoldenFrame

struct Screen;

// Starts the program once per process: every table, variable, effect and
// track as a run has them, in a fresh copy of the production tree (the
// effects and the exit handler write beside their assets). Null when the
// production tree is not there (the test should then fail with that message).
// A first call naming an asset folder starts without that folder.
Screen *effectTestHost(const char *withoutFolder = nullptr);
// What the host hands the effects.
const EffectContext *effectContext(void);
// The private tree, with its final '/'; "" before effectTestHost.
std::string effectTestTree(void);

// Sets the variables named prefix* to NaN, infinities, huge, negative and tiny values in turn and
// renders at that value and the given times: nothing may land in the frame's guard rows.
void expectHostileFramesInside(const char *prefix, EffectRenderFn render, uint32_t *frame,
                               std::initializer_list<float> times);
// Marks the guard rows with a pattern; true while they still hold it.
void markGuardRows(uint32_t *frame);
bool guardRowsIntact(const uint32_t *frame);
// Frame buffer 0 of the test host cleared, its guard rows marked.
uint32_t *guardedFrame(void);
