// Writing a file whole: the new bytes go under a temporary name and replace
// the old file only when complete, for the demo's caches, packs and variable
// files and for the production builder alike.
#pragma once

#include <cstdio>

extern int dataReadOnly; // bench runs: every file write (caches, packs, variables) is skipped

// Writes a file completely under a temporary name beside path, then renames
// it over path: readers never see a half-written file. The writer answers
// false on failure. 1 on success, 0 with the old file untouched.
int dataReplaceFile(const char *path, bool (*write)(FILE *file, void *context), void *context);

// A test seam for the paths above: from dataFailWrite(n) on, or from start-up
// with VANTOREL_FAIL_WRITE=n in the environment, the n-th write that
// dataReplaceFile makes fails as on a full disk. Counted as writes: creating
// the temporary file, each fwrite or fprintf of a writer, and the rename.
// n = 0 turns the seam off. dataWritesCounted() tells how many writes were
// made since: fewer than n when the fault was never reached.
void dataFailWrite(long n);
long dataWritesCounted(void);
