// The production builder's entry point: options, and the output helpers the
// parts hand their files to.
#include "build.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "data/pngwrite.h"
#include "tree.h"

bool buildWrite(const BuildContext &ctx, const std::string &relative, const std::string &bytes, std::string *error)
{
    (void)error;
    ctx.files->push_back({relative, bytes});
    return true;
}

bool buildWritePNG(const BuildContext &ctx, const std::string &relative, const uint32_t *pixels, int width,
                   int height, bool alpha, std::string *error)
{
    // The PNG writer writes files only: each picture passes through the
    // scratch directory.
    std::string path = ctx.scratch + "/picture.png", bytes;
    bool ok = pngWriteFile(path.c_str(), pixels, width, height, width, alpha ? 1 : 0) && buildReadFile(path, &bytes);
    remove(path.c_str());
    if (!ok) {
        *error = "cannot encode " + relative;
        return false;
    }
    return buildWrite(ctx, relative, bytes, error);
}

bool buildReadFile(const std::string &path, std::string *bytes)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream data;
    data << file.rdbuf();
    *bytes = data.str();
    return !file.bad();
}

uint64_t buildHash(const std::string &bytes, uint64_t seed)
{
    uint64_t hash = seed;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::string buildHex(uint64_t value)
{
    char text[17];
    snprintf(text, sizeof text, "%016llx", (unsigned long long)value);
    return text;
}

static void usage(FILE *out)
{
    fprintf(out,
            "Usage: vantorel_build --source DIR --out DIR [--cache DIR] [--take-production]\n"
            "       vantorel_build --source DIR --out DIR --watch\n"
            "       vantorel_build --source DIR --out DIR --differences | --fold-back\n"
            "Builds the default production from the sources in DIR (production/) into the\n"
            "asset tree --out (normally Vantorel/), in place: every part is computed first,\n"
            "then only the files whose bytes changed are replaced; files the engine wrote\n"
            "into the tree (caches, packs) stay. The music, pictures and objects are made\n"
            "again only when their generator or their replacements in DIR/assets/ changed\n"
            "(generated parts are kept in --cache, by default beside the builder).\n"
            "\n"
            "A variable file that a run tuned (its values differ from those the builder\n"
            "last wrote) is kept and reported:\n"
            "  --take-production  give the tuned variable files the production's values\n"
            "  --differences      list the tree's values that differ from DIR/vars/\n"
            "  --fold-back        write the tree's tuned values into DIR/vars/ (comments and\n"
            "                     layout kept, only the changed numbers replaced), then build\n"
            "  --watch            build again whenever a source is saved, until interrupted\n");
}

int main(int argc, char **argv)
{
    TreeOptions options;
    bool watch = false, differences = false, foldBack = false;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--help")) {
            usage(stdout);
            return 0;
        }
        if (i + 1 < argc && !strcmp(argv[i], "--source")) {
            options.source = argv[++i];
        } else if (i + 1 < argc && !strcmp(argv[i], "--out")) {
            options.out = argv[++i];
        } else if (i + 1 < argc && !strcmp(argv[i], "--cache")) {
            options.cache = argv[++i];
        } else if (!strcmp(argv[i], "--take-production")) {
            options.takeProduction = true;
        } else if (!strcmp(argv[i], "--watch")) {
            watch = true;
        } else if (!strcmp(argv[i], "--differences")) {
            differences = true;
        } else if (!strcmp(argv[i], "--fold-back")) {
            foldBack = true;
        } else {
            fprintf(stderr, "vantorel_build: unknown option %s\n", argv[i]);
            usage(stderr);
            return 2;
        }
    }
    if (options.source.empty() || options.out.empty() || watch + differences + foldBack > 1) {
        usage(stderr);
        return 2;
    }
    while (options.out.size() > 1 && options.out.back() == '/')
        options.out.pop_back();
    while (options.source.size() > 1 && options.source.back() == '/')
        options.source.pop_back();
    if (options.cache.empty())
        options.cache = cacheDefaultDir();
    if (differences)
        return treeDifferences(options);
    if (foldBack)
        return treeFoldBack(options);
    if (watch)
        return watchRun(options);
    return treeUpdate(options);
}
