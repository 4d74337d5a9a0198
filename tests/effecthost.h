// What an effect test needs around an effect: the start-up tables, an
// offline screen and render view, and the production's asset tree as the
// base path (built once per test run by the production fixture).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

struct Screen;

// Prepares everything once per process; null when the production tree is
// not there (the test should then fail with that message).
Screen *effectTestHost(void);
std::string effectTestTree(void);

// FNV-1a of a frame's 240 visible rows.
uint64_t frameHash(const uint32_t *frame);
// Writes a whole frame (320 x 240) as a PNG, for looking at it.
bool writeFramePNG(const std::string &path, const uint32_t *frame);

// Sets the variables named prefix* to NaN, infinities, huge, negative and tiny values in turn and
// renders at that value and the given times: nothing may land in the frame's guard rows.
void expectHostileFramesInside(const char *prefix, void (*render)(uint32_t *, float), uint32_t *frame,
                               std::initializer_list<float> times);
// Marks the guard rows with a pattern; true while they still hold it.
void markGuardRows(uint32_t *frame);
bool guardRowsIntact(const uint32_t *frame);
// Expects the frame's hash to be golden; VANTOREL_UPDATE_GOLDEN=1 prints it
// instead (deliberate changes), VANTOREL_FX_PNG=dir writes dir/name.png.
void checkGoldenFrame(const uint32_t *frame, uint64_t golden, const std::string &name);
