// The production builder's entry point: builds the tree beside the old one and
// swaps it in only when every part succeeded.
#include "build.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "data/pngwrite.h"

namespace fs = std::filesystem;

bool buildWrite(const BuildContext &ctx, const std::string &relative, const std::string &bytes, std::string *error)
{
    fs::path path = fs::path(ctx.out) / relative;
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), (std::streamsize)bytes.size());
    file.close();
    if (!file) {
        *error = "cannot write " + path.string();
        return false;
    }
    return true;
}

bool buildWritePNG(const BuildContext &ctx, const std::string &relative, const uint32_t *pixels, int width,
                   int height, bool alpha, std::string *error)
{
    fs::path path = fs::path(ctx.out) / relative;
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (!pngWriteFile(path.c_str(), pixels, width, height, width, alpha ? 1 : 0)) {
        *error = "cannot write " + path.string();
        return false;
    }
    return true;
}

static void usage(FILE *out)
{
    fprintf(out, "Usage: vantorel_build --source DIR --out DIR\n"
                 "Builds the default production from the sources in DIR (production/) into the\n"
                 "asset tree --out (normally Vantorel/). The old tree is replaced only when the\n"
                 "whole build succeeded; files the engine wrote into it (caches, written-back\n"
                 "variable files) go with it.\n");
}

int main(int argc, char **argv)
{
    BuildContext ctx;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--help")) {
            usage(stdout);
            return 0;
        }
        if (i + 1 < argc && !strcmp(argv[i], "--source")) {
            ctx.source = argv[++i];
        } else if (i + 1 < argc && !strcmp(argv[i], "--out")) {
            ctx.out = argv[++i];
        } else {
            usage(stderr);
            return 2;
        }
    }
    if (ctx.source.empty() || ctx.out.empty()) {
        usage(stderr);
        return 2;
    }
    std::string target = ctx.out;
    while (target.size() > 1 && target.back() == '/')
        target.pop_back();
    std::string building = target + ".building";
    std::error_code ec;
    fs::remove_all(building, ec);
    ctx.out = building;

    struct Part {
        const char *name;
        bool (*build)(const BuildContext &, std::string *);
    } parts[] = {
        {"variables", buildVariables}, {"tracks", buildTracks}, {"objects", buildObjects},
        {"pictures", buildPictures},   {"music", buildMusic},
    };
    for (const Part &part : parts) {
        auto begin = std::chrono::steady_clock::now();
        std::string error;
        if (!part.build(ctx, &error)) {
            fprintf(stderr, "vantorel_build: %s: %s\n", part.name, error.c_str());
            fs::remove_all(building, ec);
            return 1;
        }
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        printf("built %-10s %6.2f s\n", part.name, seconds);
    }

    // The stamp tells scripts whether the tree is older than its sources.
    std::string stampError;
    if (!buildWrite(ctx, ".built", "vantorel production\n", &stampError)) {
        fprintf(stderr, "vantorel_build: %s\n", stampError.c_str());
        return 1;
    }
    std::string old = target + ".old";
    fs::remove_all(old, ec);
    if (fs::exists(target))
        fs::rename(target, old, ec);
    fs::rename(building, target, ec);
    if (ec) {
        fprintf(stderr, "vantorel_build: cannot move the new tree to %s: %s\n", target.c_str(), ec.message().c_str());
        return 1;
    }
    fs::remove_all(old, ec);
    printf("production written to %s\n", target.c_str());
    return 0;
}
