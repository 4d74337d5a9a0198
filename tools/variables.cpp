// The variable files: authored in production/vars/ with comments, checked
// against the catalog, written to the tree in the engine's plain line form.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "build.h"
#include "catalog.h"

std::vector<std::string> buildSplit(const std::string &line)
{
    std::vector<std::string> tokens;
    std::istringstream in(line);
    std::string token;
    while (in >> token)
        tokens.push_back(token);
    return tokens;
}

bool buildReadSource(const BuildContext &ctx, const std::string &relative, std::string *text, std::string *error)
{
    std::ifstream file(ctx.source + "/" + relative, std::ios::binary);
    if (!file) {
        *error = "cannot read " + ctx.source + "/" + relative;
        return false;
    }
    std::ostringstream data;
    data << file.rdbuf();
    *text = data.str();
    return true;
}

bool buildParseNumber(const std::string &token, double *value)
{
    char *end = nullptr;
    *value = strtod(token.c_str(), &end);
    return end != token.c_str() && *end == '\0';
}

static int componentsOf(int kind)
{
    return kind == CVAR_COLOR ? 4 : kind == CVAR_VEC3 ? 3 : 1;
}

// Checks one authored file and gives its lines as the engine reads them.
static bool buildVariableFile(const BuildContext &ctx, const char *file, std::string *out, std::string *error)
{
    std::string text;
    if (!buildReadSource(ctx, std::string("vars/") + file, &text, error))
        return false;
    std::set<std::string> named;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); number++) {
        std::string where = ctx.source + "/vars/" + file + ":" + std::to_string(number) + ": ";
        std::vector<std::string> tokens = buildSplit(line.substr(0, line.find('#')));
        if (tokens.empty())
            continue;
        const CvarCatalogEntry *entry = cvarCatalogFind(tokens[0].c_str());
        if (!entry) {
            *error = where + "no variable is called " + tokens[0];
            return false;
        }
        if (entry->file && strcmp(entry->file, file) != 0) {
            *error = where + tokens[0] + " belongs in " + entry->file;
            return false;
        }
        if ((int)tokens.size() != 1 + componentsOf(entry->kind)) {
            *error = where + tokens[0] + " takes " + std::to_string(componentsOf(entry->kind)) + " number(s)";
            return false;
        }
        for (size_t i = 1; i < tokens.size(); i++) {
            double value;
            if (!buildParseNumber(tokens[i], &value)) {
                *error = where + "not a number: " + tokens[i];
                return false;
            }
        }
        if (!named.insert(tokens[0]).second) {
            *error = where + tokens[0] + " is set twice";
            return false;
        }
        std::string plain = tokens[0];
        for (size_t i = 1; i < tokens.size(); i++)
            plain += " " + tokens[i];
        if (plain.size() >= CVAR_LINE_MAX) {
            *error = where + "line longer than the engine reads";
            return false;
        }
        *out += plain + "\n";
    }
    for (const CvarCatalogEntry &entry : cvarCatalog) {
        if (entry.file && !strcmp(entry.file, file) && !named.count(entry.name)) {
            *error = ctx.source + "/vars/" + file + ": no value for " + entry.name;
            return false;
        }
    }
    return true;
}

bool buildVariables(const BuildContext &ctx, std::string *error)
{
    for (const char *file : cvarCatalogFiles) {
        std::string lines;
        if (!buildVariableFile(ctx, file, &lines, error) || !buildWrite(ctx, file, lines, error))
            return false;
    }
    return true;
}
