// The data layer: where assets come from and which ones a run asked for.
#pragma once

enum { DATA_PATH_MAX = 1024 };

// Put in front of every asset name on disk; set once at start-up.
extern char basePath[DATA_PATH_MAX];

// Announces and sets the base path (at most 1024 characters are kept).
void dataSetBasePath(const char *path);
