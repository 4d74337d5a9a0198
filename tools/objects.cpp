// The objects of the production: writes every mesh file into "lwobj/". The
// demo itself writes the converted ".cached" and ".lob" files on first use.
#include "build.h"
#include "meshes.h"

bool buildObjects(const BuildContext &ctx, std::string *error)
{
    std::vector<MeshFile> files;
    if (!meshObjectFiles(&files, error))
        return false;
    for (const MeshFile &file : files) {
        if (!buildWrite(ctx, file.name, file.bytes, error))
            return false;
    }
    return true;
}
