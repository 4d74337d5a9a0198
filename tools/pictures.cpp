// The builder's pictures part: the generated picture set written into the tree.
#include "build.h"
#include "pictures.h"

bool buildPictures(const BuildContext &ctx, std::string *error)
{
    PictureSink sink;
    sink.picture = [&ctx](const std::string &name, const Picture &picture, std::string *err) {
        return buildWritePNG(ctx, name, picture.pixels.data(), picture.width, picture.height, picture.alpha, err);
    };
    sink.text = [&ctx](const std::string &name, const std::string &text, std::string *err) {
        return buildWrite(ctx, name, text, err);
    };
    return picturesGenerate(sink, error);
}
