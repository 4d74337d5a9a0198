// The engine's object file: a big-endian mesh image (".lobj" prepared by the
// production builder, ".cached" and ".lob" converted by the demo itself).
#pragma once

#include <cstddef>
#include <cstdint>

#include "data/objwrite.h" // Required for: the file layout, objEncode()

struct Object;

// ---------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------
// A new mesh (lighting 7, Gouraud material 0) from an object file image of
// size bytes; file coordinates are multiplied by scale and truncated. With
// flags 0 the vertex normals are computed from the faces; any other flags keep
// the file's (zero without a normal block).
// Null with a tagged message when a count or block runs past size, a corner
// index is not below the vertex count or a surface number is above 3.
Object *objParse(const uint8_t *buffer, size_t size, double scale);
// The asset through dataLoadFileAny (packs, basePath, working directory),
// parsed; the object's name is the file name without its directories.
// Null after "Object file %s not found" or a refusal.
Object *objLoad(const char *name, double scale);

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------
// Writes the mesh under basePath + name (flags 0, surface 0, coordinates
// times 0.001), replacing the file only by a complete one. 1 on success; 0
// with a message when a corner is not one of the object's vertices, there
// are more vertices than u16 indices address, or the file cannot be written.
int objSave(const Object *object, const char *name);

// ---------------------------------------------------------------------------
// LightWave import
// ---------------------------------------------------------------------------
// The first mesh of a LightWave object ("FORM" holding "LWO2", "LXOB" or
// "LWOB", whatever the file is called) read from basePath + path, else from
// path in the working directory, never from the packs. Positions times 1000.
// Null with a message for a missing, foreign or cut-short file, or when
// Assimp finds no mesh (it prints its own reasons).
Object *objImport(const char *path);

// ---------------------------------------------------------------------------
// Conversion cache
// ---------------------------------------------------------------------------
// The converted file when the data layer has it (scale 1000); otherwise the
// LightWave file imported and, while dataWriteBack is set, saved under
// convertedName for later runs and the pack. A converted file that is
// refused is rebuilt the same way. pointsOnly drops the faces before saving
// (a point cloud). Null when neither gives an object; nothing is saved then.
Object *objLoadCached(const char *lightwaveName, const char *convertedName, bool pointsOnly);
