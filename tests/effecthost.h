// What an effect test needs around an effect: the start-up tables, an
// offline screen and render view, and the production's asset tree as the
// base path (built once per test run by the production fixture).
#pragma once

#include <cstdint>
#include <string>

struct Screen;
struct TrackedVars;

// Prepares everything once per process; null when the production tree is
// not there (the test should then fail with that message).
Screen *effectTestHost(void);
std::string effectTestTree(void);

// FNV-1a of a frame's 240 visible rows.
uint64_t frameHash(const uint32_t *frame);
// Writes a whole frame (320 x 240) as a PNG, for looking at it.
bool writeFramePNG(const std::string &path, const uint32_t *frame);

// Checks an effect's records against the catalog: the file's variables are
// registered with their kinds in catalog order, and the tracked list holds
// exactly the file's tracked variables in that order.
void expectCatalogGroup(const char *file, const TrackedVars &tracked);

// Fills the 32 guard rows above and below a frame with a pattern; the check
// says whether they still hold it (nothing was drawn outside the frame).
void markGuardRows(uint32_t *frame);
bool guardRowsIntact(const uint32_t *frame);
