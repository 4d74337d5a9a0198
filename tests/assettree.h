// A private asset tree for effect tests that write beside their assets
// (conversion caches, table caches): copies of some production assets in a
// fresh directory, so that every test process starts from the same files
// and nothing is written into the shared production tree.
#pragma once

#include <initializer_list>
#include <string>

// Copies the named assets (paths relative to the production tree) into a
// fresh temporary directory, removed when the process ends, and makes it the
// data layer's base path. Returns the directory with a trailing slash, or ""
// when the production tree is missing or a copy failed.
std::string effectPrivateTree(std::initializer_list<const char *> assets);
