// Asset paths: the base path under which a development run finds its tree.
#include "data/data.h"

#include <cstdio>

#include "host/common.h"

char basePath[DATA_PATH_MAX] = "assets/";

void dataSetBasePath(const char *path)
{
    logTagged("dataSetBasePath", 56, "New base path for assets:<%s>", path);
    snprintf(basePath, sizeof basePath, "%s", path);
}
