// What an effect test needs around an effect: the start-up tables, an
// offline screen and render view, and the production's asset tree as the
// base path (built once per test run by the production fixture).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "testutil.h" // frameHash, writeFramePNG, checkGoldenFrame

struct Screen;

// Prepares everything once per process; null when the production tree is
// not there (the test should then fail with that message).
Screen *effectTestHost(void);
std::string effectTestTree(void);

// Sets the variables named prefix* to NaN, infinities, huge, negative and tiny values in turn and
// renders at that value and the given times: nothing may land in the frame's guard rows.
void expectHostileFramesInside(const char *prefix, void (*render)(uint32_t *, float), uint32_t *frame,
                               std::initializer_list<float> times);
// Marks the guard rows with a pattern; true while they still hold it.
void markGuardRows(uint32_t *frame);
bool guardRowsIntact(const uint32_t *frame);
