// The production's picture set: every file name the engine asks for, in one
// place, and the generator behind it.
#include "pictures.h"

#include <cstdio>

static std::string numbered(const char *format, int number)
{
    char name[128];
    snprintf(name, sizeof name, format, number);
    return name;
}

bool picturesGenerate(const PictureSink &sink, std::string *error)
{
    // The tunnel and the fish test end the program without these, and they
    // must be 256 x 256.
    for (int i = 1; i <= 3; i++)
        if (!sink.picture(numbered("textures/back_tunel/txt%d.png", i), tunnelTexture(i), error))
            return false;
    for (int i = 1; i <= 7; i++)
        if (!sink.picture(numbered("textures/fish/txt%d.png", i), fishTexture(i), error))
            return false;

    // The host's logo overlay and the intro's band picture (exactly 320 x 180).
    if (!sink.picture("backgrounds/morla/logo_composition2.png", logoComposition(), error) ||
        !sink.picture("backgrounds/morla/morla_podlogo_10pc.png", introPicture(), error))
        return false;

    for (int i = 1; i <= 17; i++)
        if (!sink.picture(numbered("backgrounds/morla/greets/greets%d.png", i), greetingPicture(i), error))
            return false;
    for (int i = 1; i <= 20; i++)
        if (!sink.picture(numbered("backgrounds/morla/greets/morla_glitch%02d.png", i), glitchTile(i), error))
            return false;

    // The host loads numbers 2 to 99 into its glitch slots 1 to 98; there is no 1.
    for (int i = 2; i <= 99; i++)
        if (!sink.picture(numbered("textures/glitch/output%05d.png", i), glitchFrame(i), error))
            return false;

    for (int i = 0; i < layerPictureCount(); i++)
        if (!sink.picture(layerPictureName(i), layerPicture(i), error))
            return false;
    return sink.text("backgrounds/morla/list.txt", layerListText(), error);
}
