// Private asset trees for the effect tests.
#include "assettree.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include "data/data.h"
#include "effecthost.h"
#include "testutil.h"

std::string effectPrivateTree(std::initializer_list<const char *> assets)
{
    namespace fs = std::filesystem;
    std::string tree = effectTestTree();
    if (tree.empty())
        return "";
    static std::unique_ptr<TempDir> dir; // lives until the process ends
    dir = std::make_unique<TempDir>();
    for (const char *asset : assets) {
        fs::path target = fs::path(dir->path()) / asset;
        std::error_code error;
        fs::create_directories(target.parent_path(), error);
        if (!fs::copy_file(fs::path(tree) / asset, target, fs::copy_options::overwrite_existing, error))
            return "";
    }
    std::string base = dir->path() + "/";
    dataSetBasePath(base.c_str());
    return base;
}
