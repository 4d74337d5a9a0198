// Object file images of arbitrary bytes, parsed at the scale the demo loads
// with and at scales that push coordinates to their limits.
#include <cstdlib>

#include "data/objfile.h"
#include "render/object.h"

static const double kScales[] = {1000.0, 1.0, 0.001, 1e12};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Object *object = objParse(data, size, kScales[size % 4]);
    if (object) {
        // Every face corner must be one of the object's own vertices.
        for (int i = 0; i < object->faceCount; i++) {
            const Face *f = &object->faces[i];
            if (obj_VertexIndex(object, f->a) < 0 || obj_VertexIndex(object, f->b) < 0 ||
                obj_VertexIndex(object, f->c) < 0)
                abort();
        }
        obj_Free(object);
    }
    return 0;
}
