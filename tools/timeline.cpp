// The timeline: production/timeline.txt, a readable list of sections and
// keys, compiled into one track file per tracked variable component and into
// "demotrk.dat", the pack that holds them all.
//
// Grammar, one statement per line, "#" starts a comment:
//   section NAME           a label for readers (and the tests)
//   @ BAR[:BEAT]           position of the keys below; 4 beats a bar, 10 rows a beat
//   @ row N                position as a tracker row
//   NAME V [KIND]          key of a scalar variable
//   NAME V1 V2 V3 [KIND]   keys of a colour's r, g, b (or a vector's x, y, z)
// KIND is step (the default), linear, smooth or ramp: how the value goes on to
// the variable's next key.
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

#include "build.h"
#include "catalog.h"
#include "data/packwrite.h"
#include "sync/trackwrite.h"

enum { ROWS_PER_BEAT = 10, BEATS_PER_BAR = 4 };

static const char *const kComponents[2][3] = {{"_r", "_g", "_b"}, {"_x", "_y", "_z"}};

// Track names of a catalog variable: itself, or its three component tracks.
static std::vector<std::string> trackNamesOf(const CvarCatalogEntry &entry)
{
    if (entry.kind == CVAR_FLOAT)
        return {entry.name};
    const char *const *suffix = kComponents[entry.kind == CVAR_VEC3 ? 1 : 0];
    return {std::string(entry.name) + suffix[0], std::string(entry.name) + suffix[1],
            std::string(entry.name) + suffix[2]};
}

static bool parseKind(const std::string &word, int32_t *kind)
{
    static const char *const kinds[] = {"step", "linear", "smooth", "ramp"};
    for (int32_t i = 0; i < 4; i++) {
        if (word == kinds[i]) {
            *kind = i;
            return true;
        }
    }
    return false;
}

// "@ 12", "@ 12:2.5" or "@ row 490".
static bool parsePosition(const std::vector<std::string> &tokens, int32_t *row)
{
    double value;
    if (tokens.size() == 3 && tokens[1] == "row") {
        if (!buildParseNumber(tokens[2], &value) || value != std::floor(value) || value < 0)
            return false;
        *row = (int32_t)value;
        return true;
    }
    if (tokens.size() != 2)
        return false;
    std::string bar = tokens[1], beat = "0";
    size_t colon = bar.find(':');
    if (colon != std::string::npos) {
        beat = bar.substr(colon + 1);
        bar = bar.substr(0, colon);
    }
    double bars, beats;
    if (!buildParseNumber(bar, &bars) || !buildParseNumber(beat, &beats) || bars < 0 || beats < 0 ||
        bars != std::floor(bars) || beats >= BEATS_PER_BAR)
        return false;
    double rows = (bars * BEATS_PER_BAR + beats) * ROWS_PER_BEAT;
    if (rows != std::floor(rows))
        return false;
    *row = (int32_t)rows;
    return true;
}

bool buildTracks(const BuildContext &ctx, std::string *error)
{
    std::string text;
    if (!buildReadSource(ctx, "timeline.txt", &text, error))
        return false;

    std::map<std::string, std::vector<SyncKey>> tracks;
    std::istringstream lines(text);
    std::string line;
    int32_t row = -1;
    for (int number = 1; std::getline(lines, line); number++) {
        std::string where = ctx.source + "/timeline.txt:" + std::to_string(number) + ": ";
        std::vector<std::string> tokens = buildSplit(line.substr(0, line.find('#')));
        if (tokens.empty() || tokens[0] == "section")
            continue;
        if (tokens[0] == "@") {
            if (!parsePosition(tokens, &row)) {
                *error = where + "a position is \"@ BAR[:BEAT]\" or \"@ row N\"";
                return false;
            }
            continue;
        }
        if (row < 0) {
            *error = where + "a key before the first position";
            return false;
        }
        const CvarCatalogEntry *entry = cvarCatalogFind(tokens[0].c_str());
        if (!entry || !entry->tracked) {
            *error = where + tokens[0] + " is not a tracked variable";
            return false;
        }
        std::vector<std::string> names = trackNamesOf(*entry);
        int32_t kind = SYNC_STEP;
        size_t values = tokens.size() - 1;
        if (values == names.size() + 1) {
            if (!parseKind(tokens.back(), &kind)) {
                *error = where + "unknown interpolation " + tokens.back();
                return false;
            }
            values--;
        }
        if (values != names.size()) {
            *error = where + tokens[0] + " takes " + std::to_string(names.size()) + " value(s)";
            return false;
        }
        for (size_t i = 0; i < names.size(); i++) {
            double value;
            if (!buildParseNumber(tokens[1 + i], &value) || !std::isfinite((float)value)) {
                *error = where + "not a number: " + tokens[1 + i];
                return false;
            }
            std::vector<SyncKey> &keys = tracks[names[i]];
            if (!keys.empty() && keys.back().row >= row) {
                *error = where + names[i] + " already has a key at or after row " + std::to_string(row);
                return false;
            }
            keys.push_back({row, (float)value, kind});
        }
    }

    // One file per component track of every tracked variable; none may be
    // missing, since the engine forces a variable without its track to 0.
    std::vector<std::string> files, contents;
    for (const CvarCatalogEntry &entry : cvarCatalog) {
        if (!entry.tracked)
            continue;
        for (const std::string &name : trackNamesOf(entry)) {
            auto found = tracks.find(name);
            if (found == tracks.end()) {
                *error = ctx.source + "/timeline.txt: no keys for " + name;
                return false;
            }
            std::string bytes(syncEncodeTrack(found->second.data(), (int32_t)found->second.size(), nullptr), '\0');
            syncEncodeTrack(found->second.data(), (int32_t)found->second.size(), (uint8_t *)&bytes[0]);
            files.push_back(syncTrackPath("sync", name.c_str()));
            contents.push_back(bytes);
            if (!buildWrite(ctx, files.back(), bytes, error))
                return false;
        }
    }

    std::vector<PackSource> entries;
    for (size_t i = 0; i < files.size(); i++)
        entries.push_back({files[i].c_str(), (const uint8_t *)contents[i].data(), (int32_t)contents[i].size()});
    // The pack writer writes files only: the pack goes through the scratch
    // directory and joins the part's output as bytes.
    std::string pack = ctx.scratch + "/demotrk.dat", bytes;
    if (!dataWritePack(pack.c_str(), entries.data(), (int)entries.size()) || !buildReadFile(pack, &bytes)) {
        *error = "cannot write " + pack;
        return false;
    }
    remove(pack.c_str());
    return buildWrite(ctx, "demotrk.dat", bytes, error);
}
