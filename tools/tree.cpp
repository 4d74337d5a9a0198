// The update of the tree in place: every part is computed first, so that an
// error anywhere leaves the tree as it was; then only the files whose bytes
// changed are replaced, each whole.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "catalog.h"
#include "data/replacefile.h"
#include "tree.h"

namespace fs = std::filesystem;

namespace {

// A private directory for the encoders that write files, removed at the end.
struct Scratch {
    std::string path;
    Scratch()
    {
        std::string pattern = (fs::temp_directory_path() / "vantorel_build-XXXXXX").string();
        if (mkdtemp(&pattern[0]))
            path = pattern;
    }
    ~Scratch()
    {
        std::error_code ec;
        if (!path.empty())
            fs::remove_all(path, ec);
    }
};

struct PartPlan {
    explicit PartPlan(const char *part) : name(part) {}
    const char *name;
    const char *status = "built"; // built (computed), reused (from the cache), unchanged
    bool skip = false;            // nothing to look at: the part's files are as recorded
    std::string key;              // the part's input key, for generated parts
    std::vector<BuildFile> files; // what the tree gets
    std::vector<std::string> notes, kept;
    double seconds = 0;
    int written = 0, removed = 0;
};

double since(std::chrono::steady_clock::time_point begin)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

bool writeBytes(FILE *file, void *context)
{
    const std::string *bytes = (const std::string *)context;
    return fwrite(bytes->data(), 1, bytes->size(), file) == bytes->size();
}

bool endsWith(const std::string &text, const char *suffix)
{
    size_t n = strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

} // namespace

// The engine keeps its conversion of a LightWave file while the conversion
// exists: it has to go for a new file to be seen. The builder removes no file
// it did not write, so it says so.
static void warnConverted(const std::string &path)
{
    if (!endsWith(path, ".obj") && !endsWith(path, ".lwo"))
        return;
    std::error_code ec;
    for (const char *converted : {".cached", ".lob"})
        if (fs::exists(path + converted, ec))
            fprintf(stderr,
                    "vantorel_build: %s changed, but the engine still reads its conversion %s%s: delete that file "
                    "to have the new object converted\n",
                    path.c_str(), path.c_str(), converted);
}

// Replaces the tree files whose bytes differ and records every file in next.
static bool writeFiles(const TreeOptions &options, PartPlan *plan, const Manifest &old, Manifest *next,
                       std::string *error)
{
    for (const BuildFile &file : plan->files) {
        std::string path = options.out + "/" + file.name;
        uint64_t hash = buildHash(file.bytes);
        ManifestFile record;
        auto recorded = old.files.find(file.name);
        bool same = recorded != old.files.end() && recorded->second.hash == hash &&
                    manifestUnchanged(path, recorded->second);
        if (same) {
            record = recorded->second;
        } else {
            std::string have;
            same = buildReadFile(path, &have) && have == file.bytes;
            if (!same) {
                std::error_code ec;
                fs::create_directories(fs::path(path).parent_path(), ec);
                if (!dataReplaceFile(path.c_str(), writeBytes, (void *)&file.bytes)) {
                    *error = "cannot write " + path;
                    return false;
                }
                plan->written++;
                warnConverted(path);
            }
            manifestStat(path, &record);
        }
        // The variable files are judged by their values, never by a record:
        // the engine rewrites them at every exit.
        if (!strcmp(plan->name, "variables"))
            continue;
        record.part = plan->name;
        record.hash = hash;
        next->files[file.name] = record;
    }
    // Files this part wrote before and no longer gives go, unless something
    // else changed them since.
    for (const auto &[name, record] : old.files) {
        if (record.part != plan->name || next->files.count(name))
            continue;
        std::string path = options.out + "/" + name;
        if (manifestUnchanged(path, record) && remove(path.c_str()) == 0)
            plan->removed++;
    }
    return true;
}

// Whether every file the part wrote last time is still as it was written.
static bool partIntact(const TreeOptions &options, const char *part, const Manifest &old)
{
    bool any = false;
    for (const auto &[name, record] : old.files) {
        if (record.part != part)
            continue;
        any = true;
        if (!manifestUnchanged(options.out + "/" + name, record))
            return false;
    }
    return any;
}

// A generated part: taken as it is when neither its generator nor its
// replacement assets changed; otherwise from the cache or generated, then
// with the replacements checked and put in.
static bool planGenerated(const TreeOptions &options, const std::string &scratch,
                          bool (*generate)(const BuildContext &, std::string *), const std::vector<AssetFile> &assets,
                          const Manifest &old, PartPlan *plan, std::string *error)
{
    std::string identity = generatorIdentity(plan->name), keyText = identity;
    for (const AssetFile &asset : assets)
        if (!strcmp(assetsPartOf(asset.name), plan->name))
            keyText += "\n" + asset.name + " " + buildHex(buildHash(asset.bytes));
    plan->key = buildHex(buildHash(keyText));
    auto recorded = old.keys.find(plan->name);
    if (recorded != old.keys.end() && recorded->second == plan->key && partIntact(options, plan->name, old)) {
        plan->skip = true;
        plan->status = "unchanged";
        return true;
    }

    std::string generatorKey = buildHex(buildHash(identity));
    if (cacheLoad(options.cache, plan->name, generatorKey, &plan->files)) {
        plan->status = "reused";
    } else {
        BuildContext ctx{options.source, scratch, &plan->files};
        if (!generate(ctx, error))
            return false;
        std::string cacheError;
        if (!cacheStore(options.cache, plan->name, generatorKey, plan->files, &cacheError))
            fprintf(stderr, "vantorel_build: %s (the part will be generated again next time)\n", cacheError.c_str());
    }
    const std::vector<BuildFile> generated = plan->files;
    for (const AssetFile &asset : assets) {
        if (strcmp(assetsPartOf(asset.name), plan->name))
            continue;
        std::string note;
        if (!assetsCheck(asset, generated, scratch, error, &note))
            return false;
        if (!note.empty())
            plan->notes.push_back(note);
        for (BuildFile &file : plan->files)
            if (file.name == asset.name)
                file.bytes = asset.bytes;
    }
    return true;
}

// The variable files: a file the builder wrote and no run changed since gets
// the production's values; a tuned one is kept (unless the production's
// values are taken on purpose) and reported.
static bool planVariables(const TreeOptions &options, const std::string &scratch, const Manifest &old,
                          PartPlan *plan, Manifest *next, std::string *error)
{
    std::vector<BuildFile> files;
    BuildContext ctx{options.source, scratch, &files};
    if (!buildVariables(ctx, error))
        return false;
    for (BuildFile &file : files) {
        std::string treeText;
        if (!buildReadFile(options.out + "/" + file.name, &treeText)) {
            next->writtenValues[file.name] = file.bytes;
            plan->files.push_back(file);
            continue;
        }
        std::vector<TuningValue> wanted = tuningParse(file.bytes), have = tuningParse(treeText);
        std::vector<std::string> differing = tuningDiffering(wanted, have);
        if (differing.empty()) {
            // Whoever wrote the file last, it holds the production's values.
            next->writtenValues[file.name] = file.bytes;
            continue;
        }
        auto last = old.writtenValues.find(file.name);
        // A tree of the builder that replaced whole trees lost its tuning at
        // every build: its variable files count as untuned.
        bool untuned = old.legacy ||
                       (last != old.writtenValues.end() && tuningDiffering(tuningParse(last->second), have).empty());
        if (untuned || options.takeProduction) {
            next->writtenValues[file.name] = file.bytes;
            plan->files.push_back(file);
            continue;
        }
        if (last != old.writtenValues.end())
            next->writtenValues[file.name] = last->second;
        plan->kept.push_back(file.name);
        fprintf(stderr, "vantorel_build: %s/%s holds tuned values, kept:\n%s", options.out.c_str(), file.name.c_str(),
                tuningDescribe(wanted, have, differing, "  ").c_str());
    }
    if (!plan->kept.empty())
        fprintf(stderr,
                "vantorel_build: keep the tuned values with the sources with --fold-back (scripts/fold-back), or\n"
                "  give the tree the production's values with --take-production (or delete the file).\n");
    return true;
}

static void reportError(const TreeOptions &options, const char *part, const std::string &error)
{
    // Located errors ("production/timeline.txt:12: ...") stand alone, so that
    // editors can jump to them.
    if (error.compare(0, options.source.size() + 1, options.source + "/") == 0)
        fprintf(stderr, "%s\n", error.c_str());
    else
        fprintf(stderr, "vantorel_build: %s: %s\n", part, error.c_str());
    fprintf(stderr, "vantorel_build: nothing written; %s stays as it was\n", options.out.c_str());
}

int treeUpdate(const TreeOptions &options)
{
    auto begin = std::chrono::steady_clock::now();
    Scratch scratch;
    if (scratch.path.empty()) {
        fprintf(stderr, "vantorel_build: cannot make a scratch directory in %s\n", fs::temp_directory_path().c_str());
        return 1;
    }
    Manifest old = manifestRead(options.out), next;
    std::vector<AssetFile> assets;
    std::string error;
    if (!assetsScan(options.source, &assets, &error)) {
        reportError(options, "assets", error);
        return 1;
    }
    for (const AssetFile &asset : assets) {
        std::string note;
        if (!assetsPartOf(asset.name) && !assetsCheck(asset, {}, scratch.path, &error, &note)) {
            reportError(options, "assets", error);
            return 1;
        }
    }

    PartPlan parts[] = {PartPlan("variables"), PartPlan("tracks"), PartPlan("objects"), PartPlan("pictures"),
                        PartPlan("music")};
    for (PartPlan &plan : parts) {
        auto start = std::chrono::steady_clock::now();
        bool ok;
        if (!strcmp(plan.name, "variables")) {
            ok = planVariables(options, scratch.path, old, &plan, &next, &error);
        } else if (!strcmp(plan.name, "tracks")) {
            BuildContext ctx{options.source, scratch.path, &plan.files};
            ok = buildTracks(ctx, &error);
        } else {
            bool (*generate)(const BuildContext &, std::string *) = !strcmp(plan.name, "objects") ? buildObjects
                                                                 : !strcmp(plan.name, "pictures") ? buildPictures
                                                                                                   : buildMusic;
            ok = planGenerated(options, scratch.path, generate, assets, old, &plan, &error);
        }
        if (!ok) {
            reportError(options, plan.name, error);
            return 1;
        }
        plan.seconds = since(start);
    }

    std::error_code ec;
    fs::create_directories(options.out, ec);
    for (PartPlan &plan : parts) {
        auto start = std::chrono::steady_clock::now();
        if (plan.skip) {
            for (const auto &[name, record] : old.files)
                if (record.part == plan.name)
                    next.files[name] = record;
        } else if (!writeFiles(options, &plan, old, &next, &error)) {
            reportError(options, plan.name, error);
            return 1;
        }
        if (!plan.key.empty())
            next.keys[plan.name] = plan.key;
        plan.seconds += since(start);
        if (plan.written == 0 && plan.removed == 0 && strcmp(plan.status, "reused") != 0)
            plan.status = plan.skip || strcmp(plan.name, "variables") == 0 || strcmp(plan.name, "tracks") == 0
                              ? "unchanged"
                              : plan.status;
        if (options.quiet && plan.written == 0 && plan.removed == 0 && plan.kept.empty())
            continue;
        std::string extra;
        if (plan.written || plan.removed)
            extra += " (" + std::to_string(plan.written) + " file(s) written" +
                     (plan.removed ? ", " + std::to_string(plan.removed) + " removed" : "") + ")";
        if (!plan.kept.empty())
            extra += " (" + std::to_string(plan.kept.size()) + " tuned file(s) kept)";
        printf("%-9s %-10s %6.3f s%s\n", plan.status, plan.name, plan.seconds, extra.c_str());
        for (const std::string &note : plan.notes)
            printf("          %s\n", note.c_str());
    }
    // The stamp is written after every successful build, changed or not: the
    // scripts take its time as that of the last look at the sources.
    if (!manifestWrite(options.out, next, &error)) {
        reportError(options, "manifest", error);
        return 1;
    }
    if (!options.quiet)
        printf("production up to date in %s (%.3f s)\n", options.out.c_str(), since(begin));
    fflush(stdout);
    return 0;
}

// The production's variable files, as the builder writes them.
static bool productionValues(const TreeOptions &options, std::vector<BuildFile> *files)
{
    Scratch scratch;
    std::string error;
    BuildContext ctx{options.source, scratch.path, files};
    if (!buildVariables(ctx, &error)) {
        reportError(options, "variables", error);
        return false;
    }
    return true;
}

int treeDifferences(const TreeOptions &options)
{
    std::vector<BuildFile> files;
    if (!productionValues(options, &files))
        return 1;
    bool any = false;
    for (const BuildFile &file : files) {
        std::string treeText;
        if (!buildReadFile(options.out + "/" + file.name, &treeText))
            continue;
        std::vector<TuningValue> wanted = tuningParse(file.bytes), have = tuningParse(treeText);
        std::vector<std::string> differing = tuningDiffering(wanted, have);
        if (differing.empty())
            continue;
        any = true;
        printf("%s", tuningDescribe(wanted, have, differing, (file.name + ": ").c_str()).c_str());
    }
    if (!any)
        printf("The tree's variable files hold the production's values.\n");
    return 0;
}

int treeFoldBack(const TreeOptions &options)
{
    std::vector<BuildFile> files;
    if (!productionValues(options, &files))
        return 1;
    int folded = 0;
    for (const BuildFile &file : files) {
        std::string treeText, authored, path = options.source + "/vars/" + file.name;
        if (!buildReadFile(options.out + "/" + file.name, &treeText) || !buildReadFile(path, &authored))
            continue;
        std::vector<std::string> names;
        std::string text = tuningFoldBack(authored, tuningParse(treeText), &names);
        if (names.empty())
            continue;
        if (!dataReplaceFile(path.c_str(), writeBytes, &text)) {
            fprintf(stderr, "vantorel_build: cannot write %s\n", path.c_str());
            return 1;
        }
        for (const std::string &name : names) {
            for (const TuningValue &value : tuningParse(text))
                if (value.name == name) {
                    std::string tokens;
                    for (const std::string &token : value.tokens)
                        tokens += " " + token;
                    printf("%s: %s%s\n", path.c_str(), name.c_str(), tokens.c_str());
                }
        }
        folded += (int)names.size();
    }
    if (!folded)
        printf("Nothing to fold back: the tree's variable files hold the production's values.\n");
    return treeUpdate(options);
}
