// What the effect tests share beyond the test host: a private asset tree for
// effects that write beside their assets (conversion and table caches), and
// a frame whose guard rows show any write outside it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

// Copies the named assets (paths relative to the production tree) into a
// fresh temporary directory, removed when the process ends, and makes it the
// data layer's base path: every test process starts from the same files and
// nothing is written into the shared tree. The directory with a trailing
// slash, or "" when the production tree is missing or a copy failed.
std::string effectPrivateTree(std::initializer_list<const char *> assets);

// Frame buffer 0 of the test host cleared, its guard rows filled with a
// sentinel that guardsIntact checks.
uint32_t *guardedFrame(void);
bool guardsIntact(const uint32_t *frame);
