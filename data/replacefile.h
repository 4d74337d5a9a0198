// Writing a file whole: the new bytes go under a temporary name and replace
// the old file only when complete, for the demo's caches, packs and variable
// files and for the production builder alike.
#pragma once

#include <cstdio>

extern int dataReadOnly; // bench runs: every file write (caches, packs, variables) is skipped

// Writes a file completely under a temporary name beside path, then renames
// it over path: readers never see a half-written file. The writer answers
// false on failure. 1 on success, 0 with the old file untouched. A symbolic
// link is written through to its target; an existing file keeps its
// permission bits, and one without any write permission is not replaced (0).
int dataReplaceFile(const char *path, bool (*write)(FILE *file, void *context), void *context);

// rename() that replaces an existing file on every system (Windows' own
// refuses to): 0 on success, else -1 with errno set.
int dataRenameOver(const char *from, const char *to);

// What dataReplaceFile calls around its writes, so that the tests can make
// any one of them fail as on a full disk. Both null in the program: nothing
// is asked and the writer writes to the file itself.
struct DataWriteHooks {
    // Asked before the temporary file is created and before the rename:
    // true makes that step fail.
    bool (*fails)(void);
    // The stream the writer writes through in place of the file, which it
    // takes over (and closes when it gives null).
    FILE *(*stream)(FILE *file);
};
extern DataWriteHooks dataWriteHooks;
