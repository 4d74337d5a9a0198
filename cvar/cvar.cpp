// The console-variable registry: one list of static records, newest first.
#include "cvar/cvar.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

Cvar *cvarList;
uint32_t cvarAssignments;

// Text to value: the standard conversion, so a text that is not a number
// becomes 0 and only a leading numeric prefix counts.
static float cvarParse(const char *text)
{
    return (float)strtod(text, nullptr);
}

// A copy of an assignment's text; an exhausted heap keeps an empty text so
// that every reader always finds a string.
static const char *cvarCopyText(const char *text)
{
    char *copy = strdup(text);
    return copy ? copy : strdup("");
}

Cvar *CvarFind(const char *name)
{
    for (Cvar *cvar = cvarList; cvar; cvar = cvar->next) {
        if (strcmp(cvar->name, name) == 0)
            return cvar;
    }
    return nullptr;
}

void CvarRegister(Cvar *cvar)
{
    if (CvarFind(cvar->name)) {
        printf("[Cvar]: Cant register variable %s, allready defined\n", cvar->name);
        return;
    }
    cvar->text = cvarCopyText(cvar->text ? cvar->text : "");
    cvar->value = cvarParse(cvar->text);
    cvar->next = cvarList;
    cvarList = cvar;
}

void CvarRegisterList(const CvarList *list)
{
    for (int32_t i = 0; i < list->count; i++)
        CvarRegister(list->vars[i]);
}

void CvarSet(const char *name, const char *text)
{
    Cvar *cvar = CvarFind(name);
    if (!cvar) {
        printf("[Cvar]: Variable %s not found\n", name);
        return;
    }
    // Copy before freeing: the new text may be the old one.
    const char *copy = cvarCopyText(text);
    free((void *)cvar->text);
    cvar->text = copy;
    cvar->value = cvarParse(cvar->text);
    cvarAssignments++;
    if (cvar->onChange)
        cvar->onChange();
}
