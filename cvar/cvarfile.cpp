// Reading, queuing and writing back the variable files.
#include "cvar/cvarfile.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "cvar/cvar.h"
#include "data/data.h"
#include "core/common.h"
#include "core/startup.h"

// The two messages of this file carry fixed tags, so that they read the same
// whatever the layout of this file (and the invalid line is reported as the
// reader's, whichever helper finds it).
enum { LOAD_MESSAGE_LINE = 44, INVALID_LINE_MESSAGE_LINE = 106 };

char *cvarFiles[CVAR_FILES_MAX];
int cvarFileCount;
// Lines of each file that name no variable: written back as they were, so
// that a misspelt name costs nothing but a warning.
static std::vector<std::string> cvarKeptLines[CVAR_FILES_MAX];
// The components of every colour and vector as their defaults or their file
// gave them, before any track moved them. Track-driven values are the show's
// of one moment, not tuning: the write-back keeps these instead, so that the
// files do not depend on where a run happened to end.
static std::unordered_map<const Cvar *, std::array<float, 4>> cvarGivenComponents;
static bool cvarSaveRegistered;
static bool cvarSaveArmed;

void CvarAddFile(const char *name)
{
    if (cvarFileCount >= CVAR_FILES_MAX) {
        printf("[Cvar]: Too many variable files, %s ignored\n", name);
        return;
    }
    char *copy = strdup(name);
    if (copy)
        cvarFiles[cvarFileCount++] = copy;
}

static void cvarSaveAtExit(void)
{
    if (cvarSaveArmed)
        CvarSaveAll();
}

void CvarArmSaving(void)
{
    cvarSaveArmed = true;
}

void CvarLoad(void)
{
    StartupScope phase(STARTUP_VARIABLES);
    for (const Cvar *c = cvarList; c; c = c->next) {
        if (c->kind == CVAR_COLOR || c->kind == CVAR_VEC3)
            cvarGivenComponents.emplace(c, std::array<float, 4>{c->vec[0], c->vec[1], c->vec[2], c->vec[3]});
    }
    for (int i = 0; i < cvarFileCount; i++) {
        DataFile *file = dataFileOpen(cvarFiles[i]);
        logTagged("CvarLoad", LOAD_MESSAGE_LINE, "Loading variables for source file <%s>\n", cvarFiles[i]);
        if (file) {
            CvarReadVariables(file, &cvarFiles[i]);
            dataFileClose(file);
        }
    }
    if (dataWriteBack && !cvarSaveRegistered) {
        cvarSaveRegistered = true;
        atexit(cvarSaveAtExit);
    }
}

// Splits a line at spaces, tabs, carriage returns and newlines into at most
// CVAR_TOKENS_MAX tokens of at most CVAR_TOKEN_MAX bytes.
static int cvarTokenize(const char *line, char tokens[CVAR_TOKENS_MAX][CVAR_TOKEN_MAX + 1])
{
    int count = 0;
    const char *p = line;
    while (count < CVAR_TOKENS_MAX) {
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
            p++;
        if (!*p)
            break;
        int n = 0;
        while (*p && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') {
            if (n < CVAR_TOKEN_MAX)
                tokens[count][n++] = *p;
            p++;
        }
        tokens[count][n] = '\0';
        count++;
    }
    return count;
}

// The kept lines of a queued file's slot, or null for any other slot.
static std::vector<std::string> *cvarKept(char **slot)
{
    ptrdiff_t i = slot - cvarFiles;
    return slot && i >= 0 && i < CVAR_FILES_MAX ? &cvarKeptLines[i] : nullptr;
}

