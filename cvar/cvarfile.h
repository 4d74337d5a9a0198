// Variable files: the queued ".vars" files that set variables at start-up
// and that a development run writes back at exit.
#pragma once

#include <cstddef>
#include <cstdio>

#include "cvar/cvarformat.h" // Required for: CVAR_LINE_MAX

struct DataFile;

enum {
    CVAR_FILES_MAX = 64,
    CVAR_TOKEN_MAX = 255,
    CVAR_TOKENS_MAX = 6,
};

// Slots of queued file names; a variable's source points at one of them.
extern char *cvarFiles[CVAR_FILES_MAX];
extern int cvarFileCount;

void CvarAddFile(const char *name);
// Reads every queued file again, in queue order; in a development run it
// also arranges the write-back at exit.
void CvarLoad(void);
void CvarReadVariables(DataFile *file, char **slot);
// The same for a whole file held in memory (a file read again while the show
// runs, taken only once it is complete).
void CvarReadText(const char *text, size_t length, char **slot);
// Writes every queued file back (exit handler of development runs). Each file
// is replaced only by a complete new one.
void CvarSaveAll(void);
// Writes the variables whose source is the slot (null: no file), newest first.
int CvarWriteFile(FILE *file, char **source);

// The write-back runs only for a run that finished its start-up: a start-up
// that stopped early has not read every file and would write back less than
// the files hold.
void CvarArmSaving(void);