// One line (number) of a variable file.
static void cvarReadLine(const char *line, int number, char **slot)
{
    char tokens[CVAR_TOKENS_MAX][CVAR_TOKEN_MAX + 1];
    int count = cvarTokenize(line, tokens);
    Cvar *cvar = count >= 2 ? CvarFind(tokens[0]) : nullptr;
    std::vector<std::string> *kept = cvarKept(slot);
    if (count >= 2 && !cvar && kept) {
        std::string text = line;
        text.erase(text.find_last_not_of("\r\n") + 1);
        kept->push_back(text);
        fprintf(stderr, "%s:%d: no variable is called %s; the line stays in the file\n", *slot, number, tokens[0]);
    }
    if (count == 2) {
        // An unknown name gets the registry's own "not found" message.
        CvarSet(tokens[0], tokens[1]);
        if (cvar)
            cvar->source = slot;
        return;
    }
    if (count == 5 && cvar && cvar->kind == CVAR_COLOR) {
        for (int i = 0; i < 4; i++)
            cvar->vec[i] = (float)strtod(tokens[1 + i], nullptr);
        cvarGivenComponents[cvar] = {cvar->vec[0], cvar->vec[1], cvar->vec[2], cvar->vec[3]};
        cvar->source = slot;
        return;
    }
    if (count == 4 && cvar && cvar->kind == CVAR_VEC3) {
        for (int i = 0; i < 3; i++)
            cvar->vec[i] = (float)strtod(tokens[1 + i], nullptr);
        cvar->vec[3] = 1.0f;
        cvarGivenComponents[cvar] = {cvar->vec[0], cvar->vec[1], cvar->vec[2], cvar->vec[3]};
        cvar->source = slot;
        return;
    }
    logTagged("CvarReadVariables", INVALID_LINE_MESSAGE_LINE, "Invalid variable in file:%s, source:%s\n", line, *slot);
}

void CvarReadVariables(DataFile *file, char **slot)
{
    if (std::vector<std::string> *kept = cvarKept(slot))
        kept->clear();
    char line[CVAR_LINE_MAX + 1];
    for (int number = 1; dataFileGets(file, line, CVAR_LINE_MAX); number++)
        cvarReadLine(line, number, slot);
}

void CvarReadText(const char *text, size_t length, char **slot)
{
    // Lines as the file reader cuts them: at a newline, or after
    // CVAR_LINE_MAX bytes, whichever comes first.
    if (std::vector<std::string> *kept = cvarKept(slot))
        kept->clear();
    char line[CVAR_LINE_MAX + 1];
    size_t at = 0;
    for (int number = 1; at < length; number++) {
        size_t n = 0;
        while (at < length && n < CVAR_LINE_MAX) {
            char c = text[at++];
            line[n++] = c;
            if (c == '\n')
                break;
        }
        line[n] = '\0';
        cvarReadLine(line, number, slot);
    }
}

// What a variable file keeps of a number: what its text says, which is what
// the files and the console gave it. Its value may be the show's of one
// moment (a track drives it, or the intro copies its clock into it).
static float cvarKeptValue(const Cvar *c)
{
    return (float)strtod(c->text, nullptr);
}

static std::array<float, 4> cvarKeptComponents(const Cvar *c)
{
    std::array<float, 4> kept = {c->vec[0], c->vec[1], c->vec[2], c->vec[3]};
    auto given = cvarGivenComponents.find(c);
    for (int i = 0; i < 3; i++) {
        if (c->tracks[i] && given != cvarGivenComponents.end())
            kept[i] = given->second[i];
    }
    return kept;
}

int CvarWriteFile(FILE *file, char **source)
{
    bool ok = true;
    for (Cvar *c = cvarList; c; c = c->next) {
        if (c->source != source)
            continue;
        std::array<float, 4> v = cvarKeptComponents(c);
        switch (c->kind) {
        case CVAR_FLOAT:
            ok = fprintf(file, "%s %f\n", c->name, cvarKeptValue(c)) > 0 && ok;
            break;
        case CVAR_COLOR:
            ok = fprintf(file, "%s %f %f %f %f\n", c->name, v[0], v[1], v[2], v[3]) > 0 && ok;
            break;
        case CVAR_VEC3:
            ok = fprintf(file, "%s %f %f %f\n", c->name, v[0], v[1], v[2]) > 0 && ok;
            break;
        default:
            break;
        }
    }
    return ok;
}

static bool cvarWriteSlot(FILE *file, void *context)
{
    char **slot = (char **)context;
    bool ok = CvarWriteFile(file, slot);
    // The first file also takes every variable that no file named.
    if (slot == &cvarFiles[0])
        ok = CvarWriteFile(file, nullptr) && ok;
    if (const std::vector<std::string> *kept = cvarKept(slot)) {
        for (const std::string &line : *kept)
            ok = fprintf(file, "%s\n", line.c_str()) > 0 && ok;
    }
    return ok;
}

void CvarSaveAll(void)
{
    for (int i = 0; i < cvarFileCount; i++) {
        char path[DATA_PATH_MAX + 1];
        dataAssetPath(path, sizeof path, cvarFiles[i]);
        if (!dataReplaceFile(path, cvarWriteSlot, &cvarFiles[i]))
            printf("failed to open file %s for cvar writing\n", cvarFiles[i]);
    }
}
